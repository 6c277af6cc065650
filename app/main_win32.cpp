// The process entry: the start-up it shares with the window tests, then the
// message loop. Nothing is released at exit; the process simply ends.
#include <windows.h>

#include "app/shared_state.h"
#include "app/startup_win32.h"

// Takes messages for every window of the thread until the quit message or
// an error, offering each to IsDialogMessageW with the main window first,
// which gives keyboard navigation among its controls.
static void RunMessageLoop() {
    MSG message;
    // GetMessageW gives 0 for the quit message and -1 for an error; both end it.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(static_cast<HWND>(MainWindow), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    HWND window = StartUp(instance, nullptr);
    if (window == nullptr) return 1;
    ShowWindow(window, showCommand);
    RunMessageLoop();
    return 0;
}
