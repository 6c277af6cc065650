// The check and the install against misbehaving servers: whatever the server
// does, the run ends (within the wait bound, cut to a second here, or at
// once on a cancel), a failure is reported as one, and the user's file keeps
// its old bytes with no ".new" left beside it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/check_run.h"
#include "catalog/fetch_rules.h"
#include "catalog/fetch_test_hooks.h"
#include "catalog/local_state.h"
#include "tests/support/servers.h"
#include "tests/support/workers.h"

namespace {

#ifdef _WIN32
const bool ChunksChecked = false;  // WinINet: only a length proves the end
#else
const bool ChunksChecked = true;  // libcurl checks chunks to the last one
#endif

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

struct InstallCase {
    const char* route;  // serves f.bin: the fault server's route, then the tag
    size_t size;        // the whole file, pattern bytes
    bool placedWithDigest;
    bool placedWithout;  // the catalog line gives no digest
};

const InstallCase InstallCases[] = {
    {"/body/11600", 11600, true, true},
    {"/nolength/11600", 11600, true, false},
    {"/chunked/11600/whole", 11600, true, ChunksChecked},
    {"/silent", 11600, false, false},
    {"/stall/11600/4967", 11600, false, false},
    {"/loop", 11600, false, false},
    {"/chunked/11600/cut", 11600, false, false},
    {"/chunked/11600/mid", 11600, false, false},
    {"/chunked/11600/zz", 11600, false, false},
    {"/chunked/11600/neg", 11600, false, false},
    {"/head/statusonly/11600", 11600, false, false},
    {"/head/cutinhead/11600", 11600, false, false},
    {"/head/badlength/11600", 11600, false, false},
    {"/head/twolengths/11600", 11600, false, false},
    {"/head/hugelength/3000", 3000, false, false},
    {"/head/gzip/11600", 11600, false, false},
};

class ServerFaults : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        BeginWorkerTest();
        FetchSetWaitBoundForTests(1000);
    }
    void TearDown() override {
        FetchSetWaitBoundForTests(0);
        EndWorkerTest();
        ServerTest::TearDown();
    }

    // One script "S" with the file f.bin served by route; the user's copy
    // holds "old". Returns the final message of the install.
    CapturedMessage Install(const std::string& route, const std::string& fileLine) {
        BeginWorkerTest();
        WriteFileBytes(scripts / "S/f.bin", "old");
        UseFolders(scripts.ProgramPath(), FaultUrl(route + "/" + Tag()));
        std::u16string catalog = Utf16("[S]\n" + fileLine);
        ParseCatalog(&catalog[0]);
        RefreshFileStatuses(0);
        return LastMessage(RunDownload(0));
    }

    void ExpectUntouched(const std::string& what) {
        EXPECT_EQ(ReadFileBytes(scripts / "S/f.bin"), "old") << what;
        EXPECT_FALSE(fs::exists(scripts / "S/f.bin.new")) << what;
        EXPECT_TRUE(TextContains(NoticeText, u"Could not download f.bin.")) << what;
    }

    TempFolder scripts;
};

}  // namespace

TEST_F(ServerFaults, AnInstallPlacesOnlyWholeFilesWithOrWithoutADigest) {
    for (const InstallCase& c : InstallCases) {
        const std::string content = Pattern(c.size);
        for (bool digest : {true, false}) {
            const std::string what =
                std::string(c.route) + (digest ? " with" : " without") + " a digest";
            const bool placed = digest ? c.placedWithDigest : c.placedWithout;
            CapturedMessage last =
                Install(c.route, digest ? FileLine("f.bin", content) : "file=f.bin\n");
            EXPECT_EQ(last,
                      (CapturedMessage{WM_APP_DOWNLOAD_DONE, placed ? 1u : 0u, placed ? 1 : 0}))
                << what;
            if (placed) {
                EXPECT_TRUE(ReadFileBytes(scripts / "S/f.bin") == content) << what;
            } else {
                ExpectUntouched(what);
            }
        }
    }
}

