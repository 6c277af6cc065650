// The script picker: its geometry for few and many scripts and near the
// bottom of the work area, the highlight under the pointer and the arrow
// keys, the wheel, Enter without a highlight, the 250 ms rule, painting,
// and every way of closing it, each followed by opening it again.
#include "ui/picker.h"

#include <string>

#include "app/resources_win32.h"
#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "catalog/catalog.h"
#include "tests/ui_support/test_window.h"
#include "ui/draw.h"
#include "ui/texts.h"

namespace {

std::vector<CatalogScript> Scripts(int count) {
    std::vector<CatalogScript> scripts;
    for (int i = 0; i < count; ++i) {
        std::string name = "Script " + std::to_string(100 + i);
        scripts.push_back({name, "1." + std::to_string(i), "", {}, {{"main.lua", name, false}}});
    }
    return scripts;
}

class PickerTest : public WindowTest {
protected:
    // The window after a check of a catalog of count scripts.
    void OpenWithScripts(int count) {
        WriteServerFolder(ServerDir(), Scripts(count));
        ASSERT_NE(OpenAfterCheck(ServerDirPath()), nullptr);
        ASSERT_EQ(ScriptCount, count);
    }

    HWND Popup() const { return static_cast<HWND>(PickerWindow); }

    // Opens the picker with the selector, as a click on it does.
    HWND OpenPickerNow() {
        PickerClosedTick = TickCount() - 10000;  // long after any close
        Press(ID_SCRIPT_SELECTOR);
        return Popup();
    }

    RECT PopupRect() const {
        RECT rect = {};
        GetWindowRect(Popup(), &rect);
        return rect;
    }

    void Key(WPARAM key) { SendMessageW(Popup(), WM_KEYDOWN, key, 0); }
    void Wheel(short delta) {
        SendMessageW(Popup(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), 0);
    }
    void PointAt(int y) { SendMessageW(Popup(), WM_MOUSEMOVE, 0, MAKELPARAM(20, y)); }
    void ClickAt(int y) { SendMessageW(Popup(), WM_LBUTTONUP, 0, MAKELPARAM(20, y)); }

    // The top of row k on the popup's client area, plus offset.
    static int RowY(int position, int offset = 14) {
        return PICKER_MARGIN + position * PICKER_ROW_HEIGHT + offset;
    }
};

enum CloseWay { BY_ESCAPE, BY_ENTER, BY_CLICK, BY_LOSING_ACTIVATION };

class PickerCloseTest : public PickerTest, public testing::WithParamInterface<CloseWay> {};

}  // namespace

TEST(PickerGeometryTest, HeightsTopsAndRowBoxes) {
    EXPECT_EQ(PickerHeight(3), 92);
    EXPECT_EQ(PickerHeight(8), 232);
    RECT selector = {320, 600, 630, 630};
    RECT roomy = {0, 0, 1280, 1024};
    EXPECT_EQ(PickerTop(selector, 92, roomy), 634);
    RECT tight = {0, 0, 1280, 700};
    EXPECT_EQ(PickerTop(selector, 92, tight), 600 - 4 - 92);
    RECT exact = {0, 0, 1280, 634 + 92};  // reaching the bottom exactly still fits
    EXPECT_EQ(PickerTop(selector, 92, exact), 634);
    RECT box = PickerRowBox(2, 308);
    EXPECT_EQ(box.left, 4);
    EXPECT_EQ(box.top, 60);
    EXPECT_EQ(box.right, 304);
    EXPECT_EQ(box.bottom, 88);
}

