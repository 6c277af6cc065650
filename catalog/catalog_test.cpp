// The catalog format: sections, keys, files, notes, and every limit, cut and
// refusal, from UTF-8 bytes as they arrive from a server.
#include "catalog/catalog.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "app/text.h"
#include "tests/support/test_support.h"
#include "tests/support/workers.h"

namespace {

const std::string DigestA = "0123456789ABCDEF0123456789ABCDEF";
const std::string DigestB = "FEDCBA9876543210FEDCBA9876543210";

// Converts and parses a catalog the way the check run does.
void Parse(const std::string& utf8) {
    ASSERT_TRUE(LoadCatalogText(utf8));
}

std::u16string Name(int script) { return ScriptTable[script].name; }
std::u16string PathOf(int file) { return FileTable[file].path; }
std::u16string DigestOf(int file) { return FileTable[file].md5; }
std::u16string NotesAt(int offset) { return NotesText + offset; }

}  // namespace

TEST(Catalog, ParsesTheExampleCatalog) {
    Parse("; catalog of the script server\n"
          "[Example Script]\n"
          "version = 1.4\n"
          "desc = Does one useful thing.\n"
          "note = Faster start.\n"
          "note = Fixed the settings dialog.\n"
          "file = lib/main.lua|" + DigestA + "\n"
          "keep = lib/settings.ini|" + DigestB + "\n");
    ASSERT_EQ(ScriptCount, 1);
    const ScriptRecord& script = ScriptTable[0];
    EXPECT_EQ(Name(0), u"Example Script");
    EXPECT_EQ(std::u16string(script.version), u"1.4");
    EXPECT_EQ(std::u16string(script.desc), u"Does one useful thing.");
    EXPECT_EQ(script.firstFile, 0);
    EXPECT_EQ(script.fileCount, 2);
    EXPECT_EQ(script.noteOffset, 0);
    EXPECT_EQ(NotesAt(0), u"- Faster start.\r\n- Fixed the settings dialog.\r\n");
    ASSERT_EQ(FileCount, 2);
    EXPECT_EQ(PathOf(0), u"lib/main.lua");
    EXPECT_EQ(DigestOf(0), Utf16(DigestA));
    EXPECT_EQ(FileTable[0].keep, 0);
    EXPECT_EQ(PathOf(1), u"lib/settings.ini");
    EXPECT_EQ(DigestOf(1), Utf16(DigestB));
    EXPECT_EQ(FileTable[1].keep, 1);
    EXPECT_EQ(FileTable[1].status, 0);
}

TEST(Catalog, LineEndsAndByteOrderMarkDoNotMatter) {
    const std::string lines[] = {"[A]", "version=2", "file=x.lua|" + DigestA, "note=n"};
    std::string lf, crlf;
    for (const std::string& line : lines) {
        lf += line + "\n";
        crlf += line + "\r\n";
    }
    for (const std::string& catalog : {lf, crlf, "\xEF\xBB\xBF" + lf, "\xEF\xBB\xBF" + crlf,
                                       crlf.substr(0, crlf.size() - 2)}) {
        Parse(catalog);
        ASSERT_EQ(ScriptCount, 1);
        EXPECT_EQ(Name(0), u"A");
        EXPECT_EQ(std::u16string(ScriptTable[0].version), u"2");
        ASSERT_EQ(FileCount, 1);
        EXPECT_EQ(DigestOf(0), Utf16(DigestA));
        EXPECT_EQ(NotesAt(0), u"- n\r\n");
    }
}

TEST(Catalog, OnlyOneByteOrderMarkIsSkipped) {
    Parse("\xEF\xBB\xBF\xEF\xBB\xBF[A]\n");
    EXPECT_EQ(ScriptCount, 0);  // the second mark makes the line a key line
}

TEST(Catalog, KeyLinesWithoutAnAcceptedHeaderAreIgnored) {
    Parse("version=0\nfile=early.lua\n[Broken\nfile=lost.lua\nnote=lost\n[Good]\nfile=kept.lua\n");
    ASSERT_EQ(ScriptCount, 1);
    EXPECT_EQ(Name(0), u"Good");
    ASSERT_EQ(FileCount, 1);
    EXPECT_EQ(PathOf(0), u"kept.lua");
    EXPECT_EQ(ScriptTable[0].noteOffset, -1);
    EXPECT_EQ(NotesLength, 0);
}

