// catalog-tool make: walk, hash, merge with the catalog kept from, prove the
// result with the updater's parser, write it whole.
#include "tools/catalog_tool/make.h"

#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "app/text.h"
#include "app/unicode.h"
#include "catalog/catalog.h"
#include "catalog/server.h"
#include "catalog/signing.h"
#include "install/files_os.h"
#include "tools/catalog_tool/catalog_reading.h"
#include "tools/catalog_tool/line_findings.h"
#include "tools/catalog_tool/names.h"
#include "tools/catalog_tool/server_folder.h"
#include "tools/catalog_tool/sign.h"
#include "tools/catalog_tool/tool_os.h"

namespace {

// ---- the catalog kept from -------------------------------------------------------------

// The lines of the kept catalog, by their records of the updater's parse.
struct OldSection {
    const LineRecord* header;
    std::vector<const LineRecord*> body;
};

struct OldCatalog {
    std::u16string shown;
    CatalogReading reading;
    std::vector<const LineRecord*> preamble;  // the lines before the first section
    std::vector<OldSection> sections;
};

bool IsFileKey(const LineRecord& line) {
    return TextCompareNoCase(line.key.c_str(), u"file") == 0 ||
           TextCompareNoCase(line.key.c_str(), u"keep") == 0;
}

// A catalog path as the folder names it: either slash.
std::u16string SlashPath(const std::u16string& path) {
    std::u16string slashed = path;
    std::replace(slashed.begin(), slashed.end(), u'\\', u'/');
    return slashed;
}

bool CheckOldBytes(const OldCatalog& old, const unsigned char* bytes, uint32_t size,
                   Report& report) {
    int zeroLine = LineOfZeroByte(bytes, size);
    if (zeroLine != 0) {
        report.Error(FINDING_CATALOG_PROBLEM, old.shown, zeroLine,
                     u"a zero byte: the updater reads nothing after it; remove it first");
    }
    std::vector<int> invalid = LinesWithInvalidUtf8(bytes, size);
    for (int line : invalid) {
        report.Error(FINDING_CATALOG_PROBLEM, old.shown, line,
                     u"bytes that are not UTF-8; save the catalog as UTF-8 first");
    }
    return zeroLine == 0 && invalid.empty();
}

// A header make cannot carry over without guessing what was meant.
std::u16string HeaderProblem(const LineRecord& line, const std::vector<OldSection>& sections) {
    if (line.verdict == LINE_HEADER_WITHOUT_BRACKET) {
        return u"section header has no ']', so the updater ignores it and its lines; fix it or "
               u"remove it first";
    }
    if (line.verdict != LINE_SCRIPT_TAKEN || (line.cuts & CUT_NAME) != 0) {
        return u"section [" + Visible(line.name) +
               u"] is refused or cut by the updater; rename it first";
    }
    for (const OldSection& section : sections) {
        if (section.header->name == line.name) {
            return u"section [" + line.name + u"] comes a second time (first at line " +
                   NumberText(section.header->number) + u"); merge the two first";
        }
    }
    return std::u16string();
}

// Groups the lines into sections; false (told) when a header cannot be kept.
bool SplitOldCatalog(OldCatalog* old, Report& report) {
    std::vector<LineRecord>& lines = old->reading.lines;
    // The text ends in LF: the empty "line" after it is not a line of its own.
    if (!lines.empty() && lines.back().written.empty()) lines.pop_back();
    bool fine = true;
    for (const LineRecord& line : lines) {
        if (!line.trimmed.empty() && line.trimmed[0] == u'[') {
            std::u16string problem = HeaderProblem(line, old->sections);
            if (!problem.empty()) {
                report.Error(FINDING_CATALOG_PROBLEM, old->shown, line.number, problem);
                fine = false;
            }
            old->sections.push_back(OldSection{&line, {}});
        } else if (old->sections.empty()) {
            old->preamble.push_back(&line);
        } else {
            old->sections.back().body.push_back(&line);
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
    old->reading = ReadCatalogLines(SkipByteOrderMark(converted));
    free(converted);
    return SplitOldCatalog(old, report);
}

// ---- the new catalog ---------------------------------------------------------------------

// One line on its way into the new catalog.
struct NewLine {
    std::u16string text;
    int oldLine;            // its line in the kept catalog, 0 for a line make writes
    bool isFile;            // a file or keep line
    std::u16string change;  // what to report about it, empty for nothing
};

struct Counts {
    int added = 0, updated = 0, filled = 0, dropped = 0, scriptsAdded = 0, scriptsDropped = 0;
};

struct NewCatalog {
    std::vector<NewLine> lines;
    int scripts = 0, files = 0;
    Counts counts;
};

NewLine KeptLine(const LineRecord& old) {
    return NewLine{old.written, old.number, false, {}};
}

NewLine NewFileLine(const std::u16string& path, const std::u16string& digest, int keep,
                    const std::u16string& change) {
    return NewLine{(keep ? u"keep = " : u"file = ") + path + u"|" + digest, 0, true, change};
}

// Places a section's lines (the header first) and tells what changed.
void PlaceSection(NewCatalog* catalog, const std::vector<NewLine>& lines, const MakeRun& run,
                  Report& report) {
    ++catalog->scripts;
    for (const NewLine& line : lines) {
        catalog->lines.push_back(line);
        if (line.isFile) ++catalog->files;
        int number = static_cast<int>(catalog->lines.size());
        if (!line.change.empty()) report.Note(FINDING_CHANGE, run.outShown, number, line.change);
    }
}

bool IsBlank(const std::u16string& text) {
    return text.find_first_not_of(u" \t\r") == std::u16string::npos;
}

// Where new files go: after the section's last file line, or else after
// its last line that is not blank.
size_t InsertionPoint(const std::vector<NewLine>& lines) {
    for (size_t i = lines.size(); i > 1; --i) {
        if (lines[i - 1].isFile) return i;
    }
    size_t point = lines.size();
    while (point > 1 && IsBlank(lines[point - 1].text)) --point;
    return point;
}

// What one section's merge did to its files.
struct SectionMerge {
    const OldSection& section;
    const FoundScript& found;
    std::map<std::u16string, const FoundFile*> onDisk;
    std::map<std::u16string, const FoundFile*> onDiskFolded;  // by FoldedName
    std::map<std::u16string, bool> listed;
    std::vector<NewLine> lines;
};

// Why a kept file or keep line is dropped, or empty when it stays.
std::u16string DropReason(const LineRecord& line, const SectionMerge& merge) {
    switch (line.verdict) {
        case LINE_FILE_TAKEN:
        case LINE_KEEP_TAKEN:
            break;
        case LINE_EMPTY_FILE_VALUE:
            return u"the line names no file";
        case LINE_DUPLICATE_PATH:
            return u"listed twice";
        case LINE_REFUSED_PATH:
            return u"the updater refuses the path: " + NameProblemText(line.problem);
        default:
            return u"the updater ignores the line";
    }
    auto file = merge.onDisk.find(SlashPath(line.path));
    if (file == merge.onDisk.end()) return u"the file is gone";
    return std::u16string();
}

// A line naming a file on disk in another case: a web server (case-sensitive)
// would not find the file, and Windows would take both for one. Neither
// "gone" nor "new": the publisher decides (told; the line stays).
bool CaseMismatch(SectionMerge* merge, const LineRecord& line, const OldCatalog& old,
                  Report& report) {
    if (line.verdict != LINE_FILE_TAKEN && line.verdict != LINE_KEEP_TAKEN) return false;
    std::u16string path = SlashPath(line.path);
    if (merge->onDisk.count(path) != 0) return false;
    auto folded = merge->onDiskFolded.find(FoldedName(path));
    if (folded == merge->onDiskFolded.end()) return false;
    report.Error(FINDING_CATALOG_PROBLEM, old.shown, line.number,
                 line.key + u" " + Quoted(line.path) + u" of [" + merge->found.name +
                     u"] differs only in case from the file on disk " +
                     Quoted(folded->second->path) +
                     u": a web server tells them apart, Windows does not; rename the file or "
                     u"correct the line so that both are spelt alike");
    merge->listed[folded->second->path] = true;
    merge->lines.push_back(KeptLine(line));
    return true;
}

void MergeFileLine(SectionMerge* merge, const LineRecord& line, const OldCatalog& old,
                   const MakeRun& run, NewCatalog* catalog, Report& report) {
    if (CaseMismatch(merge, line, old, report)) return;
    std::u16string where = merge->found.name + u"/" + SlashPath(line.path);
    std::u16string reason = DropReason(line, *merge);
    if (!reason.empty()) {
        report.Note(FINDING_CHANGE, run.outShown, 0,
                    u"dropped " + where + u" (line " + NumberText(line.number) + u" of " +
                        old.shown + u"): " + reason);
        ++catalog->counts.dropped;
        return;
    }
    const FoundFile& found = *merge->onDisk.find(SlashPath(line.path))->second;
    merge->listed[found.path] = true;
    int keep = line.verdict == LINE_KEEP_TAKEN ? 1 : 0;
    if (IsMd5Text(line.digest) &&
        TextCompareNoCase(line.digest.c_str(), found.digest.c_str()) == 0) {
        NewLine kept = KeptLine(line);
        kept.isFile = true;
        merge->lines.push_back(kept);
    } else if (line.digest.empty()) {
        // A line written by hand without its digest: the file may well be
        // what the publisher meant all along.
        merge->lines.push_back(
            NewFileLine(line.path, found.digest, keep, u"digest filled " + where));
        ++catalog->counts.filled;
    } else {
        merge->lines.push_back(NewFileLine(line.path, found.digest, keep, u"updated " + where));
        ++catalog->counts.updated;
    }
}

// An old section with the folder's files merged in.
void MergeSection(NewCatalog* catalog, const OldSection& section, const FoundScript& found,
                  const OldCatalog& old, const MakeRun& run, Report& report) {
    SectionMerge merge = {section, found, {}, {}, {}, {KeptLine(*section.header)}};
    for (const FoundFile& file : found.files) {
        merge.onDisk[file.path] = &file;
        merge.onDiskFolded[FoldedName(file.path)] = &file;
    }
    for (const LineRecord* line : section.body) {
        if (line->key.empty() || !IsFileKey(*line)) {
            merge.lines.push_back(KeptLine(*line));
        } else {
            MergeFileLine(&merge, *line, old, run, catalog, report);
        }
    }
    std::vector<NewLine> added;
    for (const FoundFile& file : found.files) {
        if (merge.listed[file.path]) continue;
        added.push_back(
            NewFileLine(file.path, file.digest, 0, u"added " + found.name + u"/" + file.path));
        ++catalog->counts.added;
    }
    merge.lines.insert(
        merge.lines.begin() + static_cast<std::ptrdiff_t>(InsertionPoint(merge.lines)),
        added.begin(), added.end());
    PlaceSection(catalog, merge.lines, run, report);
}

void AddNewSection(NewCatalog* catalog, const FoundScript& found, const MakeRun& run,
                   Report& report) {
    std::vector<NewLine> lines = {
        NewLine{u"[" + found.name + u"]", 0, false, u"added script [" + found.name + u"]"}};
    for (const FoundFile& file : found.files) {
        lines.push_back(NewFileLine(file.path, file.digest, 0, {}));
    }
    if (!catalog->lines.empty() && !IsBlank(catalog->lines.back().text)) {
        catalog->lines.push_back(NewLine{u"", 0, false, {}});
    }
    PlaceSection(catalog, lines, run, report);
    ++catalog->counts.scriptsAdded;
    catalog->counts.added += static_cast<int>(found.files.size());
}

// A section whose folder differs from its name only in case: neither gone
// nor new (told; the folder is not added as a section of its own).
bool FolderInOtherCase(std::map<std::u16string, const FoundScript*>* folders,
                       const OldSection& section, const OldCatalog& old, Report& report) {
    std::u16string name = FoldedName(section.header->name);
    for (auto folder = folders->begin(); folder != folders->end(); ++folder) {
        if (FoldedName(folder->first) != name) continue;
        report.Error(FINDING_CATALOG_PROBLEM, old.shown, section.header->number,
                     u"section [" + section.header->name +
                         u"] differs only in case from its folder " + Quoted(folder->first) +
                         u": a web server tells them apart, Windows does not; rename the folder "
                         u"or the section so that both are spelt alike");
        folders->erase(folder);
        return true;
    }
    return false;
}

NewCatalog MergeCatalog(const MakeRun& run, const OldCatalog* old, Report& report) {
    NewCatalog catalog;
    std::map<std::u16string, const FoundScript*> folders;
    for (const FoundScript& script : run.scripts) folders[script.name] = &script;
    if (old == nullptr) {
        catalog.lines = {
            NewLine{u"; Catalog of the script server, written by catalog-tool make.", 0, false, {}},
            NewLine{u"", 0, false, {}}};
    } else {
        for (const LineRecord* line : old->preamble) catalog.lines.push_back(KeptLine(*line));
        for (const OldSection& section : old->sections) {
            auto found = folders.find(section.header->name);
            if (found == folders.end() && FolderInOtherCase(&folders, section, *old, report)) {
                continue;
            }
            if (found == folders.end()) {
                report.Note(FINDING_CHANGE, run.outShown, 0,
                            u"dropped script [" + section.header->name + u"] (line " +
                                NumberText(section.header->number) + u" of " + old->shown +
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
    for (const NewLine& line : catalog.lines) text += line.text + u"\n";
    return Utf8Of(text);
}

// ---- proof with the updater's parser ---------------------------------------------------------

// Whether the updater may leave a line of the new catalog untaken. Blank
// lines and comments mean nothing to it. A line before the first section
// (say "serial = 7") and an unknown key ("author = ...") are the
// publisher's own and were in the kept catalog: kept, with a warning.
// Everything else must be taken whole: a line make wrote that the updater
// ignores, refuses or cuts would publish something other than the folder.
bool MayStayUntaken(const LineRecord& line, const NewLine& written) {
    if (line.verdict == LINE_BLANK || line.verdict == LINE_COMMENT) return true;
    return written.oldLine != 0 &&
           (line.verdict == LINE_BEFORE_FIRST_SECTION || line.verdict == LINE_UNKNOWN_KEY);
}

bool LineIsProven(const LineRecord& line, const NewLine& written) {
    if (IsTakenVerdict(line.verdict)) {
        return (line.cuts & (CUT_NAME | CUT_PATH | CUT_DIGEST)) == 0 &&
               (!written.isFile || line.file >= 0);
    }
    return !written.isFile && MayStayUntaken(line, written);
}

// Parses the new catalog with the updater's own code: every line must be
// one the updater takes as written, or one it may leave. False (told) when
// not; the updater's words for what it would do are told either way.
bool ProveCatalog(const NewCatalog& catalog, const std::string& bytes, MakeRun* run,
                  Report& report) {
    char16_t* converted = ConvertCatalogText(bytes.c_str());
    if (converted == nullptr) {
        IoError(run, report, run->outShown, u"cannot convert the catalog (out of memory)");
        return false;
    }
    CatalogReading reading = ReadCatalogLines(converted);
    free(converted);
    // Each line written, and the empty one after the last LF.
    if (reading.lines.size() != catalog.lines.size() + 1) {
        report.Error(FINDING_CATALOG_PROBLEM, run->outShown, 0,
                     u"the updater would read another number of lines; nothing is written");
        return false;
    }
    std::vector<bool> proven(reading.lines.size(), true);
    bool fine = true;
    for (size_t i = 0; i < catalog.lines.size(); ++i) {
        proven[i] = LineIsProven(reading.lines[i], catalog.lines[i]);
        fine = fine && proven[i];
    }
    for (const LineFinding& finding : FindingsOfLines(reading)) {
        bool lost = !proven[static_cast<size_t>(finding.line - 1)];
        report.Add(lost ? SEVERITY_ERROR : SEVERITY_WARNING, finding.kind, run->outShown,
                   finding.line, finding.text);
    }
    if (!fine) {
        report.Error(FINDING_CATALOG_PROBLEM, run->outShown, 0,
                     u"the updater would not take every line of the new catalog as written; "
                     u"nothing is written");
    }
    return fine;
}

// ---- the versions released ---------------------------------------------------------------------

// Whether files changed under an unchanged version cannot be read from the
// catalog alone: by the time make runs, a raised version is already in it.
// So make keeps, beside the catalog (OUT.versions), each script's version
// and a fingerprint of its files as they were when make first wrote that
// version. Files that differ from the fingerprint of the same version are
// a release without a new version; a new version (raised before or after
// a make) starts a new fingerprint; a script make never saw has none.
struct Release {
    std::u16string version;
    std::u16string fingerprint;
};
typedef std::map<std::u16string, Release> Releases;

std::u16string ReleasesPath(const MakeRun& run) {
    return run.out + u".versions";
}

// Lines "fingerprint|script name|version" (a name never holds '|').
Releases ReadReleases(const MakeRun& run) {
    Releases releases;
    uint32_t size = 0;
    std::u16string path = ReleasesPath(run);
    if (KindOfPath(path.c_str()) != PATH_FILE) return releases;
    unsigned char* bytes = FetchResource(path.c_str(), &size, -1);
    if (bytes == nullptr) return releases;
    std::u16string text = Utf16Of(reinterpret_cast<const char*>(bytes));
    free(bytes);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        std::u16string line = text.substr(start, end - start);
        size_t bar = line.find(u'|');
        size_t second = bar == std::u16string::npos ? bar : line.find(u'|', bar + 1);
        if (second != std::u16string::npos) {
            releases[line.substr(bar + 1, second - bar - 1)] =
                Release{line.substr(second + 1), line.substr(0, bar)};
        }
        start = end + 1;
    }
    return releases;
}

// The files of a script in the tables: every path with its MD5, hashed.
std::u16string Fingerprint(const ScriptRecord& script) {
    std::u16string files;
    for (int f = script.firstFile; f < script.firstFile + script.fileCount; ++f) {
        files += std::u16string(FileTable[f].path) + u"|" + FileTable[f].md5 + u"\n";
    }
    char16_t text[SHA256_TEXT_LENGTH + 1];
    Sha256Text(files.data(), files.size() * sizeof(char16_t), text);
    return text;
}

// Warns of every script in the tables (the new catalog) whose files changed
// under the version they were released with; returns the record to keep.
Releases JudgeReleases(const MakeRun& run, Report& report) {
    Releases old = ReadReleases(run);
    Releases now;
    for (int s = 0; s < ScriptCount; ++s) {
        const ScriptRecord& script = ScriptTable[s];
        Release release = {script.version, Fingerprint(script)};
        auto before = old.find(script.name);
        if (before != old.end() && before->second.version == release.version) {
            if (before->second.fingerprint != release.fingerprint) {
                report.Warning(
                    FINDING_SAME_VERSION, run.outShown, 0,
                    u"files of [" + std::u16string(script.name) + u"] changed since version " +
                        (release.version.empty() ? std::u16string(u"(none)")
                                                 : Quoted(release.version)) +
                        u" was written, and the version did not: the updater offers them under "
                        u"the same version and notes; raise the version line if this is a new "
                        u"release");
            }
            release = before->second;  // the files released with that version
        }
        now[script.name] = release;
    }
    return now;
}

void WriteReleases(const MakeRun& run, const Releases& releases, Report& report) {
    std::u16string text;
    for (const auto& entry : releases) {
        text += entry.second.fingerprint + u"|" + entry.first + u"|" + entry.second.version + u"\n";
    }
    std::string bytes = Utf8Of(text);
    std::u16string path = ReleasesPath(run);
    std::u16string temporary = path + u".tmp";
    if (WriteWholeFile(temporary.c_str(), reinterpret_cast<const unsigned char*>(bytes.data()),
                       static_cast<uint32_t>(bytes.size())) &&
        MoveFileOver(temporary.c_str(), path.c_str())) {
        return;
    }
    RemoveFile(temporary.c_str());
    report.Warning(FINDING_IO, DisplayPath(path), 0,
                   u"cannot write the record of released versions; the next make cannot tell "
                   u"whether files changed under the same version");
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
    const Counts& c = catalog.counts;
    return NumberText(catalog.scripts) + u" scripts, " + NumberText(catalog.files) +
           u" files (files: " + NumberText(c.added) + u" added, " + NumberText(c.updated) +
           u" updated, " + NumberText(c.filled) + u" digests filled, " + NumberText(c.dropped) +
           u" dropped; scripts: " + NumberText(c.scriptsAdded) + u" added, " +
           NumberText(c.scriptsDropped) + u" dropped)";
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

// A plain make over a signed catalog would leave the old signature beside
// the new bytes: every user with a key would refuse it.
static bool RefusesToUnsign(const MakeRun& run, const SignOptions& options, Report& report) {
    if (!options.keyFile.empty() || options.dropSignature || !CatalogIsSigned(run.out)) {
        return false;
    }
    report.Error(FINDING_SIGNATURE, run.outShown, 0,
                 u"the catalog is signed (a .sig beside it, or a serial line in it): a plain make "
                 u"would leave the old signature and lock out every user with a key; sign it with "
                 u"make FOLDER --sign KEY_FILE, or drop the signature on purpose with make FOLDER "
                 u"--drop-signature; nothing is written");
    return true;
}

// Writes the unsigned catalog (without its serial and next-key lines, and
// without a signature file, when the signature is dropped).
static int WriteUnsigned(MakeRun* run, const NewCatalog& catalog, std::string bytes,
                         const SignOptions& options, Report& report) {
    if (options.dropSignature) bytes = WithSigningHeader(bytes, std::string());
    bool same = SameAsWritten(run->out, bytes);
    if (!same && !WriteCatalog(run, bytes, report)) return EXIT_FAILED;
    if (options.dropSignature) {
        if (!DropSignatureFile(run->out, report)) return EXIT_FAILED;
        report.Warning(FINDING_SIGNATURE, run->outShown, 0,
                       u"signature dropped: the catalog is unsigned, and every updater with a key "
                       u"refuses it");
    }
    report.Note(FINDING_SUMMARY, run->outShown, 0,
                (same ? u"up to date: " : u"written: ") + CountsText(catalog));
    return EXIT_OK;
}

int RunMake(const std::u16string& folder, const std::u16string& outFile, const SignOptions& options,
            Report& report) {
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
    if (report.Errors() > 0 || RefusesToUnsign(run, options, report)) {
        report.Note(FINDING_SUMMARY, run.outShown, 0, u"not written: fix the errors above first");
        return EXIT_PROBLEMS;
    }
    std::string bytes = CatalogBytes(catalog);
    if (!ProveCatalog(catalog, bytes, &run, report)) return ExitAfterErrors(run);
    Releases releases = JudgeReleases(run, report);  // the tables hold the new catalog
    // The third fields change no path or MD5 that the proof read.
    if (!AddSha256Fields(run.folder, &bytes, report)) return EXIT_FAILED;
    int exit = options.keyFile.empty()
                   ? WriteUnsigned(&run, catalog, bytes, options, report)
                   : WriteSignedCatalog(run.out, run.outShown, bytes, options, report);
    if (exit == EXIT_OK) WriteReleases(run, releases, report);
    return exit;
}
