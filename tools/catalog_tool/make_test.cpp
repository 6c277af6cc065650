// catalog-tool make on real server folders: a whole tree made and checked
// again, an existing catalog carried over, names refused, the updater's
// limits met exactly, and a catalog that is only ever replaced whole.
#include "tools/catalog_tool/make.h"

#include <ctype.h>
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "tests/support/signer.h"
#include "tests/support/workers.h"
#include "tools/catalog_tool/check.h"
#include "tools/catalog_tool/tool_test_support.h"

namespace {

struct TreeFile {
    std::string path;  // under the server folder
    std::string content;
};

// Nested folders, names outside ASCII, names the updater escapes on the web
// and names it sends as they are, an empty file, and a keep file.
const TreeFile Tree[] = {
    {"Auto Loot/main.lua", "-- main\n"},
    {"Auto Loot/lib/util/strings.lua", "-- strings\n"},
    {"Auto Loot/settings.ini", "volume=5\n"},
    {"Caf\xC3\xA9 Tools/donn\xC3\xA9"
     "es/carte \xC3\xA9t\xC3\xA9.lua",
     "-- \xC3\xA9t\xC3\xA9\n"},
    {"Odd Names/with space+plus#hash%.lua", "-- escaped\n"},
    {"Odd Names/a&b;c [1].lua", "-- sent as it is\n"},
    {"Odd Names/empty.dat", ""},
};

void PublishTree(const fs::path& root) {
    for (const TreeFile& file : Tree) Publish(root, file.path, file.content);
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

std::string Utf8(const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) bytes += static_cast<char>(c);  // ASCII texts only
    return bytes;
}

bool LeftATemporaryFile(const fs::path& root) {
    std::error_code error;
    return fs::exists(root / "scripts.txt.tmp", error);
}

}  // namespace

// ---- a whole tree ------------------------------------------------------------------

TEST(Make, MakeThenCheckRoundTripsATree) {
    TempFolder server;
    PublishTree(server.Path());
    // A publisher marks a keep file by hand; make fills in its digest.
    Publish(server.Path(), "scripts.txt", "[Auto Loot]\nkeep = settings.ini\n");

    Report made(false);
    ASSERT_EQ(MakeIn(server.Path(), made), EXIT_OK) << ReportText(made);
    EXPECT_EQ(made.Errors(), 0) << ReportText(made);
    EXPECT_FALSE(LeftATemporaryFile(server.Path()));

    std::string catalog = CatalogAt(server.Path());
    EXPECT_EQ(catalog.find('\r'), std::string::npos);
    EXPECT_NE(catalog.substr(0, 3), "\xEF\xBB\xBF");
    ASSERT_TRUE(LoadCatalogText(catalog));
    ASSERT_EQ(ScriptCount, 3);
    EXPECT_EQ(std::u16string(ScriptTable[0].name), u"Auto Loot");
    EXPECT_EQ(std::u16string(ScriptTable[1].name), Utf16("Caf\xC3\xA9 Tools"));
    EXPECT_EQ(std::u16string(ScriptTable[2].name), u"Odd Names");
    ASSERT_EQ(FileCount, 7);
    // The keep line stays first; new files follow it, each folder's files
    // before its subfolders.
    EXPECT_EQ(std::u16string(FileTable[0].path), u"settings.ini");
    EXPECT_EQ(FileTable[0].keep, 1);
    EXPECT_EQ(std::u16string(FileTable[1].path), u"main.lua");
    EXPECT_EQ(std::u16string(FileTable[2].path), u"lib/util/strings.lua");
    for (int i = 1; i < FileCount; ++i) EXPECT_EQ(FileTable[i].keep, 0) << i;
    for (const TreeFile& file : Tree) {
        bool listed = false;
        for (int s = 0; s < ScriptCount; ++s) {
            for (int f = ScriptTable[s].firstFile;
                 f < ScriptTable[s].firstFile + ScriptTable[s].fileCount; ++f) {
                std::u16string where =
                    std::u16string(ScriptTable[s].name) + u"/" + FileTable[f].path;
                if (where != Utf16(file.path)) continue;
                listed = true;
                EXPECT_EQ(Utf8(FileTable[f].md5), Md5Hex(file.content)) << file.path;
            }
        }
        EXPECT_TRUE(listed) << file.path;
    }

    Report checked(false);
    EXPECT_EQ(CheckIn(server.Path(), checked), EXIT_OK) << ReportText(checked);
    EXPECT_EQ(checked.Errors(), 0) << ReportText(checked);
    // Only the sections make added lack a version line.
    EXPECT_EQ(checked.Warnings(), CountFindings(checked, FINDING_NO_VERSION))
        << ReportText(checked);
    EXPECT_EQ(CountFindings(checked, FINDING_NO_VERSION), 3) << ReportText(checked);

    // Run again on the same tree: nothing to change, nothing rewritten.
    Report again(false);
    EXPECT_EQ(MakeIn(server.Path(), again), EXIT_OK) << ReportText(again);
    EXPECT_EQ(CountFindings(again, FINDING_CHANGE), 0) << ReportText(again);
    EXPECT_EQ(CatalogAt(server.Path()), catalog);
}