TEST_F(PickerTest, ThreeScriptsOpenANinetyTwoPixelPopupUnderTheSelector) {
    OpenWithScripts(3);
    HWND popup = OpenPickerNow();
    ASSERT_NE(popup, nullptr);
    RECT selector;
    GetWindowRect(Control(ID_SCRIPT_SELECTOR), &selector);
    RECT rect = PopupRect();
    EXPECT_EQ(rect.bottom - rect.top, 92);
    EXPECT_EQ(rect.left, selector.left);
    EXPECT_EQ(rect.right, selector.right);
    EXPECT_EQ(rect.top, selector.bottom + 4);
    EXPECT_EQ(PickerTopRow, 0);
    EXPECT_EQ(PickerHighlight, 0);
    EXPECT_TRUE(IsWindowVisible(popup));
    EXPECT_EQ(GetFocus(), popup);
    EXPECT_EQ(GetWindow(popup, GW_OWNER), static_cast<HWND>(MainWindow));
    EXPECT_EQ(GetWindowLongW(popup, GWL_STYLE) & (WS_POPUP | WS_CAPTION | WS_BORDER), WS_POPUP);
    EXPECT_NE(GetWindowLongW(popup, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    EXPECT_EQ(WindowText(popup), u"");
    wchar_t className[64];
    GetClassNameW(popup, className, 64);
    EXPECT_STREQ(className, L"ZentoUpdaterPicker");
    // A second command while it is open opens no second one.
    Press(ID_SCRIPT_SELECTOR);
    EXPECT_EQ(Popup(), popup);
    Wheel(-120);
    EXPECT_EQ(PickerTopRow, 0);  // three rows cannot scroll
}

TEST_F(PickerTest, TwentyScriptsShowEightRowsWithTheChosenOneLast) {
    OpenWithScripts(20);
    SelectScript(11);
    ASSERT_NE(OpenPickerNow(), nullptr);
    RECT rect = PopupRect();
    EXPECT_EQ(rect.bottom - rect.top, 232);
    EXPECT_EQ(PickerTopRow, 4);
    EXPECT_EQ(PickerHighlight, 11);
    Key(VK_ESCAPE);

    SelectScript(10);
    ASSERT_NE(OpenPickerNow(), nullptr);
    EXPECT_EQ(PickerTopRow, 3);
    EXPECT_EQ(PickerHighlight, 10);
    Key(VK_ESCAPE);

    SelectScript(7);
    ASSERT_NE(OpenPickerNow(), nullptr);
    EXPECT_EQ(PickerTopRow, 0);
}

TEST_F(PickerTest, NearTheWorkAreaBottomItOpensAboveTheSelector) {
    OpenWithScripts(3);
    RECT workArea;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    HWND main = static_cast<HWND>(MainWindow);
    RECT window;
    GetWindowRect(main, &window);
    SetWindowPos(main, nullptr, window.left, workArea.bottom - (window.bottom - window.top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    RECT selector;
    GetWindowRect(Control(ID_SCRIPT_SELECTOR), &selector);
    ASSERT_GT(selector.bottom + 4 + 92, workArea.bottom);
    ASSERT_NE(OpenPickerNow(), nullptr);
    RECT rect = PopupRect();
    EXPECT_EQ(rect.bottom, selector.top - 4);
    EXPECT_EQ(rect.top, selector.top - 4 - 92);
}

TEST_F(PickerTest, ThePointerMovesTheHighlightAndTheTopMarginHitsNoRow) {
    OpenWithScripts(5);
    ASSERT_NE(OpenPickerNow(), nullptr);
    PointAt(RowY(2));
    EXPECT_EQ(PickerHighlight, 2);
    PointAt(RowY(3, 0));
    EXPECT_EQ(PickerHighlight, 3);
    PointAt(3);
    EXPECT_EQ(PickerHighlight, 3);
    EXPECT_EQ(PickerRowAt(0), -1);
    EXPECT_EQ(PickerRowAt(3), -1);
    EXPECT_EQ(PickerRowAt(4), 0);
    EXPECT_EQ(PickerRowAt(RowY(5, 0)), -1);  // past the last script
    ClickAt(2);
    EXPECT_NE(Popup(), nullptr);
    EXPECT_EQ(SelectedScript, 0);
}

TEST_F(PickerTest, ArrowKeysMoveTheHighlightAndScrollByOne) {
    OpenWithScripts(20);
    ASSERT_NE(OpenPickerNow(), nullptr);
    for (int i = 0; i < 7; ++i) Key(VK_DOWN);
    EXPECT_EQ(PickerHighlight, 7);
    EXPECT_EQ(PickerTopRow, 0);
    Key(VK_DOWN);  // from the last visible row: scrolls by one
    EXPECT_EQ(PickerHighlight, 8);
    EXPECT_EQ(PickerTopRow, 1);
    for (int i = 0; i < 8; ++i) Key(VK_UP);
    EXPECT_EQ(PickerHighlight, 0);
    EXPECT_EQ(PickerTopRow, 0);
    Key(VK_UP);
    EXPECT_EQ(PickerHighlight, 0);
    MovePickerHighlight(19);
    EXPECT_EQ(PickerTopRow, 12);
    Key(VK_DOWN);  // on the last script: nothing
    EXPECT_EQ(PickerHighlight, 19);
    EXPECT_EQ(PickerTopRow, 12);
    Key('A');
    EXPECT_EQ(PickerHighlight, 19);
    EXPECT_NE(Popup(), nullptr);
}

TEST_F(PickerTest, TheWheelScrollsOneRowPerNotchBetweenTheEnds) {
    OpenWithScripts(20);
    ASSERT_NE(OpenPickerNow(), nullptr);
    Wheel(-120);
    EXPECT_EQ(PickerTopRow, 1);
    Wheel(-360);  // one row whatever the delta
    EXPECT_EQ(PickerTopRow, 2);
    Wheel(0);
    EXPECT_EQ(PickerTopRow, 3);
    for (int i = 0; i < 30; ++i) Wheel(-120);
    EXPECT_EQ(PickerTopRow, 12);
    Wheel(120);
    EXPECT_EQ(PickerTopRow, 11);
    for (int i = 0; i < 30; ++i) Wheel(120);
    EXPECT_EQ(PickerTopRow, 0);
    EXPECT_EQ(PickerHighlight, 0);  // the highlight stays where it was
}

TEST_F(PickerTest, EnterWithoutAHighlightDoesNothing) {
    OpenWithScripts(3);
    SelectScript(-1);
    ASSERT_NE(OpenPickerNow(), nullptr);
    EXPECT_EQ(PickerHighlight, -1);
    Key(VK_RETURN);
    EXPECT_NE(Popup(), nullptr);
    EXPECT_EQ(SelectedScript, -1);
}

TEST_F(PickerTest, TheSelectorTogglesThePickerShutWithinTheReopenTime) {
    OpenWithScripts(3);
    ASSERT_NE(OpenPickerNow(), nullptr);
    // Pressing the selector first takes the activation back to the window.
    SetActiveWindow(static_cast<HWND>(MainWindow));
    EXPECT_EQ(Popup(), nullptr);
    Press(ID_SCRIPT_SELECTOR);
    EXPECT_EQ(Popup(), nullptr);
    PumpFor(PICKER_REOPEN_MS + 50);
    Press(ID_SCRIPT_SELECTOR);
    EXPECT_NE(Popup(), nullptr);
}

TEST_F(PickerTest, NothingOpensWhileAWorkerRuns) {
    OpenWithScripts(3);
    WorkerBusy = 1;
    PickerClosedTick = TickCount() - 10000;
    Press(ID_SCRIPT_SELECTOR);
    EXPECT_EQ(Popup(), nullptr);
    WorkerBusy = 0;
}

TEST_F(PickerTest, ItPaintsRowsTheHighlightTheMarkAndItsFrame) {
    OpenWithScripts(3);
    HWND popup = OpenPickerNow();
    ASSERT_NE(popup, nullptr);
    RECT client;
    GetClientRect(popup, &client);
    PixelCanvas picture(client.right, client.bottom);
    auto expectAt = [&](int x, int y, COLORREF colour, int tolerance) {
        EXPECT_LE(ColourDistance(picture.At(x, y), colour), tolerance)
            << x << "," << y << std::hex << " got " << picture.At(x, y);
    };
    PumpFor(50);
    picture.CaptureWindow(popup);
    expectAt(0, 0, RGB(70, 75, 84), 0);  // the square frame
    expectAt(client.right - 1, client.bottom - 1, RGB(70, 75, 84), 0);
    expectAt(2, 2, RGB(22, 24, 27), 0);                      // the background
    expectAt(14, RowY(0, 2), RGB(40, 70, 115), 2);           // row 0: highlighted
    expectAt(4 + 4, RowY(0, 0) + 14, RGB(245, 150, 45), 0);  // and chosen: the mark
    expectAt(14, RowY(1, 2), RGB(22, 24, 27), 0);            // row 1: plain
    EXPECT_GT(picture.CountNear({18, RowY(1, 0), 150, RowY(2, 0)}, RGB(255, 255, 255), 40), 10);
    EXPECT_GT(
        picture.CountNear({200, RowY(1, 0), client.right - 10, RowY(2, 0)}, RGB(140, 140, 140), 30),
        3);  // "Not installed"

    PointAt(RowY(1));
    PumpFor(50);
    picture.CaptureWindow(popup);
    expectAt(14, RowY(1, 2), RGB(40, 70, 115), 2);
    expectAt(14, RowY(0, 2), RGB(22, 24, 27), 0);
    expectAt(4 + 4, RowY(0, 0) + 14, RGB(245, 150, 45), 0);  // the mark stays with the chosen

    bool ready = GdiplusReady;
    GdiplusReady = false;  // as without gdiplus.dll: a square highlight with its border
    InvalidateRect(popup, nullptr, FALSE);
    PumpFor(50);
    picture.CaptureWindow(popup);
    GdiplusReady = ready;
    expectAt(4, RowY(1, 0), RGB(55, 95, 150), 0);
}

TEST_P(PickerCloseTest, EveryCloseRunsOnceAndThePickerOpensAgain) {
    OpenWithScripts(5);
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                 nullptr, nullptr, AppInstance, nullptr);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        HWND popup = OpenPickerNow();
        ASSERT_NE(popup, nullptr);
        ValidateRect(Control(ID_SCRIPT_SELECTOR), nullptr);
        uint32_t before = TickCount();
        int chosen = SelectedScript;
        switch (GetParam()) {
            case BY_ESCAPE:
                Key(VK_ESCAPE);
                break;
            case BY_ENTER:
                Key(VK_DOWN);
                chosen = PickerHighlight;
                Key(VK_RETURN);
                break;
            case BY_CLICK:
                chosen = (SelectedScript + 2) % 5;
                ClickAt(RowY(chosen - PickerTopRow));
                break;
            case BY_LOSING_ACTIVATION:
                SetActiveWindow(other);
                break;
        }
        // Every way closes at once, inside the message that asked for it.
        RECT dirty;
        EXPECT_TRUE(GetUpdateRect(Control(ID_SCRIPT_SELECTOR), &dirty, FALSE));
        EXPECT_EQ(Popup(), nullptr);
        EXPECT_FALSE(IsWindow(popup));
        EXPECT_LT(PickerClosedTick - before, 5000u);  // stamped by this close
        EXPECT_EQ(SelectedScript, chosen);
        if (GetParam() == BY_ENTER || GetParam() == BY_CLICK) {
            EXPECT_EQ(LastSetting(), std::u16string(ScriptTable[chosen].name));
        }
        // At once the selector does not open it again; a moment later it does.
        Press(ID_SCRIPT_SELECTOR);
        EXPECT_EQ(Popup(), nullptr);
        PumpFor(PICKER_REOPEN_MS + 30);
        Press(ID_SCRIPT_SELECTOR);
        ASSERT_NE(Popup(), nullptr);
        Key(VK_ESCAPE);
        SetActiveWindow(static_cast<HWND>(MainWindow));
    }
    DestroyWindow(other);
}

static std::string CloseWayName(const testing::TestParamInfo<CloseWay>& info) {
    static const char* const names[] = {"Escape", "Enter", "ClickOnARow", "LossOfActivation"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Ways, PickerCloseTest,
                         testing::Values(BY_ESCAPE, BY_ENTER, BY_CLICK, BY_LOSING_ACTIVATION),
                         CloseWayName);

TEST_F(PickerTest, ADeactivationWhileItIsBeingDestroyedDoesNotCloseItTwice) {
    OpenWithScripts(3);
    HWND popup = OpenPickerNow();
    ASSERT_NE(popup, nullptr);
    // What the system may send while DestroyWindow runs, sent by hand: the
    // close it starts must not start a second one.
    SendMessageW(popup, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(Popup(), nullptr);
    EXPECT_FALSE(IsWindow(popup));
    SendMessageW(popup, WM_ACTIVATE, WA_INACTIVE, 0);  // to a window that is gone
    PumpFor(PICKER_REOPEN_MS + 30);
    Press(ID_SCRIPT_SELECTOR);
    EXPECT_NE(Popup(), nullptr);
}

TEST_F(PickerTest, ChoosingARowSelectsItRecordsItAndShowsItsFiles) {
    OpenWithScripts(5);
    ASSERT_NE(OpenPickerNow(), nullptr);
    ClickAt(RowY(3));
    EXPECT_EQ(Popup(), nullptr);
    EXPECT_EQ(SelectedScript, 3);
    EXPECT_EQ(LastSetting(), u"Script 103");
    EXPECT_EQ(ListRowCount(), 1);
    EXPECT_EQ(ControlText(ID_DETAILS).substr(0, 12), u"Script 103\r\n");
}
