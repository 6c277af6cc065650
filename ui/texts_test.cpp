// Details, summary and list texts: the details pane piece by piece and its
// limits, the summary line, the button table, the file list's rows, the
// choice of a script and one script's row, against the real controls of a
// main window that has no server (so no worker touches the tables).
#include "ui/texts.h"

#include <stdlib.h>

#include <string>

#include "app/shared_state.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/local_state.h"
#include "tests/ui_support/test_window.h"

namespace {

class TextsTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        UseServer(u"");
        ASSERT_NE(OpenMainWindow(), nullptr);
        NoticeText[0] = 0;  // the no-server notice of the creation
    }

    // Parses catalog text into the tables and gives the files these statuses.
    void LoadCatalog(const std::string& text, const std::vector<int>& statuses = {}) {
        ClearCatalog();
        char16_t* wide = ConvertCatalogText(text.c_str());
        ASSERT_NE(wide, nullptr);
        ParseCatalog(SkipByteOrderMark(wide));
        free(wide);
        for (size_t i = 0; i < statuses.size(); ++i) FileTable[i].status = statuses[i];
    }

    std::u16string Details() const { return DetailsText; }
};

std::string Repeated(char c, size_t count) {
    return std::string(count, c);
}

}  // namespace

TEST_F(TextsTest, LabelsAndColoursOfStatusesAndStates) {
    EXPECT_EQ(std::u16string(StatusLabels[FILE_STATUS_OK]), u"OK");
    EXPECT_EQ(std::u16string(StatusLabels[FILE_STATUS_NEW]), u"New");
    EXPECT_EQ(std::u16string(StatusLabels[FILE_STATUS_UPDATE]), u"Update");
    EXPECT_EQ(std::u16string(StatusLabels[FILE_STATUS_KEPT]), u"Kept");
    EXPECT_EQ(Colour(StatusColours[FILE_STATUS_OK]), RGB(90, 190, 110));
    EXPECT_EQ(Colour(StatusColours[FILE_STATUS_NEW]), RGB(110, 170, 240));
    EXPECT_EQ(Colour(StatusColours[FILE_STATUS_UPDATE]), RGB(235, 175, 70));
    EXPECT_EQ(Colour(StatusColours[FILE_STATUS_KEPT]), RGB(140, 140, 140));
    EXPECT_EQ(std::u16string(ScriptStateLabel(-1)), u"Not installed");
    EXPECT_EQ(std::u16string(ScriptStateLabel(0)), u"OK");
    EXPECT_EQ(std::u16string(ScriptStateLabel(3)), u"Update");
    EXPECT_EQ(Colour(ScriptStateColour(-1)), RGB(140, 140, 140));
    EXPECT_EQ(Colour(ScriptStateColour(0)), RGB(90, 190, 110));
    EXPECT_EQ(Colour(ScriptStateColour(1)), RGB(235, 175, 70));
}

TEST_F(TextsTest, DetailsOfAScriptWithOneUpdateReadLineByLine) {
    LoadCatalog(
        "[Example]\nversion = 1.4\ndesc = Does one useful thing.\nnote = Faster start.\n"
        "file = lib/main.lua|00\nfile = lib/extra.lua|00\n",
        {FILE_STATUS_OK, FILE_STATUS_UPDATE});
    SelectScript(0);
    std::u16string expected =
        u"Example\r\nDoes one useful thing.\r\n\r\n1 file to update:\r\n  lib/extra.lua\r\n"
        u"\r\nVersion: 1.4\r\n\r\nWhat's new:\r\n- Faster start.\r\n";
    EXPECT_EQ(Details(), expected);
    EXPECT_EQ(ControlText(ID_DETAILS), expected);
}

TEST_F(TextsTest, ANoticeStandsFirstWithABlankLineUnderIt) {
    LoadCatalog("[Example]\nfile = a.lua|00\n", {FILE_STATUS_UPDATE});
    SelectScript(0);
    TextCopy(NoticeText, NOTICE_TEXT_CAPACITY, u"Could not download a.lua.");
    UpdateDetailsText();
    EXPECT_EQ(Details(),
              u"Could not download a.lua.\r\n\r\nExample\r\n1 file to update:\r\n  a.lua\r\n");
}