// ---- an existing catalog ----------------------------------------------------------------

TEST(Make, MakeOverAnExistingCatalogKeepsItsMetadata) {
    TempFolder server;
    Publish(server.Path(), "Zeta/main.lua", "new main");
    Publish(server.Path(), "Zeta/config.ini", "config");
    Publish(server.Path(), "Zeta/new.lua", "new file");
    Publish(server.Path(), "Alpha/lib/util.lua", "util");
    Publish(server.Path(), "Beta/b.lua", "b");
    std::string lowerUtil = Md5Hex("util");
    for (char& c : lowerUtil) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    // A byte-order mark and CR LF line ends, sections out of order, a
    // section whose folder is gone, a file that is gone, a stale digest.
    std::string old =
        "\xEF\xBB\xBF; Our scripts\r\n"
        "\r\n"
        "[Zeta]  ; listed first on purpose\r\n"
        "version = 2.0\r\n"
        "desc = The last letter.\r\n"
        "note = Now faster.\r\n"
        "; the main file\r\n"
        "file = main.lua|00000000000000000000000000000000\r\n"
        "keep = config.ini|" +
        Md5Hex("config") +
        "\r\n"
        "file = gone.lua|" +
        Md5Hex("gone") +
        "\r\n"
        "note = Second note.\r\n"
        "\r\n"
        "[Alpha]\r\n"
        "version = 1.0\r\n"
        "file = lib\\util.lua|" +
        lowerUtil +
        "\r\n"
        "\r\n"
        "[Gone Script]\r\n"
        "version = 9\r\n"
        "file = x.lua|" +
        Md5Hex("x") + "\r\n";
    Publish(server.Path(), "scripts.txt", old);

    Report report(false);
    ASSERT_EQ(MakeIn(server.Path(), report), EXIT_OK) << ReportText(report);
    EXPECT_EQ(CatalogAt(server.Path()),
              Lines({"; Our scripts", "", "[Zeta]  ; listed first on purpose", "version = 2.0",
                     "desc = The last letter.", "note = Now faster.", "; the main file",
                     "file = main.lua|" + Md5Hex("new main") + "|" + Sha256Hex("new main"),
                     "keep = config.ini|" + Md5Hex("config") + "|" + Sha256Hex("config"),
                     "file = new.lua|" + Md5Hex("new file") + "|" + Sha256Hex("new file"),
                     "note = Second note.", "", "[Alpha]", "version = 1.0",
                     "file = lib\\util.lua|" + lowerUtil + "|" + Sha256Hex("util"), "", "[Beta]",
                     "file = b.lua|" + Md5Hex("b") + "|" + Sha256Hex("b")}));
    EXPECT_TRUE(HasFinding(report, SEVERITY_NOTE, FINDING_CHANGE, 8))
        << ReportText(report);  // updated
    EXPECT_TRUE(HasFinding(report, SEVERITY_NOTE, FINDING_CHANGE, 10))
        << ReportText(report);  // added
    EXPECT_TRUE(HasFinding(report, SEVERITY_NOTE, FINDING_CHANGE, 17))
        << ReportText(report);                                                  // new script
    EXPECT_EQ(CountFindings(report, FINDING_CHANGE), 5) << ReportText(report);  // and two dropped
    // The text after "]" was there before and is kept; the updater ignores it.
    EXPECT_TRUE(HasFinding(report, SEVERITY_WARNING, FINDING_TEXT_AFTER_BRACKET, 3))
        << ReportText(report);
}

