// catalog-tool's signing: check --key judging a catalog as the updater
// would (both builds, signed by the tests' own signer), and, where the tool
// signs (POSIX), keygen and make --sign with a catalog the updater's check
// accepts and installs from.
#include "tools/catalog_tool/sign.h"

#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "app/shared_state.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/signing.h"
#include "catalog/trust_store.h"
#include "tests/support/signer.h"
#include "tests/support/workers.h"
#include "tools/catalog_tool/check.h"
#include "tools/catalog_tool/command_line.h"
#include "tools/catalog_tool/make.h"
#include "tools/catalog_tool/tool_test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

const std::string Content = "-- a\n";

std::string Line(const std::string& md5Of, const std::string& sha256Of) {
    return "file = a.lua|" + Md5Hex(md5Of) + "|" + Sha256Hex(sha256Of) + "\n";
}

class CheckKeyTest : public ::testing::Test {
public:
    void Sign(const TestSigner& signer, const std::string& catalog) {
        Publish(server.Path(), "scripts.txt", catalog);
        Publish(server.Path(), "scripts.txt.sig", signer.SignatureFile(catalog));
    }
    int Check(const std::string& key, Report& report) {
        return RunCheck(server.ProgramPath(), Utf16(key), report);
    }

    TempFolder server;
    TestSigner publisher;
};

}  // namespace

TEST_F(CheckKeyTest, SaysWhichPartFailed) {
    TestSigner stranger;
    const std::string good = "serial = 3\n[S]\n" + Line(Content, Content);
    struct Case {
        const char* what;
        std::string catalog;
        const TestSigner* signer;  // null: no signature file
        std::string fileContent;
        int exit;
        FindingKind kind;
    };
    const Case cases[] = {
        {"all well", good, &publisher, Content, EXIT_OK, FINDING_SUMMARY},
        {"no signature file", good, nullptr, Content, EXIT_PROBLEMS, FINDING_SIGNATURE},
        {"another key", good, &stranger, Content, EXIT_PROBLEMS, FINDING_SIGNATURE},
        {"file swapped", good, &publisher, "-- b\n", EXIT_PROBLEMS, FINDING_DIGEST_MISMATCH},
        {"no SHA-256", "serial = 3\n[S]\nfile = a.lua|" + Md5Hex(Content) + "\n", &publisher,
         Content, EXIT_PROBLEMS, FINDING_SIGNATURE},
        {"serial twice", "serial = 3\nserial = 4\n[S]\n" + Line(Content, Content), &publisher,
         Content, EXIT_PROBLEMS, FINDING_SIGNATURE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(server / "scripts.txt.sig");
        if (c.signer != nullptr) Sign(*c.signer, c.catalog);
        Publish(server.Path(), "scripts.txt", c.catalog);
        Publish(server.Path(), "S/a.lua", c.fileContent);
        Report report(false);
        EXPECT_EQ(Check(publisher.KeyText(), report), c.exit) << ReportText(report);
        if (c.exit != EXIT_OK) {
            EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, c.kind)) << ReportText(report);
        }
    }
    Report mistyped(false);
    EXPECT_EQ(Check("p256:nothing", mistyped), EXIT_FAILED);
}

#ifndef _WIN32

TEST(SignTool, KeygenMakeSignAndTheUpdaterInstalls) {
    TempFolder server, keys, scripts;
    Publish(server.Path(), "Tool/main.lua", Content);
    const std::u16string keyFile = keys.ProgramPath("publisher.pem");

    Report keygen(false);
    ASSERT_EQ(RunCatalogTool({u"keygen", keyFile}, keygen), EXIT_OK) << ReportText(keygen);
    struct stat info;
    ASSERT_EQ(stat((keys / "publisher.pem").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::string printed = ReportText(keygen);
    size_t at = printed.find("key=p256:");
    ASSERT_NE(at, std::string::npos) << printed;
    std::string key = printed.substr(at + 4, PUBLIC_KEY_TEXT_LENGTH);
    std::string pem = ReadFileBytes(keys / "publisher.pem");
    Report again(false);
    EXPECT_EQ(RunCatalogTool({u"keygen", keyFile}, again), EXIT_FAILED);
    EXPECT_EQ(ReadFileBytes(keys / "publisher.pem"), pem);  // never replaced

    // The serial goes up only when the catalog changes.
    const std::u16string folder = server.ProgramPath();
    const char* expectedSerials[] = {"serial = 1\n", "serial = 1\n", "serial = 2\n"};
    for (int run = 0; run < 3; ++run) {
        if (run == 2) Publish(server.Path(), "Tool/main.lua", "-- changed\n");
        Report make(false);
        ASSERT_EQ(RunCatalogTool({u"make", folder, u"--sign", keyFile}, make), EXIT_OK)
            << ReportText(make);
        EXPECT_EQ(CatalogAt(server.Path()).rfind(expectedSerials[run], 0), 0u);
        Report check(false);
        EXPECT_EQ(RunCheck(folder, Utf16(key), check), EXIT_OK) << ReportText(check);
    }
    EXPECT_NE(CatalogAt(server.Path()).find("|" + Sha256Hex("-- changed\n")), std::string::npos);

    BeginWorkerTest();
    UseFolders(scripts.ProgramPath(), folder);
    TextCopy(CatalogKeys, CATALOG_KEYS_CAPACITY, Utf16(key).c_str());
    EXPECT_EQ(RunCheck(),
              (std::vector<CapturedMessage>{{WM_APP_CHECK_DONE, CHECK_DONE_ARRIVED, 0}}));
    EXPECT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{WM_APP_DOWNLOAD_DONE, 1, 1}));
    EXPECT_EQ(ReadFileBytes(scripts / "Tool/main.lua"), "-- changed\n");
    EndWorkerTest();

    Report keyLine(false);
    ASSERT_EQ(RunCatalogTool({u"key", keyFile}, keyLine), EXIT_OK) << ReportText(keyLine);
    EXPECT_EQ(ReportText(keyLine), "key=" + key + "\n");
}

