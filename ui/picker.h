// The script picker: a borderless popup under the selector button that
// shows up to eight scripts with their states, follows the pointer, the
// arrow keys and the wheel, and closes when a script is chosen, on Escape,
// or when it loses activation. Each opening makes a new window; every close
// goes through WM_DESTROY, which stamps PickerClosedTick so that the click
// on the selector that took the activation away does not reopen it.
#ifndef UPDATER_UI_PICKER_H
#define UPDATER_UI_PICKER_H

#include <windows.h>

inline constexpr wchar_t PickerWindowClass[] = L"ZentoUpdaterPicker";

enum {
    PICKER_ROW_HEIGHT = 28,  // between the tops of two rows
    PICKER_MAX_ROWS = 8,     // visible at most
    PICKER_MARGIN = 4,       // above the first row, beside every row, and to the selector
    PICKER_REOPEN_MS = 250,  // the selector ignores a click this soon after a close
};

LRESULT CALLBACK PickerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The selector's command: opens the popup under the selector (above it when
// there is no room below), unless one is open, a worker runs, there are no
// scripts, or one closed less than 250 ms ago.
void OpenPicker();

// Closes the open popup, once: destroying it deactivates it, and that
// deactivation must not start a second destruction.
void ClosePicker();

// min(number of scripts, 8).
int PickerVisibleRows();

// The popup's height for that many visible rows.
int PickerHeight(int visibleRows);

// The popup's top: 4 pixels under the selector, or, when it would pass the
// work area's bottom, 4 pixels above it.
int PickerTop(const RECT& selector, int height, const RECT& workArea);

// The box of the row shown at position (0 the top row) in a popup whose
// client area is clientWidth wide.
RECT PickerRowBox(int position, int clientWidth);

// The script under client height y, or -1 when there is none.
int PickerRowAt(int y);

// Highlights row, scrolling it into view; a row outside the table is ignored.
void MovePickerHighlight(int row);

#endif  // UPDATER_UI_PICKER_H
