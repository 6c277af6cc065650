// Following the user's display settings while the window is open: its DPI
// (a move to a monitor of another scale, or a new scale) and its colours
// (high contrast turned on or off, another scheme, another message font),
// without a restart.
#ifndef UPDATER_UI_DISPLAY_SETTINGS_H
#define UPDATER_UI_DISPLAY_SETTINGS_H

#include <windows.h>

#include "ui/draw.h"

// At creation, before the controls exist: lays out for the main window's own
// DPI, which on a monitor of another scale than the primary one's differs
// from the screen's DPI start-up sized it for, remakes the fonts and the
// icon for it when they were made for another, and then gives the window
// the client size at that DPI around its old centre.
void AdoptWindowDpi(HWND window);

// WM_DPICHANGED: lays out for dpi, remakes the fonts and the icon, places
// and sizes the window as the system suggests and every control as the
// layout says, and repaints. An open picker is closed first.
void OnDpiChanged(HWND window, UINT dpi, const RECT& suggested);

// WM_SYSCOLORCHANGE and WM_SETTINGCHANGE: reads high contrast again and
// repaints everything in the colours that now hold (the list hears of the
// colour change too, as a common control must); a new message font makes
// the fonts again.
void OnDisplaySettingChange(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Gives the file list its background and text colours and its visual style.
void ColourFileList();

// The look of a button in high contrast: Download a highlight with the
// highlight's text, the others button face with button text, hot and focus
// in the border, disabled in grey text; plain fills throughout.
ButtonLook HighContrastButtonColours(bool primary, bool hot, bool focus, bool disabled);

#endif  // UPDATER_UI_DISPLAY_SETTINGS_H
