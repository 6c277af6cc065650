// The main window in every state of its table (Checking, No server,
// Unreachable, Ready, Downloading), against real folder and HTTP servers
// with the real check and download workers: control texts, list rows and
// colours, button labels and enabled states, the close question, keyboard
// navigation, painting, placement and the end of the message loop.
#include "ui/main_window.h"

#include <commctrl.h>

#include <thread>

#include "app/resources_win32.h"
#include "app/settings.h"
#include "app/shared_state.h"
#include "app/startup_win32.h"
#include "ui/window_classes.h"
#include "catalog/catalog.h"
#include "catalog/local_state.h"
#include "tests/support/servers.h"
#include "tests/support/signer.h"
#include "tests/ui_support/test_window.h"
#include "ui/draw.h"
#include "ui/picker.h"
#include "ui/texts.h"

namespace {

const COLORREF NoticeColour = RGB(240, 140, 130);
const COLORREF LightText = RGB(222, 222, 222);

// Three scripts: one not installed, one up to date, one with an update
// once PlaceThreeScripts has run.
std::vector<CatalogScript> ThreeScripts() {
    return {
        {"Alpha",
         "1.0",
         "First script.",
         {"Alpha note."},
         {{"main.lua", "-- alpha main\n", false}, {"lib/util.lua", "-- alpha util\n", false}}},
        {"Bravo", "2.0", "", {}, {{"bravo.lua", "-- bravo\n", false}}},
        {"Charlie",
         "3.1",
         "Third script.",
         {"One.", "Two."},
         {{"charlie.lua", "-- charlie new\n", false},
          {"data/table.csv", "a,b\n1,2\n", false},
          {"settings.ini", "defaults\n", true}}},
    };
}

class MainWindowTest : public WindowTest {
protected:
    std::u16string BarText(int bar) {
        char16_t text[PROGRESS_TEXT_CAPACITY];
        CopyProgressText(bar, text, PROGRESS_TEXT_CAPACITY);
        return text;
    }

    // Bravo installed as published; Charlie's main file outdated, its
    // settings the user's own.
    void PlaceThreeScripts(const std::vector<CatalogScript>& scripts) {
        PlaceFile(ScriptsDir(), scripts[1], scripts[1].files[0], scripts[1].files[0].content);
        PlaceFile(ScriptsDir(), scripts[2], scripts[2].files[0], "-- charlie old\n");
        PlaceFile(ScriptsDir(), scripts[2], scripts[2].files[1], scripts[2].files[1].content);
        PlaceFile(ScriptsDir(), scripts[2], scripts[2].files[2], "mine\n");
    }

    // The text colour the window gives a control through its colour message.
    COLORREF TextColourOf(HWND control, HBRUSH* brush) {
        HDC dc = GetDC(control);
        LRESULT result =
            SendMessageW(static_cast<HWND>(MainWindow), WM_CTLCOLORSTATIC,
                         reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
        COLORREF colour = GetTextColor(dc);
        ReleaseDC(control, dc);
        *brush = reinterpret_cast<HBRUSH>(result);
        return colour;
    }

    RECT ClientRectOf(int id) {
        RECT rect;
        GetWindowRect(Control(id), &rect);
        MapWindowPoints(nullptr, static_cast<HWND>(MainWindow), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    LRESULT CustomDraw(DWORD stage, int row, int column, NMLVCUSTOMDRAW* draw) {
        *draw = {};
        draw->nmcd.hdr.hwndFrom = Control(ID_FILE_LIST);
        draw->nmcd.hdr.idFrom = ID_FILE_LIST;
        draw->nmcd.hdr.code = NM_CUSTOMDRAW;
        draw->nmcd.dwDrawStage = stage;
        draw->nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
        draw->nmcd.uItemState = CDIS_SELECTED | CDIS_FOCUS;
        draw->iSubItem = column;
        draw->clrText = RGB(1, 2, 3);
        draw->clrTextBk = RGB(4, 5, 6);
        return SendMessageW(static_cast<HWND>(MainWindow), WM_NOTIFY, ID_FILE_LIST,
                            reinterpret_cast<LPARAM>(draw));
    }

    // The tab stop that Tab moves the focus to, as the program's loop does it.
    HWND TabFrom(HWND focus) {
        SetFocus(focus);
        MSG tab = {};
        tab.hwnd = focus;
        tab.message = WM_KEYDOWN;
        tab.wParam = VK_TAB;
        IsDialogMessageW(static_cast<HWND>(MainWindow), &tab);
        return GetFocus();
    }
};

// Answers the message box that the main window shows, from another thread,
// and keeps what it said.
class MessageBoxAnswer {
public:
    explicit MessageBoxAnswer(int button) {
        worker_ = std::thread([this, button] { Answer(button); });
    }
    ~MessageBoxAnswer() { Join(); }
    // Waits until the box was answered (or 10 s passed without one).
    void Join() {
        if (worker_.joinable()) worker_.join();
    }
    std::u16string text;
    std::u16string caption;
    bool yesAndNo = false;  // the box offers exactly Yes and No
    bool answered = false;

private:
    void Answer(int button) {
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 10000) {
            HWND box = FindWindowW(L"#32770", L"Updater");
            if (box != nullptr && GetWindow(box, GW_OWNER) == static_cast<HWND>(MainWindow)) {
                caption = WindowText(box);
                HWND label = FindWindowExW(box, nullptr, L"Static", nullptr);
                while (label != nullptr && GetWindowTextLengthW(label) == 0) {
                    label = FindWindowExW(box, label, L"Static", nullptr);
                }
                if (label != nullptr) text = WindowText(label);
                yesAndNo = GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDNO) != nullptr &&
                           GetDlgItem(box, IDOK) == nullptr && GetDlgItem(box, IDCANCEL) == nullptr;
                answered = PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0) != 0;
                return;
            }
            Sleep(20);
        }
    }
    std::thread worker_;
};

}  // namespace

