// Fixed-buffer texts: cuts at capacity - 1, termination, and the formatter.
#include "app/text.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

TEST(TextCopy, CutsAtCapacityMinusOneAndTerminates) {
    char16_t buffer[6];
    EXPECT_EQ(TextCopy(buffer, 6, u"abcdefgh"), 5);
    EXPECT_EQ(std::u16string(buffer), u"abcde");
    EXPECT_EQ(TextCopy(buffer, 6, u"ab"), 2);
    EXPECT_EQ(std::u16string(buffer), u"ab");
    EXPECT_EQ(TextCopy(buffer, 1, u"ab"), 0);
    EXPECT_EQ(buffer[0], 0);
}

TEST(TextCopy, CountStopsEarlyAndAppendKeepsWhatIsThere) {
    char16_t buffer[8];
    EXPECT_EQ(TextCopyCount(buffer, 8, u"abcdef", 3), 3);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(TextAppend(buffer, 8, u"defgh"), 7);
    EXPECT_EQ(std::u16string(buffer), u"abcdefg");
    EXPECT_EQ(TextAppend(buffer, 8, u"xyz"), 7);
    EXPECT_EQ(std::u16string(buffer), u"abcdefg");
}

TEST(TextCopy, CutCanSplitASurrogatePairAtTheSameUnitOnEveryBuild) {
    // U+1F600 is two UTF-16 units; a cut keeps units, not characters.
    char16_t buffer[3];
    TextCopy(buffer, 3, u"a\U0001F600");
    EXPECT_EQ(buffer[0], u'a');
    EXPECT_EQ(buffer[1], 0xD83D);
    EXPECT_EQ(buffer[2], 0);
}

TEST(TextFormat, FormatsEveryConversionTheProgramUses) {
    char16_t buffer[100];
    EXPECT_EQ(TextFormat(buffer, 100, u"%d / %d files", 2, 10), 12);
    EXPECT_EQ(std::u16string(buffer), u"2 / 10 files");
    TextFormat(buffer, 100, u"%02X%02X%02X", 0, 0xAB, 7);
    EXPECT_EQ(std::u16string(buffer), u"00AB07");
    TextFormat(buffer, 100, u"%%%02X", 0x2B);
    EXPECT_EQ(std::u16string(buffer), u"%2B");
    TextFormat(buffer, 100, u"%s\\%s\\%s", u"C:\\S", u"name", u"lib/x.lua");
    EXPECT_EQ(std::u16string(buffer), u"C:\\S\\name\\lib/x.lua");
    TextFormat(buffer, 100, u"%d|%d|%u|%x", -42, 0, 4000000000u, 255);
    EXPECT_EQ(std::u16string(buffer), u"-42|0|4000000000|ff");
    TextFormat(buffer, 100, u"[%s]", static_cast<const char16_t*>(nullptr));
    EXPECT_EQ(std::u16string(buffer), u"[]");
}

TEST(TextFormat, CutsAtCapacityMinusOne) {
    char16_t buffer[10];
    EXPECT_EQ(TextFormat(buffer, 10, u"Done - %s is up to date.", u"Script"), 9);
    EXPECT_EQ(std::u16string(buffer), u"Done - Sc");
    EXPECT_EQ(TextFormat(buffer, 4, u"%d", 123456), 3);
    EXPECT_EQ(std::u16string(buffer), u"123");
}

TEST(TextCompare, IgnoresCaseOfAsciiLettersOnly) {
    EXPECT_EQ(TextCompareNoCase(u"VeRsIoN", u"version"), 0);
    EXPECT_NE(TextCompareNoCase(u"version", u"versions"), 0);
    EXPECT_NE(TextCompareNoCase(u"\u00C4", u"\u00E4"), 0);
    EXPECT_LT(TextCompareNoCase(u"a", u"B"), 0);
    EXPECT_EQ(TextCompareNoCaseCount(u"HTTP://x", u"http://y", 7), 0);
    EXPECT_NE(TextCompareNoCaseCount(u"http:/", u"http://", 7), 0);
    EXPECT_TRUE(TextEqual(u"Name", u"Name"));
    EXPECT_FALSE(TextEqual(u"Name", u"name"));
}

TEST(TextSearch, FindsCharactersAndRuns) {
    char16_t text[] = u"a/b/c";
    EXPECT_EQ(TextFindChar(text, u'/'), text + 1);
    EXPECT_EQ(TextFindLastChar(text, u'/'), text + 3);
    EXPECT_EQ(TextFindChar(text, u'x'), nullptr);
    EXPECT_TRUE(TextContains(u"a..b", u".."));
    EXPECT_FALSE(TextContains(u"a.b.", u".."));
    TextReplaceChar(text, u'/', u'\\');
    EXPECT_EQ(std::u16string(text), u"a\\b\\c");
}

TEST(TrimSpaces, TrimsTheTwoEndsDifferently) {
    char16_t text[64] = u"  D:\\Games\\Scripts\t\r";
    EXPECT_EQ(TrimSpaces(text), 16);
    EXPECT_EQ(std::u16string(text), u"D:\\Games\\Scripts");

    char16_t carriageReturnFirst[] = u"\rvalue\n";
    EXPECT_EQ(TrimSpaces(carriageReturnFirst), 7);
    EXPECT_EQ(std::u16string(carriageReturnFirst), u"\rvalue\n");

    char16_t tabsInside[] = u"\t a\tb \t";
    EXPECT_EQ(TrimSpaces(tabsInside), 3);
    EXPECT_EQ(std::u16string(tabsInside), u"a\tb");
}

TEST(TrimSpaces, EmptyAndBlankTextsBecomeEmpty) {
    char16_t empty[] = u"";
    EXPECT_EQ(TrimSpaces(empty), 0);
    EXPECT_EQ(empty[0], 0);
    char16_t spaces[] = u"     ";
    EXPECT_EQ(TrimSpaces(spaces), 0);
    EXPECT_EQ(spaces[0], 0);
    char16_t mixed[] = u" \t \r";
    EXPECT_EQ(TrimSpaces(mixed), 0);
}
