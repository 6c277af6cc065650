// updater_bench: how fast the program hashes, fetches and parses, each
// figure set against a baseline measured in the same run over the same,
// equally warm files, and how much memory a large fetch takes. A report, not
// a test: a missed target is printed as MISS and changes nothing; only a
// measurement that could not be made (a fetch that failed, a hash that did
// not match) ends the program with a non-zero code.
//
//   updater_bench --data DIR [--servers servers.ini] [--rounds N]
//                 [--baselines FILE | --write-baselines FILE]
//                 [--prepare-only | --baselines-only]
//
// The native build starts md5sum, curl and cat itself. The Windows build,
// run under Wine, cannot start them; it reads the figures the native build
// measured in the same bench run (--baselines), as tools/bench.sh arranges.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/shared_state.h"
#include "app/text.h"
#include "bench/bench_data.h"
#include "bench/bench_os.h"
#include "catalog/catalog.h"
#include "catalog/local_state.h"
#include "catalog/proven_files.h"
#include "catalog/server.h"
#ifndef _WIN32
#include "bench/bench_tools.h"
#endif

namespace {

const char Usage[] =
    "usage: updater_bench --data DIR [--servers servers.ini] [--rounds N]\n"
    "                     [--baselines FILE | --write-baselines FILE]\n"
    "                     [--prepare-only | --baselines-only]\n";

// Runs of each side after one warm-up run; the fastest counts.
enum {
    TREE_ROUNDS = 5,
    BIG_ROUNDS = 3,
    FETCH_ROUNDS = 5,
    PARSE_ROUNDS = 40,
    ADDRESS_CAPACITY = 2048,
};

const double MiB = 1024.0 * 1024.0;
const double HASH_TARGET = 0.9;                 // of md5sum's throughput
const double FETCH_TARGET = 0.8;                // of curl's throughput
const uint64_t MEMORY_ALLOWANCE = 1024 * 1024;  // over the body's own size

// ---- options ----------------------------------------------------------------

struct Options {
    fs::path data;          // where the benchmark's files are made and kept
    fs::path servers;       // servers.ini of the local web servers; empty for none
    fs::path baselinesIn;   // baseline figures to use instead of measuring them
    fs::path baselinesOut;  // where to write the baseline figures measured here
    bool prepareOnly = false;
    bool baselinesOnly = false;
    int rounds = 0;  // 0: each measurement's own number of rounds
};

bool TakePath(const std::vector<std::u16string>& arguments, size_t* i, fs::path* path) {
    if (*i + 1 >= arguments.size()) return false;
    *path = fs::path(arguments[++*i]);
    return true;
}

bool ParseOptions(const std::vector<std::u16string>& arguments, Options* options) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::u16string& word = arguments[i];
        bool ok = true;
        if (word == u"--data") {
            ok = TakePath(arguments, &i, &options->data);
        } else if (word == u"--servers") {
            ok = TakePath(arguments, &i, &options->servers);
        } else if (word == u"--baselines") {
            ok = TakePath(arguments, &i, &options->baselinesIn);
        } else if (word == u"--write-baselines") {
            ok = TakePath(arguments, &i, &options->baselinesOut);
        } else if (word == u"--prepare-only") {
            options->prepareOnly = true;
        } else if (word == u"--baselines-only") {
            options->baselinesOnly = true;
        } else if (word == u"--rounds" && i + 1 < arguments.size()) {
            options->rounds = atoi(fs::path(arguments[++i]).u8string().c_str());
            ok = options->rounds > 0;
        } else {
            ok = false;
        }
        if (!ok) return false;
    }
    return !options->data.empty();
}

// ---- the local servers ------------------------------------------------------

struct Servers {
    int httpPort = 0;  // nginx, plain HTTP on 127.0.0.1
    fs::path www;      // its document root
};

bool LoadServers(const fs::path& ini, Servers* servers, std::string* problem) {
    std::ifstream in(ini);
    if (!in) {
        *problem = "cannot read " + ini.u8string() + " (are the servers started?)";
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, 10, "http_port=") == 0) servers->httpPort = atoi(line.c_str() + 10);
        if (line.compare(0, 4, "www=") == 0) servers->www = HostPathOfUnixPath(line.substr(4));
    }
    if (servers->httpPort <= 0 || servers->www.empty()) {
        *problem = ini.u8string() + " names no http_port or www";
        return false;
    }
    return true;
}