TEST(Catalog, HeaderNamesAreTakenAsWritten) {
    // An empty name ([]) would install into the scripts folder itself: it is
    // refused with the other unsafe names below.
    Parse("[ Spaced Name]\n[]\n[Tail] ignored ] too\n  [Indented]\n[" + std::string(80, 'n') +
          "]\n[a/b c]\n");
    ASSERT_EQ(ScriptCount, 5);
    EXPECT_EQ(Name(0), u" Spaced Name");
    EXPECT_EQ(Name(1), u"Tail");
    EXPECT_EQ(Name(2), u"Indented");
    EXPECT_EQ(Name(3), Repeat(u'n', 63));
    EXPECT_EQ(Name(4), u"a/b c");
}

TEST(Catalog, NamesThatWouldLeaveTheScriptsFolderAreRefusedLikeBrokenHeaders) {
    Parse("[First]\nnote=one\n"
          "[..\\..\\Somewhere]\nfile=evil.lua\nnote=evil\n"
          "[\\Windows]\nfile=evil.lua\n"
          "[/etc]\nfile=evil.lua\n"
          "[C:x]\nfile=evil.lua\n"
          "[a..b]\nfile=evil.lua\n"
          "[Second]\nnote=two\nfile=good.lua\n");
    ASSERT_EQ(ScriptCount, 2);
    EXPECT_EQ(Name(0), u"First");
    EXPECT_EQ(Name(1), u"Second");
    ASSERT_EQ(FileCount, 1);
    EXPECT_EQ(PathOf(0), u"good.lua");
    // The refused headers added no separators: the second run follows the
    // first one's terminator directly.
    EXPECT_EQ(ScriptTable[1].noteOffset, 8);
    EXPECT_EQ(NotesAt(8), u"- two\r\n");
}

TEST(Catalog, KeysIgnoreCaseAndLaterVersionAndDescWin) {
    Parse("[A]\nVERSION=1\nDesc=first\nvErSiOn = 2 \ndesc=second\nFile=a.lua\nKEEP=b.ini\n"
          "NoTe=x\nunknown=1\nno equals sign\n  ; comment\n# comment\nfile\n");
    ASSERT_EQ(ScriptCount, 1);
    EXPECT_EQ(std::u16string(ScriptTable[0].version), u"2");
    EXPECT_EQ(std::u16string(ScriptTable[0].desc), u"second");
    ASSERT_EQ(FileCount, 2);
    EXPECT_EQ(FileTable[0].keep, 0);
    EXPECT_EQ(FileTable[1].keep, 1);
    EXPECT_EQ(NotesAt(0), u"- x\r\n");
}

TEST(Catalog, ValuesAreCutToTheirFields) {
    Parse("[A]\nversion=" + std::string(40, 'v') + "\ndesc=" + std::string(250, 'd') +
          "\nfile=" + std::string(300, 'p') + "|" + DigestA + "FFFF\n");
    EXPECT_EQ(std::u16string(ScriptTable[0].version), Repeat(u'v', 31));
    EXPECT_EQ(std::u16string(ScriptTable[0].desc), Repeat(u'd', 199));
    ASSERT_EQ(FileCount, 1);
    EXPECT_EQ(PathOf(0), Repeat(u'p', 259));
    EXPECT_EQ(DigestOf(0), Utf16(DigestA));
}

TEST(Catalog, FurtherEqualsSignsBelongToTheValue) {
    Parse("[A]\ndesc = a = b =\n");
    EXPECT_EQ(std::u16string(ScriptTable[0].desc), u"a = b =");
}

