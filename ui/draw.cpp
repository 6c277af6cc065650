// Drawing primitives and the owner-drawn controls of the main window.
//
// GDI+ is reached only through the entry points bound at start-up; every
// shape that needs it has a plain GDI fallback, so the window looks square
// but works the same when gdiplus.dll is missing.
#include "ui/draw.h"

#include "app/contrast_win32.h"
#include "app/resources_win32.h"
#include "app/shared_state.h"
#include "app/text.h"
#include "ui/display_settings.h"
#include "ui/scale.h"
#include "ui/focus_ring.h"
#include "ui/keyboard.h"
#include "ui/texts.h"

// ---- GDI+ through the bound entry points -------------------------------------

namespace {

typedef void* GpObject;  // a graphics object, path, brush or pen
struct GpPointF {
    float X;
    float Y;
};

typedef int(WINAPI* CreateFromHdcFn)(HDC, GpObject*);
typedef int(WINAPI* SetSmoothingModeFn)(GpObject, int);
typedef int(WINAPI* CreatePathFn)(int, GpObject*);
typedef int(WINAPI* AddPathArcFn)(GpObject, float, float, float, float, float, float);
typedef int(WINAPI* ClosePathFigureFn)(GpObject);
typedef int(WINAPI* CreateSolidFillFn)(UINT32, GpObject*);
typedef int(WINAPI* CreateLineBrushFn)(const GpPointF*, const GpPointF*, UINT32, UINT32, int,
                                       GpObject*);
typedef int(WINAPI* FillPathFn)(GpObject, GpObject, GpObject);
typedef int(WINAPI* CreatePen1Fn)(UINT32, float, int, GpObject*);
typedef int(WINAPI* DrawPathFn)(GpObject, GpObject, GpObject);
typedef int(WINAPI* FillPolygonFn)(GpObject, GpObject, const GpPointF*, int, int);
typedef int(WINAPI* DeleteFn)(GpObject);

const int SmoothingModeAntiAlias = 4;
const int FillModeAlternate = 0;
const int WrapModeTile = 0;
const int UnitPixel = 2;

// The bound entry point of slot, as its real signature. Through
// void (*)() the cast is warning-free on every compiler.
template <typename Function>
Function Gdip(GdiplusSlot slot) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GdiplusEntries[slot]));
}

// GDI+ wants alpha, red, green, blue from the top byte down; opaque.
UINT32 OpaqueArgb(COLORREF colour) {
    return 0xFF000000u | (static_cast<UINT32>(GetRValue(colour)) << 16) |
           (static_cast<UINT32>(GetGValue(colour)) << 8) | GetBValue(colour);
}

GpObject CreateSmoothGraphics(HDC dc) {
    GpObject graphics = nullptr;
    Gdip<CreateFromHdcFn>(GDIP_CREATE_FROM_HDC)(dc, &graphics);
    Gdip<SetSmoothingModeFn>(GDIP_SET_SMOOTHING_MODE)(graphics, SmoothingModeAntiAlias);
    return graphics;
}

// Four 90-degree arcs through the pixel centres of rect's edge pixels.
GpObject CreateRoundedPath(const RECT& rect, float radius) {
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    float d = CornerDiameter(width, height, radius);
    float x0 = rect.left + 0.5f;
    float y0 = rect.top + 0.5f;
    float right = x0 + width - 1 - d;
    float bottom = y0 + height - 1 - d;
    GpObject path = nullptr;
    Gdip<CreatePathFn>(GDIP_CREATE_PATH)(FillModeAlternate, &path);
    AddPathArcFn addArc = Gdip<AddPathArcFn>(GDIP_ADD_PATH_ARC);
    addArc(path, x0, y0, d, d, 180.0f, 90.0f);
    addArc(path, right, y0, d, d, 270.0f, 90.0f);
    addArc(path, right, bottom, d, d, 0.0f, 90.0f);
    addArc(path, x0, bottom, d, d, 90.0f, 90.0f);
    Gdip<ClosePathFigureFn>(GDIP_CLOSE_PATH_FIGURE)(path);
    return path;
}

