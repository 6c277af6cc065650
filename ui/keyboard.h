// The keyboard, as a dialog would give it: where the focus goes when the
// window starts, is activated again, or when the control that holds it is
// disabled; Enter and Escape; the keys that open the selector; and the
// picker's keys beyond the arrows (Home, End, the page keys, type-ahead).
// The decisions are plain functions of plain values; the handlers around
// them read the window and act.
#ifndef UPDATER_UI_KEYBOARD_H
#define UPDATER_UI_KEYBOARD_H

#include <stdint.h>
#include <windows.h>

// ---- where the focus goes -------------------------------------------------------

// What the focus rule looks at. focused is the identifier of the control
// that holds the focus (or would get it back on activation), 0 for none.
struct FocusFacts {
    int focused;
    bool parked;  // the rule itself put the focus there while a worker ran
    bool busy;    // a worker runs
    bool downloadEnabled;
    bool selectorEnabled;
};

// The control that must take the focus, or 0 to leave it where it is: the
// first enabled of Download, the selector, the list when nothing holds it;
// Close (Cancel) while a worker runs when the holder is being disabled (the
// first enabled when none runs); and, once no worker runs, the first
// enabled in place of a parked focus.
int FocusTarget(const FocusFacts& facts);

// Enables or disables Download and the selector, and keeps the focus on an
// enabled control while doing it: off a control being disabled, and back
// from where it was parked once the run is over.
void EnableButtonsKeepingFocus(bool downloadEnabled, bool selectorEnabled);

// The main window's activation: the focused control is remembered when it
// is deactivated and given back when it is activated again. Returns
// whether the message was handled (it then returns 0).
bool OnMainActivate(WPARAM wParam);

// The main window itself got the focus: hand it to the remembered control.
void OnMainSetFocus();

// The picker closed: the selector has the focus again.
void ReturnFocusToSelector();

// As a dialog starts: focus cues hidden when the window was opened with the
// mouse, shown when with the keyboard; the first Tab shows them.
void InitializeKeyboardCues(HWND main);

// ---- Enter and Escape -----------------------------------------------------------

// DM_GETDEFID: Download is the default button while it is enabled.
LRESULT DefaultButtonId();

// WM_GETDLGCODE of an owner-drawn button: a push button, the default one
// while it has the focus, so that Enter presses the focused button.
LRESULT ButtonDialogCode(bool focused);

// The read-only details pane is a multi-line edit control, which asks for
// every key; clicked into, it would keep Tab, Escape and Enter. From now on
// those leave it to the window, as from any other control.
void LetDialogKeysThrough(HWND details);

// Whether a key message on the selector opens the picker: F4, Alt+Down,
// Alt+Up (Space and Enter press it as a button already).
bool SelectorOpensOn(UINT message, WPARAM key);

// The keyboard part of an owner-drawn button's procedure. Returns true
// with *result set when the message was answered here; otherwise the
// message goes on to the button, with wParam as this may have changed it.
bool OnButtonKeyMessage(HWND button, UINT message, WPARAM& wParam, LRESULT* result);

// ---- the picker's keys ----------------------------------------------------------

enum { PICKER_KEY_IGNORED = -1, PICKER_KEY_CLOSES = -2 };

// The row that a key message moves the picker's highlight to (from
// highlight, with count scripts of which visible show at once),
// PICKER_KEY_CLOSES for the keys that close it without a choice, or
// PICKER_KEY_IGNORED. Only the keys beyond Up, Down, Enter and Escape.
int PickerKeyTarget(UINT message, WPARAM key, int highlight, int count, int visible);

// Type-ahead: the letters typed so far and when the last one came.
enum { TYPE_AHEAD_CAPACITY = 64, TYPE_AHEAD_PAUSE_MS = 1000 };
struct TypeAhead {
    char16_t typed[TYPE_AHEAD_CAPACITY];
    int length;
    uint32_t lastTick;
};

// Adds the typed character c at tick and returns the script to highlight,
// or -1 when no name fits: the first name at or after current that starts
// with the typed letters (case-insensitive), wrapping around; the same
// letter typed again moves on to the next name that starts with it. A pause
// longer than TYPE_AHEAD_PAUSE_MS starts a new search.
int TypeAheadFind(TypeAhead& state, char16_t c, uint32_t tick, const char16_t* const* names,
                  int count, int current);

// The picker's key messages beyond Up, Down, Enter and Escape. Returns
// whether the message was used.
bool OnPickerExtraKey(UINT message, WPARAM key);

#endif  // UPDATER_UI_KEYBOARD_H
