// The main window: controls, header painting, the file list's colours, the
// commands, the workers' messages and the close question.
#include "ui/main_window.h"

#include <commctrl.h>
#include <stdint.h>

#include "app/contrast_win32.h"
#include "app/resources_win32.h"
#include "app/settings.h"
#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/check_run.h"
#include "catalog/local_state.h"
#include "catalog/signing.h"
#include "catalog/wire_address.h"
#include "catalog/trust_store.h"
#include "install/download_worker.h"
#include "ui/accessible.h"
#include "ui/display_settings.h"
#include "ui/draw.h"
#include "ui/focus_ring.h"
#include "ui/keyboard.h"
#include "ui/picker.h"
#include "ui/scale.h"
#include "ui/texts.h"

namespace {

const wchar_t Title[] = L"Zentora Script Updater";
const wchar_t AuthorName[] = L"Morvane";
const int HeaderHeight = 52;
const float PanelRadius = 8.0f;

HWND Main() {
    return static_cast<HWND>(MainWindow);
}

void KeepControl(int id, HWND control) {
    ControlHandles[id - ID_FIRST_CONTROL] = control;
}

// ---- creation -------------------------------------------------------------------

typedef HRESULT(WINAPI* DwmSetWindowAttributeFn)(HWND, DWORD, LPCVOID, DWORD);

// Attribute 20 asks for the dark title bar; older system builds know the
// same request as 19. The library stays loaded.
void ApplyDarkTitleBar(HWND window) {
    HMODULE dwm = LoadSystemLibrary(L"dwmapi.dll");
    if (dwm == nullptr) return;
    DwmSetWindowAttributeFn setAttribute = reinterpret_cast<DwmSetWindowAttributeFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(dwm, "DwmSetWindowAttribute")));
    if (setAttribute == nullptr) return;
    BOOL dark = TRUE;
    if (setAttribute(window, 20, &dark, sizeof dark) != S_OK) {
        setAttribute(window, 19, &dark, sizeof dark);
    }
}

void InsertListColumn(HWND list, int index, const wchar_t* caption, int width) {
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(caption);
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
}

int Width(const RECT& rect) {
    return rect.right - rect.left;
}

int Height(const RECT& rect) {
    return rect.bottom - rect.top;
}

void CreateFileList() {
    RECT at = ControlBounds(ID_FILE_LIST);
    HWND list = CreateWindowExW(
        0, L"SysListView32", L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_NOCOLUMNHEADER,
        at.left, at.top, Width(at), Height(at), Main(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_FILE_LIST)), AppInstance, nullptr);
    KeepControl(ID_FILE_LIST, list);
    SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(NormalFont), FALSE);
    // A zero mask sets the extended styles to exactly these two.
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    ColourFileList();
    InsertListColumn(list, 0, L"Name", Scaled(NAME_COLUMN_WIDTH));
    InsertListColumn(list, 1, L"Status", Scaled(STATUS_COLUMN_WIDTH));
}

void CreateDetailsPane() {
    RECT at = ControlBounds(ID_DETAILS);
    HWND details = CreateWindowExW(
        0, L"EDIT", L"",
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, at.left,
        at.top, Width(at), Height(at), Main(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_DETAILS)), AppInstance, nullptr);
    KeepControl(ID_DETAILS, details);
    SendMessageW(details, WM_SETFONT, reinterpret_cast<WPARAM>(NormalFont), FALSE);
    int margin = Scaled(DETAILS_MARGIN);
    SendMessageW(details, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
                 MAKELPARAM(margin, margin));
    ApplyDarkTheme(details);
    LetDialogKeysThrough(details);
}

HWND CreateBar(int id) {
    RECT at = ControlBounds(id);
    return CreateChild(L"STATIC", L"", SS_OWNERDRAW, at.left, at.top, Width(at), Height(at), id);
}

HWND CreateButton(const wchar_t* caption, int id) {
    RECT at = ControlBounds(id);
    return CreateOwnerButton(caption, at.left, at.top, Width(at), Height(at), id);
}

void CreateControls() {
    CreateFileList();
    CreateDetailsPane();
    KeepControl(ID_FILE_PROGRESS, CreateBar(ID_FILE_PROGRESS));
    KeepControl(ID_TOTAL_PROGRESS, CreateBar(ID_TOTAL_PROGRESS));
    KeepControl(ID_SCRIPT_SELECTOR, CreateButton(L"", ID_SCRIPT_SELECTOR));
    KeepControl(ID_DOWNLOAD, CreateButton(L"Download", ID_DOWNLOAD));
    KeepControl(ID_CLOSE, CreateButton(L"Close", ID_CLOSE));
}

