// The download worker against a folder server and a real scripts folder:
// what lands on disk, the messages in their order, the bar texts, and every
// way a run can stop.
#include "install/download_worker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "app/shared_state.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/local_state.h"
#include "tests/support/workers.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        BeginWorkerTest();
        UseFolders(scripts.ProgramPath(), server.ProgramPath());
    }
    void TearDown() override { EndWorkerTest(); }

    void Publish(const std::string& relative, const std::string& content) {
        WriteFileBytes(server / relative, content);
    }
    void PlaceLocal(const std::string& relative, const std::string& content) {
        WriteFileBytes(scripts / relative, content);
    }
    std::string Local(const std::string& relative) { return ReadFileBytes(scripts / relative); }
    bool LocalExists(const std::string& relative) { return fs::exists(scripts / relative); }

    // Parses the catalog and computes every status, as the check run does.
    void Load(const std::string& catalog) {
        std::u16string text = Utf16(catalog);
        ParseCatalog(&text[0]);
        for (int script = 0; script < ScriptCount; ++script) RefreshFileStatuses(script);
    }
    std::u16string BarText(int entry) {
        char16_t text[PROGRESS_TEXT_CAPACITY];
        CopyProgressText(entry, text, PROGRESS_TEXT_CAPACITY);
        return text;
    }
    // No "<name>.new" file anywhere under the scripts folder.
    bool NoTemporaryFiles() {
        for (const auto& entry : fs::recursive_directory_iterator(scripts.Path())) {
            if (entry.path().extension() == ".new") return false;
        }
        return true;
    }

    TempFolder server;
    TempFolder scripts;
};

const uint32_t Progress = WM_APP_PROGRESS;
const uint32_t Done = WM_APP_DOWNLOAD_DONE;

}  // namespace

TEST_F(DownloadTest, AScriptWithoutFilesSucceedsWithoutATrace) {
    Load("[Empty]\n");
    NoticeText[0] = u'x';
    std::vector<CapturedMessage> messages = RunDownload(0);
    std::vector<CapturedMessage> expected = {{Done, 1, 0}};
    EXPECT_EQ(messages, expected);
    EXPECT_EQ(NoticeText[0], 0);
    EXPECT_EQ(BarText(0), u"");
    EXPECT_EQ(BarText(1), u"");
}

TEST_F(DownloadTest, FilesThatAreOkOrKeptAreNeverTouched) {
    PlaceLocal("S/a.lua", "current");
    PlaceLocal("S/user.cfg", "the user's own settings");
    Load("[S]\n" + FileLine("a.lua", "current") + KeepLine("user.cfg", "shipped settings"));
    ASSERT_EQ(ScriptState(0), 0);
    // Nothing is published: any fetch would fail the run.
    std::vector<CapturedMessage> messages = RunDownload(0);
    std::vector<CapturedMessage> expected = {{Done, 1, 0}};
    EXPECT_EQ(messages, expected);
    EXPECT_EQ(Local("S/user.cfg"), "the user's own settings");
    EXPECT_EQ(BarText(1), u"");
}

TEST_F(DownloadTest, InstallsNewAndChangedFilesInOrderWithProgress) {
    PlaceLocal("S/ok.lua", "same");
    PlaceLocal("S/changed.lua", "old content");
    Publish("S/new/added.lua", "added content");
    Publish("S/changed.lua", "new content");
    Load("[S]\n" + FileLine("ok.lua", "same") + FileLine("new/added.lua", "added content") +
         FileLine("changed.lua", "new content"));

    std::vector<CapturedMessage> messages = RunDownload(0);
    // Each file: (0, 0) at its start, the folder fetch's single (0, 1000),
    // then the overall bar once it is in place.
    std::vector<CapturedMessage> expected = {
        {Progress, 0, 0}, {Progress, 0, 1000}, {Progress, 1, 500},
        {Progress, 0, 0}, {Progress, 0, 1000}, {Progress, 1, 1000},
        {Done, 1, 2},
    };
    EXPECT_EQ(messages, expected);
    EXPECT_EQ(Local("S/new/added.lua"), "added content");
    EXPECT_EQ(Local("S/changed.lua"), "new content");
    EXPECT_EQ(Local("S/ok.lua"), "same");
    EXPECT_TRUE(NoTemporaryFiles());
    EXPECT_EQ(BarText(1), u"2 / 2 files");
    EXPECT_EQ(BarText(0), u"changed.lua");
    EXPECT_EQ(NoticeText[0], 0);
    // The worker judged the statuses again before its final message.
    EXPECT_EQ(ScriptState(0), 0);
}

