// The dark look, drawn by hand with the colours of app/palette_win32.h: a
// solid fill, a rounded rectangle (anti-aliased through GDI+, square without
// it), child controls and owner-drawn buttons with hover tracking, the dark
// visual style of the list and the details pane, and the painting of every
// owner-drawn control of the main window: the two progress bars, the
// selector and the buttons.
#ifndef UPDATER_UI_DRAW_H
#define UPDATER_UI_DRAW_H

#include <windows.h>

#include "app/palette_win32.h"

// The look of a button in one state.
struct ButtonLook {
    COLORREF top;
    COLORREF bottom;
    COLORREF border;
    COLORREF caption;
};

// Primary is the Download button, secondary every other; hot is the
// pointer over it, pressed the button held down, focus the keyboard focus.
ButtonLook ButtonColours(bool primary, bool hot, bool pressed, bool focus, bool disabled);

// Fills rect with a solid brush of colour.
void FillSolid(HDC dc, const RECT& rect, COLORREF colour);

// A rounded rectangle over rect: a vertical gradient from top to bottom
// (solid when they are equal) with a 1-pixel border. Without GDI+ it is a
// square fill of top with a square frame of border.
void FillRoundRect(HDC dc, const RECT& rect, COLORREF top, float radius, COLORREF bottom,
                   COLORREF border);

// The corner diameter FillRoundRect uses: twice the radius, at most one
// less than the width and the height, so a narrow shape becomes a pill.
float CornerDiameter(int width, int height, float radius);

// A child of the main window with the given style plus child and visible,
// no extended style, and NormalFont.
HWND CreateChild(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y,
                 int width, int height, int id);

// An owner-drawn tab-stop button that tracks the pointer: while it is over
// the button the window property "hot" is 1.
HWND CreateOwnerButton(const wchar_t* caption, int x, int y, int width, int height, int id);

// True while the pointer is over an owner-drawn button.
bool IsHot(HWND button);

// Gives a list or edit control the dark visual style (dark scroll bars),
// when the visual-style library offers it.
void ApplyDarkTheme(HWND control);

// Paints the owner-drawn control of the record, chosen by its identifier.
void DrawOwnerControl(const DRAWITEMSTRUCT& item);

#endif  // UPDATER_UI_DRAW_H
