// What a screen reader learns of another process's windows: the client
// object a window gives through WM_GETOBJECT, with its simple children,
// read through the system's accessibility library; and the WinEvents the
// process raises, heard by a listener on all processes (out of context),
// as readers listen. The calling thread must be in a COM apartment.
#ifndef UPDATER_TESTS_E2E_ACCESSIBLE_READER_WIN32_H
#define UPDATER_TESTS_E2E_ACCESSIBLE_READER_WIN32_H

#include <windows.h>

#include <string>
#include <vector>

struct AccessibleItem {
    long role = 0;
    long state = 0;
    std::wstring name;
    std::wstring value;
    std::vector<AccessibleItem> children;
};

// The object of window for objectId (OBJID_CLIENT, OBJID_WINDOW, ...) and
// its children; false when there is none.
bool ReadAccessible(HWND window, long objectId, AccessibleItem* item);

// The child id get_accFocus gives for window's client object; -1 when it
// gives none.
long AccessibleFocus(HWND window);

// accDoDefaultAction on window's client object.
HRESULT DoDefaultAction(HWND window);

// The item and its children as indented lines: role, name, value, states.
std::string DescribeAccessible(const AccessibleItem& item, int depth = 0);

struct WinEvent {
    DWORD event;
    HWND window;
    LONG object;
    LONG child;
};

// Records the focus, selection, state and value events of one process
// while it exists; one at a time.
class WinEventLog {
public:
    explicit WinEventLog(DWORD processId);
    ~WinEventLog();
    WinEventLog(const WinEventLog&) = delete;
    WinEventLog& operator=(const WinEventLog&) = delete;

    bool Listening() const { return hook_ != nullptr; }
    void Clear();
    // Pumps this thread's messages (which bring the events) until an event
    // of that kind for window's client object and child arrived, or
    // timeoutMs passed.
    bool WaitFor(DWORD event, HWND window, LONG child, int timeoutMs);
    bool Seen(DWORD event, HWND window, LONG child) const;

private:
    static void CALLBACK Hear(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object, LONG child,
                              DWORD thread, DWORD time);
    DWORD processId_;
    HWINEVENTHOOK hook_;
    std::vector<WinEvent> events_;
};

#endif  // UPDATER_TESTS_E2E_ACCESSIBLE_READER_WIN32_H