TEST_F(DownloadTest, TheOverallBarMovesInThirds) {
    std::string catalog = "[S]\n";
    for (const char* name : {"a", "b", "c"}) {
        Publish(std::string("S/") + name, name);
        catalog += FileLine(name, name);
    }
    Load(catalog);
    std::vector<CapturedMessage> messages = RunDownload(0);
    EXPECT_EQ(ProgressValues(messages, 1), (std::vector<intptr_t>{333, 666, 1000}));
    EXPECT_EQ(LastMessage(messages), (CapturedMessage{Done, 1, 3}));
}

TEST_F(DownloadTest, AFailedFetchStopsTheRunAndNamesTheFile) {
    Publish("S/first.lua", "1");
    Publish("S/third.lua", "3");  // "second.lua" is missing on the server
    Load("[S]\n" + FileLine("first.lua", "1") + FileLine("lib/second.lua", "2") +
         FileLine("third.lua", "3"));
    std::vector<CapturedMessage> messages = RunDownload(0);
    EXPECT_EQ(LastMessage(messages), (CapturedMessage{Done, 0, 1}));
    EXPECT_EQ(Local("S/first.lua"), "1");
    EXPECT_FALSE(LocalExists("S/lib/second.lua"));
    EXPECT_FALSE(LocalExists("S/third.lua"));
    EXPECT_EQ(ScriptState(0), 2);  // judged again: first.lua is in place
    EXPECT_EQ(std::u16string(NoticeText),
              u"Could not download lib/second.lua.\r\nCheck your internet and press Download again.");
    EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(DownloadTest, CancelFoundAfterAFetchDropsTheContent) {
    Publish("S/a.lua", "new");
    PlaceLocal("S/a.lua", "old");
    Load("[S]\n" + FileLine("a.lua", "new"));
    RequestCancel();  // a folder fetch is not broken off; the worker checks after it
    std::vector<CapturedMessage> messages = RunDownload(0);
    EXPECT_EQ(LastMessage(messages), (CapturedMessage{Done, 0, 0}));
    EXPECT_EQ(Local("S/a.lua"), "old");
    EXPECT_TRUE(NoTemporaryFiles());
    EXPECT_EQ(NoticeText[0], 0);
}

TEST_F(DownloadTest, MakesEveryMissingFolderOnTheWay) {
    // The scripts folder itself does not exist yet.
    UseFolders(scripts.ProgramPath("Zentora/Scripts"), server.ProgramPath());
    Publish("S/lib/util/x.lua", "x");
    Load("[S]\n" + FileLine("lib/util/x.lua", "x"));
    EXPECT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{Done, 1, 1}));
    EXPECT_EQ(Local("Zentora/Scripts/S/lib/util/x.lua"), "x");
}

TEST_F(DownloadTest, AnEmptyFileIsPlacedAndAnOldTemporaryFileOverwritten) {
    Publish("S/empty.txt", "");
    Publish("S/b.lua", "fresh");
    PlaceLocal("S/b.lua.new", "left over from a run that was closed");
    Load("[S]\n" + FileLine("empty.txt", "") + FileLine("b.lua", "fresh"));
    EXPECT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{Done, 1, 2}));
    EXPECT_TRUE(LocalExists("S/empty.txt"));
    EXPECT_EQ(Local("S/empty.txt"), "");
    EXPECT_EQ(Local("S/b.lua"), "fresh");
    EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(DownloadTest, ContentThatDoesNotMatchItsDigestIsNeverWritten) {
    PlaceLocal("S/a.lua", "good old script");
    Publish("S/a.lua", "<html>Not Found</html>");
    Load("[S]\n" + FileLine("a.lua", "the real new script"));
    std::vector<CapturedMessage> messages = RunDownload(0);
    EXPECT_EQ(LastMessage(messages), (CapturedMessage{Done, 0, 0}));
    EXPECT_EQ(ProgressValues(messages, 1), std::vector<intptr_t>{});
    EXPECT_EQ(Local("S/a.lua"), "good old script");
    EXPECT_TRUE(NoTemporaryFiles());
    EXPECT_EQ(std::u16string(NoticeText),
              u"Could not download a.lua.\r\nCheck your internet and press Download again.");
}

TEST_F(DownloadTest, ADigestInLowerCaseOrNoneAtAllStillInstalls) {
    Publish("S/a.lua", "a");
    Publish("S/b.lua", "b");
    std::string lower = Md5Hex("a");
    for (char& c : lower) c = static_cast<char>(tolower(c));
    Load("[S]\nfile=a.lua|" + lower + "\nfile=b.lua\n");
    EXPECT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{Done, 1, 2}));
    EXPECT_EQ(Local("S/a.lua"), "a");
    EXPECT_EQ(Local("S/b.lua"), "b");
}