// ---- baseline figures kept between the two builds -----------------------------
// One "key=seconds" line each: the fastest run of each baseline tool.

typedef std::map<std::string, double> Baselines;

bool ReadBaselines(const fs::path& path, Baselines* baselines) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        double seconds = atof(line.c_str() + equals + 1);
        if (seconds > 0) (*baselines)[line.substr(0, equals)] = seconds;
    }
    return true;
}

bool WriteBaselines(const fs::path& path, const Baselines& baselines) {
    std::ofstream out(path, std::ios::trunc);
    char line[128];
    for (const auto& entry : baselines) {
        snprintf(line, sizeof line, "%s=%.6f\n", entry.first.c_str(), entry.second);
        out << line;
    }
    out.close();
    return !out.fail();
}

// ---- timing -----------------------------------------------------------------

// Seconds of one run, negative when the run failed or gave a wrong result.
typedef std::function<double()> Timed;

template <class Work>
double SecondsOf(Work work) {
    auto start = std::chrono::steady_clock::now();
    bool ok = work();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return ok ? seconds : -1;
}

struct Best {
    double ours = -1;      // fastest run of the program's code, negative for none
    double baseline = -1;  // fastest run of the baseline, negative for none
};

// A run this slow is not repeated: at that length a passing disturbance on
// the machine hardly shows, and repeating it would make a slow build's
// report take many minutes.
const double SLOW_RUN_SECONDS = 5;

// One side of a comparison while it is measured.
struct Side {
    Timed run;
    double best = -1;   // fastest run so far, negative for none
    bool done = false;  // no more runs: absent, failed, or too slow to repeat
};

// The warm-up run fills the caches and is not counted, unless it was slow.
void WarmUp(Side& side) {
    if (!side.run) {
        side.done = true;
        return;
    }
    double seconds = side.run();
    if (seconds < 0 || seconds > SLOW_RUN_SECONDS) {
        side.best = seconds;
        side.done = true;
    }
}

// A failed run spoils the whole side, so that a fast failure is never
// reported as a fast success.
void RunAgain(Side& side) {
    if (side.done) return;
    double seconds = side.run();
    if (seconds < 0) {
        side.best = -1;
        side.done = true;
    } else if (side.best < 0 || seconds < side.best) {
        side.best = seconds;
    }
}

// One warm-up run of each side, then rounds of both in turn, so that a
// passing disturbance on the machine touches both sides alike; the fastest
// run of each counts.
Best MeasureInTurn(const Timed& ours, const Timed& baseline, int rounds) {
    Side mine;
    Side theirs;
    mine.run = ours;
    theirs.run = baseline;
    WarmUp(mine);
    if (mine.run && mine.best < 0 && mine.done) return Best();  // ours failed: no figure at all
    WarmUp(theirs);
    for (int round = 0; round < rounds; ++round) {
        RunAgain(mine);
        RunAgain(theirs);
    }
    Best best;
    best.ours = mine.run ? mine.best : -1;
    best.baseline = theirs.run ? theirs.best : -1;
    return best;
}

// ---- the report ---------------------------------------------------------------

enum Verdict { VERDICT_PASS, VERDICT_MISS, VERDICT_INFO, VERDICT_ERROR };

struct Row {
    std::string name;
    std::string ours;
    std::string baseline;
    std::string ratio;
    std::string target;
    Verdict verdict;
};

std::string Printed(const char* format, double value) {
    char text[64];
    snprintf(text, sizeof text, format, value);
    return text;
}

std::string Throughput(double bytes, double seconds) {
    return seconds > 0 ? Printed("%.1f MiB/s", bytes / MiB / seconds) : "n/a";
}

const char* VerdictText(Verdict verdict) {
    switch (verdict) {
        case VERDICT_PASS:
            return "PASS";
        case VERDICT_MISS:
            return "MISS";
        case VERDICT_INFO:
            return "info";
        case VERDICT_ERROR:
            return "ERROR";
    }
    return "";
}

