// The record of proven files: what is known in memory during a run, the
// rule that decides when a recorded digest may stand for reading the file,
// and the record's bytes on disk.
//
// Record layout, little-endian:
//   "UPDPROVN", u32 format version, u64 time written, u32 entry count,
//   u16 length and UTF-16 units of the scripts folder's full path,
//   per entry: u64 size, write time, change time, identity, time proven;
//     u16 length and units of the path below the scripts folder;
//     32 ASCII digits of MD5; u8 1 and 64 ASCII digits of SHA-256, or u8 0;
//   and last, 32 ASCII digits of the MD5 of everything before them.
// Every entry is a pairing of facts with a digest that held when it was
// made, so a record that another run replaced meanwhile is never wrong,
// only less complete; the checksum catches a file cut or mixed.
#include "catalog/proven_files.h"

#include <string.h>

#include <string>
#include <unordered_map>

#include "app/settings.h"
#include "app/settings_os.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/hash_os.h"
#include "catalog/local_state.h"
#include "catalog/proven_files_os.h"
#include "catalog/proven_files_test_hooks.h"

char16_t ProvenRecordFolder[PROVEN_FOLDER_CAPACITY];

namespace {

const char RecordMagic[] = "UPDPROVN";
const uint32_t RECORD_VERSION = 1;
const uint64_t UNITS_PER_SECOND = 10000000ull;
// Times this close before the record (or the listing) are too close to
// trust: FAT keeps times to two seconds, and a write may still be going on.
const uint64_t RACY_WINDOW = 2 * UNITS_PER_SECOND;
// A digest older than this is taken again, so that damage that changed no
// metadata (a failing disk, a tool that puts times back) is found in time.
const uint64_t MAX_DIGEST_AGE = 30ull * 24 * 3600 * UNITS_PER_SECOND;
enum {
    MD5_DIGITS = 32,
    SHA256_DIGITS = 64,
    // Every limit of the catalog at once, with room: anything larger is no
    // record of ours.
    RECORD_MAX_BYTES = 4 * 1024 * 1024,
};

struct ProvenEntry {
    FileFacts facts;
    uint64_t provenAt;       // when the content was read (or verified on arrival)
    uint64_t racyReference;  // the file's times must lie a window before this
    char16_t md5[DIGEST_CAPACITY];
    char16_t sha256[SHA256_DIGITS + 1];
};

struct Listing {
    FolderFacts* facts;  // null: the folder could not be listed
    uint64_t takenAt;    // the clock just before the listing
};

// Full local path -> what is known about that file in this run.
std::unordered_map<std::u16string, ProvenEntry> Known;
// Whether Known has gained, changed or lost an entry since the record was
// read or written, and how many entries that record holds.
bool KnownChanged = false;
size_t RecordedCount = 0;
// Folder -> its listing, between BeginProvingFiles and EndProvingFiles.
std::unordered_map<std::u16string, Listing> Listings;
bool Proving = false;

int64_t ClockShiftSeconds = 0;
int FilesRead = 0;

uint64_t Now() {
    uint64_t now = FileClockNow();
    int64_t shift = ClockShiftSeconds * static_cast<int64_t>(UNITS_PER_SECOND);
    return now + static_cast<uint64_t>(shift);
}

bool IsHexText(const char16_t* text, int digits) {
    for (int i = 0; i < digits; ++i) {
        char16_t c = text[i];
        bool hex = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
        if (!hex) return false;
    }
    return text[digits] == 0;
}

// ---- facts from folder listings ----------------------------------------------

Listing TakeListing(const std::u16string& folder) {
    Listing listing;
    listing.takenAt = Now();
    listing.facts = ReadFolderFacts(folder.c_str());
    return listing;
}

// The facts of the file at path, from its folder's listing; takenAt gets
// the moment before that listing.
bool FactsOf(const std::u16string& path, FileFacts* facts, uint64_t* takenAt) {
    size_t cut = path.rfind(u'\\');
    if (cut == std::u16string::npos || cut == 0 || cut + 1 >= path.size()) return false;
    std::u16string folder = path.substr(0, cut);
    std::u16string name = path.substr(cut + 1);
    if (!Proving) {
        Listing listing = TakeListing(folder);
        bool found = LookUpFileFacts(listing.facts, name.c_str(), facts);
        ReleaseFolderFacts(listing.facts);
        *takenAt = listing.takenAt;
        return found;
    }
    auto at = Listings.find(folder);
    if (at == Listings.end()) at = Listings.emplace(folder, TakeListing(folder)).first;
    *takenAt = at->second.takenAt;
    return LookUpFileFacts(at->second.facts, name.c_str(), facts);
}

bool SameFacts(const FileFacts& a, const FileFacts& b) {
    return a.size == b.size && a.writeTime == b.writeTime && a.changeTime == b.changeTime &&
           a.identity == b.identity;
}

// Whether entry's digest may stand for the file whose facts are now these.
// A system that keeps no change time or no identity (FAT) cannot tell an
// edit whose time was put back: such files are always read.
bool Proves(const ProvenEntry& entry, const FileFacts& facts, uint64_t now) {
    if (!SameFacts(entry.facts, facts) || facts.changeTime == 0 || facts.identity == 0) {
        return false;
    }
    uint64_t latest = facts.writeTime > facts.changeTime ? facts.writeTime : facts.changeTime;
    if (latest + RACY_WINDOW >= entry.racyReference) return false;
    return entry.provenAt <= now && now - entry.provenAt < MAX_DIGEST_AGE;
}

void Remember(const std::u16string& path, const FileFacts& facts, uint64_t takenAt,
              const char16_t* md5, const char16_t* sha256) {
    ProvenEntry& entry = Known[path];
    KnownChanged = true;
    entry.facts = facts;
    entry.provenAt = takenAt;
    entry.racyReference = takenAt;
    TextCopy(entry.md5, DIGEST_CAPACITY, md5);
    TextCopy(entry.sha256, SHA256_DIGITS + 1, sha256);
}

void Forget(const std::u16string& path) {
    if (Known.erase(path) != 0) KnownChanged = true;
}

// ---- the record on disk --------------------------------------------------------

// The record's file for ScriptsFolder; false when there is no place for it.
bool RecordPath(std::u16string* path) {
    std::u16string folder = ProvenRecordFolder;
    if (folder.empty() && !UserRecordFolder(&folder)) return false;
    int length = TextLength(ScriptsFolder);
    char16_t digest[DIGEST_CAPACITY];
    if (length == 0 || !HashBytes(ScriptsFolder, length * sizeof(char16_t), digest)) return false;
    *path = folder + u"\\proven-" + digest + u".dat";
    return true;
}

struct Writer {
    std::string bytes;
    void Number(uint64_t value, int size) {
        for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
    }
    void Text(const std::u16string& text) {
        Number(text.size(), 2);
        for (char16_t unit : text) Number(unit, 2);
    }
    void Digits(const char16_t* text, int count) {
        for (int i = 0; i < count; ++i) bytes.push_back(static_cast<char>(text[i]));
    }
};

struct Reader {
    const std::string& bytes;
    size_t at;
    size_t end;
    bool ok;

