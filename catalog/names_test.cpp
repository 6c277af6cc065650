// The names a catalog may use and the files two lines of one script may not
// share, on both builds: each rule by itself, then through the parser.
#include "catalog/names.h"

#include <gtest/gtest.h>

#include <string>

#include "catalog/catalog.h"
#include "tests/support/test_support.h"
#include "tests/support/workers.h"

namespace {

struct RefusedName {
    const char* text;  // UTF-8
    NameProblem problem;
};

// Each is refused as a whole name, and also as a later part of a path.
const RefusedName RefusedNames[] = {
    {"a..b", NAME_TWO_DOTS},
    {"...", NAME_TWO_DOTS},
    {"x:y", NAME_COLON},
    {"tab\there", NAME_CONTROL_CHARACTER},
    {"cr\rhere", NAME_CONTROL_CHARACTER},
    {"\x01start", NAME_CONTROL_CHARACTER},
    {"del\x7F", NAME_CONTROL_CHARACTER},
    {"a<b", NAME_FORBIDDEN_CHARACTER},
    {"a>b", NAME_FORBIDDEN_CHARACTER},
    {"a\"b", NAME_FORBIDDEN_CHARACTER},
    {"a|b", NAME_FORBIDDEN_CHARACTER},
    {"what?", NAME_FORBIDDEN_CHARACTER},
    {"*.lua", NAME_FORBIDDEN_CHARACTER},
    {".", NAME_DOTS_AND_SPACES_PART},
    {" ", NAME_DOTS_AND_SPACES_PART},
    {". .", NAME_DOTS_AND_SPACES_PART},
    {"CON", NAME_DEVICE_PART},
    {"con.lua", NAME_DEVICE_PART},
    {"Prn", NAME_DEVICE_PART},
    {"aux.txt", NAME_DEVICE_PART},
    {"NUL", NAME_DEVICE_PART},
    {"NUL.txt", NAME_DEVICE_PART},
    {"nul .txt", NAME_DEVICE_PART},
    {"CON.", NAME_DEVICE_PART},
    {"con  ", NAME_DEVICE_PART},
    {"COM0", NAME_DEVICE_PART},
    {"COM1.lua", NAME_DEVICE_PART},
    {"com9", NAME_DEVICE_PART},
    {"LPT1", NAME_DEVICE_PART},
    {"lpt0.log", NAME_DEVICE_PART},
    {"CONIN$", NAME_DEVICE_PART},
    {"conout$.txt", NAME_DEVICE_PART},
    {"COM\xC2\xB9", NAME_DEVICE_PART},      // superscript one
    {"LPT\xC2\xB2.txt", NAME_DEVICE_PART},  // superscript two
    {"lpt\xC2\xB3", NAME_DEVICE_PART},      // superscript three
};

const char* const AcceptedNames[] = {
    "main.lua", "a b",  "CONSOLE.lua", "COMA",    "COM10",        "lpt",
    "CON1",     "xnul", "AUX_2.txt",   ".hidden", " leading",     "v1.0 beta",
    "a&b;c",    "[1]",  "caf\xC3\xA9", "a+b#c%d", "\xD0\xAF.lua", "COM\xC2\xB4",
};

}  // namespace

TEST(Names, EveryRefusedFormIsRefusedAsANameAndAsAnyPartOfAPath) {
    for (const RefusedName& refused : RefusedNames) {
        std::u16string name = Utf16(refused.text);
        EXPECT_EQ(ScriptNameProblem(name.c_str()), refused.problem) << refused.text;
        EXPECT_EQ(FilePathProblem(name.c_str()), refused.problem) << refused.text;
        for (const std::u16string& path :
             {u"lib/" + name, u"lib\\" + name + u"\\x.lua", u"a/" + name + u"/b/c.lua"}) {
            EXPECT_NE(FilePathProblem(path.c_str()), NAME_OK) << refused.text;
            EXPECT_NE(ScriptNameProblem(path.c_str()), NAME_OK) << refused.text;
        }
    }
}

