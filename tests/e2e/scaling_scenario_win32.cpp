// Display scaling from outside: Updater.exe on a screen of 144 DPI (150 %),
// in a Wine prefix of its own whose LogPixels the build set to 144. The
// window must be laid out for it: every figure 1.5 times its 96-DPI value,
// and the picker's rows with it.
#include <stdio.h>

#include "tests/e2e/driver_win32.h"
// clang-format off
#include <commctrl.h>
// clang-format on

#include "app/shared_state.h"
#include "ui/main_window.h"
#include "ui/picker.h"
#include "ui/scale.h"

namespace e2e {

namespace {

const int ScreenDpi = 144;

int AtScreenDpi(int figure) {
    return MulDiv(figure, ScreenDpi, 96);
}

std::string Describe(const RECT& rect) {
    char text[80];
    snprintf(text, sizeof text, "(%ld,%ld)-(%ld,%ld)", rect.left, rect.top, rect.right,
             rect.bottom);
    return text;
}

RECT ClientRectOf(const Program& program, int id) {
    RECT rect;
    GetWindowRect(GetDlgItem(program.main, id), &rect);
    MapWindowPoints(nullptr, program.main, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, 0, SMTO_ABORTIFHUNG, 5000, &result);
    return static_cast<LRESULT>(result);
}

void CheckLayout(const Program& program) {
    RECT client;
    GetClientRect(program.main, &client);
    Check(client.right == 960 && client.bottom == 570,
          "the client area is 960 x 570: " + Describe(client));
    for (const ControlFigures& figures : ControlLayout) {
        RECT expected = {AtScreenDpi(figures.x), AtScreenDpi(figures.y),
                         AtScreenDpi(figures.x) + AtScreenDpi(figures.width),
                         AtScreenDpi(figures.y) + AtScreenDpi(figures.height)};
        RECT actual = ClientRectOf(program, figures.id);
        Check(EqualRect(&actual, &expected) != FALSE, "control " + std::to_string(figures.id) +
                                                          " is at " + Describe(actual) + ", not " +
                                                          Describe(expected));
    }
    HWND list = GetDlgItem(program.main, ID_FILE_LIST);
    Check(Ask(list, LVM_GETCOLUMNWIDTH, 0) == AtScreenDpi(NAME_COLUMN_WIDTH) &&
              Ask(list, LVM_GETCOLUMNWIDTH, 1) == AtScreenDpi(STATUS_COLUMN_WIDTH),
          "the list's columns are scaled");
    LRESULT margins = Ask(GetDlgItem(program.main, ID_DETAILS), EM_GETMARGINS, 0);
    Check(LOWORD(margins) == AtScreenDpi(DETAILS_MARGIN) &&
              HIWORD(margins) == AtScreenDpi(DETAILS_MARGIN),
          "the details pane's margins are scaled");
}

void CheckPicker(const Program& program) {
    if (!OpenPicker(program)) return;
    RECT popup, selector;
    GetWindowRect(Picker(program), &popup);
    GetWindowRect(GetDlgItem(program.main, ID_SCRIPT_SELECTOR), &selector);
    // Five demo scripts: five rows and the two margins, 4 pixels under the selector.
    int rows = 5;
    Check(popup.bottom - popup.top ==
              rows * AtScreenDpi(PICKER_ROW_HEIGHT) + 2 * AtScreenDpi(PICKER_MARGIN),
          "the picker's rows are scaled: " + Describe(popup));
    Check(popup.top == selector.bottom + AtScreenDpi(PICKER_MARGIN) &&
              popup.right - popup.left == selector.right - selector.left,
          "the picker hangs under the selector: " + Describe(popup));
    Shoot(program, "picker");
    PressKey(VK_ESCAPE);
    WaitFor([&] { return Picker(program) == nullptr; }, 5000, "Escape to close the picker");
}

}  // namespace

void DisplayScaling() {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (!Check(dpi == ScreenDpi, "this prefix's screen is at " + std::to_string(dpi) +
                                     " DPI, not 144: LogPixels was not set")) {
        return;
    }
    PlaceInstalledScripts(Run.work / "scripts");
    WriteSettings(Run.demo.wstring(), L"");
    Program program;
    if (Launch(program) && WaitUntilReady(program)) {
        CheckLayout(program);
        Shoot(program, "ready");
        CheckPicker(program);
        CloseWithTheButton(program);
    }
    Finish(program);
}

}  // namespace e2e
