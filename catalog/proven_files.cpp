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
//   u32 folder count, per folder: u64 write time, change time, time listed;
//     u16 length and units of the folder below the scripts folder;
//   and last, 32 ASCII digits of the MD5 of everything before them.
// Every entry is a pairing of facts with a digest that held when it was
// made, so a record that another run replaced meanwhile is never wrong,
// only less complete; the checksum catches a file cut or mixed.
#include "catalog/proven_files.h"

#include <string.h>

#include <algorithm>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

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
const uint32_t RECORD_VERSION = 2;
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
    bool seen;  // looked up in this run
};

// The facts of a recorded file or folder asked by name when the record was
// read, for the statuses of the check that read it.
struct AskedAhead {
    bool found;
    FileFacts facts;
};

// What a folder said of itself just before it was listed. While it says the
// same, no entry was added to it, removed or renamed since, so each of its
// files is still the one that listing saw (with the identity it gave): files
// may then be asked by name alone, which gives no identity.
struct FolderEntry {
    uint64_t writeTime;
    uint64_t changeTime;
    uint64_t listedAt;  // its times must lie a window before this
    bool seen;          // looked up in this run
};

// Full local path -> what was asked ahead, valid from the reading of the
// record to the end of that check (SaveProvenFiles).
std::unordered_map<std::u16string, AskedAhead> Ahead;
uint64_t AskedAheadAt = 0;
// One more thread for every so many queries, up to a few: a thread's start
// costs about as much as a hundred queries.
enum { QUERIES_PER_THREAD = 128, MOST_QUERY_THREADS = 4 };

// What this run saw of one folder.
struct FolderLook {
    FolderFacts* listing = nullptr;  // null: not listed, or it could not be
    bool listed = false;
    uint64_t listedAt = 0;  // the clock just before the listing
    int unchanged = -1;     // since its recorded listing: -1 not asked yet, 0 no, 1 yes
};

// Full local path -> what is known about that file (folder) in this run.
std::unordered_map<std::u16string, ProvenEntry> Known;
std::unordered_map<std::u16string, FolderEntry> KnownFolders;
// Whether Known or KnownFolders has gained, changed or lost an entry since
// the record was read or written, and how many entries that record holds.
bool KnownChanged = false;
size_t RecordedCount = 0;
// How many of the record's entries this run has looked up.
size_t RecordedSeen = 0;
// Folder -> what was seen of it, between BeginProvingFiles and EndProvingFiles.
std::unordered_map<std::u16string, FolderLook> Looks;
bool Proving = false;

int64_t ClockShiftSeconds = 0;
int FactsRoute = PROVEN_ROUTE_SYSTEM;
int FilesRead = 0;
int FoldersListed = 0;

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

// ---- facts from folder listings and by name -----------------------------------

bool UseNamedFacts() {
    return FactsRoute == PROVEN_ROUTE_NAMED ||
           (FactsRoute == PROVEN_ROUTE_SYSTEM && NamedFactsCostLess());
}

uint64_t LatestTime(const FileFacts& facts) {
    return facts.writeTime > facts.changeTime ? facts.writeTime : facts.changeTime;
}

bool FolderHolds(const FolderEntry& entry, const FileFacts& now) {
    return now.writeTime == entry.writeTime && now.changeTime == entry.changeTime &&
           now.changeTime != 0 && LatestTime(now) + RACY_WINDOW < entry.listedAt;
}

template <class Entry>
void See(Entry& entry) {
    if (!entry.seen) ++RecordedSeen;
    entry.seen = true;
}

// A folder whose recorded entry still holds keeps it, so that a record that
// learnt nothing stays as it was.
void NoteFolder(const std::u16string& folder, const FileFacts& own, uint64_t listedAt) {
    auto known = KnownFolders.find(folder);
    if (known != KnownFolders.end() && FolderHolds(known->second, own)) {
        See(known->second);
        return;
    }
    KnownFolders[folder] = {own.writeTime, own.changeTime, listedAt, true};
    KnownChanged = true;
}

