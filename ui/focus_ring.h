// The keyboard focus made visible: a 2-pixel light ring, with one dark pixel
// inside it, over the outer 3 pixels of a focused owner-drawn button, and
// the same ring just outside the file list while it has the focus. It is
// light on dark on both sides, whatever the control's own fill. Keyboard
// cues hidden by Windows (until the keyboard is used) hide it too.
#ifndef UPDATER_UI_FOCUS_RING_H
#define UPDATER_UI_FOCUS_RING_H

#include <windows.h>

// Whether a control draws its ring: it has the focus (ODS_FOCUS in
// itemState) and neither the item (ODS_NOFOCUSRECT) nor the window's UI
// state (UISF_HIDEFOCUS in uiState, as WM_QUERYUISTATE answers) hides it.
bool ShowsFocusRing(UINT itemState, LRESULT uiState);

// The 2-pixel ring over the outer edge of rect, following corners of radius.
void DrawFocusRing(HDC dc, const RECT& rect, int radius);

// The ring of an owner-drawn button, with the dark pixel inside it, drawn
// last over its look when it shows.
void DrawControlFocusRing(const DRAWITEMSTRUCT& item);

// The ring around the file list while it has the focus, painted by the
// main window just outside the list.
void PaintListFocusRing(HDC dc);

// Repaints where the list's ring goes: its focus or the cues changed.
void InvalidateListFocusRing();

#endif  // UPDATER_UI_FOCUS_RING_H