TEST(PlacementTest, TheWindowIsCentredOnTheWorkAreaAndAnOverhangSplitsEvenly) {
    POINT centred = CenteredOrigin({0, 0, 1280, 1024}, 646, 409);
    EXPECT_EQ(centred.x, 317);
    EXPECT_EQ(centred.y, 307);
    POINT shifted = CenteredOrigin({100, 40, 1380, 1064}, 646, 409);
    EXPECT_EQ(shifted.x, 417);
    EXPECT_EQ(shifted.y, 347);
    // Too small a work area: the window hangs over both edges alike.
    POINT overhang = CenteredOrigin({10, 20, 110, 120}, 201, 300);
    EXPECT_EQ(overhang.x, 10 - 50);
    EXPECT_EQ(overhang.y, 20 - 100);
}

TEST_F(MainWindowTest, ItIsAFixedDarkWindowWithTheControlsOfItsLayout) {
    UseServer(u"");
    HWND main = OpenMainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main, static_cast<HWND>(MainWindow));
    EXPECT_EQ(WindowText(main), u"Zentora Script Updater - by Morvane");
    RECT client;
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 380);
    LONG style = GetWindowLongW(main, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN),
              WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
    EXPECT_EQ(GetWindowLongW(main, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
    wchar_t className[64];
    GetClassNameW(main, className, 64);
    EXPECT_STREQ(className, L"ZentoUpdaterWindow");
    // Both optional libraries were loaded by name for the dark look.
    EXPECT_NE(GetModuleHandleW(L"dwmapi.dll"), nullptr);
    EXPECT_NE(GetModuleHandleW(L"uxtheme.dll"), nullptr);

    struct Layout {
        int id;
        const wchar_t* windowClass;
        RECT rect;
        LONG styles;
    };
    const Layout layout[] = {
        {ID_FILE_LIST,
         L"SysListView32",
         {14, 90, 308, 366},
         WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_NOCOLUMNHEADER},
        {ID_DETAILS,
         L"Edit",
         {326, 66, 624, 228},
         WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY},
        {ID_FILE_PROGRESS, L"Static", {320, 240, 630, 262}, SS_OWNERDRAW},
        {ID_TOTAL_PROGRESS, L"Static", {320, 268, 630, 290}, SS_OWNERDRAW},
        {ID_SCRIPT_SELECTOR, L"Button", {320, 296, 630, 326}, WS_TABSTOP | BS_OWNERDRAW},
        {ID_DOWNLOAD, L"Button", {320, 332, 470, 368}, WS_TABSTOP | BS_OWNERDRAW},
        {ID_CLOSE, L"Button", {510, 332, 630, 368}, WS_TABSTOP | BS_OWNERDRAW},
    };
    for (const Layout& control : layout) {
        HWND window = Control(control.id);
        ASSERT_NE(window, nullptr) << control.id;
        SCOPED_TRACE(control.id);
        EXPECT_EQ(GetDlgCtrlID(window), control.id);
        EXPECT_EQ(GetParent(window), main);
        GetClassNameW(window, className, 64);
        EXPECT_EQ(lstrcmpiW(className, control.windowClass), 0) << className;
        RECT rect = ClientRectOf(control.id);
        EXPECT_EQ(rect.left, control.rect.left);
        EXPECT_EQ(rect.top, control.rect.top);
        EXPECT_EQ(rect.right, control.rect.right);
        EXPECT_EQ(rect.bottom, control.rect.bottom);
        LONG controlStyle = GetWindowLongW(window, GWL_STYLE);
        EXPECT_EQ(controlStyle & control.styles, control.styles);
        EXPECT_EQ(controlStyle & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
        EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE), 0);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), NormalFont);
    }
    EXPECT_EQ(GetWindowLongW(Control(ID_DETAILS), GWL_STYLE) & (WS_TABSTOP | WS_BORDER), 0);

    HWND list = Control(ID_FILE_LIST);
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0),
              LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    EXPECT_EQ(static_cast<COLORREF>(SendMessageW(list, LVM_GETBKCOLOR, 0, 0)), RGB(22, 24, 27));
    EXPECT_EQ(static_cast<COLORREF>(SendMessageW(list, LVM_GETTEXTBKCOLOR, 0, 0)), RGB(22, 24, 27));
    EXPECT_EQ(static_cast<COLORREF>(SendMessageW(list, LVM_GETTEXTCOLOR, 0, 0)), LightText);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), 200);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), 76);
    wchar_t caption[16] = {};
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT;
    column.pszText = caption;
    column.cchTextMax = 16;
    SendMessageW(list, LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
    EXPECT_STREQ(caption, L"Status");
    EXPECT_EQ(SendMessageW(Control(ID_DETAILS), EM_GETMARGINS, 0, 0), MAKELONG(6, 6));

    EXPECT_EQ(GetClassLongPtrW(main, GCL_STYLE), 0u);
    HWND picker = CreateWindowExW(WS_EX_TOOLWINDOW, L"ZentoUpdaterPicker", L"", WS_POPUP, 0, 0, 10,
                                  10, main, nullptr, AppInstance, nullptr);
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(GetClassLongPtrW(picker, GCL_STYLE), static_cast<ULONG_PTR>(CS_DROPSHADOW));
    DestroyWindow(picker);
}