// The folder's own facts are taken first: a change during the listing then
// shows as a change at the next check.
void ListFolder(const std::u16string& folder, FolderLook& look) {
    look.listed = true;
    look.listedAt = Now();
    FileFacts own;
    bool ownRead = UseNamedFacts() && ReadNamedFacts(folder.c_str(), true, &own);
    look.listing = ReadFolderFacts(folder.c_str());
    ++FoldersListed;
    if (ownRead && look.listing != nullptr) NoteFolder(folder, own, look.listedAt);
}

// By name, or what was asked ahead for this check; askedAt gets the moment
// before the question.
bool AskByName(const std::u16string& path, bool asFolder, FileFacts* facts, uint64_t* askedAt) {
    auto ahead = Ahead.find(path);
    if (ahead != Ahead.end()) {
        *facts = ahead->second.facts;
        *askedAt = AskedAheadAt;
        return ahead->second.found;
    }
    *askedAt = Now();
    return ReadNamedFacts(path.c_str(), asFolder, facts);
}

// Every file and folder of the record is asked by name at once, on a few
// threads: the answers come from the file system alone, not from a server
// that would take them one at a time.
void AskRecordedAhead() {
    Ahead.clear();
    if (!UseNamedFacts()) return;
    struct Query {
        const std::u16string* path;
        bool asFolder;
        AskedAhead* answer;
    };
    std::vector<Query> queries;
    Ahead.reserve(KnownFolders.size() + Known.size());
    for (auto& folder : KnownFolders) queries.push_back({&folder.first, true, &Ahead[folder.first]});
    for (auto& file : Known) queries.push_back({&file.first, false, &Ahead[file.first]});
    auto ask = [&queries](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            Query& query = queries[i];
            query.answer->found =
                ReadNamedFacts(query.path->c_str(), query.asFolder, &query.answer->facts);
        }
    };
    size_t cores = std::max(1u, std::thread::hardware_concurrency());
    size_t threads = std::min<size_t>({MOST_QUERY_THREADS, cores, queries.size() / QUERIES_PER_THREAD});
    threads = std::max<size_t>(threads, 1);
    AskedAheadAt = Now();
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t) {
        size_t from = queries.size() * t / threads;
        size_t to = queries.size() * (t + 1) / threads;
        try {
            helpers.emplace_back(ask, from, to);
        } catch (const std::system_error&) {
            ask(from, to);
        }
    }
    ask(0, queries.size() / threads);
    for (std::thread& helper : helpers) helper.join();
}

bool FolderUnchanged(const std::u16string& folder, FolderLook& look) {
    if (look.unchanged < 0) {
        auto known = KnownFolders.find(folder);
        FileFacts own;
        uint64_t askedAt = 0;
        look.unchanged = known != KnownFolders.end() && AskByName(folder, true, &own, &askedAt) &&
                         FolderHolds(known->second, own);
        if (look.unchanged) See(known->second);
    }
    return look.unchanged == 1;
}

enum NamedAnswer { NAMED_FACTS, NAMED_NOT_A_FILE, NAMED_ASK_LISTING };

// A file asked by name in a folder unchanged since its recorded listing: its
// identity is the recorded one. A file recorded nowhere needs the listing
// for its identity, unless it is not there at all.
NamedAnswer NamedFactsOf(const std::u16string& path, const std::u16string& folder,
                         const ProvenEntry* known, FolderLook& look, FileFacts* facts,
                         uint64_t* askedAt) {
    if (!UseNamedFacts() || !FolderUnchanged(folder, look)) return NAMED_ASK_LISTING;
    if (!AskByName(path, false, facts, askedAt)) return NAMED_NOT_A_FILE;
    if (known == nullptr) return NAMED_ASK_LISTING;
    facts->identity = known->facts.identity;
    return NAMED_FACTS;
}

bool FactsFrom(FolderLook& look, const std::u16string& folder, const std::u16string& path,
               const ProvenEntry* known, FileFacts* facts, uint64_t* takenAt) {
    uint64_t askedAt = 0;
    switch (NamedFactsOf(path, folder, known, look, facts, &askedAt)) {
        case NAMED_FACTS:
            *takenAt = askedAt;
            return true;
        case NAMED_NOT_A_FILE:
            return false;
        case NAMED_ASK_LISTING:
            break;
    }
    if (!look.listed) ListFolder(folder, look);
    *takenAt = look.listedAt;
    return LookUpFileFacts(look.listing, path.c_str() + folder.size() + 1, facts);
}

