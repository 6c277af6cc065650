// Signed catalogs end to end: the check verifies scripts.txt against its
// signature and the serial, and the download worker holds every file to its
// SHA-256. Keys are made for each test and never stored.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "app/shared_state.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/signing.h"
#include "catalog/trust_store.h"
#include "tests/support/servers.h"
#include "tests/support/signer.h"
#include "tests/support/workers.h"

namespace {

const CapturedMessage Arrived = {WM_APP_CHECK_DONE, CHECK_DONE_ARRIVED, 0};
const CapturedMessage NotVerified = {WM_APP_CHECK_DONE, CHECK_DONE_NOT_VERIFIED, 0};
const CapturedMessage Older = {WM_APP_CHECK_DONE, CHECK_DONE_OLDER, 0};

const char MainContent[] = "-- main, as published\n";
const char SwappedContent[] = "-- main, as an attacker would have it\n";

// A file line of a signed catalog: path, MD5 and SHA-256 of the content.
std::string SignedLine(const std::string& path, const std::string& md5Of,
                       const std::string& sha256Of) {
    return "file=" + path + "|" + Md5Hex(md5Of) + "|" + Sha256Hex(sha256Of) + "\n";
}

// Public, for the table of spoilt catalogs.
class SignedCatalogTest : public ::testing::Test {
public:
    void SetUp() override {
        BeginWorkerTest();
        UseFolders(scripts.ProgramPath(), server.ProgramPath());
        WriteFileBytes(server / "Tool/main.lua", MainContent);
    }
    void TearDown() override { EndWorkerTest(); }

    void TrustKeys(const std::string& text) {
        TextCopy(CatalogKeys, CATALOG_KEYS_CAPACITY, Utf16(text).c_str());
    }

    // The catalog of one script with one file, signed by signer.
    std::string Publish(const TestSigner& signer, int serial, const std::string& line) {
        std::string catalog = "serial = " + std::to_string(serial) + "\n[Tool]\nversion=1\n" + line;
        WriteFileBytes(server / "scripts.txt", catalog);
        WriteFileBytes(server / "scripts.txt.sig", signer.SignatureFile(catalog));
        return catalog;
    }
    std::string PublishMain(const TestSigner& signer, int serial = 1) {
        return Publish(signer, serial, SignedLine("main.lua", MainContent, MainContent));
    }

    TempFolder server;
    TempFolder scripts;
    TestSigner publisher;
};

}  // namespace

TEST_F(SignedCatalogTest, ASignedCatalogInstalls) {
    TrustKeys(publisher.KeyText());
    PublishMain(publisher, 5);
    ASSERT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
    EXPECT_TRUE(CatalogSigned);
    EXPECT_EQ(CatalogSerial, 5u);
    ASSERT_EQ(ScriptCount, 1);
    EXPECT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{WM_APP_DOWNLOAD_DONE, 1, 1}));
    EXPECT_EQ(ReadFileBytes(scripts / "Tool/main.lua"), MainContent);
}

TEST_F(SignedCatalogTest, ACatalogNotSignedWithTheKeyIsNotUsed) {
    TestSigner stranger;
    struct Case {
        const char* what;
        void (*spoil)(SignedCatalogTest& test, TestSigner& stranger);
    };
    const Case cases[] = {
        {"one byte of scripts.txt changed",
         [](SignedCatalogTest& t, TestSigner&) {
             std::string catalog = t.PublishMain(t.publisher);
             catalog[catalog.size() - 3] ^= 0x20;
             WriteFileBytes(t.server / "scripts.txt", catalog);
         }},
        {"no scripts.txt.sig",
         [](SignedCatalogTest& t, TestSigner&) {
             t.PublishMain(t.publisher);
             fs::remove(t.server / "scripts.txt.sig");
         }},
        {"signed by another key", [](SignedCatalogTest& t, TestSigner& s) { t.PublishMain(s); }},
        {"signature file not a signature",
         [](SignedCatalogTest& t, TestSigner&) {
             t.PublishMain(t.publisher);
             WriteFileBytes(t.server / "scripts.txt.sig", "<html>Not found</html>\n");
         }},
        {"key= of separators only, as two empty deploy variables write it",
         [](SignedCatalogTest& t, TestSigner&) {
             t.PublishMain(t.publisher);
             t.TrustKeys(" , ,");
         }},
        {"key in updater.ini mistyped",
         [](SignedCatalogTest& t, TestSigner&) {
             t.PublishMain(t.publisher);
             t.TrustKeys(t.publisher.KeyText() + "x");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrustKeys(publisher.KeyText());
        c.spoil(*this, stranger);
        EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{NotVerified});
        EXPECT_EQ(ScriptCount, 0);
        EXPECT_EQ(FileCount, 0);
        EXPECT_FALSE(CatalogSigned);
    }
}

TEST_F(SignedCatalogTest, EitherOfTwoKeysIsAccepted) {
    TestSigner next;
    TrustKeys(publisher.KeyText() + ", " + next.KeyText());
    PublishMain(next);
    EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
    PublishMain(publisher);
    EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
    EXPECT_EQ(ScriptCount, 1);
}

TEST_F(SignedCatalogTest, AFileThatDiffersFromItsSha256IsNeverWritten) {
    // The catalog's MD5 matches the swapped file, as a forged MD5 collision
    // would; only the SHA-256 tells them apart. A signed line without a
    // SHA-256 fails the same way.
    const std::string lines[] = {
        SignedLine("main.lua", SwappedContent, MainContent),
        "file=main.lua|" + Md5Hex(SwappedContent) + "\n",
    };
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        TrustKeys(publisher.KeyText());
        Publish(publisher, 1, line);
        WriteFileBytes(server / "Tool/main.lua", SwappedContent);
        ASSERT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
        EXPECT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{WM_APP_DOWNLOAD_DONE, 0, 0}));
        EXPECT_EQ(std::u16string(NoticeText),
                  u"Could not download main.lua.\r\nCheck your internet and press Download again.");
        EXPECT_FALSE(fs::exists(scripts / "Tool/main.lua"));
        EXPECT_FALSE(fs::exists(scripts / "Tool/main.lua.new"));
    }
}