TEST_F(MainWindowTest, TheWindowIsPlacedInTheMiddleOfTheWorkArea) {
    UseServer(u"");
    HWND main = OpenMainWindow();
    ASSERT_NE(main, nullptr);
    RECT workArea;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    RECT frame = {0, 0, 640, 380};
    AdjustWindowRect(&frame, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, FALSE);
    POINT expected = CenteredOrigin(workArea, frame.right - frame.left, frame.bottom - frame.top);
    RECT placed;
    GetWindowRect(main, &placed);
    EXPECT_EQ(placed.left, expected.x);
    EXPECT_EQ(placed.top, expected.y);
}

TEST_F(MainWindowTest, WithoutAServerNothingStartsAndTheNoticeShowsInLightRed) {
    UseServer(u"");
    ASSERT_NE(OpenMainWindow(), nullptr);
    EXPECT_EQ(WorkerBusy, 0);
    EXPECT_EQ(SelectedScript, -1);
    EXPECT_EQ(ControlText(ID_DETAILS), u"No server address in this Updater.exe yet.");
    EXPECT_EQ(std::u16string(SummaryText), u"Server not reachable");
    HBRUSH brush = nullptr;
    EXPECT_EQ(TextColourOf(Control(ID_DETAILS), &brush), NoticeColour);
    EXPECT_EQ(brush, PanelBrush);
    EXPECT_EQ(TextColourOf(Control(ID_FILE_PROGRESS), &brush), LightText);
    // The buttons stay as they were made: Download enabled, but it does nothing.
    EXPECT_TRUE(IsWindowEnabled(Control(ID_DOWNLOAD)));
    EXPECT_EQ(ControlText(ID_DOWNLOAD), u"Download");
    EXPECT_EQ(ControlText(ID_CLOSE), u"Close");
    Press(ID_DOWNLOAD);
    EXPECT_EQ(WorkerBusy, 0);
    Press(ID_SCRIPT_SELECTOR);
    EXPECT_EQ(PickerWindow, nullptr);
}

// A relative folder too long to hold whole once it is put under the
// program's folder.
TEST_F(MainWindowTest, WithoutAScriptsFolderNoServerIsAsked) {
    WriteServerFolder(ServerDir(), ThreeScripts());
    std::u16string server = ServerDirPath();
    WriteSettings("[updater]\r\nurl=" + std::string(server.begin(), server.end()) +
                  "\r\nfolder=" + std::string(300, 'd') + "\r\n");
    ASSERT_NE(OpenMainWindow(), nullptr);
    EXPECT_EQ(ScriptsFolder[0], 0);
    EXPECT_EQ(WorkerBusy, 0);
    EXPECT_EQ(ControlText(ID_DETAILS).find(u"No scripts folder"), 0u);
}