TEST(Catalog, FileValuesSplitAtBarsWithoutTrimming) {
    Parse("[A]\n"
          "file=plain.lua\n"
          "file=spaced.lua |  " + DigestA + "\n"
          "file=third.lua|" + DigestB + "|ignored|more\n"
          "file=|" + DigestA + "\n"  // an empty path names no file: refused
          "file=\n"
          "file=c.lua|digest:with:colons\n");
    ASSERT_EQ(FileCount, 4);
    EXPECT_EQ(PathOf(0), u"plain.lua");
    EXPECT_EQ(DigestOf(0), u"");
    EXPECT_EQ(PathOf(1), u"spaced.lua ");
    EXPECT_EQ(DigestOf(1), Utf16("  " + DigestA.substr(0, 30)));
    EXPECT_EQ(PathOf(2), u"third.lua");
    EXPECT_EQ(DigestOf(2), Utf16(DigestB));
    EXPECT_EQ(PathOf(3), u"c.lua");
    EXPECT_EQ(DigestOf(3), u"digest:with:colons");
    EXPECT_EQ(ScriptTable[0].fileCount, 4);
}

TEST(Catalog, PathsThatCouldLeaveTheScriptFolderAreRefused) {
    Parse("[A]\n"
          "file=../up.lua\n"
          "file=lib/../../up.lua\n"
          "file=a..b\n"
          "keep=/abs.lua\n"
          "file=\\abs.lua\n"
          "file=C:\\x.lua\n"
          "file=lib/x:stream\n"
          "file=good/x.lua\n"
          "file=good\\y.lua\n"
          "file=.hidden/x.lua\n");
    ASSERT_EQ(FileCount, 3);
    EXPECT_EQ(PathOf(0), u"good/x.lua");
    EXPECT_EQ(PathOf(1), u"good\\y.lua");
    EXPECT_EQ(PathOf(2), u".hidden/x.lua");
}

TEST(Catalog, ScriptsKeepTheirFilesInOneRun) {
    Parse("[A]\nfile=a1\nfile=a2\n[B]\n[C]\nkeep=c1\n");
    ASSERT_EQ(ScriptCount, 3);
    EXPECT_EQ(ScriptTable[0].firstFile, 0);
    EXPECT_EQ(ScriptTable[0].fileCount, 2);
    EXPECT_EQ(ScriptTable[1].firstFile, 2);
    EXPECT_EQ(ScriptTable[1].fileCount, 0);
    EXPECT_EQ(ScriptTable[2].firstFile, 2);
    EXPECT_EQ(ScriptTable[2].fileCount, 1);
}

TEST(Catalog, TheSixtyFifthSectionIsIgnoredWithItsKeys) {
    std::string catalog;
    for (int i = 0; i < 64; ++i) catalog += "[S" + std::to_string(i) + "]\nnote=n\n";
    catalog += "[Extra]\nfile=extra.lua\nnote=extra\n";
    Parse(catalog);
    EXPECT_EQ(ScriptCount, 64);
    EXPECT_EQ(FileCount, 0);
    // 64 runs of "- n\r\n" (5 units) each followed by a terminator; the
    // refused 65th header added no separator.
    EXPECT_EQ(NotesLength, 64 * 6 - 1);
    EXPECT_EQ(ScriptTable[63].noteOffset, 63 * 6);
}

TEST(Catalog, FileLinesPastTheLastPlaceAreIgnored) {
    std::string catalog = "[A]\n";
    for (int i = 0; i < MAX_FILES + 5; ++i) catalog += "file=f" + std::to_string(i) + "\n";
    catalog += "[B]\nfile=late\n";
    Parse(catalog);
    EXPECT_EQ(FileCount, MAX_FILES);
    EXPECT_EQ(ScriptTable[0].fileCount, MAX_FILES);
    EXPECT_EQ(PathOf(MAX_FILES - 1), u"f4095");
    ASSERT_EQ(ScriptCount, 2);
    EXPECT_EQ(ScriptTable[1].firstFile, MAX_FILES);
    EXPECT_EQ(ScriptTable[1].fileCount, 0);
}

