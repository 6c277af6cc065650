// The platform half of the shared state: posting to the main window,
// repainting a control, and starting a worker thread that nobody joins.
// shared_state_win32.cpp posts real window messages; shared_state_posix.cpp
// puts them in an in-order queue that tests and headless drivers read.
#ifndef UPDATER_APP_SHARED_STATE_OS_H
#define UPDATER_APP_SHARED_STATE_OS_H

#include <stdint.h>

#include "app/shared_state.h"

// Posts message to MainWindow; messages of one thread arrive in this order.
void PostToMainWindow(uint32_t message, uintptr_t wParam, intptr_t lParam);

// Asks control to repaint its whole client area, without erasing it first.
void InvalidateControl(WindowHandle control);

// A worker's routine: one pointer-sized parameter, result ignored.
typedef uint32_t (*WorkerRoutine)(void* parameter);

// Runs routine(parameter) on a thread of its own, never joined. Returns
// false when no thread could be started.
bool StartWorkerThread(WorkerRoutine routine, void* parameter);

// Milliseconds since some fixed moment, wrapping at 32 bits.
uint32_t TickCount();

#endif  // UPDATER_APP_SHARED_STATE_OS_H