TEST_F(MainWindowTest, WhileCheckingTheButtonsWaitAndThenTheCatalogIsReady) {
    std::vector<CatalogScript> scripts = ThreeScripts();
    WriteServerFolder(ServerDir(), scripts);
    PlaceThreeScripts(scripts);
    UseServer(ServerDirPath());
    ASSERT_NE(OpenMainWindow(), nullptr);

    // The worker's message waits in the queue until the pump runs.
    EXPECT_EQ(WorkerBusy, 1);
    EXPECT_EQ(SelectedScript, -1);
    EXPECT_EQ(ControlText(ID_DETAILS), u"Checking for updates...");
    EXPECT_EQ(std::u16string(SummaryText), u"Checking for updates...");
    EXPECT_FALSE(IsWindowEnabled(Control(ID_SCRIPT_SELECTOR)));
    EXPECT_FALSE(IsWindowEnabled(Control(ID_DOWNLOAD)));
    EXPECT_EQ(ControlText(ID_CLOSE), u"Cancel");

    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(SelectedScript, 0);  // no `last` yet: the first script
    EXPECT_EQ(LastSetting(), u"Alpha");
    EXPECT_EQ(std::u16string(SummaryText), u"3 scripts  \u2022  1 with updates");
    EXPECT_EQ(ControlText(ID_DETAILS).substr(0, 28), u"Alpha\r\nFirst script.\r\n\r\nNot ");
    EXPECT_TRUE(IsWindowEnabled(Control(ID_SCRIPT_SELECTOR)));
    EXPECT_TRUE(IsWindowEnabled(Control(ID_DOWNLOAD)));
    EXPECT_EQ(ControlText(ID_DOWNLOAD), u"Install");
    EXPECT_EQ(ControlText(ID_CLOSE), u"Close");
    ASSERT_EQ(ListRowCount(), 2);
    EXPECT_EQ(ListCell(0, 0), u"main.lua");
    EXPECT_EQ(ListCell(1, 0), u"lib/util.lua");
    EXPECT_EQ(ListCell(1, 1), u"New");
    HBRUSH brush = nullptr;
    EXPECT_EQ(TextColourOf(Control(ID_DETAILS), &brush), LightText);
}

TEST_F(MainWindowTest, LastChoosesByExactNameAndTheLaterOfTwoEqualNamesWins) {
    struct Case {
        const char* last;
        int expected;
    };
    const Case cases[] = {{"Twin", 2}, {"twin", 0}, {"Other", 1}, {"", 0}, {"Nobody", 0}};
    std::vector<CatalogScript> scripts = {
        {"Twin", "", "", {}, {{"a.lua", "a\n", false}}},
        {"Other", "", "", {}, {{"b.lua", "b\n", false}}},
        {"Twin", "", "", {}, {{"c.lua", "c\n", false}}},
    };
    WriteServerFolder(ServerDir(), scripts);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last);
        WriteSettings("[updater]\r\nurl=" + ServerDir().string() +
                      "\r\nfolder=" + ScriptsDir().string() + "\r\nlast=" + c.last + "\r\n");
        HWND main = OpenMainWindow();
        ASSERT_NE(main, nullptr);
        ASSERT_TRUE(WaitUntilIdle());
        EXPECT_EQ(SelectedScript, c.expected);
        EXPECT_EQ(LastSetting(), c.expected == 1 ? u"Other" : u"Twin");
        DestroyWindow(main);
        PumpFor(0);
        ResetSharedState();
    }
}

TEST_F(MainWindowTest, AnEmptyCatalogLeavesNothingChosenAndLastUnwritten) {
    WriteFileBytes(ServerDir() / "scripts.txt", "");
    OpenAfterCheck(ServerDirPath());
    EXPECT_EQ(SelectedScript, -1);
    EXPECT_EQ(LastSetting(), u"");
    EXPECT_EQ(std::u16string(SummaryText), u"Checking for updates...");
    EXPECT_EQ(ControlText(ID_DETAILS), u"");
    EXPECT_FALSE(IsWindowEnabled(Control(ID_DOWNLOAD)));
    Press(ID_SCRIPT_SELECTOR);
    EXPECT_EQ(PickerWindow, nullptr);
}

