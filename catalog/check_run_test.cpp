// The check run against a folder server: what it reports, what it leaves in
// the tables, and the statuses it computes.
#include "catalog/check_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "app/shared_state.h"
#include "catalog/catalog.h"
#include "catalog/local_state.h"
#include "tests/support/workers.h"

namespace {

class CheckRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        BeginWorkerTest();
        UseFolders(scripts.ProgramPath(), server.ProgramPath());
    }
    void TearDown() override { EndWorkerTest(); }

    TempFolder server;
    TempFolder scripts;
};

const CapturedMessage Arrived = {WM_APP_CHECK_DONE, 1, 0};
const CapturedMessage NotArrived = {WM_APP_CHECK_DONE, 0, 0};

}  // namespace

TEST_F(CheckRunTest, AMissingCatalogLeavesTheTablesAsTheyWere) {
    std::u16string earlier = u"[Earlier]\nfile=x.lua\n";
    ParseCatalog(&earlier[0]);
    std::vector<CapturedMessage> messages = RunCheck();
    EXPECT_EQ(messages, std::vector<CapturedMessage>{NotArrived});
    ASSERT_EQ(ScriptCount, 1);
    EXPECT_EQ(std::u16string(ScriptTable[0].name), u"Earlier");
    EXPECT_EQ(FileCount, 1);
}

TEST_F(CheckRunTest, AnEmptyOrUselessCatalogStillArrived) {
    for (const std::string& catalog : {std::string(), std::string("no sections here\n[broken\n")}) {
        std::u16string earlier = u"[Earlier]\n";
        ClearCatalog();
        ParseCatalog(&earlier[0]);
        WriteFileBytes(server / "scripts.txt", catalog);
        EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
        EXPECT_EQ(ScriptCount, 0);
        EXPECT_EQ(FileCount, 0);
    }
}

TEST_F(CheckRunTest, ComputesEveryStatusAndState) {
    WriteFileBytes(scripts / "Installed/main.lua", "main v2");
    WriteFileBytes(scripts / "Installed/lib/old.lua", "old helper");
    WriteFileBytes(scripts / "Installed/settings.ini", "user edits");
    WriteFileBytes(scripts / "Current/c.lua", "c");
    WriteFileBytes(server / "scripts.txt",
                   "\xEF\xBB\xBF; published catalog\r\n"
                   "[Installed]\r\nversion=2.0\r\n" +
                       FileLine("main.lua", "main v2") + FileLine("lib/old.lua", "new helper") +
                       FileLine("lib/added.lua", "added") + KeepLine("settings.ini", "defaults") +
                       "[Fresh]\r\n" + FileLine("f.lua", "f") + KeepLine("f.ini", "f") +
                       "[Current]\r\n" + FileLine("c.lua", "c") + "[Nothing]\r\n");
    std::vector<CapturedMessage> messages = RunCheck();
    // No progress is posted for the catalog.
    EXPECT_EQ(messages, std::vector<CapturedMessage>{Arrived});
    ASSERT_EQ(ScriptCount, 4);
    ASSERT_EQ(FileCount, 7);
    EXPECT_EQ(FileTable[0].status, FILE_STATUS_OK);
    EXPECT_EQ(FileTable[1].status, FILE_STATUS_UPDATE);
    EXPECT_EQ(FileTable[2].status, FILE_STATUS_NEW);
    EXPECT_EQ(FileTable[3].status, FILE_STATUS_KEPT);
    EXPECT_EQ(FileTable[4].status, FILE_STATUS_NEW);
    EXPECT_EQ(FileTable[5].status, FILE_STATUS_NEW);
    EXPECT_EQ(FileTable[6].status, FILE_STATUS_OK);
    EXPECT_EQ(ScriptState(0), 2);
    EXPECT_EQ(ScriptState(1), SCRIPT_NOT_INSTALLED);
    EXPECT_EQ(ScriptState(2), SCRIPT_UP_TO_DATE);
    EXPECT_EQ(ScriptState(3), SCRIPT_UP_TO_DATE);
}

TEST_F(CheckRunTest, CheckThenInstallBringsAScriptUpToDate) {
    const std::string files[][2] = {{"main.lua", "-- main\n"}, {"lib/util/u.lua", "-- util\n"},
                                    {"data/empty.dat", ""}};
    std::string catalog = "[Tool]\nversion=1\n";
    for (const auto& file : files) {
        WriteFileBytes(server / ("Tool/" + file[0]), file[1]);
        catalog += FileLine(file[0], file[1]);
    }
    WriteFileBytes(server / "scripts.txt", catalog);
    ASSERT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
    ASSERT_EQ(ScriptState(0), SCRIPT_NOT_INSTALLED);

    EXPECT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{WM_APP_DOWNLOAD_DONE, 1, 3}));
    for (const auto& file : files) EXPECT_EQ(ReadFileBytes(scripts / ("Tool/" + file[0])), file[1]);
    RefreshFileStatuses(0);
    EXPECT_EQ(ScriptState(0), SCRIPT_UP_TO_DATE);
}