    uint64_t Number(int size) {
        uint64_t value = 0;
        if (!ok || end - at < static_cast<size_t>(size)) {
            ok = false;
            return 0;
        }
        for (int i = 0; i < size; ++i) {
            value |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
        }
        at += size;
        return value;
    }
    std::u16string Text() {
        size_t length = static_cast<size_t>(Number(2));
        std::u16string text;
        for (size_t i = 0; ok && i < length; ++i) text.push_back(static_cast<char16_t>(Number(2)));
        return text;
    }
    // count ASCII hexadecimal digits into text, terminated.
    void Digits(char16_t* text, int count) {
        for (int i = 0; i < count; ++i) text[i] = static_cast<char16_t>(Number(1));
        text[count] = 0;
        if (ok && !IsHexText(text, count)) ok = false;
    }
};

std::u16string FolderPrefix() {
    return std::u16string(ScriptsFolder) + u"\\";
}

void WriteEntry(Writer& out, const std::u16string& relative, const ProvenEntry& entry) {
    out.Number(entry.facts.size, 8);
    out.Number(entry.facts.writeTime, 8);
    out.Number(entry.facts.changeTime, 8);
    out.Number(entry.facts.identity, 8);
    out.Number(entry.provenAt, 8);
    out.Text(relative);
    out.Digits(entry.md5, MD5_DIGITS);
    bool hasSha256 = entry.sha256[0] != 0;
    out.Number(hasSha256 ? 1 : 0, 1);
    if (hasSha256) out.Digits(entry.sha256, SHA256_DIGITS);
}

bool ReadEntry(Reader& in, uint64_t writtenAt, std::u16string* relative, ProvenEntry* entry) {
    entry->facts.size = in.Number(8);
    entry->facts.writeTime = in.Number(8);
    entry->facts.changeTime = in.Number(8);
    entry->facts.identity = in.Number(8);
    entry->provenAt = in.Number(8);
    entry->racyReference = writtenAt;
    *relative = in.Text();
    in.Digits(entry->md5, MD5_DIGITS);
    uint64_t hasSha256 = in.Number(1);
    entry->sha256[0] = 0;
    if (hasSha256 == 1) in.Digits(entry->sha256, SHA256_DIGITS);
    return in.ok && hasSha256 <= 1 && !relative->empty() && entry->provenAt <= writtenAt;
}

// Path below the scripts folder -> what is known about that file.
typedef std::unordered_map<std::u16string, const ProvenEntry*> ChosenEntries;

// The files of the current catalog that something is known about, each once.
ChosenEntries ChooseEntries() {
    std::u16string prefix = FolderPrefix();
    ChosenEntries chosen;
    for (int script = 0; script < ScriptCount; ++script) {
        const ScriptRecord& record = ScriptTable[script];
        for (int i = record.firstFile; i < record.firstFile + record.fileCount && i < FileCount;
             ++i) {
            if (!LocalFilePathFits(record, FileTable[i])) continue;
            char16_t path[LOCAL_PATH_CAPACITY];
            LocalFilePath(path, record, FileTable[i]);
            auto known = Known.find(path);
            if (known != Known.end()) chosen[known->first.substr(prefix.size())] = &known->second;
        }
    }
    return chosen;
}

std::string RecordBytes(const ChosenEntries& chosen, uint64_t now) {
    Writer out;
    out.bytes.append(RecordMagic, 8);
    out.Number(RECORD_VERSION, 4);
    out.Number(now, 8);
    out.Number(chosen.size(), 4);
    out.Text(ScriptsFolder);
    for (const auto& entry : chosen) WriteEntry(out, entry.first, *entry.second);
    char16_t checksum[DIGEST_CAPACITY];
    if (!HashBytes(out.bytes.data(), out.bytes.size(), checksum)) return std::string();
    out.Digits(checksum, MD5_DIGITS);
    return out.bytes;
}

bool ChecksumHolds(const std::string& bytes) {
    if (bytes.size() < MD5_DIGITS) return false;
    size_t body = bytes.size() - MD5_DIGITS;
    char16_t checksum[DIGEST_CAPACITY];
    if (!HashBytes(bytes.data(), body, checksum)) return false;
    for (int i = 0; i < MD5_DIGITS; ++i) {
        if (checksum[i] != static_cast<unsigned char>(bytes[body + i])) return false;
    }
    return true;
}

// Reads the record's entries into Known; false (Known then left empty by
// the caller) at the first doubt.
bool TakeRecord(const std::string& bytes, uint64_t now) {
    if (!ChecksumHolds(bytes) || bytes.compare(0, 8, RecordMagic) != 0) return false;
    Reader in = {bytes, 8, bytes.size() - MD5_DIGITS, true};
    uint32_t version = static_cast<uint32_t>(in.Number(4));
    uint64_t writtenAt = in.Number(8);
    uint64_t count = in.Number(4);
    std::u16string folder = in.Text();
    if (!in.ok || version != RECORD_VERSION || writtenAt > now || count > MAX_FILES ||
        folder != ScriptsFolder) {
        return false;
    }
    std::u16string prefix = FolderPrefix();
    for (uint64_t i = 0; i < count; ++i) {
        std::u16string relative;
        ProvenEntry entry;
        if (!ReadEntry(in, writtenAt, &relative, &entry)) return false;
        Known[prefix + relative] = entry;
    }
    return in.at == in.end;
}

}  // namespace