TEST_F(MainWindowTest, AnUnreachableServerShowsTheAddressInTheNotice) {
    const std::u16string servers[] = {
        ServerDirPath() + u"\\missing",  // a folder that is not there
        u"http://127.0.0.1:1/scripts",   // nobody listens there
    };
    for (const std::u16string& server : servers) {
        SCOPED_TRACE(std::string(server.begin(), server.end()));
        HWND main = OpenAfterCheck(server);
        ASSERT_NE(main, nullptr);
        std::u16string notice = u"Could not reach the server.\r\n" + server +
                                u"\r\n\r\nCheck your internet and open the updater again.";
        EXPECT_EQ(std::u16string(NoticeText), notice);
        EXPECT_EQ(ControlText(ID_DETAILS), notice);
        EXPECT_EQ(std::u16string(SummaryText), u"Server not reachable");
        EXPECT_EQ(SelectedScript, -1);
        EXPECT_FALSE(IsWindowEnabled(Control(ID_DOWNLOAD)));
        EXPECT_TRUE(IsWindowEnabled(Control(ID_SCRIPT_SELECTOR)));
        EXPECT_EQ(ControlText(ID_CLOSE), u"Close");
        HBRUSH brush = nullptr;
        EXPECT_EQ(TextColourOf(Control(ID_DETAILS), &brush), NoticeColour);
        DestroyWindow(main);
        PumpFor(0);
        ResetSharedState();
    }
}

TEST_F(MainWindowTest, ASignedCatalogIsShownOnlyWhenItVerifiesAndIsNotOlder) {
    TestSigner publisher;
    TestSigner stranger;
    struct Case {
        const TestSigner* signer;
        int serial;
        const char16_t* reason;  // null: the catalog is used
    };
    const Case cases[] = {
        {&stranger, 10, u"It is not signed with the key in updater.ini."},
        {&publisher, 8, u"It is older than a catalog this updater already used."},
        {&publisher, 10, nullptr},
    };
    const std::u16string server = ServerDirPath();
    const std::string serverAscii(server.begin(), server.end());  // the tests' paths are ASCII
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serial);
        std::string catalog = "serial = " + std::to_string(c.serial) + "\n[Tool]\nfile=a.lua\n";
        WriteFileBytes(ServerDir() / "scripts.txt", catalog);
        WriteFileBytes(ServerDir() / "scripts.txt.sig", c.signer->SignatureFile(catalog));
        WriteSettings("[updater]\r\nurl=" + serverAscii + "\r\nkey=" + publisher.KeyText() +
                      "\r\nserial=9\r\n");
        HWND main = OpenMainWindow();
        ASSERT_TRUE(WaitUntilIdle());
        if (c.reason != nullptr) {
            std::u16string notice =
                u"Could not verify the catalog.\r\n" + server + u"\r\n\r\n" + c.reason;
            EXPECT_EQ(ControlText(ID_DETAILS), notice);
            EXPECT_EQ(std::u16string(SummaryText), u"Catalog not verified");
            HBRUSH brush = nullptr;
            EXPECT_EQ(TextColourOf(Control(ID_DETAILS), &brush), NoticeColour);
            EXPECT_EQ(SelectedScript, -1);
            EXPECT_EQ(ScriptCount, 0);
            EXPECT_FALSE(IsWindowEnabled(Control(ID_DOWNLOAD)));
            EXPECT_NE(ReadFileBytes(Root() / "updater.ini").find("serial=9"), std::string::npos);
        } else {
            EXPECT_EQ(SelectedScript, 0);
            EXPECT_EQ(AcceptedSerial, 10u);
            EXPECT_NE(ReadFileBytes(Root() / "updater.ini").find("serial=10"), std::string::npos);
        }
        DestroyWindow(main);
        PumpFor(0);
        ResetSharedState();
        ClearCatalog();
    }
}