GpObject CreateFillBrush(const RECT& rect, COLORREF top, COLORREF bottom) {
    GpObject brush = nullptr;
    if (top == bottom) {
        Gdip<CreateSolidFillFn>(GDIP_CREATE_SOLID_FILL)(OpaqueArgb(top), &brush);
        return brush;
    }
    GpPointF from = {0.0f, rect.top - 0.5f};
    GpPointF to = {0.0f, rect.bottom + 0.5f};
    Gdip<CreateLineBrushFn>(GDIP_CREATE_LINE_BRUSH)(&from, &to, OpaqueArgb(top), OpaqueArgb(bottom),
                                                    WrapModeTile, &brush);
    return brush;
}

void SmoothRoundRect(HDC dc, const RECT& rect, COLORREF top, float radius, COLORREF bottom,
                     COLORREF border) {
    GpObject graphics = CreateSmoothGraphics(dc);
    GpObject path = CreateRoundedPath(rect, radius);
    GpObject brush = CreateFillBrush(rect, top, bottom);
    Gdip<FillPathFn>(GDIP_FILL_PATH)(graphics, brush, path);
    Gdip<DeleteFn>(GDIP_DELETE_BRUSH)(brush);
    GpObject pen = nullptr;
    Gdip<CreatePen1Fn>(GDIP_CREATE_PEN1)(OpaqueArgb(border), 1.0f, UnitPixel, &pen);
    Gdip<DrawPathFn>(GDIP_DRAW_PATH)(graphics, pen, path);
    Gdip<DeleteFn>(GDIP_DELETE_PEN)(pen);
    Gdip<DeleteFn>(GDIP_DELETE_PATH)(path);
    Gdip<DeleteFn>(GDIP_DELETE_GRAPHICS)(graphics);
}

void SquareRect(HDC dc, const RECT& rect, COLORREF fill, COLORREF border) {
    FillSolid(dc, rect, fill);
    HBRUSH frame = CreateSolidBrush(border);
    FrameRect(dc, &rect, frame);
    DeleteObject(frame);
}

// The arrow and the tray of the Download button, as offsets from its centre
// at 96 DPI.
const GpPointF GlyphArrow[] = {
    {-2, -7}, {2, -7}, {2, -1}, {5.5f, -1}, {0, 4.5f}, {-5.5f, -1}, {-2, -1},
};
const GpPointF GlyphTray[] = {
    {-7, 2}, {-5.5f, 2}, {-5.5f, 5.5f}, {5.5f, 5.5f}, {5.5f, 2}, {7, 2}, {7, 7}, {-7, 7},
};

// The points of a glyph shape centred on (x, y), scaled to the layout's DPI.
template <size_t Count>
void PlaceGlyph(const GpPointF (&shape)[Count], float x, float y, GpPointF (&placed)[Count]) {
    float scale = ScaledRadius(1.0f);
    for (size_t i = 0; i < Count; ++i) {
        placed[i] = {x + shape[i].X * scale, y + shape[i].Y * scale};
    }
}

// The arrow and the tray of the Download button, centred on (x, y).
void DrawDownloadGlyph(HDC dc, float x, float y, COLORREF colour) {
    GpPointF arrow[COUNTOF(GlyphArrow)];
    GpPointF tray[COUNTOF(GlyphTray)];
    PlaceGlyph(GlyphArrow, x, y, arrow);
    PlaceGlyph(GlyphTray, x, y, tray);
    GpObject graphics = CreateSmoothGraphics(dc);
    GpObject brush = nullptr;
    Gdip<CreateSolidFillFn>(GDIP_CREATE_SOLID_FILL)(OpaqueArgb(colour), &brush);
    FillPolygonFn fillPolygon = Gdip<FillPolygonFn>(GDIP_FILL_POLYGON);
    fillPolygon(graphics, brush, arrow, static_cast<int>(COUNTOF(arrow)), FillModeAlternate);
    fillPolygon(graphics, brush, tray, static_cast<int>(COUNTOF(tray)), FillModeAlternate);
    Gdip<DeleteFn>(GDIP_DELETE_BRUSH)(brush);
    Gdip<DeleteFn>(GDIP_DELETE_GRAPHICS)(graphics);
}

}  // namespace

// ---- primitives ---------------------------------------------------------------

void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

float CornerDiameter(int width, int height, float radius) {
    float d = 2.0f * radius;
    if (d > width - 1) d = static_cast<float>(width - 1);
    if (d > height - 1) d = static_cast<float>(height - 1);
    return d;
}

void FillRoundRect(HDC dc, const RECT& rect, COLORREF top, float radius, COLORREF bottom,
                   COLORREF border) {
    if (GdiplusReady) {
        SmoothRoundRect(dc, rect, top, radius, bottom, border);
    } else {
        SquareRect(dc, rect, top, border);
    }
}

