#include "tests/ui_support/window_checks_win32.h"

#include <commctrl.h>
#include <stdio.h>

#include "app/shared_state.h"
#include "ui/main_window.h"
#include "ui/scale.h"

namespace {

std::string Describe(const std::string& what, const RECT& rect) {
    char text[80];
    snprintf(text, sizeof text, " is (%ld,%ld)-(%ld,%ld); ", rect.left, rect.top, rect.right,
             rect.bottom);
    return what + text;
}

// Bounded, as the window may be another process's.
LRESULT Ask(HWND window, UINT message, WPARAM wParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, 0, SMTO_ABORTIFHUNG, 5000, &result);
    return static_cast<LRESULT>(result);
}

}  // namespace

std::string LayoutDifferences(HWND main, int dpi) {
    auto at = [dpi](int figure) { return MulDiv(figure, dpi, 96); };
    std::string differences;
    RECT client;
    GetClientRect(main, &client);
    if (client.right != at(CLIENT_WIDTH) || client.bottom != at(CLIENT_HEIGHT))
        differences += Describe("the client area", client);
    for (const ControlFigures& figures : ControlLayout) {
        RECT actual;
        GetWindowRect(GetDlgItem(main, figures.id), &actual);
        MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&actual), 2);
        RECT expected = {at(figures.x), at(figures.y), at(figures.x) + at(figures.width),
                         at(figures.y) + at(figures.height)};
        if (!EqualRect(&actual, &expected))
            differences += Describe("control " + std::to_string(figures.id), actual);
    }
    HWND list = GetDlgItem(main, ID_FILE_LIST);
    if (Ask(list, LVM_GETCOLUMNWIDTH, 0) != at(NAME_COLUMN_WIDTH) ||
        Ask(list, LVM_GETCOLUMNWIDTH, 1) != at(STATUS_COLUMN_WIDTH)) {
        differences += "the list's columns are not scaled; ";
    }
    LRESULT margins = Ask(GetDlgItem(main, ID_DETAILS), EM_GETMARGINS, 0);
    if (LOWORD(margins) != at(DETAILS_MARGIN) || HIWORD(margins) != at(DETAILS_MARGIN))
        differences += "the details pane's margins are not scaled; ";
    return differences;
}

std::vector<uint8_t> ScreenRgb(const RECT& area) {
    int width = area.right - area.left, height = area.bottom - area.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    const uint8_t* pixels = static_cast<const uint8_t*>(bits);
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        rgb[i * 3] = pixels[i * 4 + 2];
        rgb[i * 3 + 1] = pixels[i * 4 + 1];
        rgb[i * 3 + 2] = pixels[i * 4];
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return rgb;
}