void PrintRows(const std::vector<Row>& rows) {
    const char* format = "%-38s %-22s %-26s %-7s %-15s %s\n";
    printf(format, "name", "ours", "baseline", "ratio", "target", "result");
    for (const Row& row : rows) {
        printf(format, row.name.c_str(), row.ours.c_str(), row.baseline.c_str(), row.ratio.c_str(),
               row.target.c_str(), VerdictText(row.verdict));
    }
}

// ---- one run of the benchmark -------------------------------------------------

struct Run {
    Options options;
    BenchData data;
    bool haveServers = false;
    Servers servers;
    std::u16string webAddress;     // the 64 MiB file over HTTP, as FetchResource gets it
    std::u16string warmAddress;    // the small file beside it
    std::u16string folderAddress;  // the same 64 MiB file as a folder path
    std::string webUrl;            // the 64 MiB file's address for the baseline tool
    Baselines given;               // from --baselines
    Baselines measured;            // measured by this run
#ifndef _WIN32
    std::unique_ptr<ToolBaselines> tools;
#endif
    std::vector<Row> rows;
    std::vector<std::string> notes;  // printed under the table
    bool failed = false;             // some measurement could not be made
};

int RoundsFor(const Run& run, int own) {
    return run.options.rounds > 0 ? run.options.rounds : own;
}

// The baseline named key: given on the command line, or run here by tool
// (null where this build cannot start the tools). The figures measured here
// are kept for --write-baselines.
Best Compare(Run& run, const char* key, const Timed& ours, const Timed& tool, int rounds) {
    auto given = run.given.find(key);
    bool isGiven = given != run.given.end();
    Best best = MeasureInTurn(ours, isGiven ? Timed() : tool, rounds);
    if (isGiven) {
        best.baseline = given->second;
    } else if (best.baseline > 0) {
        run.measured[key] = best.baseline;
    }
    return best;
}

void AddThroughputRow(Run& run, const std::string& name, double bytes, const Best& best,
                      const char* tool, double target) {
    if (run.options.baselinesOnly) return;  // nothing of ours was measured
    Row row;
    row.name = name;
    row.ours = best.ours < 0 ? "failed" : Throughput(bytes, best.ours);
    row.baseline = best.baseline > 0 ? Throughput(bytes, best.baseline) + " " + tool : "n/a";
    row.ratio = "-";
    row.target = target > 0 ? Printed(">= %.2fx", target) : "-";
    row.verdict = target > 0 ? VERDICT_MISS : VERDICT_INFO;
    if (best.ours > 0 && best.baseline > 0) {
        double ratio = best.baseline / best.ours;  // throughputs over the same bytes
        row.ratio = Printed(ratio >= 0.1 ? "%.2fx" : "%.3fx", ratio);
        if (target > 0 && ratio >= target) row.verdict = VERDICT_PASS;
    } else if (target > 0 && best.baseline <= 0) {
        row.verdict = VERDICT_INFO;  // nothing to compare with
    }
    if (best.ours < 0) {
        row.verdict = VERDICT_ERROR;
        run.failed = true;
    }
    run.rows.push_back(row);
}

void AddErrorRow(Run& run, const std::string& name, const std::string& why) {
    run.rows.push_back({name, "failed", "-", "-", "-", VERDICT_ERROR});
    run.notes.push_back(name + ": " + why);
    run.failed = true;
}

void AddSkippedRow(Run& run, const std::string& name, const std::string& why) {
    run.rows.push_back({name, "n/a", "n/a", "-", "-", VERDICT_INFO});
    run.notes.push_back(name + ": " + why);
}

// ---- checking -----------------------------------------------------------------
// A check as the program makes it: the record of proven files read, every
// script's statuses, the record written. The first check of a folder finds
// no record and reads every file; a check again finds the record of the
// one before and reads only what changed (here nothing).

const double CHECK_AGAIN_TARGET = 3.0;  // times md5sum's throughput

