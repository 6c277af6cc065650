// Names on the user's disk and on the wire: what Windows cannot hold, what
// make refuses, and what the updater's request risks.
#include "tools/catalog_tool/names.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

TEST(Names, WindowsRefusesForbiddenCharactersDevicesAndTrailingDotsOrSpaces) {
    const char* const refused[] = {"a<b", "a>b",       "a\"b", "a|b",    "a?b",      "a*b",
                                   "a:b", "tab\there", "dot.", "space ", "CON",      "con.lua",
                                   "Nul", "aux .txt",  "COM1", "COM0",   "lpt9.log", ""};
    for (const char* name : refused) {
        EXPECT_FALSE(WindowsNameProblem(Utf16(name)).empty()) << name;
    }
    const char* const held[] = {
        "main.lua", "a b",     "CONSOLE.lua", "COMA",      "COM10",
        "lpt",      ".hidden", "caf\xC3\xA9", "a&b;c [1]", "with space+plus#hash%"};
    for (const char* name : held) {
        EXPECT_TRUE(WindowsNameProblem(Utf16(name)).empty()) << name;
    }
}

TEST(Names, AWindowsPathIsJudgedByEveryNameInIt) {
    EXPECT_TRUE(WindowsPathProblem(u"lib/util/strings.lua").empty());
    EXPECT_TRUE(WindowsPathProblem(u"lib\\util\\strings.lua").empty());
    EXPECT_FALSE(WindowsPathProblem(u"lib//./x.lua").empty());  // the updater refuses it
    EXPECT_FALSE(WindowsPathProblem(u"lib/nul/x.lua").empty());
    EXPECT_FALSE(WindowsPathProblem(u"lib. /x.lua").empty());
    EXPECT_FALSE(WindowsPathProblem(u"lib/").empty());
    EXPECT_FALSE(WindowsPathProblem(u"").empty());
}

TEST(Names, MakeRefusesWhatTheUpdaterWouldRefuseOrCut) {
    EXPECT_TRUE(ScriptNameRefusal(u"Auto Loot").empty());
    EXPECT_TRUE(ScriptNameRefusal(Repeat(u'n', 63)).empty());
    EXPECT_FALSE(ScriptNameRefusal(Repeat(u'n', 64)).empty());
    EXPECT_FALSE(ScriptNameRefusal(u"a..b").empty());
    EXPECT_FALSE(ScriptNameRefusal(u"Odd]Name").empty());
    EXPECT_FALSE(ScriptNameRefusal(u"Trailing.").empty());

    EXPECT_TRUE(FilePathRefusal(u"lib/util/strings.lua").empty());
    EXPECT_TRUE(FilePathRefusal(Repeat(u'p', 259)).empty());
    EXPECT_FALSE(FilePathRefusal(Repeat(u'p', 260)).empty());
    EXPECT_FALSE(FilePathRefusal(u"a..b.lua").empty());
    EXPECT_FALSE(FilePathRefusal(u"a|b.lua").empty());
    EXPECT_FALSE(FilePathRefusal(u"a\\b.lua").empty());
    EXPECT_FALSE(FilePathRefusal(u" lead.lua").empty());
    EXPECT_FALSE(FilePathRefusal(u"line\nfeed.lua").empty());
}

TEST(Names, TheRoomForTheScriptsFolderIsTheUpdatersOwnLimit) {
    // folder "\" name "\" path ".new" within 259, the file's folder within 247.
    const struct {
        std::u16string name, path;
        int room;
    } cases[] = {
        {u"S", u"a.lua", 245},                 // the folder "\S" binds
        {u"S", Repeat(u'p', 249), 3},          // ".new" binds: "C:\" still fits
        {u"S", Repeat(u'p', 250), 2},          // and now it does not
        {u"S", Repeat(u'd', 241) + u"/a", 3},  // the 247 of the folder binds
        {u"S", Repeat(u'd', 242) + u"/a", 2},
        {Repeat(u'n', 63), Repeat(u'p', 194), -4},  // no folder at all
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScriptsFolderRoom(c.name.c_str(), c.path.c_str()), c.room)
            << c.name.size() << " " << c.path.size();
    }
}

TEST(Names, AWebAddressRisksWhatGoesOutUnescaped) {
    const struct {
        const char* path;
        Severity severity;
    } cases[] = {
        {"S/main.lua", SEVERITY_NOTE},
        {"Auto Loot/with space+plus#hash%.lua", SEVERITY_NOTE},  // escaped by the updater
        {"S/a-b_c.d~e/(1),!$'*=@.lua", SEVERITY_NOTE},
        {"S/a?b.lua", SEVERITY_ERROR},
        {"S/a&b.lua", SEVERITY_WARNING},
        {"S/a;b.lua", SEVERITY_WARNING},
        {"S/[1].lua", SEVERITY_WARNING},
        {"S/a{b}.lua", SEVERITY_WARNING},
        {"S/caf\xC3\xA9.lua", SEVERITY_WARNING},
        {"S/caf\xC3\xA9?.lua", SEVERITY_ERROR},
    };
    for (const auto& c : cases) {
        AddressRisk risk = WebAddressRisk(Utf16(c.path));
        EXPECT_EQ(risk.severity, c.severity) << c.path;
        EXPECT_EQ(risk.text.empty(), c.severity == SEVERITY_NOTE) << c.path;
    }
}
