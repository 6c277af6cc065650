// The files the benchmark measures, made once in a data folder and reused:
// a script of 4096 files, a realistic scripts folder, a script of one 256 MiB file, each under its
// own scripts folder with a catalog that lists them with their digests; a
// catalog at every limit of the parser; and a 64 MiB file under the web
// servers' document root, fetched both over HTTP and as a folder path.
// The content is a fixed pseudo-random stream, so every run and both builds
// see the same bytes.
#ifndef UPDATER_BENCH_BENCH_DATA_H
#define UPDATER_BENCH_BENCH_DATA_H

#include <stdint.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

enum {
    TREE_FILE_COUNT = 4096,
    TREE_FOLDER_COUNT = 64,
    REAL_SCRIPT_COUNT = 60,
    REAL_FILES_PER_SCRIPT = 40,
    REAL_FOLDERS_PER_SCRIPT = 6,
    BIG_FILE_BYTES = 256 * 1024 * 1024,
    WEB_FILE_BYTES = 64 * 1024 * 1024,
};

struct BenchData {
    fs::path treeScripts;             // scripts folder holding the script "Bench"
    fs::path treeCatalog;             // lists the 4096 files of "Bench" with digests
    std::vector<fs::path> treeFiles;  // every file of "Bench", in catalog order
    uint64_t treeBytes = 0;           // their total size

    // A scripts folder as users have it: 60 scripts of 40 files of 1-40 KiB,
    // spread over 6 folders each (2400 files in 360 folders).
    fs::path realScripts;
    fs::path realCatalog;
    std::vector<fs::path> realFiles;
    uint64_t realBytes = 0;

    fs::path bigScripts;  // scripts folder holding the script "Big"
    fs::path bigCatalog;  // lists big.bin with its digest
    fs::path bigFile;     // the 256 MiB file

    fs::path limitsCatalog;  // 64 scripts, 4096 files, notes past their capacity

    fs::path webFile;          // the 64 MiB file, inside the servers' document root
    std::string webRelative;   // its path under the document root, with slashes
    std::string warmRelative;  // a small file beside it, fetched before measuring

    bool madeNow = false;  // PrepareBenchData had to make files in this process
};

// Fills data with the places under dataFolder and www, making whatever is
// missing (several seconds the first time). False with problem set when a
// file cannot be written.
bool PrepareBenchData(const fs::path& dataFolder, const fs::path& www, BenchData* data,
                      std::string* problem);

// The whole content of a file followed by one zero byte, as the check run
// hands a catalog to ConvertCatalogText. False when it cannot be read.
bool ReadWholeFile(const fs::path& path, std::string* bytes);

// The program's form of a path: UTF-16 with backslashes, as on Windows.
std::u16string ProgramFormOf(const fs::path& path);

#endif  // UPDATER_BENCH_BENCH_DATA_H
