// Making the benchmark's files. Everything is derived from fixed seeds, so a
// folder once made is reused as long as its stamp file is there; the stamp
// is written last, and a run cut short makes everything again.
#include "bench/bench_data.h"

#include <stdio.h>

#include <fstream>
#include <iterator>

#include "catalog/catalog.h"
#include "catalog/hash_os.h"
#include "catalog/local_state.h"

namespace {

// Change when the layout or the content changes, so old folders are remade.
const char DataStamp[] = "bench-data-1.stamp";
const char TreeScriptName[] = "Bench";
const char BigScriptName[] = "Big";
const size_t WRITE_CHUNK_BYTES = 1 << 20;
const int TREE_FILE_MIN_BYTES = 1024;      // sizes spread over 1 KiB .. 31 KiB,
const int TREE_FILE_SPREAD_BYTES = 30720;  // about 64 MiB for the whole tree
const int REAL_FILE_MIN_BYTES = 1024;      // 1 KiB .. 40 KiB, about 50 MiB in all
const int REAL_FILE_SPREAD_BYTES = 39 * 1024 + 1;
const char* const RealFolders[REAL_FOLDERS_PER_SCRIPT] = {"",      "lib/", "lib/util/",
                                                          "data/", "ui/",  "locale/"};

// ---- the content ----

// splitmix64: fast, and enough to keep the bytes from compressing or
// repeating.
struct ByteStream {
    uint64_t state;
};

uint64_t NextWord(ByteStream& stream) {
    uint64_t z = (stream.state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void FillBytes(ByteStream& stream, unsigned char* bytes, size_t count) {
    for (size_t i = 0; i < count; i += 8) {
        uint64_t word = NextWord(stream);
        for (size_t j = 0; j < 8 && i + j < count; ++j) {
            bytes[i + j] = static_cast<unsigned char>(word >> (8 * j));
        }
    }
}

size_t TreeFileSize(int index) {
    ByteStream stream = {static_cast<uint64_t>(index) * 7919u + 1u};
    return TREE_FILE_MIN_BYTES + static_cast<size_t>(NextWord(stream) % TREE_FILE_SPREAD_BYTES);
}

std::string TreeFilePath(int index) {
    char path[32];
    snprintf(path, sizeof path, "d%02d/f%04d.lua", index % TREE_FOLDER_COUNT, index);
    return path;
}

size_t RealFileSize(int index) {
    ByteStream stream = {static_cast<uint64_t>(index) * 104729u + 7u};
    return REAL_FILE_MIN_BYTES + static_cast<size_t>(NextWord(stream) % REAL_FILE_SPREAD_BYTES);
}

std::string RealScriptName(int script) {
    char name[32];
    snprintf(name, sizeof name, "Script %02d", script);
    return name;
}

std::string RealFilePath(int file) {
    char name[32];
    snprintf(name, sizeof name, "part%02d.lua", file);
    return std::string(RealFolders[file % REAL_FOLDERS_PER_SCRIPT]) + name;
}

// ---- files ----

bool Fail(std::string* problem, const std::string& what, const fs::path& path) {
    *problem = what + " " + path.u8string();
    return false;
}

bool MakeFolder(const fs::path& folder, std::string* problem) {
    std::error_code error;
    fs::create_directories(folder, error);
    return !error || Fail(problem, "cannot make the folder", folder);
}

bool WriteBytes(const fs::path& path, const void* bytes, size_t size, std::string* problem) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    out.close();
    return !out.fail() || Fail(problem, "cannot write", path);
}

// A file of size bytes of the stream seeded with seed, written a chunk at a
// time so that no buffer of the whole file is needed.
bool WriteStreamFile(const fs::path& path, uint64_t seed, uint64_t size, std::string* problem) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<unsigned char> chunk(WRITE_CHUNK_BYTES);
    ByteStream stream = {seed};
    for (uint64_t done = 0; done < size && out;) {
        size_t piece = static_cast<size_t>(size - done < chunk.size() ? size - done : chunk.size());
        FillBytes(stream, chunk.data(), piece);
        out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(piece));
        done += piece;
    }
    out.close();
    return !out.fail() || Fail(problem, "cannot write", path);
}

std::string AsciiDigest(const char16_t* digest) {
    std::string text;
    for (const char16_t* c = digest; *c != 0; ++c) text.push_back(static_cast<char>(*c));
    return text;
}

bool HasStamp(const fs::path& folder) {
    std::error_code error;
    return fs::is_regular_file(folder / DataStamp, error);
}

bool WriteStamp(const fs::path& folder, std::string* problem) {
    return WriteBytes(folder / DataStamp, "made by updater_bench\n", 22, problem);
}

