// UTF-8 to UTF-16 and back: the POSIX converter must give exactly what the
// Windows converter gives, so both builds run these same expectations.
#include "app/unicode.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

std::u16string Convert(const std::string& bytes) {
    int count = Utf8ToUtf16(bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string text(static_cast<size_t>(count), u'\0');
    if (count > 0) Utf8ToUtf16(bytes.data(), static_cast<int>(bytes.size()), &text[0], count);
    return text;
}

struct Case {
    const char* what;
    std::string bytes;
    std::u16string units;
    // Wine's converter (our Windows test bed, not Windows itself) takes the
    // first continuation byte into the subpart of an overlong form, an
    // encoded surrogate or a value above U+10FFFF, and so gives one U+FFFD
    // fewer there.
    bool wineFoldsOneMore = false;
};

bool AllReplacement(const std::u16string& text) {
    for (char16_t unit : text) {
        if (unit != 0xFFFD) return false;
    }
    return !text.empty();
}

}  // namespace

TEST(Utf8ToUtf16, DecodesWellFormedText) {
    const Case cases[] = {
        {"ascii", "Script", u"Script"},
        {"two bytes", "\xC3\xA9", u"\u00E9"},
        {"three bytes", "\xE6\x97\xA5", u"\u65E5"},
        {"four bytes become a surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"byte-order mark is kept", "\xEF\xBB\xBF" "a", u"\uFEFFa"},
    };
    for (const Case& c : cases) EXPECT_EQ(Convert(c.bytes), c.units) << c.what;
}

TEST(Utf8ToUtf16, ReplacesEachMaximalInvalidSubpartWithOneReplacementCharacter) {
    const Case cases[] = {
        {"lone continuation", "a\x80" "b", u"a\uFFFDb"},
        {"two continuations", "\x80\xBF", u"\uFFFD\uFFFD"},
        {"never-valid bytes", "\xC0\xC1\xF5\xFF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"overlong two-byte form", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"overlong three-byte form", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD", true},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", true},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", true},
        {"truncated three-byte form then ascii", "\xE6\x97" "a", u"\uFFFDa"},
        {"truncated four-byte form then ascii", "\xF0\x9F\x98" "a", u"\uFFFDa"},
        {"lead followed by a lead", "\xC3\xC3\xA9", u"\uFFFD\u00E9"},
    };
    for (const Case& c : cases) {
        std::u16string converted = Convert(c.bytes);
        if (c.wineFoldsOneMore && RunningUnderWine()) {
            EXPECT_TRUE(AllReplacement(converted)) << c.what;
            EXPECT_EQ(converted.size(), c.units.size() - 1) << c.what;
        } else {
            EXPECT_EQ(converted, c.units) << c.what;
        }
    }
}

TEST(Utf8ToUtf16, WithMinusOneCountsTheTerminatorAndStopsAtTheFirstZero) {
    const char bytes[] = "ab\0cd";
    EXPECT_EQ(Utf8ToUtf16(bytes, -1, nullptr, 0), 3);
    char16_t buffer[8] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(Utf8ToUtf16(bytes, -1, buffer, 8), 3);
    EXPECT_EQ(std::u16string(buffer), u"ab");
    EXPECT_EQ(Utf8ToUtf16("", -1, nullptr, 0), 1);
}

TEST(Utf8ToUtf16, FailsWhenTheTargetIsTooSmall) {
    char16_t buffer[2];
    EXPECT_EQ(Utf8ToUtf16("abc", -1, buffer, 2), 0);
}

TEST(Utf16ToUtf8, EncodesAndReplacesLoneSurrogates) {
    char buffer[32];
    EXPECT_EQ(Utf16ToUtf8(u"a\u00E9\U0001F600", buffer, 32), 8);
    EXPECT_EQ(std::string(buffer), "a\xC3\xA9\xF0\x9F\x98\x80");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(Utf16ToUtf8(lone, nullptr, 0), 6);
    Utf16ToUtf8(lone, buffer, 32);
    EXPECT_EQ(std::string(buffer), "a\xEF\xBF\xBD" "b");
}