TEST(Names, EmptyNamesAndEmptyPartsAreRefused) {
    const struct {
        const char16_t* text;
        NameProblem problem;
    } cases[] = {
        {u"", NAME_EMPTY},
        {u"dir/", NAME_EMPTY_PART},
        {u"dir\\", NAME_EMPTY_PART},
        {u"a//b", NAME_EMPTY_PART},
        {u"x/.", NAME_DOTS_AND_SPACES_PART},
        {u"/a", NAME_LEADING_SLASH},
        {u"\\a", NAME_LEADING_SLASH},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilePathProblem(c.text), c.problem) << static_cast<int>(c.problem);
        EXPECT_EQ(ScriptNameProblem(c.text), c.problem) << static_cast<int>(c.problem);
    }
}

TEST(Names, OrdinaryNamesAndPathsPass) {
    for (const char* accepted : AcceptedNames) {
        std::u16string name = Utf16(accepted);
        EXPECT_EQ(ScriptNameProblem(name.c_str()), NAME_OK) << accepted;
        EXPECT_EQ(FilePathProblem((u"lib/" + name + u"/x.lua").c_str()), NAME_OK) << accepted;
    }
}

// Windows drops the dots and spaces at the end of the last part of a path
// only: a folder so named is made without them and then never found.
TEST(Names, ADotOrASpaceEndsAFileNameButNeverAFolder) {
    const struct {
        const char* text;
        bool fileOk;  // as a file path; as a script name every one is refused
    } cases[] = {
        {"Auto Loot ", true},         {"notes.", true},      {"lib/x.lua. .", true},
        {"sub dir /main.lua", false}, {"lib./x.lua", false}, {"a/b\\c ./d.lua", false},
    };
    for (const auto& c : cases) {
        std::u16string text = Utf16(c.text);
        EXPECT_EQ(FilePathProblem(text.c_str()), c.fileOk ? NAME_OK : NAME_FOLDER_DOT_OR_SPACE)
            << c.text;
        EXPECT_EQ(ScriptNameProblem(text.c_str()), NAME_FOLDER_DOT_OR_SPACE) << c.text;
    }
    EXPECT_EQ(ScriptNameProblem(u"Auto Loot"), NAME_OK);
    EXPECT_EQ(FilePathProblem(u"lib .x/y.lua"), NAME_OK);  // a dot or a space inside stays
}

TEST(Names, LettersFoldAsWindowsComparesThem) {
    const struct {
        char16_t lower, upper;
    } pairs[] = {{u'a', u'A'},   {u'z', u'Z'},   {0xE9, 0xC9},   {0xFE, 0xDE},   {0xFF, 0x178},
                 {0x101, 0x100}, {0x13A, 0x139}, {0x17E, 0x17D}, {0x3B1, 0x391}, {0x3C2, 0x3A3},
                 {0x3CE, 0x38F}, {0x430, 0x410}, {0x44F, 0x42F}, {0x451, 0x401}, {u'/', u'\\'}};
    for (const auto& pair : pairs) {
        EXPECT_EQ(FoldNameChar(pair.lower), pair.upper) << static_cast<int>(pair.lower);
        EXPECT_EQ(FoldNameChar(pair.upper), pair.upper) << static_cast<int>(pair.upper);
    }
    EXPECT_EQ(FoldNameChar(0xF7), 0xF7);  // the division sign has no case
    char16_t folded[32];
    EXPECT_EQ(FoldPath(folded, 32, u"Lib. /sub dir /Main.lua. ."), 20);
    EXPECT_EQ(std::u16string(folded), u"LIB\\SUB DIR\\MAIN.LUA");
}

TEST(Names, ThePathIndexFindsEachKindOfClash) {
    PathIndex* index = new PathIndex();
    ClearPathIndex(index);
    int earlier = -1;
    EXPECT_EQ(AddPathUnlessItClashes(index, u"lib/Main.lua", 7, &earlier), CLASH_NONE);
    EXPECT_EQ(AddPathUnlessItClashes(index, u"LIB\\main.LUA. ", 1, &earlier), CLASH_SAME_FILE);
    EXPECT_EQ(earlier, 7);
    EXPECT_EQ(AddPathUnlessItClashes(index, u"lib/main.lua.NEW", 2, &earlier),
              CLASH_EARLIER_TEMPORARY);
    EXPECT_EQ(AddPathUnlessItClashes(index, u"lib/main", 3, &earlier), CLASH_NONE);
    EXPECT_EQ(AddPathUnlessItClashes(index, u"x.lua.new", 8, &earlier), CLASH_NONE);
    EXPECT_EQ(AddPathUnlessItClashes(index, u"x.lua", 4, &earlier), CLASH_LATER_TEMPORARY);
    EXPECT_EQ(earlier, 8);
    ClearPathIndex(index);
    EXPECT_EQ(AddPathUnlessItClashes(index, u"lib/Main.lua", 5, &earlier), CLASH_NONE);
    delete index;
}

