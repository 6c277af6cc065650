// What the in-process window tests share: the start-up the entry would do,
// a fixture that gives each test fresh state, settings in a temporary
// folder and, on demand, the real main window; a message pump with a
// timeout; readers for the controls; and drawing into memory bitmaps for
// pixel checks.
#ifndef UPDATER_TESTS_UI_SUPPORT_TEST_WINDOW_H
#define UPDATER_TESTS_UI_SUPPORT_TEST_WINDOW_H

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

// Resources and classes as the entry makes them, for tests without the
// fixture; only the first start-up of the program makes them.
void StartUiOnce();

// Dispatches this thread's messages, as the program's loop does (offering
// them to IsDialogMessageW first), until condition holds or timeoutMs pass.
// Returns whether the condition held.
bool PumpUntil(const std::function<bool()>& condition, int timeoutMs);

// Dispatches messages for about that long.
void PumpFor(int milliseconds);

// Whether a quit message reached the pump since the last call (the pump
// takes it out of the queue, since the tests' thread goes on).
bool TakeQuitMessage();

// The text of a window, and a list view's cell.
std::u16string WindowText(HWND window);
std::u16string ControlText(int id);
int ListRowCount();
std::u16string ListCell(int row, int column);

// A catalog file entry for BuildCatalog: its relative path, its content, and
// whether it is a `keep` line.
struct CatalogFile {
    std::string path;
    std::string content;
    bool keep;
};

struct CatalogScript {
    std::string name;
    std::string version;
    std::string desc;
    std::vector<std::string> notes;
    std::vector<CatalogFile> files;
};

// scripts.txt for these scripts, with the real MD5 of every file.
std::string BuildCatalog(const std::vector<CatalogScript>& scripts);

// Writes scripts.txt and every script's files into a server folder.
void WriteServerFolder(const fs::path& folder, const std::vector<CatalogScript>& scripts);

// Places a script's file in the scripts folder, as if it were installed.
void PlaceFile(const fs::path& scriptsFolder, const CatalogScript& script, const CatalogFile& file,
               const std::string& content);

// A 32-bit top-down bitmap that a test draws into and reads back.
class PixelCanvas {
public:
    PixelCanvas(int width, int height);
    ~PixelCanvas();
    PixelCanvas(const PixelCanvas&) = delete;
    PixelCanvas& operator=(const PixelCanvas&) = delete;

    HDC Dc() const { return dc_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    COLORREF At(int x, int y) const;
    // Pixels in the rectangle whose colour is within tolerance of colour.
    int CountNear(const RECT& area, COLORREF colour, int tolerance) const;
    // Fills the bitmap with what window shows on the screen now.
    void CaptureWindow(HWND window);

private:
    int width_;
    int height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ oldBitmap_;
    UINT32* bits_;
};

// The largest difference of the three channels.
int ColourDistance(COLORREF a, COLORREF b);

// Paints owner-drawn control id into canvas as WM_DRAWITEM would, with the
// given item state bits (ODS_SELECTED, ODS_DISABLED, ODS_FOCUS).
void DrawControlInto(PixelCanvas& canvas, int id, UINT itemState);

// Fresh shared state and tables, settings in a temporary folder (as if the
// executable lay there), and the main window on demand. The window and any
// worker are gone again after every test.
class WindowTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes updater.ini beside the pretend executable and resolves it.
    void WriteSettings(const std::string& iniText);
    // updater.ini pointing `url` at server and `folder` at ScriptsDir().
    void UseServer(const std::u16string& server);

    // Starts up and creates the main window as the entry does, and shows it.
    HWND OpenMainWindow();
    // Pumps until no worker runs. Returns false on timeout.
    bool WaitUntilIdle(int timeoutMs = 20000);
    // Opens the window against server and waits for the check.
    HWND OpenAfterCheck(const std::u16string& server);

    HWND Control(int id) const;
    // Sends the command of a button, as its click would.
    void Press(int id);

    const fs::path& Root() const { return root_.Path(); }
    fs::path ServerDir() const { return root_.Path() / "server"; }
    fs::path ScriptsDir() const { return root_.Path() / "scripts"; }
    std::u16string ServerDirPath() const { return root_.ProgramPath("server"); }
    // The pretend Updater.exe, whose folder holds updater.ini.
    std::u16string ExecutablePath() const { return root_.ProgramPath("Updater.exe"); }
    // The `last` setting as the program reads it.
    std::u16string LastSetting() const;

private:
    TempFolder root_;
};

#endif  // UPDATER_TESTS_UI_SUPPORT_TEST_WINDOW_H
