// Message capture on Windows: a real top-level window as MainWindow, whose
// private messages are taken from the thread's queue.
#include "tests/support/messages.h"

#include <windows.h>

namespace {

const wchar_t CaptureClass[] = L"UpdaterTestCapture";
HWND CaptureWindow;

void RegisterCaptureClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = CaptureClass;
    RegisterClassExW(&windowClass);
    registered = true;
}

}  // namespace

void BeginMessageCapture() {
    RegisterCaptureClass();
    if (CaptureWindow == nullptr) {
        CaptureWindow = CreateWindowExW(0, CaptureClass, L"capture", WS_OVERLAPPEDWINDOW, 0, 0,
                                        200, 100, nullptr, nullptr, GetModuleHandleW(nullptr),
                                        nullptr);
    }
    MSG dropped;
    while (PeekMessageW(&dropped, CaptureWindow, 0x8000, 0xBFFF, PM_REMOVE)) {
    }
    MainWindow = CaptureWindow;
}

void EndMessageCapture() {
    MainWindow = nullptr;
}

bool NextMessage(CapturedMessage* message, int timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        if (PeekMessageW(&msg, CaptureWindow, 0x8000, 0xBFFF, PM_REMOVE)) {
            *message = {msg.message, static_cast<uintptr_t>(msg.wParam),
                        static_cast<intptr_t>(msg.lParam)};
            return true;
        }
        DWORD waited = GetTickCount() - start;
        if (waited >= static_cast<DWORD>(timeoutMs)) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - waited, QS_POSTMESSAGE);
    }
}

std::vector<CapturedMessage> MessagesUntil(uint32_t last, int timeoutMs) {
    std::vector<CapturedMessage> messages;
    DWORD start = GetTickCount();
    CapturedMessage message;
    for (;;) {
        DWORD waited = GetTickCount() - start;
        if (waited >= static_cast<DWORD>(timeoutMs)) break;
        if (!NextMessage(&message, timeoutMs - static_cast<int>(waited))) break;
        messages.push_back(message);
        if (message.message == last) break;
    }
    return messages;
}

WindowHandle MakeTestControl() {
    if (CaptureWindow == nullptr) BeginMessageCapture();
    HWND control = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20,
                                   CaptureWindow, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(CaptureWindow, SW_SHOWNOACTIVATE);
    ValidateRect(control, nullptr);
    return control;
}

bool TakeRepaintRequest(WindowHandle control) {
    HWND window = static_cast<HWND>(control);
    bool repainted = GetUpdateRect(window, nullptr, FALSE) != FALSE;
    ValidateRect(window, nullptr);
    return repainted;
}
