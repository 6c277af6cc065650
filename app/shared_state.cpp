// Shared window state: the values, their start values, and the hand-over of
// the progress-bar texts between a worker and the painting thread.
#include "app/shared_state.h"

#include <mutex>

#include "app/shared_state_os.h"
#include "app/text.h"

WindowHandle MainWindow;
int32_t SelectedScript = -1;
int WorkerBusy;
std::atomic<int32_t> CancelFlag;
char16_t NoticeText[NOTICE_TEXT_CAPACITY];
char16_t SummaryText[SUMMARY_TEXT_CAPACITY];
ProgressBar ProgressBars[PROGRESS_BAR_COUNT];
WindowHandle ControlHandles[ID_LAST_CONTROL - ID_FIRST_CONTROL + 1];
WindowHandle PickerWindow;
uint32_t PickerClosedTick;
int32_t PickerTopRow;
int32_t PickerHighlight = -1;

// Guards the two bar texts: the download worker writes them while the
// interface thread may paint them.
static std::mutex ProgressTextLock;

WindowHandle ControlHandle(int id) {
    if (id < ID_FIRST_CONTROL || id > ID_LAST_CONTROL) return nullptr;
    return ControlHandles[id - ID_FIRST_CONTROL];
}

void ResetSharedState() {
    MainWindow = nullptr;
    SelectedScript = -1;
    WorkerBusy = 0;
    CancelFlag.store(0);
    NoticeText[0] = 0;
    SummaryText[0] = 0;
    {
        std::lock_guard<std::mutex> guard(ProgressTextLock);
        for (ProgressBar& bar : ProgressBars) {
            bar.Permille = 0;
            bar.Text[0] = 0;
        }
    }
    for (WindowHandle& handle : ControlHandles) handle = nullptr;
    PickerWindow = nullptr;
    PickerClosedTick = 0;
    PickerTopRow = 0;
    PickerHighlight = -1;
}

void RequestCancel() {
    CancelFlag.exchange(1);
}

static int BarControlId(int entry) {
    return entry == 0 ? ID_FILE_PROGRESS : ID_TOTAL_PROGRESS;
}

void SetProgressText(int entry, const char16_t* format, const char16_t* argument) {
    if (entry < 0 || entry >= PROGRESS_BAR_COUNT) return;
    // Format outside the lock, then hand the finished text over in one copy.
    char16_t text[PROGRESS_TEXT_CAPACITY];
    TextFormat(text, PROGRESS_TEXT_CAPACITY, format, argument);
    {
        std::lock_guard<std::mutex> guard(ProgressTextLock);
        TextCopy(ProgressBars[entry].Text, PROGRESS_TEXT_CAPACITY, text);
        ProgressBars[entry].Text[PROGRESS_TEXT_CAPACITY - 1] = 0;
    }
    InvalidateControl(ControlHandle(BarControlId(entry)));
}

void CopyProgressText(int entry, char16_t* buffer, int capacity) {
    if (entry < 0 || entry >= PROGRESS_BAR_COUNT) {
        TextCopy(buffer, capacity, u"");
        return;
    }
    std::lock_guard<std::mutex> guard(ProgressTextLock);
    TextCopy(buffer, capacity, ProgressBars[entry].Text);
}

void ClearProgressTexts() {
    std::lock_guard<std::mutex> guard(ProgressTextLock);
    for (ProgressBar& bar : ProgressBars) bar.Text[0] = 0;
}
