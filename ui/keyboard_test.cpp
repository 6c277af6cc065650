// The keyboard as a dialog gives it: the focus rule, the picker's extra keys
// and type-ahead as tables; then the window itself: the focus across a
// deactivation, the buttons' dialog codes and styles, and the focus rings:
// the buttons' over their outer pixels only, the list's around it. The keys
// pressed for real, and the focus they move, are the end-to-end run's.
#include "ui/keyboard.h"

#include <string>

#include "app/shared_state.h"
#include "catalog/catalog.h"
#include "tests/ui_support/test_window.h"
#include "ui/focus_ring.h"
#include "ui/main_window.h"
#include "ui/texts.h"

namespace {

const int NONE = 0, LIST = ID_FILE_LIST, SELECTOR = ID_SCRIPT_SELECTOR, DOWNLOAD = ID_DOWNLOAD,
          CLOSE = ID_CLOSE;

TEST(FocusRuleTest, MovesTheFocusOnlyOffWhatIsDisabledOrParked) {
    struct Row {
        FocusFacts facts;
        int target;
    } rows[] = {
        // Nothing focused: the first enabled of Download, the selector, the list.
        {{NONE, false, false, true, true}, DOWNLOAD},
        {{NONE, false, false, false, true}, SELECTOR},
        {{NONE, false, true, false, false}, LIST},
        // Losing the focus to a disabling: Cancel while busy, else the first.
        {{DOWNLOAD, false, true, false, false}, CLOSE},
        {{SELECTOR, false, true, false, false}, CLOSE},
        {{DOWNLOAD, false, false, false, true}, SELECTOR},
        // An enabled holder keeps it, busy or not.
        {{DOWNLOAD, false, false, true, true}, NONE},
        {{CLOSE, false, true, false, false}, NONE},
        {{LIST, false, false, true, true}, NONE},
        {{ID_DETAILS, false, false, false, true}, NONE},
        // A parked focus waits for the end of the run, then moves on.
        {{CLOSE, true, true, false, false}, NONE},
        {{CLOSE, true, false, true, true}, DOWNLOAD},
        {{CLOSE, true, false, false, true}, SELECTOR},
        {{LIST, true, false, false, false}, NONE},  // already the first enabled
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FocusTarget(row.facts), row.target)
            << row.facts.focused << " parked " << row.facts.parked << " busy " << row.facts.busy
            << " download " << row.facts.downloadEnabled << " selector "
            << row.facts.selectorEnabled;
    }
}

TEST(PickerKeysTest, HomeEndPagesAndTheKeysThatOpenAndCloseIt) {
    struct Row {
        UINT message;
        WPARAM key;
        int highlight, count, visible, target;
    } rows[] = {
        {WM_KEYDOWN, VK_HOME, 7, 20, 8, 0},
        {WM_KEYDOWN, VK_END, 3, 20, 8, 19},
        {WM_KEYDOWN, VK_NEXT, 3, 20, 8, 11},
        {WM_KEYDOWN, VK_NEXT, 15, 20, 8, 19},  // stops at the last
        {WM_KEYDOWN, VK_PRIOR, 11, 20, 8, 3},
        {WM_KEYDOWN, VK_PRIOR, 5, 20, 8, 0},  // stops at the first
        {WM_KEYDOWN, VK_NEXT, -1, 3, 3, 2},   // from no highlight
        {WM_KEYDOWN, VK_F4, 2, 3, 3, PICKER_KEY_CLOSES},
        {WM_SYSKEYDOWN, VK_UP, 2, 3, 3, PICKER_KEY_CLOSES},
        {WM_SYSKEYDOWN, VK_DOWN, 2, 3, 3, PICKER_KEY_CLOSES},
        {WM_SYSKEYDOWN, VK_F4, 2, 3, 3, PICKER_KEY_IGNORED},  // Alt+F4 is the system's
        {WM_KEYDOWN, VK_UP, 2, 3, 3, PICKER_KEY_IGNORED},     // the picker's own arrows
        {WM_KEYDOWN, VK_DOWN, 2, 3, 3, PICKER_KEY_IGNORED},
        {WM_KEYDOWN, VK_HOME, -1, 0, 0, PICKER_KEY_IGNORED},  // no scripts
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PickerKeyTarget(row.message, row.key, row.highlight, row.count, row.visible),
                  row.target)
            << row.message << " key " << row.key << " from " << row.highlight;
        // The selector opens on the keys that close the picker, as a drop-down does.
        EXPECT_EQ(SelectorOpensOn(row.message, row.key), row.target == PICKER_KEY_CLOSES)
            << row.message << " key " << row.key;
    }
}