TEST_F(DownloadTest, ATargetPathThatWouldBeCutIsRefused) {
    std::string longPath = std::string(250, 'p') + ".lua";
    Publish("S/" + longPath, "x");
    Load("[S]\n" + FileLine(longPath, "x"));
    std::vector<CapturedMessage> messages = RunDownload(0);
    EXPECT_EQ(LastMessage(messages), (CapturedMessage{Done, 0, 0}));
    char16_t target[LOCAL_PATH_CAPACITY];
    LocalFilePath(target, ScriptTable[0], FileTable[0]);
    char16_t expected[NOTICE_TEXT_CAPACITY];
    TextFormat(expected, NOTICE_TEXT_CAPACITY,
               u"Could not write %s.\r\nIf Zentora is running this script, stop it and press "
               u"Download again.",
               target);
    EXPECT_EQ(std::u16string(NoticeText), std::u16string(expected));
    EXPECT_TRUE(fs::is_empty(scripts.Path()));
}

// A relative path that puts the target's folder at folderLength and the
// target at targetLength characters under the current ScriptsFolder and
// script "S"; folder names of at most 100 characters.
std::string PathOfLengths(int folderLength, int targetLength) {
    int under = folderLength - (TextLength(ScriptsFolder) + 3);  // after "\\S\\"
    std::string folders(static_cast<size_t>(under), 'd');
    for (int i = 100; i < under - 1; i += 101) folders[static_cast<size_t>(i)] = '/';
    return folders + "/" + std::string(static_cast<size_t>(targetLength - folderLength - 5), 'f') +
           ".lua";
}

// The Windows file calls take plain names of at most 259 characters, and
// make folders of at most 247: a target whose "<target>.new" or whose folder
// is longer is refused before the fetch, on both builds alike.
TEST_F(DownloadTest, ATargetPastTheSystemsNameLimitsIsRefusedBeforeAnythingIsMade) {
    const struct {
        int folderLength;
        int targetLength;
        bool installs;
    } cases[] = {
        {247, 255, true},   // the temporary name 259, the folder 247: the longest that fit
        {200, 256, false},  // the temporary name 260
        {248, 255, false},  // the folder 248
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.folderLength << " / " << c.targetLength);
        fs::remove_all(scripts / "S");
        std::string relative = PathOfLengths(c.folderLength, c.targetLength);
        Publish("S/" + relative, "x");
        ASSERT_TRUE(LoadCatalogText("[S]\n" + FileLine(relative, "x")));
        RefreshFileStatuses(0);
        char16_t target[LOCAL_PATH_CAPACITY];
        LocalFilePath(target, ScriptTable[0], FileTable[0]);
        ASSERT_EQ(TextLength(target), c.targetLength);

        std::vector<CapturedMessage> messages = RunDownload(0);
        uintptr_t placed = c.installs ? 1 : 0;
        EXPECT_EQ(LastMessage(messages),
                  (CapturedMessage{Done, placed, static_cast<intptr_t>(placed)}));
        if (c.installs) {
            EXPECT_EQ(Local("S/" + relative), "x");
            EXPECT_TRUE(NoTemporaryFiles());
        } else {
            EXPECT_EQ(std::u16string(NoticeText),
                      u"Could not write " + std::u16string(target) +
                          u".\r\nIf Zentora is running this script, stop it and press Download "
                          u"again.");
            EXPECT_FALSE(fs::exists(scripts / "S"));
        }
    }
}

TEST_F(DownloadTest, AFailedMoveLeavesTheTargetAndDeletesTheTemporaryFile) {
    // A folder where the file should go: the move over it must fail.
    fs::create_directories(scripts / "S/a.lua");
    Publish("S/a.lua", "a");
    Load("[S]\n" + FileLine("a.lua", "a"));
    ASSERT_EQ(FileTable[0].status, FILE_STATUS_NEW);
    std::vector<CapturedMessage> messages = RunDownload(0);
    EXPECT_EQ(LastMessage(messages), (CapturedMessage{Done, 0, 0}));
    EXPECT_TRUE(fs::is_directory(scripts / "S/a.lua"));
    EXPECT_TRUE(NoTemporaryFiles());
    EXPECT_EQ(std::u16string(NoticeText).substr(0, 16), u"Could not write ");
    EXPECT_NE(std::u16string(NoticeText).find(scripts.ProgramPath("S\\a.lua")),
              std::u16string::npos);
}

// Windows never replaces a read-only file; POSIX renames over one anyway.
// The file is the catalog's to manage: the new one is left writable.
TEST_F(DownloadTest, AReadOnlyTargetIsReplacedAndLeftWritable) {
    PlaceLocal("S/a.lua", "old");
    const fs::perms write =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(scripts / "S/a.lua", write, fs::perm_options::remove);
    Publish("S/a.lua", "new");
    Load("[S]\n" + FileLine("a.lua", "new"));
    EXPECT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{Done, 1, 1}));
    EXPECT_EQ(Local("S/a.lua"), "new");
    EXPECT_NE(fs::status(scripts / "S/a.lua").permissions() & fs::perms::owner_write,
              fs::perms::none);
}

