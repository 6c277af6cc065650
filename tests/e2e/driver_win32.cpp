// Drives the real Updater.exe from outside, as a user would: it writes an
// updater.ini beside a copy of the program, starts it, waits for its window,
// reads the controls, clicks and types with real input, answers the close
// question, checks the files on disk byte for byte and the `last` key, saves
// screenshots, and checks the exit code. Every wait has a timeout.
//
//   e2e_driver.exe SCENARIO UPDATER_EXE DEMO_FOLDER WORK_FOLDER SHOTS_FOLDER
//
// tools/demo.sh uses two more modes on a window some other command started:
//   e2e_driver.exe --wait-until-checked SECONDS   (exit 0 once the check ended)
//   e2e_driver.exe --close                        (closes it as the title bar does)
//
// The folders are Unix paths (the build passes its own); the driver reaches
// them through Wine's Z: drive. UPDATER_TEST_SERVERS names the servers.ini
// of the nginx test servers, UPDATER_SLOW_SERVER the slow-server.ini of
// slow_server.py. Exit code 0 when every check held.
// clang-format off
#include <windows.h>  // before every other system header
#include <commctrl.h>
#include <oleacc.h>
// clang-format on
#include "tests/e2e/driver_win32.h"

#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "app/shared_state.h"
#include "tests/e2e/accessible_reader_win32.h"
#include "tests/e2e/png_writer.h"
#include "tests/support/signer.h"
#include "tests/ui_support/window_checks_win32.h"
#include "ui/main_window.h"
#include "ui/picker.h"

namespace e2e {

Scenario Run;

// ---- reporting -------------------------------------------------------------------

bool Check(bool condition, const std::string& what) {
    if (!condition) {
        ++Run.failures;
        printf("FAIL [%s] %s\n", Run.name.c_str(), what.c_str());
        fflush(stdout);
    }
    return condition;
}

void Note(const std::string& what) {
    printf("[%s] %s\n", Run.name.c_str(), what.c_str());
    fflush(stdout);
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

// Polls condition every 50 ms until it holds or timeoutMs pass.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs, const std::string& what) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > static_cast<DWORD>(timeoutMs)) {
            return Check(false, "timed out waiting for " + what);
        }
        Sleep(50);
    }
    return true;
}

// ---- files ------------------------------------------------------------------------

fs::path WinePath(const char* unixPath) {
    std::wstring path = L"Z:";
    for (const char* c = unixPath; *c != 0; ++c)
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return fs::path(path);
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void CopyOneFile(const fs::path& from, const fs::path& to) {
    fs::create_directories(to.parent_path());
    Check(CopyFileW(from.wstring().c_str(), to.wstring().c_str(), FALSE) != FALSE,
          "cannot copy " + from.string());
}

// A fresh copy of the folder from at to.
void CopyFolder(const fs::path& from, const fs::path& to) {
    std::error_code ignored;
    fs::remove_all(to, ignored);
    fs::create_directories(to);
    for (const auto& entry : fs::recursive_directory_iterator(from)) {
        if (entry.is_regular_file())
            CopyOneFile(entry.path(), to / fs::relative(entry.path(), from));
    }
}

// The value of key in a "key=value" file such as servers.ini.
std::string IniValue(const fs::path& file, const std::string& key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
    }
    return "";
}

fs::path ServerIni(const char* variable) {
    const char* value = getenv(variable);
    return value == nullptr ? fs::path() : WinePath(value);
}

// The scripts folder as a user might have it: Auto Loot with an old main
// file, one file missing and its settings changed; Map Markers current;
// Bite Chime missing a file; the other two not installed.
void PlaceInstalledScripts(const fs::path& scripts) {
    std::error_code ignored;
    fs::remove_all(scripts, ignored);
    const fs::path& demo = Run.demo;
    for (const char* file : {"filters.lua", "lib/util/strings.lua"}) {
        WriteBytes(scripts / "Auto Loot" / fs::path(file),
                   ReadBytes(demo / "Auto Loot" / fs::path(file)));
    }
    WriteBytes(scripts / "Auto Loot" / "main.lua", "-- Auto Loot 2.2\n");
    WriteBytes(scripts / "Auto Loot" / "settings.ini", "; mine\nmin_rarity=4\n");
    for (const char* file : {"main.lua", "icons/flag.txt", "icons/star.txt", "markers.ini"}) {
        WriteBytes(scripts / "Map Markers" / fs::path(file),
                   ReadBytes(demo / "Map Markers" / fs::path(file)));
    }
    WriteBytes(scripts / "Bite Chime" / "main.lua", ReadBytes(demo / "Bite Chime" / "main.lua"));
}

void WriteSettings(const std::wstring& url, const std::wstring& last) {
    std::string ini = "[updater]\r\nurl=" + Narrow(url) +
                      "\r\nfolder=" + Narrow((Run.work / "scripts").wstring()) + "\r\n";
    if (!last.empty()) ini += "last=" + Narrow(last) + "\r\n";
    WriteBytes(Run.work / "updater.ini", ini);
}