bool LoadCatalogFile(const fs::path& path, int scripts) {
    std::string bytes;
    if (!ReadWholeFile(path, &bytes)) return false;
    char16_t* text = ConvertCatalogText(bytes.data());
    if (text == nullptr) return false;
    ClearCatalog();
    ParseCatalog(SkipByteOrderMark(text));
    free(text);
    return ScriptCount == scripts;
}

bool UseScriptsFolder(const fs::path& folder) {
    std::u16string text = ProgramFormOf(folder);
    if (text.size() >= SCRIPTS_FOLDER_CAPACITY) return false;
    TextCopy(ScriptsFolder, SCRIPTS_FOLDER_CAPACITY, text.c_str());
    return true;
}

// Every file must come out OK: anything else means the check did not read
// what the catalog describes, and its speed says nothing.
bool AllFilesOk() {
    for (int i = 0; i < FileCount; ++i) {
        if (FileTable[i].status != FILE_STATUS_OK) return false;
    }
    return FileCount > 0;
}

bool CheckAllScripts() {
    LoadProvenFiles();
    for (int script = 0; script < ScriptCount; ++script) RefreshFileStatuses(script);
    SaveProvenFiles();
    return true;
}

// The records live in the data folder, never in the user's own.
fs::path RecordsFolder(const Run& run) {
    return run.options.data / "records";
}

void ForgetRecords(const Run& run) {
    std::error_code ignored;
    fs::remove_all(RecordsFolder(run), ignored);
    fs::create_directories(RecordsFolder(run), ignored);
}

double TimeCheck(const Run& run, bool again) {
    if (!again) ForgetRecords(run);
    for (int i = 0; i < FileCount; ++i) FileTable[i].status = FILE_STATUS_UPDATE;
    double seconds = SecondsOf(CheckAllScripts);
    return AllFilesOk() ? seconds : -1;
}

struct CheckSet {
    const char* name;  // of the files: "4096-file tree"
    const char* key;   // of md5sum's baseline over them
    fs::path catalog;
    int scripts;
    fs::path folder;
    std::vector<fs::path> files;
    double bytes;
    int rounds;
};

void MeasureCheck(Run& run, const CheckSet& set, bool again, double target) {
    std::string name = std::string(again ? "check again, " : "first check, ") + set.name;
    bool ready = LoadCatalogFile(set.catalog, set.scripts) && UseScriptsFolder(set.folder);
    if (!run.options.baselinesOnly && !ready) {
        AddErrorRow(run, name, "cannot load " + set.catalog.u8string() + " or use its folder");
        return;
    }
    // A check again starts from the record of a first check.
    if (again && !run.options.baselinesOnly) TimeCheck(run, false);
    Timed ours;
    if (!run.options.baselinesOnly) ours = [&run, again] { return TimeCheck(run, again); };
    Timed tool;
#ifndef _WIN32
    const std::vector<fs::path>& files = set.files;
    tool = [&run, &files] { return run.tools->Md5sum(files); };
#endif
    Best best = Compare(run, set.key, ours, tool, set.rounds);
    AddThroughputRow(run, name, set.bytes, best, "md5sum", target);
    if (ours && best.ours < 0) {
        run.notes.push_back(name + ": not every file came out OK; remove " +
                            run.options.data.u8string() + " to make the files again");
    }
}

void MeasureAllChecks(Run& run) {
    const BenchData& data = run.data;
    TextCopy(ProvenRecordFolder, PROVEN_FOLDER_CAPACITY, ProgramFormOf(RecordsFolder(run)).c_str());
    const CheckSet tree = {"4096-file tree",
                           "md5sum-tree",
                           data.treeCatalog,
                           1,
                           data.treeScripts,
                           data.treeFiles,
                           static_cast<double>(data.treeBytes),
                           RoundsFor(run, TREE_ROUNDS)};
    const CheckSet real = {"2400 files in 360 folders",
                           "md5sum-real",
                           data.realCatalog,
                           REAL_SCRIPT_COUNT,
                           data.realScripts,
                           data.realFiles,
                           static_cast<double>(data.realBytes),
                           RoundsFor(run, TREE_ROUNDS)};
    const CheckSet big = {"one 256 MiB file",
                          "md5sum-big",
                          data.bigCatalog,
                          1,
                          data.bigScripts,
                          {data.bigFile},
                          static_cast<double>(BIG_FILE_BYTES),
                          RoundsFor(run, BIG_ROUNDS)};
    MeasureCheck(run, tree, false, HASH_TARGET);
    MeasureCheck(run, tree, true, CHECK_AGAIN_TARGET);
    MeasureCheck(run, real, false, HASH_TARGET);
    MeasureCheck(run, real, true, CHECK_AGAIN_TARGET);
    MeasureCheck(run, big, false, HASH_TARGET);
}

