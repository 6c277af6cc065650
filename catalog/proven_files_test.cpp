// The record of proven files through whole checks: every kind of change to a
// recorded folder is seen at the next check and the one after, every kind
// of damage to the record ends in a full read with the right statuses, and
// an installed file is recorded with the digest its download verified.
// The record's clock is moved instead of waiting: an hour on makes the
// files just written old enough to trust.
#include "catalog/proven_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/shared_state.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/local_state.h"
#include "catalog/proven_files_test_hooks.h"
#include "tests/support/workers.h"

namespace {

const int64_t HOUR = 3600;
const int64_t DAY = 24 * HOUR;
const CapturedMessage Arrived = {WM_APP_CHECK_DONE, 1, 0};

// Script "S": three plain files, a keep file the user changed and a file
// that is not there yet, in this order in FileTable.
const char* const Paths[] = {"a.lua", "lib/b.lua", "x.lua", "k.ini", "n.lua"};
enum { CHANGED = 2, ADDED = 4 };
const std::vector<int32_t> AllCurrent = {FILE_STATUS_OK, FILE_STATUS_OK, FILE_STATUS_OK,
                                         FILE_STATUS_KEPT, FILE_STATUS_NEW};

struct CheckResult {
    std::vector<int32_t> statuses;
    int read;    // files read in full
    int listed;  // folders listed
};

// Facts from listings alone, as on Windows and natively, and by name where
// a folder's recorded listing still holds, as under Wine: each builds the
// record the other reads.
const int Routes[] = {PROVEN_ROUTE_LISTINGS, PROVEN_ROUTE_NAMED};

class ProvenFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        BeginWorkerTest();
        TextCopy(ProvenRecordFolder, PROVEN_FOLDER_CAPACITY, records.ProgramPath().c_str());
        UseFolders(scripts.ProgramPath(), server.ProgramPath());
        Publish();
        WriteFileBytes(scripts / "S/a.lua", "alpha");
        WriteFileBytes(scripts / "S/lib/b.lua", "bravo");
        WriteFileBytes(scripts / "S/x.lua", "xray-1");
        WriteFileBytes(scripts / "S/k.ini", "edited by the user");
        TakeProvenFilesReadForTests();
    }
    void TearDown() override {
        ShiftProvenClockForTests(0);
        UseProvenFactsRouteForTests(PROVEN_ROUTE_SYSTEM);
        EndWorkerTest();
    }

    void Publish() {
        const char* const contents[] = {"alpha", "bravo", "xray-1", "defaults", "november"};
        for (int i = 0; i < 5; ++i) WriteFileBytes(server / "S" / Paths[i], contents[i]);
        WriteFileBytes(server / "scripts.txt",
                       "[S]\n" + FileLine("a.lua", "alpha") + FileLine("lib/b.lua", "bravo") +
                           FileLine("x.lua", "xray-1") + KeepLine("k.ini", "defaults") +
                           FileLine("n.lua", "november"));
    }

    // A whole check as the program makes it, with the record's clock moved
    // by shift seconds.
    CheckResult Check(int64_t shift) {
        ShiftProvenClockForTests(shift);
        EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
        EXPECT_EQ(NoticeText[0], 0);
        CheckResult result;
        for (int i = 0; i < FileCount; ++i) result.statuses.push_back(FileTable[i].status);
        result.read = TakeProvenFilesReadForTests();
        result.listed = TakeFoldersListedForTests();
        return result;
    }

    fs::path RecordFile() {
        for (const auto& entry : fs::directory_iterator(records.Path())) {
            if (entry.path().extension() == ".dat") return entry.path();
        }
        ADD_FAILURE() << "no record was written";
        return records.Path() / "none";
    }

    TempFolder server;
    TempFolder scripts;
    TempFolder records;
};

// x.lua with new content of the same size, its last-write time put back.
void EditSameSizeTimePutBack(const fs::path& file) {
    auto written = fs::last_write_time(file);
    WriteFileBytes(file, "xray-2");
    fs::last_write_time(file, written);
}