// ---- the data sets ----

bool MakeTree(const BenchData& data, std::string* problem) {
    std::string catalog = std::string("[") + TreeScriptName + "]\r\nversion = 1.0\r\n";
    std::vector<unsigned char> bytes;
    for (int i = 0; i < TREE_FILE_COUNT; ++i) {
        const fs::path& path = data.treeFiles[static_cast<size_t>(i)];
        if (i < TREE_FOLDER_COUNT && !MakeFolder(path.parent_path(), problem)) return false;
        bytes.resize(TreeFileSize(i));
        ByteStream stream = {static_cast<uint64_t>(i) + 1000u};
        FillBytes(stream, bytes.data(), bytes.size());
        if (!WriteBytes(path, bytes.data(), bytes.size(), problem)) return false;
        char16_t digest[DIGEST_CAPACITY];
        if (!HashBytes(bytes.data(), bytes.size(), digest))
            return Fail(problem, "cannot hash", path);
        catalog += "file = " + TreeFilePath(i) + "|" + AsciiDigest(digest) + "\r\n";
    }
    return WriteBytes(data.treeCatalog, catalog.data(), catalog.size(), problem);
}

bool MakeRealistic(const BenchData& data, std::string* problem) {
    std::string catalog;
    std::vector<unsigned char> bytes;
    for (int s = 0; s < REAL_SCRIPT_COUNT; ++s) {
        catalog += "[" + RealScriptName(s) + "]\r\nversion = 1.0\r\n";
        for (int f = 0; f < REAL_FILES_PER_SCRIPT; ++f) {
            int index = s * REAL_FILES_PER_SCRIPT + f;
            const fs::path& path = data.realFiles[static_cast<size_t>(index)];
            if (f < REAL_FOLDERS_PER_SCRIPT && !MakeFolder(path.parent_path(), problem)) {
                return false;
            }
            bytes.resize(RealFileSize(index));
            ByteStream stream = {static_cast<uint64_t>(index) + 50000u};
            FillBytes(stream, bytes.data(), bytes.size());
            if (!WriteBytes(path, bytes.data(), bytes.size(), problem)) return false;
            char16_t digest[DIGEST_CAPACITY];
            if (!HashBytes(bytes.data(), bytes.size(), digest)) {
                return Fail(problem, "cannot hash", path);
            }
            catalog += "file = " + RealFilePath(f) + "|" + AsciiDigest(digest) + "\r\n";
        }
    }
    return WriteBytes(data.realCatalog, catalog.data(), catalog.size(), problem) &&
           WriteStamp(data.realScripts, problem);
}

bool MakeBigFile(const BenchData& data, std::string* problem) {
    if (!MakeFolder(data.bigFile.parent_path(), problem) ||
        !WriteStreamFile(data.bigFile, 256, BIG_FILE_BYTES, problem)) {
        return false;
    }
    char16_t digest[DIGEST_CAPACITY];
    if (HashLocalFile(ProgramFormOf(data.bigFile).c_str(), digest) != 1 || digest[0] == 0) {
        return Fail(problem, "cannot hash", data.bigFile);
    }
    std::string catalog = std::string("[") + BigScriptName +
                          "]\r\nfile = " + data.bigFile.filename().u8string() + "|" +
                          AsciiDigest(digest) + "\r\n";
    return WriteBytes(data.bigCatalog, catalog.data(), catalog.size(), problem);
}

// Text of exactly length characters: prefix, then filler letters.
std::string Padded(const std::string& prefix, size_t length) {
    std::string text = prefix;
    for (size_t i = 0; text.size() < length; ++i) text.push_back(static_cast<char>('a' + i % 26));
    text.resize(length);
    return text;
}

