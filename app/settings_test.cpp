// Settings and paths against real updater.ini files on disk: the same
// expectations for the Windows profile calls and our own INI code.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "app/settings_test_hooks.h"
#include "app/text.h"
#include "app/unicode.h"
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

// The bytes of a text in UTF-16LE, after the mark.
std::string Utf16File(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// Whether the ANSI code page is Windows-1252, which the ANSI rows are written
// in: always on POSIX; on Windows the system's choice.
bool AnsiIsWestern() {
    char16_t unit = 0;
    return AnsiToUtf16("\xF6", 1, &unit, 1) == 1 && unit == u'\u00F6';
}

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
    std::string longFolder = "C:\\" + std::string(297, 'f');
    std::string longUrl = "http://h/" + std::string(1100, 'u');
    std::string longLast(100, 'n');
    Resolve("[updater]\nfolder=" + longFolder + "\nurl=" + longUrl + "\nlast=" + longLast + "\n");
    EXPECT_EQ(std::u16string(ScriptsFolder), u"C:\\" + Repeat(u'f', 256));
    EXPECT_EQ(TextLength(ServerUrl), 1023);
    EXPECT_EQ(std::u16string(ServerUrl), Utf16(longUrl.substr(0, 1023)));
    EXPECT_EQ(Last(), Repeat(u'n', 63));
}

