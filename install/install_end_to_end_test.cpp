// A whole check and a whole install, end to end, against each kind of
// server the program can use: a plain folder, nginx over HTTP, and nginx over
// HTTPS with a certificate authority trusted only inside the test. Then
// cancelling a web download and a web check while the bytes still flow.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "catalog/check_run.h"
#include "catalog/catalog.h"
#include "catalog/local_state.h"
#include "tests/support/servers.h"
#include "tests/support/workers.h"

namespace {

enum ServerKind { FOLDER_SERVER, HTTP_SERVER, HTTPS_SERVER };

const char* KindName(ServerKind kind) {
    return kind == FOLDER_SERVER ? "Folder" : kind == HTTP_SERVER ? "Http" : "Https";
}

// The published tree: names with spaces and the characters a web address
// must escape, nested folders, a file outside ASCII, an empty file and a
// keep file.
struct Published {
    std::string path;
    std::string content;
    bool keep;
};

const Published Files[] = {
    {"main.lua", "-- main script\nreturn 1\n", false},
    {"lib/util/strings.lua", std::string(300000, 'x') + "end\n", false},
    {"lib/with space+plus#hash%.lua", "-- escaped\n", false},
    {"data/caf\xC3\xA9.txt", "caf\xC3\xA9\n", false},
    {"data/empty.dat", "", false},
    {"settings.ini", "volume=5\n", true},
};

class EndToEndTest : public ServerTest, public testing::WithParamInterface<ServerKind> {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        BeginWorkerTest();
        if (GetParam() == HTTPS_SERVER) {
            ASSERT_TRUE(TrustTestAuthority(servers_));
        }
    }
    void TearDown() override {
        EndWorkerTest();
        ServerTest::TearDown();
    }

    // Publishes every file under the script "Demo Tool" and the catalog, and
    // points ServerUrl at the tree.
    void PublishTree() {
        fs::path root = WwwFolder();
        std::string catalog = "; test catalog\r\n[Demo Tool]\r\nversion=3.1\r\nnote=Faster.\r\n";
        for (const Published& file : Files) {
            WriteFileBytes(root / fs::u8path("Demo Tool/" + file.path), file.content);
            catalog += file.keep ? KeepLine(file.path, file.content) : FileLine(file.path, file.content);
        }
        WriteFileBytes(root / "scripts.txt", catalog);
        std::u16string base = GetParam() == FOLDER_SERVER ? ProgramPathOf(root)
                              : GetParam() == HTTP_SERVER ? HttpUrl("/" + Tag() + "/")
                                                          : HttpsUrl("/" + Tag() + "/");
        UseFolders(scripts.ProgramPath(), base);
    }

    TempFolder scripts;
};

}  // namespace

TEST_P(EndToEndTest, CheckThenInstallPlacesEveryFileByteForByte) {
    PublishTree();
    // The user already has an old main.lua and their own settings.
    WriteFileBytes(scripts / "Demo Tool/main.lua", "-- old main\n");
    WriteFileBytes(scripts / "Demo Tool/settings.ini", "volume=11\n");

    ASSERT_EQ(RunCheck(), (std::vector<CapturedMessage>{{WM_APP_CHECK_DONE, 1, 0}}));
    ASSERT_EQ(ScriptCount, 1);
    ASSERT_EQ(FileCount, 6);
    EXPECT_EQ(FileTable[0].status, FILE_STATUS_UPDATE);
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(FileTable[i].status, FILE_STATUS_NEW) << i;
    EXPECT_EQ(FileTable[5].status, FILE_STATUS_KEPT);
    ASSERT_EQ(ScriptState(0), 5);

    std::vector<CapturedMessage> messages = RunDownload(0);
    ASSERT_EQ(LastMessage(messages), (CapturedMessage{WM_APP_DOWNLOAD_DONE, 1, 5}));
    EXPECT_EQ(ProgressValues(messages, 1), (std::vector<intptr_t>{200, 400, 600, 800, 1000}));
    // Every file's bar starts at 0 before its fetch reports; a fetch of a
    // file with content ends its bar at 1000.
    std::vector<intptr_t> fileBar = ProgressValues(messages, 0);
    ASSERT_FALSE(fileBar.empty());
    EXPECT_EQ(fileBar.front(), 0);
    EXPECT_EQ(std::count(fileBar.begin(), fileBar.end(), 0), 5);
    for (const Published& file : Files) {
        std::string expected = file.keep ? "volume=11\n" : file.content;
        EXPECT_EQ(ReadFileBytes(scripts.Path() / fs::u8path("Demo Tool/" + file.path)), expected)
            << file.path;
    }
    for (const auto& entry : fs::recursive_directory_iterator(scripts.Path())) {
        EXPECT_NE(entry.path().extension(), ".new") << entry.path();
    }
    EXPECT_EQ(NoticeText[0], 0);

    RefreshFileStatuses(0);
    EXPECT_EQ(ScriptState(0), SCRIPT_UP_TO_DATE);
}

