// Start-up resources: the fonts' weights and heights, the icon, the
// brushes, and the GDI+ binding slot by slot with its refusals.
#include "app/resources_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "app/palette_win32.h"
#include "tests/ui_support/test_window.h"

namespace {

LOGFONTW FontOf(HFONT font) {
    LOGFONTW description = {};
    GetObjectW(font, sizeof description, &description);
    return description;
}

COLORREF BrushColour(HBRUSH brush) {
    LOGBRUSH description = {};
    GetObjectW(brush, sizeof description, &description);
    return description.lbColor;
}

// Every test leaves GDI+ bound as the program binds it.
class GdiplusBindingTest : public testing::Test {
protected:
    void SetUp() override { StartUiOnce(); }
    void TearDown() override { BindGdiplus(LoadSystemLibrary(L"gdiplus.dll")); }
};

// The full name of a file in this test program's folder, where the build
// puts the test libraries.
std::wstring BesideThisProgram(const std::wstring& name) {
    wchar_t program[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring path(program, length);
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

HMODULE LoadBesideThisProgram(const std::wstring& name) {
    return LoadLibraryW(BesideThisProgram(name).c_str());
}

}  // namespace

TEST(StartupResourcesTest, TitleHeightIsThirteenTenthsTruncatedTowardZero) {
    EXPECT_EQ(TitleFontHeight(-12), -15);
    EXPECT_EQ(TitleFontHeight(-15), -19);
    EXPECT_EQ(TitleFontHeight(-11), -14);
    EXPECT_EQ(TitleFontHeight(15), 19);
    EXPECT_EQ(TitleFontHeight(0), 0);
}

TEST(StartupResourcesTest, FontsComeFromTheMessageFont) {
    StartUiOnce();
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = 500;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, 500, &metrics, 0));
    LOGFONTW normal = FontOf(NormalFont);
    LOGFONTW semibold = FontOf(SemiboldFont);
    LOGFONTW title = FontOf(TitleFont);
    EXPECT_EQ(normal.lfHeight, metrics.lfMessageFont.lfHeight);
    EXPECT_EQ(normal.lfWeight, metrics.lfMessageFont.lfWeight);
    EXPECT_STREQ(normal.lfFaceName, metrics.lfMessageFont.lfFaceName);
    EXPECT_EQ(semibold.lfWeight, 600);
    EXPECT_EQ(semibold.lfHeight, normal.lfHeight);
    EXPECT_STREQ(semibold.lfFaceName, normal.lfFaceName);
    EXPECT_EQ(title.lfWeight, 700);
    EXPECT_EQ(title.lfHeight, TitleFontHeight(normal.lfHeight));
    EXPECT_EQ(title.lfCharSet, normal.lfCharSet);
    EXPECT_STREQ(title.lfFaceName, normal.lfFaceName);
}

TEST(StartupResourcesTest, IconIsResourceOneAtThirtyTwoPixelsAndBrushesHaveTheirColours) {
    StartUiOnce();
    ASSERT_NE(AppIcon, nullptr);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(AppIcon, &info));
    BITMAP colour = {};
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, 32);
    EXPECT_EQ(colour.bmHeight, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);

    // The group holds every size the taskbar, the title bar and Explorer ask for.
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        HICON icon = static_cast<HICON>(
            LoadImageW(AppInstance, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
        EXPECT_NE(icon, nullptr) << size;
        if (icon != nullptr) DestroyIcon(icon);
    }

    EXPECT_EQ(BrushColour(WindowBrush), Colour(COLOUR_WINDOW));
    EXPECT_EQ(BrushColour(PanelBrush), Colour(COLOUR_PANEL));
}

