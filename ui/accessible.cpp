// One IAccessible implementation for the owner-drawn parts, shaped per
// control by a small table of what it is (role), what it is called, what
// it holds and which state it is in. A fresh object answers every
// WM_GETOBJECT and reads the window's state on every call, so it never
// goes stale; once its window is gone it answers CO_E_OBJNOTCONNECTED.
#include "ui/accessible.h"

#include <commctrl.h>
#include <oleacc.h>

#include <new>

#include "app/resources_win32.h"
#include "app/shared_state.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "ui/draw.h"
#include "ui/picker.h"
#include "ui/texts.h"

namespace {

enum { ACCESSIBLE_TEXT_CAPACITY = 256 };

const char16_t ControlName[] = u"Script";

// ---- the system's accessibility library, bound on first use ---------------------

typedef LRESULT(WINAPI* LresultFromObjectFn)(REFIID, WPARAM, LPUNKNOWN);
typedef HRESULT(WINAPI* CreateStdAccessibleObjectFn)(HWND, LONG, REFIID, void**);
typedef HRESULT(WINAPI* CoInitializeExFn)(LPVOID, DWORD);
typedef BSTR(WINAPI* SysAllocStringFn)(const OLECHAR*);

struct AccessibilityLibrary {
    bool tried;  // binding happens once, whatever its outcome
    bool ready;  // every entry point found and this thread in an apartment
    LresultFromObjectFn lresultFromObject;
    CreateStdAccessibleObjectFn createStdAccessibleObject;
    SysAllocStringFn sysAllocString;
};

AccessibilityLibrary Library;

template <typename Function>
Function EntryPoint(HMODULE library, const char* name) {
    if (library == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// The objects reach other processes through COM, which needs an apartment
// on this thread. A single-threaded one brings every call from a reader in
// through this thread's message loop, where the state the objects read is
// safe to read. A thread already in the multithreaded apartment would get
// calls on other threads, so it gets no objects. Never left: the
// apartment ends with the process.
bool EnterApartment(HMODULE ole32) {
    CoInitializeExFn coInitializeEx = EntryPoint<CoInitializeExFn>(ole32, "CoInitializeEx");
    return coInitializeEx != nullptr &&
           SUCCEEDED(coInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

bool BindLibrary() {
    if (Library.tried) return Library.ready;
    Library.tried = true;
    HMODULE oleacc = LoadSystemLibrary(L"oleacc.dll");
    Library.lresultFromObject = EntryPoint<LresultFromObjectFn>(oleacc, "LresultFromObject");
    Library.createStdAccessibleObject =
        EntryPoint<CreateStdAccessibleObjectFn>(oleacc, "CreateStdAccessibleObject");
    Library.sysAllocString =
        EntryPoint<SysAllocStringFn>(LoadSystemLibrary(L"oleaut32.dll"), "SysAllocString");
    Library.ready =
        Library.lresultFromObject != nullptr && Library.createStdAccessibleObject != nullptr &&
        Library.sysAllocString != nullptr && EnterApartment(LoadSystemLibrary(L"ole32.dll"));
    return Library.ready;
}

// ---- what each kind of control is -----------------------------------------------

// A control's accessible face. Child 0 (CHILDID_SELF) is the control; the
// picker's children 1..n are its rows, script n - 1 each.
struct AccessibleKind {
    LONG role;
    LONG childRole;
    bool (*alive)(HWND window);
    void (*name)(HWND window, LONG child, char16_t* buffer, int capacity);
    bool (*value)(HWND window, char16_t* buffer, int capacity);  // false: it has none
    LONG (*state)(HWND window, LONG child);
    LONG (*childCount)();
    // The child that has the focus and the selection, 0 when none does.
    LONG (*activeChild)();
    // The child's box in client pixels.
    RECT (*childBox)(HWND window, LONG child);
    // The child under a point in client pixels, 0 when none.
    LONG (*childAt)(HWND window, POINT point);
    const char16_t* (*defaultAction)();  // null: none
    void (*doDefaultAction)(HWND window);
};

LONG CommonState(HWND window) {
    LONG state = 0;
    if (!IsWindowVisible(window)) state |= STATE_SYSTEM_INVISIBLE;
    if (!IsWindowEnabled(window)) state |= STATE_SYSTEM_UNAVAILABLE;
    if (GetFocus() == window) state |= STATE_SYSTEM_FOCUSED;
    return state;
}

bool ControlAlive(HWND window) {
    return IsWindow(window) != FALSE;
}

LONG NoChildren() {
    return 0;
}

LONG NoActiveChild() {
    return 0;
}

RECT NoChildBox(HWND, LONG) {
    return RECT{0, 0, 0, 0};
}

LONG NoChildAt(HWND, POINT) {
    return 0;
}

// -- the selector: a combo box whose value is what it shows

void SelectorName(HWND, LONG, char16_t* buffer, int capacity) {
    TextCopy(buffer, capacity, ControlName);
}

bool SelectorValue(HWND, char16_t* buffer, int capacity) {
    SelectorText(buffer, capacity);
    return true;
}

LONG SelectorState(HWND window, LONG) {
    LONG state = CommonState(window) | STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_HASPOPUP;
    state |= PickerWindow != nullptr ? STATE_SYSTEM_EXPANDED : STATE_SYSTEM_COLLAPSED;
    if (IsHot(window)) state |= STATE_SYSTEM_HOTTRACKED;
    return state;
}

const char16_t* SelectorAction() {
    return PickerWindow != nullptr ? u"Close" : u"Open";
}

// As a click would: the command opens the picker when it may open.
void ToggleSelector(HWND window) {
    if (PickerWindow != nullptr) {
        ClosePicker();
        return;
    }
    PostMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(ID_SCRIPT_SELECTOR, BN_CLICKED),
                 reinterpret_cast<LPARAM>(window));
}

// clang-format off
const AccessibleKind SelectorKind = {
    ROLE_SYSTEM_COMBOBOX, 0,
    ControlAlive, SelectorName, SelectorValue, SelectorState,
    NoChildren, NoActiveChild, NoChildBox, NoChildAt,
    SelectorAction, ToggleSelector,
};
// clang-format on

// -- the progress bars: named by their text, valued by their percentage

int BarIndex(HWND window) {
    return GetDlgCtrlID(window) - ID_FILE_PROGRESS;
}

void BarName(HWND window, LONG, char16_t* buffer, int capacity) {
    CopyProgressText(BarIndex(window), buffer, capacity);
}

bool BarValue(HWND window, char16_t* buffer, int capacity) {
    int bar = BarIndex(window);
    if (bar < 0 || bar >= PROGRESS_BAR_COUNT) return false;
    ProgressValueText(ProgressBars[bar].Permille, buffer, capacity);
    return true;
}

LONG BarState(HWND window, LONG) {
    return CommonState(window) | STATE_SYSTEM_READONLY;
}

// clang-format off
const AccessibleKind ProgressKind = {
    ROLE_SYSTEM_PROGRESSBAR, 0,
    ControlAlive, BarName, BarValue, BarState,
    NoChildren, NoActiveChild, NoChildBox, NoChildAt,
    nullptr, nullptr,
};
// clang-format on

// -- the picker: a list of one item per script

bool PickerAlive(HWND window) {
    return window == PickerWindow && IsWindow(window);
}

void PickerName(HWND, LONG child, char16_t* buffer, int capacity) {
    if (child == CHILDID_SELF) {
        TextCopy(buffer, capacity, ControlName);
    } else {
        ScriptRowText(child - 1, buffer, capacity);
    }
}

bool NoValue(HWND, char16_t*, int) {
    return false;
}

LONG PickerRows() {
    return ScriptCount;
}

LONG HighlightedChild() {
    return PickerHighlight >= 0 && PickerHighlight < ScriptCount ? PickerHighlight + 1 : 0;
}

LONG PickerState(HWND window, LONG child) {
    LONG state = CommonState(window) | STATE_SYSTEM_FOCUSABLE;
    if (child == CHILDID_SELF) return state;
    bool focused = (state & STATE_SYSTEM_FOCUSED) != 0;
    state = STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_SELECTABLE;
    if (child == HighlightedChild()) {
        state |= STATE_SYSTEM_SELECTED;
        if (focused) state |= STATE_SYSTEM_FOCUSED;
    }
    int position = child - 1 - PickerTopRow;
    if (position < 0 || position >= PickerVisibleRows()) state |= STATE_SYSTEM_OFFSCREEN;
    return state;
}

RECT PickerChildBox(HWND window, LONG child) {
    RECT client;
    GetClientRect(window, &client);
    return PickerRowBox(child - 1 - PickerTopRow, client.right);
}

LONG PickerChildAt(HWND, POINT point) {
    int row = PickerRowAt(point.y);
    return row >= 0 ? row + 1 : 0;
}

// clang-format off
const AccessibleKind PickerKind = {
    ROLE_SYSTEM_LIST, ROLE_SYSTEM_LISTITEM,
    PickerAlive, PickerName, NoValue, PickerState,
    PickerRows, HighlightedChild, PickerChildBox, PickerChildAt,
    nullptr, nullptr,
};
// clang-format on

// ---- the object ------------------------------------------------------------------

HRESULT ReturnText(const char16_t* text, BSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (text[0] == 0) return S_FALSE;
    *out = Library.sysAllocString(reinterpret_cast<const OLECHAR*>(text));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

void SetChild(VARIANT* out, LONG child) {
    out->vt = VT_I4;
    out->lVal = child;
}

class AccessibleObject final : public IAccessible {
public:
    // Takes over standard, the system's own object for the window (may be
    // null), to which the parent and the navigation are left.
    AccessibleObject(HWND window, const AccessibleKind& kind, IAccessible* standard)
        : references_(1), window_(window), kind_(kind), standard_(standard) {}

    AccessibleObject(const AccessibleObject&) = delete;
    AccessibleObject& operator=(const AccessibleObject&) = delete;

    // -- IUnknown

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (id == __uuidof(IUnknown) || id == __uuidof(IDispatch) || id == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }

    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // -- IDispatch: readers call IAccessible directly

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // -- IAccessible

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (parent == nullptr) return E_POINTER;
        *parent = nullptr;
        if (!kind_.alive(window_)) return CO_E_OBJNOTCONNECTED;
        return standard_ != nullptr ? standard_->get_accParent(parent) : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        if (!kind_.alive(window_)) return CO_E_OBJNOTCONNECTED;
        *count = kind_.childCount();
        return S_OK;
    }

    // The rows are simple elements: no object of their own.
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT id, IDispatch** child) override {
        if (child == nullptr) return E_POINTER;
        *child = nullptr;
        LONG which = 0;
        HRESULT known = Resolve(id, &which);
        if (FAILED(known)) return known;
        return which == CHILDID_SELF ? E_INVALIDARG : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT id, BSTR* name) override {
        if (name != nullptr) *name = nullptr;
        LONG which = 0;
        HRESULT known = Resolve(id, &which);
        if (FAILED(known)) return known;
        char16_t text[ACCESSIBLE_TEXT_CAPACITY];
        kind_.name(window_, which, text, ACCESSIBLE_TEXT_CAPACITY);
        return ReturnText(text, name);
    }

    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT id, BSTR* value) override {
        if (value != nullptr) *value = nullptr;
        LONG which = 0;
        HRESULT known = Resolve(id, &which);
        if (FAILED(known)) return known;
        char16_t text[ACCESSIBLE_TEXT_CAPACITY];
        if (which != CHILDID_SELF || !kind_.value(window_, text, ACCESSIBLE_TEXT_CAPACITY)) {
            return DISP_E_MEMBERNOTFOUND;
        }
        return ReturnText(text, value);
    }

    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* text) override {
        return NoText(text);
    }

    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT id, VARIANT* role) override {
        if (role == nullptr) return E_POINTER;
        role->vt = VT_EMPTY;
        LONG which = 0;
        HRESULT known = Resolve(id, &which);
        if (FAILED(known)) return known;
        SetChild(role, which == CHILDID_SELF ? kind_.role : kind_.childRole);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accState(VARIANT id, VARIANT* state) override {
        if (state == nullptr) return E_POINTER;
        state->vt = VT_EMPTY;
        LONG which = 0;
        HRESULT known = Resolve(id, &which);
        if (FAILED(known)) return known;
        SetChild(state, kind_.state(window_, which));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* text) override { return NoText(text); }

    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        if (topic != nullptr) *topic = 0;
        return NoText(file);
    }

    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* text) override {
        return NoText(text);
    }

    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        if (focus == nullptr) return E_POINTER;
        focus->vt = VT_EMPTY;
        if (!kind_.alive(window_)) return CO_E_OBJNOTCONNECTED;
        if (GetFocus() != window_) return S_FALSE;
        SetChild(focus, kind_.activeChild());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        if (selection == nullptr) return E_POINTER;
        selection->vt = VT_EMPTY;
        if (!kind_.alive(window_)) return CO_E_OBJNOTCONNECTED;
        LONG child = kind_.activeChild();
        if (child == 0) return S_FALSE;
        SetChild(selection, child);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT id, BSTR* action) override {
        if (action != nullptr) *action = nullptr;
        LONG which = 0;
        HRESULT known = Resolve(id, &which);
        if (FAILED(known)) return known;
        if (which != CHILDID_SELF || kind_.defaultAction == nullptr) return DISP_E_MEMBERNOTFOUND;
        return ReturnText(kind_.defaultAction(), action);
    }

    HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT) override { return DISP_E_MEMBERNOTFOUND; }

    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT id) override {
        if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) {
            return E_POINTER;
        }
        *left = *top = *width = *height = 0;
        LONG which = 0;
        HRESULT known = Resolve(id, &which);
        if (FAILED(known)) return known;
        RECT box;
        if (which == CHILDID_SELF) {
            GetClientRect(window_, &box);
        } else {
            box = kind_.childBox(window_, which);
        }
        MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&box), 2);
        *left = box.left;
        *top = box.top;
        *width = box.right - box.left;
        *height = box.bottom - box.top;
        return S_OK;
    }

    // Among the controls the system's object knows the way; the rows are
    // reached through the children.
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        if (end == nullptr) return E_POINTER;
        end->vt = VT_EMPTY;
        LONG which = 0;
        HRESULT known = Resolve(start, &which);
        if (FAILED(known)) return known;
        if (which != CHILDID_SELF || standard_ == nullptr) return DISP_E_MEMBERNOTFOUND;
        return standard_->accNavigate(direction, start, end);
    }

    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* hit) override {
        if (hit == nullptr) return E_POINTER;
        hit->vt = VT_EMPTY;
        if (!kind_.alive(window_)) return CO_E_OBJNOTCONNECTED;
        POINT point = {x, y};
        ScreenToClient(window_, &point);
        RECT client;
        GetClientRect(window_, &client);
        if (!PtInRect(&client, point)) return S_FALSE;
        SetChild(hit, kind_.childAt(window_, point));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT id) override {
        LONG which = 0;
        HRESULT known = Resolve(id, &which);
        if (FAILED(known)) return known;
        if (which != CHILDID_SELF || kind_.doDefaultAction == nullptr) {
            return DISP_E_MEMBERNOTFOUND;
        }
        kind_.doDefaultAction(window_);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~AccessibleObject() {
        if (standard_ != nullptr) standard_->Release();
    }

    // The child id names: the control itself or one of its children.
    HRESULT Resolve(const VARIANT& id, LONG* which) const {
        if (!kind_.alive(window_)) return CO_E_OBJNOTCONNECTED;
        if (id.vt != VT_I4 || id.lVal < 0 || id.lVal > kind_.childCount()) return E_INVALIDARG;
        *which = id.lVal;
        return S_OK;
    }

    HRESULT NoText(BSTR* text) const {
        if (text != nullptr) *text = nullptr;
        return kind_.alive(window_) ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
    }

    LONG references_;
    HWND window_;
    const AccessibleKind& kind_;
    IAccessible* standard_;
};