std::wstring LastSetting() {
    wchar_t value[64] = {};
    GetPrivateProfileStringW(L"updater", L"last", L"", value, 64,
                             (Run.work / "updater.ini").wstring().c_str());
    return value;
}

// True when every file of the script in the scripts folder has the bytes
// the server publishes.
bool InstalledAsPublished(const fs::path& server, const std::string& script,
                          const std::vector<std::string>& files) {
    bool same = true;
    for (const std::string& file : files) {
        std::string published = ReadBytes(server / script / fs::path(file));
        std::string installed = ReadBytes(Run.work / "scripts" / script / fs::path(file));
        same &= Check(installed == published, script + "/" + file + " is not as published");
    }
    return same;
}

bool NoTemporaryFilesLeft() {
    fs::path scripts = Run.work / "scripts";
    if (!fs::exists(scripts)) return true;
    for (const auto& entry : fs::recursive_directory_iterator(scripts)) {
        if (entry.path().extension() == ".new") return false;
    }
    return true;
}

// ---- the program's windows ------------------------------------------------------

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (owner == search->processId && lstrcmpiW(name, search->className) == 0 &&
        IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of that class belonging to the process.
HWND FindWindowOf(DWORD processId, const wchar_t* className) {
    WindowSearch search = {processId, className, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring Text(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
        return L"<no answer>";
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]),
                        SMTO_ABORTIFHUNG, 5000, &copied);
    text.resize(copied);
    return text;
}

std::wstring ControlText(const Program& program, int id) {
    return Text(GetDlgItem(program.main, id));
}

bool Enabled(const Program& program, int id) {
    return IsWindowEnabled(GetDlgItem(program.main, id)) != FALSE;
}

// No worker runs: the window is shown and Close no longer reads Cancel.
bool Idle(const Program& program) {
    return IsWindowVisible(program.main) && ControlText(program, ID_CLOSE) == L"Close";
}

int ListRows(const Program& program) {
    DWORD_PTR rows = 0;
    SendMessageTimeoutW(GetDlgItem(program.main, ID_FILE_LIST), LVM_GETITEMCOUNT, 0, 0,
                        SMTO_ABORTIFHUNG, 5000, &rows);
    return static_cast<int>(rows);
}

// A list cell, read through memory in the program's own address space.
std::wstring ListCell(const Program& program, int row, int column) {
    HANDLE process = program.process.hProcess;
    const SIZE_T textCapacity = 260;
    char* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + textCapacity * sizeof(wchar_t),
                       MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr) return L"<no memory>";
    LVITEMW item = {};
    item.iSubItem = column;
    item.cchTextMax = static_cast<int>(textCapacity);
    item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
    WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(GetDlgItem(program.main, ID_FILE_LIST), LVM_GETITEMTEXTW, row,
                        reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 5000, &result);
    wchar_t text[textCapacity] = {};
    ReadProcessMemory(process, remote + sizeof(LVITEMW), text, sizeof text - sizeof(wchar_t),
                      nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return text;
}

bool DetailsBeginWith(const Program& program, const std::wstring& start) {
    return ControlText(program, ID_DETAILS).compare(0, start.size(), start) == 0;
}

bool Launch(Program& program) {
    CopyOneFile(Run.exe, Run.work / "Updater.exe");
    std::wstring command = L"\"" + (Run.work / "Updater.exe").wstring() + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                  Run.work.wstring().c_str(), &startup, &program.process);
    if (!Check(started != FALSE, "Updater.exe did not start")) return false;
    return WaitFor(
        [&] {
            program.main = FindWindowOf(program.process.dwProcessId, MainWindowClass);
            return program.main != nullptr;
        },
        20000, "the main window");
}

// Ends the program if a failed check left it running, and closes its handles.
void Finish(Program& program) {
    if (program.process.hProcess == nullptr) return;
    if (WaitForSingleObject(program.process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(program.process.hProcess, 99);
        WaitForSingleObject(program.process.hProcess, 5000);
    }
    CloseHandle(program.process.hThread);
    CloseHandle(program.process.hProcess);
    program.process = {};
}

bool ExitsWith(Program& program, DWORD expected) {
    if (!Check(WaitForSingleObject(program.process.hProcess, 10000) == WAIT_OBJECT_0,
               "the program did not end")) {
        return false;
    }
    DWORD code = 1234;
    GetExitCodeProcess(program.process.hProcess, &code);
    return Check(code == expected, "exit code " + std::to_string(code));
}

// ---- real input -------------------------------------------------------------------

void ClickScreen(POINT point) {
    SetCursorPos(point.x, point.y);
    Sleep(60);
    INPUT input[2] = {};
    input[0].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].type = INPUT_MOUSE;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &input[0], sizeof(INPUT));
    Sleep(60);
    SendInput(1, &input[1], sizeof(INPUT));
    Sleep(150);
}