TEST_F(TextsTest, StateLinesCountFilesAndScripts) {
    struct Case {
        std::vector<int> statuses;
        const char16_t* stateLine;
    };
    // Five files, the last two `keep` files: not installed counts all five.
    const Case cases[] = {
        {{FILE_STATUS_NEW, FILE_STATUS_NEW, FILE_STATUS_NEW, FILE_STATUS_KEPT, FILE_STATUS_KEPT},
         u"Not installed - 5 files to download.\r\n"},
        {{FILE_STATUS_OK, FILE_STATUS_OK, FILE_STATUS_OK, FILE_STATUS_KEPT, FILE_STATUS_KEPT},
         u"There is no updates.\r\n"},
        {{FILE_STATUS_OK, FILE_STATUS_UPDATE, FILE_STATUS_OK, FILE_STATUS_KEPT, FILE_STATUS_KEPT},
         u"1 file to update:\r\n"},
        {{FILE_STATUS_OK, FILE_STATUS_UPDATE, FILE_STATUS_NEW, FILE_STATUS_KEPT, FILE_STATUS_KEPT},
         u"2 files to update:\r\n"},
    };
    for (const Case& c : cases) {
        LoadCatalog(
            "[Five]\nfile = a|00\nfile = b|00\nfile = c|00\nkeep = d.ini|00\nkeep = e.ini|00\n",
            c.statuses);
        SelectScript(0);
        EXPECT_EQ(Details().substr(0, 6), u"Five\r\n");
        EXPECT_EQ(Details().substr(6, TextLength(c.stateLine)), c.stateLine);
    }
}

TEST_F(TextsTest, WithoutVersionOrNotesThoseBlocksAreLeftOut) {
    LoadCatalog("[Bare]\nfile = a.lua|00\n", {FILE_STATUS_OK});
    SelectScript(0);
    EXPECT_EQ(Details(), u"Bare\r\nThere is no updates.\r\n");
}

TEST_F(TextsTest, AManyFileListEndsPast999CharactersAndTheNotesStillFollow) {
    std::string catalog = "[Many]\nversion = 2.0\nnote = Big change.\n";
    std::vector<int> statuses;
    for (int i = 0; i < 80; ++i) {
        catalog += "file = folder/a-file-with-a-long-name-" + std::to_string(100 + i) + ".lua|00\n";
        statuses.push_back(FILE_STATUS_NEW);
    }
    statuses[0] = FILE_STATUS_OK;  // not every file is new, so the script has updates
    LoadCatalog(catalog, statuses);
    SelectScript(0);
    std::u16string details = Details();
    size_t versionAt = details.find(u"\r\nVersion: 2.0\r\n");
    ASSERT_NE(versionAt, std::u16string::npos);
    // The last file line began while the text was at most 999 long.
    size_t lastLine = details.rfind(u"  folder/", versionAt);
    ASSERT_NE(lastLine, std::u16string::npos);
    EXPECT_LE(lastLine, 999u);
    EXPECT_GT(versionAt, 999u);
    EXPECT_EQ(details.find(u"a-file-with-a-long-name-179"), std::u16string::npos);
    EXPECT_EQ(details.substr(versionAt),
              u"\r\nVersion: 2.0\r\n\r\nWhat's new:\r\n- Big change.\r\n");
}

TEST_F(TextsTest, TheDetailsNeverRunPastTheirBuffer) {
    std::string catalog = "[" + Repeated('N', 63) + "]\ndesc = " + Repeated('d', 199) +
                          "\nversion = " + Repeated('9', 31) + "\nnote = " + Repeated('w', 4080) +
                          "\n";
    // A short first line keeps the text under the file-list limit, so one
    // more full-length line follows it.
    catalog += "file = " + Repeated('q', 96) + "|00\n";
    std::vector<int> statuses = {FILE_STATUS_UPDATE};
    for (int i = 0; i < 40; ++i) {
        catalog += "file = " + Repeated('p', 250) + std::to_string(i) + "|00\n";
        statuses.push_back(FILE_STATUS_UPDATE);
    }
    LoadCatalog(catalog, statuses);
    SelectScript(0);
    TextCopy(NoticeText, NOTICE_TEXT_CAPACITY, Repeat(u'!', 599).c_str());
    UpdateDetailsText();
    EXPECT_EQ(TextLength(DetailsText), DETAILS_TEXT_CAPACITY - 1);
    EXPECT_EQ(DetailsText[DETAILS_TEXT_CAPACITY - 1], 0);
    EXPECT_NE(Details().find(u"What's new:\r\n- www"), std::u16string::npos);
}