void LoadProvenFiles() {
    Known.clear();
    KnownChanged = false;
    RecordedCount = 0;
    std::u16string path;
    std::string bytes;
    if (!RecordPath(&path) || OsReadWholeFile(path.c_str(), RECORD_MAX_BYTES, &bytes) != OS_FILE_READ) return;
    if (TakeRecord(bytes, Now())) {
        RecordedCount = Known.size();
    } else {
        Known.clear();
    }
}

// A record that would only say again what it says (with a later time) is
// left as it is: under Wine writing it costs a tenth to a fifth of a check
// that read nothing, and keeping its older time only makes the racy guard stricter.
void SaveProvenFiles() {
    std::u16string path;
    uint64_t now = Now();
    if (now == 0 || !RecordPath(&path)) return;
    ChosenEntries chosen = ChooseEntries();
    if (!KnownChanged && chosen.size() == RecordedCount) return;
    std::string bytes = RecordBytes(chosen, now);
    if (!bytes.empty() && OsReplaceWholeFile(path.c_str(), bytes)) {
        KnownChanged = false;
        RecordedCount = chosen.size();
    }
}

void BeginProvingFiles() {
    EndProvingFiles();
    Proving = true;
}

void EndProvingFiles() {
    for (auto& listing : Listings) ReleaseFolderFacts(listing.second.facts);
    Listings.clear();
    Proving = false;
}