void ShowNoServerNotice() {
    TextCopy(NoticeText, NOTICE_TEXT_CAPACITY, u"No server address in this Updater.exe yet.");
    NoticeText[NOTICE_TEXT_CAPACITY - 1] = 0;
    UpdateDetailsText();
}

// Without a scripts folder (its path too long to hold whole) nothing could be
// installed, so no server is asked either.
void ShowNoScriptsFolderNotice() {
    TextCopy(NoticeText, NOTICE_TEXT_CAPACITY,
             u"No scripts folder: its path would be longer than 259 characters.\r\n"
             u"Move Updater.exe to a folder with a shorter path, or shorten folder= in "
             u"updater.ini.");
    UpdateDetailsText();
}

void StartCheck() {
    WorkerBusy = 1;
    SelectedScript = -1;
    CatalogRefused = false;
    SetWindowTextW(ControlWindow(ID_DETAILS), L"Checking for updates...");
    UpdateButtons();
    if (!StartWorkerThread(CheckWorker, nullptr)) {
        WorkerBusy = 0;
        UpdateButtons();
    }
}

void OnCreate(HWND window) {
    MainWindow = window;
    ApplyDarkTitleBar(window);
    RefreshHighContrast();
    RemakeBrushes();
    AdoptWindowDpi(window);
    CreateControls();
    MakeControlsAccessible();
    InitializeKeyboardCues(window);
    if (ScriptsFolder[0] == 0) {
        ShowNoScriptsFolderNotice();
    } else if (ServerUrl[0] == 0) {
        ShowNoServerNotice();
    } else {
        StartCheck();
    }
    UpdateSummary();
}

// ---- painting ---------------------------------------------------------------------

void DrawLine(HDC dc, const wchar_t* text, RECT area, HFONT font, COLORREF colour, UINT align) {
    SelectObject(dc, font);
    SetTextColor(dc, colour);
    DrawTextW(dc, text, -1, &area, DT_SINGLELINE | DT_VCENTER | align);
}

// "by Morvane", right-aligned, the name in the accent colour.
void PaintAuthor(HDC dc) {
    RECT area = {0, 0, Scaled(624), Scaled(HeaderHeight)};
    SelectObject(dc, SemiboldFont);
    SIZE name = {};
    GetTextExtentPoint32W(dc, AuthorName, lstrlenW(AuthorName), &name);
    DrawLine(dc, AuthorName, area, SemiboldFont, Colour(COLOUR_ACCENT), DT_RIGHT);
    area.right -= name.cx + Scaled(4);
    DrawLine(dc, L"by", area, NormalFont, Colour(COLOUR_MUTED_TEXT), DT_RIGHT);
}

void PaintHeader(HDC dc, int clientWidth) {
    RECT band = {0, 0, clientWidth, Scaled(HeaderHeight)};
    FillSolid(dc, band, Colour(COLOUR_HEADER_BAND));
    RECT line = {0, Scaled(HeaderHeight - 1), clientWidth, Scaled(HeaderHeight)};
    FillSolid(dc, line, Colour(COLOUR_FRAME_LINE));
    DrawIconEx(dc, Scaled(14), Scaled(10), AppIcon, Scaled(32), Scaled(32), 0, nullptr, DI_NORMAL);
    RECT title = {Scaled(56), Scaled(7), Scaled(626), Scaled(30)};
    DrawLine(dc, Title, title, TitleFont, Colour(COLOUR_WHITE), DT_LEFT);
    RECT summary = {Scaled(57), Scaled(28), Scaled(626), Scaled(46)};
    DrawLine(dc, reinterpret_cast<const wchar_t*>(SummaryText), summary, NormalFont,
             Colour(COLOUR_MUTED_TEXT), DT_LEFT);
    PaintAuthor(dc);
}

