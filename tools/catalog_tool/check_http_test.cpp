// catalog-tool check against the local test servers: a tree made with make
// and served by nginx over HTTP and HTTPS, files gone or changed after it,
// an address a server reads differently, an address the updater would cut,
// and a catalog that is not there.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/servers.h"
#include "tests/support/workers.h"
#include "tools/catalog_tool/check.h"
#include "tools/catalog_tool/make.h"
#include "tools/catalog_tool/tool_test_support.h"

namespace {

enum Scheme { HTTP, HTTPS };

class CheckOverWeb : public ServerTest {
protected:
    std::u16string Base(Scheme scheme) const {
        return scheme == HTTP ? HttpUrl("/" + Tag()) : HttpsUrl("/" + Tag() + "/");
    }
};

class CheckOverEachScheme : public CheckOverWeb, public testing::WithParamInterface<Scheme> {};

std::string SchemeName(const testing::TestParamInfo<Scheme>& info) {
    return info.param == HTTP ? "Http" : "Https";
}

}  // namespace

TEST_P(CheckOverEachScheme, MakeThenCheckRoundTripsOverTheWeb) {
    fs::path root = WwwFolder();
    Publish(root, "Auto Loot/main.lua", "-- main\n");
    Publish(root, "Auto Loot/lib/util/strings.lua", "-- strings\n");
    Publish(root, "Auto Loot/settings.ini", "volume=5\n");
    Publish(root, "Odd Names/with space+plus#hash%.lua", "-- escaped by the updater\n");
    Publish(root,
            "Caf\xC3\xA9/donn\xC3\xA9"
            "es.lua",
            "-- sent as UTF-8 escapes\n");
    Publish(root, "Odd Names/a&b.lua", "-- sent as it is\n");
    Publish(root, "scripts.txt", "[Auto Loot]\nkeep = settings.ini\n");
    Report made(false);
    ASSERT_EQ(MakeIn(root, made), EXIT_OK) << ReportText(made);

    Report report(false);
    EXPECT_EQ(RunCheck(Base(GetParam()), report), EXIT_OK) << ReportText(report);
    EXPECT_EQ(report.Errors(), 0) << ReportText(report);
    EXPECT_EQ(CountFindings(report, FINDING_FILE_MISSING), 0) << ReportText(report);
    // Served, but worth knowing: '&' goes out as it is, the letters outside
    // ASCII as escapes.
    EXPECT_EQ(CountFindings(report, FINDING_ADDRESS_RISK), 2) << ReportText(report);
}

INSTANTIATE_TEST_SUITE_P(Schemes, CheckOverEachScheme, testing::Values(HTTP, HTTPS), SchemeName);

TEST_F(CheckOverWeb, ReportsFilesGoneOrChangedAfterMake) {
    fs::path root = WwwFolder();
    Publish(root, "S/a.lua", "a");
    Publish(root, "S/b.lua", "b");
    Publish(root, "S/c.lua", "c");
    Report made(false);
    ASSERT_EQ(MakeIn(root, made), EXIT_OK) << ReportText(made);
    fs::remove(root / "S" / "b.lua");
    Publish(root, "S/c.lua", "changed");

    Report report(false);
    EXPECT_EQ(RunCheck(Base(HTTP), report), EXIT_PROBLEMS);
    // Under the comment, a blank line and [S]: a.lua, b.lua and c.lua.
    EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, FINDING_FILE_MISSING, 5)) << ReportText(report);
    EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, FINDING_DIGEST_MISMATCH, 6))
        << ReportText(report);
    EXPECT_EQ(report.Errors(), 2) << ReportText(report);
}

// The updater would send '?' as it is, and the server would answer for the
// path before it; but no Windows name holds '?', so the line is refused and
// nothing is fetched for it.
TEST_F(CheckOverWeb, RefusesAQuestionMarkThatWouldTurnThePathIntoAQuery) {
    fs::path root = WwwFolder();
    Publish(root, "S/a", "another file");
    Publish(root, "scripts.txt", "[S]\n" + FileLine("a?b.lua", "the file meant"));
    Report report(false);
    EXPECT_EQ(RunCheck(Base(HTTP), report), EXIT_PROBLEMS);
    EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, FINDING_REFUSED_PATH, 2)) << ReportText(report);
    EXPECT_EQ(CountFindings(report, FINDING_DIGEST_MISMATCH), 0) << ReportText(report);
}

// A base address padded with slashes to 1000 characters (nginx merges
// them) makes the escaped address of a file with a long name longer than
// the download worker's 1400 characters.
TEST_F(CheckOverWeb, ReportsAnAddressTheUpdaterWouldCut) {
    fs::path root = WwwFolder();
    std::string name(63, '%');      // 189 characters once escaped
    std::string longPath(80, '+');  // 240
    Publish(root, name + "/short.lua", "s");
    Publish(root, name + "/" + longPath, "p");
    Publish(root, "scripts.txt",
            "[" + name + "]\n" + FileLine("short.lua", "s") + FileLine(longPath, "p"));
    size_t padding = 1000 - HttpUrl("/" + Tag()).size();
    std::u16string base = HttpUrl(std::string(padding, '/') + "/" + Tag());
    Report report(false);
    EXPECT_EQ(RunCheck(base, report), EXIT_PROBLEMS) << ReportText(report);
    EXPECT_FALSE(HasFinding(report, SEVERITY_ERROR, FINDING_ADDRESS_CUT, 2)) << ReportText(report);
    EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, FINDING_ADDRESS_CUT, 3)) << ReportText(report);
    EXPECT_EQ(report.Errors(), 1) << ReportText(report);
}

TEST_F(CheckOverWeb, ACatalogThatCannotBeFetchedExitsWithTwo) {
    Report notFound(false);
    EXPECT_EQ(RunCheck(Base(HTTP), notFound), EXIT_FAILED);
    EXPECT_TRUE(HasFinding(notFound, SEVERITY_ERROR, FINDING_IO)) << ReportText(notFound);
    Report refused(false);
    EXPECT_EQ(RunCheck(FaultUrl("/status/500/" + Tag()), refused), EXIT_FAILED);
}