// ---- through the parser ----------------------------------------------------------

TEST(Catalog, RefusedNamesAndPathsAreSkippedLikeAnyUnsafeLine) {
    for (const RefusedName& refused : RefusedNames) {
        std::string name = refused.text;
        // A section with a refused name is refused with all its lines.
        ASSERT_TRUE(LoadCatalogText("[First]\n[" + name + "]\nfile=evil.lua\n[Last]\nfile=x\n"));
        EXPECT_EQ(ScriptCount, 2) << name;
        EXPECT_EQ(FileCount, 1) << name;
        if (name.find('|') != std::string::npos) continue;  // a bar ends the path
        for (const std::string& path : {name, "lib/" + name, "lib/" + name + "/x.lua"}) {
            ASSERT_TRUE(LoadCatalogText("[S]\nfile=" + path + "|0123\nfile=good.lua\n"));
            ASSERT_EQ(FileCount, 1) << path;
            EXPECT_EQ(std::u16string(FileTable[0].path), u"good.lua") << path;
        }
    }
}

TEST(Catalog, ObservedHostileNamesNeverBecomeScriptsOrRows) {
    ASSERT_TRUE(LoadCatalogText(
        "[Payload\rfolder=\\some\\other\\place]\nfile=p.lua\n[.]\nfile=a.lua\n[]\nfile=b.lua\n"
        "[CON]\n[COM1]\n[NUL.txt]\n[S]\nfile=aux.txt\nfile=COM1.lua\nfile=NUL\nfile=con.lua\n"
        "file=lib/lpt1/x.lua\nfile=|0123\nfile=.\nfile=x/.\nfile=dir/\nfile=dir\\\n"));
    ASSERT_EQ(ScriptCount, 1);
    EXPECT_EQ(std::u16string(ScriptTable[0].name), u"S");
    EXPECT_EQ(FileCount, 0);
}

TEST(Catalog, ALaterLineForTheSameFileOrItsTemporaryFileIsRefused) {
    const struct {
        const char* lines;
        int files;  // accepted, the first line always among them
    } cases[] = {
        {"keep=Settings.ini\nfile=settings.INI\n", 1},
        {"file=a.lua.new\nfile=a.lua\n", 1},
        {"file=a.lua\nfile=A.LUA.New\n", 1},
        {"file=A.lua\nfile=a.lua\n", 1},
        {"file=lib/x.lua\nfile=LIB\\X.lua\n", 1},
        {"file=main.lua |0123\nfile=main.lua\n", 1},
        {"file=lib/x.lua.\nfile=lib/x.lua\n", 1},
        {"file=main.lua |0\nfile=main.lua .new\n", 1},
        {"file=\xC3\x89t\xC3\xA9.lua\nfile=\xC3\xA9T\xC3\x89.lua\n", 1},
        {"file=\xD0\xAF.lua\nfile=\xD1\x8F.lua\n", 1},
        {"file=a.lua\nfile=a.lua.old\nfile=b/a.lua\nfile=a .lua\nfile=a.lua.new.new\n", 5},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(LoadCatalogText(std::string("[S]\n") + c.lines));
        EXPECT_EQ(FileCount, c.files) << c.lines;
        EXPECT_EQ(ScriptTable[0].fileCount, c.files) << c.lines;
        std::string first = std::string(c.lines).substr(5, std::string(c.lines).find('\n') - 5);
        EXPECT_EQ(std::u16string(FileTable[0].path), Utf16(first.substr(0, first.find('|'))));
    }
    ASSERT_TRUE(LoadCatalogText("[S]\nkeep=Settings.ini\nfile=settings.INI\n"));
    EXPECT_EQ(FileTable[0].keep, 1);  // the user's kept file stays kept
}

TEST(Catalog, EachScriptHasItsOwnFilesToCompare) {
    ASSERT_TRUE(LoadCatalogText("[A]\nfile=x.lua\n[B]\nfile=X.lua\n[A]\nfile=x.lua\n"));
    EXPECT_EQ(FileCount, 3);
}
