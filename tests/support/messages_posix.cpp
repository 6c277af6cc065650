// Message capture on POSIX: the shared-state queue and its repaint record.
#include "tests/support/messages.h"

#include <chrono>
#include <map>

#include "app/shared_state_posix.h"

namespace {
int ControlTokens[16];
int NextToken;
std::map<WindowHandle, int> SeenRepaints;
}  // namespace

void BeginMessageCapture() {
    ClearPostedMessages();
    SeenRepaints.clear();
    MainWindow = &ControlTokens[0];
}

void EndMessageCapture() {
    MainWindow = nullptr;
    ClearPostedMessages();
}

bool NextMessage(CapturedMessage* message, int timeoutMs) {
    PostedMessage posted;
    if (!TakePostedMessage(&posted, timeoutMs)) return false;
    *message = {posted.message, posted.wParam, posted.lParam};
    return true;
}

std::vector<CapturedMessage> MessagesUntil(uint32_t last, int timeoutMs) {
    std::vector<CapturedMessage> messages;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    CapturedMessage message;
    while (std::chrono::steady_clock::now() < deadline) {
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now())
                                        .count());
        if (!NextMessage(&message, left > 0 ? left : 1)) break;
        messages.push_back(message);
        if (message.message == last) break;
    }
    return messages;
}

WindowHandle MakeTestControl() {
    NextToken = NextToken % 15 + 1;
    WindowHandle control = &ControlTokens[NextToken];
    SeenRepaints[control] = RepaintRequests(control);
    return control;
}

bool TakeRepaintRequest(WindowHandle control) {
    int now = RepaintRequests(control);
    bool repainted = now > SeenRepaints[control];
    SeenRepaints[control] = now;
    return repainted;
}