TEST_F(MainWindowTest, DownloadInstallsTheChosenScriptAndShowsDone) {
    std::vector<CatalogScript> scripts = ThreeScripts();
    WriteServerFolder(ServerDir(), scripts);
    PlaceThreeScripts(scripts);
    OpenAfterCheck(ServerDirPath());
    ASSERT_EQ(SelectedScript, 0);
    ProgressBars[0].Permille = 700;

    Press(ID_DOWNLOAD);
    // Downloading, before any message of the worker is handled.
    EXPECT_EQ(WorkerBusy, 1);
    EXPECT_EQ(CancelFlag.load(), 0);
    EXPECT_EQ(ProgressBars[0].Permille, 0);
    EXPECT_FALSE(IsWindowEnabled(Control(ID_DOWNLOAD)));
    EXPECT_FALSE(IsWindowEnabled(Control(ID_SCRIPT_SELECTOR)));
    EXPECT_EQ(ControlText(ID_CLOSE), u"Cancel");
    Press(ID_DOWNLOAD);  // ignored while the worker runs
    Press(ID_SCRIPT_SELECTOR);
    EXPECT_EQ(PickerWindow, nullptr);

    ASSERT_TRUE(WaitUntilIdle());
    for (const CatalogFile& file : scripts[0].files) {
        EXPECT_EQ(ReadFileBytes(ScriptsDir() / "Alpha" / fs::u8path(file.path)), file.content);
    }
    EXPECT_EQ(BarText(1), u"Done - Alpha is up to date.");
    EXPECT_EQ(BarText(0), u"");
    EXPECT_EQ(ProgressBars[1].Permille, 1000);
    EXPECT_EQ(ListCell(0, 1), u"OK");
    EXPECT_EQ(ListCell(1, 1), u"OK");
    EXPECT_FALSE(IsWindowEnabled(Control(ID_DOWNLOAD)));
    EXPECT_EQ(ControlText(ID_DOWNLOAD), u"Download");
    EXPECT_EQ(ControlText(ID_CLOSE), u"Close");
    EXPECT_NE(ControlText(ID_DETAILS).find(u"There is no updates."), std::u16string::npos);
    Press(ID_DOWNLOAD);  // nothing left to download
    EXPECT_EQ(WorkerBusy, 0);
}

TEST_F(MainWindowTest, AFailedDownloadShowsFailedAndItsNotice) {
    std::vector<CatalogScript> scripts = ThreeScripts();
    WriteServerFolder(ServerDir(), scripts);
    fs::remove(ServerDir() / "Alpha" / "lib" / "util.lua");
    OpenAfterCheck(ServerDirPath());
    Press(ID_DOWNLOAD);
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(BarText(1), u"Failed.");
    EXPECT_EQ(BarText(0), u"lib/util.lua");  // kept as the worker left it
    std::u16string notice =
        u"Could not download lib/util.lua.\r\nCheck your internet and press Download again.";
    EXPECT_EQ(std::u16string(NoticeText), notice);
    EXPECT_EQ(ControlText(ID_DETAILS).substr(0, notice.size() + 4), notice + u"\r\n\r\n");
    EXPECT_EQ(ListCell(0, 1), u"OK");  // placed before the failure
    EXPECT_EQ(ListCell(1, 1), u"New");
    EXPECT_TRUE(IsWindowEnabled(Control(ID_DOWNLOAD)));
    HBRUSH brush = nullptr;
    EXPECT_EQ(TextColourOf(Control(ID_DETAILS), &brush), NoticeColour);
}

TEST_F(MainWindowTest, ProgressMessagesStoreThePermilleAsPosted) {
    UseServer(u"");
    HWND main = OpenMainWindow();
    PostMessageW(main, WM_APP_PROGRESS, 1, 1234);
    PostMessageW(main, WM_APP_PROGRESS, 0, 250);
    PostMessageW(main, WM_APP_PROGRESS, 2, 999);  // no such bar
    PumpFor(50);
    EXPECT_EQ(ProgressBars[1].Permille, 1234);
    EXPECT_EQ(ProgressBars[0].Permille, 250);
}

TEST_F(MainWindowTest, CancelDuringTheCheckEndsItAsUnreachable) {
    TestServers servers;
    std::string problem;
    TestServersState state = LoadTestServers(&servers, &problem);
    if (state == TEST_SERVERS_NOT_CONFIGURED) GTEST_SKIP() << "no test servers";
    ASSERT_EQ(state, TEST_SERVERS_READY) << problem;
    // A catalog that trickles in for three seconds; Cancel comes long before its end.
    std::string base =
        "http://127.0.0.1:" + std::to_string(servers.faultPort) + "/slow/30000/1000/100/ui-cancel";
    UseServer(std::u16string(base.begin(), base.end()));
    ASSERT_NE(OpenMainWindow(), nullptr);
    PumpFor(300);
    ASSERT_EQ(WorkerBusy, 1);
    Press(ID_CLOSE);
    EXPECT_EQ(CancelFlag.load(), 1);
    EXPECT_TRUE(IsWindow(static_cast<HWND>(MainWindow)));
    Press(ID_CLOSE);  // the second press does the same
    EXPECT_TRUE(IsWindow(static_cast<HWND>(MainWindow)));
    ASSERT_TRUE(WaitUntilIdle(10000));
    EXPECT_EQ(std::u16string(SummaryText), u"Server not reachable");
    EXPECT_EQ(ControlText(ID_CLOSE), u"Close");
}