// ---- answering WM_GETOBJECT --------------------------------------------------------

// Sets answered when the request was for the client object and the library
// is there; the caller gives every other request the default answer.
LRESULT AnswerObject(HWND window, const AccessibleKind& kind, WPARAM wParam, LPARAM lParam,
                     bool* answered) {
    *answered = false;
    // Only the low 32 bits count: 64-bit Windows may sign-extend them.
    if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT)) return 0;
    if (!BindLibrary()) return 0;
    IAccessible* standard = nullptr;
    if (FAILED(Library.createStdAccessibleObject(window, OBJID_CLIENT, __uuidof(IAccessible),
                                                 reinterpret_cast<void**>(&standard)))) {
        standard = nullptr;
    }
    AccessibleObject* object = new (std::nothrow) AccessibleObject(window, kind, standard);
    if (object == nullptr) {
        if (standard != nullptr) standard->Release();
        return 0;
    }
    *answered = true;
    LRESULT result = Library.lresultFromObject(__uuidof(IAccessible), wParam, object);
    // The references the result holds keep the object for the reader; ours
    // goes, so the object ends when the reader lets it go.
    object->Release();
    return result;
}

const UINT_PTR AccessibleSubclassId = 1;

LRESULT CALLBACK AccessibleControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR kind) {
    if (message == WM_GETOBJECT) {
        bool answered = false;
        LRESULT result = AnswerObject(window, *reinterpret_cast<const AccessibleKind*>(kind),
                                      wParam, lParam, &answered);
        if (answered) return result;
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, AccessibleControlProc, AccessibleSubclassId);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

void MakeAccessible(int id, const AccessibleKind& kind) {
    SetWindowSubclass(ControlWindow(id), AccessibleControlProc, AccessibleSubclassId,
                      reinterpret_cast<DWORD_PTR>(&kind));
}

// ---- events -------------------------------------------------------------------------

// What the selector showed when readers were last told.
char16_t AnnouncedSelectorText[ACCESSIBLE_TEXT_CAPACITY];

void NotifyClient(DWORD event, HWND window, LONG child) {
    if (window != nullptr) NotifyWinEvent(event, window, OBJID_CLIENT, child);
}

}  // namespace

