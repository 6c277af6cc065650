// catalog-tool check on crafted catalogs in a server folder: every kind of
// line the updater ignores, refuses or cuts, each on its own catalog; the
// published files; and the line checks held against the updater's parser.
#include "tools/catalog_tool/check.h"

#include <ctype.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "app/text.h"
#include "catalog/catalog.h"
#include "tests/support/workers.h"
#include "tools/catalog_tool/tool_test_support.h"

namespace {

// Every crafted catalog lies beside S/a.lua, whose content is "a"; {A} in a
// catalog stands for its digest.
const std::string PublishedContent = "a";

std::string WithDigest(std::string catalog) {
    const std::string mark = "{A}";
    for (size_t at = catalog.find(mark); at != std::string::npos; at = catalog.find(mark)) {
        catalog.replace(at, mark.size(), Md5Hex(PublishedContent));
    }
    return catalog;
}

std::string Sections(int count) {
    std::string lines;
    for (int i = 1; i <= count; ++i) lines += "[S" + std::to_string(i) + "]\n";
    return lines;
}

std::string FileLines(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines += "file = f" + std::to_string(i) + ".lua|{A}\n";
    return lines;
}

struct LineCase {
    const char* name;
    std::string catalog;
    Severity severity;
    FindingKind kind;
    int line;
    int exitCode;                  // of the whole check
    const char* reason = nullptr;  // a part of the finding's text, when given
};

const LineCase LineCases[] = {
    {"KeyBeforeAnySection", "version = 1\n[S]\n", SEVERITY_ERROR, FINDING_NO_CURRENT_SCRIPT, 1,
     EXIT_PROBLEMS},
    {"KeyAfterARefusedHeader", "[S]\n[T\nfile = a.lua|{A}\n", SEVERITY_ERROR,
     FINDING_NO_CURRENT_SCRIPT, 3, EXIT_PROBLEMS},
    {"LineWithoutEquals", "[S]\njust some words\n", SEVERITY_ERROR, FINDING_NO_EQUALS, 2,
     EXIT_PROBLEMS},
    {"UnknownKey", "[S]\nauthor = me\n", SEVERITY_ERROR, FINDING_UNKNOWN_KEY, 2, EXIT_PROBLEMS},
    {"PathWithTwoDots", "[S]\nfile = a..b.lua|{A}\n", SEVERITY_ERROR, FINDING_REFUSED_PATH, 2,
     EXIT_PROBLEMS},
    {"PathWithLeadingSlash", "[S]\nfile = /a.lua|{A}\n", SEVERITY_ERROR, FINDING_REFUSED_PATH, 2,
     EXIT_PROBLEMS},
    {"PathWithLeadingBackslash", "[S]\nkeep = \\a.lua|{A}\n", SEVERITY_ERROR, FINDING_REFUSED_PATH,
     2, EXIT_PROBLEMS},
    {"PathWithColon", "[S]\nfile = C:a.lua|{A}\n", SEVERITY_ERROR, FINDING_REFUSED_PATH, 2,
     EXIT_PROBLEMS},
    {"SectionNameWithTwoDots", "[S]\n[../up]\nversion = 1\n", SEVERITY_ERROR,
     FINDING_UNSAFE_SECTION_NAME, 2, EXIT_PROBLEMS},
    {"SectionNameWithColon", "[C:]\n", SEVERITY_ERROR, FINDING_UNSAFE_SECTION_NAME, 1,
     EXIT_PROBLEMS},
    {"HeaderWithoutBracket", "[S]\n[Broken\n", SEVERITY_ERROR, FINDING_HEADER_WITHOUT_BRACKET, 2,
     EXIT_PROBLEMS},
    {"SixtyFifthScript", Sections(65), SEVERITY_ERROR, FINDING_LIMIT_REACHED, 65, EXIT_PROBLEMS},
    {"FileAfterTheLastPlace", "[S]\n" + FileLines(4097), SEVERITY_ERROR, FINDING_LIMIT_REACHED,
     4098, EXIT_PROBLEMS},
    {"NoteThatDoesNotFit", "[S]\nnote = " + std::string(4090, 'x') + "\nnote = y\n", SEVERITY_ERROR,
     FINDING_LIMIT_REACHED, 3, EXIT_PROBLEMS},
    {"NoteThatDoesNotFitAfterSeparators",
     "[S]\nnote = " + std::string(2000, 'x') + "\n[T]\n[U]\nnote = " + std::string(2085, 'y') +
         "\n",
     SEVERITY_ERROR, FINDING_LIMIT_REACHED, 5, EXIT_PROBLEMS},
    {"SectionNameCut", "[" + std::string(64, 'n') + "]\n", SEVERITY_ERROR, FINDING_VALUE_CUT, 1,
     EXIT_PROBLEMS},
    {"VersionCut", "[S]\nversion = " + std::string(32, '1') + "\n", SEVERITY_ERROR,
     FINDING_VALUE_CUT, 2, EXIT_PROBLEMS},
    {"DescCut", "[S]\ndesc = " + std::string(200, 'd') + "\n", SEVERITY_ERROR, FINDING_VALUE_CUT, 2,
     EXIT_PROBLEMS},
    {"PathCut", "[S]\nfile = " + std::string(260, 'p') + "|{A}\n", SEVERITY_ERROR,
     FINDING_VALUE_CUT, 2, EXIT_PROBLEMS},
    // Cut to its first 32 characters, the digest is right again: only the
    // cut is wrong.
    {"DigestCut", "[S]\nfile = a.lua|{A}0\n", SEVERITY_ERROR, FINDING_VALUE_CUT, 2, EXIT_PROBLEMS},
    {"ShortDigest", "[S]\nfile = a.lua|0CC175B9\n", SEVERITY_ERROR, FINDING_BAD_DIGEST, 2,
     EXIT_PROBLEMS},
    {"DigestWithoutHexDigits", "[S]\nfile = a.lua|" + std::string(32, 'G') + "\n", SEVERITY_ERROR,
     FINDING_BAD_DIGEST, 2, EXIT_PROBLEMS},
    {"NoDigest", "[S]\nfile = a.lua\n", SEVERITY_ERROR, FINDING_BAD_DIGEST, 2, EXIT_PROBLEMS},
    {"KeepFileWithoutDigest", "[S]\nkeep = a.lua\n", SEVERITY_WARNING, FINDING_BAD_DIGEST, 2,
     EXIT_OK},
    {"EmptyFileValue", "[S]\nfile =\n", SEVERITY_ERROR, FINDING_EMPTY_FILE_VALUE, 2, EXIT_PROBLEMS},
    {"ZeroByte", "[S]\nfile = a.lua|{A}\nversion = 1" + std::string(1, '\0') + "\nversion = 2\n",
     SEVERITY_ERROR, FINDING_ZERO_BYTE, 3, EXIT_PROBLEMS},
    {"BytesThatAreNotUtf8", "[S]\ndesc = caf\xE9\n", SEVERITY_WARNING, FINDING_INVALID_UTF8, 2,
     EXIT_OK},
    {"TextAfterTheBracket", "[S] (beta)\n", SEVERITY_WARNING, FINDING_TEXT_AFTER_BRACKET, 1,
     EXIT_OK},
    {"TextAfterTheDigest", "[S]\nfile = a.lua|{A}|size 1\n", SEVERITY_WARNING,
     FINDING_TEXT_AFTER_DIGEST, 2, EXIT_OK},
    {"SecondVersion", "[S]\nversion = 1\nversion = 2\n", SEVERITY_WARNING, FINDING_VALUE_REPLACED,
     3, EXIT_OK},
    {"SectionWithoutAVersion", "[S]\nfile = a.lua|{A}\n[T]\nversion = 1\n", SEVERITY_WARNING,
     FINDING_NO_VERSION, 1, EXIT_OK, "[S] has no version line"},
    {"Sha256FollowedByAThirdBar", "[S]\nfile = a.lua|{A}|" + std::string(64, 'a') + "|x\n",
     SEVERITY_WARNING, FINDING_TEXT_AFTER_DIGEST, 2, EXIT_OK, "third '|' is ignored: 'x'"},
    {"SectionOfTheSameFolder", "[S]\n[s]\n", SEVERITY_WARNING, FINDING_DUPLICATE_SCRIPT, 2,
     EXIT_OK},
    {"FileListedTwice", "[S]\nfile = a.lua|{A}\nkeep = a.lua|{A}\n", SEVERITY_ERROR,
     FINDING_DUPLICATE_FILE, 3, EXIT_PROBLEMS, "same file as the path at line 2"},
    {"KeptFileInOtherCase", "[S]\nkeep = a.lua|{A}\nfile = A.LUA|{A}\n", SEVERITY_ERROR,
     FINDING_DUPLICATE_FILE, 3, EXIT_PROBLEMS, "same file"},
    {"TemporaryNameOfAnotherFile", "[S]\nfile = a.lua|{A}\nfile = a.lua.new|{A}\n", SEVERITY_ERROR,
     FINDING_DUPLICATE_FILE, 3, EXIT_PROBLEMS, "temporary name"},
    {"NameWindowsCannotHold", "[S]\nfile = a*b.lua|{A}\n", SEVERITY_ERROR, FINDING_REFUSED_PATH, 2,
     EXIT_PROBLEMS, "Windows does not allow"},
    {"PathOfADevice", "[S]\nfile = aux.txt|{A}\n", SEVERITY_ERROR, FINDING_REFUSED_PATH, 2,
     EXIT_PROBLEMS, "device"},
    {"PathThroughADeviceFolder", "[S]\nfile = lib/lpt1/x.lua|{A}\n", SEVERITY_ERROR,
     FINDING_REFUSED_PATH, 2, EXIT_PROBLEMS, "device"},
    {"EmptyPath", "[S]\nfile = |{A}\n", SEVERITY_ERROR, FINDING_REFUSED_PATH, 2, EXIT_PROBLEMS,
     "it is empty"},
    {"PathOfAFolder", "[S]\nfile = dir/\n", SEVERITY_ERROR, FINDING_REFUSED_PATH, 2, EXIT_PROBLEMS,
     "empty part"},
    {"PathOfADot", "[S]\nfile = x/.\n", SEVERITY_ERROR, FINDING_REFUSED_PATH, 2, EXIT_PROBLEMS,
     "only dots and spaces"},
    {"FolderEndingInASpace", "[S]\nfile = sub dir /a.lua|{A}\n", SEVERITY_ERROR,
     FINDING_REFUSED_PATH, 2, EXIT_PROBLEMS, "ends in a dot or a space"},
    {"SectionNameEndingInASpace", "[Auto Loot ]\n", SEVERITY_ERROR, FINDING_UNSAFE_SECTION_NAME, 1,
     EXIT_PROBLEMS, "ends in a dot or a space"},
    {"SectionNamedAfterADevice", "[Con]\n", SEVERITY_ERROR, FINDING_UNSAFE_SECTION_NAME, 1,
     EXIT_PROBLEMS, "device"},
    {"SectionNamedAfterADeviceWithExtension", "[NUL.txt]\n", SEVERITY_ERROR,
     FINDING_UNSAFE_SECTION_NAME, 1, EXIT_PROBLEMS, "device"},
    {"EmptySectionName", "[S]\n[]\n", SEVERITY_ERROR, FINDING_UNSAFE_SECTION_NAME, 2, EXIT_PROBLEMS,
     "it is empty"},
    {"DotSectionName", "[.]\n", SEVERITY_ERROR, FINDING_UNSAFE_SECTION_NAME, 1, EXIT_PROBLEMS,
     "only dots and spaces"},
    {"SectionNameWithALineBreak", "[Payload\rfolder=x]\n", SEVERITY_ERROR,
     FINDING_UNSAFE_SECTION_NAME, 1, EXIT_PROBLEMS,
     "section [Payload\\rfolder=x] is refused: it holds a control character"},
    {"SectionNameWithASlash", "[Tools/Extra]\n", SEVERITY_WARNING, FINDING_LOCAL_NAME, 1, EXIT_OK},
    {"LongLocalPath", "[S]\nkeep = " + std::string(200, 'l') + ".lua\n", SEVERITY_WARNING,
     FINDING_LOCAL_PATH_LONG, 2, EXIT_PROBLEMS},
};

// Failure messages name the case rather than dumping its bytes.
void PrintTo(const LineCase& c, std::ostream* out) {
    *out << c.name;
}

class CheckLine : public testing::TestWithParam<LineCase> {};

std::string CaseName(const testing::TestParamInfo<LineCase>& info) {
    return info.param.name;
}

}  // namespace