// ---- fetching ---------------------------------------------------------------

std::u16string AddressUnder(const std::u16string& server, const std::string& relative) {
    TextCopy(ServerUrl, SERVER_URL_CAPACITY, server.c_str());
    char16_t address[ADDRESS_CAPACITY];
    BuildResourceAddress(address, ADDRESS_CAPACITY, fs::u8path(relative).u16string().c_str());
    return address;
}

std::u16string WebServer(const Servers& servers) {
    return fs::u8path("http://127.0.0.1:" + std::to_string(servers.httpPort)).u16string();
}

// Progress goes to bar 0, as when the download worker fetches a file.
double TimeFetch(const std::u16string& address, uint32_t expected) {
    uint32_t size = 0;
    unsigned char* body = nullptr;
    double seconds = SecondsOf([&] {
        body = FetchResource(address.c_str(), &size, 0);
        return body != nullptr;
    });
    bool whole = body != nullptr && size == expected;
    free(body);
    DrainProgressMessages();
    return whole ? seconds : -1;
}

// Both branches must hand back the very bytes of the file; a fast fetch of
// something else would be no figure at all.
bool SameAsFolderFetch(const Run& run, const unsigned char* web, uint32_t webSize) {
    uint32_t size = 0;
    unsigned char* folder = FetchResource(run.folderAddress.c_str(), &size, -1);
    bool same = folder != nullptr && size == webSize && memcmp(web, folder, size) == 0;
    free(folder);
    return same;
}

// Peak resident memory while one 64 MiB web fetch runs, over what was in use
// before it. Measured first, before anything large was ever allocated, so
// that it also holds where the peak cannot be reset. The body is then
// checked against the file itself, which vouches for the fetches timed later.
void MeasureFetchMemory(Run& run) {
    const char* name = "peak memory, 64 MiB fetch";
    uint32_t size = 0;
    free(FetchResource(run.warmAddress.c_str(), &size, 0));  // the first connection's set-up
    DrainProgressMessages();

    MemoryFigures before;
    MemoryFigures after;
    bool reset = ResetMemoryPeak();
    bool read = ReadMemoryFigures(&before);
    unsigned char* body = FetchResource(run.webAddress.c_str(), &size, 0);
    read = ReadMemoryFigures(&after) && read;
    DrainProgressMessages();
    bool same = body != nullptr && size == WEB_FILE_BYTES && SameAsFolderFetch(run, body, size);
    free(body);
    if (!same || !read) {
        AddErrorRow(
            run, name,
            !same ? "the fetch failed or gave other bytes than the file's" : "no memory figures");
        return;
    }
    uint64_t growth = after.peak > before.current ? after.peak - before.current : 0;
    Row row;
    row.name = name;
    row.ours = Printed("%.2f MiB", growth / MiB);
    row.baseline = Printed("%.2f MiB body", size / MiB);
    row.ratio = Printed("%.3fx", static_cast<double>(growth) / size);
    row.target = "<= body + 1 MiB";
    row.verdict = growth <= size + MEMORY_ALLOWANCE ? VERDICT_PASS : VERDICT_MISS;
    run.rows.push_back(row);
    if (!reset) {
        run.notes.push_back(std::string(name) +
                            ": the peak cannot be reset here; it is the process's peak so far");
    }
    if (run.data.madeNow) {
        run.notes.push_back(std::string(name) +
                            ": the data was made in this process first; run again for a clean "
                            "figure");
    }
}

