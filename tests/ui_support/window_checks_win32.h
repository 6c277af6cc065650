// The main window as the screen shows it, read from the program's own
// process or from another one: its layout at a DPI, and its pixels.
#ifndef UPDATER_TESTS_UI_SUPPORT_WINDOW_CHECKS_WIN32_H
#define UPDATER_TESTS_UI_SUPPORT_WINDOW_CHECKS_WIN32_H

#include <stdint.h>
#include <windows.h>

#include <string>
#include <vector>

// Where main's client area, a control's rectangle, the list's columns or
// the details pane's margins differ from every figure scaled to dpi; empty
// when nothing does.
std::string LayoutDifferences(HWND main, int dpi);

// What the screen shows in area (screen coordinates), as rows of 3-byte
// RGB pixels, top row first: what WritePng takes.
std::vector<uint8_t> ScreenRgb(const RECT& area);

#endif  // UPDATER_TESTS_UI_SUPPORT_WINDOW_CHECKS_WIN32_H
