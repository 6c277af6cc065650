// Reading accessible objects and hearing WinEvents from outside the
// program, as a screen reader does.
#include "tests/e2e/accessible_reader_win32.h"

#include <oleacc.h>

namespace {

struct HeardEvent {
    DWORD event;
    HWND window;
    LONG object;
    LONG child;
};

DWORD HeardProcess;
std::vector<HeardEvent> Heard;

std::wstring TakeText(BSTR text) {
    std::wstring taken = text != nullptr ? std::wstring(text) : std::wstring();
    SysFreeString(text);
    return taken;
}

long LongOf(HRESULT result, const VARIANT& value, long absent) {
    return result == S_OK && value.vt == VT_I4 ? value.lVal : absent;
}

void ReadOne(IAccessible* object, long child, AccessibleItem* item) {
    VARIANT id = {}, role = {}, state = {};
    id.vt = VT_I4;
    id.lVal = child;
    item->role = LongOf(object->get_accRole(id, &role), role, 0);
    item->state = LongOf(object->get_accState(id, &state), state, 0);
    BSTR name = nullptr, value = nullptr;
    object->get_accName(id, &name);
    object->get_accValue(id, &value);
    item->name = TakeText(name);
    item->value = TakeText(value);
}

// One line of at most 60 characters, line breaks shown as " / ".
std::string OneLine(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size() && out.size() < 60; ++i) {
        if (text[i] == L'\r') continue;
        out += text[i] == L'\n' ? " / " : std::string(1, text[i] < 128 ? char(text[i]) : '?');
    }
    return out.size() < 60 ? out : out + "...";
}

void CALLBACK Hear(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == HeardProcess) Heard.push_back({event, window, object, child});
}

bool WasHeard(DWORD event, HWND window, LONG child) {
    for (const HeardEvent& heard : Heard) {
        if (heard.event == event && heard.window == window && heard.object == OBJID_CLIENT &&
            heard.child == child) {
            return true;
        }
    }
    return false;
}

IAccessible* ObjectOf(HWND window, long objectId) {
    IAccessible* object = nullptr;
    AccessibleObjectFromWindow(window, static_cast<DWORD>(objectId), __uuidof(IAccessible),
                               reinterpret_cast<void**>(&object));
    return object;
}

}  // namespace

bool ReadAccessible(HWND window, long objectId, AccessibleItem* item) {
    IAccessible* object = ObjectOf(window, objectId);
    if (object == nullptr) return false;
    ReadOne(object, CHILDID_SELF, item);
    VARIANT focus = {};
    item->focus = LongOf(object->get_accFocus(&focus), focus, -1);
    VariantClear(&focus);
    LONG count = 0;
    object->get_accChildCount(&count);
    for (LONG child = 1; child <= count; ++child) {
        item->children.emplace_back();
        ReadOne(object, child, &item->children.back());
    }
    object->Release();
    return true;
}

HRESULT DoDefaultAction(HWND window) {
    IAccessible* object = ObjectOf(window, OBJID_CLIENT);
    if (object == nullptr) return E_FAIL;
    VARIANT self = {};
    self.vt = VT_I4;
    HRESULT result = object->accDoDefaultAction(self);
    object->Release();
    return result;
}

std::string DescribeAccessible(const AccessibleItem& item, int depth) {
    wchar_t text[64] = {};
    GetRoleTextW(static_cast<DWORD>(item.role), text, 64);
    std::string line =
        std::string(depth * 2, ' ') + OneLine(text) + " \"" + OneLine(item.name) + "\"";
    if (!item.value.empty()) line += " value \"" + OneLine(item.value) + "\"";
    for (DWORD bit = 1; bit != 0 && bit <= static_cast<DWORD>(item.state); bit <<= 1) {
        if ((item.state & bit) != 0 && GetStateTextW(bit, text, 64) > 0) {
            line += " [" + OneLine(text) + "]";
        }
    }
    line += "\n";
    for (const AccessibleItem& child : item.children) line += DescribeAccessible(child, depth + 1);
    return line;
}

bool StartHearing(DWORD processId) {
    HeardProcess = processId;
    // A listener bound to the one process heard nothing under Wine.
    return SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_VALUECHANGE, nullptr, Hear, 0, 0,
                           WINEVENT_OUTOFCONTEXT) != nullptr;
}

void ForgetHeard() {
    Heard.clear();
}

bool WaitToHear(DWORD event, HWND window, LONG child, int timeoutMs) {
    DWORD start = GetTickCount();
    while (!WasHeard(event, window, child)) {
        if (GetTickCount() - start > static_cast<DWORD>(timeoutMs)) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    return true;
}
