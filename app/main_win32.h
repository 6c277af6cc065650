// The entry's steps that the tests drive too: registering the two window
// classes, placing the main window on the work area, creating it, and the
// message loop that gives the main window keyboard navigation.
#ifndef UPDATER_APP_MAIN_WIN32_H
#define UPDATER_APP_MAIN_WIN32_H

#include <windows.h>

extern const wchar_t MainWindowClass[];    // L"ZentoUpdaterWindow"
extern const wchar_t PickerWindowClass[];  // L"ZentoUpdaterPicker"
extern const wchar_t MainWindowTitle[];    // the title bar's text

enum { CLIENT_WIDTH = 640, CLIENT_HEIGHT = 380 };

// Registers ZentoUpdaterWindow, then ZentoUpdaterPicker, with AppInstance.
// The results are not examined: a second registration simply fails.
void RegisterWindowClasses();

// The top-left corner that centres a window of width x height on the work
// area. A work area smaller than the window splits the overhang evenly.
POINT CenteredOrigin(const RECT& workArea, int width, int height);

// Creates the main window, centred on the primary screen's work area with
// a client area of 640 x 380. Its creation builds the controls and may
// start the check. Returns MainWindow (null when no window came into being).
HWND CreateMainWindow();

// Takes messages for every window of the thread until the quit message or
// an error, offering each to IsDialogMessageW with the main window first.
void RunMessageLoop();

#endif  // UPDATER_APP_MAIN_WIN32_H
