// Details, summary and list texts, the button states, one script's row, and
// the choice of a script.
#include "ui/texts.h"

#include <commctrl.h>

#include "app/resources_win32.h"
#include "app/settings.h"
#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/local_state.h"
#include "ui/accessible.h"
#include "ui/scale.h"
#include "ui/keyboard.h"

const char16_t* const StatusLabels[FILE_STATUS_COUNT] = {u"OK", u"New", u"Update", u"Kept"};
const PaletteColour StatusColours[FILE_STATUS_COUNT] = {COLOUR_STATUS_OK, COLOUR_STATUS_NEW,
                                                        COLOUR_STATUS_UPDATE, COLOUR_MUTED_TEXT};

char16_t DetailsText[DETAILS_TEXT_CAPACITY];

// Capacities of the pieces the details text is assembled from; each piece
// is cut to its own capacity, and the whole to DetailsText's.
enum {
    HEAD_PIECE_CAPACITY = 1200,
    STATE_PIECE_CAPACITY = 200,
    FILE_PIECE_CAPACITY = 200,
    VERSION_PIECE_CAPACITY = 100,
    NOTES_PIECE_CAPACITY = 4096,
    // Once the text is longer than this, no more file lines are added.
    FILE_LINES_LIMIT = 999,
};

// The header band that UpdateSummary repaints, in client pixels.
// The header band at 96 DPI; scaled when it is repainted.
static const RECT HeaderBand = {0, 0, 640, 52};

static const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

HWND ControlWindow(int id) {
    return static_cast<HWND>(ControlHandle(id));
}

const char16_t* ScriptStateLabel(int state) {
    if (state < 0) return u"Not installed";
    return state == 0 ? u"OK" : u"Update";
}

PaletteColour ScriptStateColour(int state) {
    if (state < 0) return COLOUR_MUTED_TEXT;
    return state == 0 ? COLOUR_STATUS_OK : COLOUR_STATUS_UPDATE;
}

static const char16_t* StatusLabel(int32_t status) {
    bool known = status >= 0 && status < FILE_STATUS_COUNT;
    return known ? StatusLabels[status] : u"";
}

static bool IsScriptIndex(int script) {
    return script >= 0 && script < ScriptCount;
}

// ---- the details pane ---------------------------------------------------------

static void AppendDetails(const char16_t* piece) {
    TextAppend(DetailsText, DETAILS_TEXT_CAPACITY, piece);
}

static void AppendHead(const ScriptRecord& script) {
    bool notice = NoticeText[0] != 0;
    char16_t head[HEAD_PIECE_CAPACITY];
    TextFormat(head, HEAD_PIECE_CAPACITY, u"%s%s%s\r\n%s%s", notice ? NoticeText : u"",
               notice ? u"\r\n\r\n" : u"", script.name, script.desc,
               script.desc[0] != 0 ? u"\r\n\r\n" : u"");
    AppendDetails(head);
}

static void AppendStateLine(const ScriptRecord& script, int state) {
    char16_t line[STATE_PIECE_CAPACITY];
    if (state < 0) {
        TextFormat(line, STATE_PIECE_CAPACITY, u"Not installed - %d files to download.\r\n",
                   script.fileCount);
    } else if (state == 0) {
        TextCopy(line, STATE_PIECE_CAPACITY, u"There is no updates.\r\n");
    } else {
        TextFormat(line, STATE_PIECE_CAPACITY, u"%d file%s to update:\r\n", state,
                   state == 1 ? u"" : u"s");
    }
    AppendDetails(line);
}

static void AppendFileLines(const ScriptRecord& script) {
    for (int i = 0; i < script.fileCount; ++i) {
        const FileRecord& file = FileTable[script.firstFile + i];
        if (!NeedsDownload(file.status)) continue;
        // A long list simply ends here; the version and the notes still follow.
        if (TextLength(DetailsText) > FILE_LINES_LIMIT) break;
        char16_t line[FILE_PIECE_CAPACITY];
        TextFormat(line, FILE_PIECE_CAPACITY, u"  %s\r\n", file.path);
        AppendDetails(line);
    }
}

static void AppendVersion(const ScriptRecord& script) {
    if (script.version[0] == 0) return;
    char16_t line[VERSION_PIECE_CAPACITY];
    TextFormat(line, VERSION_PIECE_CAPACITY, u"\r\nVersion: %s\r\n", script.version);
    AppendDetails(line);
}

static void AppendNotes(const ScriptRecord& script) {
    if (script.noteOffset < 0 || script.noteOffset >= NOTES_CAPACITY) return;
    // Appending cuts at the end of DetailsText, so a long file list followed
    // by nearly full notes can never run past the buffer.
    char16_t notes[NOTES_PIECE_CAPACITY];
    TextFormat(notes, NOTES_PIECE_CAPACITY, u"\r\nWhat's new:\r\n%s",
               NotesText + script.noteOffset);
    AppendDetails(notes);
}