struct ChangeCase {
    const char* name;
    int64_t recordedAt;  // clock shift of the check that made the record
    std::function<void(const fs::path& script)> change;
    int64_t nextAt;  // clock shift of the next two checks
    int32_t changedStatus;
    int32_t addedStatus;
    int readNext;    // files read in full at the next check
    int listedNext;  // of S and S/lib by name, at the next check
};

const ChangeCase ChangeCases[] = {
    {"same-size edit, time put back", HOUR,
     [](const fs::path& s) { EditSameSizeTimePutBack(s / "x.lua"); }, 2 * HOUR, FILE_STATUS_UPDATE,
     FILE_STATUS_NEW, 1, 0},
    // Recorded within two seconds of the files' times: all of them are read
    // again, whatever their facts say.
    {"same-size edit inside the racy window", 0,
     [](const fs::path& s) { EditSameSizeTimePutBack(s / "x.lua"); }, 2 * HOUR, FILE_STATUS_UPDATE,
     FILE_STATUS_NEW, 3, 2},
    {"deleted", HOUR, [](const fs::path& s) { fs::remove(s / "x.lua"); }, 2 * HOUR, FILE_STATUS_NEW,
     FILE_STATUS_NEW, 0, 1},
    {"replaced through a rename by one of the same size and time", HOUR,
     [](const fs::path& s) {
         WriteFileBytes(s / "x.tmp", "xray-2");
         fs::last_write_time(s / "x.tmp", fs::last_write_time(s / "x.lua"));
         fs::rename(s / "x.tmp", s / "x.lua");
     },
     2 * HOUR, FILE_STATUS_UPDATE, FILE_STATUS_NEW, 1, 1},
    {"turned into a folder", HOUR,
     [](const fs::path& s) {
         fs::remove(s / "x.lua");
         fs::create_directory(s / "x.lua");
     },
     2 * HOUR, FILE_STATUS_NEW, FILE_STATUS_NEW, 0, 1},
    {"a new file", HOUR, [](const fs::path& s) { WriteFileBytes(s / "n.lua", "november"); },
     2 * HOUR, FILE_STATUS_OK, FILE_STATUS_OK, 1, 1},
    {"record older than 30 days", HOUR, [](const fs::path&) {}, HOUR + 31 * DAY, FILE_STATUS_OK,
     FILE_STATUS_NEW, 3, 0},
};

struct DamageCase {
    const char* name;
    // Damages the record file (or the place) and returns where records go now.
    std::function<void(const fs::path& record)> damage;
    int readAfter;  // files read at the check after the one that found the damage
};

// Rewrites the record with the checksum made right again, so that only the
// field changed is wrong.
void RewriteSealed(const fs::path& record, size_t offset, char value) {
    std::string bytes = ReadFileBytes(record);
    std::string body = bytes.substr(0, bytes.size() - 32);
    body[offset] = value;
    WriteFileBytes(record, body + Md5Hex(body));
}

const DamageCase DamageCases[] = {
    {"missing", [](const fs::path& r) { fs::remove(r); }, 0},
    {"empty", [](const fs::path& r) { WriteFileBytes(r, ""); }, 0},
    {"truncated",
     [](const fs::path& r) {
         WriteFileBytes(r, ReadFileBytes(r).substr(0, fs::file_size(r) - 40));
     },
     0},
    {"oversized",
     [](const fs::path& r) { WriteFileBytes(r, ReadFileBytes(r) + std::string(5 << 20, '\0')); },
     0},
    {"flipped byte",
     [](const fs::path& r) {
         std::string bytes = ReadFileBytes(r);
         bytes[bytes.size() / 2] ^= 0x01;
         WriteFileBytes(r, bytes);
     },
     0},
    {"older version", [](const fs::path& r) { RewriteSealed(r, 8, 1); }, 0},
    // The first unit of the scripts folder's path in the header.
    {"other folder", [](const fs::path& r) { RewriteSealed(r, 26, '#'); }, 0},
    // A file where the records' folder should be: nothing can be read or
    // written there.
    {"unwritable place",
     [](const fs::path& r) {
         fs::path blocked = r.parent_path() / "blocked";
         WriteFileBytes(blocked, "a file, not a folder");
         std::u16string place = ProgramPathOf(blocked / "records");
         TextCopy(ProvenRecordFolder, PROVEN_FOLDER_CAPACITY, place.c_str());
     },
     3},
};