RECT ControlRectInClient(int id) {
    RECT rect;
    GetWindowRect(ControlWindow(id), &rect);
    MapWindowPoints(nullptr, Main(), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void PaintPanel(HDC dc, const RECT& panel) {
    FillRoundRect(dc, panel, Colour(COLOUR_PANEL), ScaledRadius(PanelRadius), Colour(COLOUR_PANEL),
                  Colour(COLOUR_FRAME_LINE));
}

// The frame around the list, with room above it for the column captions
// that stand in for the list's hidden header.
void PaintFilePanel(HDC dc) {
    RECT panel = ControlRectInClient(ID_FILE_LIST);
    InflateRect(&panel, Scaled(4), Scaled(4));
    panel.top -= Scaled(26);
    PaintPanel(dc, panel);
    int l = panel.left, t = panel.top, r = panel.right;
    RECT name = {l + Scaled(10), t + Scaled(4), l + Scaled(204), t + Scaled(28)};
    DrawLine(dc, L"Name", name, SemiboldFont, Colour(COLOUR_MUTED_TEXT), DT_LEFT);
    RECT status = {l + Scaled(210), t + Scaled(4), r - Scaled(8), t + Scaled(28)};
    DrawLine(dc, L"Status", status, SemiboldFont, Colour(COLOUR_MUTED_TEXT), DT_LEFT);
    RECT rule = {l + Scaled(8), t + Scaled(29), r - Scaled(8), t + Scaled(30)};
    FillSolid(dc, rule, Colour(COLOUR_FRAME_LINE));
    PaintListFocusRing(dc);
}

void PaintDetailsPanel(HDC dc) {
    RECT panel = ControlRectInClient(ID_DETAILS);
    InflateRect(&panel, Scaled(6), Scaled(6));
    PaintPanel(dc, panel);
}

void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, NormalFont);
    PaintHeader(dc, client.right);
    PaintFilePanel(dc);
    PaintDetailsPanel(dc);
    SelectObject(dc, oldFont);
    EndPaint(window, &paint);
}

LRESULT OnEraseBackground(HWND window, HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, WindowBrush);
    return 1;
}

LRESULT OnControlColour(HDC dc, HWND control) {
    bool notice = control == ControlWindow(ID_DETAILS) && NoticeText[0] != 0;
    SetBkColor(dc, Colour(COLOUR_PANEL));
    SetTextColor(dc, Colour(notice ? COLOUR_NOTICE_TEXT : COLOUR_LIGHT_TEXT));
    return reinterpret_cast<LRESULT>(PanelBrush);
}

// ---- the file list's colours ------------------------------------------------------

bool IsListRowSelected(int row) {
    LRESULT state = SendMessageW(ControlWindow(ID_FILE_LIST), LVM_GETITEMSTATE,
                                 static_cast<WPARAM>(row), LVIS_SELECTED);
    return (state & LVIS_SELECTED) != 0;
}

// The status column in its status's colour; a selected row in our own
// selection colour instead of the list's highlight.
LRESULT ColourFileListCell(NMLVCUSTOMDRAW* draw) {
    int row = static_cast<int>(draw->nmcd.dwItemSpec);
    if (SelectedScript == -1 || row >= ScriptTable[SelectedScript].fileCount) return CDRF_DODEFAULT;
    const FileRecord& file = FileTable[ScriptTable[SelectedScript].firstFile + row];
    bool statusColumn = draw->iSubItem == 1;
    bool knownStatus = file.status >= 0 && file.status < FILE_STATUS_COUNT;
    bool selected = IsListRowSelected(row);
    InkOnHighlight ink(selected);
    draw->clrText =
        Colour(statusColumn && knownStatus ? StatusColours[file.status] : COLOUR_LIGHT_TEXT);
    draw->clrTextBk = Colour(selected ? COLOUR_LIST_SELECTION : COLOUR_PANEL);
    if (selected) draw->nmcd.uItemState &= ~static_cast<UINT>(CDIS_SELECTED | CDIS_FOCUS);
    return CDRF_DODEFAULT;
}

LRESULT OnFileListCustomDraw(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
        case CDDS_ITEMPREPAINT:
            return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
            return ColourFileListCell(draw);
    }
    return CDRF_DODEFAULT;
}

LRESULT OnNotify(NMHDR* header) {
    if (header->idFrom != ID_FILE_LIST) return 0;
    switch (header->code) {
        case NM_CUSTOMDRAW:
            return OnFileListCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
        case NM_SETFOCUS:
        case NM_KILLFOCUS:
            InvalidateListFocusRing();
            break;
    }
    return 0;
}

// ---- commands ---------------------------------------------------------------------

void OnDownloadCommand() {
    if (WorkerBusy || SelectedScript == -1 || ScriptState(SelectedScript) == 0) return;
    WorkerBusy = 1;
    CancelFlag.store(0);
    NoticeText[0] = 0;
    ProgressBars[0].Permille = 0;
    ProgressBars[1].Permille = 0;
    UpdateButtons();
    void* script = reinterpret_cast<void*>(static_cast<intptr_t>(SelectedScript));
    if (!StartWorkerThread(DownloadWorker, script)) {
        WorkerBusy = 0;
        UpdateButtons();
    }
}

// Cancel while a worker runs; otherwise close, without a question.
void OnCloseCommand() {
    if (WorkerBusy) {
        RequestCancel();
        return;
    }
    PostMessageW(Main(), WM_CLOSE, 0, 0);
}