// The facts of the file at path, whose entry is known (or null); takenAt
// gets the moment before they were taken.
bool FactsOf(const std::u16string& path, const ProvenEntry* known, FileFacts* facts,
             uint64_t* takenAt) {
    size_t cut = path.rfind(u'\\');
    if (cut == std::u16string::npos || cut == 0 || cut + 1 >= path.size()) return false;
    std::u16string folder = path.substr(0, cut);
    if (Proving) return FactsFrom(Looks[folder], folder, path, known, facts, takenAt);
    FolderLook single;
    bool found = FactsFrom(single, folder, path, known, facts, takenAt);
    ReleaseFolderFacts(single.listing);
    return found;
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
    if (LatestTime(facts) + RACY_WINDOW >= entry.racyReference) return false;
    return entry.provenAt <= now && now - entry.provenAt < MAX_DIGEST_AGE;
}

void Remember(const std::u16string& path, const FileFacts& facts, uint64_t takenAt,
              const char16_t* md5, const char16_t* sha256) {
    ProvenEntry& entry = Known[path];
    KnownChanged = true;
    entry.facts = facts;
    entry.provenAt = takenAt;
    entry.racyReference = takenAt;
    entry.seen = true;
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
    entry->seen = false;
    *relative = in.Text();
    in.Digits(entry->md5, MD5_DIGITS);
    uint64_t hasSha256 = in.Number(1);
    entry->sha256[0] = 0;
    if (hasSha256 == 1) in.Digits(entry->sha256, SHA256_DIGITS);
    return in.ok && hasSha256 <= 1 && !relative->empty() && entry->provenAt <= writtenAt;
}

void WriteFolder(Writer& out, const std::u16string& relative, const FolderEntry& entry) {
    out.Number(entry.writeTime, 8);
    out.Number(entry.changeTime, 8);
    out.Number(entry.listedAt, 8);
    out.Text(relative);
}

bool ReadFolder(Reader& in, uint64_t writtenAt, std::u16string* relative, FolderEntry* entry) {
    entry->writeTime = in.Number(8);
    entry->changeTime = in.Number(8);
    entry->listedAt = in.Number(8);
    entry->seen = false;
    *relative = in.Text();
    return in.ok && !relative->empty() && entry->listedAt <= writtenAt;
}

// Paths below the scripts folder -> what is known about those files and
// their folders.
struct ChosenEntries {
    std::unordered_map<std::u16string, const ProvenEntry*> files;
    std::unordered_map<std::u16string, const FolderEntry*> folders;
    size_t size() const { return files.size() + folders.size(); }
};

// The files of the current catalog that something is known about, each
// once, and their folders.
ChosenEntries ChooseEntries() {
    size_t below = FolderPrefix().size();
    ChosenEntries chosen;
    for (int script = 0; script < ScriptCount; ++script) {
        const ScriptRecord& record = ScriptTable[script];
        for (int i = record.firstFile; i < record.firstFile + record.fileCount && i < FileCount;
             ++i) {
            if (!LocalFilePathFits(record, FileTable[i])) continue;
            char16_t path[LOCAL_PATH_CAPACITY];
            LocalFilePath(path, record, FileTable[i]);
            auto known = Known.find(path);
            if (known == Known.end()) continue;
            chosen.files[known->first.substr(below)] = &known->second;
            auto folder = KnownFolders.find(known->first.substr(0, known->first.rfind(u'\\')));
            if (folder != KnownFolders.end() && folder->first.size() > below) {
                chosen.folders[folder->first.substr(below)] = &folder->second;
            }
        }
    }
    return chosen;
}

