// The program's start-up, shared by the entry and the in-process window
// tests so that the tests open the window exactly as the program does:
// common controls, settings, shared resources, the two window classes and
// the main window centred on the work area.
#ifndef UPDATER_APP_STARTUP_WIN32_H
#define UPDATER_APP_STARTUP_WIN32_H

#include <windows.h>

// Start-up up to the first window, in the entry's order: keeps instance as
// AppInstance, initialises the list-view common controls, resolves the
// settings (for the running executable when executablePath is null, else
// for an executable at that path), makes the start-up resources and
// registers the two window classes. The resources and classes are made by
// the first call of the process only: the window tests start up once per
// test, each with its own folder, and the resources live until the end.
void PrepareStartUp(HINSTANCE instance, const char16_t* executablePath);

// All of start-up: PrepareStartUp, then the main window, centred on the
// primary screen's work area with a client area of 640 x 380. Its creation
// builds the controls and may start the check. Returns MainWindow (null
// when no window came into being). The window is not shown yet.
HWND StartUp(HINSTANCE instance, const char16_t* executablePath);

// The windows' half of start-up, defined with the windows
// (ui/window_classes.cpp), so that the start-up includes none of their
// headers. RegisterWindowClasses registers ZentoUpdaterWindow, then
// ZentoUpdaterPicker, with AppInstance; a second registration simply
// fails. CreateMainWindow creates the main window and returns MainWindow.
void RegisterWindowClasses();
HWND CreateMainWindow();

#endif  // UPDATER_APP_STARTUP_WIN32_H
