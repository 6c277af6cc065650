// The focus ring of the main window's tab stops.
#include "ui/focus_ring.h"

#include "app/palette_win32.h"
#include "app/shared_state.h"
#include "ui/scale.h"
#include "ui/texts.h"

namespace {

// Figures at 96 DPI, scaled with the rest of the layout.
const int ButtonRadius = 8;  // the buttons' own corners
const int ListRadius = 6;    // inside the rounded frame around the list
const int ListRingGap = 3;   // from the list's edge to the ring's outside
const int RingWidth = 2;

// The list's rectangle in the main window's client coordinates.
RECT ListRect() {
    RECT rect = {};
    GetWindowRect(ControlWindow(ID_FILE_LIST), &rect);
    MapWindowPoints(nullptr, static_cast<HWND>(MainWindow), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT ListRingRect() {
    RECT ring = ListRect();
    InflateRect(&ring, Scaled(ListRingGap), Scaled(ListRingGap));
    return ring;
}

// An outline width pixels wide inside rect. Plain GDI, not anti-aliased:
// its pixels are exactly where they are asked for on every rasteriser.
void OutlineRoundRect(HDC dc, const RECT& rect, int radius, int width, COLORREF colour) {
    HPEN pen = CreatePen(PS_INSIDEFRAME, width, colour);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, 2 * radius, 2 * radius);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
}

}  // namespace

bool ShowsFocusRing(UINT itemState, LRESULT uiState) {
    if ((itemState & ODS_FOCUS) == 0 || (itemState & ODS_NOFOCUSRECT) != 0) return false;
    return (uiState & UISF_HIDEFOCUS) == 0;
}

void DrawFocusRing(HDC dc, const RECT& rect, int radius) {
    OutlineRoundRect(dc, rect, Scaled(radius), Scaled(RingWidth), Colour(COLOUR_WHITE));
}

void DrawControlFocusRing(const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_BUTTON) return;
    LRESULT uiState = SendMessageW(item.hwndItem, WM_QUERYUISTATE, 0, 0);
    if (!ShowsFocusRing(item.itemState, uiState)) return;
    DrawFocusRing(item.hDC, item.rcItem, ButtonRadius);
    // A dark pixel between the ring and a light fill keeps the ring apart
    // from it, as the dark window keeps it apart on the outside.
    RECT gap = item.rcItem;
    InflateRect(&gap, -Scaled(RingWidth), -Scaled(RingWidth));
    OutlineRoundRect(item.hDC, gap, Scaled(ButtonRadius - RingWidth), 1, Colour(COLOUR_PANEL));
}

void PaintListFocusRing(HDC dc) {
    HWND list = ControlWindow(ID_FILE_LIST);
    if (list == nullptr || GetFocus() != list) return;
    if (!ShowsFocusRing(ODS_FOCUS, SendMessageW(list, WM_QUERYUISTATE, 0, 0))) return;
    DrawFocusRing(dc, ListRingRect(), ListRadius);
}

void InvalidateListFocusRing() {
    if (ControlWindow(ID_FILE_LIST) == nullptr) return;
    RECT ring = ListRingRect();
    InvalidateRect(static_cast<HWND>(MainWindow), &ring, FALSE);
}