TEST(Make, KeepsLinesTheUpdaterIgnoresAndSaysSo) {
    TempFolder server;
    Publish(server.Path(), "S/a.lua", "a");
    std::string old = "author = someone\n[S]\nlicence = MIT\nfile = a.lua|" + Md5Hex("a") + "|" +
                      Sha256Hex("a") + "\n";
    Publish(server.Path(), "scripts.txt", old);
    Report report(false);
    EXPECT_EQ(MakeIn(server.Path(), report), EXIT_OK) << ReportText(report);
    EXPECT_EQ(CatalogAt(server.Path()), old);
    EXPECT_TRUE(HasFinding(report, SEVERITY_WARNING, FINDING_NO_CURRENT_SCRIPT, 1))
        << ReportText(report);
    EXPECT_TRUE(HasFinding(report, SEVERITY_WARNING, FINDING_UNKNOWN_KEY, 3)) << ReportText(report);
}

TEST(Make, RefusesAnExistingCatalogItCannotCarryOver) {
    const struct {
        const char* name;
        std::string catalog;
        int line;
    } cases[] = {
        {"header without bracket", "[S]\nfile = a.lua\n[Broken\nnote = x\n", 3},
        {"section twice", "[S]\nnote = one\n\n[S]\nnote = two\n", 4},
        {"unsafe section name", "[S]\n[../up]\n", 2},
        {"bytes that are not UTF-8", "[S]\nnote = caf\xE9\n", 2},
        {"zero byte", "[S]\n" + std::string(1, '\0') + "note = x\n", 2},
    };
    for (const auto& c : cases) {
        TempFolder server;
        Publish(server.Path(), "S/a.lua", "a");
        Publish(server.Path(), "scripts.txt", c.catalog);
        Report report(false);
        EXPECT_EQ(MakeIn(server.Path(), report), EXIT_PROBLEMS) << c.name << "\n"
                                                                << ReportText(report);
        EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, FINDING_CATALOG_PROBLEM, c.line))
            << c.name << "\n"
            << ReportText(report);
        EXPECT_EQ(CatalogAt(server.Path()), c.catalog) << c.name;
    }
}

// ---- names ----------------------------------------------------------------------------

TEST(Make, RefusesNamesTheUpdaterWouldRefuseOrCutAndWritesNothing) {
    std::vector<std::string> refused = {
        "Bad..Name/a.lua", "S/x..y.lua",           std::string(64, 'n') + "/a.lua",
        "Odd]Name/a.lua",  "S/ leading space.lua", "S/dots..folder/a.lua",
        "S/good.lua.new",  // the temporary name of S/good.lua
    };
#ifndef _WIN32
    // Names a POSIX disk holds and Windows does not: only a Linux server
    // folder can have them.
    std::vector<std::string> posixOnly = {
        "S/a?b.lua",
        "S/nul.txt",
        "S/lib/com1/x.lua",
        "Aux/a.lua",
        "S/GOOD.lua",  // the same file as S/good.lua on Windows
        "S/trailing.",
        "S/back\\slash.lua",
        "S/line\nfeed.lua",
        "S/\xFF.lua",
        "S/" + std::string(200, 'd') + "/" + std::string(60, 'f'),
    };
    refused.insert(refused.end(), posixOnly.begin(), posixOnly.end());
#endif
    const std::string old = "[S]\nfile = good.lua|" + Md5Hex("good") + "\n";
    for (const std::string& name : refused) {
        TempFolder server;
        Publish(server.Path(), "S/good.lua", "good");
        Publish(server.Path(), name, "content");
        Publish(server.Path(), "scripts.txt", old);
        Report report(false);
        EXPECT_EQ(MakeIn(server.Path(), report), EXIT_PROBLEMS) << name << "\n"
                                                                << ReportText(report);
        EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, FINDING_NAME_REFUSED)) << name << "\n"
                                                                              << ReportText(report);
        EXPECT_EQ(CatalogAt(server.Path()), old) << name;
        EXPECT_FALSE(LeftATemporaryFile(server.Path())) << name;
    }
}

