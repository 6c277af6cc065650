// The script picker popup.
#include "ui/picker.h"

#include <stdint.h>
#include <windowsx.h>

#include "app/contrast_win32.h"
#include "app/resources_win32.h"
#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "catalog/catalog.h"
#include "ui/accessible.h"
#include "ui/draw.h"
#include "ui/scale.h"
#include "ui/keyboard.h"
#include "ui/texts.h"

// Set while the popup is being destroyed. Destroying a popup deactivates
// it, and some systems (Wine among them) send it WM_ACTIVATE(WA_INACTIVE)
// again from inside DestroyWindow, while PickerWindow is still set; without
// this the deactivation would destroy it again and again.
static bool PickerClosing;

static HWND Popup() {
    return static_cast<HWND>(PickerWindow);
}

static void RepaintPopup() {
    InvalidateRect(Popup(), nullptr, FALSE);
}

// ---- geometry -----------------------------------------------------------------

int PickerVisibleRows() {
    return ScriptCount < PICKER_MAX_ROWS ? ScriptCount : PICKER_MAX_ROWS;
}

// The row pitch and the margin at the layout's DPI.
static int RowHeight() {
    return Scaled(PICKER_ROW_HEIGHT);
}

static int Margin() {
    return Scaled(PICKER_MARGIN);
}

int PickerHeight(int visibleRows) {
    return visibleRows * RowHeight() + 2 * Margin();
}

int PickerTop(const RECT& selector, int height, const RECT& workArea) {
    int top = selector.bottom + Margin();
    if (top + height > workArea.bottom) top = selector.top - Margin() - height;
    return top;
}

RECT PickerRowBox(int position, int clientWidth) {
    RECT box;
    box.left = Margin();
    box.top = position * RowHeight() + Margin();
    box.right = clientWidth - Margin();
    box.bottom = position * RowHeight() + RowHeight() + Margin();
    return box;
}

int PickerRowAt(int y) {
    if (y - Margin() < 0) return -1;
    int row = (y - Margin()) / RowHeight() + PickerTopRow;
    return row >= 0 && row < ScriptCount ? row : -1;
}

void MovePickerHighlight(int row) {
    if (row < 0 || row >= ScriptCount) return;
    int visible = PickerVisibleRows();
    if (row < PickerTopRow) PickerTopRow = row;
    if (row >= PickerTopRow + visible) PickerTopRow = row - visible + 1;
    PickerHighlight = row;
    RepaintPopup();
    AnnouncePickerHighlight();
}

// ---- opening and closing ------------------------------------------------------

// The work area of the monitor that shows the selector.
static RECT WorkAreaAround(HWND window) {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    }
    return monitor.rcWork;
}

static bool ClosedMomentsAgo() {
    uint32_t sinceClose = TickCount() - PickerClosedTick;
    return sinceClose < PICKER_REOPEN_MS;
}

void OpenPicker() {
    if (PickerWindow != nullptr || WorkerBusy || ScriptCount == 0 || ClosedMomentsAgo()) return;
    int visible = PickerVisibleRows();
    int height = PickerHeight(visible);
    HWND selector = ControlWindow(ID_SCRIPT_SELECTOR);
    RECT button;
    GetWindowRect(selector, &button);
    RECT workArea = WorkAreaAround(selector);
    int top = PickerTop(button, height, workArea);
    PickerHighlight = SelectedScript;
    PickerTopRow = SelectedScript >= visible ? SelectedScript - visible + 1 : 0;
    PickerWindow = CreateWindowExW(WS_EX_TOOLWINDOW, PickerWindowClass, L"", WS_POPUP, button.left,
                                   top, button.right - button.left, height,
                                   static_cast<HWND>(MainWindow), nullptr, AppInstance, nullptr);
    if (PickerWindow == nullptr) return;
    ShowWindow(Popup(), SW_SHOW);
    SetFocus(Popup());
    InvalidateRect(selector, nullptr, FALSE);
    AnnouncePickerOpened();
}

void ClosePicker() {
    if (PickerWindow == nullptr || PickerClosing) return;
    PickerClosing = true;
    DestroyWindow(Popup());
    PickerClosing = false;
}

// Closes the popup and makes script the chosen one.
static void ChooseScript(int script) {
    ClosePicker();
    SelectScript(script);
}

// ---- painting -----------------------------------------------------------------

