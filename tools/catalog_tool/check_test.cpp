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
#include "tools/catalog_tool/catalog_lines.h"
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
    EXPECT_EQ(CountFindings(report, FINDING_PARSER_DISAGREES), 0) << ReportText(report);
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
    // A keep file is only installed where it is missing: a warning.
    EXPECT_TRUE(HasFinding(report, SEVERITY_WARNING, FINDING_DIGEST_MISMATCH, 5))
        << ReportText(report);
    EXPECT_EQ(report.Errors(), 2) << ReportText(report);
}

TEST(CheckFiles, AcceptsADigestInLowerCaseAndPathsWithBackslashes) {
    TempFolder server;
    Publish(server.Path(), "S/lib/a.lua", "a");
    std::string digest = Md5Hex("a");
    for (char& c : digest) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    Publish(server.Path(), "scripts.txt", "[S]\nfile = lib\\a.lua|" + digest + "\n");
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

// ---- the line checks against the parser -----------------------------------------------------

namespace {

// Lines of every kind the parser knows, in forms that sit on its edges.
const char* const LineVocabulary[] = {
    "",
    "; comment",
    "# comment",
    "  \t",
    "[S]",
    "[ Spaced ]",
    "[]",
    "[T] after",
    "[Open",
    "[../x]",
    "[C:]",
    "[\\lead]",
    "version = 1.0",
    "VERSION=2",
    "version =",
    "desc = words",
    "Desc = "
    "0123456789012345678901234567890123456789012345678901234567890123456789"
    "0123456789012345678901234567890123456789012345678901234567890123456789"
    "01234567890123456789012345678901234567890123456789012345678901234567890123456789",
    "note = a note",
    "note =",
    "NOTE = x",
    "file = a.lua|0CC175B9C0F1B6A831C399E269772661",
    "file = a.lua",
    "file = |",
    "file =",
    "keep = k.ini|abc|def",
    "file = a..b|x",
    "file = /a",
    "file = \\a",
    "file = c:d",
    "file = x | y",
    "file = y|:colon ok",
    "=",
    "= value",
    "key without equals",
    "unknown = 1",
    "\xEF\xBB\xBF[BOM inside]",
    "file=f\r",
    "\rnote = cr",
    "[S2]\r",
};

// The same pseudo-random sequence on every run and build.
unsigned NextRandom(unsigned* state) {
    *state = *state * 1103515245u + 12345u;
    return (*state >> 16) & 0x7FFF;
}

std::string RandomCatalog(unsigned* state) {
    std::string catalog;
    int lines = static_cast<int>(NextRandom(state) % 60);
    for (int i = 0; i < lines; ++i) {
        unsigned pick = NextRandom(state);
        // Now and then a long note, so that the notes fill up and the
        // separators of later headers meet the end of the buffer.
        if (pick % 17 == 0) {
            catalog += "note = " + std::string(pick % 1500, 'n') + "\n";
        } else {
            catalog += std::string(LineVocabulary[pick % COUNTOF(LineVocabulary)]) + "\n";
        }
    }
    return catalog;
}

// Classifies and parses the same text; true when the two agree.
bool ClassifierAgreesWithParser(const std::string& utf8, std::u16string* difference) {
    char16_t* converted = ConvertCatalogText(utf8.c_str());
    if (converted == nullptr) return false;
    char16_t* text = SkipByteOrderMark(converted);
    CatalogModel model;
    ClassifyCatalog(SplitCatalogLines(text), &model);
    ClearCatalog();
    ParseCatalog(text);
    free(converted);
    return ModelMatchesTables(model, difference);
}

}  // namespace

TEST(CheckLines, FollowTheParserOnCatalogsAtItsEdges) {
    const std::string edges[] = {
        Sections(66) + FileLines(3),
        "[S]\n" + FileLines(4100),
        "[A]\nnote = " + std::string(4090, 'x') + "\n[B]\n[C]\nnote = y\n[D]\nnote =\n",
        "[A]\nnote = " + std::string(2000, 'x') + "\n[B]\n[C]\nnote = " + std::string(2084, 'y') +
            "\n",
        "\xEF\xBB\xBF[A]\r\nversion = 1\r\nfile = a.lua|x\r\n",
        "[A]\nfile = a\nkey\xFF\xFE = 1\n",
    };
    for (const std::string& catalog : edges) {
        std::u16string difference;
        EXPECT_TRUE(ClassifierAgreesWithParser(catalog, &difference))
            << std::string(difference.begin(), difference.end());
    }
    unsigned state = 20240601u;
    for (int i = 0; i < 400; ++i) {
        std::string catalog = RandomCatalog(&state);
        std::u16string difference;
        ASSERT_TRUE(ClassifierAgreesWithParser(catalog, &difference)) << "catalog " << i << ":\n"
                                                                      << catalog;
    }
}

TEST(CheckLines, TheCrossCheckSeesATableThatDiffers) {
    std::string catalog = "[A]\nnote = n\nfile = a.lua|0CC175B9C0F1B6A831C399E269772661\n";
    char16_t* converted = ConvertCatalogText(catalog.c_str());
    ASSERT_NE(converted, nullptr);
    CatalogModel model;
    ClassifyCatalog(SplitCatalogLines(converted), &model);
    ClearCatalog();
    ParseCatalog(converted);
    free(converted);
    std::u16string difference;
    ASSERT_TRUE(ModelMatchesTables(model, &difference));

    FileTable[0].md5[0] = u'1';
    EXPECT_FALSE(ModelMatchesTables(model, &difference));
    FileTable[0].md5[0] = u'0';
    NotesText[2] = u'm';
    EXPECT_FALSE(ModelMatchesTables(model, &difference));
    NotesText[2] = u'n';
    ScriptTable[0].noteOffset = -1;
    EXPECT_FALSE(ModelMatchesTables(model, &difference));
}