TEST_F(GdiplusBindingTest, BindsAllSixteenNamesInOrderAndStarts) {
    ASSERT_TRUE(BindGdiplus(LoadSystemLibrary(L"gdiplus.dll")));
    EXPECT_TRUE(GdiplusReady);
    HMODULE library = GetModuleHandleW(L"gdiplus.dll");
    ASSERT_NE(library, nullptr);
    for (int slot = 0; slot < GDIPLUS_ENTRY_COUNT; ++slot) {
        EXPECT_EQ(GdiplusEntries[slot], GetProcAddress(library, GdiplusEntryNames[slot]))
            << GdiplusEntryNames[slot];
    }
    EXPECT_STREQ(GdiplusEntryNames[0], "GdiplusStartup");
    EXPECT_STREQ(GdiplusEntryNames[8], "GdipFillPath");
    EXPECT_STREQ(GdiplusEntryNames[15], "GdipDeleteGraphics");
}

TEST_F(GdiplusBindingTest, AMissingLibraryLeavesEverySlotEmpty) {
    EXPECT_FALSE(BindGdiplus(LoadSystemLibrary(L"no-such-gdiplus.dll")));
    EXPECT_FALSE(GdiplusReady);
    for (FARPROC entry : GdiplusEntries) EXPECT_EQ(entry, nullptr);
}

TEST_F(GdiplusBindingTest, BindingStopsAtTheFirstMissingName) {
    EXPECT_FALSE(BindGdiplus(LoadBesideThisProgram(L"gdiplus_first_three.dll")));
    EXPECT_FALSE(GdiplusReady);
    HMODULE library = GetModuleHandleW(L"gdiplus_first_three.dll");
    ASSERT_NE(library, nullptr);
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_EQ(GdiplusEntries[slot], GetProcAddress(library, GdiplusEntryNames[slot]));
        EXPECT_NE(GdiplusEntries[slot], nullptr);
    }
    for (int slot = 3; slot < GDIPLUS_ENTRY_COUNT; ++slot) {
        EXPECT_EQ(GdiplusEntries[slot], nullptr) << GdiplusEntryNames[slot];
    }
}

TEST_F(GdiplusBindingTest, AStartupThatIsNotOkLeavesItUnready) {
    EXPECT_FALSE(BindGdiplus(LoadBesideThisProgram(L"gdiplus_refusing_start.dll")));
    EXPECT_FALSE(GdiplusReady);
    for (FARPROC entry : GdiplusEntries) EXPECT_NE(entry, nullptr);
}

TEST(SystemLibraryTest, OptionalLibrariesComeFromTheSystemFolderAndNeverFromBesideTheProgram) {
    StartUiOnce();
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    ASSERT_GT(length, 0u);
    for (const wchar_t* name :
         {L"gdiplus.dll", L"uxtheme.dll", L"dwmapi.dll", L"wininet.dll", L"bcrypt.dll"}) {
        HMODULE library = LoadSystemLibrary(name);
        ASSERT_NE(library, nullptr) << name;
        wchar_t loaded[MAX_PATH];
        GetModuleFileNameW(library, loaded, MAX_PATH);
        std::wstring expected = std::wstring(folder, length) + L"\\" + name;
        EXPECT_EQ(_wcsicmp(loaded, expected.c_str()), 0) << name;
    }

    // A library planted beside the program under a name no test has loaded
    // yet: the program's loader never reaches it, and once the search is
    // kept to the system folder (as the entry does, where the system can)
    // neither does a load by bare name.
    std::wstring name = L"planted_" + std::to_wstring(GetCurrentProcessId()) + L".dll";
    std::wstring planted = BesideThisProgram(name);
    ASSERT_TRUE(
        CopyFileW(BesideThisProgram(L"gdiplus_first_three.dll").c_str(), planted.c_str(), FALSE));
    EXPECT_EQ(LoadSystemLibrary(name.c_str()), nullptr);
    bool searchKept =
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories") != nullptr;
    HMODULE byBareName = LoadLibraryW(name.c_str());
    if (searchKept) {
        EXPECT_EQ(byBareName, nullptr);
    }
    if (byBareName != nullptr) FreeLibrary(byBareName);
    DeleteFileW(planted.c_str());
}