void UpdateDetailsText() {
    DetailsText[0] = 0;
    if (!IsScriptIndex(SelectedScript)) {
        TextCopy(DetailsText, DETAILS_TEXT_CAPACITY, NoticeText);
    } else {
        const ScriptRecord& script = ScriptTable[SelectedScript];
        int state = ScriptState(SelectedScript);
        AppendHead(script);
        AppendStateLine(script, state);
        if (state > 0) AppendFileLines(script);
        AppendVersion(script);
        AppendNotes(script);
    }
    SetWindowTextW(ControlWindow(ID_DETAILS), Wide(DetailsText));
}

// ---- buttons, list, summary ---------------------------------------------------

void UpdateButtons() {
    bool chosen = SelectedScript >= 0;
    int state = chosen ? ScriptState(SelectedScript) : 0;
    EnableButtonsKeepingFocus(chosen && state != 0 && !WorkerBusy, !WorkerBusy);
    SetWindowTextW(ControlWindow(ID_CLOSE), WorkerBusy ? L"Cancel" : L"Close");
    SetWindowTextW(ControlWindow(ID_DOWNLOAD), chosen && state < 0 ? L"Install" : L"Download");
    AnnounceSelectorValue();
}

static void InsertFileRow(HWND list, int row, const FileRecord& file) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(Wide(file.path));
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    LVITEMW status = {};
    status.iSubItem = 1;
    status.pszText = const_cast<wchar_t*>(Wide(StatusLabel(file.status)));
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&status));
}

void RefreshFileList() {
    HWND list = ControlWindow(ID_FILE_LIST);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    if (IsScriptIndex(SelectedScript)) {
        const ScriptRecord& script = ScriptTable[SelectedScript];
        for (int i = 0; i < script.fileCount; ++i) {
            InsertFileRow(list, i, FileTable[script.firstFile + i]);
        }
    }
    UpdateDetailsText();
    UpdateButtons();
    InvalidateRect(ControlWindow(ID_SCRIPT_SELECTOR), nullptr, FALSE);
}

// The number of scripts the summary may count. While the check runs the
// table is being filled on another thread, so it counts as empty then.
static int SettledScriptCount() {
    bool checkRunning = WorkerBusy && SelectedScript < 0;
    return checkRunning ? 0 : ScriptCount;
}

bool CatalogRefused;

// With no script to count, what the notice is about.
static const char16_t* SummaryWithoutScripts() {
    if (NoticeText[0] == 0) return u"Checking for updates...";
    return CatalogRefused ? u"Catalog not verified" : u"Server not reachable";
}

void UpdateSummary() {
    int scripts = SettledScriptCount();
    if (scripts > 0) {
        int withUpdates = 0;
        for (int i = 0; i < scripts; ++i) {
            if (ScriptState(i) > 0) ++withUpdates;
        }
        if (withUpdates > 0) {
            TextFormat(SummaryText, SUMMARY_TEXT_CAPACITY, u"%d scripts  \u2022  %d with updates",
                       scripts, withUpdates);
        } else {
            TextFormat(SummaryText, SUMMARY_TEXT_CAPACITY,
                       u"%d scripts  \u2022  everything up to date", scripts);
        }
    } else {
        TextCopy(SummaryText, SUMMARY_TEXT_CAPACITY, SummaryWithoutScripts());
    }
    SummaryText[SUMMARY_TEXT_CAPACITY - 1] = 0;
    RECT band = {0, 0, Scaled(HeaderBand.right), Scaled(HeaderBand.bottom)};
    InvalidateRect(static_cast<HWND>(MainWindow), &band, FALSE);
}

// ---- choosing a script ----------------------------------------------------------

void SelectScript(int script) {
    SelectedScript = script;
    NoticeText[0] = 0;
    if (script >= 0) WriteLastScript(ScriptTable[script].name);
    ClearProgressTexts();
    ProgressBars[0].Permille = 0;
    ProgressBars[1].Permille = 0;
    InvalidateControl(ControlHandle(ID_FILE_PROGRESS));
    InvalidateControl(ControlHandle(ID_TOTAL_PROGRESS));
    RefreshFileList();
}

// ---- one script's row -----------------------------------------------------------

void DrawScriptRow(HDC dc, const RECT& rect, int script) {
    if (!IsScriptIndex(script)) return;
    int state = ScriptState(script);
    RECT area = rect;
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, NormalFont);
    SetTextColor(dc, Colour(ScriptStateColour(state)));
    DrawTextW(dc, Wide(ScriptStateLabel(state)), -1, &area, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
    // The name is fitted to the whole row and drawn last, so a long name
    // runs over the label.
    SelectObject(dc, SemiboldFont);
    SetTextColor(dc, Colour(COLOUR_WHITE));
    DrawTextW(dc, Wide(ScriptTable[script].name), -1, &area,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, oldFont);
}

void ScriptRowText(int script, char16_t* buffer, int capacity) {
    if (!IsScriptIndex(script)) {
        TextCopy(buffer, capacity, u"");
        return;
    }
    TextFormat(buffer, capacity, u"%s, %s", ScriptTable[script].name,
               ScriptStateLabel(ScriptState(script)));
}

const char16_t* SelectorPlaceholder() {
    return WorkerBusy ? u"Loading..." : u"No scripts";
}

void SelectorText(char16_t* buffer, int capacity) {
    if (SelectedScript == -1) {
        TextCopy(buffer, capacity, SelectorPlaceholder());
    } else {
        ScriptRowText(SelectedScript, buffer, capacity);
    }
}