TEST_F(SignedCatalogTest, AnUnsignedCatalogIgnoresTheThirdField) {
    const std::string catalog = "[Tool]\n" + SignedLine("main.lua", MainContent, "something else");
    WriteFileBytes(server / "scripts.txt", catalog);
    ASSERT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
    EXPECT_FALSE(CatalogSigned);
    EXPECT_EQ(LastMessage(RunDownload(0)), (CapturedMessage{WM_APP_DOWNLOAD_DONE, 1, 1}));
}

TEST_F(SignedCatalogTest, ALowerSerialAfterAHigherOneIsRefused) {
    TrustKeys(publisher.KeyText());
    PublishMain(publisher, 8);
    ASSERT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
    RememberAcceptedSerial(CatalogSerial);  // as the window does
    EXPECT_EQ(AcceptedSerial, 8u);
    ClearCatalog();

    PublishMain(publisher, 7);
    EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{Older});
    EXPECT_EQ(ScriptCount, 0);
    // Without a serial line a signed catalog counts as serial 0.
    std::string catalog = "[Tool]\n" + SignedLine("main.lua", MainContent, MainContent);
    WriteFileBytes(server / "scripts.txt", catalog);
    WriteFileBytes(server / "scripts.txt.sig", publisher.SignatureFile(catalog));
    EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{Older});

    PublishMain(publisher, 8);  // the same catalog on the next start
    EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
}

// ---- a key move, and what the updater remembers ----

// The updater as it starts: updater.ini in its own folder, then the check.
class KeyMoveTest : public SignedCatalogTest {
public:
    void SetUp() override {
        SignedCatalogTest::SetUp();
#ifndef _WIN32
        setenv("XDG_DATA_HOME", program.Path().c_str(), 1);
#endif
    }
    void Start(const std::string& ini) {
        WriteFileBytes(program / "updater.ini", ini);
        Restart();
    }
    void Restart() {
        ResolveSettings(program.ProgramPath("Updater.exe").c_str());
        UseFolders(scripts.ProgramPath(), server.ProgramPath());
    }
    // Publishes a catalog with a nextkey line, signed by signer.
    void PublishNaming(const TestSigner& signer, int serial, const TestSigner& next) {
        std::string catalog = "serial = " + std::to_string(serial) +
                              "\nnextkey = " + next.KeyText() + "\n[Tool]\nversion=1\n" +
                              SignedLine("main.lua", MainContent, MainContent);
        WriteFileBytes(server / "scripts.txt", catalog);
        WriteFileBytes(server / "scripts.txt.sig", signer.SignatureFile(catalog));
    }
    std::string Ini() {
        return ReadFileBytes(program / "updater.ini");
    }

    TempFolder program;
    TestSigner next;
};