static void DrawChosenMark(HDC dc, const RECT& box) {
    RECT mark = {box.left + Scaled(3), box.top + Scaled(7), box.left + Scaled(6),
                 box.bottom - Scaled(7)};
    FillSolid(dc, mark, Colour(COLOUR_ACCENT));
}

static void DrawPickerRow(HDC dc, const RECT& box, int script) {
    bool highlighted = script == PickerHighlight;
    if (highlighted) {
        FillRoundRect(dc, box, Colour(COLOUR_PICKER_HIGHLIGHT), ScaledRadius(6.0f),
                      Colour(COLOUR_PICKER_HIGHLIGHT), Colour(COLOUR_PICKER_HIGHLIGHT_BORDER));
    }
    InkOnHighlight ink(highlighted);
    if (script == SelectedScript) DrawChosenMark(dc, box);
    RECT content = {box.left + Scaled(14), box.top, box.right - Scaled(10), box.bottom};
    DrawScriptRow(dc, content, script);
}

static void DrawPickerContent(HDC dc, const RECT& client) {
    FillSolid(dc, client, Colour(COLOUR_PANEL));
    int script = PickerTopRow;
    for (int position = 0; position * RowHeight() < client.bottom && script < ScriptCount;
         ++position, ++script) {
        DrawPickerRow(dc, PickerRowBox(position, client.right), script);
    }
    HBRUSH frame = CreateSolidBrush(Colour(COLOUR_PICKER_FRAME));
    FrameRect(dc, &client, frame);
    DeleteObject(frame);
}

// Painted into a memory bitmap first, so the rows never flicker.
static void OnPickerPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    DrawPickerContent(memory, client);
    BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(window, &paint);
}

// ---- input --------------------------------------------------------------------

static void OnPickerMouseMove(int y) {
    int row = PickerRowAt(y);
    if (row >= 0 && row != PickerHighlight) MovePickerHighlight(row);
}

static void OnPickerClick(int y) {
    int row = PickerRowAt(y);
    if (row >= 0) ChooseScript(row);
}

static void OnPickerKey(WPARAM key) {
    switch (key) {
        case VK_RETURN:
            if (PickerHighlight >= 0) ChooseScript(PickerHighlight);
            break;
        case VK_ESCAPE:
            ClosePicker();
            break;
        case VK_UP:
            MovePickerHighlight(PickerHighlight - 1);
            break;
        case VK_DOWN:
            MovePickerHighlight(PickerHighlight + 1);
            break;
        default:
            OnPickerExtraKey(WM_KEYDOWN, key);
            break;
    }
}

// One row per notch message, whatever the size of its delta.
static void OnPickerWheel(int delta) {
    int lastTop = ScriptCount - PickerVisibleRows();
    int top = PickerTopRow + (delta > 0 ? -1 : 1);
    if (top > lastTop) top = lastTop;
    if (top < 0) top = 0;
    PickerTopRow = top;
    RepaintPopup();
}

static void OnPickerActivate(WPARAM wParam) {
    if (LOWORD(wParam) == WA_INACTIVE && PickerWindow != nullptr) ClosePicker();
}

static void OnPickerDestroy() {
    PickerWindow = nullptr;
    PickerClosedTick = TickCount();
    InvalidateRect(ControlWindow(ID_SCRIPT_SELECTOR), nullptr, FALSE);
    AnnouncePickerClosed();
    ReturnFocusToSelector();
}

LRESULT CALLBACK PickerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            OnPickerPaint(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_MOUSEMOVE:
            OnPickerMouseMove(GET_Y_LPARAM(lParam));
            return 0;
        case WM_LBUTTONUP:
            OnPickerClick(GET_Y_LPARAM(lParam));
            return 0;
        case WM_KEYDOWN:
            OnPickerKey(wParam);
            return 0;
        case WM_SYSKEYDOWN:
        case WM_CHAR:
            if (OnPickerExtraKey(message, wParam)) return 0;
            break;
        case WM_MOUSEWHEEL:
            OnPickerWheel(GET_WHEEL_DELTA_WPARAM(wParam));
            return 0;
        case WM_ACTIVATE:
            OnPickerActivate(wParam);
            break;
        case WM_DESTROY:
            OnPickerDestroy();
            return 0;
        case WM_GETOBJECT:
            return AnswerPickerObject(window, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