ButtonLook ButtonColours(bool primary, bool hot, bool pressed, bool focus, bool disabled) {
    if (HighContrastOn()) return HighContrastButtonColours(primary, hot, focus, disabled);
    if (disabled) {
        return {Colour(COLOUR_DISABLED_FILL), Colour(COLOUR_DISABLED_FILL),
                Colour(COLOUR_DISABLED_BORDER), Colour(COLOUR_DISABLED_INK)};
    }
    ButtonLook look;
    look.caption = Colour(COLOUR_WHITE);
    if (primary) {
        look.top = Colour(hot ? COLOUR_PRIMARY_HOT_TOP : COLOUR_PRIMARY_TOP);
        look.bottom = Colour(hot ? COLOUR_PRIMARY_HOT_BOTTOM : COLOUR_PRIMARY_BOTTOM);
        look.border = Colour(COLOUR_PRIMARY_BORDER);
        if (pressed) {
            look.top = look.bottom;
            look.bottom = Colour(COLOUR_PRIMARY_PRESSED_BOTTOM);
        }
        return look;
    }
    look.top = Colour(hot ? COLOUR_SECONDARY_HOT_TOP : COLOUR_SECONDARY_TOP);
    look.bottom = Colour(hot ? COLOUR_SECONDARY_TOP : COLOUR_SECONDARY_BOTTOM);
    look.border = Colour(focus ? COLOUR_SECONDARY_FOCUS_BORDER : COLOUR_SECONDARY_BORDER);
    if (pressed) {
        look.top = look.bottom;
        look.bottom = Colour(COLOUR_SECONDARY_PRESSED_BOTTOM);
    }
    return look;
}

// ---- child controls -----------------------------------------------------------

// The "BUTTON" class's own procedure, which every owner-drawn button
// forwards to after its hover tracking.
static WNDPROC ButtonBaseProc;
static const wchar_t HotProperty[] = L"hot";

HWND CreateChild(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y,
                 int width, int height, int id) {
    HWND child =
        CreateWindowExW(0, className, text, style | WS_CHILD | WS_VISIBLE, x, y, width, height,
                        static_cast<HWND>(MainWindow),
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), AppInstance, nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(NormalFont), FALSE);
    return child;
}

bool IsHot(HWND button) {
    return GetPropW(button, HotProperty) != nullptr;
}

static void OnButtonMouseMove(HWND button) {
    if (IsHot(button)) return;
    TRACKMOUSEEVENT track = {};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = button;
    track.dwHoverTime = 0;
    TrackMouseEvent(&track);
    SetPropW(button, HotProperty, reinterpret_cast<HANDLE>(1));
    InvalidateRect(button, nullptr, FALSE);
}

static void OnButtonMouseLeave(HWND button) {
    RemovePropW(button, HotProperty);
    InvalidateRect(button, nullptr, FALSE);
}

static LRESULT CALLBACK HoverButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT answer = 0;
    if (OnButtonKeyMessage(button, message, wParam, &answer)) return answer;
    switch (message) {
        case WM_LBUTTONDBLCLK:
            // A quick second click presses the button again instead of being
            // taken as a double click.
            message = WM_LBUTTONDOWN;
            break;
        case WM_MOUSEMOVE:
            OnButtonMouseMove(button);
            break;
        case WM_MOUSELEAVE:
            OnButtonMouseLeave(button);
            break;
    }
    return CallWindowProcW(ButtonBaseProc, button, message, wParam, lParam);
}

HWND CreateOwnerButton(const wchar_t* caption, int x, int y, int width, int height, int id) {
    HWND button =
        CreateChild(L"BUTTON", caption, BS_OWNERDRAW | WS_TABSTOP, x, y, width, height, id);
    ButtonBaseProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HoverButtonProc)));
    return button;
}

// ---- dark visual style --------------------------------------------------------

typedef HRESULT(WINAPI* SetWindowThemeFn)(HWND, LPCWSTR, LPCWSTR);

static bool ThemeLibraryTried;
static SetWindowThemeFn SetWindowThemeEntry;

