// What screen readers learn of the owner-drawn parts of the window. The
// list, the details pane and the two push buttons keep the system's own
// accessible objects; the selector, the picker and the two progress bars
// draw themselves, so each answers WM_GETOBJECT (OBJID_CLIENT) with an
// object of the program's own: the selector a combo box named "Script"
// whose value is the chosen script's row in words, the picker a list with
// one item per script, the bars progress bars whose name is their text and
// whose value is their percentage. The events (focus, selection, state and
// value changes) tell a listening reader when these change.
//
// The system's accessibility library is loaded from the system folder on
// the first request; without it there are no objects and the window works
// as before. Everything here runs on the interface thread.
#ifndef UPDATER_UI_ACCESSIBLE_H
#define UPDATER_UI_ACCESSIBLE_H

#include <windows.h>

// Gives the selector and the two progress bars their accessible objects.
// Called once, after the main window made its controls.
void MakeControlsAccessible();

// The picker's answer to WM_GETOBJECT: its list object for OBJID_CLIENT,
// the default answer for every other object identifier.
LRESULT AnswerPickerObject(HWND picker, WPARAM wParam, LPARAM lParam);

// The picker opened: the selector is expanded, and the highlighted row has
// the focus and the selection.
void AnnouncePickerOpened();

// The highlighted row moved: it has the focus and the selection now.
void AnnouncePickerHighlight();

// The picker closed: the selector is collapsed.
void AnnouncePickerClosed();

// What the selector shows may have changed; tells readers when it did.
void AnnounceSelectorValue();

// A progress bar's value: its per-mille as a whole percentage, truncated
// like its fill and kept within "0%" and "100%".
void ProgressValueText(int permille, char16_t* buffer, int capacity);

#endif  // UPDATER_UI_ACCESSIBLE_H
