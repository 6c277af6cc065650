// The dark look, drawn by hand: the one palette, a solid fill, a rounded
// rectangle (anti-aliased through GDI+, square without it), child controls
// and owner-drawn buttons with hover tracking, the dark visual style of the
// list and the details pane, and the painting of every owner-drawn control
// of the main window: the two progress bars, the selector and the buttons.
#ifndef UPDATER_UI_DRAW_H
#define UPDATER_UI_DRAW_H

#include <windows.h>

// Every colour the windows paint, by what it is for.
enum PaletteColour {
    COLOUR_WINDOW,                   // main window background, behind every owner-drawn control
    COLOUR_PANEL,                    // list, details, frames around them, picker, idle selector
    COLOUR_HEADER_BAND,              // the band across the top 52 pixels
    COLOUR_FRAME_LINE,               // frame borders, the header and caption lines, bar track
    COLOUR_PICKER_FRAME,             // the square frame around the picker
    COLOUR_LIGHT_TEXT,               // list and details text, the selector's triangle
    COLOUR_WHITE,                    // title, enabled captions, bar texts, script names
    COLOUR_MUTED_TEXT,               // summary, "by", column captions, placeholders, Kept
    COLOUR_DISABLED_INK,             // caption, glyph and triangle of a disabled control
    COLOUR_NOTICE_TEXT,              // details text while a notice is shown
    COLOUR_ACCENT,                   // author name, the chosen row's mark in the picker
    COLOUR_LIST_SELECTION,           // the selected row of the file list
    COLOUR_PICKER_HIGHLIGHT,         // the highlighted picker row
    COLOUR_PICKER_HIGHLIGHT_BORDER,  // its border
    COLOUR_STATUS_OK,                // "OK"
    COLOUR_STATUS_NEW,               // "New"
    COLOUR_STATUS_UPDATE,            // "Update"
    COLOUR_TRACK,                    // the empty part of a progress bar
    COLOUR_FILL_BORDER,              // border of a progress bar's filled part
    COLOUR_SELECTOR_LIT,             // the selector's fill while hot or open
    COLOUR_SELECTOR_OPEN_BORDER,     // its border while the picker is open
    COLOUR_SELECTOR_HOT_BORDER,      // its border while hot
    COLOUR_DISABLED_FILL,            // a disabled button
    COLOUR_DISABLED_BORDER,
    COLOUR_PRIMARY_TOP,     // Download: also the top of a bar's filled part
    COLOUR_PRIMARY_BOTTOM,  // also the bottom of a bar's filled part
    COLOUR_PRIMARY_BORDER,
    COLOUR_PRIMARY_HOT_TOP,
    COLOUR_PRIMARY_HOT_BOTTOM,
    COLOUR_PRIMARY_PRESSED_BOTTOM,
    COLOUR_SECONDARY_TOP,  // Close: also the bottom while hot
    COLOUR_SECONDARY_BOTTOM,
    COLOUR_SECONDARY_BORDER,
    COLOUR_SECONDARY_FOCUS_BORDER,
    COLOUR_SECONDARY_HOT_TOP,
    COLOUR_SECONDARY_PRESSED_BOTTOM,
    PALETTE_SIZE
};

extern const COLORREF Palette[PALETTE_SIZE];

inline COLORREF Colour(PaletteColour name) {
    return Palette[name];
}

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