// Every field at the longest the tables keep whole, MAX_SCRIPTS scripts of
// MAX_FILES / MAX_SCRIPTS files each, and four times the notes NotesText
// can hold, so the parser also meets the notes it has to drop.
std::string LimitsCatalogText() {
    const int filesPerScript = MAX_FILES / MAX_SCRIPTS;
    const int notesPerScript = 4;
    const size_t noteLength = NOTES_CAPACITY / MAX_SCRIPTS - 4;  // "- " and CR LF around it
    std::string text;
    ByteStream stream = {4242};
    char number[32];
    for (int s = 0; s < MAX_SCRIPTS; ++s) {
        snprintf(number, sizeof number, "%02d", s);
        text +=
            "[" + Padded(std::string("Script ") + number + " ", SCRIPT_NAME_CAPACITY - 1) + "]\r\n";
        text +=
            "version = " + Padded(std::string("1.") + number + ".", SCRIPT_VERSION_CAPACITY - 1) +
            "\r\n";
        text += "desc = " + Padded("What the script does: ", SCRIPT_DESC_CAPACITY - 1) + "\r\n";
        for (int n = 0; n < notesPerScript; ++n) {
            text += "note = " + Padded("A change in this release: ", noteLength) + "\r\n";
        }
        for (int f = 0; f < filesPerScript; ++f) {
            snprintf(number, sizeof number, "/s%02df%04d.lua", s, f);
            std::string name = number;
            std::string path = Padded("lib/", FILE_PATH_CAPACITY - 1 - name.size()) + name;
            char digest[33];
            snprintf(digest, sizeof digest, "%016llX%016llX",
                     static_cast<unsigned long long>(NextWord(stream)),
                     static_cast<unsigned long long>(NextWord(stream)));
            text += (f % 16 == 15 ? "keep = " : "file = ") + path + "|" + digest + "\r\n";
        }
    }
    return text;
}

bool MakeDataFolder(const fs::path& dataFolder, const BenchData& data, std::string* problem) {
    std::string limits = LimitsCatalogText();
    return MakeFolder(dataFolder, problem) && MakeTree(data, problem) &&
           MakeBigFile(data, problem) &&
           WriteBytes(data.limitsCatalog, limits.data(), limits.size(), problem) &&
           WriteStamp(dataFolder, problem);
}

bool MakeWebFiles(const fs::path& webFolder, const BenchData& data, std::string* problem) {
    static const char warm[] = "a small file that opens the first connection\n";
    return MakeFolder(webFolder, problem) &&
           WriteStreamFile(data.webFile, 64, WEB_FILE_BYTES, problem) &&
           WriteBytes(webFolder / "warm.txt", warm, sizeof warm - 1, problem) &&
           WriteStamp(webFolder, problem);
}

void FillPlaces(const fs::path& dataFolder, const fs::path& www, BenchData* data) {
    data->treeScripts = dataFolder / "tree";
    data->treeCatalog = dataFolder / "tree-catalog.txt";
    data->treeFiles.clear();
    data->treeBytes = 0;
    for (int i = 0; i < TREE_FILE_COUNT; ++i) {
        data->treeFiles.push_back(data->treeScripts / TreeScriptName / fs::u8path(TreeFilePath(i)));
        data->treeBytes += TreeFileSize(i);
    }
    data->realScripts = dataFolder / "real";
    data->realCatalog = dataFolder / "real-catalog.txt";
    data->realFiles.clear();
    data->realBytes = 0;
    for (int s = 0; s < REAL_SCRIPT_COUNT; ++s) {
        for (int f = 0; f < REAL_FILES_PER_SCRIPT; ++f) {
            data->realFiles.push_back(data->realScripts / RealScriptName(s) /
                                      fs::u8path(RealFilePath(f)));
            data->realBytes += RealFileSize(s * REAL_FILES_PER_SCRIPT + f);
        }
    }
    data->bigScripts = dataFolder / "big";
    data->bigCatalog = dataFolder / "big-catalog.txt";
    data->bigFile = data->bigScripts / BigScriptName / "big.bin";
    data->limitsCatalog = dataFolder / "limits-catalog.txt";
    data->webFile = www / "bench" / "fetch64.bin";
    data->webRelative = "bench/fetch64.bin";
    data->warmRelative = "bench/warm.txt";
}

}  // namespace

std::u16string ProgramFormOf(const fs::path& path) {
    std::u16string text = path.u16string();
    for (char16_t& c : text) {
        if (c == u'/') c = u'\\';
    }
    return text;
}

bool PrepareBenchData(const fs::path& dataFolder, const fs::path& www, BenchData* data,
                      std::string* problem) {
    FillPlaces(dataFolder, www, data);
    if (!HasStamp(dataFolder)) {
        data->madeNow = true;
        if (!MakeDataFolder(dataFolder, *data, problem)) return false;
    }
    // Made apart from the rest, with a stamp of its own, so that data made
    // before it existed is kept.
    if (!HasStamp(data->realScripts)) {
        data->madeNow = true;
        if (!MakeRealistic(*data, problem)) return false;
    }
    fs::path webFolder = data->webFile.parent_path();
    if (!www.empty() && !HasStamp(webFolder)) {
        data->madeNow = true;
        if (!MakeWebFiles(webFolder, *data, problem)) return false;
    }
    return true;
}

bool ReadWholeFile(const fs::path& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    bytes->push_back('\0');
    return true;
}