void ClickIn(HWND window, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    ClickScreen(point);
}

void ClickControl(const Program& program, int id) {
    HWND control = GetDlgItem(program.main, id);
    RECT rect;
    GetClientRect(control, &rect);
    ClickIn(control, rect.right / 2, rect.bottom / 2);
}

void PressKeys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> input(2 * keys.size());
    size_t down = 0, up = input.size();
    for (WORD key : keys) {
        input[down].type = input[--up].type = INPUT_KEYBOARD;
        input[down++].ki.wVk = input[up].ki.wVk = key;
        input[up].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
    Sleep(150);
}

void PressKey(WORD key) {
    PressKeys({key});
}

HWND FocusOf(const Program& program) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(program.process.dwThreadId, &info);
    return info.hwndFocus;
}

HWND Picker(const Program& program) {
    return FindWindowOf(program.process.dwProcessId, PickerWindowClass);
}

bool OpenPicker(const Program& program) {
    Sleep(300);  // the selector ignores a click right after the picker closed
    ClickControl(program, ID_SCRIPT_SELECTOR);
    return WaitFor([&] { return Picker(program) != nullptr; }, 5000, "the picker to open");
}

bool ChooseRow(const Program& program, int row) {
    if (!OpenPicker(program)) return false;
    ClickIn(Picker(program), 40, PICKER_MARGIN + row * PICKER_ROW_HEIGHT + PICKER_ROW_HEIGHT / 2);
    return WaitFor([&] { return Picker(program) == nullptr; }, 5000, "the picker to close");
}

// ---- screenshots --------------------------------------------------------------------

// What the screen shows of the main window (and the picker, when it is
// open), saved as SHOTS/<scenario>-<state>.png.
Screenshot Shoot(const Program& program, const std::string& state) {
    Sleep(300);  // let the last repaint reach the screen
    Screenshot shot;
    GetWindowRect(program.main, &shot.area);
    if (HWND picker = Picker(program)) {
        RECT popup;
        GetWindowRect(picker, &popup);
        UnionRect(&shot.area, &shot.area, &popup);
    }
    shot.rgb = ScreenRgb(shot.area);
    fs::create_directories(Run.shots);
    fs::path file = Run.shots / (Run.name + "-" + state + ".png");
    if (Check(WritePng(file.wstring(), shot.area.right - shot.area.left,
                       shot.area.bottom - shot.area.top, shot.rgb),
              "cannot write " + Narrow(file.wstring()))) {
        Note("screenshot " + Narrow(file.wstring()));
    }
    return shot;
}

// The top-left pixel of a control in a screenshot.
COLORREF CornerOf(const Program& program, const Screenshot& shot, int id) {
    RECT rect;
    GetWindowRect(GetDlgItem(program.main, id), &rect);
    return shot.At(rect.left, rect.top);
}

// ---- the close question ---------------------------------------------------------

HWND CloseQuestion(const Program& program) {
    return FindWindowOf(program.process.dwProcessId, L"#32770");
}

std::wstring QuestionText(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        GetClassNameW(child, name, 32);
        std::wstring text = Text(child);
        if (lstrcmpiW(name, L"Static") == 0 && !text.empty()) return text;
    }
    return L"";
}

// Closes the window as the title bar does, and answers the question.
bool AnswerCloseQuestion(const Program& program, int button) {
    PostMessageW(program.main, WM_CLOSE, 0, 0);
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = CloseQuestion(program)) != nullptr; }, 5000,
                 "the close question")) {
        return false;
    }
    Check(QuestionText(box) == L"A download is running. Close anyway?",
          "question text: " + Narrow(QuestionText(box)));
    Check(Text(box) == L"Updater", "question caption: " + Narrow(Text(box)));
    Check(GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDNO) != nullptr,
          "Yes and No buttons");
    HWND answer = GetDlgItem(box, button);
    RECT rect;
    GetClientRect(answer, &rect);
    ClickIn(answer, rect.right / 2, rect.bottom / 2);
    return WaitFor([&] { return !IsWindow(box); }, 5000, "the question to go");
}

// ---- scenarios ----------------------------------------------------------------------

const std::vector<std::string> ErrandCompassFiles = {
    "main.lua", "ui/tracker.lua", "data/zones/index.lua", "data/zones/meadows.txt"};

bool WaitUntilReady(const Program& program) {
    return WaitFor([&] { return Idle(program) && ListRows(program) > 0; }, 20000, "the check");
}

void CloseWithTheButton(Program& program) {
    ClickControl(program, ID_CLOSE);
    ExitsWith(program, 0);
}