TEST_F(ServerFaults, CancelDuringAStalledInstallActsAtOnce) {
    FetchSetWaitBoundForTests(FETCH_WAIT_BOUND_MS);
    for (const char* route : {"/silent", "/stall/11600/4967", "/slow/12/1/20000"}) {
        BeginWorkerTest();
        WriteFileBytes(scripts / "S/f.bin", "old");
        UseFolders(scripts.ProgramPath(), FaultUrl(std::string(route) + "/" + Tag()));
        std::u16string catalog = Utf16("[S]\nfile=f.bin\n");
        ParseCatalog(&catalog[0]);
        RefreshFileStatuses(0);
        StartDownload(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        RequestCancel();
        // Far inside the 30 s bound: only the cancel can have ended it.
        EXPECT_EQ(LastMessage(MessagesUntil(WM_APP_DOWNLOAD_DONE, 10000)),
                  (CapturedMessage{WM_APP_DOWNLOAD_DONE, 0, 0}))
            << route;
        EXPECT_EQ(NoticeText[0], 0) << route;
        EXPECT_EQ(ReadFileBytes(scripts / "S/f.bin"), "old") << route;
        EXPECT_FALSE(fs::exists(scripts / "S/f.bin.new")) << route;
    }
}

TEST_F(ServerFaults, ACatalogThatIsCutTooLargeOrNeverComesIsNotReached) {
    struct CheckCase {
        std::string route;  // the base address; scripts.txt follows it
        bool arrives;
    };
    const CheckCase cases[] = {
        {"/body/16777216", true},  // 16 MiB exactly
        {"/body/16777217", false},
        {"/chunked/16777217/whole", false},
        {"/chunked/11600/whole", ChunksChecked},
        {"/chunked/11600/cut", false},
        {"/nolength/11600", false},
        {"/silent", false},
        {"/redirect/11/ok", false},
    };
    for (const CheckCase& c : cases) {
        BeginWorkerTest();
        UseFolders(scripts.ProgramPath(), FaultUrl(c.route + "/" + Tag()));
        EXPECT_EQ(RunCheck(),
                  (std::vector<CapturedMessage>{{WM_APP_CHECK_DONE, c.arrives ? 1u : 0u, 0}}))
            << c.route;
    }
}

TEST_F(ServerFaults, ACatalogFolderOverTheLimitIsRefusedWithoutReadingIt) {
    TempFolder server;
    WriteFileBytes(server / "scripts.txt", "");
    fs::resize_file(server / "scripts.txt", 16u * 1024 * 1024 + 1);
    UseFolders(scripts.ProgramPath(), server.ProgramPath());
    EXPECT_EQ(RunCheck(), (std::vector<CapturedMessage>{{WM_APP_CHECK_DONE, 0, 0}}));
    fs::resize_file(server / "scripts.txt", 16u * 1024 * 1024);
    EXPECT_EQ(RunCheck(), (std::vector<CapturedMessage>{{WM_APP_CHECK_DONE, 1, 0}}));
}

TEST_F(ServerFaults, CancelDuringASilentCheckEndsItAtOnce) {
    FetchSetWaitBoundForTests(FETCH_WAIT_BOUND_MS);
    UseFolders(scripts.ProgramPath(), FaultUrl("/silent/" + Tag()));
    StartWorkerThread(CheckWorker, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    RequestCancel();
    EXPECT_EQ(MessagesUntil(WM_APP_CHECK_DONE, 10000),
              (std::vector<CapturedMessage>{{WM_APP_CHECK_DONE, 0, 0}}));
}

// A download run keeps one connection from file to file instead of opening
// one per file.
TEST_F(ServerFaults, ADownloadRunFetchesAllItsFilesOverOneConnection) {
    fs::path www = WwwFolder();
    std::string catalog = "[S]\n";
    for (const char* name : {"a.lua", "b.lua", "c.lua"}) {
        WriteFileBytes(www / "S" / name, name);
        catalog += FileLine(name, name);
    }
    WriteFileBytes(www / "scripts.txt", catalog);
    TempFolder scripts;
    UseFolders(scripts.ProgramPath(), FaultUrl("/file/" + Tag() + "/"));
    ASSERT_EQ(LastMessage(RunCheck()).wParam, 1u);
    ASSERT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{WM_APP_DOWNLOAD_DONE, 1, 3}));
    std::vector<FaultRequest> files = FaultRequestsWith(servers_, Tag() + "/S/");
    ASSERT_EQ(files.size(), 3u);
    EXPECT_FALSE(files[0].client.empty());
    EXPECT_EQ(files[1].client, files[0].client);
    EXPECT_EQ(files[2].client, files[0].client);
}
