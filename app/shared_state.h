// The values through which the workers and the windows meet, the control
// identifiers, the three private messages, and SetProgressText.
//
// Who writes what: the interface thread alone writes MainWindow,
// SelectedScript, WorkerBusy, SummaryText, the Permille values, the control
// handles and the picker state. A worker writes NoticeText only before its
// final message, and the bar texts only through SetProgressText, which hands
// them over under a lock so that a painter never sees half a text.
#ifndef UPDATER_APP_SHARED_STATE_H
#define UPDATER_APP_SHARED_STATE_H

#include <stdint.h>

#include <atomic>

// A window handle as the portable code sees it (an HWND on Windows).
typedef void* WindowHandle;

enum {
    NOTICE_TEXT_CAPACITY = 600,
    SUMMARY_TEXT_CAPACITY = 100,
    PROGRESS_TEXT_CAPACITY = 200,
    PROGRESS_BAR_COUNT = 2,
};

// Control identifiers of the main window.
enum {
    ID_FILE_LIST = 101,        // the file list (list view)
    ID_DETAILS = 102,          // the details pane (read-only multi-line edit)
    ID_FILE_PROGRESS = 103,    // bar of ProgressBars[0], the current file
    ID_TOTAL_PROGRESS = 104,   // bar of ProgressBars[1], the whole download
    ID_SCRIPT_SELECTOR = 105,  // the button that opens the picker
    ID_DOWNLOAD = 106,         // Download or Install
    ID_CLOSE = 107,            // Close or Cancel
    ID_FIRST_CONTROL = ID_FILE_LIST,
    ID_LAST_CONTROL = ID_CLOSE,
};

// Private messages, posted to MainWindow, never sent.
enum {
    APP_MESSAGE_BASE = 0x8000,                    // WM_APP
    WM_APP_CHECK_DONE = APP_MESSAGE_BASE + 1,     // wParam a CHECK_DONE_ value; lParam 0
    WM_APP_PROGRESS = APP_MESSAGE_BASE + 2,       // wParam bar 0 or 1; lParam its Permille
    WM_APP_DOWNLOAD_DONE = APP_MESSAGE_BASE + 3,  // wParam 1 all placed, 0 not; lParam placed
};

// What WM_APP_CHECK_DONE reports in wParam.
enum {
    CHECK_DONE_UNREACHABLE = 0,   // the catalog did not arrive
    CHECK_DONE_ARRIVED = 1,       // the catalog arrived (and verified, when a key is set)
    CHECK_DONE_NOT_VERIFIED = 2,  // not signed with the key: not used
    CHECK_DONE_OLDER = 3,         // signed, but older than one used before: not used
};

struct ProgressBar {
    int32_t Permille;                       // thousandths done, 0 to 1000
    char16_t Text[PROGRESS_TEXT_CAPACITY];  // written only by SetProgressText and SelectScript
};

extern WindowHandle MainWindow;             // target of every posted message
extern int32_t SelectedScript;              // index in ScriptTable, -1 for none
extern int WorkerBusy;                      // 1 while the check or the download worker runs
extern std::atomic<int32_t> CancelFlag;     // asks the running worker to stop
extern char16_t NoticeText[NOTICE_TEXT_CAPACITY];    // last failure, shown first in the details
extern char16_t SummaryText[SUMMARY_TEXT_CAPACITY];  // the line under the title
extern ProgressBar ProgressBars[PROGRESS_BAR_COUNT]; // 0 the current file, 1 the whole download

// One handle per control of the main window, indexed by identifier - ID_FIRST_CONTROL.
extern WindowHandle ControlHandles[ID_LAST_CONTROL - ID_FIRST_CONTROL + 1];
WindowHandle ControlHandle(int id);

extern WindowHandle PickerWindow;           // the open picker popup, null when none
extern uint32_t PickerClosedTick;           // tick count when the picker was last destroyed
extern int32_t PickerTopRow;                // script shown in the picker's first visible row
extern int32_t PickerHighlight;             // highlighted script in the picker, -1 for none

// Puts every value back to its start value (for tests and a fresh start).
void ResetSharedState();

// Sets CancelFlag to 1 with an interlocked exchange (the Cancel button).
void RequestCancel();

// Formats argument with format into ProgressBars[entry].Text and asks that
// entry's bar to repaint. The Permille is not touched.
void SetProgressText(int entry, const char16_t* format, const char16_t* argument);

// Copies ProgressBars[entry].Text as one whole text, for painting.
void CopyProgressText(int entry, char16_t* buffer, int capacity);

// Empties both bar texts directly (selection of a script).
void ClearProgressTexts();

#endif  // UPDATER_APP_SHARED_STATE_H
