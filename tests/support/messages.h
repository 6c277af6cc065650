// Reading what the program posts to its main window, the same way on both
// builds: on Windows a real hidden window receives the messages and its
// queue is pumped; on POSIX the shared-state queue is read.
#ifndef UPDATER_TESTS_SUPPORT_MESSAGES_H
#define UPDATER_TESTS_SUPPORT_MESSAGES_H

#include <stdint.h>

#include <vector>

#include "app/shared_state.h"

struct CapturedMessage {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    bool operator==(const CapturedMessage& other) const {
        return message == other.message && wParam == other.wParam && lParam == other.lParam;
    }
};

// Makes MainWindow a capture target and drops anything posted before.
// Must be called on the thread that later reads the messages.
void BeginMessageCapture();
void EndMessageCapture();

// The oldest message posted to MainWindow, waiting up to timeoutMs.
bool NextMessage(CapturedMessage* message, int timeoutMs);

// Every message up to and including the first one of type last (or until
// timeoutMs passes without one).
std::vector<CapturedMessage> MessagesUntil(uint32_t last, int timeoutMs);

// A control for ControlHandles, and whether it was asked to repaint since
// it was made or last checked (checking clears it).
WindowHandle MakeTestControl();
bool TakeRepaintRequest(WindowHandle control);

#endif  // UPDATER_TESTS_SUPPORT_MESSAGES_H