TEST(TypeAheadTest, FindsTheNextNameByItsFirstLettersWhateverTheCase) {
    const char16_t* names[] = {u"Auto Loot",  u"Bite Chime", u"bar",
                               u"Combat Log", u"auction",    u"\u00c9clair"};
    const int count = 6;
    struct Step {
        char16_t c;
        uint32_t tick;
        int current, found;
    } steps[] = {
        {u'b', 1000, 0, 1},       // the next name with b after the highlight
        {u'a', 1100, 1, 2},       // "ba": Bite Chime does not fit, bar does
        {u'x', 1200, 2, -1},      // "bax": nothing
        {u'a', 5000, 2, 4},       // after a pause a new search: auction
        {u'a', 5100, 4, 0},       // the same letter again: the next, around the end
        {u'a', 5200, 0, 4},       // and again
        {u'a', 7000, 0, 4},       // after a pause...
        {u'u', 7100, 4, 4},       // ..."au" refines from the highlight itself
        {u't', 7200, 4, 0},       // ..."aut" moves on, around the end
        {u'\u00e9', 9000, 3, 5},  // beyond ASCII, case-insensitive
        {u'B', 12000, -1, 1},     // from no highlight
    };
    TypeAhead state = {};
    for (const Step& step : steps) {
        EXPECT_EQ(TypeAheadFind(state, step.c, step.tick, names, count, step.current), step.found)
            << "typing " << static_cast<int>(step.c) << " at " << step.tick;
    }
}

TEST(FocusRingTest, ShowsOnlyWithTheFocusAndTheCuesOn) {
    EXPECT_TRUE(ShowsFocusRing(ODS_FOCUS, 0));
    EXPECT_TRUE(ShowsFocusRing(ODS_FOCUS | ODS_SELECTED, UISF_HIDEACCEL));
    EXPECT_FALSE(ShowsFocusRing(0, 0));
    EXPECT_FALSE(ShowsFocusRing(ODS_FOCUS | ODS_NOFOCUSRECT, 0));
    EXPECT_FALSE(ShowsFocusRing(ODS_FOCUS, UISF_HIDEFOCUS));
}

std::vector<CatalogScript> Scripts() {
    return {
        {"Auto Loot", "1.0", "", {}, {{"main.lua", "auto", false}}},
        {"Bite Chime", "1.0", "", {}, {{"main.lua", "bite", false}}},
        {"Combat Log", "1.0", "", {}, {{"main.lua", "combat", false}}},
    };
}

WNDPROC ButtonProc;

LRESULT CALLBACK CuesHiddenProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYUISTATE) return UISF_HIDEFOCUS;
    return CallWindowProcW(ButtonProc, window, message, wParam, lParam);
}

class KeyboardTest : public WindowTest {
protected:
    HWND Open() {
        WriteServerFolder(ServerDir(), Scripts());
        HWND main = OpenAfterCheck(ServerDirPath());
        SetForegroundWindow(main);
        PumpFor(100);
        return main;
    }
};

}  // namespace