void MeasureWebFetch(Run& run) {
    Timed ours;
    if (!run.options.baselinesOnly)
        ours = [&run] { return TimeFetch(run.webAddress, WEB_FILE_BYTES); };
    Timed tool;
#ifndef _WIN32
    tool = [&run] { return run.tools->Curl(run.webUrl); };
#endif
    Best best = Compare(run, "curl-fetch", ours, tool, RoundsFor(run, FETCH_ROUNDS));
    AddThroughputRow(run, "fetch 64 MiB over http", WEB_FILE_BYTES, best, "curl", FETCH_TARGET);
}

void MeasureFolderFetch(Run& run) {
    Timed ours;
    if (!run.options.baselinesOnly) {
        ours = [&run] { return TimeFetch(run.folderAddress, WEB_FILE_BYTES); };
    }
    Timed tool;
#ifndef _WIN32
    fs::path file = run.data.webFile;
    tool = [&run, file] { return run.tools->Cat(file); };
#endif
    Best best = Compare(run, "cat-folder", ours, tool, RoundsFor(run, FETCH_ROUNDS));
    AddThroughputRow(run, "fetch 64 MiB from folder", WEB_FILE_BYTES, best, "cat", 0);
}

void MeasureAllFetching(Run& run) {
    const char* names[] = {"fetch 64 MiB over http", "fetch 64 MiB from folder"};
    if (!run.haveServers) {
        for (const char* name : names) AddSkippedRow(run, name, "no servers.ini given");
        return;
    }
    MeasureWebFetch(run);
    MeasureFolderFetch(run);
}

// ---- parsing ----------------------------------------------------------------

volatile size_t LineSink;  // keeps the baseline's count from being optimised away

size_t CountLines(const char* bytes, size_t size) {
    size_t lines = 0;
    const char* end = bytes + size;
    for (const char* at = bytes; at < end; ++at, ++lines) {
        at = static_cast<const char*>(memchr(at, '\n', static_cast<size_t>(end - at)));
        if (at == nullptr) break;
    }
    return lines;
}

bool CatalogAtItsLimits() {
    return ScriptCount == MAX_SCRIPTS && FileCount == MAX_FILES &&
           NotesLength >= NOTES_CAPACITY - 2 * (NOTES_CAPACITY / MAX_SCRIPTS);
}

void AddParseRow(Run& run, const std::string& name, double bytes, const Best& best) {
    Row row;
    row.name = name;
    row.ours = best.ours > 0 ? Throughput(bytes, best.ours) + Printed(", %.0f/s", 1 / best.ours)
                             : "failed";
    row.baseline = best.baseline > 0 ? Throughput(bytes, best.baseline) + " memchr lines" : "n/a";
    row.ratio =
        best.ours > 0 && best.baseline > 0 ? Printed("%.3fx", best.baseline / best.ours) : "-";
    row.target = "-";
    row.verdict = best.ours > 0 ? VERDICT_INFO : VERDICT_ERROR;
    if (best.ours <= 0) run.failed = true;
    run.rows.push_back(row);
}

// ParseCatalog alone (it cuts its text in place, so each run gets a fresh
// copy first, outside the timing), and ConvertCatalogText, the step before
// it in the check run; both against counting the lines of the same bytes.
void MeasureParsing(Run& run) {
    const char* name = "parse catalog at limits";
    std::string bytes;
    if (!ReadWholeFile(run.data.limitsCatalog, &bytes)) {
        AddErrorRow(run, name, "cannot read " + run.data.limitsCatalog.u8string());
        return;
    }
    size_t size = bytes.size() - 1;  // less the zero byte
    char16_t* pristine = ConvertCatalogText(bytes.data());
    if (pristine == nullptr) {
        AddErrorRow(run, name, "cannot convert the catalog");
        return;
    }
    std::vector<char16_t> work(static_cast<size_t>(TextLength(pristine)) + 1);
    Timed parse = [&] {
        memcpy(work.data(), pristine, work.size() * sizeof(char16_t));
        double seconds = SecondsOf([&] {
            ClearCatalog();
            ParseCatalog(SkipByteOrderMark(work.data()));
            return true;
        });
        return CatalogAtItsLimits() ? seconds : -1;
    };
    Timed convert = [&] {
        char16_t* text = nullptr;
        double seconds =
            SecondsOf([&] { return (text = ConvertCatalogText(bytes.data())) != nullptr; });
        free(text);
        return seconds;
    };
    Timed lines = [&] {
        return SecondsOf([&] {
            LineSink = CountLines(bytes.data(), size);
            return true;
        });
    };
    int rounds = RoundsFor(run, PARSE_ROUNDS);
    AddParseRow(run, name, static_cast<double>(size), MeasureInTurn(parse, lines, rounds));
    AddParseRow(run, "convert catalog at limits", static_cast<double>(size),
                MeasureInTurn(convert, lines, rounds));
    free(pristine);
    char note[200];
    snprintf(note, sizeof note,
             "catalog at limits: %.2f MiB of UTF-8, %d scripts, %d files, notes %d of %d units",
             size / MiB, static_cast<int>(ScriptCount), static_cast<int>(FileCount),
             static_cast<int>(NotesLength), static_cast<int>(NOTES_CAPACITY));
    run.notes.push_back(note);
}

