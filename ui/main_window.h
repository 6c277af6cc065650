// The main window: the whole visible application and its controller. It
// builds its controls and starts the check when it is created, reacts to
// the workers' posted messages, starts the download on the Download
// command, passes Cancel on, and asks before closing while a worker runs.
#ifndef UPDATER_UI_MAIN_WINDOW_H
#define UPDATER_UI_MAIN_WINDOW_H

#include <windows.h>

inline constexpr wchar_t MainWindowClass[] = L"ZentoUpdaterWindow";
inline constexpr wchar_t MainWindowTitle[] = L"Zentora Script Updater - by Morvane";

// The client area's size at 96 DPI; it is scaled with the rest of the
// layout (ui/scale.h) and never changes otherwise.
enum { CLIENT_WIDTH = 640, CLIENT_HEIGHT = 380 };

// The window procedure of ZentoUpdaterWindow.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif  // UPDATER_UI_MAIN_WINDOW_H