void CheckKeyboardNavigation(const Program& program) {
    HWND list = GetDlgItem(program.main, ID_FILE_LIST);
    ClickIn(list, 60, 8);
    Check(FocusOf(program) == list, "a click on the list focuses it");
    const int order[] = {ID_SCRIPT_SELECTOR, ID_DOWNLOAD, ID_CLOSE, ID_FILE_LIST};
    for (int id : order) {
        PressKey(VK_TAB);
        Check(FocusOf(program) == GetDlgItem(program.main, id),
              "Tab moves the focus to control " + std::to_string(id));
    }
}

void CheckPickerClosings(const Program& program) {
    // Arrows and Enter choose the next script.
    if (OpenPicker(program)) {
        Shoot(program, "picker");
        PressKey(VK_DOWN);
        PressKey(VK_RETURN);
        WaitFor([&] { return Picker(program) == nullptr; }, 5000, "Enter to close the picker");
        Check(DetailsBeginWith(program, L"Errand Compass\r\n"), "Enter chose Errand Compass");
        Check(LastSetting() == L"Errand Compass", "last is Errand Compass");
    }
    // Escape closes without a choice.
    if (OpenPicker(program)) {
        PressKey(VK_ESCAPE);
        WaitFor([&] { return Picker(program) == nullptr; }, 5000, "Escape to close the picker");
        Check(DetailsBeginWith(program, L"Errand Compass\r\n"), "Escape kept the choice");
    }
    // A click elsewhere takes the activation away and closes it.
    if (OpenPicker(program)) {
        ClickIn(program.main, 200, 20);
        WaitFor([&] { return Picker(program) == nullptr; }, 5000, "the picker to close when left");
    }
    // A click on the selector while it is open closes it and does not reopen it.
    if (OpenPicker(program)) {
        ClickControl(program, ID_SCRIPT_SELECTOR);
        Sleep(300);
        Check(Picker(program) == nullptr, "the selector toggles the picker shut");
    }
    // A click on a row chooses it.
    if (ChooseRow(program, 3)) {
        Check(DetailsBeginWith(program, L"Bite Chime\r\n"), "a click chose Bite Chime");
        Check(LastSetting() == L"Bite Chime", "last is Bite Chime");
    }
}

// From the demo folder: look around, pick with the mouse and the keyboard,
// install a script, close.
void FolderInstall() {
    PlaceInstalledScripts(Run.work / "scripts");
    WriteSettings(Run.demo.wstring(), L"");
    Program program;
    if (Launch(program) && WaitUntilReady(program)) {
        Check(DetailsBeginWith(program, L"Auto Loot\r\nPicks up loot"),
              "the first script is chosen");
        Check(LastSetting() == L"Auto Loot", "last is the first script");
        Check(ListRows(program) == 5, "Auto Loot lists 5 files");
        Check(ListCell(program, 0, 0) == L"main.lua" && ListCell(program, 0, 1) == L"Update",
              "main.lua is Update: " + Narrow(ListCell(program, 0, 1)));
        Check(ListCell(program, 3, 0) == L"data/rarity.csv" && ListCell(program, 3, 1) == L"New",
              "data/rarity.csv is New");
        Check(ListCell(program, 4, 1) == L"Kept", "settings.ini is Kept");
        Check(ControlText(program, ID_DOWNLOAD) == L"Download" && Enabled(program, ID_DOWNLOAD),
              "Download is offered");
        Shoot(program, "ready");
        CheckKeyboardNavigation(program);
        CheckPickerClosings(program);
        if (ChooseRow(program, 1)) {
            Check(ControlText(program, ID_DOWNLOAD) == L"Install", "Errand Compass offers Install");
            ClickControl(program, ID_DOWNLOAD);
            WaitFor([&] { return Idle(program); }, 30000, "the install");
            InstalledAsPublished(Run.demo, "Errand Compass", ErrandCompassFiles);
            Check(NoTemporaryFilesLeft(), "no .new file is left");
            for (int row = 0; row < 4; ++row) {
                Check(ListCell(program, row, 1) == L"OK", "installed file shows OK");
            }
            Check(
                !Enabled(program, ID_DOWNLOAD) && ControlText(program, ID_DOWNLOAD) == L"Download",
                "nothing left to download");
            Shoot(program, "idle");
        }
        CloseWithTheButton(program);
    }
    Finish(program);
}

