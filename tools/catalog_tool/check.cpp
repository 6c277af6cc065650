// catalog-tool check: the catalog's lines, then its files, as the updater
// would meet them.
#include "tools/catalog_tool/check.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <vector>

#include "app/settings.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/hash_os.h"
#include "catalog/local_state.h"
#include "catalog/names.h"
#include "catalog/server.h"
#include "catalog/wire_address.h"
#include "tools/catalog_tool/catalog_lines.h"
#include "tools/catalog_tool/names.h"
#include "tools/catalog_tool/tool_os.h"

namespace {

// One check run: the source, what the catalog holds, and the findings about
// its lines, gathered first so that they can be told in line order.
struct CheckRun {
    std::u16string where;  // the catalog's address, as the user knows it
    bool web = false;
    CatalogModel model;
    std::vector<LineFinding> lineFindings;
};

std::u16string Address(const std::u16string& relative, int capacity) {
    std::vector<char16_t> buffer(static_cast<size_t>(capacity));
    BuildResourceAddress(buffer.data(), capacity, relative.c_str());
    return std::u16string(buffer.data());
}

std::u16string Shown(const CheckRun& run, const std::u16string& address) {
    return run.web ? address : DisplayPath(address);
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
    if (!run->web && KindOfPath(base.c_str()) != PATH_FOLDER) {
        report.Error(FINDING_IO, source, 0, u"no such folder");
        return false;
    }
    TextCopy(ServerUrl, SERVER_URL_CAPACITY, base.c_str());
    run->where = Shown(*run, Address(u"scripts.txt", CATALOG_ADDRESS_CAPACITY));
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

// Converts and parses the catalog with the updater's own code, and follows
// the same text with the line checks; false when the two disagree.
bool ReadCatalog(CheckRun* run, const unsigned char* bytes, Report& report) {
    char16_t* converted = ConvertCatalogText(reinterpret_cast<const char*>(bytes));
    if (converted == nullptr) {
        report.Error(FINDING_IO, run->where, 0, u"cannot convert the catalog (out of memory)");
        return false;
    }
    char16_t* text = SkipByteOrderMark(converted);
    ClassifyCatalog(SplitCatalogLines(text), &run->model);
    ClearCatalog();
    ParseCatalog(text);
    free(converted);
    std::u16string difference;
    if (!ModelMatchesTables(run->model, &difference)) {
        report.Error(FINDING_PARSER_DISAGREES, run->where, 0,
                     u"catalog-tool and the updater read this catalog differently (" + difference +
                         u"); please report this with the catalog");
        return false;
    }
    run->lineFindings.insert(run->lineFindings.end(), run->model.findings.begin(),
                             run->model.findings.end());
    return true;
}

// ---- names as the user's disk holds them ---------------------------------------------

// Two section names that Windows takes for one folder.
std::u16string LocalKey(const std::u16string& name) {
    std::vector<char16_t> folded(name.size() + 1);
    FoldPath(folded.data(), static_cast<int>(folded.size()), name.c_str());
    return folded.data();
}

void CheckScriptNames(CheckRun* run) {
    std::map<std::u16string, int> seen;
    for (const ModelScript& script : run->model.scripts) {
        if (script.name.find_first_of(u"/\\") != std::u16string::npos) {
            run->lineFindings.push_back(
                LineFinding{SEVERITY_WARNING, FINDING_LOCAL_NAME, script.line,
                            u"the section name holds a slash: its files go into nested folders"});
        } else {
            std::u16string problem = WindowsNameProblem(script.name);
            if (!problem.empty()) {
                run->lineFindings.push_back(LineFinding{
                    SEVERITY_ERROR, FINDING_LOCAL_NAME, script.line,
                    u"the updater cannot make the folder [" + script.name + u"]: " + problem});
            }
        }
        auto earlier = seen.emplace(LocalKey(script.name), script.line);
        if (!earlier.second) {
            run->lineFindings.push_back(LineFinding{
                SEVERITY_WARNING, FINDING_DUPLICATE_SCRIPT, script.line,
                u"section [" + script.name + u"] has the folder of the section at line " +
                    NumberText(earlier.first->second)});
        }
    }
}

void CheckLocalFile(CheckRun* run, const ModelFile& file) {
    const ModelScript& script = run->model.scripts[file.script];
    std::u16string problem = WindowsPathProblem(file.path);
    if (!problem.empty()) {
        run->lineFindings.push_back(
            LineFinding{SEVERITY_ERROR, FINDING_LOCAL_NAME, file.line,
                        u"the updater cannot write " + Quoted(file.path) + u": " + problem});
    }
    int room = ScriptsFolderRoom(script.name, file.path);
    if (room < LEAST_FOLDER_ROOM) {
        run->lineFindings.push_back(LineFinding{
            SEVERITY_ERROR, FINDING_LOCAL_PATH_LONG, file.line,
            u"the script name and the path leave no room for a scripts folder within the "
            u"updater's 259 characters: it never installs this file"});
    } else if (room < COMFORTABLE_FOLDER_ROOM) {
        run->lineFindings.push_back(
            LineFinding{SEVERITY_WARNING, FINDING_LOCAL_PATH_LONG, file.line,
                        u"the script name and the path leave only " + NumberText(room) +
                            u" characters for the user's scripts folder (259 in all)"});
    }
}

void CheckLocalNames(CheckRun* run) {
    CheckScriptNames(run);
    // Two lines of one script for one file never get this far: the parser
    // refuses the later one, and the line checks say why.
    for (const ModelFile& file : run->model.files) CheckLocalFile(run, file);
}

void TellLineFindings(CheckRun* run, Report& report) {
    std::stable_sort(run->lineFindings.begin(), run->lineFindings.end(),
                     [](const LineFinding& a, const LineFinding& b) { return a.line < b.line; });
    for (const LineFinding& finding : run->lineFindings) {
        report.Add(finding.severity, finding.kind, run->where, finding.line, finding.text);
    }
}

// ---- the files on the server -------------------------------------------------------------

// The address the download worker builds for the file, or empty (with the
// reason told) when its buffers would cut it.
std::u16string FileAddress(const CheckRun& run, const ModelFile& file, Report& report) {
    const ModelScript& script = run.model.scripts[file.script];
    char16_t address[FILE_ADDRESS_CAPACITY];
    if (!BuildFileAddress(address, script.name.c_str(), file.path.c_str())) {
        report.Error(FINDING_ADDRESS_CUT, run.where, file.line,
                     u"the updater's address buffers cut the address of " + Quoted(file.path) +
                         u": use a shorter server address, script name or path");
        return std::u16string();
    }
    return address;
}

void CheckWireForm(const CheckRun& run, const ModelFile& file, const std::u16string& address,
                   Report& report) {
    const ModelScript& script = run.model.scripts[file.script];
    AddressRisk risk = WebAddressRisk(script.name + u"/" + file.path);
    if (risk.severity == SEVERITY_NOTE) return;
    std::vector<char16_t> wire(WIRE_ADDRESS_CAPACITY);
    if (!MakeWireAddress(address.c_str(), wire.data(), WIRE_ADDRESS_CAPACITY)) wire[0] = 0;
    report.Add(risk.severity, FINDING_ADDRESS_RISK, run.where, file.line,
               address + u" is requested as " + std::u16string(wire.data()) + u": " + risk.text);
}

void CheckPublishedFile(const CheckRun& run, const ModelFile& file, const std::u16string& address,
                        Report& report) {
    uint32_t size = 0;
    unsigned char* content = FetchResource(address.c_str(), &size, -1);
    if (content == nullptr) {
        report.Error(FINDING_FILE_MISSING, run.where, file.line,
                     Shown(run, address) + u" is missing (or the server refused it)");
        return;
    }
    char16_t digest[DIGEST_CAPACITY];
    bool hashed = HashBytes(content, size, digest);
    free(content);
    if (!hashed) {
        report.Error(FINDING_IO, run.where, file.line, u"cannot hash " + Shown(run, address));
        return;
    }
    if (!IsMd5Text(file.md5) || TextCompareNoCase(digest, file.md5.c_str()) == 0) return;
    std::u16string text =
        Shown(run, address) + u" has the digest " + digest + u", the catalog says " + file.md5;
    if (file.keep) {
        report.Warning(FINDING_DIGEST_MISMATCH, run.where, file.line,
                       text + u" (a keep file: only new installs get it)");
    } else {
        report.Error(FINDING_DIGEST_MISMATCH, run.where, file.line, text);
    }
}

void CheckFiles(const CheckRun& run, Report& report) {
    for (const ModelFile& file : run.model.files) {
        std::u16string address = FileAddress(run, file, report);
        if (address.empty()) continue;
        if (run.web) CheckWireForm(run, file, address, report);
        CheckPublishedFile(run, file, address, report);
    }
}

void TellSummary(const CheckRun& run, Report& report) {
    int errors = report.Errors(), warnings = report.Warnings();
    report.Note(FINDING_SUMMARY, run.where, 0,
                NumberText(static_cast<long long>(run.model.scripts.size())) + u" scripts, " +
                    NumberText(static_cast<long long>(run.model.files.size())) + u" files, " +
                    NumberText(static_cast<long long>(run.model.notesText.size())) + u" of " +
                    NumberText(NOTES_CAPACITY) + u" note characters; " + NumberText(errors) +
                    (errors == 1 ? u" error, " : u" errors, ") + NumberText(warnings) +
                    (warnings == 1 ? u" warning" : u" warnings"));
}

}  // namespace

int RunCheck(const std::u16string& source, Report& report) {
    CheckRun run;
    if (!UseSource(source, &run, report)) return EXIT_FAILED;
    uint32_t size = 0;
    unsigned char* bytes =
        FetchResource(Address(u"scripts.txt", CATALOG_ADDRESS_CAPACITY).c_str(), &size, -1);
    if (bytes == nullptr) {
        report.Error(FINDING_IO, run.where, 0, u"cannot fetch the catalog");
        return EXIT_FAILED;
    }
    CheckBytes(&run, bytes, size);
    bool read = ReadCatalog(&run, bytes, report);
    free(bytes);
    if (!read) return EXIT_FAILED;
    CheckLocalNames(&run);
    TellLineFindings(&run, report);
    CheckFiles(run, report);
    TellSummary(run, report);
    return report.Errors() > 0 ? EXIT_PROBLEMS : EXIT_OK;
}