TEST_F(TextsTest, WithNoScriptThePaneShowsTheNoticeAloneOrNothing) {
    LoadCatalog("");
    SelectScript(-1);
    EXPECT_EQ(ControlText(ID_DETAILS), u"");
    EXPECT_FALSE(IsWindowEnabled(Control(ID_DOWNLOAD)));
    EXPECT_EQ(ControlText(ID_DOWNLOAD), u"Download");
    UpdateSummary();
    EXPECT_EQ(std::u16string(SummaryText), u"Checking for updates...");

    TextCopy(NoticeText, NOTICE_TEXT_CAPACITY, u"Could not reach the server.");
    UpdateDetailsText();
    UpdateSummary();
    EXPECT_EQ(ControlText(ID_DETAILS), u"Could not reach the server.");
    EXPECT_EQ(std::u16string(SummaryText), u"Server not reachable");
}

TEST_F(TextsTest, SummaryCountsScriptsWithUpdatesOnly) {
    LoadCatalog("[Absent]\nfile = a|00\n[Current]\nfile = b|00\n[Stale]\nfile = c|00\n",
                {FILE_STATUS_NEW, FILE_STATUS_OK, FILE_STATUS_UPDATE});
    UpdateSummary();
    EXPECT_EQ(std::u16string(SummaryText), u"3 scripts  \u2022  1 with updates");

    LoadCatalog("[Absent]\nfile = a|00\n[Current]\nfile = b|00\n",
                {FILE_STATUS_NEW, FILE_STATUS_OK});
    UpdateSummary();
    EXPECT_EQ(std::u16string(SummaryText), u"2 scripts  \u2022  everything up to date");

    // While the check fills the tables they count as empty.
    WorkerBusy = 1;
    SelectedScript = -1;
    UpdateSummary();
    EXPECT_EQ(std::u16string(SummaryText), u"Checking for updates...");
    WorkerBusy = 0;
}

TEST_F(TextsTest, SummaryRepaintsExactlyTheHeaderBand) {
    HWND main = static_cast<HWND>(MainWindow);
    UpdateWindow(main);
    ValidateRect(main, nullptr);
    UpdateSummary();
    RECT dirty = {};
    ASSERT_TRUE(GetUpdateRect(main, &dirty, FALSE));
    EXPECT_EQ(dirty.left, 0);
    EXPECT_EQ(dirty.top, 0);
    EXPECT_EQ(dirty.right, 640);
    EXPECT_EQ(dirty.bottom, 52);
}

TEST_F(TextsTest, ButtonsFollowTheChosenScriptAndTheWorker) {
    struct Case {
        int status;  // of the one file; -1 for no script chosen
        int busy;
        bool downloadEnabled;
        const char16_t* downloadLabel;
    };
    const Case cases[] = {
        {-1, 0, false, u"Download"},
        {-1, 1, false, u"Download"},
        {FILE_STATUS_NEW, 0, true, u"Install"},
        {FILE_STATUS_NEW, 1, false, u"Install"},
        {FILE_STATUS_OK, 0, false, u"Download"},
        {FILE_STATUS_OK, 1, false, u"Download"},
        {FILE_STATUS_UPDATE, 0, true, u"Download"},
        {FILE_STATUS_UPDATE, 1, false, u"Download"},
    };
    for (const Case& c : cases) {
        LoadCatalog("[One]\nfile = a|00\n", {c.status < 0 ? 0 : c.status});
        SelectedScript = c.status < 0 ? -1 : 0;
        WorkerBusy = c.busy;
        UpdateButtons();
        SCOPED_TRACE(testing::Message() << "status " << c.status << " busy " << c.busy);
        EXPECT_EQ(IsWindowEnabled(Control(ID_DOWNLOAD)) != FALSE, c.downloadEnabled);
        EXPECT_EQ(ControlText(ID_DOWNLOAD), c.downloadLabel);
        EXPECT_EQ(IsWindowEnabled(Control(ID_SCRIPT_SELECTOR)) != FALSE, c.busy == 0);
        EXPECT_EQ(ControlText(ID_CLOSE), c.busy ? u"Cancel" : u"Close");
        EXPECT_TRUE(IsWindowEnabled(Control(ID_CLOSE)));
    }
    WorkerBusy = 0;
}

