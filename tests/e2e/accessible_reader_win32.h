// What a screen reader learns of another process: a window's accessible
// object with its simple children, read through the system's library, and
// the WinEvents of the process, heard as readers hear them (out of context,
// listening to all processes). The caller must be in a COM apartment.
#ifndef UPDATER_TESTS_E2E_ACCESSIBLE_READER_WIN32_H
#define UPDATER_TESTS_E2E_ACCESSIBLE_READER_WIN32_H

#include <windows.h>

#include <string>
#include <vector>

struct AccessibleItem {
    long role = 0;
    long state = 0;
    long focus = -1;  // the child get_accFocus names, -1 for none
    std::wstring name;
    std::wstring value;
    std::vector<AccessibleItem> children;
};

// The object of window for objectId (OBJID_CLIENT, ...); false when none.
bool ReadAccessible(HWND window, long objectId, AccessibleItem* item);

// accDoDefaultAction on window's client object.
HRESULT DoDefaultAction(HWND window);

// The item and its children as indented lines: role, name, value, states.
std::string DescribeAccessible(const AccessibleItem& item, int depth = 0);

// Hears the focus, selection, state and value events of one process.
bool StartHearing(DWORD processId);
void ForgetHeard();
// Pumps this thread's messages, which bring the events, until one of that
// kind for window's client object and child arrived, or timeoutMs passed.
bool WaitToHear(DWORD event, HWND window, LONG child, int timeoutMs);

#endif  // UPDATER_TESTS_E2E_ACCESSIBLE_READER_WIN32_H
