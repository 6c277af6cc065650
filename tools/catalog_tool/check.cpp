// catalog-tool check: the catalog's lines, then its files, as the updater
// would meet them.
#include "tools/catalog_tool/check.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "app/settings.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/check_run.h"
#include "catalog/hash_os.h"
#include "catalog/local_state.h"
#include "catalog/names.h"
#include "catalog/server.h"
#include "catalog/wire_address.h"
#include "tools/catalog_tool/catalog_reading.h"
#include "tools/catalog_tool/line_findings.h"
#include "tools/catalog_tool/names.h"
#include "tools/catalog_tool/sign.h"
#include "tools/catalog_tool/tool_os.h"

namespace {

// One check run: the source, the updater's reading of the catalog, and the
// findings about its lines, gathered first so that they can be told in line
// order.
struct CheckRun {
    std::u16string where;   // the catalog's address, as the user knows it
    std::u16string folder;  // the server folder (program form), empty for a web address
    bool web = false;
    CatalogReading reading;
    std::vector<LineFinding> lineFindings;
};

std::u16string Shown(const CheckRun& run, const std::u16string& address) {
    return run.web ? address : DisplayPath(address);
}

// The files of a script, by their index in FileTable.
int EndOfFiles(const ScriptRecord& script) {
    return script.firstFile + script.fileCount;
}

// ---- the source and the catalog bytes --------------------------------------------

bool UseSource(const std::u16string& source, CheckRun* run, Report& report) {
    run->web = IsWebAddress(source.c_str());
    std::u16string base = source;
    if (!run->web) std::replace(base.begin(), base.end(), u'/', u'\\');
    if (base.empty() || base.size() > SERVER_URL_CAPACITY - 1) {
        report.Error(FINDING_IO, source, 0,
                     u"not a server address the updater can hold (1 to " +
                         NumberText(SERVER_URL_CAPACITY - 1) + u" characters)");
        return false;
    }
    PathKind kind = run->web ? PATH_FOLDER : KindOfPath(base.c_str());
    if (kind == PATH_FILE) {
        report.Error(FINDING_IO, source, 0,
                     u"is a file: check takes the server folder that holds scripts.txt (or the "
                     u"base address), not the catalog itself");
        return false;
    }
    if (kind != PATH_FOLDER) {
        report.Error(FINDING_IO, source, 0, u"no such folder");
        return false;
    }
    if (!run->web) run->folder = base;
    TextCopy(ServerUrl, SERVER_URL_CAPACITY, base.c_str());
    char16_t address[CATALOG_ADDRESS_CAPACITY];
    BuildResourceAddress(address, CATALOG_ADDRESS_CAPACITY, u"scripts.txt");
    run->where = Shown(*run, address);
    return true;
}

void CheckBytes(CheckRun* run, const unsigned char* bytes, uint32_t size) {
    int zeroLine = LineOfZeroByte(bytes, size);
    if (zeroLine != 0) {
        size_t kept = strlen(reinterpret_cast<const char*>(bytes));
        run->lineFindings.push_back(
            LineFinding{SEVERITY_ERROR, FINDING_ZERO_BYTE, zeroLine,
                        u"the updater stops reading at the zero byte on this line: the " +
                            NumberText(static_cast<long long>(size - kept)) +
                            u" bytes from it on are ignored"});
    }
    for (int line : LinesWithInvalidUtf8(bytes, size)) {
        run->lineFindings.push_back(
            LineFinding{SEVERITY_WARNING, FINDING_INVALID_UTF8, line,
                        u"bytes that are not UTF-8: the updater shows U+FFFD in their place"});
    }
}

// Converts and parses the catalog with the updater's own code, recording
// what it does with every line.
bool ReadCatalog(CheckRun* run, const unsigned char* bytes, Report& report) {
    char16_t* converted = ConvertCatalogText(reinterpret_cast<const char*>(bytes));
    if (converted == nullptr) {
        report.Error(FINDING_IO, run->where, 0, u"cannot convert the catalog (out of memory)");
        return false;
    }
    run->reading = ReadCatalogLines(SkipByteOrderMark(converted));
    free(converted);
    std::vector<LineFinding> findings = FindingsOfLines(run->reading);
    run->lineFindings.insert(run->lineFindings.end(), findings.begin(), findings.end());
    return true;
}

// ---- names as the user's disk holds them ---------------------------------------------

void Tell(CheckRun* run, Severity severity, FindingKind kind, int line,
          const std::u16string& text) {
    run->lineFindings.push_back(LineFinding{severity, kind, line, text});
}

void CheckScriptNames(CheckRun* run) {
    std::map<std::u16string, int> seen;
    for (int s = 0; s < ScriptCount; ++s) {
        std::u16string name = ScriptTable[s].name;
        int line = run->reading.scriptLines[static_cast<size_t>(s)];
        if (name.find_first_of(u"/\\") != std::u16string::npos) {
            Tell(run, SEVERITY_WARNING, FINDING_LOCAL_NAME, line,
                 u"the section name holds a slash: its files go into nested folders");
        } else {
            std::u16string problem = WindowsNameProblem(name);
            if (!problem.empty()) {
                Tell(run, SEVERITY_ERROR, FINDING_LOCAL_NAME, line,
                     u"the updater cannot make the folder [" + name + u"]: " + problem);
            }
        }
        auto earlier = seen.emplace(FoldedName(name), line);
        if (!earlier.second) {
            Tell(run, SEVERITY_WARNING, FINDING_DUPLICATE_SCRIPT, line,
                 u"section [" + name + u"] has the folder of the section at line " +
                     NumberText(earlier.first->second));
        }
    }
}

void CheckLocalFile(CheckRun* run, const ScriptRecord& script, int file) {
    std::u16string path = FileTable[file].path;
    int line = run->reading.fileLines[static_cast<size_t>(file)];
    std::u16string problem = WindowsPathProblem(path);
    if (!problem.empty()) {
        Tell(run, SEVERITY_ERROR, FINDING_LOCAL_NAME, line,
             u"the updater cannot write " + Quoted(path) + u": " + problem);
    }
    int room = ScriptsFolderRoom(script.name, path.c_str());
    if (room < LEAST_FOLDER_ROOM) {
        Tell(run, SEVERITY_ERROR, FINDING_LOCAL_PATH_LONG, line,
             u"the script name and the path leave no room for a scripts folder within the "
             u"updater's limits (259 characters with \".new\", folders of 247): it never "
             u"installs this file");
    } else if (room < COMFORTABLE_FOLDER_ROOM) {
        Tell(run, SEVERITY_WARNING, FINDING_LOCAL_PATH_LONG, line,
             u"the script name and the path leave only " + NumberText(room) +
                 u" characters for the user's scripts folder (259 in all with \".new\", "
                 u"folders of 247)");
    }
}

void CheckLocalNames(CheckRun* run) {
    CheckScriptNames(run);
    // Two lines of one script for one file never get this far: the parser
    // refuses the later one, and its verdict says why.
    for (int s = 0; s < ScriptCount; ++s) {
        for (int f = ScriptTable[s].firstFile; f < EndOfFiles(ScriptTable[s]); ++f) {
            CheckLocalFile(run, ScriptTable[s], f);
        }
    }
}

void TellLineFindings(CheckRun* run, Report& report) {
    std::stable_sort(run->lineFindings.begin(), run->lineFindings.end(),
                     [](const LineFinding& a, const LineFinding& b) { return a.line < b.line; });
    for (const LineFinding& finding : run->lineFindings) {
        report.Add(finding.severity, finding.kind, run->where, finding.line, finding.text);
    }
}

// ---- the files on the server -------------------------------------------------------------

void CheckWireForm(const CheckRun& run, const ScriptRecord& script, int file,
                   const std::u16string& address, Report& report) {
    AddressRisk risk = WebAddressRisk(std::u16string(script.name) + u"/" + FileTable[file].path);
    if (risk.severity == SEVERITY_NOTE) return;
    std::vector<char16_t> wire(WIRE_ADDRESS_CAPACITY);
    if (!MakeWireAddress(address.c_str(), wire.data(), WIRE_ADDRESS_CAPACITY)) wire[0] = 0;
    report.Add(risk.severity, FINDING_ADDRESS_RISK, run.where,
               run.reading.fileLines[static_cast<size_t>(file)],
               address + u" is requested as " + std::u16string(wire.data()) + u": " + risk.text);
}

// What the updater does with a published file whose MD5 is not the
// catalog's: it refuses the download.
void CheckPublishedDigest(const CheckRun& run, const FileRecord& file, int line,
                          const std::u16string& shown, const char16_t* digest, Report& report) {
    std::u16string md5 = file.md5;
    if (!IsMd5Text(md5) || TextCompareNoCase(digest, file.md5) == 0) return;
    report.Error(FINDING_DIGEST_MISMATCH, run.where, line,
                 shown + u" has the digest " + digest + u", the catalog says " + md5 +
                     (file.keep ? u": the updater refuses the download, so a new install stops "
                                  u"at this keep file"
                                : u": the updater refuses every download of it"));
}

void CheckPublishedFile(const CheckRun& run, int file, const std::u16string& address,
                        Report& report) {
    int line = run.reading.fileLines[static_cast<size_t>(file)];
    std::u16string shown = Shown(run, address);
    uint32_t size = 0;
    unsigned char* content = FetchResource(address.c_str(), &size, -1);
    if (content == nullptr) {
        report.Error(FINDING_FILE_MISSING, run.where, line,
                     shown +
                         (run.web ? u" is missing (or the server refused it)" : u" is missing") +
                         u": the updater cannot install it");
        return;
    }
    char16_t digest[DIGEST_CAPACITY];
    bool hashed = HashBytes(content, size, digest);
    free(content);
    if (!hashed) {
        report.Error(FINDING_IO, run.where, line, u"cannot hash " + shown);
        return;
    }
    CheckPublishedDigest(run, FileTable[file], line, shown, digest, report);
}

void CheckFiles(const CheckRun& run, Report& report) {
    for (int s = 0; s < ScriptCount; ++s) {
        const ScriptRecord& script = ScriptTable[s];
        for (int f = script.firstFile; f < EndOfFiles(script); ++f) {
            char16_t address[FILE_ADDRESS_CAPACITY];
            if (!BuildFileAddress(address, script.name, FileTable[f].path)) {
                report.Error(FINDING_ADDRESS_CUT, run.where,
                             run.reading.fileLines[static_cast<size_t>(f)],
                             u"the updater's address buffers cut the address of " +
                                 Quoted(FileTable[f].path) +
                                 u": use a shorter server address, script name or path");
                continue;
            }
            if (run.web) CheckWireForm(run, script, f, address, report);
            CheckPublishedFile(run, f, address, report);
        }
    }
}

// ---- what lies in a server folder but not in the catalog -----------------------------------

void WarnUnlisted(const std::u16string& path, const std::u16string& what, Report& report) {
    report.Warning(FINDING_NOT_IN_CATALOG, DisplayPath(path), 0,
                   what +
                       u" is not in the catalog, so the updater never installs it; run "
                       u"catalog-tool make if it should be");
}

// A web server is case-sensitive and Windows is not: a name that differs
// from the catalog's only in case is neither missing nor unlisted.
void WarnOtherCase(const std::u16string& path, const std::u16string& catalogName, Report& report) {
    report.Error(FINDING_NOT_IN_CATALOG, DisplayPath(path), 0,
                 u"differs only in case from " + Quoted(catalogName) +
                     u" in the catalog: a web server tells them apart, Windows does not; rename "
                     u"the file or the folder, or correct the catalog, so that both are spelt "
                     u"alike");
}

void FindUnlistedFiles(const std::u16string& folder, const std::u16string& prefix,
                       const std::map<std::u16string, std::u16string>& listed, Report& report) {
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder.c_str(), &entries)) return;
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    for (const FolderEntry& entry : entries) {
        std::u16string path = folder + u"\\" + entry.name;
        if (entry.kind == PATH_FOLDER) {
            FindUnlistedFiles(path, prefix + entry.name + u"/", listed, report);
        } else {
            auto name = listed.find(FoldedName(prefix + entry.name));
            if (name == listed.end()) {
                WarnUnlisted(path, u"the file", report);
            } else if (name->second != prefix + entry.name) {
                WarnOtherCase(path, name->second, report);
            }
        }
    }
}

