// The keyboard rules of the main window, its owner-drawn buttons and the
// picker. The window is not a dialog, so what the dialog manager would do
// for standard controls (keep the focus on an enabled control, give it back
// on activation, name the default button) is done here.
#include "ui/keyboard.h"

#include <commctrl.h>

#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "catalog/catalog.h"
#include "ui/picker.h"
#include "ui/texts.h"

namespace {

// The control that gets the focus back when the main window is activated;
// while the window is inactive, the rules move this instead of the focus.
HWND RememberedFocus;
// Where the rule put the focus while a worker ran (Close, or the list while
// the check runs at start); it moves on once the run is over, unless the
// user has taken it elsewhere meanwhile.
HWND ParkedFocus;
// The letters typed into the open picker.
TypeAhead PickerTyped;

// The main window the two handles above belong to; a new window (the
// tests make many) starts afresh.
HWND StateOwner;

HWND Main() {
    HWND main = static_cast<HWND>(MainWindow);
    if (StateOwner != main) {
        StateOwner = main;
        RememberedFocus = nullptr;
        ParkedFocus = nullptr;
    }
    return main;
}

bool MainIsActive() {
    return Main() != nullptr && GetActiveWindow() == Main();
}

bool IsOurControl(HWND window) {
    return window != nullptr && IsChild(Main(), window);
}

// The control that holds the focus now, or that gets it on activation.
HWND FocusHolder() {
    if (!MainIsActive()) return IsOurControl(RememberedFocus) ? RememberedFocus : nullptr;
    HWND focus = GetFocus();
    return IsOurControl(focus) ? focus : nullptr;
}

// Focuses control now when the window is active, else on its activation.
void GiveFocus(HWND control) {
    RememberedFocus = control;
    if (MainIsActive()) SetFocus(control);
}

int FirstEnabled(bool downloadEnabled, bool selectorEnabled) {
    if (downloadEnabled) return ID_DOWNLOAD;
    if (selectorEnabled) return ID_SCRIPT_SELECTOR;
    return ID_FILE_LIST;
}

}  // namespace

// Moves the focus as FocusTarget says for these enabled states.
static void MoveFocusFor(bool downloadEnabled, bool selectorEnabled) {
    if (Main() == nullptr) return;
    HWND holder = FocusHolder();
    FocusFacts facts = {holder != nullptr ? GetDlgCtrlID(holder) : 0,
                        holder != nullptr && holder == ParkedFocus, WorkerBusy != 0,
                        downloadEnabled, selectorEnabled};
    int target = FocusTarget(facts);
    if (!facts.busy) ParkedFocus = nullptr;
    if (target == 0) return;
    HWND control = ControlWindow(target);
    // A focus the rule gives while a worker runs is a stand-in.
    if (facts.busy) ParkedFocus = control;
    GiveFocus(control);
}

// ---- where the focus goes -------------------------------------------------------

int FocusTarget(const FocusFacts& facts) {
    int first = FirstEnabled(facts.downloadEnabled, facts.selectorEnabled);
    if (facts.focused == 0) return first;
    bool losing = (facts.focused == ID_DOWNLOAD && !facts.downloadEnabled) ||
                  (facts.focused == ID_SCRIPT_SELECTOR && !facts.selectorEnabled);
    if (losing) return facts.busy ? ID_CLOSE : first;
    if (facts.parked && !facts.busy) return first == facts.focused ? 0 : first;
    return 0;
}

void EnableButtonsKeepingFocus(bool downloadEnabled, bool selectorEnabled) {
    HWND download = ControlWindow(ID_DOWNLOAD), selector = ControlWindow(ID_SCRIPT_SELECTOR);
    // A disabled control cannot take the focus, and one being disabled
    // loses it to nowhere: enable first, move the focus, then disable.
    if (downloadEnabled) EnableWindow(download, TRUE);
    if (selectorEnabled) EnableWindow(selector, TRUE);
    MoveFocusFor(downloadEnabled, selectorEnabled);
    if (!downloadEnabled) EnableWindow(download, FALSE);
    if (!selectorEnabled) EnableWindow(selector, FALSE);
}

bool OnMainActivate(WPARAM wParam) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (IsOurControl(focus)) RememberedFocus = focus;
        return true;
    }
    if (HIWORD(wParam) != 0) return false;  // minimised: nothing to focus
    OnMainSetFocus();
    return true;
}

void OnMainSetFocus() {
    HWND target = RememberedFocus;
    if (!IsOurControl(target) || !IsWindowEnabled(target)) {
        target = ControlWindow(
            FirstEnabled(IsWindowEnabled(ControlWindow(ID_DOWNLOAD)) != FALSE,
                         IsWindowEnabled(ControlWindow(ID_SCRIPT_SELECTOR)) != FALSE));
    }
    if (target != nullptr) SetFocus(target);
}

void ReturnFocusToSelector() {
    PickerTyped.length = 0;
    GiveFocus(ControlWindow(ID_SCRIPT_SELECTOR));
}

