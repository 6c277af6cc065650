// Display settings in process: high contrast through the test switch (Wine
// cannot turn it on), in a scheme of distinct system colours, element by
// element on the screen; and a change of DPI, which lays out, sizes and
// re-fonts everything, and back to 96 DPI exactly as before.
#include "ui/display_settings.h"

#include <commctrl.h>
#include <stdlib.h>

#include "app/contrast_test_hooks.h"
#include "app/contrast_win32.h"
#include "app/resources_win32.h"
#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "tests/e2e/png_writer.h"
#include "tests/ui_support/test_window.h"
#include "tests/ui_support/window_checks_win32.h"
#include "ui/main_window.h"
#include "ui/picker.h"
#include "ui/scale.h"
#include "ui/texts.h"

namespace {

// A high-contrast scheme whose colours all differ, so that every element
// shows which one it took. Set for the session, as the user's scheme would
// be (SetSysColors tells every window, ours with WM_SYSCOLORCHANGE), and
// put back afterwards together with the switch.
class HighContrastScheme {
public:
    HighContrastScheme() {
        for (int i = 0; i < Count; ++i) saved_[i] = GetSysColor(Elements[i]);
        SetSysColors(Count, Elements, Scheme);
    }
    ~HighContrastScheme() {
        HighContrastPretendForTests(-1);
        SetSysColors(Count, Elements, saved_);
        RefreshHighContrast();
    }

    static constexpr int Count = 8;
    static constexpr INT Elements[Count] = {COLOR_WINDOW,        COLOR_WINDOWTEXT, COLOR_HIGHLIGHT,
                                            COLOR_HIGHLIGHTTEXT, COLOR_BTNFACE,    COLOR_BTNTEXT,
                                            COLOR_GRAYTEXT,      COLOR_HOTLIGHT};
    static constexpr COLORREF Scheme[Count] = {
        RGB(0, 0, 0),    RGB(255, 255, 255), RGB(26, 235, 255), RGB(0, 0, 110),
        RGB(48, 48, 48), RGB(255, 255, 140), RGB(63, 242, 63),  RGB(255, 200, 0)};

private:
    COLORREF saved_[Count];
};

std::vector<CatalogScript> TwoScripts() {
    return {{"Alpha",
             "1.0",
             "First script.",
             {},
             {{"main.lua", "-- alpha\n", false}, {"util.lua", "-- util\n", false}}},
            {"Bravo", "2.0", "", {}, {{"bravo.lua", "-- bravo\n", false}}}};
}

class DisplaySettingsTest : public WindowTest {
protected:
    // Alpha has an update waiting, so Download is enabled; its first row
    // is selected and bar 1 is half full with a text over both parts.
    HWND OpenWithAlpha() {
        std::vector<CatalogScript> scripts = TwoScripts();
        WriteServerFolder(ServerDir(), scripts);
        PlaceFile(ScriptsDir(), scripts[0], scripts[0].files[0], "-- alpha old\n");
        HWND main = OpenAfterCheck(ServerDirPath());
        LVITEMW select = {};
        select.stateMask = LVIS_SELECTED;
        select.state = LVIS_SELECTED;
        SendMessageW(Control(ID_FILE_LIST), LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));
        ProgressBars[1].Permille = 500;
        SetProgressText(1, u"%s", u"Half way there");
        SetForegroundWindow(main);
        PumpFor(100);
        return main;
    }

    // Saves what the screen shows of the window and the picker, when a
    // screenshot folder is named (the build names its own).
    void SaveScreenshot(const char* name) {
        const char* folder = getenv("UPDATER_SCREENSHOTS");
        if (folder == nullptr) return;
        RECT area;
        GetWindowRect(static_cast<HWND>(MainWindow), &area);
        if (PickerWindow != nullptr) {
            RECT popup;
            GetWindowRect(static_cast<HWND>(PickerWindow), &popup);
            UnionRect(&area, &area, &popup);
        }
        std::wstring path = L"Z:";
        for (const char* c = folder; *c != 0; ++c) path += *c == '/' ? L'\\' : wchar_t(*c);
        CreateDirectoryW(path.c_str(), nullptr);
        path += L"\\";
        for (const char* c = name; *c != 0; ++c) path += wchar_t(*c);
        EXPECT_TRUE(
            WritePng(path, area.right - area.left, area.bottom - area.top, ScreenRgb(area)));
    }
};

