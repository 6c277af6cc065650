// Shared state on Windows: real posted messages, InvalidateRect, CreateThread.
#include "app/shared_state_os.h"

#include <stdlib.h>
#include <windows.h>

void PostToMainWindow(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    PostMessageW(static_cast<HWND>(MainWindow), message, static_cast<WPARAM>(wParam),
                 static_cast<LPARAM>(lParam));
}

void InvalidateControl(WindowHandle control) {
    if (control != nullptr) InvalidateRect(static_cast<HWND>(control), nullptr, FALSE);
}

namespace {

struct WorkerStart {
    WorkerRoutine routine;
    void* parameter;
};

DWORD WINAPI RunWorker(LPVOID start) {
    WorkerStart work = *static_cast<WorkerStart*>(start);
    free(start);
    return work.routine(work.parameter);
}

}  // namespace

bool StartWorkerThread(WorkerRoutine routine, void* parameter) {
    WorkerStart* start = static_cast<WorkerStart*>(malloc(sizeof(WorkerStart)));
    if (start == nullptr) return false;
    start->routine = routine;
    start->parameter = parameter;
    HANDLE thread = CreateThread(nullptr, 0, RunWorker, start, 0, nullptr);
    if (thread == nullptr) {
        free(start);
        return false;
    }
    CloseHandle(thread);
    return true;
}

uint32_t TickCount() {
    return GetTickCount();
}
