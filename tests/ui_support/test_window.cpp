// The shared harness of the in-process window tests.
#include "tests/ui_support/test_window.h"

#include <commctrl.h>

#include "app/settings.h"
#include "app/shared_state.h"
#include "app/startup_win32.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/hash_os.h"
#include "catalog/local_state.h"
#include "ui/draw.h"
#include "ui/texts.h"

// ---- start-up and the pump ----------------------------------------------------

void StartUiOnce() {
    // The settings of the test program's own folder: no updater.ini lies there.
    PrepareStartUp(GetModuleHandleW(nullptr), nullptr);
}

static bool QuitSeen;

bool TakeQuitMessage() {
    bool seen = QuitSeen;
    QuitSeen = false;
    return seen;
}

static void DispatchWaiting() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            QuitSeen = true;
            continue;
        }
        HWND main = static_cast<HWND>(MainWindow);
        if (main != nullptr && IsWindow(main) && IsDialogMessageW(main, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool PumpUntil(const std::function<bool()>& condition, int timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        DispatchWaiting();
        if (condition()) return true;
        DWORD waited = GetTickCount() - start;
        if (waited >= static_cast<DWORD>(timeoutMs)) return false;
        DWORD left = static_cast<DWORD>(timeoutMs) - waited;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 20 ? left : 20, QS_ALLINPUT);
    }
}

