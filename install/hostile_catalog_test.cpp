// Hostile catalogs and scripts folders against a real updater.ini and real
// files: a section name that tries to smuggle a setting into updater.ini
// across two runs, and what lies at the name of the temporary file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "app/shared_state.h"
#include "catalog/catalog.h"
#include "catalog/local_state.h"
#include "tests/support/workers.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const uint32_t Done = WM_APP_DOWNLOAD_DONE;

// The program form of a test folder as UTF-8 (the folders are ASCII).
std::string Narrow(const std::u16string& text) {
    std::string narrow;
    for (char16_t c : text) narrow += static_cast<char>(c < 0x80 ? c : '?');
    return narrow;
}

size_t CountOf(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// A second name at link of the same file as target. False when this system
// cannot make one.
bool MakeSecondName(const fs::path& link, const fs::path& target) {
#ifdef _WIN32
    return CreateHardLinkW(link.wstring().c_str(), target.wstring().c_str(), nullptr) != FALSE;
#else
    std::error_code error;
    fs::create_hard_link(target, link, error);
    return !error;
#endif
}

class HostileTest : public ::testing::Test {
protected:
    void SetUp() override { BeginWorkerTest(); }
    void TearDown() override {
        EndWorkerTest();
        SettingsPath[0] = 0;
    }

    TempFolder program;    // Updater.exe's folder, and the scripts folder by default
    TempFolder server;     // a folder server
    TempFolder elsewhere;  // where nothing may ever be written
};

}  // namespace

TEST_F(HostileTest, ASectionNameCannotSmuggleASettingIntoUpdaterIni) {
    std::string hostile = "Payload\rfolder=" + Narrow(elsewhere.ProgramPath());
    WriteFileBytes(server / "scripts.txt", "[" + hostile + "]\n" + FileLine("p.lua", "p") +
                                               "[Payload]\n" + FileLine("p.lua", "p"));
    WriteFileBytes(server / "Payload/p.lua", "p");
    // No folder key before `last`: the place the injection aimed at.
    WriteFileBytes(program / "updater.ini",
                   "[updater]\r\nurl=" + Narrow(server.ProgramPath()) + "\r\n");
    for (int run = 1; run <= 2; ++run) {
        ResolveSettings(program.ProgramPath("Updater.exe").c_str());
        ASSERT_EQ(std::u16string(ScriptsFolder), program.ProgramPath()) << "run " << run;
        ASSERT_EQ(LastMessage(RunCheck()).wParam, 1u) << "run " << run;
        ASSERT_EQ(ScriptCount, 1) << "run " << run;
        // The window writes the chosen name; the hostile one is tried as
        // well, as if a parser had let it through.
        WriteLastScript(ScriptTable[0].name);
        WriteLastScript(Utf16(hostile).c_str());
        EXPECT_EQ(LastMessage(RunDownload(0)).wParam, 1u) << "run " << run;
    }
    EXPECT_EQ(ReadFileBytes(program / "Payload/p.lua"), "p");
    EXPECT_TRUE(fs::is_empty(elsewhere.Path()));
    std::string ini = ReadFileBytes(program / "updater.ini");
    EXPECT_EQ(CountOf(ini, "last="), 1u) << ini;
    EXPECT_EQ(CountOf(ini, "folder="), 0u) << ini;
    char16_t last[LAST_SCRIPT_CAPACITY];
    ReadLastScript(last);
    EXPECT_EQ(std::u16string(last), u"Payload");
}

// A link that leads out of the scripts folder, wherever it lies on the way
// to a file, is neither written through nor deleted (deleting a link can
// delete what it points to), and the install stops at that file.
TEST_F(HostileTest, ALinkOutOfTheScriptsFolderIsNeitherWrittenThroughNorDeleted) {
    const struct {
        const char* link;  // under the scripts folder
        bool toFolder;     // else to a file
        const char* path;  // the catalog's path of script S
    } cases[] = {
        {"S/a.lua.new", false, "a.lua"},      // the temporary name
        {"S/a.lua", false, "a.lua"},          // the target
        {"S/lib", true, "lib/a.lua"},         // a sub-folder
        {"S/lib", true, "lib/deeper/a.lua"},  // a sub-folder above a folder to make
        {"S", true, "a.lua"},                 // the script's own folder
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        TempFolder scripts, outside;
        UseFolders(scripts.ProgramPath(), server.ProgramPath());
        WriteFileBytes(server / "S" / c.path, "new");
        WriteFileBytes(outside / "own.txt", "the user's own file");
        fs::create_directories((scripts / c.link).parent_path());
        ASSERT_TRUE(
            MakeSymbolicLink(scripts / c.link, c.toFolder ? outside.Path() : outside / "own.txt"));
        ASSERT_TRUE(LoadCatalogText("[S]\n" + FileLine(c.path, "new")));
        RefreshFileStatuses(0);
        EXPECT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{Done, 0, 0}));
        EXPECT_EQ(std::u16string(NoticeText).substr(0, 16), u"Could not write ");
        EXPECT_EQ(ReadFileBytes(outside / "own.txt"), "the user's own file");
        std::vector<fs::path> outsideNow(fs::directory_iterator(outside.Path()), {});
        EXPECT_EQ(outsideNow, std::vector<fs::path>{outside / "own.txt"});
        EXPECT_TRUE(fs::exists(scripts / c.link));  // the link itself stays
        RemoveSymbolicLink(scripts / c.link);
    }
}

TEST_F(HostileTest, ASecondNameOfAnOutsideFileAtTheTemporaryNameIsReplaced) {
    UseFolders(program.ProgramPath(), server.ProgramPath());
    WriteFileBytes(server / "S/a.lua", "new");
    WriteFileBytes(elsewhere / "outside.txt", "the user's own file");
    fs::create_directories(program / "S");
    ASSERT_TRUE(MakeSecondName(program / "S/a.lua.new", elsewhere / "outside.txt"));
    ASSERT_TRUE(LoadCatalogText("[S]\n" + FileLine("a.lua", "new")));
    RefreshFileStatuses(0);
    EXPECT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{Done, 1, 1}));
    EXPECT_EQ(ReadFileBytes(elsewhere / "outside.txt"), "the user's own file");
    EXPECT_EQ(ReadFileBytes(program / "S/a.lua"), "new");
    EXPECT_FALSE(fs::exists(program / "S/a.lua.new"));
}

TEST_F(HostileTest, AFolderAtTheTemporaryNameIsAWriteFailure) {
    UseFolders(program.ProgramPath(), server.ProgramPath());
    WriteFileBytes(server / "S/a.lua", "new");
    fs::create_directories(program / "S/a.lua.new/inside");
    ASSERT_TRUE(LoadCatalogText("[S]\n" + FileLine("a.lua", "new")));
    RefreshFileStatuses(0);
    EXPECT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{Done, 0, 0}));
    EXPECT_TRUE(fs::is_directory(program / "S/a.lua.new/inside"));
    EXPECT_FALSE(fs::exists(program / "S/a.lua"));
    EXPECT_EQ(std::u16string(NoticeText).substr(0, 16), u"Could not write ");
}
