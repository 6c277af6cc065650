// The one palette of the dark look. The start-up brushes are made from it
// and every painter takes its colours from it, through Colour(), so that a
// colour is changed in one place only and high contrast (contrast_win32.h)
// can stand in for all of them at once.
#ifndef UPDATER_APP_PALETTE_WIN32_H
#define UPDATER_APP_PALETTE_WIN32_H

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

inline constexpr COLORREF Palette[PALETTE_SIZE] = {
    RGB(30, 32, 36),     // COLOUR_WINDOW
    RGB(22, 24, 27),     // COLOUR_PANEL
    RGB(22, 24, 28),     // COLOUR_HEADER_BAND
    RGB(60, 63, 68),     // COLOUR_FRAME_LINE
    RGB(70, 75, 84),     // COLOUR_PICKER_FRAME
    RGB(222, 222, 222),  // COLOUR_LIGHT_TEXT
    RGB(255, 255, 255),  // COLOUR_WHITE
    RGB(140, 140, 140),  // COLOUR_MUTED_TEXT
    RGB(110, 110, 115),  // COLOUR_DISABLED_INK
    RGB(240, 140, 130),  // COLOUR_NOTICE_TEXT
    RGB(245, 150, 45),   // COLOUR_ACCENT
    RGB(44, 62, 88),     // COLOUR_LIST_SELECTION
    RGB(40, 70, 115),    // COLOUR_PICKER_HIGHLIGHT
    RGB(55, 95, 150),    // COLOUR_PICKER_HIGHLIGHT_BORDER
    RGB(90, 190, 110),   // COLOUR_STATUS_OK
    RGB(110, 170, 240),  // COLOUR_STATUS_NEW
    RGB(235, 175, 70),   // COLOUR_STATUS_UPDATE
    RGB(44, 47, 52),     // COLOUR_TRACK
    RGB(80, 150, 235),   // COLOUR_FILL_BORDER
    RGB(30, 33, 38),     // COLOUR_SELECTOR_LIT
    RGB(45, 105, 185),   // COLOUR_SELECTOR_OPEN_BORDER
    RGB(90, 95, 105),    // COLOUR_SELECTOR_HOT_BORDER
    RGB(40, 42, 47),     // COLOUR_DISABLED_FILL
    RGB(52, 55, 60),     // COLOUR_DISABLED_BORDER
    RGB(72, 142, 232),   // COLOUR_PRIMARY_TOP
    RGB(40, 96, 185),    // COLOUR_PRIMARY_BOTTOM
    RGB(98, 165, 245),   // COLOUR_PRIMARY_BORDER
    RGB(90, 160, 245),   // COLOUR_PRIMARY_HOT_TOP
    RGB(52, 112, 202),   // COLOUR_PRIMARY_HOT_BOTTOM
    RGB(34, 84, 165),    // COLOUR_PRIMARY_PRESSED_BOTTOM
    RGB(62, 65, 72),     // COLOUR_SECONDARY_TOP
    RGB(50, 53, 59),     // COLOUR_SECONDARY_BOTTOM
    RGB(78, 82, 90),     // COLOUR_SECONDARY_BORDER
    RGB(120, 125, 135),  // COLOUR_SECONDARY_FOCUS_BORDER
    RGB(76, 80, 88),     // COLOUR_SECONDARY_HOT_TOP
    RGB(44, 46, 52),     // COLOUR_SECONDARY_PRESSED_BOTTOM
};

// The colour to paint name in: the palette's, or while high contrast is on
// the system colour that stands for it (contrast_win32.cpp).
COLORREF Colour(PaletteColour name);

#endif  // UPDATER_APP_PALETTE_WIN32_H