TEST_F(MainWindowTest, ReadyFromTheLocalHttpServer) {
    TestServers servers;
    std::string problem;
    TestServersState state = LoadTestServers(&servers, &problem);
    if (state == TEST_SERVERS_NOT_CONFIGURED) GTEST_SKIP() << "no test servers";
    ASSERT_EQ(state, TEST_SERVERS_READY) << problem;
    std::string tag = "ui-ready-" + std::to_string(GetTickCount());
    fs::path www = servers.www / tag;
    std::vector<CatalogScript> scripts = ThreeScripts();
    WriteServerFolder(www, scripts);
    PlaceThreeScripts(scripts);
    std::string base = "http://127.0.0.1:" + std::to_string(servers.httpPort) + "/" + tag;
    OpenAfterCheck(std::u16string(base.begin(), base.end()));
    EXPECT_EQ(SelectedScript, 0);
    EXPECT_EQ(std::u16string(SummaryText), u"3 scripts  \u2022  1 with updates");
    Press(ID_DOWNLOAD);
    EXPECT_TRUE(WaitUntilIdle());
    EXPECT_EQ(BarText(1), u"Done - Alpha is up to date.");
    EXPECT_EQ(ReadFileBytes(ScriptsDir() / "Alpha" / "lib" / "util.lua"), "-- alpha util\n");
    std::error_code ignored;
    fs::remove_all(www, ignored);
}

TEST_F(MainWindowTest, ClosingWhileTheCheckRunsAsksFirst) {
    std::vector<CatalogScript> scripts = ThreeScripts();
    WriteServerFolder(ServerDir(), scripts);
    UseServer(ServerDirPath());
    HWND main = OpenMainWindow();
    ASSERT_EQ(WorkerBusy, 1);
    MessageBoxAnswer no(IDNO);
    SendMessageW(main, WM_CLOSE, 0, 0);  // returns once the box is answered
    no.Join();
    EXPECT_TRUE(no.answered);
    EXPECT_EQ(no.text, u"A download is running. Close anyway?");
    EXPECT_EQ(no.caption, u"Updater");
    EXPECT_TRUE(no.yesAndNo);
    EXPECT_TRUE(IsWindow(main));
    ASSERT_TRUE(WaitUntilIdle());
    // Idle now: the Close button closes without a question.
    Press(ID_CLOSE);
    EXPECT_TRUE(PumpUntil([main] { return !IsWindow(main); }, 5000));
    EXPECT_TRUE(TakeQuitMessage());
}

TEST_F(MainWindowTest, TabMovesAmongTheListAndTheEnabledButtons) {
    std::vector<CatalogScript> scripts = ThreeScripts();
    WriteServerFolder(ServerDir(), scripts);
    PlaceThreeScripts(scripts);
    OpenAfterCheck(ServerDirPath());
    HWND list = Control(ID_FILE_LIST), selector = Control(ID_SCRIPT_SELECTOR);
    HWND download = Control(ID_DOWNLOAD), close = Control(ID_CLOSE);
    EXPECT_EQ(TabFrom(list), selector);
    EXPECT_EQ(TabFrom(selector), download);
    EXPECT_EQ(TabFrom(download), close);
    EXPECT_EQ(TabFrom(close), list);
    // Bravo is up to date: its Download button is disabled and skipped.
    SelectScript(1);
    EXPECT_EQ(TabFrom(selector), close);
}