#ifdef _WIN32
TEST_F(DownloadTest, ATargetHeldOpenWithoutSharingKeepsItsOldContent) {
    PlaceLocal("S/a.lua", "old");
    Publish("S/a.lua", "new");
    Load("[S]\n" + FileLine("a.lua", "new"));
    std::u16string target = scripts.ProgramPath("S\\a.lua");
    // The host program holding the script: no sharing at all.
    HANDLE held = CreateFileW(reinterpret_cast<const wchar_t*>(target.c_str()), GENERIC_READ, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::vector<CapturedMessage> messages = RunDownload(0);
    CloseHandle(held);
    EXPECT_EQ(LastMessage(messages), (CapturedMessage{Done, 0, 0}));
    EXPECT_EQ(Local("S/a.lua"), "old");
    EXPECT_TRUE(NoTemporaryFiles());
    EXPECT_EQ(std::u16string(NoticeText),
              u"Could not write " + target +
                  u".\r\nIf Zentora is running this script, stop it and press Download again.");
}
namespace {

// Another process holds a file open without sharing, as a virus scanner or
// the search indexer does for a moment with a fresh file, and lets go after
// holdMs.
class HoldingProcess {
public:
    HoldingProcess(const std::u16string& path, int holdMs) {
        static int count = 0;
        std::wstring event = L"UpdaterTestHold" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                             std::to_wstring(++count);
        held_ = CreateEventW(nullptr, TRUE, FALSE, event.c_str());
        wchar_t program[MAX_PATH];
        std::wstring helper(program, GetModuleFileNameW(nullptr, program, MAX_PATH));
        helper = helper.substr(0, helper.find_last_of(L'\\') + 1) + L"hold_file.exe";
        std::wstring command = L"\"" + helper + L"\" \"" +
                               reinterpret_cast<const wchar_t*>(path.c_str()) + L"\" " +
                               std::to_wstring(holdMs) + L" " + event;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        started_ = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process_) != FALSE;
    }
    ~HoldingProcess() {
        if (started_) {
            WaitForSingleObject(process_.hProcess, 30000);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        CloseHandle(held_);
    }
    HoldingProcess(const HoldingProcess&) = delete;
    HoldingProcess& operator=(const HoldingProcess&) = delete;

    // True once the file is held (the process is slow to start under Wine).
    bool Holds() { return started_ && WaitForSingleObject(held_, 30000) == WAIT_OBJECT_0; }
    // The helper's exit code once it let go: 0 when it held the file as asked.
    DWORD ExitCode() {
        DWORD code = 1;
        WaitForSingleObject(process_.hProcess, 30000);
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    HANDLE held_ = nullptr;
    PROCESS_INFORMATION process_ = {};
    bool started_ = false;
};

}  // namespace

TEST_F(DownloadTest, AFileHeldForAMomentIsTriedAgainForAboutTwoSeconds) {
    const struct {
        const char* held;
        int holdMs;
        bool installs;
    } cases[] = {
        {"S\\a.lua", 500, true},      // let go within the retry window: the new file is placed
        {"S\\a.lua", 4000, false},    // held past it: the target stays as it was
        {"S\\a.lua.new", 500, true},  // a stale temporary file, removed once let go
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.held + std::to_string(c.holdMs));
        PlaceLocal("S/a.lua", "old");
        PlaceLocal("S/a.lua.new", "stale");
        Publish("S/a.lua", "new");
        ASSERT_TRUE(LoadCatalogText("[S]\n" + FileLine("a.lua", "new")));
        RefreshFileStatuses(0);
        std::u16string target = scripts.ProgramPath("S\\a.lua");
        HoldingProcess holder(scripts.ProgramPath(c.held), c.holdMs);
        ASSERT_TRUE(holder.Holds());

        std::vector<CapturedMessage> messages = RunDownload(0);
        uintptr_t placed = c.installs ? 1 : 0;
        EXPECT_EQ(LastMessage(messages),
                  (CapturedMessage{Done, placed, static_cast<intptr_t>(placed)}));
        EXPECT_EQ(holder.ExitCode(), 0u);
        EXPECT_EQ(Local("S/a.lua"), c.installs ? "new" : "old");
        EXPECT_TRUE(NoTemporaryFiles());
        if (!c.installs) {
            EXPECT_EQ(std::u16string(NoticeText),
                      u"Could not write " + target +
                          u".\r\nIf Zentora is running this script, stop it and press Download "
                          u"again.");
        }
    }
}
#endif