void InitializeKeyboardCues(HWND main) {
    SendMessageW(main, WM_CHANGEUISTATE,
                 MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
}

// ---- Enter and Escape -----------------------------------------------------------

LRESULT DefaultButtonId() {
    if (!IsWindowEnabled(ControlWindow(ID_DOWNLOAD))) return 0;
    return MAKELRESULT(ID_DOWNLOAD, DC_HASDEFID);
}

LRESULT ButtonDialogCode(bool focused) {
    return DLGC_BUTTON | (focused ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
}

namespace {

const UINT_PTR DialogKeysSubclassId = 2;

bool IsDialogKey(const MSG* message) {
    if (message == nullptr || message->message != WM_KEYDOWN) return false;
    return message->wParam == VK_TAB || message->wParam == VK_ESCAPE ||
           message->wParam == VK_RETURN;
}

LRESULT CALLBACK DialogKeysThroughProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, DialogKeysThroughProc, DialogKeysSubclassId);
    }
    LRESULT result = DefSubclassProc(window, message, wParam, lParam);
    if (message != WM_GETDLGCODE) return result;
    result &= ~(DLGC_WANTALLKEYS | DLGC_WANTTAB);
    if (IsDialogKey(reinterpret_cast<const MSG*>(lParam))) result &= ~DLGC_WANTMESSAGE;
    return result;
}

}  // namespace

void LetDialogKeysThrough(HWND details) {
    SetWindowSubclass(details, DialogKeysThroughProc, DialogKeysSubclassId, 0);
}

bool SelectorOpensOn(UINT message, WPARAM key) {
    if (message == WM_KEYDOWN) return key == VK_F4;
    if (message == WM_SYSKEYDOWN) return key == VK_DOWN || key == VK_UP;
    return false;
}

bool OnButtonKeyMessage(HWND button, UINT message, WPARAM& wParam, LRESULT* result) {
    switch (message) {
        case WM_GETDLGCODE:
            *result = ButtonDialogCode(GetFocus() == button);
            return true;
        case BM_SETSTYLE:
            // The dialog manager marks the focused push button as the default
            // one through its style; the button stays owner-drawn whatever it
            // is asked to become.
            wParam = (wParam & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW;
            return false;
    }
    if (GetDlgCtrlID(button) == ID_SCRIPT_SELECTOR && SelectorOpensOn(message, wParam)) {
        SendMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(ID_SCRIPT_SELECTOR, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        *result = 0;
        return true;
    }
    return false;
}

// ---- the picker's keys ----------------------------------------------------------

int PickerKeyTarget(UINT message, WPARAM key, int highlight, int count, int visible) {
    if (count <= 0) return PICKER_KEY_IGNORED;
    if (message == WM_SYSKEYDOWN) {
        return key == VK_UP || key == VK_DOWN ? PICKER_KEY_CLOSES : PICKER_KEY_IGNORED;
    }
    if (message != WM_KEYDOWN) return PICKER_KEY_IGNORED;
    int last = count - 1;
    switch (key) {
        case VK_F4:
            return PICKER_KEY_CLOSES;
        case VK_HOME:
            return 0;
        case VK_END:
            return last;
        case VK_PRIOR:
            return highlight - visible < 0 ? 0 : highlight - visible;
        case VK_NEXT:
            return highlight + visible > last ? last : highlight + visible;
    }
    return PICKER_KEY_IGNORED;
}

namespace {

bool StartsWith(const char16_t* name, const char16_t* prefix, int length) {
    int nameLength = 0;
    while (name[nameLength] != 0) ++nameLength;
    if (nameLength < length) return false;
    return CompareStringOrdinal(reinterpret_cast<const wchar_t*>(name), length,
                                reinterpret_cast<const wchar_t*>(prefix), length,
                                TRUE) == CSTR_EQUAL;
}

// Typing one letter again and again walks through the names it starts.
bool OneLetterRepeated(const TypeAhead& state) {
    for (int i = 1; i < state.length; ++i) {
        if (state.typed[i] != state.typed[0]) return false;
    }
    return true;
}

}  // namespace

int TypeAheadFind(TypeAhead& state, char16_t c, uint32_t tick, const char16_t* const* names,
                  int count, int current) {
    if (state.length > 0 && tick - state.lastTick > TYPE_AHEAD_PAUSE_MS) state.length = 0;
    state.lastTick = tick;
    if (state.length < TYPE_AHEAD_CAPACITY) state.typed[state.length++] = c;
    // A new letter searches from the script after the highlighted one; more
    // letters refine the search from the highlighted one itself.
    bool repeated = OneLetterRepeated(state);
    int length = repeated ? 1 : state.length;
    int start = repeated ? current + 1 : current;
    if (start < 0) start = 0;
    for (int step = 0; step < count; ++step) {
        int script = (start + step) % count;
        if (StartsWith(names[script], state.typed, length)) return script;
    }
    return -1;
}

static void TypeIntoPicker(char16_t c) {
    const char16_t* names[MAX_SCRIPTS];
    for (int i = 0; i < ScriptCount; ++i) names[i] = ScriptTable[i].name;
    int script = TypeAheadFind(PickerTyped, c, TickCount(), names, ScriptCount, PickerHighlight);
    if (script >= 0) MovePickerHighlight(script);
}

bool OnPickerExtraKey(UINT message, WPARAM key) {
    if (message == WM_CHAR) {
        if (key < 0x20 || key == 0x7F) return false;  // Enter, Escape, Backspace, ...
        TypeIntoPicker(static_cast<char16_t>(key));
        return true;
    }
    int target = PickerKeyTarget(message, key, PickerHighlight, ScriptCount, PickerVisibleRows());
    if (target == PICKER_KEY_IGNORED) return false;
    if (target == PICKER_KEY_CLOSES) {
        ClosePicker();
    } else {
        MovePickerHighlight(target);
    }
    return true;
}
