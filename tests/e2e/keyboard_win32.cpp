// The window worked with the keyboard alone, with real key presses: where
// the focus starts, a Tab round with the focus ring on the screen, the
// selector's drop-down keys and the picker's keys, Enter from the list,
// Space on Install then Escape as Cancel, Enter on the close question, Tab
// out of the details pane, and Escape closing the idle window from it.
#include "app/shared_state.h"
#include "tests/e2e/driver_win32.h"

namespace e2e {

namespace {

HWND ControlOf(const Program& program, int id) {
    return GetDlgItem(program.main, id);
}

bool FocusIsOn(const Program& program, int id, const std::string& when) {
    HWND control = ControlOf(program, id);
    return WaitFor([&] { return FocusOf(program) == control; }, 5000,
                   "the focus on control " + std::to_string(id) + " " + when);
}

// A Tab shows the keyboard cues: the ring is on the screen, light with the
// dark window outside it.
void CheckButtonRing(const Program& program, int id) {
    Screenshot shot = Shoot(program, "focus-ring");
    RECT rect;
    GetWindowRect(ControlOf(program, id), &rect);
    LONG x = (rect.left + rect.right) / 2;
    auto light = [&](LONG y) { return GetRValue(shot.At(x, y)) > 200; };
    Check(light(rect.top) && light(rect.top + 1) && GetGValue(shot.At(x, rect.top - 1)) < 60,
          "the focus ring shows on control " + std::to_string(id));
}

bool PickerOpens(const Program& program, std::initializer_list<WORD> keys, const char* what) {
    Sleep(300);  // the selector ignores a command right after the picker closed
    PressKeys(keys);
    return WaitFor([&] { return Picker(program) != nullptr; }, 5000,
                   std::string("the picker to open on ") + what);
}

bool PickerCloses(const Program& program, std::initializer_list<WORD> keys, const char* what) {
    PressKeys(keys);
    return WaitFor([&] { return Picker(program) == nullptr; }, 5000,
                   std::string("the picker to close on ") + what);
}

// Opens the picker, presses keys in it and closes it with Enter; the
// choice is then script and the focus is back on the selector.
void ChooseWithKeys(const Program& program, std::initializer_list<WORD> open,
                    std::initializer_list<WORD> keys, const std::wstring& script,
                    const char* what) {
    if (!PickerOpens(program, open, what)) return;
    for (WORD key : keys) PressKey(key);
    if (!PickerCloses(program, {VK_RETURN}, "Enter")) return;
    Check(DetailsBeginWith(program, script + L"\r\n"),
          std::string(what) + " chose " + Narrow(script));
    FocusIsOn(program, ID_SCRIPT_SELECTOR, std::string("after ") + what);
}

void TabRound(const Program& program) {
    const int order[] = {ID_CLOSE, ID_FILE_LIST, ID_SCRIPT_SELECTOR, ID_DOWNLOAD};
    for (int id : order) {
        PressKey(VK_TAB);
        FocusIsOn(program, id, "after Tab");
    }
    CheckButtonRing(program, ID_DOWNLOAD);
}

void PickerKeys(const Program& program) {
    PressKeys({VK_SHIFT, VK_TAB});  // from Download back to the selector
    FocusIsOn(program, ID_SCRIPT_SELECTOR, "after Shift+Tab");
    ChooseWithKeys(program, {VK_F4}, {VK_END}, L"Combat Log", "F4, End");
    ChooseWithKeys(program, {VK_MENU, VK_DOWN}, {VK_HOME}, L"Auto Loot", "Alt+Down, Home");
    ChooseWithKeys(program, {VK_F4}, {'E'}, L"Errand Compass", "F4, typing e");
    // Alt+Up closes it without a change.
    if (PickerOpens(program, {VK_MENU, VK_DOWN}, "Alt+Down")) {
        PressKey(VK_NEXT);
        Shoot(program, "picker");
        PickerCloses(program, {VK_MENU, VK_UP}, "Alt+Up");
    }
    Check(DetailsBeginWith(program, L"Errand Compass\r\n"), "closing kept the choice");
    FocusIsOn(program, ID_SCRIPT_SELECTOR, "after the picker closed without a choice");
}

bool Downloading(const Program& program) {
    return WaitFor([&] { return ControlText(program, ID_CLOSE) == L"Cancel"; }, 5000,
                   "the install to start");
}

}  // namespace

// From the demo folder, with the keyboard alone.
void KeyboardScenario() {
    PlaceInstalledScripts(Run.work / "scripts");
    WriteSettings(Run.demo.wstring(), L"");
    Program program;
    if (Launch(program) && WaitUntilReady(program)) {
        FocusIsOn(program, ID_DOWNLOAD, "at start");
        TabRound(program);
        PickerKeys(program);
        // Errand Compass is not installed: Enter from the list installs it.
        PressKeys({VK_SHIFT, VK_TAB});
        if (FocusIsOn(program, ID_FILE_LIST, "after Shift+Tab from the selector")) {
            PressKey(VK_RETURN);
            WaitFor([&] { return Idle(program) && !Enabled(program, ID_DOWNLOAD); }, 30000,
                    "the install from Enter");
            InstalledAsPublished(
                Run.demo, "Errand Compass",
                {"main.lua", "ui/tracker.lua", "data/zones/index.lua", "data/zones/meadows.txt"});
            Check(NoTemporaryFilesLeft(), "no .new file is left");
            FocusIsOn(program, ID_FILE_LIST, "after the install");
        }
        // Clicked into, the details pane lets Tab and Escape through.
        ClickControl(program, ID_DETAILS);
        if (FocusIsOn(program, ID_DETAILS, "after a click")) {
            PressKey(VK_TAB);
            FocusIsOn(program, ID_SCRIPT_SELECTOR, "after Tab from the details");
        }
        // Elsewhere in it: a second click on the same spot is a double click.
        ClickIn(ControlOf(program, ID_DETAILS), 12, 12);
        FocusIsOn(program, ID_DETAILS, "after a second click");
        // Idle: Escape closes the window without a question.
        PressKey(VK_ESCAPE);
        ExitsWith(program, 0);
    }
    Finish(program);
}

// From the slow server: Space on Install, the focus on Cancel, Escape
// cancels; Enter on the close question keeps the program.
void KeyboardCancelScenario() {
    fs::path www;
    if (!DemoOnSlowServer("0/400", L"Errand Compass", www)) return;
    std::error_code ignored;
    fs::remove_all(Run.work / "scripts", ignored);
    Program program;
    if (Launch(program) && WaitUntilReady(program) && FocusIsOn(program, ID_DOWNLOAD, "at start")) {
        PressKey(VK_SPACE);
        if (Downloading(program)) {
            FocusIsOn(program, ID_CLOSE, "while installing");
            PressKey(VK_ESCAPE);
            WaitFor([&] { return Idle(program); }, 20000, "Escape to cancel");
            Check(!fs::exists(Run.work / "scripts" / "Errand Compass" / "main.lua"),
                  "nothing was installed after Escape");
            Check(NoTemporaryFilesLeft(), "no .new file is left");
            FocusIsOn(program, ID_DOWNLOAD, "after the cancelled install");
        }
        PressKey(VK_RETURN);
        if (Downloading(program)) {
            PostMessageW(program.main, WM_CLOSE, 0, 0);
            HWND box = nullptr;
            if (WaitFor([&] { return (box = CloseQuestion(program)) != nullptr; }, 5000,
                        "the close question")) {
                Sleep(300);
                PressKey(VK_RETURN);
                WaitFor([&] { return !IsWindow(box); }, 5000, "Enter to answer the question");
                Check(IsWindow(program.main) &&
                          WaitForSingleObject(program.process.hProcess, 0) == WAIT_TIMEOUT,
                      "Enter on the question keeps the program");
            }
            FocusIsOn(program, ID_CLOSE, "after the question");
            PressKey(VK_ESCAPE);
            WaitFor([&] { return Idle(program); }, 20000, "Escape to cancel again");
        }
        PressKey(VK_ESCAPE);
        ExitsWith(program, 0);
    }
    Finish(program);
    fs::remove_all(www, ignored);
}

}  // namespace e2e