void PumpFor(int milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

// ---- reading controls -----------------------------------------------------------

std::u16string WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    GetWindowTextW(window, reinterpret_cast<wchar_t*>(&text[0]), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

std::u16string ControlText(int id) {
    return WindowText(ControlWindow(id));
}

int ListRowCount() {
    return static_cast<int>(SendMessageW(ControlWindow(ID_FILE_LIST), LVM_GETITEMCOUNT, 0, 0));
}

std::u16string ListCell(int row, int column) {
    wchar_t buffer[300] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = static_cast<int>(COUNTOF(buffer));
    SendMessageW(ControlWindow(ID_FILE_LIST), LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
    return reinterpret_cast<const char16_t*>(buffer);
}

// ---- catalogs on disk -----------------------------------------------------------

static std::string Md5Of(const std::string& content) {
    char16_t digest[DIGEST_CAPACITY] = {};
    HashBytes(content.data(), content.size(), digest);
    std::string ascii;
    for (const char16_t* c = digest; *c != 0; ++c) ascii += static_cast<char>(*c);
    return ascii;
}

std::string BuildCatalog(const std::vector<CatalogScript>& scripts) {
    std::string text = "; written by the window tests\n";
    for (const CatalogScript& script : scripts) {
        text += "[" + script.name + "]\n";
        if (!script.version.empty()) text += "version = " + script.version + "\n";
        if (!script.desc.empty()) text += "desc = " + script.desc + "\n";
        for (const std::string& note : script.notes) text += "note = " + note + "\n";
        for (const CatalogFile& file : script.files) {
            text +=
                (file.keep ? "keep = " : "file = ") + file.path + "|" + Md5Of(file.content) + "\n";
        }
    }
    return text;
}

void WriteServerFolder(const fs::path& folder, const std::vector<CatalogScript>& scripts) {
    WriteFileBytes(folder / "scripts.txt", BuildCatalog(scripts));
    for (const CatalogScript& script : scripts) {
        for (const CatalogFile& file : script.files) {
            WriteFileBytes(folder / fs::u8path(script.name) / fs::u8path(file.path), file.content);
        }
    }
}

void PlaceFile(const fs::path& scriptsFolder, const CatalogScript& script, const CatalogFile& file,
               const std::string& content) {
    WriteFileBytes(scriptsFolder / fs::u8path(script.name) / fs::u8path(file.path), content);
}

// ---- pixels ---------------------------------------------------------------------

PixelCanvas::PixelCanvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<UINT32*>(bits);
    oldBitmap_ = SelectObject(dc_, bitmap_);
}

PixelCanvas::~PixelCanvas() {
    SelectObject(dc_, oldBitmap_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

COLORREF PixelCanvas::At(int x, int y) const {
    GdiFlush();
    UINT32 pixel = bits_[y * width_ + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

int PixelCanvas::CountNear(const RECT& area, COLORREF colour, int tolerance) const {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            if (ColourDistance(At(x, y), colour) <= tolerance) ++count;
        }
    }
    return count;
}

void PixelCanvas::CaptureWindow(HWND window) {
    UpdateWindow(window);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    HDC screen = GetDC(nullptr);
    BitBlt(dc_, 0, 0, width_, height_, screen, origin.x, origin.y, SRCCOPY);
    ReleaseDC(nullptr, screen);
}

int ColourDistance(COLORREF a, COLORREF b) {
    int red = abs(GetRValue(a) - GetRValue(b));
    int green = abs(GetGValue(a) - GetGValue(b));
    int blue = abs(GetBValue(a) - GetBValue(b));
    int most = red > green ? red : green;
    return most > blue ? most : blue;
}

void DrawControlInto(PixelCanvas& canvas, int id, UINT itemState) {
    DRAWITEMSTRUCT item = {};
    item.CtlType = id >= ID_SCRIPT_SELECTOR ? ODT_BUTTON : ODT_STATIC;
    item.CtlID = static_cast<UINT>(id);
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = itemState;
    item.hwndItem = ControlWindow(id);
    item.hDC = canvas.Dc();
    SetRect(&item.rcItem, 0, 0, canvas.Width(), canvas.Height());
    DrawOwnerControl(item);
    GdiFlush();
}

// ---- the fixture ----------------------------------------------------------------

void WindowTest::SetUp() {
    ResetSharedState();
    ClearCatalog();
    fs::create_directories(ServerDir());
    fs::create_directories(ScriptsDir());
    TakeQuitMessage();
    PrepareStartUp(GetModuleHandleW(nullptr), ExecutablePath().c_str());
}

void WindowTest::TearDown() {
    HWND main = static_cast<HWND>(MainWindow);
    if (main != nullptr && IsWindow(main)) {
        // A worker left running would write into the next test's tables.
        EXPECT_TRUE(WaitUntilIdle(30000)) << "a worker was still running at the end of the test";
        if (PickerWindow != nullptr) DestroyWindow(static_cast<HWND>(PickerWindow));
        DestroyWindow(main);
        PumpFor(0);
    }
    TakeQuitMessage();
    ResetSharedState();
    ClearCatalog();
}

void WindowTest::WriteSettings(const std::string& iniText) {
    fs::path ini = root_.Path() / "updater.ini";
    std::error_code ignored;
    fs::remove(ini, ignored);
    if (!iniText.empty()) WriteFileBytes(ini, iniText);
    ResolveSettings(ExecutablePath().c_str());
}

static std::string Utf8(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out += static_cast<char>(c);  // the tests' paths are ASCII
    return out;
}

void WindowTest::UseServer(const std::u16string& server) {
    WriteSettings("[updater]\r\nurl=" + Utf8(server) +
                  "\r\nfolder=" + Utf8(root_.ProgramPath("scripts")) + "\r\n");
}

HWND WindowTest::OpenMainWindow() {
    HWND main = StartUp(GetModuleHandleW(nullptr), ExecutablePath().c_str());
    if (main != nullptr) ShowWindow(main, SW_SHOW);
    return main;
}

bool WindowTest::WaitUntilIdle(int timeoutMs) {
    return PumpUntil([] { return WorkerBusy == 0; }, timeoutMs);
}

HWND WindowTest::OpenAfterCheck(const std::u16string& server) {
    UseServer(server);
    HWND main = OpenMainWindow();
    EXPECT_TRUE(main != nullptr);
    EXPECT_TRUE(WaitUntilIdle()) << "the check did not end";
    return main;
}

HWND WindowTest::Control(int id) const {
    return ControlWindow(id);
}

void WindowTest::Press(int id) {
    SendMessageW(static_cast<HWND>(MainWindow), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(id)));
}

std::u16string WindowTest::LastSetting() const {
    char16_t last[LAST_SCRIPT_CAPACITY] = {};
    ReadLastScript(last);
    return last;
}