std::vector<int32_t> StatusesWith(int32_t changed, int32_t added) {
    std::vector<int32_t> statuses = AllCurrent;
    statuses[CHANGED] = changed;
    statuses[ADDED] = added;
    return statuses;
}

}  // namespace

TEST_F(ProvenFilesTest, EveryChangeIsSeenAtTheNextCheckAndTheOneAfter) {
    for (int route : Routes) for (const ChangeCase& row : ChangeCases) {
        SCOPED_TRACE(row.name + std::string(route == PROVEN_ROUTE_NAMED ? ", by name" : ""));
        UseProvenFactsRouteForTests(route);
        fs::path script = scripts / "S";
        fs::remove(script / "n.lua");
        fs::remove_all(script / "x.lua");
        WriteFileBytes(script / "x.lua", "xray-1");
        fs::remove_all(records.Path());
        fs::create_directory(records.Path());
        // Keep files are never read: three files, not four.
        CheckResult first = Check(row.recordedAt);
        EXPECT_EQ(first.statuses, AllCurrent);
        EXPECT_EQ(first.read, 3);
        row.change(script);
        std::vector<int32_t> expected = StatusesWith(row.changedStatus, row.addedStatus);
        CheckResult next = Check(row.nextAt);
        EXPECT_EQ(next.statuses, expected);
        EXPECT_EQ(next.read, row.readNext);
        std::string record = ReadFileBytes(RecordFile());
        CheckResult after = Check(row.nextAt);
        EXPECT_EQ(after.statuses, expected);
        EXPECT_EQ(after.read, 0);
        // Only a folder that changed is listed again.
        if (route == PROVEN_ROUTE_NAMED) {
            EXPECT_EQ(next.listed, row.listedNext);
            EXPECT_EQ(after.listed, 0);
        }
        // Nothing new was learnt: the record keeps its bytes and its time.
        EXPECT_EQ(ReadFileBytes(RecordFile()), record);
    }
}

TEST_F(ProvenFilesTest, AnyDamageToTheRecordEndsInAFullReadWithTheRightStatuses) {
    for (const DamageCase& row : DamageCases) {
        SCOPED_TRACE(row.name);
        TextCopy(ProvenRecordFolder, PROVEN_FOLDER_CAPACITY, records.ProgramPath().c_str());
        fs::remove_all(records.Path());
        fs::create_directory(records.Path());
        Check(HOUR);
        ASSERT_EQ(Check(HOUR).read, 0);  // the record is in use
        row.damage(RecordFile());
        CheckResult damaged = Check(HOUR);
        EXPECT_EQ(damaged.statuses, AllCurrent);
        EXPECT_EQ(damaged.read, 3);
        CheckResult after = Check(HOUR);
        EXPECT_EQ(after.statuses, AllCurrent);
        EXPECT_EQ(after.read, row.readAfter);
    }
}

// Long names, so that the folder's entries fill more than one buffer of a
// Windows listing: every file must still be found in it. By name, they are
// asked on more than one thread.
TEST_F(ProvenFilesTest, AFolderOfManyEntriesIsProvenWhole) {
    const int count = 300;
    std::string catalog = "[S]\n";
    for (int i = 0; i < count; ++i) {
        std::string name = "many/" + std::string(100, 'm') + std::to_string(i) + ".lua";
        WriteFileBytes(server / "S" / name, name);
        WriteFileBytes(scripts / "S" / name, name);
        catalog += FileLine(name, name);
    }
    WriteFileBytes(server / "scripts.txt", catalog);
    for (int route : Routes) {
        UseProvenFactsRouteForTests(route);
        fs::remove_all(records.Path());
        fs::create_directory(records.Path());
        CheckResult first = Check(HOUR);
        EXPECT_EQ(first.statuses, std::vector<int32_t>(count, FILE_STATUS_OK));
        EXPECT_EQ(first.read, count);
        EXPECT_EQ(Check(HOUR).read, 0);
    }
}