TEST(Catalog, NotesRunsFollowEachOtherWithOneSeparatorPerHeader) {
    Parse("[A]\nnote=a\nnote=\n[NoNotes]\n[B]\nnote=b\n[C]\n");
    ASSERT_EQ(ScriptCount, 4);
    EXPECT_EQ(ScriptTable[0].noteOffset, 0);
    EXPECT_EQ(NotesAt(0), u"- a\r\n- \r\n");
    EXPECT_EQ(ScriptTable[1].noteOffset, -1);
    // "- a\r\n- \r\n" is 9 units, its terminator at 9; the headers of
    // NoNotes and B each move the start on by one.
    EXPECT_EQ(ScriptTable[2].noteOffset, 11);
    EXPECT_EQ(NotesAt(11), u"- b\r\n");
    EXPECT_EQ(ScriptTable[3].noteOffset, -1);
}

TEST(Catalog, ANoteThatDoesNotFitIsDroppedButAShorterOneStillFits) {
    // After 4004 units and B's separator the length is 4005: a note of 86
    // needs 86 + 4005 + 6 > 4096 and is dropped, one of 85 fits exactly.
    Parse("[A]\nnote=" + std::string(4000, 'a') + "\nnote=" + std::string(90, 'x') + "\n[B]\nnote=" +
          std::string(86, 'b') + "\nnote=" + std::string(85, 'c') + "\n");
    EXPECT_EQ(NotesAt(0), u"- " + Repeat(u'a', 4000) + u"\r\n");
    ASSERT_EQ(ScriptCount, 2);
    EXPECT_EQ(ScriptTable[1].noteOffset, 4005);
    EXPECT_EQ(NotesAt(4005), u"- " + Repeat(u'c', 85) + u"\r\n");
    EXPECT_EQ(NotesLength, 4005 + 89);
    EXPECT_EQ(NotesText[NotesLength], 0);
}

TEST(Catalog, HeadersAfterFullNotesNeverWritePastTheBuffer) {
    // A note that fills the buffer to its last places, then many headers:
    // the length stays inside the buffer and every run stays terminated.
    std::string catalog = "[A]\nnote=" + std::string(4090, 'a') + "\n";
    for (int i = 0; i < 40; ++i) catalog += "[H" + std::to_string(i) + "]\n";
    catalog += "[Z]\nnote=\n";
    Parse(catalog);
    EXPECT_EQ(ScriptCount, 42);
    EXPECT_LE(NotesLength, NOTES_CAPACITY - 1);
    EXPECT_EQ(NotesText[NOTES_CAPACITY - 1], 0);
    EXPECT_EQ(NotesAt(0), u"- " + Repeat(u'a', 4090) + u"\r\n");
    EXPECT_EQ(ScriptTable[41].noteOffset, -1);
}

TEST(Catalog, TextEndsAtTheFirstZeroByte) {
    Parse(std::string("[A]\nfile=a.lua\n\0[B]\nfile=b.lua\n", 31));
    EXPECT_EQ(ScriptCount, 1);
    EXPECT_EQ(FileCount, 1);
}

TEST(Catalog, ATextWithoutValidSectionsLeavesTheTablesEmpty) {
    Parse("[A]\nfile=a\n");
    Parse("just text\n[unclosed\nfile=x\n");
    EXPECT_EQ(ScriptCount, 0);
    EXPECT_EQ(FileCount, 0);
    EXPECT_EQ(NotesLength, 0);
    EXPECT_EQ(NotesText[0], 0);
    Parse("");
    EXPECT_EQ(ScriptCount, 0);
}

TEST(Catalog, InvalidUtf8BecomesReplacementCharacters) {
    Parse("[Caf\xC3\xA9 \xFF]\nfile=\xE6\x97\xA5.lua\n");
    ASSERT_EQ(ScriptCount, 1);
    EXPECT_EQ(Name(0), u"Caf\u00E9 \uFFFD");
    EXPECT_EQ(PathOf(0), u"\u65E5.lua");
}

TEST(Catalog, ACarriageReturnAtTheStartOfALineStays) {
    Parse("[A]\n\rfile=x\n\r[B]\n");
    ASSERT_EQ(ScriptCount, 1);
    EXPECT_EQ(FileCount, 0);  // "\rfile" is not the key "file"
}
