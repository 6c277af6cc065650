// Following the user's display settings: DPI changes and high contrast.
#include "ui/display_settings.h"

#include <commctrl.h>

#include "app/contrast_win32.h"
#include "app/dpi_win32.h"
#include "app/resources_win32.h"
#include "app/shared_state.h"
#include "ui/main_window.h"
#include "ui/picker.h"
#include "ui/scale.h"
#include "ui/texts.h"

namespace {

int Width(const RECT& rect) {
    return rect.right - rect.left;
}

int Height(const RECT& rect) {
    return rect.bottom - rect.top;
}

// Every control was given NormalFont; the old fonts are deleted only once
// no control holds them any more.
void RemakeFonts(UINT dpi) {
    HGDIOBJ old[] = {NormalFont, SemiboldFont, TitleFont};
    CreateFontsForDpi(dpi);
    for (const ControlFigures& control : ControlLayout) {
        HWND child = ControlWindow(control.id);
        if (child != nullptr)
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(NormalFont), FALSE);
    }
    for (HGDIOBJ font : old) {
        if (font != nullptr) DeleteObject(font);
    }
}

void RemakeForDpi(UINT dpi) {
    SetLayoutDpi(dpi);
    if (ResourceDpi == dpi) return;
    RemakeFonts(dpi);
    LoadAppIconForDpi(dpi);
}

// The controls where the layout puts them at LayoutDpi, with the figures
// inside them; the details pane's margins after its font, which resets them.
void PlaceControls() {
    for (const ControlFigures& control : ControlLayout) {
        RECT at = ControlBounds(control.id);
        SetWindowPos(ControlWindow(control.id), nullptr, at.left, at.top, Width(at), Height(at),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    HWND list = ControlWindow(ID_FILE_LIST);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, Scaled(NAME_COLUMN_WIDTH));
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, Scaled(STATUS_COLUMN_WIDTH));
    int margin = Scaled(DETAILS_MARGIN);
    SendMessageW(ControlWindow(ID_DETAILS), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
                 MAKELPARAM(margin, margin));
}

void RepaintAll(HWND window) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

// The window's size for a client area of the layout at LayoutDpi, with the
// frame it has now.
SIZE WindowSizeForLayout(HWND window) {
    RECT frame, client;
    GetWindowRect(window, &frame);
    GetClientRect(window, &client);
    SIZE size;
    size.cx = Width(frame) - client.right + Scaled(CLIENT_WIDTH);
    size.cy = Height(frame) - client.bottom + Scaled(CLIENT_HEIGHT);
    return size;
}

bool IsMessageFontChange(UINT message, WPARAM wParam) {
    return message == WM_SETTINGCHANGE &&
           (wParam == SPI_SETNONCLIENTMETRICS || wParam == SPI_SETICONTITLELOGFONT);
}

}  // namespace

void AdoptWindowDpi(HWND window) {
    UINT dpi = WindowDpi(window);
    bool sameLayout = dpi == LayoutDpi();
    RemakeForDpi(dpi);
    if (sameLayout) return;
    RECT frame;
    GetWindowRect(window, &frame);
    SIZE size = WindowSizeForLayout(window);
    int left = frame.left + (Width(frame) - size.cx) / 2;
    int top = frame.top + (Height(frame) - size.cy) / 2;
    SetWindowPos(window, nullptr, left, top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void OnDpiChanged(HWND window, UINT dpi, const RECT& suggested) {
    ClosePicker();
    RemakeForDpi(dpi);
    SetWindowPos(window, nullptr, suggested.left, suggested.top, Width(suggested),
                 Height(suggested), SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceControls();
    RepaintAll(window);
}

void OnDisplaySettingChange(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_SYSCOLORCHANGE) {
        SendMessageW(ControlWindow(ID_FILE_LIST), WM_SYSCOLORCHANGE, 0, 0);
    }
    if (IsMessageFontChange(message, wParam)) {
        RemakeFonts(LayoutDpi());
        PlaceControls();
    }
    // Another scheme within high contrast changes the system colours too,
    // so everything is recoloured, not only when the setting flips.
    RefreshHighContrast();
    RemakeBrushes();
    ColourFileList();
    ApplyDarkTheme(ControlWindow(ID_DETAILS));
    RepaintAll(window);
}

void ColourFileList() {
    HWND list = ControlWindow(ID_FILE_LIST);
    SendMessageW(list, LVM_SETBKCOLOR, 0, Colour(COLOUR_PANEL));
    SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, Colour(COLOUR_PANEL));
    SendMessageW(list, LVM_SETTEXTCOLOR, 0, Colour(COLOUR_LIGHT_TEXT));
    ApplyDarkTheme(list);
}

ButtonLook HighContrastButtonColours(bool primary, bool hot, bool focus, bool disabled) {
    ButtonLook look;
    if (disabled) {
        look.top = look.bottom = GetSysColor(COLOR_BTNFACE);
        look.border = look.caption = GetSysColor(COLOR_GRAYTEXT);
        return look;
    }
    if (primary) {
        look.top = look.bottom = GetSysColor(COLOR_HIGHLIGHT);
        look.caption = GetSysColor(COLOR_HIGHLIGHTTEXT);
        look.border = GetSysColor(hot ? COLOR_HOTLIGHT : COLOR_HIGHLIGHT);
        return look;
    }
    look.top = look.bottom = GetSysColor(COLOR_BTNFACE);
    look.caption = GetSysColor(COLOR_BTNTEXT);
    look.border = GetSysColor(hot ? COLOR_HOTLIGHT : focus ? COLOR_HIGHLIGHT : COLOR_BTNTEXT);
    return look;
}
