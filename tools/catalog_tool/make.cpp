// catalog-tool make: walk, hash, merge with the catalog kept from, prove the
// result with the updater's parser, write it whole.
#include "tools/catalog_tool/make.h"

#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/text.h"
#include "app/unicode.h"
#include "catalog/catalog.h"
#include "catalog/hash_os.h"
#include "catalog/local_state.h"
#include "catalog/names.h"
#include "catalog/server.h"
#include "install/files_os.h"
#include "tools/catalog_tool/catalog_lines.h"
#include "tools/catalog_tool/names.h"
#include "tools/catalog_tool/sign.h"
#include "tools/catalog_tool/tool_os.h"

namespace {

// ---- what the folder holds ---------------------------------------------------------

struct FoundFile {
    std::u16string path;    // relative to the script's folder, '/' separated
    std::u16string digest;  // upper-case MD5
};

struct FoundScript {
    std::u16string name;
    std::vector<FoundFile> files;  // files of each folder first, then its folders, by name
};

struct MakeRun {
    std::u16string folder;    // the server folder, program form
    std::u16string out;       // the catalog written, program form
    std::u16string outShown;  // and as the user writes it
    std::vector<FoundScript> scripts;
    std::unique_ptr<PathIndex> paths{new PathIndex()};  // the current script's files
    int fileTotal = 0;
    bool ioFailed = false;  // something could not be read or written
    bool stopped = false;   // a limit was passed; the walk ends there
};

std::u16string Inside(const std::u16string& folder, const std::u16string& name) {
    return folder + u"\\" + name;
}

void IoError(MakeRun* run, Report& report, const std::u16string& where,
             const std::u16string& text) {
    run->ioFailed = true;
    report.Error(FINDING_IO, where, 0, text);
}

// Files first, then folders, each by name without regard to case, so that
// a script's main files lead its section.
bool EntriesInOrder(MakeRun* run, const std::u16string& folder, std::vector<FolderEntry>* entries,
                    Report& report) {
    if (!ListFolder(folder.c_str(), entries)) {
        IoError(run, report, DisplayPath(folder), u"cannot read the folder");
        return false;
    }
    std::sort(entries->begin(), entries->end(), [](const FolderEntry& a, const FolderEntry& b) {
        bool aFolder = a.kind == PATH_FOLDER, bFolder = b.kind == PATH_FOLDER;
        if (aFolder != bFolder) return bFolder;
        int order = TextCompareNoCase(a.name.c_str(), b.name.c_str());
        return order != 0 ? order < 0 : a.name < b.name;
    });
    return true;
}

void AddFoundFile(MakeRun* run, FoundScript* script, const std::u16string& fullPath,
                  const std::u16string& path, Report& report) {
    std::u16string shown = DisplayPath(fullPath);
    std::u16string refusal = FilePathRefusal(path);
    if (!refusal.empty()) {
        report.Error(FINDING_NAME_REFUSED, shown, 0, u"left out: " + refusal);
        return;
    }
    int earlier = 0;
    PathClash clash = AddPathUnlessItClashes(run->paths.get(), path.c_str(),
                                             static_cast<int>(script->files.size()), &earlier);
    if (clash != CLASH_NONE) {
        report.Error(FINDING_NAME_REFUSED, shown, 0,
                     u"left out: the updater would refuse it: " +
                         PathClashText(clash, Quoted(script->files[earlier].path)));
        return;
    }
    int room = ScriptsFolderRoom(script->name, path);
    if (room < LEAST_FOLDER_ROOM) {
        report.Error(FINDING_NAME_REFUSED, shown, 0,
                     u"left out: the script name and the path leave no room for a scripts folder "
                     u"within the updater's 259 characters");
        return;
    }
    if (room < COMFORTABLE_FOLDER_ROOM) {
        report.Warning(FINDING_LOCAL_PATH_LONG, shown, 0,
                       u"the script name and the path leave only " + NumberText(room) +
                           u" characters for the user's scripts folder (259 in all)");
    }
    AddressRisk risk = WebAddressRisk(script->name + u"/" + path);
    if (risk.severity != SEVERITY_NOTE) {
        report.Add(risk.severity, FINDING_ADDRESS_RISK, shown, 0, u"on a web server: " + risk.text);
    }
    if (++run->fileTotal > MAX_FILES) {
        report.Error(FINDING_LIMIT_REACHED, DisplayPath(run->folder), 0,
                     u"more than " + NumberText(MAX_FILES) +
                         u" files: the updater takes at most that many; nothing is written");
        run->stopped = true;
        return;
    }
    char16_t digest[DIGEST_CAPACITY];
    if (HashLocalFile(fullPath.c_str(), digest) == 0) {
        IoError(run, report, shown, u"cannot read the file");
    } else if (digest[0] == 0) {
        IoError(run, report, shown, u"cannot compute the file's MD5");
    } else {
        script->files.push_back(FoundFile{path, digest});
    }
}

void WalkScriptFolder(MakeRun* run, FoundScript* script, const std::u16string& folder,
                      const std::u16string& prefix, Report& report) {
    std::vector<FolderEntry> entries;
    if (!EntriesInOrder(run, folder, &entries, report)) return;
    for (const FolderEntry& entry : entries) {
        if (run->stopped) return;
        std::u16string fullPath = Inside(folder, entry.name);
        std::u16string path = prefix + entry.name;
        if (!entry.nameIsText) {
            report.Error(FINDING_NAME_REFUSED, DisplayPath(fullPath), 0,
                         u"left out: the name is not UTF-8 text");
        } else if (entry.kind == PATH_FILE) {
            AddFoundFile(run, script, fullPath, path, report);
        } else if (entry.kind != PATH_FOLDER) {
            report.Warning(FINDING_NAME_REFUSED, DisplayPath(fullPath), 0,
                           u"left out: neither a file nor a folder");
        } else {
            // A folder refused as a whole tells once what every file in it
            // would tell, and a path that only grows ends the descent.
            std::u16string refusal = FilePathRefusal(path);
            if (!refusal.empty()) {
                report.Error(FINDING_NAME_REFUSED, DisplayPath(fullPath), 0,
                             u"left out with everything in it: " + refusal);
            } else {
                WalkScriptFolder(run, script, fullPath, path + u"/", report);
            }
        }
    }
}

void WalkServerFolder(MakeRun* run, Report& report) {
    std::vector<FolderEntry> entries;
    if (!EntriesInOrder(run, run->folder, &entries, report)) return;
    for (const FolderEntry& entry : entries) {
        if (run->stopped) return;
        if (entry.kind != PATH_FOLDER) continue;  // scripts.txt and the publisher's own files
        std::u16string fullPath = Inside(run->folder, entry.name);
        std::u16string shown = DisplayPath(fullPath);
        if (entry.name[0] == u'.') {
            report.Note(FINDING_NAME_REFUSED, shown, 0, u"hidden folder left out");
            continue;
        }
        std::u16string refusal =
            entry.nameIsText ? ScriptNameRefusal(entry.name) : u"the name is not UTF-8 text";
        if (!refusal.empty()) {
            report.Error(FINDING_NAME_REFUSED, shown, 0, u"script left out: " + refusal);
            continue;
        }
        if (static_cast<int>(run->scripts.size()) >= MAX_SCRIPTS) {
            report.Error(FINDING_LIMIT_REACHED, DisplayPath(run->folder), 0,
                         u"more than " + NumberText(MAX_SCRIPTS) +
                             u" script folders: the updater takes at most that many; nothing is "
                             u"written");
            run->stopped = true;
            return;
        }
        FoundScript script = {entry.name, {}};
        ClearPathIndex(run->paths.get());
        WalkScriptFolder(run, &script, fullPath, u"", report);
        if (script.files.empty() && !run->stopped) {
            report.Warning(
                FINDING_NAME_REFUSED, shown, 0,
                u"the script has no files: the updater lists it with nothing to install");
        }
        run->scripts.push_back(script);
    }
}

// ---- the catalog kept from -------------------------------------------------------------

enum LineRole { ROLE_OTHER, ROLE_FILE, ROLE_NOTE, ROLE_VERSION, ROLE_DESC };

struct OldLine {
    CatalogLine line;
    LineRole role;
    int keep;               // for ROLE_FILE
    std::u16string path;    // for ROLE_FILE, as written
    std::u16string digest;  // for ROLE_FILE, as written
    std::u16string value;   // for ROLE_NOTE, ROLE_VERSION and ROLE_DESC
};

struct OldSection {
    CatalogLine header;
    std::u16string name;
    std::vector<OldLine> body;
};

struct OldCatalog {
    std::u16string shown;
    std::vector<CatalogLine> preamble;  // the lines before the first section
    std::vector<OldSection> sections;
};

// A catalog path as the folder names it: either slash.
std::u16string SlashPath(const std::u16string& path) {
    std::u16string slashed = path;
    std::replace(slashed.begin(), slashed.end(), u'\\', u'/');
    return slashed;
}

OldLine ReadBodyLine(const CatalogLine& line) {
    OldLine old = {line, ROLE_OTHER, 0, {}, {}, {}};
    if (line.kind != LINE_KEY) return old;
    KeyParts parts = SplitKeyLine(line.trimmed);
    if (!parts.hasEquals) return old;
    CatalogKey key = KeyOf(parts.key);
    if ((key == KEY_FILE || key == KEY_KEEP) && !parts.value.empty()) {
        FileParts file = SplitFileValue(parts.value);
        old.role = ROLE_FILE;
        old.keep = key == KEY_KEEP ? 1 : 0;
        old.path = file.path;
        old.digest = file.digest;
    } else if (key == KEY_NOTE || key == KEY_VERSION || key == KEY_DESC) {
        old.role = key == KEY_NOTE ? ROLE_NOTE : key == KEY_VERSION ? ROLE_VERSION : ROLE_DESC;
        old.value = parts.value;
    }
    return old;
}

// A header make cannot carry over without guessing what was meant.
std::u16string HeaderProblem(const HeaderParts& parts, const std::vector<OldSection>& sections) {
    if (!parts.closed) {
        return u"section header has no ']', so the updater ignores it and its lines; fix it or "
               u"remove it first";
    }
    if (parts.name.size() > SCRIPT_NAME_CAPACITY - 1 || !IsSafeScriptName(parts.name.c_str())) {
        return u"section [" + parts.name + u"] is refused or cut by the updater; rename it first";
    }
    for (const OldSection& section : sections) {
        if (section.name == parts.name) {
            return u"section [" + parts.name + u"] comes a second time (first at line " +
                   NumberText(section.header.number) + u"); merge the two first";
        }
    }
    return std::u16string();
}

bool CheckOldBytes(const OldCatalog& old, const unsigned char* bytes, uint32_t size,
                   Report& report) {
    int zeroLine = LineOfZeroByte(bytes, size);
    if (zeroLine != 0) {
        report.Error(FINDING_CATALOG_PROBLEM, old.shown, zeroLine,
                     u"a zero byte: the updater reads nothing after it; remove it first");
    }
    for (int line : LinesWithInvalidUtf8(bytes, size)) {
        report.Error(FINDING_CATALOG_PROBLEM, old.shown, line,
                     u"bytes that are not UTF-8; save the catalog as UTF-8 first");
    }
    return zeroLine == 0 && LinesWithInvalidUtf8(bytes, size).empty();
}

bool SplitOldCatalog(OldCatalog* old, const char16_t* text, Report& report) {
    std::vector<CatalogLine> lines = SplitCatalogLines(text);
    // The text ends in LF: the empty "line" after it is not a line of its own.
    if (!lines.empty() && lines.back().written.empty()) lines.pop_back();
    bool fine = true;
    for (const CatalogLine& line : lines) {
        if (line.kind == LINE_HEADER) {
            HeaderParts parts = SplitHeader(line.trimmed);
            std::u16string problem = HeaderProblem(parts, old->sections);
            if (!problem.empty()) {
                report.Error(FINDING_CATALOG_PROBLEM, old->shown, line.number, problem);
                fine = false;
            }
            old->sections.push_back(OldSection{line, parts.name, {}});
        } else if (old->sections.empty()) {
            old->preamble.push_back(line);
        } else {
            old->sections.back().body.push_back(ReadBodyLine(line));
        }
    }
    return fine;
}

// False (with the reason told) when the catalog cannot be carried over.
bool ReadOldCatalog(MakeRun* run, const std::u16string& path, OldCatalog* old, Report& report) {
    old->shown = DisplayPath(path);
    uint32_t size = 0;
    unsigned char* bytes = FetchResource(path.c_str(), &size, -1);
    if (bytes == nullptr) {
        IoError(run, report, old->shown, u"cannot read the catalog");
        return false;
    }
    bool fine = CheckOldBytes(*old, bytes, size, report);
    char16_t* converted = fine ? ConvertCatalogText(reinterpret_cast<const char*>(bytes)) : nullptr;
    free(bytes);
    if (!fine) return false;
    if (converted == nullptr) {
        IoError(run, report, old->shown, u"cannot convert the catalog (out of memory)");
        return false;
    }
    fine = SplitOldCatalog(old, SkipByteOrderMark(converted), report);
    free(converted);
    return fine;
}

// ---- the new catalog ---------------------------------------------------------------------

// What a catalog line is meant to give the updater.
struct IntendedFile {
    std::u16string path;
    std::u16string md5;
    int keep;
    int line;
};

struct IntendedScript {
    std::u16string name;
    int line;
    std::vector<IntendedFile> files;
    std::vector<std::u16string> notes;
    std::u16string version;  // the last of the section, as the updater keeps the last
    std::u16string desc;
};

// One line on its way into the new catalog.
struct NewLine {
    std::u16string text;
    LineRole role;
    IntendedFile file;      // for ROLE_FILE (its line is set when placed)
    std::u16string value;   // for ROLE_NOTE, ROLE_VERSION and ROLE_DESC
    std::u16string change;  // what to report about it, empty for nothing
};

struct Counts {
    int added = 0, updated = 0, dropped = 0, scriptsAdded = 0, scriptsDropped = 0;
};

struct NewCatalog {
    std::vector<std::u16string> lines;
    std::vector<IntendedScript> scripts;
    Counts counts;
};

NewLine KeptLine(const OldLine& old) {
    NewLine line = {old.line.written, old.role, {}, old.value, {}};
    return line;
}

NewLine NewFileLine(const std::u16string& path, const std::u16string& digest, int keep,
                    const std::u16string& change) {
    NewLine line = {(keep ? u"keep = " : u"file = ") + path + u"|" + digest,
                    ROLE_FILE,
                    IntendedFile{path, digest, keep, 0},
                    {},
                    change};
    return line;
}

// Places a section's lines (the header first) and records what they mean.
void PlaceSection(NewCatalog* catalog, const std::u16string& name, std::vector<NewLine>& lines,
                  const MakeRun& run, Report& report) {
    IntendedScript script = {name, static_cast<int>(catalog->lines.size()) + 1, {}, {}, {}, {}};
    for (NewLine& line : lines) {
        catalog->lines.push_back(line.text);
        int number = static_cast<int>(catalog->lines.size());
        if (line.role == ROLE_FILE) {
            line.file.line = number;
            script.files.push_back(line.file);
        }
        if (line.role == ROLE_NOTE) script.notes.push_back(line.value);
        if (line.role == ROLE_VERSION) script.version = line.value;
        if (line.role == ROLE_DESC) script.desc = line.value;
        if (!line.change.empty()) report.Note(FINDING_CHANGE, run.outShown, number, line.change);
    }
    catalog->scripts.push_back(script);
}

void SeparateSection(NewCatalog* catalog) {
    if (!catalog->lines.empty() && !TrimmedText(catalog->lines.back()).empty()) {
        catalog->lines.push_back(std::u16string());
    }
}

// Where new files go: after the section's last file line, or else after
// its last line that is not blank.
size_t InsertionPoint(const std::vector<NewLine>& lines) {
    size_t point = lines.size();
    while (point > 1 && TrimmedText(lines[point - 1].text).empty()) --point;
    for (size_t i = lines.size(); i > 1; --i) {
        if (lines[i - 1].role == ROLE_FILE) return i;
    }
    return point;
}

// An old section with the folder's files merged in.
void MergeSection(NewCatalog* catalog, const OldSection& section, const FoundScript& found,
                  const OldCatalog& old, const MakeRun& run, Report& report) {
    std::map<std::u16string, const FoundFile*> onDisk;
    for (const FoundFile& file : found.files) onDisk[file.path] = &file;
    std::map<std::u16string, bool> listed;
    std::vector<NewLine> lines = {NewLine{section.header.written, ROLE_OTHER, {}, {}, {}}};
    for (const OldLine& oldLine : section.body) {
        if (oldLine.role != ROLE_FILE) {
            lines.push_back(KeptLine(oldLine));
            continue;
        }
        std::u16string where = found.name + u"/" + SlashPath(oldLine.path);
        auto file = onDisk.find(SlashPath(oldLine.path));
        if (file == onDisk.end() || listed[file->first]) {
            report.Note(FINDING_CHANGE, run.outShown, 0,
                        u"dropped " + where + u" (line " + NumberText(oldLine.line.number) +
                            u" of " + old.shown + u"): " +
                            (file == onDisk.end() ? u"the file is gone" : u"listed twice"));
            ++catalog->counts.dropped;
            continue;
        }
        listed[file->first] = true;
        const std::u16string& digest = file->second->digest;
        if (IsMd5Text(oldLine.digest) &&
            TextCompareNoCase(oldLine.digest.c_str(), digest.c_str()) == 0) {
            NewLine kept = KeptLine(oldLine);
            kept.file = IntendedFile{oldLine.path, oldLine.digest, oldLine.keep, 0};
            lines.push_back(kept);
        } else {
            lines.push_back(NewFileLine(oldLine.path, digest, oldLine.keep, u"updated " + where));
            ++catalog->counts.updated;
        }
    }
    std::vector<NewLine> added;
    for (const FoundFile& file : found.files) {
        if (listed[file.path]) continue;
        added.push_back(
            NewFileLine(file.path, file.digest, 0, u"added " + found.name + u"/" + file.path));
        ++catalog->counts.added;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(InsertionPoint(lines)), added.begin(),
                 added.end());
    PlaceSection(catalog, section.name, lines, run, report);
}

void AddNewSection(NewCatalog* catalog, const FoundScript& found, const MakeRun& run,
                   Report& report) {
    std::vector<NewLine> lines = {NewLine{
        u"[" + found.name + u"]", ROLE_OTHER, {}, {}, u"added script [" + found.name + u"]"}};
    for (const FoundFile& file : found.files)
        lines.push_back(NewFileLine(file.path, file.digest, 0, {}));
    SeparateSection(catalog);
    PlaceSection(catalog, found.name, lines, run, report);
    ++catalog->counts.scriptsAdded;
    catalog->counts.added += static_cast<int>(found.files.size());
}

NewCatalog MergeCatalog(const MakeRun& run, const OldCatalog* old, Report& report) {
    NewCatalog catalog;
    std::map<std::u16string, const FoundScript*> folders;
    for (const FoundScript& script : run.scripts) folders[script.name] = &script;
    if (old == nullptr) {
        catalog.lines = {u"; Catalog of the script server, written by catalog-tool make.", u""};
    } else {
        for (const CatalogLine& line : old->preamble) catalog.lines.push_back(line.written);
        for (const OldSection& section : old->sections) {
            auto found = folders.find(section.name);
            if (found == folders.end()) {
                report.Note(FINDING_CHANGE, run.outShown, 0,
                            u"dropped script [" + section.name + u"] (line " +
                                NumberText(section.header.number) + u" of " + old->shown +
                                u"): its folder is gone");
                ++catalog.counts.scriptsDropped;
                continue;
            }
            MergeSection(&catalog, section, *found->second, *old, run, report);
            folders.erase(found);
        }
    }
    for (const FoundScript& script : run.scripts) {
        if (folders.count(script.name) != 0) AddNewSection(&catalog, script, run, report);
    }
    return catalog;
}

std::string CatalogBytes(const NewCatalog& catalog) {
    std::u16string text;
    for (const std::u16string& line : catalog.lines) text += line + u"\n";
    int size = Utf16ToUtf8(text.c_str(), nullptr, 0);
    if (size <= 0) return std::string();
    std::string bytes(static_cast<size_t>(size), '\0');
    Utf16ToUtf8(text.c_str(), &bytes[0], size);
    bytes.resize(static_cast<size_t>(size - 1));  // the terminator
    return bytes;
}

// ---- proof with the updater's parser ---------------------------------------------------------

std::u16string NotesRun(const std::vector<std::u16string>& notes) {
    std::u16string run;
    for (const std::u16string& note : notes) run += u"- " + note + u"\r\n";
    return run;
}

std::u16string Cut(const std::u16string& value, int capacity) {
    return value.substr(0, static_cast<size_t>(capacity - 1));
}

// The first way in which the parsed tables differ from what was meant (its
// line in *line), or empty when they hold it all.
std::u16string TablesDiffer(const std::vector<IntendedScript>& scripts, int* line) {
    *line = 0;
    if (ScriptCount != static_cast<int>(scripts.size())) {
        return u"the updater would keep " + NumberText(ScriptCount) + u" of its " +
               NumberText(static_cast<long long>(scripts.size())) + u" scripts";
    }
    for (int s = 0; s < ScriptCount; ++s) {
        const IntendedScript& meant = scripts[static_cast<size_t>(s)];
        const ScriptRecord& record = ScriptTable[s];
        *line = meant.line;
        if (meant.name != record.name) return u"the updater would name the script otherwise";
        if (Cut(meant.version, SCRIPT_VERSION_CAPACITY) != record.version ||
            Cut(meant.desc, SCRIPT_DESC_CAPACITY) != record.desc) {
            return u"the updater would read another version or desc";
        }
        std::u16string notes =
            record.noteOffset < 0 ? std::u16string() : NotesText + record.noteOffset;
        if (notes != NotesRun(meant.notes)) return u"the updater would not keep every note";
        if (record.fileCount != static_cast<int>(meant.files.size())) {
            return u"the updater would keep " + NumberText(record.fileCount) + u" of its " +
                   NumberText(static_cast<long long>(meant.files.size())) + u" files";
        }
        for (int f = 0; f < record.fileCount; ++f) {
            const IntendedFile& file = meant.files[static_cast<size_t>(f)];
            const FileRecord& kept = FileTable[record.firstFile + f];
            *line = file.line;
            if (file.path != kept.path || file.md5 != kept.md5 || file.keep != kept.keep) {
                return u"the updater would read this file line otherwise";
            }
        }
    }
    return std::u16string();
}

// Parses the new catalog with the updater's own code. False (told) when it
// would lose or change anything meant; lines it would ignore that were kept
// from the old catalog are told as warnings.
bool ProveCatalog(const NewCatalog& catalog, const std::string& bytes, MakeRun* run,
                  Report& report) {
    char16_t* converted = ConvertCatalogText(bytes.c_str());
    if (converted == nullptr) {
        IoError(run, report, run->outShown, u"cannot convert the catalog (out of memory)");
        return false;
    }
    CatalogModel model;
    ClassifyCatalog(SplitCatalogLines(converted), &model);
    ClearCatalog();
    ParseCatalog(converted);
    free(converted);
    std::u16string difference;
    if (!ModelMatchesTables(model, &difference)) {
        report.Error(FINDING_PARSER_DISAGREES, run->outShown, 0,
                     u"catalog-tool and the updater read the new catalog differently (" +
                         difference + u"); nothing is written, please report this");
        return false;
    }
    bool limited = false;
    for (const LineFinding& finding : model.findings) {
        bool lost = finding.kind == FINDING_LIMIT_REACHED;
        limited = limited || lost;
        report.Add(lost ? SEVERITY_ERROR : SEVERITY_WARNING, finding.kind, run->outShown,
                   finding.line, finding.text);
    }
    int line = 0;
    difference = TablesDiffer(catalog.scripts, &line);
    if (!difference.empty() && !limited) {
        report.Error(FINDING_CATALOG_PROBLEM, run->outShown, line,
                     difference + u"; nothing is written");
    }
    if (limited) {
        report.Error(FINDING_LIMIT_REACHED, run->outShown, 0,
                     u"the catalog would pass the updater's limits; nothing is written");
    }
    return difference.empty() && !limited;
}

// ---- writing -----------------------------------------------------------------------------------

bool SameAsWritten(const std::u16string& path, const std::string& bytes) {
    if (KindOfPath(path.c_str()) != PATH_FILE) return false;
    uint32_t size = 0;
    unsigned char* old = FetchResource(path.c_str(), &size, -1);
    if (old == nullptr) return false;
    bool same = std::string(reinterpret_cast<char*>(old), size) == bytes;
    free(old);
    return same;
}

bool WriteCatalog(MakeRun* run, const std::string& bytes, Report& report) {
    std::u16string temporary = run->out + u".tmp";
    const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (!WriteWholeFile(temporary.c_str(), data, static_cast<uint32_t>(bytes.size()))) {
        IoError(run, report, DisplayPath(temporary), u"cannot write the new catalog");
        return false;
    }
    if (!MoveFileOver(temporary.c_str(), run->out.c_str())) {
        RemoveFile(temporary.c_str());
        IoError(run, report, run->outShown, u"cannot replace the catalog");
        return false;
    }
    return true;
}

std::u16string CountsText(const NewCatalog& catalog) {
    int files = 0;
    for (const IntendedScript& script : catalog.scripts)
        files += static_cast<int>(script.files.size());
    const Counts& c = catalog.counts;
    return NumberText(static_cast<long long>(catalog.scripts.size())) + u" scripts, " +
           NumberText(files) + u" files (files: " + NumberText(c.added) + u" added, " +
           NumberText(c.updated) + u" updated, " + NumberText(c.dropped) + u" dropped; scripts: " +
           NumberText(c.scriptsAdded) + u" added, " + NumberText(c.scriptsDropped) + u" dropped)";
}

std::u16string ProgramForm(const std::u16string& path) {
    std::u16string form = path;
    std::replace(form.begin(), form.end(), u'/', u'\\');
    while (form.size() > 1 && form.back() == u'\\') form.pop_back();
    return form;
}

int ExitAfterErrors(const MakeRun& run) {
    return run.ioFailed ? EXIT_FAILED : EXIT_PROBLEMS;
}

}  // namespace