TEST_F(TextsTest, TheListShowsEveryFileOfTheScriptInCatalogOrder) {
    LoadCatalog(
        "[First]\nfile = x.lua|00\n[Second]\nfile = main.lua|00\nfile = lib/a.lua|00\n"
        "keep = settings.ini|00\nfile = lib/b.lua|00\n",
        {FILE_STATUS_OK, FILE_STATUS_OK, FILE_STATUS_NEW, FILE_STATUS_KEPT, FILE_STATUS_UPDATE});
    SelectScript(1);
    ASSERT_EQ(ListRowCount(), 4);
    EXPECT_EQ(ListCell(0, 0), u"main.lua");
    EXPECT_EQ(ListCell(0, 1), u"OK");
    EXPECT_EQ(ListCell(1, 0), u"lib/a.lua");
    EXPECT_EQ(ListCell(1, 1), u"New");
    EXPECT_EQ(ListCell(2, 0), u"settings.ini");
    EXPECT_EQ(ListCell(2, 1), u"Kept");
    EXPECT_EQ(ListCell(3, 0), u"lib/b.lua");
    EXPECT_EQ(ListCell(3, 1), u"Update");
    SelectScript(-1);
    EXPECT_EQ(ListRowCount(), 0);
}

TEST_F(TextsTest, SelectingAScriptRecordsItAndEmptiesTheBars) {
    LoadCatalog("[First]\nfile = a|00\n[Second]\nfile = b|00\n", {FILE_STATUS_OK, FILE_STATUS_OK});
    SetProgressText(1, u"Done - %s is up to date.", u"First");
    ProgressBars[0].Permille = 400;
    ProgressBars[1].Permille = 1000;
    TextCopy(NoticeText, NOTICE_TEXT_CAPACITY, u"old notice");

    SelectScript(1);
    EXPECT_EQ(SelectedScript, 1);
    EXPECT_EQ(LastSetting(), u"Second");
    EXPECT_EQ(NoticeText[0], 0);
    EXPECT_EQ(ProgressBars[0].Permille, 0);
    EXPECT_EQ(ProgressBars[1].Permille, 0);
    char16_t bar[PROGRESS_TEXT_CAPACITY];
    CopyProgressText(1, bar, PROGRESS_TEXT_CAPACITY);
    EXPECT_EQ(bar[0], 0);

    SelectScript(-1);
    EXPECT_EQ(SelectedScript, -1);
    EXPECT_EQ(LastSetting(), u"Second");  // nothing is written for no script
}

TEST_F(TextsTest, AScriptRowShowsItsStateAndALongNameRunsOverIt) {
    LoadCatalog("[Short]\nfile = a|00\n[" + Repeated('W', 60) + "]\nfile = b|00\n",
                {FILE_STATUS_UPDATE, FILE_STATUS_UPDATE});
    const RECT rightEnd = {230, 0, 280, 28};
    const RECT leftEnd = {0, 0, 40, 28};

    PixelCanvas shortRow(280, 28);
    DrawScriptRow(shortRow.Dc(), {0, 0, 280, 28}, 0);
    EXPECT_GT(shortRow.CountNear(rightEnd, RGB(235, 175, 70), 40), 5);
    EXPECT_GT(shortRow.CountNear(leftEnd, RGB(255, 255, 255), 40), 5);
    EXPECT_EQ(shortRow.CountNear(rightEnd, RGB(255, 255, 255), 40), 0);

    PixelCanvas longRow(280, 28);
    DrawScriptRow(longRow.Dc(), {0, 0, 280, 28}, 1);
    EXPECT_GT(longRow.CountNear(rightEnd, RGB(255, 255, 255), 40), 5);

    PixelCanvas noRow(280, 28);
    DrawScriptRow(noRow.Dc(), {0, 0, 280, 28}, 2);
    DrawScriptRow(noRow.Dc(), {0, 0, 280, 28}, -1);
    EXPECT_EQ(noRow.CountNear({0, 0, 280, 28}, RGB(0, 0, 0), 0), 280 * 28);
}