void OnCommand(int id) {
    switch (id) {
        case ID_DOWNLOAD:
            OnDownloadCommand();
            break;
        case ID_CLOSE:
        case IDCANCEL:  // Escape, as in a dialog
            OnCloseCommand();
            break;
        case ID_SCRIPT_SELECTOR:
            OpenPicker();
            break;
    }
}

// ---- the workers' messages --------------------------------------------------------

// The script named by `last`; the last of equal names wins, the first
// script when none matches, -1 when there are none.
int LastChosenScript() {
    char16_t last[LAST_SCRIPT_CAPACITY];
    ReadLastScript(last);
    if (ScriptCount == 0) return -1;
    int candidate = 0;
    for (int i = 0; i < ScriptCount; ++i) {
        if (TextEqual(ScriptTable[i].name, last)) candidate = i;
    }
    return candidate;
}

// The notice for a check whose catalog is not used, with the server address.
void ShowCheckNotice(WPARAM outcome) {
    const char16_t* format =
        u"Could not reach the server.\r\n%s\r\n\r\nCheck your internet and open the updater "
        u"again.";
    if (outcome == CHECK_DONE_NOT_VERIFIED) {
        format =
            u"Could not verify the catalog.\r\n%s\r\n\r\nIt is not signed with the key in "
            u"updater.ini.";
    } else if (outcome == CHECK_DONE_OLDER) {
        format =
            u"Could not verify the catalog.\r\n%s\r\n\r\nIt is older than a catalog this "
            u"updater already used.";
    }
    char16_t shown[NOTICE_TEXT_CAPACITY];
    ShownAddress(ServerUrl, shown, NOTICE_TEXT_CAPACITY);
    TextFormat(NoticeText, NOTICE_TEXT_CAPACITY, format, shown);
    NoticeText[NOTICE_TEXT_CAPACITY - 1] = 0;
}

void OnCheckDone(WPARAM outcome) {
    WorkerBusy = 0;
    if (outcome == CHECK_DONE_ARRIVED) {
        RememberTrustedCatalog();
        SelectScript(LastChosenScript());
        UpdateSummary();
        return;
    }
    CatalogRefused = outcome == CHECK_DONE_NOT_VERIFIED || outcome == CHECK_DONE_OLDER;
    ShowCheckNotice(outcome);
    UpdateSummary();
    UpdateDetailsText();
    UpdateButtons();
}

void OnProgress(WPARAM bar, LPARAM permille) {
    if (bar >= PROGRESS_BAR_COUNT) return;
    ProgressBars[bar].Permille = static_cast<int32_t>(permille);
    InvalidateControl(ControlHandle(ID_FILE_PROGRESS + static_cast<int>(bar)));
}

void OnDownloadDone(WPARAM succeeded) {
    WorkerBusy = 0;
    if (succeeded) {
        SetProgressText(1, u"Done - %s is up to date.", ScriptTable[SelectedScript].name);
        SetProgressText(0, u"%s", u"");
    } else {
        SetProgressText(1, u"%s", CancelFlag.load() != 0 ? u"Cancelled." : u"Failed.");
    }
    RefreshFileList();
    UpdateSummary();
}

// ---- closing ------------------------------------------------------------------------

// While a worker runs the user is asked first; a running worker is neither
// cancelled nor waited for, it ends with the process.
void OnClose(HWND window) {
    if (WorkerBusy) {
        int answer = MessageBoxW(window, L"A download is running. Close anyway?", L"Updater",
                                 MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        if (answer != IDYES) return;
    }
    DestroyWindow(window);
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnCreate(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_PAINT:
            OnPaint(window);
            return 0;
        case WM_ERASEBKGND:
            return OnEraseBackground(window, reinterpret_cast<HDC>(wParam));
        case WM_CLOSE:
            OnClose(window);
            return 0;
        case WM_ACTIVATE:
            if (OnMainActivate(wParam)) return 0;
            break;
        case WM_SETFOCUS:
            OnMainSetFocus();
            return 0;
        case DM_GETDEFID:
            return DefaultButtonId();
        case WM_UPDATEUISTATE:
            DefWindowProcW(window, message, wParam, lParam);
            InvalidateListFocusRing();
            return 0;
        case WM_DRAWITEM:
            DrawOwnerControl(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_NOTIFY:
            return OnNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSTATIC:
            return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
            OnDisplaySettingChange(window, message, wParam, lParam);
            return 0;
        case WM_DPICHANGED:
            OnDpiChanged(window, LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_APP_CHECK_DONE:
            OnCheckDone(wParam);
            return 0;
        case WM_APP_PROGRESS:
            OnProgress(wParam, lParam);
            return 0;
        case WM_APP_DOWNLOAD_DONE:
            OnDownloadDone(wParam);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