bool NamesASection(const std::u16string& name) {
    for (int s = 0; s < ScriptCount; ++s) {
        if (name == ScriptTable[s].name) return true;
    }
    return false;
}

// The usual slip: files put on the server folder without running make.
void FindUnlisted(const CheckRun& run, Report& report) {
    std::map<std::u16string, int> sections;
    for (int s = 0; s < ScriptCount; ++s) sections[FoldedName(ScriptTable[s].name)] = s;
    std::vector<FolderEntry> entries;
    if (!ListFolder(run.folder.c_str(), &entries)) return;
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    for (const FolderEntry& entry : entries) {
        if (entry.kind != PATH_FOLDER || entry.name[0] == u'.') continue;
        std::u16string path = run.folder + u"\\" + entry.name;
        auto section = sections.find(FoldedName(entry.name));
        if (section == sections.end()) {
            WarnUnlisted(path, u"the script folder", report);
            continue;
        }
        const ScriptRecord& script = ScriptTable[section->second];
        if (!NamesASection(entry.name)) WarnOtherCase(path, script.name, report);
        std::map<std::u16string, std::u16string> listed;  // folded: as the catalog writes it
        for (int f = script.firstFile; f < EndOfFiles(script); ++f) {
            std::u16string slashed = FileTable[f].path;
            std::replace(slashed.begin(), slashed.end(), u'\\', u'/');
            listed[FoldedName(slashed)] = slashed;
        }
        FindUnlistedFiles(path, u"", listed, report);
    }
}

