// Settings and paths against real updater.ini files on disk: the same
// expectations for the Windows profile calls and our own INI code.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "app/text.h"
#include "tests/support/test_support.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    // Writes updater.ini beside a (pretend) executable in the folder and
    // resolves the settings for it.
    void Resolve(const std::string& ini) {
        WriteFileBytes(folder / "updater.ini", ini);
        ResolveSettings(Executable().c_str());
    }
    void ResolveWithoutFile() { ResolveSettings(Executable().c_str()); }
    std::u16string Executable() const { return folder.ProgramPath("Updater.exe"); }
    std::u16string Last() const {
        char16_t buffer[LAST_SCRIPT_CAPACITY];
        ReadLastScript(buffer);
        return buffer;
    }
    std::string IniText() const { return ReadFileBytes(folder / "updater.ini"); }

    TempFolder folder;
};

}  // namespace

TEST_F(SettingsTest, WithoutAFileEveryValueTakesItsDefault) {
    ResolveWithoutFile();
    EXPECT_EQ(std::u16string(SettingsPath), folder.ProgramPath("updater.ini"));
    EXPECT_EQ(std::u16string(ScriptsFolder), folder.ProgramPath());
    EXPECT_EQ(std::u16string(ServerUrl), std::u16string(DefaultServerUrl));
    EXPECT_EQ(Last(), u"");
}

TEST_F(SettingsTest, ReadsTrimmedValuesWithNamesInAnyCase) {
    Resolve("[UpDater]\r\nFOLDER =  D:\\Games\\Scripts \t\r\nUrl\t=\thttp://127.0.0.1:8080/s/  \r\n"
            "LAST = My Script \r\n");
    EXPECT_EQ(std::u16string(ScriptsFolder), u"D:\\Games\\Scripts");
    EXPECT_EQ(std::u16string(ServerUrl), u"http://127.0.0.1:8080/s/");
    EXPECT_EQ(Last(), u"My Script");
}

TEST_F(SettingsTest, BlankFolderMeansTheExecutablesFolder) {
    Resolve("[updater]\nfolder= \t \t\nurl=x\n");
    EXPECT_EQ(std::u16string(ScriptsFolder), folder.ProgramPath());
}

TEST_F(SettingsTest, EmptyUrlMeansNoServerButAMissingOneTheDefault) {
    Resolve("[updater]\nurl=\n");
    EXPECT_EQ(std::u16string(ServerUrl), u"");
    Resolve("[updater]\nurl=   \t\n");
    EXPECT_EQ(std::u16string(ServerUrl), u"");
    Resolve("[updater]\nfolder=x\n");
    EXPECT_EQ(std::u16string(ServerUrl), std::u16string(DefaultServerUrl));
    Resolve("[other]\nurl=http://elsewhere/\n");
    EXPECT_EQ(std::u16string(ServerUrl), std::u16string(DefaultServerUrl));
}

TEST_F(SettingsTest, PresentButEmptyLastIsEmpty) {
    Resolve("[updater]\nlast=\n");
    EXPECT_EQ(Last(), u"");
}

TEST_F(SettingsTest, LongValuesAreCutAtCapacityMinusOne) {
    std::string longFolder(300, 'f');
    std::string longUrl = "http://h/" + std::string(1100, 'u');
    std::string longLast(100, 'n');
    Resolve("[updater]\nfolder=" + longFolder + "\nurl=" + longUrl + "\nlast=" + longLast + "\n");
    EXPECT_EQ(std::u16string(ScriptsFolder), Repeat(u'f', 259));
    EXPECT_EQ(TextLength(ServerUrl), 1023);
    EXPECT_EQ(std::u16string(ServerUrl), Utf16(longUrl.substr(0, 1023)));
    EXPECT_EQ(Last(), Repeat(u'n', 63));
}

TEST_F(SettingsTest, FirstOfTwoEqualKeysAndSectionsWins) {
    Resolve("[updater]\nurl=first\nurl=second\n[updater]\nfolder=other\n");
    EXPECT_EQ(std::u16string(ServerUrl), u"first");
    EXPECT_EQ(std::u16string(ScriptsFolder), folder.ProgramPath());
}

TEST_F(SettingsTest, QuotedValuesLoseTheirQuotes) {
    Resolve("[updater]\nurl=\"http://q/\"\nlast='Quoted Name'\n");
    EXPECT_EQ(std::u16string(ServerUrl), u"http://q/");
    EXPECT_EQ(Last(), u"Quoted Name");
}

TEST_F(SettingsTest, WritingLastKeepsEveryOtherLine) {
    Resolve("; shipped settings\r\n[first]\r\na=1\r\n\r\n[updater]\r\nfolder=C:\\S\r\n"
            "url=http://x/\r\n\r\n[later]\r\nlast=not this one\r\n");
    WriteLastScript(u"Chosen");
    EXPECT_EQ(Last(), u"Chosen");
    std::string text = IniText();
    EXPECT_NE(text.find("; shipped settings"), std::string::npos);
    EXPECT_NE(text.find("[first]"), std::string::npos);
    EXPECT_NE(text.find("a=1"), std::string::npos);
    EXPECT_NE(text.find("folder=C:\\S"), std::string::npos);
    EXPECT_NE(text.find("url=http://x/"), std::string::npos);
    EXPECT_NE(text.find("last=not this one"), std::string::npos);
    EXPECT_LT(text.find("last=Chosen"), text.find("[later]"));
    EXPECT_GT(text.find("last=Chosen"), text.find("[updater]"));

    // Resolving again sees the other keys unchanged.
    ResolveSettings(Executable().c_str());
    EXPECT_EQ(std::u16string(ScriptsFolder), u"C:\\S");
    EXPECT_EQ(std::u16string(ServerUrl), u"http://x/");
}