// The serial never falls back, not even with the catalog deleted, and never
// stands still on a change: a record beside the key keeps the highest.
TEST(SignTool, TheSerialNeverGoesBack) {
    TempFolder server, keys;
    Publish(server.Path(), "Tool/main.lua", Content);
    const std::u16string keyFile = keys.ProgramPath("k.pem");
    Report keygen(false);
    ASSERT_EQ(RunCatalogTool({u"keygen", keyFile}, keygen), EXIT_OK);
    const std::u16string folder = server.ProgramPath();
    const struct {
        const char* what;
        std::vector<std::u16string> extra;
        bool deleteCatalog;
        int exit;
        const char* serial;  // the catalog's first line afterwards
    } steps[] = {
        {"first", {}, false, EXIT_OK, "serial = 1\n"},
        {"catalog deleted", {}, true, EXIT_OK, "serial = 2\n"},
        {"--serial not higher", {u"--serial", u"2"}, false, EXIT_PROBLEMS, "serial = 2\n"},
        {"--serial higher", {u"--serial", u"40"}, false, EXIT_OK, "serial = 40\n"},
        {"nothing changed", {}, false, EXIT_OK, "serial = 40\n"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.deleteCatalog) fs::remove(server / "scripts.txt");
        std::vector<std::u16string> arguments = {u"make", folder, u"--sign", keyFile};
        arguments.insert(arguments.end(), step.extra.begin(), step.extra.end());
        Report make(false);
        EXPECT_EQ(RunCatalogTool(arguments, make), step.exit) << ReportText(make);
        EXPECT_EQ(CatalogAt(server.Path()).rfind(step.serial, 0), 0u) << CatalogAt(server.Path());
    }
    EXPECT_EQ(ReadFileBytes(keys / "k.pem.serial"), "serial = 40\n");
}

// A key move from the catalog: the old key signs a catalog that names the
// new one; an updater that trusts the old key follows and then takes what
// the new key signs.
TEST(SignTool, MakeNamesTheNextKeyAndTheUpdaterFollows) {
    TempFolder server, keys, program, scripts;
    setenv("XDG_DATA_HOME", keys.Path().c_str(), 1);  // the updater's local copy
    Publish(server.Path(), "Tool/main.lua", Content);
    const std::u16string oldKey = keys.ProgramPath("old.pem"), newKey = keys.ProgramPath("new.pem");
    Report keygen(false);
    ASSERT_EQ(RunCatalogTool({u"keygen", oldKey}, keygen), EXIT_OK);
    ASSERT_EQ(RunCatalogTool({u"keygen", newKey}, keygen), EXIT_OK);
    Report oldLine(false), newLine(false);
    ASSERT_EQ(RunCatalogTool({u"key", oldKey}, oldLine), EXIT_OK);
    ASSERT_EQ(RunCatalogTool({u"key", newKey}, newLine), EXIT_OK);
    std::string oldText = ReportText(oldLine).substr(4, PUBLIC_KEY_TEXT_LENGTH);
    std::string newText = ReportText(newLine).substr(4, PUBLIC_KEY_TEXT_LENGTH);
    const std::u16string folder = server.ProgramPath();

    Report named(false);
    ASSERT_EQ(RunCatalogTool({u"make", folder, u"--sign", oldKey, u"--next-key", newKey}, named),
              EXIT_OK)
        << ReportText(named);
    EXPECT_EQ(CatalogAt(server.Path()).rfind("serial = 1\nnextkey = " + newText + "\n", 0), 0u);

    WriteFileBytes(program / "updater.ini", "[updater]\nkey=" + oldText + "\n");
    BeginWorkerTest();
    ResolveSettings(program.ProgramPath("Updater.exe").c_str());
    UseFolders(scripts.ProgramPath(), folder);
    EXPECT_EQ(RunCheck(),
              (std::vector<CapturedMessage>{{WM_APP_CHECK_DONE, CHECK_DONE_ARRIVED, 0}}));
    RememberTrustedCatalog();
    EXPECT_NE(ReadFileBytes(program / "updater.ini").find("key=" + oldText + " " + newText),
              std::string::npos);

    Report moved(false);
    ASSERT_EQ(RunCatalogTool({u"make", folder, u"--sign", newKey}, moved), EXIT_OK)
        << ReportText(moved);
    EXPECT_EQ(CatalogAt(server.Path()).rfind("serial = 2\n", 0), 0u);
    EXPECT_EQ(CatalogAt(server.Path()).find("nextkey"), std::string::npos);  // the move is done
    ResolveSettings(program.ProgramPath("Updater.exe").c_str());
    UseFolders(scripts.ProgramPath(), folder);
    EXPECT_EQ(RunCheck(),
              (std::vector<CapturedMessage>{{WM_APP_CHECK_DONE, CHECK_DONE_ARRIVED, 0}}));
    EndWorkerTest();
}

#endif
