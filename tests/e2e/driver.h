// What the end-to-end driver's scenarios share: the run, the program under
// test, its windows, real input, screenshots, and the settings and files
// of the run's folder. Scenarios in files of their own include this and
// are listed in the driver's table.
#ifndef UPDATER_TESTS_E2E_DRIVER_H
#define UPDATER_TESTS_E2E_DRIVER_H

#include <stdint.h>
#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace e2e {

struct Scenario {
    std::string name;
    fs::path exe;    // the built Updater.exe
    fs::path demo;   // the demo server folder of the repository
    fs::path work;   // this run's folder: a copy of the program, its ini, the scripts
    fs::path shots;  // where screenshots go
    int failures = 0;
};

extern Scenario Run;

struct Program {
    PROCESS_INFORMATION process = {};
    HWND main = nullptr;
};

struct Screenshot {
    RECT area = {};
    std::vector<uint8_t> rgb;
    COLORREF At(int x, int y) const {  // in screen coordinates
        size_t at =
            (static_cast<size_t>(y - area.top) * (area.right - area.left) + (x - area.left)) * 3;
        return RGB(rgb[at], rgb[at + 1], rgb[at + 2]);
    }
};

// Reporting and waiting.
bool Check(bool condition, const std::string& what);
void Note(const std::string& what);
std::string Narrow(const std::wstring& text);
bool WaitFor(const std::function<bool()>& condition, int timeoutMs, const std::string& what);

// Files, settings and servers.
fs::path WinePath(const char* unixPath);
std::string ReadBytes(const fs::path& path);
void CopyFolder(const fs::path& from, const fs::path& to);
std::string IniValue(const fs::path& file, const std::string& key);
fs::path ServerIni(const char* variable);
void PlaceInstalledScripts(const fs::path& scripts);
void WriteSettings(const std::wstring& url, const std::wstring& last);
std::wstring LastSetting();
bool InstalledAsPublished(const fs::path& server, const std::string& script,
                          const std::vector<std::string>& files);
bool NoTemporaryFilesLeft();

// The program and its windows.
bool Launch(Program& program);
void Finish(Program& program);
bool ExitsWith(Program& program, DWORD expected);
std::wstring ControlText(const Program& program, int id);
bool Enabled(const Program& program, int id);
bool Idle(const Program& program);
bool DetailsBeginWith(const Program& program, const std::wstring& start);
bool WaitUntilReady(const Program& program);
HWND FocusOf(const Program& program);
HWND Picker(const Program& program);
HWND CloseQuestion(const Program& program);

// Real input and screenshots.
void ClickIn(HWND window, int x, int y);
void PressKey(WORD key);
Screenshot Shoot(const Program& program, const std::string& state);

// The keyboard scenarios (keyboard_win32.cpp).
void KeyboardScenario();
void KeyboardCancelScenario();

}  // namespace e2e

#endif  // UPDATER_TESTS_E2E_DRIVER_H