struct Element {
    const char* what;
    RECT area;    // in client pixels at 96 DPI
    int system;   // the COLOR_... it must show
    int atLeast;  // pixels of it in the area
};

// Where each part of the window shows which system colour, for the window
// that OpenWithAlpha makes.
const Element Elements[] = {
    {"window background", {2, 372, 8, 378}, COLOR_WINDOW, 36},
    {"header band", {300, 2, 310, 4}, COLOR_WINDOW, 20},
    {"line under the header", {300, 51, 310, 52}, COLOR_WINDOWTEXT, 10},
    {"title", {56, 7, 300, 30}, COLOR_WINDOWTEXT, 20},
    {"author", {540, 0, 625, 52}, COLOR_HOTLIGHT, 10},
    {"summary", {57, 28, 300, 46}, COLOR_WINDOWTEXT, 10},
    {"line under the captions", {100, 89, 110, 90}, COLOR_WINDOWTEXT, 10},
    {"column caption", {20, 64, 214, 88}, COLOR_WINDOWTEXT, 5},
    {"selected row", {20, 91, 200, 104}, COLOR_HIGHLIGHT, 200},
    {"selected row's text", {20, 91, 200, 104}, COLOR_HIGHLIGHTTEXT, 5},
    {"list background", {20, 200, 300, 360}, COLOR_WINDOW, 5000},
    {"second row's status", {220, 108, 300, 122}, COLOR_WINDOWTEXT, 5},
    {"details text", {330, 70, 620, 90}, COLOR_WINDOWTEXT, 10},
    {"details panel frame", {450, 60, 451, 62}, COLOR_WINDOWTEXT, 1},
    {"bar's filled part", {322, 270, 470, 272}, COLOR_HIGHLIGHT, 200},
    {"bar text over the fill", {330, 268, 475, 290}, COLOR_HIGHLIGHTTEXT, 10},
    {"bar's empty part", {480, 270, 620, 288}, COLOR_WINDOW, 1500},
    {"selector's script name", {332, 298, 500, 324}, COLOR_WINDOWTEXT, 10},
    {"Download's fill", {330, 336, 340, 364}, COLOR_HIGHLIGHT, 250},
    {"Download's caption", {320, 332, 470, 368}, COLOR_HIGHLIGHTTEXT, 10},
    {"Close's fill", {515, 336, 525, 364}, COLOR_BTNFACE, 250},
    {"Close's caption", {510, 332, 630, 368}, COLOR_BTNTEXT, 10},
};