TEST(Make, WarnsWhenTheLocalPathLeavesLittleRoomForTheScriptsFolder) {
    TempFolder server;
    // Room for 96 characters; the temporary folder itself stays well inside
    // 259 on Windows.
    std::string name = std::string(50, 'n');
    std::string path = std::string(50, 'd') + "/" + std::string(60, 'f');
    Publish(server.Path(), name + "/" + path, "x");
    Report report(false);
    EXPECT_EQ(MakeIn(server.Path(), report), EXIT_OK) << ReportText(report);
    EXPECT_TRUE(HasFinding(report, SEVERITY_WARNING, FINDING_LOCAL_PATH_LONG))
        << ReportText(report);
    EXPECT_NE(CatalogAt(server.Path()).find(path), std::string::npos);
}

// ---- limits ---------------------------------------------------------------------------

TEST(Make, StopsBeforeTheSixtyFifthScript) {
    TempFolder server;
    for (int i = 0; i < MAX_SCRIPTS; ++i)
        Publish(server.Path(), "S" + std::to_string(i) + "/a.lua", "a");
    Report full(false);
    ASSERT_EQ(MakeIn(server.Path(), full), EXIT_OK) << ReportText(full);
    std::string catalog = CatalogAt(server.Path());

    Publish(server.Path(), "One More/a.lua", "a");
    Report over(false);
    EXPECT_EQ(MakeIn(server.Path(), over), EXIT_PROBLEMS);
    EXPECT_TRUE(HasFinding(over, SEVERITY_ERROR, FINDING_LIMIT_REACHED)) << ReportText(over);
    EXPECT_EQ(CatalogAt(server.Path()), catalog);
}

TEST(Make, StopsBeforeTheFileAfterTheLast) {
    TempFolder server;
    for (int i = 0; i < MAX_FILES; ++i) Publish(server.Path(), "S/f" + std::to_string(i), "");
    Report full(false);
    ASSERT_EQ(MakeIn(server.Path(), full), EXIT_OK) << ReportText(full);
    std::string catalog = CatalogAt(server.Path());

    Publish(server.Path(), "T/one more", "");
    Report over(false);
    EXPECT_EQ(MakeIn(server.Path(), over), EXIT_PROBLEMS);
    EXPECT_TRUE(HasFinding(over, SEVERITY_ERROR, FINDING_LIMIT_REACHED)) << ReportText(over);
    EXPECT_EQ(CatalogAt(server.Path()), catalog);
}

// The notes cost what the updater's parser counts: each note its length and
// four, and every section header after the first note one more.
TEST(Make, CountsTheNotesExactlyAsTheUpdaterDoes) {
    for (int extra = 0; extra <= 1; ++extra) {
        TempFolder server;
        for (const char* script : {"A", "B", "C"})
            Publish(server.Path(), std::string(script) + "/a.lua", "a");
        std::string file = "file = a.lua|" + Md5Hex("a") + "|" + Sha256Hex("a") + "\n";
        // 2000 + 4, two separators, then a note of L: L + 2006 + 6 <= 4096.
        std::string old = "[A]\nnote = " + std::string(2000, 'x') + "\n" + file + "[B]\n" + file +
                          "[C]\n" + file + "note = " + std::string(2084 + extra, 'y') + "\n";
        Publish(server.Path(), "scripts.txt", old);
        Report report(false);
        int exitCode = MakeIn(server.Path(), report);
        if (extra == 0) {
            EXPECT_EQ(exitCode, EXIT_OK) << ReportText(report);
        } else {
            EXPECT_EQ(exitCode, EXIT_PROBLEMS) << ReportText(report);
            EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, FINDING_LIMIT_REACHED, 8))
                << ReportText(report);
        }
        EXPECT_EQ(CatalogAt(server.Path()), old);
    }
}

// ---- writing --------------------------------------------------------------------------

