// Reading accessible objects and hearing WinEvents from outside the
// program, as a screen reader does.
#include "tests/e2e/accessible_reader_win32.h"

#include <oleacc.h>

namespace {

std::wstring TakeText(BSTR text) {
    std::wstring taken = text != nullptr ? std::wstring(text) : std::wstring();
    SysFreeString(text);
    return taken;
}

long LongOf(HRESULT result, const VARIANT& value) {
    return SUCCEEDED(result) && value.vt == VT_I4 ? value.lVal : 0;
}

void ReadOne(IAccessible* object, long child, AccessibleItem* item) {
    VARIANT id;
    id.vt = VT_I4;
    id.lVal = child;
    VARIANT role, state;
    VariantInit(&role);
    VariantInit(&state);
    item->role = LongOf(object->get_accRole(id, &role), role);
    item->state = LongOf(object->get_accState(id, &state), state);
    BSTR name = nullptr, value = nullptr;
    object->get_accName(id, &name);
    object->get_accValue(id, &value);
    item->name = TakeText(name);
    item->value = TakeText(value);
}

IAccessible* ClientObject(HWND window, long objectId) {
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(objectId),
                                          __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&object)))) {
        return nullptr;
    }
    return object;
}

// One line of at most 60 characters: line breaks shown as " / ".
std::string OneLine(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size() && out.size() < 60; ++i) {
        wchar_t c = text[i];
        if (c == L'\r') continue;
        out += c == L'\n' ? " / " : c < 128 ? std::string(1, static_cast<char>(c)) : "?";
    }
    return out.size() < 60 ? out : out + "...";
}

WinEventLog* ActiveLog;

}  // namespace

bool ReadAccessible(HWND window, long objectId, AccessibleItem* item) {
    IAccessible* object = ClientObject(window, objectId);
    if (object == nullptr) return false;
    ReadOne(object, CHILDID_SELF, item);
    LONG count = 0;
    object->get_accChildCount(&count);
    for (LONG child = 1; child <= count; ++child) {
        // The children are read as simple elements, which the rows are.
        AccessibleItem row;
        ReadOne(object, child, &row);
        item->children.push_back(row);
    }
    object->Release();
    return true;
}

long AccessibleFocus(HWND window) {
    IAccessible* object = ClientObject(window, OBJID_CLIENT);
    if (object == nullptr) return -1;
    VARIANT focus;
    VariantInit(&focus);
    HRESULT result = object->get_accFocus(&focus);
    object->Release();
    long child = result == S_OK && focus.vt == VT_I4 ? focus.lVal : -1;
    VariantClear(&focus);
    return child;
}

HRESULT DoDefaultAction(HWND window) {
    IAccessible* object = ClientObject(window, OBJID_CLIENT);
    if (object == nullptr) return E_FAIL;
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    HRESULT result = object->accDoDefaultAction(self);
    object->Release();
    return result;
}

std::string DescribeAccessible(const AccessibleItem& item, int depth) {
    wchar_t role[64] = {};
    GetRoleTextW(static_cast<DWORD>(item.role), role, 64);
    std::string line =
        std::string(depth * 2, ' ') + OneLine(role) + " \"" + OneLine(item.name) + "\"";
    if (!item.value.empty()) line += " value \"" + OneLine(item.value) + "\"";
    for (DWORD bit = 1; bit != 0 && bit <= static_cast<DWORD>(item.state); bit <<= 1) {
        wchar_t state[64] = {};
        if ((item.state & bit) != 0 && GetStateTextW(bit, state, 64) > 0) {
            line += " [" + OneLine(state) + "]";
        }
    }
    line += "\n";
    for (const AccessibleItem& child : item.children) line += DescribeAccessible(child, depth + 1);
    return line;
}

WinEventLog::WinEventLog(DWORD processId) : processId_(processId), hook_(nullptr) {
    ActiveLog = this;
    // A listener bound to the one process heard nothing under Wine; one for
    // all processes filters by the window's process instead.
    hook_ = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_VALUECHANGE, nullptr, Hear, 0, 0,
                            WINEVENT_OUTOFCONTEXT);
}

WinEventLog::~WinEventLog() {
    if (hook_ != nullptr) UnhookWinEvent(hook_);
    ActiveLog = nullptr;
}

void CALLBACK WinEventLog::Hear(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child,
                                DWORD, DWORD) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (ActiveLog != nullptr && owner == ActiveLog->processId_) {
        ActiveLog->events_.push_back({event, window, object, child});
    }
}

void WinEventLog::Clear() {
    events_.clear();
}

bool WinEventLog::Seen(DWORD event, HWND window, LONG child) const {
    for (const WinEvent& heard : events_) {
        if (heard.event == event && heard.window == window && heard.object == OBJID_CLIENT &&
            heard.child == child) {
            return true;
        }
    }
    return false;
}

bool WinEventLog::WaitFor(DWORD event, HWND window, LONG child, int timeoutMs) {
    DWORD start = GetTickCount();
    while (!Seen(event, window, child)) {
        if (GetTickCount() - start > static_cast<DWORD>(timeoutMs)) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    return true;
}