// From nginx: bring Auto Loot up to date; the user's settings stay.
void HttpInstall() {
    fs::path ini = ServerIni("UPDATER_TEST_SERVERS");
    if (!Check(!ini.empty() && fs::exists(ini), "no servers.ini from UPDATER_TEST_SERVERS")) return;
    std::string tag = "e2e-" + std::to_string(GetTickCount());
    fs::path www = WinePath(IniValue(ini, "www").c_str()) / tag;
    CopyFolder(Run.demo, www);
    PlaceInstalledScripts(Run.work / "scripts");
    std::string url = "http://127.0.0.1:" + IniValue(ini, "http_port") + "/" + tag;
    WriteSettings(std::wstring(url.begin(), url.end()), L"");
    Program program;
    if (Launch(program) && WaitUntilReady(program)) {
        Check(ControlText(program, ID_DOWNLOAD) == L"Download", "Auto Loot has updates");
        ClickControl(program, ID_DOWNLOAD);
        WaitFor([&] { return Idle(program); }, 30000, "the download");
        InstalledAsPublished(
            www, "Auto Loot",
            {"main.lua", "filters.lua", "lib/util/strings.lua", "data/rarity.csv"});
        Check(ReadBytes(Run.work / "scripts" / "Auto Loot" / "settings.ini") ==
                  "; mine\nmin_rarity=4\n",
              "the kept settings were not touched");
        Check(LastSetting() == L"Auto Loot", "last is Auto Loot");
        Check(!Enabled(program, ID_DOWNLOAD), "Auto Loot is up to date");
        Shoot(program, "done");
        CloseWithTheButton(program);
    }
    Finish(program);
    std::error_code ignored;
    fs::remove_all(www, ignored);
}

bool DemoOnSlowServer(const std::string& delays, const std::wstring& last, fs::path& www) {
    fs::path ini = ServerIni("UPDATER_SLOW_SERVER");
    if (!Check(!ini.empty() && fs::exists(ini), "no slow-server.ini from UPDATER_SLOW_SERVER"))
        return false;
    std::string tag = "e2e-" + std::to_string(GetTickCount());
    www = WinePath(IniValue(ini, "www").c_str()) / tag;
    CopyFolder(Run.demo, www);
    std::string url = "http://127.0.0.1:" + IniValue(ini, "port") + "/" + delays + "/" + tag;
    WriteSettings(std::wstring(url.begin(), url.end()), last);
    return true;
}

// From the slow server: Cancel stops an install, and closing during an
// install asks first; No keeps the window, Yes ends the program at once.
void CancelAndClose() {
    fs::path www;
    if (!DemoOnSlowServer("0/400", L"Errand Compass", www)) return;
    std::error_code ignored;
    fs::remove_all(Run.work / "scripts", ignored);
    Program program;
    if (Launch(program) && WaitUntilReady(program)) {
        Check(DetailsBeginWith(program, L"Errand Compass\r\n"), "last chose Errand Compass");
        ClickControl(program, ID_DOWNLOAD);
        Sleep(1500);
        Check(ControlText(program, ID_CLOSE) == L"Cancel", "Close reads Cancel while downloading");
        Check(!Enabled(program, ID_DOWNLOAD) && !Enabled(program, ID_SCRIPT_SELECTOR),
              "Download and the selector wait");
        Shoot(program, "downloading");
        ClickControl(program, ID_CLOSE);
        // The cancel acts at once, so the caption may already read "Close"
        // again; what matters is that the window stays.
        Check(IsWindow(program.main), "Cancel only asks the worker to stop");
        WaitFor([&] { return Idle(program); }, 20000, "the cancel");
        Check(!fs::exists(Run.work / "scripts" / "Errand Compass" / "main.lua"),
              "nothing was installed after Cancel");
        Check(NoTemporaryFilesLeft(), "no .new file is left");
        Check(Enabled(program, ID_DOWNLOAD) && ControlText(program, ID_DOWNLOAD) == L"Install",
              "Install is offered again");
        Shoot(program, "cancelled");

        ClickControl(program, ID_DOWNLOAD);
        Sleep(800);
        if (AnswerCloseQuestion(program, IDNO)) {
            Check(IsWindow(program.main), "No keeps the window");
            Check(WaitForSingleObject(program.process.hProcess, 0) == WAIT_TIMEOUT,
                  "No keeps the program");
        }
        if (AnswerCloseQuestion(program, IDYES)) {
            ExitsWith(program, 0);
        }
    }
    Finish(program);
    fs::remove_all(www, ignored);
}

// A file missing on the server: the install stops there with its notice.
void FailedInstall() {
    fs::path server = Run.work / "server";
    CopyFolder(Run.demo, server);
    fs::remove(server / "Combat Log" / "lib" / "format.lua");
    std::error_code ignored;
    fs::remove_all(Run.work / "scripts", ignored);
    WriteSettings(server.wstring(), L"Combat Log");
    Program program;
    if (Launch(program) && WaitUntilReady(program)) {
        ClickControl(program, ID_DOWNLOAD);
        WaitFor([&] { return Idle(program); }, 30000, "the failed install");
        Check(DetailsBeginWith(program,
                               L"Could not download lib/format.lua.\r\nCheck your internet and "
                               L"press Download again.\r\n\r\nCombat Log\r\n"),
              "the failure notice: " + Narrow(ControlText(program, ID_DETAILS)));
        InstalledAsPublished(server, "Combat Log", {"main.lua"});
        Check(ListCell(program, 1, 1) == L"New", "the missing file stays New");
        Check(Enabled(program, ID_DOWNLOAD), "Download is offered again");
        Shoot(program, "failed");
        CloseWithTheButton(program);
    }
    Finish(program);
}

