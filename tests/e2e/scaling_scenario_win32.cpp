// Display scaling from outside: Updater.exe on a screen of 144 DPI (150 %),
// in a Wine prefix of its own whose LogPixels the build set to 144. The
// window must be laid out for it: every figure 1.5 times its 96-DPI value,
// and the picker's rows with it.
#include <stdio.h>

#include "app/shared_state.h"
#include "tests/e2e/driver_win32.h"
#include "tests/ui_support/window_checks_win32.h"
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
        std::string differences = LayoutDifferences(program.main, ScreenDpi);
        Check(differences.empty(), "the window is laid out for 144 DPI: " + differences);
        Shoot(program, "ready");
        CheckPicker(program);
        CloseWithTheButton(program);
    }
    Finish(program);
}

}  // namespace e2e