int RunMake(const std::u16string& folder, const std::u16string& outFile,
            const std::u16string& keyFile, Report& report) {
    MakeRun run;
    run.folder = ProgramForm(folder);
    if (run.folder.empty() || KindOfPath(run.folder.c_str()) != PATH_FOLDER) {
        report.Error(FINDING_IO, folder, 0, u"no such folder");
        return EXIT_FAILED;
    }
    std::u16string inFolder = Inside(run.folder, u"scripts.txt");
    run.out = outFile.empty() ? inFolder : ProgramForm(outFile);
    run.outShown = DisplayPath(run.out);

    WalkServerFolder(&run, report);
    OldCatalog old;
    bool hasOld = false;
    for (const std::u16string& path : {run.out, inFolder}) {
        if (KindOfPath(path.c_str()) != PATH_FILE) continue;
        hasOld = true;
        ReadOldCatalog(&run, path, &old, report);
        break;
    }
    if (report.Errors() > 0) {
        report.Note(FINDING_SUMMARY, run.outShown, 0, u"not written: fix the errors above first");
        return ExitAfterErrors(run);
    }

    NewCatalog catalog = MergeCatalog(run, hasOld ? &old : nullptr, report);
    std::string bytes = CatalogBytes(catalog);
    if (!ProveCatalog(catalog, bytes, &run, report)) return ExitAfterErrors(run);
    // The third fields change no path or MD5 that the proof read.
    if (!AddSha256Fields(run.folder, &bytes, report)) return EXIT_FAILED;
    if (!keyFile.empty()) return WriteSignedCatalog(run.out, run.outShown, bytes, keyFile, report);
    if (SameAsWritten(run.out, bytes)) {
        report.Note(FINDING_SUMMARY, run.outShown, 0, u"up to date: " + CountsText(catalog));
        return EXIT_OK;
    }
    if (!WriteCatalog(&run, bytes, report)) return EXIT_FAILED;
    report.Note(FINDING_SUMMARY, run.outShown, 0, u"written: " + CountsText(catalog));
    return EXIT_OK;
}