int ProveLocalFile(const char16_t* path, char16_t* digest) {
    std::u16string key = path;
    FileFacts facts;
    uint64_t takenAt = 0;
    bool listed = FactsOf(key, &facts, &takenAt);
    auto known = Known.find(key);
    if (listed && known != Known.end() && Proves(known->second, facts, Now())) {
        TextCopy(digest, DIGEST_CAPACITY, known->second.md5);
        return 1;
    }
    int opened = HashLocalFile(path, digest);
    if (opened) ++FilesRead;
    if (opened && listed && digest[0] != 0) {
        Remember(key, facts, takenAt, digest, u"");
    } else {
        Forget(key);
    }
    return opened;
}

bool LocalFileIsThere(const char16_t* path) {
    FileFacts facts;
    uint64_t takenAt = 0;
    return FactsOf(path, &facts, &takenAt) || LocalFileOpens(path);
}

void NoteInstalledFile(const char16_t* path, const char16_t* md5, const char16_t* sha256) {
    FileFacts facts;
    uint64_t takenAt = 0;
    bool sha256Known = IsHexText(sha256, SHA256_DIGITS);
    if (IsHexText(md5, MD5_DIGITS) && FactsOf(path, &facts, &takenAt)) {
        Remember(path, facts, takenAt, md5, sha256Known ? sha256 : u"");
    } else {
        Forget(path);
    }
}

void ShiftProvenClockForTests(int64_t seconds) {
    ClockShiftSeconds = seconds;
}

int TakeProvenFilesReadForTests() {
    int read = FilesRead;
    FilesRead = 0;
    return read;
}
