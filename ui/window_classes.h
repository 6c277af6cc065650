// Where the main window opens: its origin, centred on the work area.
#ifndef UPDATER_UI_WINDOW_CLASSES_H
#define UPDATER_UI_WINDOW_CLASSES_H

#include <windows.h>

// The top-left corner that centres a window of width x height on the work
// area. A work area smaller than the window splits the overhang evenly.
POINT CenteredOrigin(const RECT& workArea, int width, int height);

#endif  // UPDATER_UI_WINDOW_CLASSES_H