TEST_F(SettingsTest, FirstOfTwoEqualKeysAndSectionsWins) {
    Resolve("[updater]\nurl=http://first/\nurl=http://second/\n[updater]\nfolder=other\n");
    EXPECT_EQ(std::u16string(ServerUrl), u"http://first/");
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
    EXPECT_EQ(IniText(), Utf16File(u"[updater]\r\nlast=First\r\n"));
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

// Every encoding an editor saves updater.ini in: the folder reads right, and
// writing `last` changes that line alone, in the file's own encoding.
TEST_F(SettingsTest, EachEncodingIsReadAndWrittenBackInItself) {
    const std::u16string joerg = Utf16("C:\\J\xC3\xB6rg M\xC3\xBCller Skripte");
    const std::u16string mueller = Utf16("M\xC3\xBCller");
    const std::u16string japanese = Utf16("\xE6\x97\xA5\xE6\x9C\xAC");
    const std::u16string unicodeText =
        u"[updater]\r\nfolder=" + joerg + u"\r\nlast=Old\r\n; end\r\n";
    const std::string ansiFolder = "folder=C:\\J\xF6rg M\xFCller Skripte";
    const std::string utf8Folder = "folder=C:\\J\xC3\xB6rg M\xC3\xBCller Skripte";
    const std::string mark = "\xEF\xBB\xBF";
    struct Case {
        const char* what;
        std::string before;
        std::u16string folder;
        std::u16string name;  // written as `last`
        std::string after;    // the file's bytes then; empty: as before, the name refused
        bool ansi;
    };
    const Case cases[] = {
        {"ANSI", "[updater]\r\n" + ansiFolder + "\r\nlast=Old\r\n; Gr\xFC\xDF\r\n", joerg, mueller,
         "[updater]\r\n" + ansiFolder + "\r\nlast=M\xFCller\r\n; Gr\xFC\xDF\r\n", true},
        {"ANSI, a name it cannot hold", "[updater]\n" + ansiFolder + "\nlast=Old\n", joerg,
         japanese, "", true},
        {"ANSI, its only letters in the old name", "[updater]\nlast=M\xFCller\n",
         folder.ProgramPath(), u"Plain", "[updater]\nlast=Plain\n", true},
        {"UTF-8", "[updater]\n" + utf8Folder + "\nlast=Old\n", joerg, japanese,
         "[updater]\n" + utf8Folder + "\nlast=\xE6\x97\xA5\xE6\x9C\xAC\n", false},
        {"UTF-8 with a mark", mark + "[updater]\n" + utf8Folder + "\n", joerg, mueller,
         mark + "[updater]\n" + utf8Folder + "\nlast=M\xC3\xBCller\n", false},
        {"UTF-8 with a mark and a damaged byte", mark + "[updater]\n" + utf8Folder + "\n;\xFF\n",
         joerg, mueller, "", false},
        {"ASCII, a name outside it", "[updater]\nfolder=C:\\S\n", u"C:\\S", mueller,
         "[updater]\nfolder=C:\\S\nlast=M\xC3\xBCller\n", false},
        {"UTF-16", Utf16File(unicodeText), joerg, japanese,
         Utf16File(u"[updater]\r\nfolder=" + joerg + u"\r\nlast=" + japanese + u"\r\n; end\r\n"),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.ansi && !AnsiIsWestern()) continue;  // the bytes mean other letters here
        Resolve(c.before);
        EXPECT_EQ(std::u16string(ScriptsFolder), c.folder);
        WriteLastScript(c.name.c_str());
        EXPECT_EQ(IniText(), c.after.empty() ? c.before : c.after);
        if (!c.after.empty()) {
            EXPECT_EQ(Last(), c.name);
        }
    }
}

// A relative folder is taken from the executable's folder, never from the
// current one; every row checks the folder and the folder address alike.
TEST_F(SettingsTest, RelativeFoldersAreTakenFromTheExecutablesFolder) {
    const std::u16string home = folder.ProgramPath();
    const std::u16string parent = home.substr(0, home.rfind(u'\\'));
    const std::u16string drive = home[1] == u':' ? home.substr(0, 2) : u"";
    const size_t room = 259 - home.size() - 1;  // after "<home>\"
    struct Case {
        std::string value;
        std::u16string expected;  // empty: no folder
    };
    const Case cases[] = {
        {"Scripts", home + u"\\Scripts"},
        {".\\Sub Dir\\", home + u"\\Sub Dir\\"},
        {"..\\Shared Scripts", parent + u"\\Shared Scripts"},
        {"a/b\\..\\.\\c", home + u"\\a\\c"},
        {"..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\x", drive + u"\\x"},
        {"\\Games\\Scripts", drive + u"\\Games\\Scripts"},
        {"C:\\Abs\\..\\Kept", u"C:\\Abs\\..\\Kept"},
        {"\\\\server\\share\\x", u"\\\\server\\share\\x"},
#ifdef _WIN32
        {"Q:rel\\x", u"Q:\\rel\\x"},  // from the drive's root, not its current folder
#endif
        {std::string(room, 'd'), home + u"\\" + Repeat(u'd', room)},
        {std::string(room + 1, 'd'), u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        Resolve("[updater]\nfolder=" + c.value + "\nurl=" + c.value + "\n");
        EXPECT_EQ(std::u16string(ScriptsFolder), c.expected);
        if (c.value.size() < room) {
            EXPECT_EQ(std::u16string(ServerUrl), c.expected);
        }
    }
    // Web addresses stay as written; a folder address must fit its 1023.
    Resolve("[updater]\nurl=HTTPS://h/../x\n");
    EXPECT_EQ(std::u16string(ServerUrl), u"HTTPS://h/../x");
    Resolve("[updater]\nurl=" + std::string(1023 - home.size(), 'u') + "\n");
    EXPECT_EQ(std::u16string(ServerUrl), u"");
    Resolve("[updater]\nurl=" + std::string(1022 - home.size(), 'u') + "\n");
    EXPECT_EQ(std::u16string(ServerUrl), home + u"\\" + Repeat(u'u', 1022 - home.size()));
}

// The system cuts a path that does not fit its buffer; a cut path would put
// updater.ini and the scripts folder in some parent folder.
TEST_F(SettingsTest, AnExecutablePathThatDoesNotFitReadsNoSettings) {
    SettingsSetExecutablePathCapacityForTests(8);
    LoadSettings();
    SettingsSetExecutablePathCapacityForTests(0);
    EXPECT_EQ(std::u16string(SettingsPath), u"");
    EXPECT_EQ(std::u16string(ScriptsFolder), u"");
    EXPECT_EQ(std::u16string(ServerUrl), std::u16string(DefaultServerUrl));

    LoadSettings();
    std::u16string path = SettingsPath;
    ASSERT_GT(path.size(), 12u);
    EXPECT_EQ(path.substr(path.size() - 12), u"\\updater.ini");
}