TEST_F(KeyMoveTest, OldUsersFollowTheCatalogToTheNextKey) {
    TestSigner stranger;
    const std::string ini = "[updater]\r\nkey=" + publisher.KeyText() + "\r\n";
    // Neither a catalog signed by another key nor an unsigned one changes
    // the keys, whatever it names.
    const struct {
        const char* what;
        const TestSigner* signer;  // null: no signature file
    } forged[] = {{"signed by another key", &stranger}, {"not signed", nullptr}};
    for (const auto& c : forged) {
        SCOPED_TRACE(c.what);
        Start(ini);
        PublishNaming(c.signer != nullptr ? *c.signer : publisher, 3, stranger);
        if (c.signer == nullptr) fs::remove(server / "scripts.txt.sig");
        EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{NotVerified});
        EXPECT_EQ(std::u16string(CatalogKeysLearned), u"");
        RememberTrustedCatalog();
        EXPECT_EQ(Ini(), ini);
    }
    Start(ini);
    PublishNaming(publisher, 3, next);
    ASSERT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
    RememberTrustedCatalog();
    EXPECT_NE(Ini().find("key=" + publisher.KeyText() + " " + next.KeyText()), std::string::npos)
        << Ini();
    EXPECT_NE(Ini().find("serial=3"), std::string::npos) << Ini();
    // The next start takes what the new key signs, and only that.
    Restart();
    PublishMain(next, 4);
    EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
    PublishMain(stranger, 5);
    EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{NotVerified});
}

// A read-only updater.ini (a copy under Program Files) keeps its old serial
// and keys; the local copy remembers what the catalogs taught.
TEST_F(KeyMoveTest, ALocalCopyRemembersWhatAReadOnlyUpdaterIniCannot) {
    const std::string ini = "[updater]\r\nkey=" + publisher.KeyText() + "\r\nserial=5\r\n";
    Start(ini);
    fs::permissions(program / "updater.ini", fs::perms::owner_read | fs::perms::group_read);
    PublishNaming(publisher, 7, next);
    ASSERT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
    RememberTrustedCatalog();  // no error shown, whichever write fails
    // However the write went, the next start reads the old file.
    fs::permissions(program / "updater.ini", fs::perms::owner_all);
    Start(ini);
    EXPECT_EQ(AcceptedSerial, 5u);
    PublishMain(publisher, 6);
    EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{Older});
    PublishMain(next, 8);
    EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
    // A key shipped in updater.ini on purpose wins over the learned ones.
    Start("[updater]\r\nkey=" + publisher.KeyText() + ",\r\nserial=5\r\n");
    EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{NotVerified});
}

// ---- what goes over the wire ----

class SignedCatalogRequests : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        BeginWorkerTest();
        UseFolders(scripts.ProgramPath(), FaultUrl("/file/" + Tag()));
        fs::path www = WwwFolder();
        catalog = "serial = 1\n[Tool]\n" + SignedLine("main.lua", MainContent, MainContent);
        WriteFileBytes(www / "scripts.txt", catalog);
        WriteFileBytes(www / "scripts.txt.sig", publisher.SignatureFile(catalog));
    }
    void TearDown() override {
        EndWorkerTest();
        ServerTest::TearDown();
    }
    std::vector<std::string> RequestedPaths() {
        std::vector<std::string> paths;
        for (const FaultRequest& request : FaultRequestsWith(servers_, Tag())) {
            paths.push_back(request.path);
        }
        return paths;
    }

    TempFolder scripts;
    TestSigner publisher;
    std::string catalog;
};

TEST_F(SignedCatalogRequests, WithoutAKeyOnlyTheCatalogIsAskedFor) {
    ASSERT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
    EXPECT_EQ(RequestedPaths(), std::vector<std::string>{"/file/" + Tag() + "/scripts.txt"});
}

TEST_F(SignedCatalogRequests, WithAKeyTheSignatureFollowsTheCatalog) {
    TextCopy(CatalogKeys, CATALOG_KEYS_CAPACITY, Utf16(publisher.KeyText()).c_str());
    ASSERT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
    EXPECT_EQ(RequestedPaths(), (std::vector<std::string>{"/file/" + Tag() + "/scripts.txt",
                                                          "/file/" + Tag() + "/scripts.txt.sig"}));
}

// A proxy may send the catalog without a length (or re-chunk it): only its
// signature then proves it whole, so only with a key is it taken.
TEST_F(SignedCatalogRequests, ACatalogWithoutALengthIsTakenOnlyWhenSigned) {
    UseFolders(scripts.ProgramPath(), FaultUrl("/unframed/" + Tag()));
    const CapturedMessage Unreachable = {WM_APP_CHECK_DONE, CHECK_DONE_UNREACHABLE, 0};
    EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{Unreachable});
    TextCopy(CatalogKeys, CATALOG_KEYS_CAPACITY, Utf16(publisher.KeyText()).c_str());
    EXPECT_EQ(RunCheck(), std::vector<CapturedMessage>{Arrived});
}