TEST_F(MainWindowTest, TheListColoursEachStatusAndItsOwnSelection) {
    std::vector<CatalogScript> scripts = ThreeScripts();
    WriteServerFolder(ServerDir(), scripts);
    PlaceThreeScripts(scripts);
    OpenAfterCheck(ServerDirPath());
    SelectScript(2);  // Charlie: Update, OK, Kept
    NMLVCUSTOMDRAW draw;
    EXPECT_EQ(CustomDraw(CDDS_PREPAINT, 0, 0, &draw), CDRF_NOTIFYSUBITEMDRAW);
    EXPECT_EQ(CustomDraw(CDDS_ITEMPREPAINT, 0, 0, &draw), CDRF_NOTIFYSUBITEMDRAW);

    const COLORREF statusColours[] = {RGB(235, 175, 70), RGB(90, 190, 110), RGB(140, 140, 140)};
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(CustomDraw(CDDS_ITEMPREPAINT | CDDS_SUBITEM, row, 1, &draw), 0);
        EXPECT_EQ(draw.clrText, statusColours[row]);
        EXPECT_EQ(draw.clrTextBk, RGB(22, 24, 27));
        EXPECT_EQ(draw.nmcd.uItemState, static_cast<UINT>(CDIS_SELECTED | CDIS_FOCUS));
        CustomDraw(CDDS_ITEMPREPAINT | CDDS_SUBITEM, row, 0, &draw);
        EXPECT_EQ(draw.clrText, LightText);
    }

    LVITEMW select = {};
    select.stateMask = LVIS_SELECTED;
    select.state = LVIS_SELECTED;
    SendMessageW(Control(ID_FILE_LIST), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&select));
    CustomDraw(CDDS_ITEMPREPAINT | CDDS_SUBITEM, 1, 1, &draw);
    EXPECT_EQ(draw.clrText, RGB(90, 190, 110));
    EXPECT_EQ(draw.clrTextBk, RGB(44, 62, 88));
    EXPECT_EQ(draw.nmcd.uItemState & (CDIS_SELECTED | CDIS_FOCUS), 0u);

    // A row past the script's files and other notifications are left alone.
    EXPECT_EQ(CustomDraw(CDDS_ITEMPREPAINT | CDDS_SUBITEM, 3, 1, &draw), 0);
    EXPECT_EQ(draw.clrText, RGB(1, 2, 3));
    EXPECT_EQ(CustomDraw(CDDS_POSTPAINT, 0, 0, &draw), 0);
    NMHDR click = {Control(ID_FILE_LIST), ID_FILE_LIST, static_cast<UINT>(NM_CLICK)};
    EXPECT_EQ(SendMessageW(static_cast<HWND>(MainWindow), WM_NOTIFY, ID_FILE_LIST,
                           reinterpret_cast<LPARAM>(&click)),
              0);

    // On the screen: the status column of the first row is in the Update colour.
    PixelCanvas list(294, 276);
    list.CaptureWindow(Control(ID_FILE_LIST));
    EXPECT_GT(list.CountNear({200, 0, 294, 18}, RGB(235, 175, 70), 40), 3);
    EXPECT_GT(list.CountNear({200, 17, 294, 36}, RGB(44, 62, 88), 4), 50);  // selected row
}

TEST_F(MainWindowTest, ItPaintsTheHeaderAndThePanels) {
    std::vector<CatalogScript> scripts = ThreeScripts();
    WriteServerFolder(ServerDir(), scripts);
    HWND main = OpenAfterCheck(ServerDirPath());
    SetForegroundWindow(main);
    PumpFor(100);
    PixelCanvas client(640, 380);
    client.CaptureWindow(main);
    auto expectAt = [&](int x, int y, COLORREF colour, int tolerance) {
        EXPECT_LE(ColourDistance(client.At(x, y), colour), tolerance)
            << x << "," << y << std::hex << " got " << client.At(x, y);
    };
    expectAt(300, 3, RGB(22, 24, 28), 0);   // the header band
    expectAt(300, 51, RGB(60, 63, 68), 0);  // the line under it
    expectAt(5, 375, RGB(30, 32, 36), 0);   // the window
    expectAt(100, 62, RGB(22, 24, 27), 0);  // the file panel, above its captions
    // Borders: either of the two outer rows (rasterisers differ by a pixel).
    EXPECT_GT(client.CountNear({100, 60, 101, 62}, RGB(60, 63, 68), 8), 0);  // the file panel's
    expectAt(100, 89, RGB(60, 63, 68), 0);  // the line under the captions
    EXPECT_GT(client.CountNear({450, 60, 451, 62}, RGB(60, 63, 68), 8), 0);  // the details'
    expectAt(450, 63, RGB(22, 24, 27), 0);
    EXPECT_GT(client.CountNear({56, 7, 300, 30}, RGB(255, 255, 255), 40), 20);   // title
    EXPECT_GT(client.CountNear({57, 28, 300, 46}, RGB(140, 140, 140), 30), 10);  // summary
    EXPECT_GT(client.CountNear({540, 0, 625, 52}, RGB(245, 150, 45), 40), 10);   // author
    EXPECT_GT(client.CountNear({520, 0, 580, 52}, RGB(140, 140, 140), 30), 3);   // "by"
    EXPECT_GT(client.CountNear({20, 64, 214, 88}, RGB(140, 140, 140), 30), 5);   // "Name"
    EXPECT_GT(client.CountNear({14, 10, 46, 42}, RGB(72, 142, 232), 40), 50);    // the icon
    EXPECT_GT(client.CountNear({330, 70, 620, 90}, LightText, 30), 10);          // details
}