std::string RecordBytes(const ChosenEntries& chosen, uint64_t now) {
    Writer out;
    out.bytes.append(RecordMagic, 8);
    out.Number(RECORD_VERSION, 4);
    out.Number(now, 8);
    out.Number(chosen.files.size(), 4);
    out.Text(ScriptsFolder);
    for (const auto& entry : chosen.files) WriteEntry(out, entry.first, *entry.second);
    out.Number(chosen.folders.size(), 4);
    for (const auto& entry : chosen.folders) WriteFolder(out, entry.first, *entry.second);
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
    Known.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        std::u16string relative;
        ProvenEntry entry;
        if (!ReadEntry(in, writtenAt, &relative, &entry)) return false;
        Known[prefix + relative] = entry;
    }
    uint64_t folders = in.Number(4);
    if (folders > count) return false;
    for (uint64_t i = 0; i < folders; ++i) {
        std::u16string relative;
        FolderEntry entry;
        if (!ReadFolder(in, writtenAt, &relative, &entry)) return false;
        KnownFolders[prefix + relative] = entry;
    }
    return in.ok && in.at == in.end;
}

}  // namespace

void LoadProvenFiles() {
    Ahead.clear();
    Known.clear();
    KnownFolders.clear();
    KnownChanged = false;
    RecordedCount = 0;
    RecordedSeen = 0;
    std::u16string path;
    std::string bytes;
    if (!RecordPath(&path) || OsReadWholeFile(path.c_str(), RECORD_MAX_BYTES, &bytes) != OS_FILE_READ) return;
    if (TakeRecord(bytes, Now())) {
        RecordedCount = Known.size() + KnownFolders.size();
        AskRecordedAhead();
    } else {
        Known.clear();
        KnownFolders.clear();
    }
}

// A record that would only say again what it says (with a later time) is
// left as it is: under Wine writing it costs a tenth to a fifth of a check
// that read nothing, and keeping its older time only makes the racy guard stricter.
void SaveProvenFiles() {
    Ahead.clear();
    std::u16string path;
    uint64_t now = Now();
    if (now == 0 || !RecordPath(&path)) return;
    if (!KnownChanged && RecordedSeen == RecordedCount) return;
    ChosenEntries chosen = ChooseEntries();
    if (!KnownChanged && chosen.size() == RecordedCount) return;
    std::string bytes = RecordBytes(chosen, now);
    if (!bytes.empty() && OsReplaceWholeFile(path.c_str(), bytes)) {
        KnownChanged = false;
        RecordedCount = chosen.size();
        RecordedSeen = RecordedCount;
    }
}

void BeginProvingFiles() {
    EndProvingFiles();
    Proving = true;
}

void EndProvingFiles() {
    for (auto& look : Looks) ReleaseFolderFacts(look.second.listing);
    Looks.clear();
    Proving = false;
}

int ProveLocalFile(const char16_t* path, char16_t* digest) {
    std::u16string key = path;
    FileFacts facts;
    uint64_t takenAt = 0;
    auto known = Known.find(key);
    if (known != Known.end()) See(known->second);
    bool listed =
        FactsOf(key, known != Known.end() ? &known->second : nullptr, &facts, &takenAt);
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

// Asked by name where that costs less: no identity is needed here.
bool LocalFileIsThere(const char16_t* path) {
    FileFacts facts;
    uint64_t takenAt = 0;
    bool there = UseNamedFacts() ? ReadNamedFacts(path, false, &facts)
                                 : FactsOf(path, nullptr, &facts, &takenAt);
    return there || LocalFileOpens(path);
}

void NoteInstalledFile(const char16_t* path, const char16_t* md5, const char16_t* sha256) {
    FileFacts facts;
    uint64_t takenAt = 0;
    bool sha256Known = IsHexText(sha256, SHA256_DIGITS);
    auto known = Known.find(path);
    const ProvenEntry* entry = known != Known.end() ? &known->second : nullptr;
    if (IsHexText(md5, MD5_DIGITS) && FactsOf(path, entry, &facts, &takenAt)) {
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

int TakeFoldersListedForTests() {
    int listed = FoldersListed;
    FoldersListed = 0;
    return listed;
}

void UseProvenFactsRouteForTests(int route) {
    FactsRoute = route;
}