TEST_F(SettingsTest, RewritingLastReplacesItsValue) {
    Resolve("[updater]\r\nlast=Old\r\nurl=http://x/\r\n");
    WriteLastScript(u"New");
    WriteLastScript(u"Newer");
    EXPECT_EQ(Last(), u"Newer");
    std::string text = IniText();
    EXPECT_EQ(text.find("Old"), std::string::npos);
    EXPECT_EQ(text.find("last="), text.rfind("last="));
    EXPECT_NE(text.find("url=http://x/"), std::string::npos);
}

TEST_F(SettingsTest, WritingLastCreatesAMissingFileAndSection) {
    ResolveWithoutFile();
    WriteLastScript(u"First");
    EXPECT_TRUE(fs::exists(folder / "updater.ini"));
    EXPECT_EQ(Last(), u"First");
    ResolveSettings(Executable().c_str());
    EXPECT_EQ(std::u16string(ServerUrl), std::u16string(DefaultServerUrl));

    Resolve("[other]\nkey=1\n");
    WriteLastScript(u"Second");
    EXPECT_EQ(Last(), u"Second");
    EXPECT_NE(IniText().find("key=1"), std::string::npos);
}

TEST_F(SettingsTest, NamesOutsideAsciiSurviveAFileTheProgramCreated) {
    ResolveWithoutFile();
    std::u16string name = Utf16("Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC");
    WriteLastScript(name.c_str());
    EXPECT_EQ(Last(), name);
}

TEST_F(SettingsTest, AFailedWriteIsIgnored) {
    ResolveSettings(folder.ProgramPath("missing folder\\Updater.exe").c_str());
    WriteLastScript(u"Anything");
    EXPECT_FALSE(fs::exists(folder / "missing folder"));
    EXPECT_EQ(Last(), u"");
}

TEST_F(SettingsTest, ATooLongSettingsPathReadsNothingAndWritesNothing) {
    // The executable's path fits, but its folder plus "\updater.ini" exceeds
    // 259 units: nothing may be read from or written to a cut path.
    std::u16string base = folder.ProgramPath() + u"\\";
    std::u16string longFolder = base + Repeat(u'd', 250 - base.size());
    ResolveSettings((longFolder + u"\\U.exe").c_str());
    EXPECT_EQ(SettingsPath[0], 0);
    EXPECT_EQ(std::u16string(ScriptsFolder), longFolder.substr(0, 259));
    EXPECT_EQ(std::u16string(ServerUrl), std::u16string(DefaultServerUrl));
    WriteLastScript(u"x");
    EXPECT_TRUE(fs::is_empty(folder.Path()));
}

TEST_F(SettingsTest, ANameWithALineBreakIsNeverWrittenAsLast) {
    Resolve("[updater]\r\nlast=Old\r\nurl=http://x/\r\n");
    for (const char16_t* name : {u"Payload\rfolder=C:\\Elsewhere", u"Payload\nfolder=C:\\Elsewhere",
                                 u"Payload\r\nurl=http://evil/"}) {
        WriteLastScript(name);
        EXPECT_EQ(Last(), u"Old");
        ResolveSettings(Executable().c_str());
        EXPECT_EQ(std::u16string(ScriptsFolder), folder.ProgramPath());
        EXPECT_EQ(std::u16string(ServerUrl), u"http://x/");
    }
    EXPECT_EQ(IniText().find("Payload"), std::string::npos);
}

TEST_F(SettingsTest, KeyAndSerialForSignedCatalogs) {
    Resolve("[updater]\r\nkey= p256:abc \r\nserial=12\r\n");
    EXPECT_EQ(std::u16string(CatalogKeys), u"p256:abc");
    EXPECT_EQ(AcceptedSerial, 12u);
    // Blank or absent: the key built in; a serial that is not a number: 0.
    for (const char* ini : {"[updater]\r\nkey=  \r\nserial=x1\r\n", "[updater]\r\n"}) {
        Resolve(ini);
        EXPECT_EQ(std::u16string(CatalogKeys), std::u16string(DefaultCatalogKeys));
        EXPECT_EQ(AcceptedSerial, 0u);
    }
    // Separators alone are not blank: they stay, and the check refuses them.
    Resolve("[updater]\r\nkey= , ,\r\n");
    EXPECT_EQ(std::u16string(CatalogKeys), u", ,");
    // Only a higher serial is stored, and it survives the next start.
    RememberAcceptedSerial(900000000000000001ull);
    RememberAcceptedSerial(5);
    ResolveSettings(Executable().c_str());
    EXPECT_EQ(AcceptedSerial, 900000000000000001ull);
    EXPECT_NE(IniText().find("serial=900000000000000001"), std::string::npos);
}