// ---- the whole run ------------------------------------------------------------

bool Prepare(Run& run) {
    std::string problem;
    if (!run.options.servers.empty()) {
        if (!LoadServers(run.options.servers, &run.servers, &problem)) {
            fprintf(stderr, "updater_bench: %s\n", problem.c_str());
            return false;
        }
        run.haveServers = true;
    }
    std::error_code error;
    fs::path data = fs::absolute(run.options.data, error);
    if (error || !PrepareBenchData(data, run.servers.www, &run.data, &problem)) {
        fprintf(stderr, "updater_bench: %s\n", error ? "no absolute data path" : problem.c_str());
        return false;
    }
    if (!run.options.baselinesIn.empty() && !ReadBaselines(run.options.baselinesIn, &run.given)) {
        fprintf(stderr, "updater_bench: cannot read %s\n",
                run.options.baselinesIn.u8string().c_str());
        return false;
    }
    if (run.haveServers) {
        run.warmAddress = AddressUnder(WebServer(run.servers), run.data.warmRelative);
        run.webAddress = AddressUnder(WebServer(run.servers), run.data.webRelative);
        run.folderAddress = AddressUnder(ProgramFormOf(run.servers.www), run.data.webRelative);
        run.webUrl =
            "http://127.0.0.1:" + std::to_string(run.servers.httpPort) + "/" + run.data.webRelative;
    }
#ifndef _WIN32
    if (!run.options.prepareOnly) run.tools.reset(new ToolBaselines(data / "tool-output.txt"));
#endif
    return true;
}

void PrintReport(const Run& run) {
    printf(
        "updater_bench on %s; the fastest of several runs of each (a run over %.0f s is "
        "run once), files in the page cache\n",
        SystemName().c_str(), SLOW_RUN_SECONDS);
    PrintRows(run.rows);
    for (const std::string& note : run.notes) printf("  note: %s\n", note.c_str());
    printf("ratio: ours over the baseline (throughput), or memory growth over the body\n");
}

int RunBenchmark(Run& run) {
    ResetSharedState();
    if (!Prepare(run)) return 1;
    if (run.options.prepareOnly) {
        printf("updater_bench: data ready in %s\n", run.options.data.u8string().c_str());
        return 0;
    }
    if (!run.options.baselinesOnly) {
        if (run.haveServers) {
            MeasureFetchMemory(run);
        } else {
            AddSkippedRow(run, "peak memory, 64 MiB fetch", "no servers.ini given");
        }
    }
    MeasureAllChecks(run);
    MeasureAllFetching(run);
    if (run.options.baselinesOnly) {
        for (const auto& entry : run.measured) {
            printf("baseline %s: %.4f s\n", entry.first.c_str(), entry.second);
        }
    } else {
        MeasureParsing(run);
        PrintReport(run);
    }
    if (!run.options.baselinesOut.empty() &&
        !WriteBaselines(run.options.baselinesOut, run.measured)) {
        fprintf(stderr, "updater_bench: cannot write %s\n",
                run.options.baselinesOut.u8string().c_str());
        return 1;
    }
    return run.failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    Run run;
    if (!ParseOptions(BenchArguments(argc, argv), &run.options)) {
        fputs(Usage, stderr);
        return 2;
    }
    return RunBenchmark(run);
}