// A file the catalog no longer names leaves the record, even when nothing
// else changed: named again later, it is read again.
TEST_F(ProvenFilesTest, AFileTheCatalogDroppedLeavesTheRecord) {
    for (int route : Routes) {
        UseProvenFactsRouteForTests(route);
        fs::remove_all(records.Path());
        fs::create_directory(records.Path());
        EXPECT_EQ(Check(HOUR).read, 3);
        WriteFileBytes(server / "scripts.txt", "[S]\n" + FileLine("a.lua", "alpha"));
        EXPECT_EQ(Check(HOUR).read, 0);
        Publish();
        EXPECT_EQ(Check(HOUR).read, 2);
    }
}

TEST_F(ProvenFilesTest, AnInstalledFileIsRecordedWithTheDigestItsDownloadVerified) {
    for (int route : Routes) {
        UseProvenFactsRouteForTests(route);
        fs::remove_all(scripts / "S");
        fs::remove_all(records.Path());
        fs::create_directory(records.Path());
        EXPECT_EQ(Check(0).read, 0);
        // Files placed within two seconds of the record are read once more
        // at the next check; here the record is made as if an hour later.
        ShiftProvenClockForTests(HOUR);
        EXPECT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{WM_APP_DOWNLOAD_DONE, 1, 5}));
        CheckResult next = Check(HOUR);
        EXPECT_EQ(next.statuses, std::vector<int32_t>({FILE_STATUS_OK, FILE_STATUS_OK,
                                                       FILE_STATUS_OK, FILE_STATUS_KEPT,
                                                       FILE_STATUS_OK}));
        EXPECT_EQ(next.read, 0);
    }
}

// What a check asked ahead serves that check only: the download after it
// judges afresh a file the user edited meanwhile, in a folder it left as it
// was.
TEST_F(ProvenFilesTest, ADownloadJudgesFilesAfreshAfterTheCheck) {
    UseProvenFactsRouteForTests(PROVEN_ROUTE_NAMED);
    Check(HOUR);
    EXPECT_EQ(Check(HOUR).read, 0);  // every recorded file asked ahead
    fs::path edited = scripts / "S/lib/b.lua";
    auto written = fs::last_write_time(edited);
    WriteFileBytes(edited, "BRAVO");
    fs::last_write_time(edited, written);
    EXPECT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{WM_APP_DOWNLOAD_DONE, 1, 1}));
    EXPECT_EQ(FileTable[1].status, FILE_STATUS_UPDATE);
}

// With no place set, records go to the program's own folder among the
// user's local application data (Windows) or cache (elsewhere), named from
// the digest of the scripts folder's path.
TEST_F(ProvenFilesTest, TheRecordLivesInTheUsersOwnFolder) {
    ProvenRecordFolder[0] = 0;
#ifdef _WIN32
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    ASSERT_NE(local, nullptr);
    fs::path own = fs::path(local) / "ZentoUpdater";
#else
    TempFolder cache;
    setenv("XDG_CACHE_HOME", cache.Path().c_str(), 1);
    fs::path own = cache / "zentoupdater";
#endif
    std::u16string folder = scripts.ProgramPath();
    std::string units(reinterpret_cast<const char*>(folder.data()), folder.size() * 2);
    fs::path record = own / ("proven-" + Md5Hex(units) + ".dat");
    Check(HOUR);
    EXPECT_TRUE(fs::is_regular_file(record)) << record.u8string();
    EXPECT_EQ(Check(HOUR).read, 0);
    std::error_code ignored;
    fs::remove(record, ignored);
#ifndef _WIN32
    unsetenv("XDG_CACHE_HOME");
#endif
}
