// Display scaling as the system reports it.
#include "app/dpi_win32.h"

namespace {

typedef UINT(WINAPI* GetDpiForWindowFn)(HWND);
typedef BOOL(WINAPI* SystemParametersInfoForDpiFn)(UINT, UINT, PVOID, UINT, UINT);

// The size of the non-client metrics before the padded border was added,
// which every version of the system accepts.
const UINT OldNonClientMetricsSize = 500;

// An entry point of user32 that older systems lack, or null. Through
// void (*)() the cast to the real signature is warning-free.
template <typename Function>
Function User32Entry(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
}

// A DPI outside what any screen has (a failed call gives 0) is taken as
// the base, so that nothing is ever scaled to nothing.
UINT Plausible(UINT dpi) {
    return dpi >= 48 && dpi <= 960 ? dpi : static_cast<UINT>(BASE_DPI);
}

}  // namespace

UINT SystemDpi() {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return BASE_DPI;
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return Plausible(static_cast<UINT>(dpi));
}

UINT WindowDpi(HWND window) {
    static GetDpiForWindowFn getDpiForWindow = User32Entry<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow == nullptr || window == nullptr) return SystemDpi();
    return Plausible(getDpiForWindow(window));
}

LOGFONTW MessageFontForDpi(UINT dpi) {
    static SystemParametersInfoForDpiFn forDpi =
        User32Entry<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics = {};
    if (forDpi != nullptr) {
        metrics.cbSize = sizeof metrics;
        if (forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
            return metrics.lfMessageFont;
        }
        metrics = {};
    }
    metrics.cbSize = OldNonClientMetricsSize;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, OldNonClientMetricsSize, &metrics, 0);
    LOGFONTW font = metrics.lfMessageFont;
    font.lfHeight =
        MulDiv(font.lfHeight, static_cast<int>(Plausible(dpi)), static_cast<int>(SystemDpi()));
    return font;
}
