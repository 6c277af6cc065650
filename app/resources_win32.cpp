// Start-up resources: fonts, icon, brushes, the run-time binding of GDI+,
// and how the system's optional libraries are loaded.
#include "app/resources_win32.h"

#include <wchar.h>

#include "app/dpi_win32.h"
#include "app/palette_win32.h"

HINSTANCE AppInstance;
HFONT NormalFont;
HFONT SemiboldFont;
HFONT TitleFont;
HICON AppIcon;
UINT ResourceDpi;
HBRUSH WindowBrush;
HBRUSH PanelBrush;
FARPROC GdiplusEntries[GDIPLUS_ENTRY_COUNT];
bool GdiplusReady;

const char* const GdiplusEntryNames[GDIPLUS_ENTRY_COUNT] = {
    "GdiplusStartup",  "GdipCreateFromHDC",   "GdipSetSmoothingMode", "GdipCreatePath",
    "GdipAddPathArc",  "GdipClosePathFigure", "GdipCreateSolidFill",  "GdipCreateLineBrush",
    "GdipFillPath",    "GdipCreatePen1",      "GdipDrawPath",         "GdipFillPolygon",
    "GdipDeleteBrush", "GdipDeletePen",       "GdipDeletePath",       "GdipDeleteGraphics",
};

namespace {

// The start-up input of GDI+ version 1, laid out as the flat interface
// expects it.
struct GdiplusStartupInput {
    UINT32 GdiplusVersion;
    void* DebugEventCallback;
    BOOL SuppressBackgroundThread;
    BOOL SuppressExternalCodecs;
};

typedef int(WINAPI* GdiplusStartupFunction)(ULONG_PTR* token, const GdiplusStartupInput* input,
                                            void* output);

const int TitleWeight = 700;
const int SemiboldWeight = 600;
const int HeaderIconSize = 32;  // at 96 DPI

void DeleteIfMade(HGDIOBJ object) {
    if (object != nullptr) DeleteObject(object);
}

void ForgetGdiplus() {
    for (FARPROC& entry : GdiplusEntries) entry = nullptr;
    GdiplusReady = false;
}

}  // namespace

void CreateFontsForDpi(UINT dpi) {
    LOGFONTW font = MessageFontForDpi(dpi);
    NormalFont = CreateFontIndirectW(&font);
    font.lfWeight = SemiboldWeight;
    SemiboldFont = CreateFontIndirectW(&font);
    font.lfWeight = TitleWeight;
    font.lfHeight = TitleFontHeight(font.lfHeight);
    TitleFont = CreateFontIndirectW(&font);
    ResourceDpi = dpi;
}

void LoadAppIconForDpi(UINT dpi) {
    // Of the icon group's sizes the system takes the one that fits best
    // and scales it only when none is exact.
    int size = MulDiv(HeaderIconSize, static_cast<int>(dpi), BASE_DPI);
    HICON old = AppIcon;
    AppIcon = static_cast<HICON>(
        LoadImageW(AppInstance, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    if (old != nullptr) DestroyIcon(old);
}

void RemakeBrushes() {
    HBRUSH oldWindow = WindowBrush, oldPanel = PanelBrush;
    WindowBrush = CreateSolidBrush(Colour(COLOUR_WINDOW));
    PanelBrush = CreateSolidBrush(Colour(COLOUR_PANEL));
    DeleteIfMade(oldWindow);
    DeleteIfMade(oldPanel);
}

LONG TitleFontHeight(LONG messageFontHeight) {
    return messageFontHeight * 13 / 10;
}

bool BindGdiplus(HMODULE module) {
    ForgetGdiplus();
    if (module == nullptr) return false;
    for (int slot = 0; slot < GDIPLUS_ENTRY_COUNT; ++slot) {
        FARPROC entry = GetProcAddress(module, GdiplusEntryNames[slot]);
        if (entry == nullptr) return false;
        GdiplusEntries[slot] = entry;
    }
    // Through void (*)() the cast to the real signature is warning-free on
    // every compiler.
    GdiplusStartupFunction startup = reinterpret_cast<GdiplusStartupFunction>(
        reinterpret_cast<void (*)()>(GdiplusEntries[GDIP_STARTUP]));
    GdiplusStartupInput input = {1, nullptr, FALSE, FALSE};
    ULONG_PTR token = 0;
    GdiplusReady = startup(&token, &input, nullptr) == 0;
    return GdiplusReady;
}

void KeepLibrarySearchToSystemFolder() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    const DWORD SearchSystemFolder = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return;
    SetDefaultDllDirectoriesFunction setDirectories =
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDirectories != nullptr) setDirectories(SearchSystemFolder);
}

void CreateStartupResources() {
    UINT dpi = SystemDpi();
    CreateFontsForDpi(dpi);
    LoadAppIconForDpi(dpi);
    BindGdiplus(LoadSystemLibrary(L"gdiplus.dll"));
    RemakeBrushes();
}
