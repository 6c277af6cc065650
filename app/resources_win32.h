// The resources every window shares, made once at start-up before the first
// window exists and kept until the process ends: three fonts derived from
// the system's message font, the header icon, two brushes, and GDI+, bound
// from the system folder entry point by entry point. Without GDI+ the windows are drawn
// with plain square shapes instead; nothing else changes.
#ifndef UPDATER_APP_RESOURCES_WIN32_H
#define UPDATER_APP_RESOURCES_WIN32_H

#include <windows.h>

#include "app/system_library_win32.h"  // LoadSystemLibrary, for the optional libraries

// The executable's module: controls, the picker and resources are made
// with it. Set by the entry before anything else runs.
extern HINSTANCE AppInstance;

// The fonts and the icon are made for the window's DPI (the screen's at
// start) and made again when it changes; the brushes again when the
// colours change (high contrast).
extern HFONT NormalFont;    // the message font, unchanged
extern HFONT SemiboldFont;  // the message font at weight 600
extern HFONT TitleFont;     // weight 700, 13/10 of the height
extern HICON AppIcon;       // icon resource 1 at 32 x 32 (at 96 DPI), for the header
extern HBRUSH WindowBrush;  // COLOUR_WINDOW, the main window's background
extern HBRUSH PanelBrush;   // COLOUR_PANEL, behind the list, the details and statics
extern UINT ResourceDpi;    // the DPI the fonts were last made for

// The GDI+ flat entry points, in binding order. Slot 0 is only used here.
enum GdiplusSlot {
    GDIP_STARTUP,             // GdiplusStartup
    GDIP_CREATE_FROM_HDC,     // GdipCreateFromHDC
    GDIP_SET_SMOOTHING_MODE,  // GdipSetSmoothingMode
    GDIP_CREATE_PATH,         // GdipCreatePath
    GDIP_ADD_PATH_ARC,        // GdipAddPathArc
    GDIP_CLOSE_PATH_FIGURE,   // GdipClosePathFigure
    GDIP_CREATE_SOLID_FILL,   // GdipCreateSolidFill
    GDIP_CREATE_LINE_BRUSH,   // GdipCreateLineBrush
    GDIP_FILL_PATH,           // GdipFillPath
    GDIP_CREATE_PEN1,         // GdipCreatePen1
    GDIP_DRAW_PATH,           // GdipDrawPath
    GDIP_FILL_POLYGON,        // GdipFillPolygon
    GDIP_DELETE_BRUSH,        // GdipDeleteBrush
    GDIP_DELETE_PEN,          // GdipDeletePen
    GDIP_DELETE_PATH,         // GdipDeletePath
    GDIP_DELETE_GRAPHICS,     // GdipDeleteGraphics
    GDIPLUS_ENTRY_COUNT
};

// The exported name of every slot, in binding order.
extern const char* const GdiplusEntryNames[GDIPLUS_ENTRY_COUNT];

// Filled up to the first name that did not resolve; the rest stay null.
extern FARPROC GdiplusEntries[GDIPLUS_ENTRY_COUNT];

// True only when all 16 entry points were bound and GdiplusStartup
// returned Ok. Every drawing operation with a vector path reads it.
extern bool GdiplusReady;

// Makes the fonts, the icon, binds GDI+ and makes the brushes, in that
// order. Called once by the entry, after the settings are loaded. Each
// missing piece is left out on its own; it cannot fail as a whole.
void CreateStartupResources();

// Makes NormalFont, SemiboldFont and TitleFont from the message font for
// dpi. The fonts they replace are not deleted: the caller first hands the
// new ones to the controls that hold the old ones, then deletes those.
void CreateFontsForDpi(UINT dpi);

// AppIcon at 32 x 32 scaled to dpi, the fitting image of icon group 1. The
// icon it replaces is destroyed.
void LoadAppIconForDpi(UINT dpi);

// WindowBrush and PanelBrush in the current colours; the old ones are
// deleted.
void RemakeBrushes();

// Binds the 16 entry points from library, slot by slot, stopping at the
// first name it lacks; starts GDI+ when all are there. A null library binds
// nothing. Returns GdiplusReady. The library is never freed nor shut down.
// CreateStartupResources passes the system's gdiplus.dll; tests others.
bool BindGdiplus(HMODULE library);

// Limits every later search for a library by bare name, the system's own
// included, to the system folder, where the system offers that (Windows 8
// and later; Windows 7 with update KB2533623). Elsewhere it does nothing,
// and LoadSystemLibrary still guards the program's own loads. The entry
// calls it first of all.
void KeepLibrarySearchToSystemFolder();

// The height of TitleFont for a message font of this height: 13/10 of it,
// truncated toward zero, so a negative character height stays negative.
LONG TitleFontHeight(LONG messageFontHeight);

#endif  // UPDATER_APP_RESOURCES_WIN32_H