void ApplyDarkTheme(HWND control) {
    if (!ThemeLibraryTried) {
        ThemeLibraryTried = true;
        HMODULE library = LoadSystemLibrary(L"uxtheme.dll");
        if (library != nullptr) {
            SetWindowThemeEntry = reinterpret_cast<SetWindowThemeFn>(
                reinterpret_cast<void (*)()>(GetProcAddress(library, "SetWindowTheme")));
        }
    }
    // In high contrast the system's own style, which follows the scheme.
    const wchar_t* style = HighContrastOn() ? nullptr : L"DarkMode_Explorer";
    if (SetWindowThemeEntry != nullptr) SetWindowThemeEntry(control, style, nullptr);
}

// ---- owner-drawn controls -----------------------------------------------------

static const float BarRadius = 6.0f;
static const float ControlRadius = 8.0f;
static const int CaptionCapacity = 64;
static const int GlyphBlockWidth = 22;  // the glyph and the gap before the caption
static const int NarrowestFill = 11;    // a fill this narrow would not show its rounding

static void DrawBarText(HDC dc, const RECT& item, int bar) {
    char16_t text[PROGRESS_TEXT_CAPACITY];
    CopyProgressText(bar, text, PROGRESS_TEXT_CAPACITY);
    RECT area = item;
    area.left += Scaled(10);
    area.right -= Scaled(10);
    HGDIOBJ oldFont = SelectObject(dc, NormalFont);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Colour(COLOUR_WHITE));
    DrawTextW(dc, reinterpret_cast<const wchar_t*>(text), -1, &area,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, oldFont);
}

// In high contrast the text over the filled part is the highlight's text
// colour and the rest the window's: each part is drawn clipped to its own.
static void DrawBarTextOverFill(HDC dc, const RECT& item, const RECT& filled, int bar) {
    if (!HighContrastOn() || filled.right <= filled.left) {
        DrawBarText(dc, item, bar);
        return;
    }
    int saved = SaveDC(dc);
    ExcludeClipRect(dc, filled.left, filled.top, filled.right, filled.bottom);
    DrawBarText(dc, item, bar);
    RestoreDC(dc, saved);
    saved = SaveDC(dc);
    IntersectClipRect(dc, filled.left, filled.top, filled.right, filled.bottom);
    {
        InkOnHighlight ink(true);
        DrawBarText(dc, item, bar);
    }
    RestoreDC(dc, saved);
}

static void DrawProgressBar(const DRAWITEMSTRUCT& item, int bar) {
    FillRoundRect(item.hDC, item.rcItem, Colour(COLOUR_TRACK), ScaledRadius(BarRadius),
                  Colour(COLOUR_TRACK), Colour(COLOUR_FRAME_LINE));
    int width = item.rcItem.right - item.rcItem.left;
    int fill = width * ProgressBars[bar].Permille / 1000;
    RECT filled = item.rcItem;
    filled.right = filled.left + fill;
    if (fill > Scaled(NarrowestFill)) {
        FillRoundRect(item.hDC, filled, Colour(COLOUR_PRIMARY_TOP), ScaledRadius(BarRadius),
                      Colour(COLOUR_PRIMARY_BOTTOM), Colour(COLOUR_FILL_BORDER));
    } else {
        filled.right = filled.left;
    }
    DrawBarTextOverFill(item.hDC, item.rcItem, filled, bar);
}

static void DrawSelectorTriangle(HDC dc, const RECT& item, bool open, COLORREF colour) {
    int r = item.right;
    int m = (item.top + item.bottom) / 2;
    POINT down[3] = {{r - Scaled(21), m - Scaled(2)},
                     {r - Scaled(11), m - Scaled(2)},
                     {r - Scaled(16), m + Scaled(3)}};
    POINT up[3] = {{r - Scaled(21), m + Scaled(2)},
                   {r - Scaled(11), m + Scaled(2)},
                   {r - Scaled(16), m - Scaled(3)}};
    HBRUSH brush = CreateSolidBrush(colour);
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    Polygon(dc, open ? up : down, 3);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

static void DrawSelectorPlaceholder(HDC dc, RECT content) {
    HGDIOBJ oldFont = SelectObject(dc, NormalFont);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Colour(COLOUR_MUTED_TEXT));
    const wchar_t* text = reinterpret_cast<const wchar_t*>(SelectorPlaceholder());
    DrawTextW(dc, text, -1, &content, DT_SINGLELINE | DT_VCENTER);
    SelectObject(dc, oldFont);
}

