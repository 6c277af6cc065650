// What the scenarios of the end-to-end driver share: the run's folders and
// reports, waits, the scripts folder and settings, the program's window,
// and screenshots. driver_win32.cpp holds them and most scenarios; a
// scenario of its own concern may live in a file of its own.
#ifndef UPDATER_TESTS_E2E_DRIVER_WIN32_H
#define UPDATER_TESTS_E2E_DRIVER_WIN32_H

// clang-format off
#include <windows.h>  // before every other system header
// clang-format on
#include <stdint.h>

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

struct Scenario {
    std::string name;
    fs::path exe;    // the built Updater.exe
    fs::path demo;   // the demo server folder of the repository
    fs::path work;   // this run's folder: a copy of the program, its ini, the scripts
    fs::path shots;  // where screenshots go
    int failures = 0;
};

extern Scenario Run;

// Counts a failure (and prints what) unless condition holds; returns it.
bool Check(bool condition, const std::string& what);
void Note(const std::string& what);
std::string Narrow(const std::wstring& text);

// Polls condition every 50 ms until it holds or timeoutMs pass.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs, const std::string& what);

// The scripts folder as a user might have it (see the definition).
void PlaceInstalledScripts(const fs::path& scripts);
void WriteSettings(const std::wstring& url, const std::wstring& last);
fs::path WinePath(const char* unixPath);
std::string ReadBytes(const fs::path& path);
void CopyFolder(const fs::path& from, const fs::path& to);
std::string IniValue(const fs::path& file, const std::string& key);
fs::path ServerIni(const char* variable);
// The demo folder served as www by the slow server, after delays ("0/400":
// slow files, "400/0": a slow catalog), and the settings that name it.
bool DemoOnSlowServer(const std::string& delays, const std::wstring& last, fs::path& www);
std::wstring LastSetting();
bool InstalledAsPublished(const fs::path& server, const std::string& script,
                          const std::vector<std::string>& files);
bool NoTemporaryFilesLeft();

struct Program {
    PROCESS_INFORMATION process = {};
    HWND main = nullptr;
};

// Starts a copy of Updater.exe in the work folder and waits for its window.
bool Launch(Program& program);
// Ends the program if a failed check left it running, and closes its handles.
void Finish(Program& program);
// Waits until the check is done and the list shows the chosen script.
bool WaitUntilReady(const Program& program);
void CloseWithTheButton(Program& program);
bool ExitsWith(Program& program, DWORD expected);
std::wstring ControlText(const Program& program, int id);
bool Enabled(const Program& program, int id);
bool Idle(const Program& program);
bool DetailsBeginWith(const Program& program, const std::wstring& start);
HWND FocusOf(const Program& program);
HWND Picker(const Program& program);
HWND CloseQuestion(const Program& program);
// Clicks the selector and waits for the picker.
bool OpenPicker(const Program& program);
void ClickIn(HWND window, int x, int y);
// Clicks the middle of the control.
void ClickControl(const Program& program, int id);
void PressKey(WORD key);
// Presses the keys in order and lets them go in reverse: a key with its
// modifiers, such as Alt+Down.
void PressKeys(std::initializer_list<WORD> keys);

struct Screenshot {
    RECT area = {};
    std::vector<uint8_t> rgb;
    COLORREF At(int x, int y) const {  // in screen coordinates
        size_t at =
            (static_cast<size_t>(y - area.top) * (area.right - area.left) + (x - area.left)) * 3;
        return RGB(rgb[at], rgb[at + 1], rgb[at + 2]);
    }
};

// What the screen shows of the main window (and the picker, when it is
// open), saved as SHOTS/<scenario>-<state>.png.
Screenshot Shoot(const Program& program, const std::string& state);

// Scenarios in files of their own: display scaling
// (scaling_scenario_win32.cpp) and the keyboard (keyboard_win32.cpp).
void DisplayScaling();
void KeyboardScenario();
void KeyboardCancelScenario();

}  // namespace e2e

#endif  // UPDATER_TESTS_E2E_DRIVER_WIN32_H
