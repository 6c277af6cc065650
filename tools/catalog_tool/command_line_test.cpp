// catalog-tool's command line: help, wrong arguments, and both commands
// through the same entry as the program.
#include "tools/catalog_tool/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/workers.h"
#include "tools/catalog_tool/tool_test_support.h"

TEST(CommandLine, HelpTellsBothCommandsAndTheExitCodes) {
    Report report(false);
    EXPECT_EQ(RunCatalogTool({u"--help"}, report), EXIT_OK);
    std::string help = ReportText(report);
    EXPECT_NE(help.find("catalog-tool make SERVER_FOLDER [--out FILE]"), std::string::npos) << help;
    EXPECT_NE(help.find("catalog-tool check SOURCE"), std::string::npos) << help;
    EXPECT_NE(help.find("Exit codes: 0"), std::string::npos) << help;
    EXPECT_EQ(report.Errors(), 0);
}

TEST(CommandLine, WrongArgumentsExitWithTwo) {
    const std::vector<std::vector<std::u16string>> wrong = {
        {},
        {u"publish"},
        {u"make"},
        {u"make", u"a", u"b"},
        {u"make", u"a", u"--out"},
        {u"make", u"a", u"--force"},
        {u"check"},
        {u"check", u"a", u"b"},
        {u"check", u"--all"},
    };
    for (const auto& arguments : wrong) {
        Report report(false);
        EXPECT_EQ(RunCatalogTool(arguments, report), EXIT_FAILED) << arguments.size();
        EXPECT_TRUE(HasFinding(report, SEVERITY_ERROR, FINDING_USAGE)) << ReportText(report);
    }
}

TEST(CommandLine, MakeAndCheckAFolderGivenWithEitherSlash) {
    TempFolder server;
    Publish(server.Path(), "S/lib/a.lua", "a");
    std::u16string forward = ProgramPathOf(server.Path());
    for (char16_t& c : forward) {
        if (c == u'\\') c = u'/';
    }
    Report made(false);
    EXPECT_EQ(RunCatalogTool({u"make", forward + u"/"}, made), EXIT_OK) << ReportText(made);
    EXPECT_NE(CatalogAt(server.Path()).find("file = lib/a.lua|" + Md5Hex("a")), std::string::npos);
    Report checked(false);
    EXPECT_EQ(RunCatalogTool({u"check", ProgramPathOf(server.Path())}, checked), EXIT_OK)
        << ReportText(checked);

    Publish(server.Path(), "S/lib/a.lua", "changed");
    Report changed(false);
    EXPECT_EQ(RunCatalogTool({u"check", forward}, changed), EXIT_PROBLEMS) << ReportText(changed);
}