TEST(Make, WritesElsewhereKeepingTheFoldersCatalog) {
    TempFolder server, elsewhere;
    Publish(server.Path(), "S/a.lua", "changed");
    std::string old = "[S]\nversion = 3\nfile = a.lua|" + Md5Hex("a") + "\n";
    Publish(server.Path(), "scripts.txt", old);
    Report report(false);
    ASSERT_EQ(RunMake(server.ProgramPath(), elsewhere.ProgramPath("out.txt"), report), EXIT_OK)
        << ReportText(report);
    EXPECT_EQ(
        ReadFileBytes(elsewhere / "out.txt"),
        "[S]\nversion = 3\nfile = a.lua|" + Md5Hex("changed") + "|" + Sha256Hex("changed") + "\n");
    EXPECT_EQ(CatalogAt(server.Path()), old);
}

TEST(Make, AFailedWriteLeavesNoCatalogBehind) {
    TempFolder server;
    Publish(server.Path(), "S/a.lua", "a");
    Report noFolder(false);
    EXPECT_EQ(RunMake(server.ProgramPath(), server.ProgramPath("missing/scripts.txt"), noFolder),
              EXIT_FAILED);
    EXPECT_TRUE(HasFinding(noFolder, SEVERITY_ERROR, FINDING_IO)) << ReportText(noFolder);
    EXPECT_FALSE(fs::exists(server / "missing"));

    // A folder where the catalog should go: it cannot be replaced, and the
    // temporary file is removed again.
    fs::create_directories(server / "taken");
    Report folderInTheWay(false);
    EXPECT_EQ(RunMake(server.ProgramPath(), server.ProgramPath("taken"), folderInTheWay),
              EXIT_FAILED);
    EXPECT_TRUE(fs::is_directory(server / "taken"));
    EXPECT_FALSE(fs::exists(server / "taken.tmp"));
}

TEST(Make, RefusesAServerFolderThatIsNotThere) {
    TempFolder server;
    Report report(false);
    EXPECT_EQ(MakeIn(server / "nothing", report), EXIT_FAILED);
    EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, FINDING_IO)) << ReportText(report);
}

// ---- what make tells ------------------------------------------------------------------

TEST(Make, TellsADigestFilledApartFromAFileUpdatedAndWarnsOfAnUnchangedVersion) {
    TempFolder server;
    Publish(server.Path(), "S/a.lua", "a");
    Publish(server.Path(), "S/user.ini", "u");
    Publish(server.Path(), "scripts.txt",
            "[S]\nversion = 1.0\nkeep = user.ini\nfile = a.lua|" + Md5Hex("a") + "\n");
    Report filled(false);
    ASSERT_EQ(MakeIn(server.Path(), filled), EXIT_OK) << ReportText(filled);
    EXPECT_NE(ReportText(filled).find("digest filled S/user.ini"), std::string::npos)
        << ReportText(filled);
    EXPECT_EQ(ReportText(filled).find("updated S/"), std::string::npos) << ReportText(filled);
    EXPECT_EQ(CountFindings(filled, FINDING_SAME_VERSION), 0) << ReportText(filled);

    Publish(server.Path(), "S/a.lua", "a, changed");
    Report changed(false);
    ASSERT_EQ(MakeIn(server.Path(), changed), EXIT_OK) << ReportText(changed);
    EXPECT_NE(ReportText(changed).find("updated S/a.lua"), std::string::npos)
        << ReportText(changed);
    EXPECT_TRUE(HasFinding(changed, SEVERITY_WARNING, FINDING_SAME_VERSION)) << ReportText(changed);
}

TEST(Make, RefusesToKeepALineTheUpdaterWouldDrop) {
    TempFolder server;
    Publish(server.Path(), "S/a.lua", "a");
    const std::string old = "[S]\nfile a.lua\nfile = a.lua|" + Md5Hex("a") + "\n";
    Publish(server.Path(), "scripts.txt", old);
    Report report(false);
    EXPECT_EQ(MakeIn(server.Path(), report), EXIT_PROBLEMS) << ReportText(report);
    EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, FINDING_NO_EQUALS, 2)) << ReportText(report);
    EXPECT_EQ(CatalogAt(server.Path()), old);
}

