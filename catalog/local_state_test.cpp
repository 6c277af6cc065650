// Local state against real folders: where each catalog file lies, the status
// every rule gives it, and the state of whole scripts.
#include "catalog/local_state.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "app/text.h"
#include "tests/support/test_support.h"
#include "tests/support/workers.h"

namespace {

// Digests of "abc", of "The quick brown fox jumps over the lazy dog" and of
// the empty input.
const std::string Abc = "900150983CD24FB0D6963F7D28E17F72";
const std::string AbcLower = "900150983cd24fb0d6963f7d28e17f72";
const std::string Fox = "9E107D9D372BB6826BD81D3542A419D6";
const std::string Empty = "D41D8CD98F00B204E9800998ECF8427E";

// A scripts folder of its own for every test, and a catalog read from text
// the way the check run reads it.
class LocalState : public ::testing::Test {
protected:
    void SetUp() override {
        TextCopy(savedFolder_, SCRIPTS_FOLDER_CAPACITY, ScriptsFolder);
        TextCopy(ScriptsFolder, SCRIPTS_FOLDER_CAPACITY, scripts_.ProgramPath().c_str());
    }
    void TearDown() override {
        TextCopy(ScriptsFolder, SCRIPTS_FOLDER_CAPACITY, savedFolder_);
        ClearCatalog();
    }

    void Parse(const std::string& utf8) { ASSERT_TRUE(LoadCatalogText(utf8)); }

    // A file of a script, where the program looks for it.
    void Place(const std::string& relative, const std::string& bytes) {
        WriteFileBytes(scripts_ / relative, bytes);
    }

    void RefreshAll() {
        for (int script = 0; script < ScriptCount; ++script) RefreshFileStatuses(script);
    }

    int FindScript(const std::u16string& name) {
        for (int script = 0; script < ScriptCount; ++script) {
            if (name == ScriptTable[script].name) return script;
        }
        ADD_FAILURE() << "no script of that name";
        return -1;
    }

    TempFolder scripts_;

private:
    char16_t savedFolder_[SCRIPTS_FOLDER_CAPACITY];
};

ScriptRecord ScriptNamed(const std::u16string& name) {
    ScriptRecord script = {};
    TextCopy(script.name, SCRIPT_NAME_CAPACITY, name.c_str());
    return script;
}

FileRecord FileAt(const std::u16string& path) {
    FileRecord file = {};
    TextCopy(file.path, FILE_PATH_CAPACITY, path.c_str());
    return file;
}

std::u16string LocalPathOf(const ScriptRecord& script, const FileRecord& file) {
    char16_t buffer[LOCAL_PATH_CAPACITY];
    LocalFilePath(buffer, script, file);
    return buffer;
}

std::u16string Backslashed(std::u16string text) {
    for (char16_t& c : text) {
        if (c == u'/') c = u'\\';
    }
    return text;
}

}  // namespace

TEST_F(LocalState, LocalPathJoinsFolderNameAndPathAndTurnsEverySlash) {
    TextCopy(ScriptsFolder, SCRIPTS_FOLDER_CAPACITY, u"C:/Games\\Zentora/scripts");
    EXPECT_EQ(LocalPathOf(ScriptNamed(u"My/Script"), FileAt(u"lib/sub\\main.lua")),
              u"C:\\Games\\Zentora\\scripts\\My\\Script\\lib\\sub\\main.lua");
    EXPECT_EQ(LocalPathOf(ScriptNamed(u"Plain"), FileAt(u"x.lua")),
              u"C:\\Games\\Zentora\\scripts\\Plain\\x.lua");
}

TEST_F(LocalState, LocalPathIsCutAt259AndSlashesPastTheJoinAreStillTurned) {
    TextCopy(ScriptsFolder, SCRIPTS_FOLDER_CAPACITY, Repeat(u'f', 200).c_str());
    const std::u16string path = Repeat(u'p', 40) + u"/" + Repeat(u'q', 10) + u"/" + u"tail.lua";
    const std::u16string whole = Repeat(u'f', 200) + u"\\S\\" + Backslashed(path);
    ASSERT_GT(whole.size(), 259u);
    std::u16string local = LocalPathOf(ScriptNamed(u"S"), FileAt(path));
    EXPECT_EQ(local, whole.substr(0, 259));
    EXPECT_EQ(local.find(u'/'), std::u16string::npos);
}