TEST_F(KeyboardTest, TheFocusComesBackAfterADeactivationAndPassesOnFromTheWindow) {
    HWND main = Open();
    ASSERT_EQ(GetActiveWindow(), main);
    // What had the focus has it again after a deactivation.
    SetFocus(Control(ID_CLOSE));
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                 nullptr, nullptr, nullptr, nullptr);
    SetActiveWindow(other);
    PumpFor(50);
    EXPECT_NE(GetFocus(), Control(ID_CLOSE));
    SetActiveWindow(main);
    PumpFor(50);
    EXPECT_EQ(GetFocus(), Control(ID_CLOSE));
    DestroyWindow(other);
    // The main window itself handed the focus passes it on.
    SetFocus(main);
    EXPECT_EQ(GetFocus(), Control(ID_CLOSE));
}

TEST_F(KeyboardTest, TheButtonsAnswerAsPushButtonsAndStayOwnerDrawn) {
    Open();
    HWND download = Control(ID_DOWNLOAD), close = Control(ID_CLOSE);
    SetFocus(download);
    EXPECT_EQ(SendMessageW(download, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
    EXPECT_EQ(SendMessageW(close, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON);
    SendMessageW(close, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_EQ(GetWindowLongW(close, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    // No Download to press: Enter from the list does nothing.
    SelectScript(-1);
    EXPECT_EQ(SendMessageW(static_cast<HWND>(MainWindow), DM_GETDEFID, 0, 0), 0);
}

TEST_F(KeyboardTest, TheRingsCoverTheOuterPixelsOnlyAndHideWithTheCues) {
    HWND main = Open();
    auto light = [](COLORREF colour) { return ColourDistance(colour, RGB(255, 255, 255)) <= 16; };
    for (int id : {ID_SCRIPT_SELECTOR, ID_DOWNLOAD, ID_CLOSE}) {
        SCOPED_TRACE(id);
        PixelCanvas plain(150, 36), focused(150, 36);
        DrawControlInto(plain, id, 0);
        DrawControlInto(focused, id, ODS_FOCUS);
        int changedInside = 0;
        for (int y = 3; y < 33; ++y) {
            for (int x = 3; x < 147; ++x) {
                // The ring follows the rounded corners inwards.
                bool corner = (x < 8 || x >= 142) && (y < 8 || y >= 28);
                if (!corner && focused.At(x, y) != plain.At(x, y)) ++changedInside;
            }
        }
        EXPECT_EQ(changedInside, 0);
        // The ring along every edge, light against the dark pixel inside it.
        for (POINT at : {POINT{75, 0}, POINT{75, 1}, POINT{0, 18}, POINT{148, 18}, POINT{75, 35}}) {
            EXPECT_TRUE(light(focused.At(at.x, at.y))) << at.x << "," << at.y;
        }
        EXPECT_FALSE(light(focused.At(75, 2)));
    }
    // Focus cues hidden in the UI state, as Windows reports it (Wine always
    // reports them shown, so the button is made to say so), hide it too.
    HWND download = Control(ID_DOWNLOAD);
    ButtonProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(download, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CuesHiddenProc)));
    PixelCanvas plain(150, 36), focused(150, 36);
    DrawControlInto(plain, ID_DOWNLOAD, 0);
    DrawControlInto(focused, ID_DOWNLOAD, ODS_FOCUS);
    SetWindowLongPtrW(download, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ButtonProc));
    EXPECT_EQ(focused.At(75, 1), plain.At(75, 1));

    // The list's ring is the window's, around it while it has the focus.
    HWND list = Control(ID_FILE_LIST);
    RECT rect;
    GetWindowRect(list, &rect);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&rect), 2);
    PixelCanvas window(CLIENT_WIDTH, CLIENT_HEIGHT);
    for (bool onList : {true, false, true}) {
        SetFocus(onList ? list : download);
        PumpFor(50);
        window.CaptureWindow(main);
        int y = (rect.top + rect.bottom) / 2;
        EXPECT_EQ(light(window.At(rect.left - 3, y)), onList);
        EXPECT_EQ(light(window.At(rect.left - 2, y)), onList);
        EXPECT_FALSE(light(window.At(rect.left - 1, y)));
    }
}