void MakeControlsAccessible() {
    MakeAccessible(ID_SCRIPT_SELECTOR, SelectorKind);
    MakeAccessible(ID_FILE_PROGRESS, ProgressKind);
    MakeAccessible(ID_TOTAL_PROGRESS, ProgressKind);
}

LRESULT AnswerPickerObject(HWND picker, WPARAM wParam, LPARAM lParam) {
    bool answered = false;
    LRESULT result = AnswerObject(picker, PickerKind, wParam, lParam, &answered);
    return answered ? result : DefWindowProcW(picker, WM_GETOBJECT, wParam, lParam);
}

void AnnouncePickerOpened() {
    NotifyClient(EVENT_OBJECT_STATECHANGE, ControlWindow(ID_SCRIPT_SELECTOR), CHILDID_SELF);
    AnnouncePickerHighlight();
}

void AnnouncePickerHighlight() {
    HWND picker = static_cast<HWND>(PickerWindow);
    if (picker == nullptr) return;
    LONG row = HighlightedChild();
    // Only the window with the keyboard focus may say its row has it.
    if (GetFocus() == picker) NotifyClient(EVENT_OBJECT_FOCUS, picker, row);
    NotifyClient(EVENT_OBJECT_SELECTION, picker, row);
}

void AnnouncePickerClosed() {
    NotifyClient(EVENT_OBJECT_STATECHANGE, ControlWindow(ID_SCRIPT_SELECTOR), CHILDID_SELF);
}

void AnnounceSelectorValue() {
    char16_t shown[ACCESSIBLE_TEXT_CAPACITY];
    SelectorText(shown, ACCESSIBLE_TEXT_CAPACITY);
    if (TextEqual(shown, AnnouncedSelectorText)) return;
    TextCopy(AnnouncedSelectorText, ACCESSIBLE_TEXT_CAPACITY, shown);
    NotifyClient(EVENT_OBJECT_VALUECHANGE, ControlWindow(ID_SCRIPT_SELECTOR), CHILDID_SELF);
}

void ProgressValueText(int permille, char16_t* buffer, int capacity) {
    int percent = permille / 10;
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    TextFormat(buffer, capacity, u"%d%%", percent);
}
