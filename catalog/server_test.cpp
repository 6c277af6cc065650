// Addresses under ServerUrl: which texts are web addresses, and how a
// relative path is joined, escaped and cut.
#include "catalog/server.h"

#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "app/text.h"

namespace {

class ResourceAddress : public testing::Test {
protected:
    void SetUp() override { TextCopy(saved_, SERVER_URL_CAPACITY, ServerUrl); }
    void TearDown() override { TextCopy(ServerUrl, SERVER_URL_CAPACITY, saved_); }

    std::u16string Build(const std::u16string& server, const std::u16string& relative,
                         int capacity = 1400) {
        TextCopy(ServerUrl, SERVER_URL_CAPACITY, server.c_str());
        std::u16string buffer(static_cast<size_t>(capacity), u'#');
        BuildResourceAddress(&buffer[0], capacity, relative.c_str());
        return buffer.c_str();
    }

private:
    char16_t saved_[SERVER_URL_CAPACITY];
};

}  // namespace

TEST(IsWebAddress, KnowsHttpAndHttpsInAnyCaseAndNothingElse) {
    struct Case {
        const char16_t* text;
        bool web;
    };
    const Case cases[] = {
        {u"http://scripts.example/x", true},
        {u"HTTP://SCRIPTS.EXAMPLE", true},
        {u"https://scripts.example", true},
        {u"HtTpS://a", true},
        {u"http://", true},
        {u"https://", true},
        {u"", false},
        {u"http:/a", false},
        {u"https:/a", false},
        {u"http:\\\\a", false},
        {u"ftp://a", false},
        {u"httpx://a", false},
        {u" http://a", false},
        {u"http", false},
        {u"D:\\Scripts", false},
        {u"\\\\server\\share", false},
        {u"//server/share", false},
        {u"file://D:/x", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsWebAddress(c.text), c.web) << std::string(c.text, c.text + TextLength(c.text));
    }
    EXPECT_FALSE(IsWebAddress(nullptr));
}

TEST_F(ResourceAddress, DropsEveryTrailingSlashOfTheBase) {
    EXPECT_EQ(Build(u"HTTPS://Scripts.Example/Base///", u"scripts.txt"),
              u"HTTPS://Scripts.Example/Base/scripts.txt");
    EXPECT_EQ(Build(u"http://scripts.example/base/\\/", u"scripts.txt"),
              u"http://scripts.example/base/scripts.txt");
    EXPECT_EQ(Build(u"D:\\Server\\Scripts\\\\/", u"scripts.txt"),
              u"D:\\Server\\Scripts\\scripts.txt");
    EXPECT_EQ(Build(u"http://scripts.example", u"scripts.txt"),
              u"http://scripts.example/scripts.txt");
}

TEST_F(ResourceAddress, EscapesOnlySpaceHashPercentAndPlusUnderAWebBase) {
    EXPECT_EQ(Build(u"http://h/s", u"My Script/lib\\a b+c#d%e.lua"),
              u"http://h/s/My%20Script/lib/a%20b%2Bc%23d%25e.lua");
    // Nothing else is escaped: the query and fragment marks of a real path
    // name, letters outside ASCII, and the rest go as they are.
    EXPECT_EQ(Build(u"http://h/s", u"Caf\u00e9/?&=;~'!\u4e2d.txt"),
              u"http://h/s/Caf\u00e9/?&=;~'!\u4e2d.txt");
}

TEST_F(ResourceAddress, EscapesNothingAndUsesBackslashesUnderAFolderBase) {
    EXPECT_EQ(Build(u"D:\\Server\\Scripts", u"My Script/lib\\a b+c#d%e.lua"),
              u"D:\\Server\\Scripts\\My Script\\lib\\a b+c#d%e.lua");
    EXPECT_EQ(Build(u"//server/share/scripts/", u"My Script/a.lua"),
              u"//server/share/scripts\\My Script\\a.lua");
}

TEST_F(ResourceAddress, EmptyOrAllSlashBaseStartsWithTheSeparator) {
    EXPECT_EQ(Build(u"", u"scripts.txt"), u"\\scripts.txt");
    EXPECT_EQ(Build(u"///", u"My Script/a.lua"), u"\\My Script\\a.lua");
    EXPECT_EQ(Build(u"\\\\\\", u"scripts.txt"), u"\\scripts.txt");
    EXPECT_EQ(Build(u"", u""), u"\\");
}

TEST_F(ResourceAddress, CutsSilentlyWhenFewerThanFivePlacesAreLeft) {
    // "http://h/" is 9 units; with capacity 20 a character goes in only while
    // the length plus 4 is below 20, so the address stops at 16 units.
    EXPECT_EQ(Build(u"http://h", u"abcdefghijklmnop", 20), u"http://h/abcdefg");
    // An escape taken with 5 places left still fits with its terminator.
    EXPECT_EQ(Build(u"http://h", u"abcdef ghij", 20), u"http://h/abcdef%20");
    EXPECT_EQ(Build(u"D:\\S", u"abcdefghij", 10), u"D:\\S\\a");
    // The separator needs one place besides the terminator; the base is cut
    // like any copy.
    EXPECT_EQ(Build(u"http://h", u"scripts.txt", 10), u"http://h/");
    EXPECT_EQ(Build(u"http://h", u"scripts.txt", 9), u"http://h");
    EXPECT_EQ(Build(u"http://scripts.example/base", u"scripts.txt", 10), u"http://sc");
    EXPECT_EQ(Build(u"http://h", u"scripts.txt", 1), u"");
}

TEST_F(ResourceAddress, NeverWritesPastTheCapacity) {
    const int capacity = 24;
    const std::u16string base(SERVER_URL_CAPACITY - 1, u'a');
    for (const std::u16string& server : {std::u16string(u"http://") + base.substr(7), base,
                                         std::u16string(u"http://h"), std::u16string()}) {
        TextCopy(ServerUrl, SERVER_URL_CAPACITY, server.c_str());
        for (int room = 1; room <= capacity; ++room) {
            char16_t buffer[capacity + 8];
            for (char16_t& c : buffer) c = u'#';
            BuildResourceAddress(buffer, room, u"a b/c+d#e%f/gh ij");
            EXPECT_LT(TextLength(buffer), room);
            for (int i = room; i < capacity + 8; ++i) ASSERT_EQ(buffer[i], u'#') << room;
        }
    }
}