static void DrawScriptSelector(const DRAWITEMSTRUCT& item) {
    bool open = PickerWindow != nullptr;
    bool hot = IsHot(item.hwndItem);
    bool disabled = (item.itemState & ODS_DISABLED) != 0;
    COLORREF fill = Colour(open || hot ? COLOUR_SELECTOR_LIT : COLOUR_PANEL);
    COLORREF border = Colour(open  ? COLOUR_SELECTOR_OPEN_BORDER
                             : hot ? COLOUR_SELECTOR_HOT_BORDER
                                   : COLOUR_FRAME_LINE);
    FillRoundRect(item.hDC, item.rcItem, fill, ScaledRadius(ControlRadius), fill, border);
    DrawSelectorTriangle(item.hDC, item.rcItem, open,
                         Colour(disabled ? COLOUR_DISABLED_INK : COLOUR_LIGHT_TEXT));
    RECT content = item.rcItem;
    content.left += Scaled(12);
    content.right -= Scaled(32);
    if (SelectedScript == -1) {
        DrawSelectorPlaceholder(item.hDC, content);
    } else {
        DrawScriptRow(item.hDC, content, SelectedScript);
    }
}

// Paints the box of a button in its state and returns that state's look.
static ButtonLook DrawButtonBox(const DRAWITEMSTRUCT& item, bool primary) {
    bool pressed = (item.itemState & ODS_SELECTED) != 0;
    ButtonLook look =
        ButtonColours(primary, IsHot(item.hwndItem), pressed, (item.itemState & ODS_FOCUS) != 0,
                      (item.itemState & ODS_DISABLED) != 0);
    FillRoundRect(item.hDC, item.rcItem, look.top, ScaledRadius(ControlRadius), look.bottom,
                  look.border);
    return look;
}

// The caption rectangle; a pressed button's caption sits one pixel lower.
static RECT CaptionArea(const DRAWITEMSTRUCT& item) {
    RECT area = item.rcItem;
    if (item.itemState & ODS_SELECTED) OffsetRect(&area, 0, Scaled(1));
    return area;
}

static void DrawPrimaryButton(const DRAWITEMSTRUCT& item) {
    ButtonLook look = DrawButtonBox(item, true);
    wchar_t caption[CaptionCapacity];
    GetWindowTextW(item.hwndItem, caption, CaptionCapacity);
    HDC dc = item.hDC;
    HGDIOBJ oldFont = SelectObject(dc, SemiboldFont);
    SIZE extent = {};
    GetTextExtentPoint32W(dc, caption, lstrlenW(caption), &extent);
    int width = item.rcItem.right - item.rcItem.left;
    int blockLeft = item.rcItem.left + (width - extent.cx - Scaled(GlyphBlockWidth)) / 2;
    if (GdiplusReady) {
        int glyphY = (item.rcItem.top + item.rcItem.bottom) / 2 - Scaled(1);
        DrawDownloadGlyph(dc, static_cast<float>(blockLeft + Scaled(7)), static_cast<float>(glyphY),
                          look.caption);
    }
    RECT area = CaptionArea(item);
    area.left = blockLeft + Scaled(GlyphBlockWidth);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, look.caption);
    DrawTextW(dc, caption, -1, &area, DT_SINGLELINE | DT_VCENTER);
    SelectObject(dc, oldFont);
}

static void DrawSecondaryButton(const DRAWITEMSTRUCT& item) {
    ButtonLook look = DrawButtonBox(item, false);
    wchar_t caption[CaptionCapacity];
    GetWindowTextW(item.hwndItem, caption, CaptionCapacity);
    HDC dc = item.hDC;
    HGDIOBJ oldFont = SelectObject(dc, SemiboldFont);
    RECT area = CaptionArea(item);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, look.caption);
    DrawTextW(dc, caption, -1, &area, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    SelectObject(dc, oldFont);
}

void DrawOwnerControl(const DRAWITEMSTRUCT& item) {
    // The window's own background first, so rounded corners blend into it.
    FillSolid(item.hDC, item.rcItem, Colour(COLOUR_WINDOW));
    switch (item.CtlID) {
        case ID_FILE_PROGRESS:
        case ID_TOTAL_PROGRESS:
            DrawProgressBar(item, static_cast<int>(item.CtlID) - ID_FILE_PROGRESS);
            break;
        case ID_SCRIPT_SELECTOR:
            DrawScriptSelector(item);
            break;
        case ID_DOWNLOAD:
            DrawPrimaryButton(item);
            break;
        default:
            DrawSecondaryButton(item);
            break;
    }
    DrawControlFocusRing(item);
}