TEST_P(CheckLine, ReportsTheLineWithItsReason) {
    const LineCase& c = GetParam();
    TempFolder server;
    Publish(server.Path(), "S/a.lua", PublishedContent);
    Publish(server.Path(), "scripts.txt", WithDigest(c.catalog));
    Report report(false);
    int exitCode = CheckIn(server.Path(), report);
    EXPECT_TRUE(HasFinding(report, c.severity, c.kind, c.line)) << ReportText(report);
    if (c.reason != nullptr) {
        EXPECT_NE(ReportText(report).find(c.reason), std::string::npos) << ReportText(report);
    }
    EXPECT_EQ(exitCode, c.exitCode) << ReportText(report);
}

INSTANTIATE_TEST_SUITE_P(EachKind, CheckLine, testing::ValuesIn(LineCases), CaseName);

// ---- the files ----------------------------------------------------------------------

TEST(CheckFiles, ReportsMissingAndChangedFilesAtTheirLines) {
    TempFolder server;
    Publish(server.Path(), "S/a.lua", "a");
    Publish(server.Path(), "S/changed.lua", "new content");
    Publish(server.Path(), "S/settings.ini", "user=1");
    Publish(server.Path(), "scripts.txt",
            "[S]\n" + FileLine("a.lua", "a") + FileLine("gone.lua", "x") +
                FileLine("changed.lua", "old content") + KeepLine("settings.ini", "user=0"));
    Report report(false);
    EXPECT_EQ(CheckIn(server.Path(), report), EXIT_PROBLEMS);
    EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, FINDING_FILE_MISSING, 3)) << ReportText(report);
    EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, FINDING_DIGEST_MISMATCH, 4))
        << ReportText(report);
    // A keep file is only installed where it is missing, but then the
    // updater refuses it as any other download that does not match.
    EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, FINDING_DIGEST_MISMATCH, 5))
        << ReportText(report);
    EXPECT_EQ(report.Errors(), 3) << ReportText(report);
    // A local folder refuses nothing: the file is simply not there.
    EXPECT_EQ(ReportText(report).find("refused it"), std::string::npos) << ReportText(report);
}

