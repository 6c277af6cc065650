// What the parser tells an observer about each kind of line: the verdict is
// the parser's own, and the tables it fills are those of an unobserved parse.
#include "catalog/parse_observer.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "app/text.h"
#include "tests/support/test_support.h"

namespace {

struct Told {
    LineVerdict verdict;
    unsigned cuts;
    NameProblem problem;
    PathClash clash;
    int earlierFile;
    int script;
    int file;
    std::u16string written, trimmed, afterDigest;
};

class Recorder : public CatalogObserver {
public:
    explicit Recorder(const std::u16string& text) : text_(text) {}
    void Line(const ParsedLine& line) override {
        ASSERT_EQ(line.number, static_cast<int>(told.size()) + 1);
        told.push_back(Told{line.verdict, line.cuts, line.problem, line.clash, line.earlierFile,
                            line.script, line.file, text_.substr(line.start, line.length),
                            text_.substr(line.trimmedStart, line.trimmedLength),
                            line.afterDigest != nullptr ? line.afterDigest : u"(none)"});
    }
    std::vector<Told> told;

private:
    std::u16string text_;
};

std::vector<Told> Observe(const std::u16string& catalog) {
    std::u16string text = catalog;
    Recorder recorder(text);
    ClearCatalog();
    ParseCatalogObserved(&text[0], &recorder);
    return recorder.told;
}

const std::u16string Digest = u"0123456789ABCDEF0123456789ABCDEF";

// Everything the tables hold, in one text.
std::u16string Tables() {
    std::u16string all;
    for (int s = 0; s < ScriptCount; ++s) {
        const ScriptRecord& script = ScriptTable[s];
        all += std::u16string(script.name) + u"|" + script.version + u"|" + script.desc + u"|" +
               Utf16(std::to_string(script.firstFile) + "," + std::to_string(script.fileCount) +
                     "," + std::to_string(script.noteOffset)) +
               u"\n";
    }
    for (int f = 0; f < FileCount; ++f) {
        all += std::u16string(FileTable[f].path) + u"|" + FileTable[f].md5 +
               (FileTable[f].keep ? u"|keep\n" : u"|file\n");
    }
    return all + std::u16string(NotesText, NotesText + NotesLength);
}

}  // namespace

TEST(ParseObserver, TellsTheVerdictOfEveryKindOfLine) {
    const std::u16string longName(70, u'n');
    const std::u16string longPath(300, u'p');
    const struct {
        std::u16string line;
        LineVerdict verdict;
        unsigned cuts;
        NameProblem problem;
    } lines[] = {
        {u"serial = 7", LINE_BEFORE_FIRST_SECTION, 0, NAME_OK},
        {u"", LINE_BLANK, 0, NAME_OK},
        {u"  ; a comment", LINE_COMMENT, 0, NAME_OK},
        {u"# another", LINE_COMMENT, 0, NAME_OK},
        {u"[No bracket", LINE_HEADER_WITHOUT_BRACKET, 0, NAME_OK},
        {u"version = lost", LINE_AFTER_REFUSED_HEADER, 0, NAME_OK},
        {u"[CON]", LINE_REFUSED_NAME, 0, NAME_DEVICE_PART},
        {u"[A] trailing", LINE_SCRIPT_TAKEN, 0, NAME_OK},
        {u"\tversion = 1.0 \r", LINE_VERSION_TAKEN, 0, NAME_OK},
        {u"VERSION = " + std::u16string(40, u'9'), LINE_VERSION_TAKEN, CUT_VERSION, NAME_OK},
        {u"desc = " + std::u16string(250, u'd'), LINE_DESC_TAKEN, CUT_DESC, NAME_OK},
        {u"note = news", LINE_NOTE_TAKEN, 0, NAME_OK},
        {u"note = " + std::u16string(5000, u'x'), LINE_NOTES_FULL, 0, NAME_OK},
        {u"just words", LINE_NO_EQUALS, 0, NAME_OK},
        {u"colour = red", LINE_UNKNOWN_KEY, 0, NAME_OK},
        {u"file =", LINE_EMPTY_FILE_VALUE, 0, NAME_OK},
        {u"file = a.lua|" + Digest + u"|extra", LINE_FILE_TAKEN, 0, NAME_OK},
        {u"keep = b.ini|" + Digest + u"FF", LINE_KEEP_TAKEN, CUT_DIGEST, NAME_OK},
        {u"file = " + longPath, LINE_FILE_TAKEN, CUT_PATH, NAME_OK},
        {u"file = ../up.lua", LINE_REFUSED_PATH, 0, NAME_TWO_DOTS},
        {u"file = A.LUA", LINE_DUPLICATE_PATH, 0, NAME_OK},
        {u"[" + longName + u"]", LINE_SCRIPT_TAKEN, CUT_NAME, NAME_OK},
        {u"file = sub dir /main.lua", LINE_REFUSED_PATH, 0, NAME_FOLDER_DOT_OR_SPACE},
        {u"[Auto Loot ]", LINE_REFUSED_NAME, 0, NAME_FOLDER_DOT_OR_SPACE},
    };
    std::u16string catalog;
    for (const auto& line : lines) catalog += line.line + u"\n";
    catalog.pop_back();
    std::vector<Told> told = Observe(catalog);
    ASSERT_EQ(told.size(), COUNTOF(lines));
    for (size_t i = 0; i < told.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(told[i].verdict, lines[i].verdict);
        EXPECT_EQ(told[i].cuts, lines[i].cuts);
        EXPECT_EQ(told[i].problem, lines[i].problem);
        EXPECT_EQ(told[i].written, lines[i].line);
    }
    EXPECT_EQ(told[2].trimmed, u"; a comment");
    EXPECT_EQ(told[8].trimmed, u"version = 1.0");
    EXPECT_EQ(told[16].afterDigest, u"extra");
    EXPECT_EQ(told[16].file, 0);
    EXPECT_EQ(told[20].clash, CLASH_SAME_FILE);
    EXPECT_EQ(told[20].earlierFile, 0);
    EXPECT_EQ(told[5].script, -1);
    EXPECT_EQ(told[20].script, 0);
    EXPECT_EQ(told[21].script, 1);
}

TEST(ParseObserver, LimitsOfTheTablesAreTold) {
    std::u16string catalog;
    for (int i = 0; i <= MAX_SCRIPTS; ++i) catalog += u"[S" + Utf16(std::to_string(i)) + u"]\n";
    std::vector<Told> told = Observe(catalog);
    EXPECT_EQ(told[MAX_SCRIPTS - 1].verdict, LINE_SCRIPT_TAKEN);
    EXPECT_EQ(told[MAX_SCRIPTS].verdict, LINE_TOO_MANY_SCRIPTS);

    catalog = u"[A]\n";
    for (int i = 0; i <= MAX_FILES; ++i) catalog += u"file = f" + Utf16(std::to_string(i)) + u"\n";
    told = Observe(catalog);
    EXPECT_EQ(told[MAX_FILES].verdict, LINE_FILE_TAKEN);
    EXPECT_EQ(told[MAX_FILES + 1].verdict, LINE_TOO_MANY_FILES);
}

TEST(ParseObserver, ObservedAndPlainParsesFillTheSameTables) {
    std::u16string catalog = u"[A]\nversion=2\nnote=n\nfile=x.lua|" + Digest + u"\n[B]\nkeep=y\n";
    Observe(catalog);
    std::u16string observed = Tables();
    std::u16string plain = catalog;
    ClearCatalog();
    ParseCatalog(&plain[0]);
    EXPECT_EQ(Tables(), observed);
    EXPECT_EQ(ScriptCount, 2);
}
