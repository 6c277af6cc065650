// Our own INI code: the exact bytes a rewrite leaves, the
// encodings it reads and keeps, and that a write never leaves a partial or
// temporary file behind.
#include "app/ini_text.h"

#include <gtest/gtest.h>

#include <string>

#include "app/ini_file.h"
#include "tests/support/test_support.h"

namespace {

std::u16string Set(const std::u16string& text, const char16_t* key, const char16_t* value) {
    return IniSetValue(text, u"updater", key, value);
}

}  // namespace

TEST(IniText, RewritesOnlyTheKeysLine) {
    EXPECT_EQ(Set(u"[a]\r\nx=1\r\n[Updater]\r\n  LAST = old  \r\nurl=u\r\n", u"last", u"new"),
              u"[a]\r\nx=1\r\n[Updater]\r\nLAST=new\r\nurl=u\r\n");
}

TEST(IniText, AddsAKeyAfterTheSectionsLastLine) {
    EXPECT_EQ(Set(u"[updater]\nurl=u\n\n[b]\ny=2\n", u"last", u"n"),
              u"[updater]\nurl=u\nlast=n\n\n[b]\ny=2\n");
    EXPECT_EQ(Set(u"[updater]\r\nurl=u", u"last", u"n"), u"[updater]\r\nurl=u\r\nlast=n\r\n");
    // A file that ends in a lone carriage return still gets its own line.
    EXPECT_EQ(Set(u"[updater]\r\nurl=u\r", u"last", u"n"), u"[updater]\r\nurl=u\r\r\nlast=n\r\n");
}

TEST(IniText, AddsTheSectionAtTheEnd) {
    EXPECT_EQ(Set(u"", u"last", u"n"), u"[updater]\r\nlast=n\r\n");
    EXPECT_EQ(Set(u"[b]\ny=2", u"last", u"n"), u"[b]\ny=2\n[updater]\nlast=n\n");
}

TEST(IniText, FindsTheFirstMatchingSectionAndKey) {
    std::u16string value;
    std::u16string text = u"last=outside\n[UPDATER]\n;last=comment\nLast=\"one\"\nlast=two\n";
    ASSERT_TRUE(IniFindValue(text, u"updater", u"last", &value));
    EXPECT_EQ(value, u"one");
    EXPECT_FALSE(IniFindValue(text, u"updater", u"url", &value));
    EXPECT_FALSE(IniFindValue(text, u"other", u"last", &value));
    ASSERT_TRUE(IniFindValue(u"[updater]\nurl=\n", u"updater", u"url", &value));
    EXPECT_EQ(value, u"");
}

TEST(IniText, DecodesAndKeepsEachEncoding) {
    IniEncoding encoding;
    EXPECT_EQ(IniDecode("\xEF\xBB\xBF[u]\n", &encoding), u"[u]\n");
    EXPECT_EQ(encoding, IniUtf8WithMark);
    EXPECT_EQ(IniEncode(u"[u]\n", encoding), "\xEF\xBB\xBF[u]\n");
    EXPECT_EQ(IniDecode(std::string("\xFF\xFE[\0u\0]\0", 8), &encoding), u"[u]");
    EXPECT_EQ(encoding, IniUtf16WithMark);
    EXPECT_EQ(IniEncode(u"[u]", encoding), std::string("\xFF\xFE[\0u\0]\0", 8));
    EXPECT_EQ(IniDecode("caf\xC3\xA9", &encoding), u"caf\u00E9");
    EXPECT_EQ(encoding, IniUtf8);
}

TEST(IniText, AZeroByteInADamagedFileDoesNotCutARewrite) {
    IniEncoding encoding;
    std::string bytes("[updater]\nurl=u\n\0junk\n[keep]\nk=1\n", 33);
    std::u16string text = Set(IniDecode(bytes, &encoding), u"last", u"n");
    EXPECT_EQ(IniEncode(text, encoding),
              std::string("[updater]\nurl=u\n\0junk\nlast=n\n[keep]\nk=1\n", 40));
}

TEST(IniFile, AWriteReplacesTheFileWholeAndLeavesNothingElse) {
    TempFolder folder;
    WriteFileBytes(folder / "updater.ini", "\xEF\xBB\xBF[updater]\nurl=u\n");
    std::u16string file = folder.ProgramPath("updater.ini");
    ASSERT_TRUE(WriteIniString(u"updater", u"last", u"n", file.c_str()));
    EXPECT_EQ(ReadFileBytes(folder / "updater.ini"), "\xEF\xBB\xBF[updater]\nurl=u\nlast=n\n");
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(folder.Path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(IniFile, AFolderInPlaceOfTheFileIsNotReplaced) {
    TempFolder folder;
    fs::create_directory(folder / "updater.ini");
    std::u16string file = folder.ProgramPath("updater.ini");
    EXPECT_FALSE(WriteIniString(u"updater", u"last", u"n", file.c_str()));
    EXPECT_TRUE(fs::is_directory(folder / "updater.ini"));
    char16_t value[16];
    ReadIniString(u"updater", u"last", u"fallback", value, 16, file.c_str());
    EXPECT_EQ(std::u16string(value), u"fallback");
}

TEST(IniFile, ReadsAUtf16File) {
    TempFolder folder;
    std::u16string text = u"[updater]\r\nfolder=C:\\Sk\u00E9\r\n";
    WriteFileBytes(folder / "updater.ini", IniEncode(text, IniUtf16WithMark));
    std::u16string file = folder.ProgramPath("updater.ini");
    char16_t value[32];
    ReadIniString(u"updater", u"folder", u"", value, 32, file.c_str());
    EXPECT_EQ(std::u16string(value), u"C:\\Sk\u00E9");
}