TEST(CheckFiles, AcceptsADigestInLowerCaseAndPathsWithBackslashes) {
    TempFolder server;
    Publish(server.Path(), "S/lib/a.lua", "a");
    std::string digest = Md5Hex("a");
    for (char& c : digest) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    Publish(server.Path(), "scripts.txt", "[S]\nversion = 1\nfile = lib\\a.lua|" + digest + "\n");
    Report report(false);
    EXPECT_EQ(CheckIn(server.Path(), report), EXIT_OK) << ReportText(report);
    EXPECT_EQ(report.Warnings(), 0) << ReportText(report);
}

TEST(CheckFiles, ReportsACatalogThatCannotBeFetched) {
    TempFolder server;
    Report missingCatalog(false);
    EXPECT_EQ(CheckIn(server.Path(), missingCatalog), EXIT_FAILED);
    EXPECT_TRUE(HasFinding(missingCatalog, SEVERITY_ERROR, FINDING_IO))
        << ReportText(missingCatalog);
    Report missingFolder(false);
    EXPECT_EQ(CheckIn(server.Path() / "nothing here", missingFolder), EXIT_FAILED);
}

// ---- what the catalog leaves out ------------------------------------------------------

TEST(CheckFolder, WarnsOfFilesAndScriptFoldersTheCatalogLeavesOut) {
    TempFolder server;
    Publish(server.Path(), "S/a.lua", "a");
    Publish(server.Path(), "S/lib/forgotten.lua", "f");
    Publish(server.Path(), "New Script/main.lua", "m");
    Publish(server.Path(), ".git/config", "hidden");
    Publish(server.Path(), "notes.txt", "the publisher's own");
    Publish(server.Path(), "scripts.txt", "[S]\nfile = a.lua|" + Md5Hex("a") + "\n");
    Report report(false);
    EXPECT_EQ(CheckIn(server.Path(), report), EXIT_OK) << ReportText(report);
    EXPECT_EQ(CountFindings(report, FINDING_NOT_IN_CATALOG), 2) << ReportText(report);
    EXPECT_NE(ReportText(report).find("forgotten.lua"), std::string::npos) << ReportText(report);
    EXPECT_NE(ReportText(report).find("New Script"), std::string::npos) << ReportText(report);
}
