// Shared state on POSIX: an in-order message queue in place of the window's,
// a record of repaint requests, and detached threads.
#include "app/shared_state_os.h"
#include "app/shared_state_posix.h"

#include <time.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace {

std::mutex QueueLock;
std::condition_variable QueueChanged;
std::deque<PostedMessage> Queue;
std::map<WindowHandle, int> Repaints;

}  // namespace

// Notified under the lock: the reader cannot take a worker's last message
// (and let the process end) while the worker still uses the condition.
void PostToMainWindow(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard<std::mutex> guard(QueueLock);
    Queue.push_back({message, wParam, lParam});
    QueueChanged.notify_all();
}

void InvalidateControl(WindowHandle control) {
    if (control == nullptr) return;
    std::lock_guard<std::mutex> guard(QueueLock);
    ++Repaints[control];
}

bool TakePostedMessage(PostedMessage* message, int timeoutMs) {
    std::unique_lock<std::mutex> guard(QueueLock);
    if (!QueueChanged.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                               [] { return !Queue.empty(); })) {
        return false;
    }
    *message = Queue.front();
    Queue.pop_front();
    return true;
}

void ClearPostedMessages() {
    std::lock_guard<std::mutex> guard(QueueLock);
    Queue.clear();
    Repaints.clear();
}

int RepaintRequests(WindowHandle control) {
    std::lock_guard<std::mutex> guard(QueueLock);
    auto found = Repaints.find(control);
    return found == Repaints.end() ? 0 : found->second;
}

bool StartWorkerThread(WorkerRoutine routine, void* parameter) {
    try {
        std::thread(routine, parameter).detach();
        return true;
    } catch (...) {
        return false;  // std::thread reports a failed start only this way
    }
}

uint32_t TickCount() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}