// No server to reach, and no server address at all.
void Unreachable() {
    fs::path nowhere = Run.work / "no-such-server";
    WriteSettings(nowhere.wstring(), L"");
    Program program;
    if (Launch(program) && WaitFor([&] { return Idle(program); }, 20000, "the check")) {
        Check(DetailsBeginWith(program,
                               L"Could not reach the server.\r\n" + nowhere.wstring() +
                                   L"\r\n\r\nCheck your internet and open the updater again."),
              "the unreachable notice");
        Check(!Enabled(program, ID_DOWNLOAD), "Download is disabled");
        Check(ListRows(program) == 0, "the list is empty");
        Shoot(program, "unreachable");
        CloseWithTheButton(program);
    }
    Finish(program);

    WriteSettings(L"", L"");
    Program bare;
    if (Launch(bare) && WaitFor([&] { return Idle(bare); }, 20000, "the window")) {
        Check(ControlText(bare, ID_DETAILS) == L"No server address in this Updater.exe yet.",
              "the no-server notice");
        Check(Enabled(bare, ID_DOWNLOAD), "Download stays as it was made");
        Shoot(bare, "no-server");
        CloseWithTheButton(bare);
    }
    Finish(bare);
}

// A catalog that takes a few seconds: the window while it checks.
void Checking() {
    fs::path www;
    if (!DemoOnSlowServer("400/0", L"", www)) return;
    PlaceInstalledScripts(Run.work / "scripts");
    Program program;
    if (Launch(program)) {
        Sleep(1000);
        Check(ControlText(program, ID_DETAILS) == L"Checking for updates...", "checking text");
        Check(ControlText(program, ID_CLOSE) == L"Cancel", "Close reads Cancel while checking");
        Check(!Enabled(program, ID_SCRIPT_SELECTOR) && !Enabled(program, ID_DOWNLOAD),
              "the selector and Download wait");
        Shoot(program, "checking");
        if (WaitUntilReady(program)) {
            Check(DetailsBeginWith(program, L"Auto Loot\r\n"), "the catalog arrived");
            CloseWithTheButton(program);
        }
    }
    Finish(program);
    std::error_code ignored;
    fs::remove_all(www, ignored);
}

// Run with gdiplus.dll disabled (WINEDLLOVERRIDES, set by the build for this
// scenario): square shapes, and everything still works.
void PlainDrawing() {
    PlaceInstalledScripts(Run.work / "scripts");
    WriteSettings(Run.demo.wstring(), L"Errand Compass");
    Program program;
    if (Launch(program) && WaitUntilReady(program)) {
        Screenshot shot = Shoot(program, "ready");
        // Square corners: the buttons' frames reach their corner pixels.
        Check(CornerOf(program, shot, ID_CLOSE) == RGB(78, 82, 90), "the Close button is square");
        Check(CornerOf(program, shot, ID_SCRIPT_SELECTOR) == RGB(60, 63, 68),
              "the selector is square");
        ClickControl(program, ID_DOWNLOAD);
        WaitFor([&] { return Idle(program); }, 30000, "the install");
        InstalledAsPublished(Run.demo, "Errand Compass", ErrandCompassFiles);
        Shoot(program, "idle");
        CloseWithTheButton(program);
    }
    Finish(program);
}

// ---- what a screen reader reads -------------------------------------------------------

AccessibleItem ReadClient(HWND window) {
    AccessibleItem item;
    Check(ReadAccessible(window, OBJID_CLIENT, &item), "no accessible object");
    return item;
}

bool CheckItem(const AccessibleItem& item, long role, const std::wstring& name,
               const std::wstring& value, long statesOn, long statesOff, const std::string& what) {
    return Check(item.role == role && item.name == name && item.value == value &&
                     (item.state & statesOn) == statesOn && (item.state & statesOff) == 0,
                 what + ": " + DescribeAccessible(item));
}

void CheckSelector(HWND selector, const std::wstring& value, bool open) {
    long expanded = STATE_SYSTEM_EXPANDED, collapsed = STATE_SYSTEM_COLLAPSED;
    CheckItem(ReadClient(selector), ROLE_SYSTEM_COMBOBOX, L"Script", value,
              STATE_SYSTEM_HASPOPUP | (open ? expanded : collapsed), open ? collapsed : expanded,
              "the selector");
}