TEST_F(LocalState, EveryStatusRuleAppliesInOrder) {
    Parse("[Rules]\n"
          "file = missing.lua|" + Abc + "\n"
          "keep = missing.ini|" + Abc + "\n"
          "keep = kept-differs.ini|" + Fox + "\n"
          "keep = kept-without-digest.ini\n"
          "keep = kept-matches.ini|" + Abc + "\n"
          "file = without-digest.lua\n"
          "file = upper.lua|" + Abc + "\n"
          "file = lower.lua|" + AbcLower + "\n"
          "file = mixed.lua|" + AbcLower.substr(0, 16) + Abc.substr(16) + "\n"
          "file = changed.lua|" + Fox + "\n"
          "file = short.lua|" + Abc.substr(0, 31) + "\n"
          "file = spaced.lua| " + Abc + "\n"
          "file = long.lua|" + Abc + "FF\n"
          "file = empty.lua|" + Empty + "\n"
          "file = lib/sub/deep.lua|" + Abc + "\n"
          "file = lib\\back.lua|" + Abc + "\n"
          "file = folder.lua|" + Abc + "\n"
          "keep = folder.ini|" + Abc + "\n");
    for (const char* name : {"kept-differs.ini", "kept-without-digest.ini", "kept-matches.ini",
                             "without-digest.lua", "upper.lua", "lower.lua", "mixed.lua",
                             "changed.lua", "short.lua", "spaced.lua", "long.lua",
                             "lib/sub/deep.lua", "lib/back.lua"}) {
        Place(std::string("Rules/") + name, "abc");
    }
    Place("Rules/empty.lua", "");
    fs::create_directories(scripts_ / "Rules/folder.lua");
    fs::create_directories(scripts_ / "Rules/folder.ini");

    const int32_t expected[] = {
        FILE_STATUS_NEW,     // missing.lua
        FILE_STATUS_NEW,     // missing.ini: a missing keep file is fetched
        FILE_STATUS_KEPT,    // kept-differs.ini
        FILE_STATUS_KEPT,    // kept-without-digest.ini
        FILE_STATUS_KEPT,    // kept-matches.ini
        FILE_STATUS_UPDATE,  // without-digest.lua
        FILE_STATUS_OK,      // upper.lua
        FILE_STATUS_OK,      // lower.lua
        FILE_STATUS_OK,      // mixed.lua
        FILE_STATUS_UPDATE,  // changed.lua
        FILE_STATUS_UPDATE,  // short.lua
        FILE_STATUS_UPDATE,  // spaced.lua
        FILE_STATUS_OK,      // long.lua: compared as the catalog cut it
        FILE_STATUS_OK,      // empty.lua
        FILE_STATUS_OK,      // lib/sub/deep.lua
        FILE_STATUS_OK,      // lib\back.lua
        FILE_STATUS_NEW,     // folder.lua: a folder in its place
        FILE_STATUS_NEW,     // folder.ini
    };
    ASSERT_EQ(FileCount, static_cast<int32_t>(COUNTOF(expected)));
    RefreshFileStatuses(0);
    for (int i = 0; i < FileCount; ++i) {
        EXPECT_EQ(FileTable[i].status, expected[i])
            << "file " << i << ": " << fs::path(FileTable[i].path).u8string();
    }
}

TEST_F(LocalState, AFileWithoutCatalogDigestStaysUpdateAfterEveryRefresh) {
    Parse("[A]\nfile = plain.lua\n");
    RefreshFileStatuses(0);
    EXPECT_EQ(FileTable[0].status, FILE_STATUS_NEW);
    Place("A/plain.lua", "abc");
    for (int round = 0; round < 2; ++round) {
        RefreshFileStatuses(0);
        EXPECT_EQ(FileTable[0].status, FILE_STATUS_UPDATE);
    }
}

TEST_F(LocalState, RefreshTouchesOnlyItsScriptAndStatesChangeOnlyWithARefresh) {
    Parse("[A]\nfile = a.lua|" + Abc + "\n[B]\nfile = b.lua|" + Abc + "\n");
    RefreshFileStatuses(1);
    EXPECT_EQ(FileTable[0].status, 0);  // not refreshed: as parsed
    EXPECT_EQ(FileTable[1].status, FILE_STATUS_NEW);

    RefreshFileStatuses(0);
    EXPECT_EQ(FileTable[0].status, FILE_STATUS_NEW);
    EXPECT_EQ(ScriptState(0), SCRIPT_NOT_INSTALLED);

    Place("A/a.lua", "abc");
    EXPECT_EQ(ScriptState(0), SCRIPT_NOT_INSTALLED);
    RefreshFileStatuses(0);
    EXPECT_EQ(FileTable[0].status, FILE_STATUS_OK);
    EXPECT_EQ(ScriptState(0), SCRIPT_UP_TO_DATE);

    fs::remove(scripts_ / "A/a.lua");
    EXPECT_EQ(ScriptState(0), SCRIPT_UP_TO_DATE);
    RefreshFileStatuses(0);
    EXPECT_EQ(ScriptState(0), SCRIPT_NOT_INSTALLED);
}