INSTANTIATE_TEST_SUITE_P(EveryServer, EndToEndTest,
                         testing::Values(FOLDER_SERVER, HTTP_SERVER, HTTPS_SERVER),
                         [](const testing::TestParamInfo<ServerKind>& info) {
                             return std::string(KindName(info.param));
                         });

namespace {

class CancelTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        BeginWorkerTest();
    }
    void TearDown() override {
        EndWorkerTest();
        ServerTest::TearDown();
    }
    TempFolder scripts;
};

// The fault server's body pattern: byte i is i % 251.
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

}  // namespace

TEST_F(CancelTest, CancelDuringTheSecondOfThreeWebFetchesStopsBeforeWritingIt) {
    // 600000 bytes per file in 32 KiB pieces, 60 ms apart: about a second
    // each, and several reads even where one read waits for 256 KiB.
    const size_t size = 600000;
    UseFolders(scripts.ProgramPath(), FaultUrl("/slow/600000/32768/60/" + Tag()));
    std::string catalog = "[S]\n" + FileLine("one.bin", Pattern(size)) +
                          FileLine("two.bin", Pattern(size)) + FileLine("three.bin", Pattern(size));
    std::u16string text = Utf16(catalog);
    ParseCatalog(&text[0]);
    RefreshFileStatuses(0);

    StartDownload(0);
    // Wait until the first file is in place and the second one is arriving.
    std::vector<CapturedMessage> seen;
    bool secondArriving = false;
    bool firstPlaced = false;
    CapturedMessage message;
    while (!secondArriving && NextMessage(&message, 20000)) {
        seen.push_back(message);
        if (message.message == WM_APP_PROGRESS && message.wParam == 1) firstPlaced = true;
        if (firstPlaced && message.message == WM_APP_PROGRESS && message.wParam == 0 &&
            message.lParam > 0) {
            secondArriving = true;
        }
        ASSERT_NE(message.message, static_cast<uint32_t>(WM_APP_DOWNLOAD_DONE));
    }
    ASSERT_TRUE(secondArriving);
    RequestCancel();
    std::vector<CapturedMessage> rest = MessagesUntil(WM_APP_DOWNLOAD_DONE, 20000);
    EXPECT_EQ(LastMessage(rest), (CapturedMessage{WM_APP_DOWNLOAD_DONE, 0, 1}));
    EXPECT_EQ(ReadFileBytes(scripts / "S/one.bin"), Pattern(size));
    EXPECT_FALSE(fs::exists(scripts / "S/two.bin"));
    EXPECT_FALSE(fs::exists(scripts / "S/two.bin.new"));
    EXPECT_FALSE(fs::exists(scripts / "S/three.bin"));
    EXPECT_EQ(NoticeText[0], 0);
}

TEST_F(CancelTest, CancelDuringTheCatalogFetchEndsTheCheckLikeAnUnreachableServer) {
    UseFolders(scripts.ProgramPath(), FaultUrl("/slow/65536/1024/100/" + Tag()));
    StartWorkerThread(CheckWorker, nullptr);
    // The catalog takes about six seconds to arrive; cancel early in it.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    RequestCancel();
    EXPECT_EQ(MessagesUntil(WM_APP_CHECK_DONE, 10000),
              (std::vector<CapturedMessage>{{WM_APP_CHECK_DONE, 0, 0}}));
    EXPECT_EQ(ScriptCount, 0);
}