// Every control as a reader finds it, printed for the record.
void NoteAccessibleTree(const Program& program, const std::string& when) {
    std::string tree;
    for (int id = ID_FIRST_CONTROL; id <= ID_LAST_CONTROL; ++id) {
        tree += DescribeAccessible(ReadClient(GetDlgItem(program.main, id)), 1);
    }
    if (HWND picker = Picker(program)) tree += DescribeAccessible(ReadClient(picker), 1);
    Note("accessible tree " + when + ":\n" + tree);
}

// The row for every script, the highlighted one focused and selected, and
// the events that said so.
void CheckPickerRows(HWND picker, int highlighted) {
    Check(WaitToHear(EVENT_OBJECT_FOCUS, picker, highlighted + 1, 5000) &&
              WaitToHear(EVENT_OBJECT_SELECTION, picker, highlighted + 1, 5000),
          "focus and selection events for row " + std::to_string(highlighted));
    const wchar_t* const rows[] = {L"Auto Loot, Update", L"Errand Compass, Not installed",
                                   L"Map Markers, OK", L"Bite Chime, Update",
                                   L"Combat Log, Not installed"};
    AccessibleItem list = ReadClient(picker);
    CheckItem(list, ROLE_SYSTEM_LIST, L"Script", L"", STATE_SYSTEM_FOCUSED, 0, "the picker");
    Check(list.focus == highlighted + 1, "the picker's focus is the highlight");
    if (!Check(list.children.size() == 5, "the picker has a row per script")) return;
    long marks = STATE_SYSTEM_FOCUSED | STATE_SYSTEM_SELECTED;
    for (int row = 0; row < 5; ++row) {
        CheckItem(list.children[row], ROLE_SYSTEM_LISTITEM, rows[row], L"",
                  row == highlighted ? marks : 0, row == highlighted ? 0 : marks, "a row");
    }
}

// The owner-drawn parts through the program's own accessible objects, read
// from this process as a screen reader reads them: the selector, the
// picker's rows and the events while its highlight moves, the selector's
// value after a choice and the bars after an install. The standard
// controls keep the system's objects.
void ScreenReader() {
    PlaceInstalledScripts(Run.work / "scripts");
    WriteSettings(Run.demo.wstring(), L"");
    Program program;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (Launch(program) && WaitUntilReady(program)) {
        Check(StartHearing(program.process.dwProcessId), "the event listener is set");
        HWND selector = GetDlgItem(program.main, ID_SCRIPT_SELECTOR);
        NoteAccessibleTree(program, "when ready");
        CheckSelector(selector, L"Auto Loot, Update", false);
        for (int id : {ID_FILE_PROGRESS, ID_TOTAL_PROGRESS}) {
            CheckItem(ReadClient(GetDlgItem(program.main, id)), ROLE_SYSTEM_PROGRESSBAR, L"", L"0%",
                      0, 0, "an idle bar");
        }
        Check(ReadClient(GetDlgItem(program.main, ID_DOWNLOAD)).name == L"Download",
              "Download keeps the system's object");

        ClickIn(program.main, 200, 20);  // the window in front, for the keys
        Check(DoDefaultAction(selector) == S_OK, "the selector's default action");
        HWND picker = nullptr;
        if (WaitFor([&] { return (picker = Picker(program)) != nullptr; }, 5000,
                    "the default action to open the picker")) {
            Check(WaitToHear(EVENT_OBJECT_STATECHANGE, selector, CHILDID_SELF, 5000),
                  "opening tells of the expanded selector");
            CheckSelector(selector, L"Auto Loot, Update", true);
            CheckPickerRows(picker, 0);
            NoteAccessibleTree(program, "with the picker open");
            ForgetHeard();
            PressKey(VK_DOWN);
            CheckPickerRows(picker, 1);
            PressKey(VK_RETURN);
            WaitFor([&] { return Picker(program) == nullptr; }, 5000, "Enter to close the picker");
            Check(WaitToHear(EVENT_OBJECT_VALUECHANGE, selector, CHILDID_SELF, 5000),
                  "the choice tells of the selector's new value");
            CheckSelector(selector, L"Errand Compass, Not installed", false);
        }
        ForgetHeard();
        ClickControl(program, ID_DOWNLOAD);
        if (WaitFor([&] { return Idle(program); }, 30000, "the install")) {
            CheckItem(ReadClient(GetDlgItem(program.main, ID_TOTAL_PROGRESS)),
                      ROLE_SYSTEM_PROGRESSBAR, L"Done - Errand Compass is up to date.", L"100%", 0,
                      0, "the whole download's bar");
            Check(WaitToHear(EVENT_OBJECT_VALUECHANGE, selector, CHILDID_SELF, 5000),
                  "the install tells of the selector's new value");
            CheckSelector(selector, L"Errand Compass, OK", false);
            NoteAccessibleTree(program, "after the install");
        }
        CloseWithTheButton(program);
    }
    Finish(program);
}

