// Display scaling of the layout. Every figure of the window is written in
// pixels at 96 DPI (100 %), as the layout was drawn; Scaled() turns one into
// pixels at the DPI the window is laid out for, so at 96 DPI every figure is
// exactly what it says. The controls' rectangles stand in one table here,
// so that creation and a later change of DPI place them alike.
#ifndef UPDATER_UI_SCALE_H
#define UPDATER_UI_SCALE_H

#include <windows.h>

#include "app/shared_state.h"

// A control's place at 96 DPI, in client pixels.
struct ControlFigures {
    int id;
    int x, y, width, height;
};

// Every control of the main window, in creation order.
inline constexpr ControlFigures ControlLayout[] = {
    {ID_FILE_LIST, 14, 90, 294, 276},        {ID_DETAILS, 326, 66, 298, 162},
    {ID_FILE_PROGRESS, 320, 240, 310, 22},   {ID_TOTAL_PROGRESS, 320, 268, 310, 22},
    {ID_SCRIPT_SELECTOR, 320, 296, 310, 30}, {ID_DOWNLOAD, 320, 332, 150, 36},
    {ID_CLOSE, 510, 332, 120, 36},
};

// Figures of the controls' insides, at 96 DPI.
enum {
    NAME_COLUMN_WIDTH = 200,   // the list's "Name" column
    STATUS_COLUMN_WIDTH = 76,  // its "Status" column
    DETAILS_MARGIN = 6,        // left and right inside the details pane
};

// The DPI the window is laid out for: 96 until start-up sets the screen's,
// then the main window's own.
UINT LayoutDpi();
void SetLayoutDpi(UINT dpi);

// A 96-DPI figure at LayoutDpi, rounded to the nearest pixel (MulDiv).
int Scaled(int figure);

// A corner radius at LayoutDpi, unrounded: GDI+ draws fractions.
float ScaledRadius(float radius);

// The control's rectangle at LayoutDpi, in client pixels; its position and
// size are scaled each, so equal sizes stay equal. An unknown id gives an
// empty rectangle.
RECT ControlBounds(int id);

#endif  // UPDATER_UI_SCALE_H
