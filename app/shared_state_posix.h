// What the POSIX build offers in place of a window: the messages posted to
// MainWindow wait in an in-order queue, and repaint requests are recorded,
// so that tests and a headless driver can read both.
#ifndef UPDATER_APP_SHARED_STATE_POSIX_H
#define UPDATER_APP_SHARED_STATE_POSIX_H

#include <stdint.h>

#include "app/shared_state.h"

struct PostedMessage {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

// Takes the oldest posted message, waiting up to timeoutMs for one.
bool TakePostedMessage(PostedMessage* message, int timeoutMs);

// Drops every waiting message and every recorded repaint.
void ClearPostedMessages();

// Number of repaint requests for control since the last clear.
int RepaintRequests(WindowHandle control);

#endif  // UPDATER_APP_SHARED_STATE_POSIX_H