// Libraries planted beside Updater.exe under the names of wininet.dll and
// bcrypt.dll (a stand-in that has none of their entry points), with Wine set
// to take a library from the program's folder first, as Windows does for
// anything not a KnownDLL (WINEDLLOVERRIDES, set by the build for this
// scenario). A signed catalog from nginx still checks, verifies and installs:
// the program took neither, neither at start nor when it bound them.
void PlantedLibraries() {
    fs::path ini = ServerIni("UPDATER_TEST_SERVERS");
    const char* standIn = getenv("UPDATER_PLANTED_LIBRARY");
    if (!Check(!ini.empty() && fs::exists(ini) && standIn != nullptr,
               "no servers.ini or UPDATER_PLANTED_LIBRARY")) {
        return;
    }
    std::string tag = "e2e-planted-" + std::to_string(GetTickCount());
    fs::path www = WinePath(IniValue(ini, "www").c_str()) / tag;
    fs::create_directories(www / "Planted");
    WriteBytes(www / "Planted" / "a.txt", "a");
    TestSigner signer;
    std::string catalog = "[Planted]\nversion = 1\nfile = a.txt|0CC175B9C0F1B6A831C399E269772661|" +
                          Sha256Hex("a") + "\n";
    WriteBytes(www / "scripts.txt", catalog);
    WriteBytes(www / "scripts.txt.sig", signer.SignatureFile(catalog));
    for (const char* name : {"wininet.dll", "bcrypt.dll"})
        CopyOneFile(WinePath(standIn), Run.work / name);
    std::string url = "http://127.0.0.1:" + IniValue(ini, "http_port") + "/" + tag;
    WriteSettings(std::wstring(url.begin(), url.end()), L"");
    WriteBytes(Run.work / "updater.ini",
               ReadBytes(Run.work / "updater.ini") + "key=" + signer.KeyText() + "\r\n");
    Program program;
    if (Launch(program) && WaitUntilReady(program)) {
        ClickControl(program, ID_DOWNLOAD);
        WaitFor([&] { return Idle(program); }, 30000, "the install");
        Check(ReadBytes(Run.work / "scripts" / "Planted" / "a.txt") == "a",
              "the signed script was installed");
        Shoot(program, "installed");
        CloseWithTheButton(program);
    }
    Finish(program);
    std::error_code ignored;
    fs::remove_all(www, ignored);
}

}  // namespace e2e

using namespace e2e;

// The demo's modes: one Updater window, whichever process shows it.
int DemoMode(const std::string& mode, int seconds) {
    Run.name = "demo";
    Program program;
    WaitFor(
        [&] {
            program.main = FindWindowW(MainWindowClass, nullptr);
            return program.main != nullptr;
        },
        seconds * 1000, "the Updater window");
    if (program.main == nullptr) return 1;
    if (mode == "--close") {
        PostMessageW(program.main, WM_CLOSE, 0, 0);
        return WaitFor([&] { return !IsWindow(program.main); }, seconds * 1000, "it to close") ? 0
                                                                                               : 1;
    }
    return WaitFor([&] { return Idle(program); }, seconds * 1000, "the check") ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--wait-until-checked") {
        return DemoMode(argv[1], atoi(argv[2]));
    }
    if (argc == 2 && std::string(argv[1]) == "--close") return DemoMode(argv[1], 10);
    if (argc != 6) {
        fprintf(stderr,
                "usage: e2e_driver SCENARIO UPDATER_EXE DEMO_FOLDER WORK_FOLDER SHOTS_FOLDER\n");
        return 2;
    }
    Run.name = argv[1];
    Run.exe = WinePath(argv[2]);
    Run.demo = WinePath(argv[3]);
    Run.work = WinePath(argv[4]);
    Run.shots = WinePath(argv[5]);
    std::error_code ignored;
    fs::remove_all(Run.work, ignored);
    fs::create_directories(Run.work);

    struct Entry {
        const char* name;
        void (*run)();
    };
    const Entry scenarios[] = {
        {"folder-install", FolderInstall},    {"http-install", HttpInstall},
        {"cancel-and-close", CancelAndClose}, {"failed-install", FailedInstall},
        {"unreachable", Unreachable},         {"checking", Checking},
        {"plain-drawing", PlainDrawing},      {"screen-reader", ScreenReader},
        {"display-scaling", DisplayScaling},  {"keyboard", KeyboardScenario},
        {"keyboard-cancel", KeyboardCancelScenario}, {"planted-libraries", PlantedLibraries},
    };
    for (const Entry& entry : scenarios) {
        if (Run.name == entry.name) {
            try {
                entry.run();
            } catch (const std::exception& error) {
                Check(false, std::string("stopped: ") + error.what());
            }
            printf("[%s] %s\n", Run.name.c_str(), Run.failures == 0 ? "passed" : "FAILED");
            return Run.failures == 0 ? 0 : 1;
        }
    }
    fprintf(stderr, "unknown scenario %s\n", argv[1]);
    return 2;
}
