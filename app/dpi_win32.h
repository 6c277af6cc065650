// What the system says about display scaling: the DPI of the screen and of
// a window, and the message font made for a given DPI. Newer systems
// (Windows 10 1607 and later) answer per window and per DPI; the calls for
// that are looked up at run time, and older systems get the screen's one
// DPI instead.
#ifndef UPDATER_APP_DPI_WIN32_H
#define UPDATER_APP_DPI_WIN32_H

#include <windows.h>

// The DPI every figure of the layout is written for (100 %).
enum { BASE_DPI = 96 };

// The screen's DPI (LOGPIXELSY), the one the system scales to at start.
UINT SystemDpi();

// The DPI of window: GetDpiForWindow where the system has it, else the
// screen's. A window on a second monitor of another scale has its own.
UINT WindowDpi(HWND window);

// The system's message font for dpi: SystemParametersInfoForDpi where the
// system has it; else the system-DPI font scaled from the screen's DPI to
// dpi.
LOGFONTW MessageFontForDpi(UINT dpi);

#endif  // UPDATER_APP_DPI_WIN32_H