void TellSummary(const CheckRun& run, Report& report) {
    int errors = report.Errors(), warnings = report.Warnings();
    report.Note(FINDING_SUMMARY, run.where, 0,
                NumberText(ScriptCount) + u" scripts, " + NumberText(FileCount) + u" files, " +
                    NumberText(NotesLength) + u" of " + NumberText(NOTES_CAPACITY) +
                    u" note characters; " + NumberText(errors) +
                    (errors == 1 ? u" error, " : u" errors, ") + NumberText(warnings) +
                    (warnings == 1 ? u" warning" : u" warnings"));
}

}  // namespace

int RunCheck(const std::u16string& source, const std::u16string& keyText, Report& report) {
    CheckRun run;
    if (!UseSource(source, &run, report)) return EXIT_FAILED;
    char16_t address[CATALOG_ADDRESS_CAPACITY];
    BuildResourceAddress(address, CATALOG_ADDRESS_CAPACITY, u"scripts.txt");
    uint32_t size = 0;
    // The updater's own terms: a catalog it would refuse for its size or
    // its framing does not pass here either.
    const FetchTerms terms = CatalogFetchTerms(!keyText.empty());
    unsigned char* bytes = FetchResourceWithTerms(address, &size, -1, &terms);
    if (bytes == nullptr) {
        report.Error(FINDING_IO, run.where, 0,
                     u"cannot fetch the catalog as the updater does (missing, over " +
                         NumberText(CATALOG_MAX_BYTES / (1024 * 1024)) +
                         u" MiB, or served without a length the updater can trust)");
        return EXIT_FAILED;
    }
    CheckBytes(&run, bytes, size);
    bool read = ReadCatalog(&run, bytes, report);
    if (read && !keyText.empty()) {
        read = CheckSigning(run.where, bytes, size, keyText, run.reading.fileLines, report);
    } else if (read) {
        TellSigningWithoutKey(run.where, bytes, size, report);
    }
    free(bytes);
    if (!read) return EXIT_FAILED;
    CheckLocalNames(&run);
    TellLineFindings(&run, report);
    CheckFiles(run, report);
    if (!run.web) FindUnlisted(run, report);
    TellSummary(run, report);
    return report.Errors() > 0 ? EXIT_PROBLEMS : EXIT_OK;
}
