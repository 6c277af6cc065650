// Start-up resources: the fonts' weights and heights, the icon, the
// brushes, and the GDI+ binding slot by slot with its refusals.
#include "app/resources_win32.h"

#include <gtest/gtest.h>

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
    void TearDown() override { BindGdiplus(L"gdiplus.dll"); }
};

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
    ASSERT_TRUE(BindGdiplus(L"gdiplus.dll"));
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
    EXPECT_FALSE(BindGdiplus(L"no-such-gdiplus.dll"));
    EXPECT_FALSE(GdiplusReady);
    for (FARPROC entry : GdiplusEntries) EXPECT_EQ(entry, nullptr);
}

TEST_F(GdiplusBindingTest, BindingStopsAtTheFirstMissingName) {
    EXPECT_FALSE(BindGdiplus(L"gdiplus_first_three.dll"));
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
    EXPECT_FALSE(BindGdiplus(L"gdiplus_refusing_start.dll"));
    EXPECT_FALSE(GdiplusReady);
    for (FARPROC entry : GdiplusEntries) EXPECT_NE(entry, nullptr);
}