// The cut path would name lib/x.lua, which exists, for the catalog's
// lib/x.luaZ; judging by it would call the file OK (or Kept) and never fetch
// it.
TEST_F(LocalState, APathThatDoesNotFitIsNewEvenWhenItsCutNamesAFile) {
    const int room = 259 - TextLength(ScriptsFolder) - 3;  // after "\S\"
    std::string folders;
    while (static_cast<int>(folders.size()) + 51 + 60 < room) folders += std::string(50, 'd') + "/";
    const std::string fitting = folders + std::string(room - folders.size() - 4, 'x') + ".lua";
    ASSERT_EQ(static_cast<int>(fitting.size()), room);
    Parse("[S]\nfile = " + fitting + "Z|" + Abc + "\nkeep = " + fitting + "Y|" + Abc +
          "\nfile = " + fitting + "|" + Abc + "\n");
    ASSERT_EQ(FileCount, 3);
    Place("S/" + fitting, "abc");

    EXPECT_EQ(LocalPathOf(ScriptTable[0], FileTable[0]), scripts_.ProgramPath("S/" + fitting));
    RefreshFileStatuses(0);
    EXPECT_EQ(FileTable[0].status, FILE_STATUS_NEW);
    EXPECT_EQ(FileTable[1].status, FILE_STATUS_NEW);
    EXPECT_EQ(FileTable[2].status, FILE_STATUS_OK);  // the file of exactly 259 units

    // No scripts folder: no file has a place, not even \S\a.lua.
    ScriptsFolder[0] = 0;
    EXPECT_FALSE(LocalFilePathFits(ScriptNamed(u"S"), FileAt(u"a.lua")));
}

TEST(LocalStatus, OnlyNewAndUpdateNeedDownload) {
    EXPECT_FALSE(NeedsDownload(FILE_STATUS_OK));
    EXPECT_TRUE(NeedsDownload(FILE_STATUS_NEW));
    EXPECT_TRUE(NeedsDownload(FILE_STATUS_UPDATE));
    EXPECT_FALSE(NeedsDownload(FILE_STATUS_KEPT));
}

TEST_F(LocalState, ScriptStatesFollowTheirFiles) {
    Parse("[All match]\n"
          "file = a.lua|" + Abc + "\n"
          "file = b.lua|" + AbcLower + "\n"
          "keep = c.ini|" + Fox + "\n"
          "[Nothing installed, keep file there]\n"
          "file = a.lua|" + Abc + "\n"
          "keep = c.ini|" + Abc + "\n"
          "[Nothing installed, keep file missing]\n"
          "file = a.lua|" + Abc + "\n"
          "file = b.lua\n"
          "keep = c.ini|" + Abc + "\n"
          "[One missing, one matching]\n"
          "file = a.lua|" + Abc + "\n"
          "file = b.lua|" + Abc + "\n"
          "[Only keep files, missing]\n"
          "keep = a.ini|" + Abc + "\n"
          "keep = b.ini\n"
          "[Only keep files, there]\n"
          "keep = a.ini|" + Fox + "\n"
          "keep = b.ini\n"
          "[No files]\n"
          "[Changed, missing and kept]\n"
          "file = a.lua|" + Fox + "\n"
          "file = b.lua|" + Abc + "\n"
          "keep = c.ini|" + Abc + "\n"
          "file = d.lua|" + Abc + "\n"
          "[Installed without digests]\n"
          "file = a.lua\n"
          "file = b.lua\n");
    ASSERT_EQ(ScriptCount, 9);
    for (const char* path : {"All match/a.lua", "All match/b.lua", "All match/c.ini",
                             "Nothing installed, keep file there/c.ini",
                             "One missing, one matching/a.lua", "Only keep files, there/a.ini",
                             "Only keep files, there/b.ini", "Changed, missing and kept/a.lua",
                             "Changed, missing and kept/d.lua", "Installed without digests/a.lua",
                             "Installed without digests/b.lua"}) {
        Place(path, "abc");
    }
    RefreshAll();

    struct Expected {
        const char16_t* name;
        int state;
    };
    const Expected states[] = {
        {u"All match", SCRIPT_UP_TO_DATE},
        {u"Nothing installed, keep file there", SCRIPT_NOT_INSTALLED},
        {u"Nothing installed, keep file missing", SCRIPT_NOT_INSTALLED},
        {u"One missing, one matching", 1},
        {u"Only keep files, missing", 2},
        {u"Only keep files, there", SCRIPT_UP_TO_DATE},
        {u"No files", SCRIPT_UP_TO_DATE},
        {u"Changed, missing and kept", 3},
        {u"Installed without digests", 2},
    };
    for (const Expected& expected : states) {
        EXPECT_EQ(ScriptState(FindScript(expected.name)), expected.state)
            << fs::path(expected.name).u8string();
    }
    EXPECT_EQ(FileTable[ScriptTable[1].firstFile + 1].status, FILE_STATUS_KEPT);
    EXPECT_EQ(FileTable[ScriptTable[2].firstFile + 2].status, FILE_STATUS_NEW);
}

TEST_F(LocalState, AnIndexOutsideTheTableIsNoScript) {
    Parse("[A]\nfile = a.lua|" + Abc + "\n");
    RefreshAll();
    ASSERT_EQ(ScriptState(0), SCRIPT_NOT_INSTALLED);
    for (int script : {-1, 1, static_cast<int>(MAX_SCRIPTS)}) {
        RefreshFileStatuses(script);
        EXPECT_EQ(ScriptState(script), SCRIPT_UP_TO_DATE) << script;
    }
    EXPECT_EQ(FileTable[0].status, FILE_STATUS_NEW);
}