// ---- mistakes that would reach users ----------------------------------------------------

TEST(Make, RefusesWhatWouldLockUsersOutOrLoseAHandWrittenLine) {
    const struct {
        const char* what;
        const char* file;     // on disk, under the server folder
        std::string catalog;  // the catalog there
        bool signatureFile;   // a scripts.txt.sig beside it
        FindingKind kind;
    } cases[] = {
        {"keep line in another case", "S/settings.ini", "[S]\nversion = 1\nkeep = Settings.ini\n",
         false, FINDING_CATALOG_PROBLEM},
        {"section in another case", "Loot Filter/a.lua", "[loot filter]\nversion = 2\nnote = n\n",
         false, FINDING_CATALOG_PROBLEM},
        {"plain make beside a signature", "S/a.lua", "[S]\nversion = 1\n", true, FINDING_SIGNATURE},
        {"plain make over a serial line", "S/a.lua", "serial = 3\n[S]\nversion = 1\n", false,
         FINDING_SIGNATURE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder server;
        Publish(server.Path(), c.file, "x");
        Publish(server.Path(), "scripts.txt", c.catalog);
        if (c.signatureFile) Publish(server.Path(), "scripts.txt.sig", "old signature\n");
        Report report(false);
        EXPECT_EQ(MakeIn(server.Path(), report), EXIT_PROBLEMS) << ReportText(report);
        EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, c.kind)) << ReportText(report);
        EXPECT_EQ(CatalogAt(server.Path()), c.catalog);
        EXPECT_EQ(fs::exists(server / "scripts.txt.sig"), c.signatureFile);
    }
}

TEST(Make, DropsTheSignatureOnlyWhenAskedTo) {
    TempFolder server;
    Publish(server.Path(), "S/a.lua", "x");
    Publish(server.Path(), "scripts.txt", "serial = 3\nnextkey = p256:x\n[S]\nversion = 1\n");
    Publish(server.Path(), "scripts.txt.sig", "old signature\n");
    SignOptions drop;
    drop.dropSignature = true;
    Report report(false);
    ASSERT_EQ(RunMake(server.ProgramPath(), u"", drop, report), EXIT_OK) << ReportText(report);
    EXPECT_TRUE(HasFinding(report, SEVERITY_WARNING, FINDING_SIGNATURE)) << ReportText(report);
    EXPECT_EQ(CatalogAt(server.Path()).find("[S]"), 0u) << CatalogAt(server.Path());
    EXPECT_FALSE(fs::exists(server / "scripts.txt.sig"));
}

// Whether files changed under an unchanged version, in either order of
// raising the version and running make, and again until it is raised.
TEST(Make, WarnsOfAnUnchangedVersionInEitherOrderAndUntilItIsRaised) {
    TempFolder server;
    Publish(server.Path(), "S/a.lua", "1");
    Publish(server.Path(), "scripts.txt", "[S]\nversion = 1\n");
    auto sameVersionWarnings = [&](const char* content, const char* from, const char* to) {
        Publish(server.Path(), "S/a.lua", content);
        std::string catalog = CatalogAt(server.Path());
        if (from != nullptr) catalog.replace(catalog.find(from), strlen(from), to);
        Publish(server.Path(), "scripts.txt", catalog);
        Report report(false);
        EXPECT_EQ(MakeIn(server.Path(), report), EXIT_OK) << ReportText(report);
        return CountFindings(report, FINDING_SAME_VERSION);
    };
    EXPECT_EQ(sameVersionWarnings("1", nullptr, nullptr), 0);              // the first make
    EXPECT_EQ(sameVersionWarnings("2", nullptr, nullptr), 1);              // make, not raised
    EXPECT_EQ(sameVersionWarnings("2", nullptr, nullptr), 1);              // still not raised
    EXPECT_EQ(sameVersionWarnings("2", "version = 1", "version = 2"), 0);  // raised after make
    EXPECT_EQ(sameVersionWarnings("3", "version = 2", "version = 3"), 0);  // raised before make
    EXPECT_EQ(sameVersionWarnings("3", nullptr, nullptr), 0);
}