TEST_F(DisplaySettingsTest, HighContrastPaintsEachPartInItsSystemColourAndFollowsTheSetting) {
    HighContrastScheme scheme;
    HWND main = OpenWithAlpha();
    // The palette's header band and Download's gradient, to compare with.
    PixelCanvas palette(CLIENT_WIDTH, CLIENT_HEIGHT), client(CLIENT_WIDTH, CLIENT_HEIGHT);
    palette.CaptureWindow(main);
    auto inPalette = [&] {
        return client.At(300, 3) == palette.At(300, 3) &&
               client.At(330, 350) == palette.At(330, 350);
    };
    LRESULT paletteList = SendMessageW(Control(ID_FILE_LIST), LVM_GETBKCOLOR, 0, 0);

    // The setting turns on: nothing changes until the system says so.
    HighContrastPretendForTests(1);
    InvalidateRect(main, nullptr, TRUE);
    client.CaptureWindow(main);
    EXPECT_TRUE(inPalette()) << "until the change is announced";

    SendMessageW(main, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    PumpFor(100);
    client.CaptureWindow(main);
    for (const Element& element : Elements) {
        SCOPED_TRACE(element.what);
        EXPECT_GE(client.CountNear(element.area, GetSysColor(element.system), 24), element.atLeast);
    }
    // The details pane and the list take the colours through their own
    // messages, not only the painting.
    EXPECT_EQ(SendMessageW(Control(ID_FILE_LIST), LVM_GETBKCOLOR, 0, 0),
              static_cast<LRESULT>(GetSysColor(COLOR_WINDOW)));

    SaveScreenshot("high-contrast-window.png");

    // A disabled button is grey text on button face.
    PixelCanvas button(150, 36);
    DrawControlInto(button, ID_DOWNLOAD, ODS_DISABLED);
    EXPECT_EQ(button.At(10, 18), GetSysColor(COLOR_BTNFACE));
    EXPECT_GT(button.CountNear({0, 0, 150, 36}, GetSysColor(COLOR_GRAYTEXT), 24), 10);

    // The picker's highlighted row: highlight, with the highlight's text.
    PickerClosedTick = TickCount() - 10000;
    Press(ID_SCRIPT_SELECTOR);
    PumpFor(100);
    ASSERT_NE(PickerWindow, nullptr);
    HWND popup = static_cast<HWND>(PickerWindow);
    PixelCanvas picker(310, PickerHeight(2));
    picker.CaptureWindow(popup);
    RECT highlighted = PickerRowBox(0, 310);
    EXPECT_GT(picker.CountNear(highlighted, GetSysColor(COLOR_HIGHLIGHT), 24), 2000);
    EXPECT_GT(picker.CountNear(highlighted, GetSysColor(COLOR_HIGHLIGHTTEXT), 24), 20);
    EXPECT_GT(picker.CountNear(PickerRowBox(1, 310), GetSysColor(COLOR_WINDOWTEXT), 24), 20);
    SaveScreenshot("high-contrast-picker.png");
    ClosePicker();

    // Off again: the palette is back without a restart.
    HighContrastPretendForTests(0);
    SendMessageW(main, WM_SYSCOLORCHANGE, 0, 0);
    PumpFor(100);
    client.CaptureWindow(main);
    EXPECT_TRUE(inPalette());
    EXPECT_EQ(SendMessageW(Control(ID_FILE_LIST), LVM_GETBKCOLOR, 0, 0), paletteList);
}

LONG FontHeight(HFONT font) {
    LOGFONTW logical = {};
    GetObjectW(font, sizeof logical, &logical);
    return labs(logical.lfHeight);
}

int IconWidth(HICON icon) {
    ICONINFO info = {};
    GetIconInfo(icon, &info);
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

TEST_F(DisplaySettingsTest, AChangeOfDpiLaysOutAndRefontsEverythingAndComesBackExactly) {
    HWND main = OpenWithAlpha();
    EXPECT_EQ(LayoutDifferences(main, 96), "");
    LONG normalAt96 = FontHeight(NormalFont), titleAt96 = FontHeight(TitleFont);
    RECT frame, client;
    GetWindowRect(main, &frame);
    GetClientRect(main, &client);
    for (int dpi : {144, 120, 96}) {
        SCOPED_TRACE(dpi);
        auto at = [dpi](int figure) { return MulDiv(figure, dpi, 96); };
        // The rectangle the system would suggest: the same frame around
        // the client area at the new DPI.
        RECT suggested = frame;
        suggested.right += at(CLIENT_WIDTH) - client.right;
        suggested.bottom += at(CLIENT_HEIGHT) - client.bottom;
        SendMessageW(main, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(LayoutDifferences(main, dpi), "");
        for (const ControlFigures& figures : ControlLayout) {
            EXPECT_EQ(SendMessageW(ControlWindow(figures.id), WM_GETFONT, 0, 0),
                      reinterpret_cast<LRESULT>(NormalFont));
        }
        EXPECT_NEAR(FontHeight(NormalFont), at(normalAt96), 1);
        EXPECT_NEAR(FontHeight(TitleFont), at(titleAt96), 1);
        EXPECT_EQ(IconWidth(AppIcon), at(32));
        // The picker finds its two rows at the scaled pitch under the
        // scaled margin, and nothing in the margins.
        int margin = at(PICKER_MARGIN), row = at(PICKER_ROW_HEIGHT);
        const int rowAt[][2] = {{margin - 1, -1},          {margin, 0},
                                {margin + row - 1, 0},     {margin + row, 1},
                                {margin + 2 * row - 1, 1}, {margin + 2 * row, -1}};
        for (const auto& c : rowAt) EXPECT_EQ(PickerRowAt(c[0]), c[1]) << c[0];
        EXPECT_EQ(PickerRowBox(1, 300).bottom, margin + 2 * row);
    }
}

}  // namespace
