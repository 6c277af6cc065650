// Drawing: the owner-drawn bars, selector and buttons painted into memory
// bitmaps and read back pixel by pixel, with GDI+ and with the square
// fallback; the button colour table; corner diameters; hover tracking.
#include "ui/draw.h"

#include <stdlib.h>

#include "app/resources_win32.h"
#include "app/shared_state.h"
#include "catalog/catalog.h"
#include "catalog/local_state.h"
#include "tests/ui_support/test_window.h"
#include "ui/texts.h"

namespace {

const COLORREF Track = RGB(44, 47, 52);
const COLORREF White = RGB(255, 255, 255);

// Draws as if gdiplus.dll were missing, for as long as it lives.
class PlainDrawing {
public:
    PlainDrawing() : saved_(GdiplusReady) { GdiplusReady = false; }
    ~PlainDrawing() { GdiplusReady = saved_; }

private:
    bool saved_;
};

// A main window without a server: the controls exist, no worker runs.
class DrawTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        UseServer(u"");
        ASSERT_NE(OpenMainWindow(), nullptr);
        ASSERT_TRUE(GdiplusReady) << "gdiplus.dll should be available under Wine";
    }

    // The mean of the two colours, where a vertical gradient is half way.
    static COLORREF Between(COLORREF a, COLORREF b) {
        return RGB((GetRValue(a) + GetRValue(b)) / 2, (GetGValue(a) + GetGValue(b)) / 2,
                   (GetBValue(a) + GetBValue(b)) / 2);
    }

    void ExpectNear(COLORREF actual, COLORREF expected, int tolerance) {
        EXPECT_LE(ColourDistance(actual, expected), tolerance)
            << std::hex << "got " << actual << " expected " << expected;
    }

    // The top border at column x. The outline runs through the centres of
    // the edge pixels; rasterisers differ by a pixel in where that lands
    // (Wine's GDI+ puts it on the second row), so either of the first two
    // rows may carry it.
    void ExpectTopBorder(const PixelCanvas& canvas, int x, COLORREF border, int tolerance) {
        EXPECT_GT(canvas.CountNear({x, 0, x + 1, 2}, border, tolerance), 0)
            << std::hex << "rows 0-1 at " << std::dec << x << ": " << std::hex << canvas.At(x, 0)
            << " " << canvas.At(x, 1) << " expected " << border;
    }
};

}  // namespace

TEST(DrawGeometryTest, CornerDiameterIsTwiceTheRadiusUpToAPill) {
    EXPECT_FLOAT_EQ(CornerDiameter(310, 22, 6.0f), 12.0f);
    EXPECT_FLOAT_EQ(CornerDiameter(310, 30, 8.0f), 16.0f);
    EXPECT_FLOAT_EQ(CornerDiameter(10, 30, 8.0f), 9.0f);
    EXPECT_FLOAT_EQ(CornerDiameter(12, 22, 6.0f), 11.0f);
}

TEST(DrawGeometryTest, ButtonColoursOfEveryState) {
    struct Case {
        bool primary, hot, pressed, focus, disabled;
        COLORREF top, bottom, border, caption;
    };
    const Case cases[] = {
        {true, false, false, false, true, RGB(40, 42, 47), RGB(40, 42, 47), RGB(52, 55, 60),
         RGB(110, 110, 115)},
        {false, true, true, true, true, RGB(40, 42, 47), RGB(40, 42, 47), RGB(52, 55, 60),
         RGB(110, 110, 115)},
        {true, false, false, false, false, RGB(72, 142, 232), RGB(40, 96, 185), RGB(98, 165, 245),
         White},
        {true, true, false, true, false, RGB(90, 160, 245), RGB(52, 112, 202), RGB(98, 165, 245),
         White},
        {true, false, true, false, false, RGB(40, 96, 185), RGB(34, 84, 165), RGB(98, 165, 245),
         White},
        {true, true, true, false, false, RGB(52, 112, 202), RGB(34, 84, 165), RGB(98, 165, 245),
         White},
        {false, false, false, false, false, RGB(62, 65, 72), RGB(50, 53, 59), RGB(78, 82, 90),
         White},
        {false, false, false, true, false, RGB(62, 65, 72), RGB(50, 53, 59), RGB(120, 125, 135),
         White},
        {false, true, false, false, false, RGB(76, 80, 88), RGB(62, 65, 72), RGB(78, 82, 90),
         White},
        {false, false, true, true, false, RGB(50, 53, 59), RGB(44, 46, 52), RGB(120, 125, 135),
         White},
        {false, true, true, false, false, RGB(62, 65, 72), RGB(44, 46, 52), RGB(78, 82, 90), White},
    };
    for (const Case& c : cases) {
        ButtonLook look = ButtonColours(c.primary, c.hot, c.pressed, c.focus, c.disabled);
        SCOPED_TRACE(testing::Message()
                     << c.primary << c.hot << c.pressed << c.focus << c.disabled);
        EXPECT_EQ(look.top, c.top);
        EXPECT_EQ(look.bottom, c.bottom);
        EXPECT_EQ(look.border, c.border);
        EXPECT_EQ(look.caption, c.caption);
    }
}

TEST_F(DrawTest, ABarFillShowsOnlyWhenWiderThanElevenPixels) {
    PixelCanvas bar(310, 22);
    ProgressBars[0].Permille = 11;  // 3 pixels: not drawn
    DrawControlInto(bar, ID_FILE_PROGRESS, 0);
    ExpectNear(bar.At(2, 11), Track, 2);
    ExpectNear(bar.At(150, 11), Track, 2);

    ProgressBars[0].Permille = 40;  // 12 pixels
    DrawControlInto(bar, ID_FILE_PROGRESS, 0);
    ExpectNear(bar.At(6, 11), Between(RGB(72, 142, 232), RGB(40, 96, 185)), 12);
    ExpectNear(bar.At(13, 11), Track, 2);

    ProgressBars[1].Permille = 1000;
    DrawControlInto(bar, ID_TOTAL_PROGRESS, 0);
    ExpectNear(bar.At(300, 11), Between(RGB(72, 142, 232), RGB(40, 96, 185)), 12);
    // Rounded corners show the window's background.
    ExpectNear(bar.At(0, 0), RGB(30, 32, 36), 24);
}

TEST_F(DrawTest, WithoutGdiplusABarIsSquareWithAOnePixelFrame) {
    PlainDrawing plain;
    PixelCanvas bar(310, 22);
    ProgressBars[0].Permille = 40;
    DrawControlInto(bar, ID_FILE_PROGRESS, 0);
    EXPECT_EQ(bar.At(0, 0), RGB(80, 150, 235));    // the fill's frame, square
    EXPECT_EQ(bar.At(6, 11), RGB(72, 142, 232));   // its top colour, no gradient
    EXPECT_EQ(bar.At(11, 11), RGB(80, 150, 235));  // its right edge at 12 pixels
    EXPECT_EQ(bar.At(12, 11), Track);
    EXPECT_EQ(bar.At(309, 21), RGB(60, 63, 68));  // the track's frame, square
}

TEST_F(DrawTest, BarTextIsWhiteOverTheBar) {
    PixelCanvas bar(310, 22);
    SetProgressText(1, u"%s", u"2 / 3 files");
    DrawControlInto(bar, ID_TOTAL_PROGRESS, 0);
    EXPECT_GT(bar.CountNear({10, 0, 100, 22}, White, 40), 5);
    EXPECT_EQ(bar.CountNear({0, 0, 10, 22}, White, 40), 0);  // 10 pixels in from the left
}

TEST_F(DrawTest, PrimaryButtonColoursFollowHotAndPressed) {
    PixelCanvas button(150, 36);
    HWND download = Control(ID_DOWNLOAD);
    DrawControlInto(button, ID_DOWNLOAD, 0);
    ExpectNear(button.At(75, 2), RGB(72, 142, 232), 8);
    ExpectNear(button.At(75, 33), RGB(40, 96, 185), 8);
    ExpectTopBorder(button, 75, RGB(98, 165, 245), 8);

    SetPropW(download, L"hot", reinterpret_cast<HANDLE>(1));
    DrawControlInto(button, ID_DOWNLOAD, 0);
    ExpectNear(button.At(75, 2), RGB(90, 160, 245), 8);
    DrawControlInto(button, ID_DOWNLOAD, ODS_SELECTED);
    ExpectNear(button.At(75, 2), RGB(52, 112, 202), 8);
    ExpectNear(button.At(75, 33), RGB(34, 84, 165), 8);
    RemovePropW(download, L"hot");

    DrawControlInto(button, ID_DOWNLOAD, ODS_SELECTED);
    ExpectNear(button.At(75, 2), RGB(40, 96, 185), 8);
    DrawControlInto(button, ID_DOWNLOAD, ODS_DISABLED);
    ExpectNear(button.At(75, 2), RGB(40, 42, 47), 3);
    ExpectNear(button.At(75, 33), RGB(40, 42, 47), 3);
}

TEST_F(DrawTest, TheDownloadGlyphStandsBeforeTheCaptionOnlyWithGdiplus) {
    // Where the glyph's tray lies: the block of glyph and caption is centred.
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, SemiboldFont);
    SIZE caption = {};
    GetTextExtentPoint32W(screen, L"Download", 8, &caption);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    int glyphX = (150 - caption.cx - 22) / 2 + 7;
    int trayY = 36 / 2 - 1 + 6;
    ASSERT_EQ(ControlText(ID_DOWNLOAD), u"Download");

    PixelCanvas button(150, 36);
    DrawControlInto(button, ID_DOWNLOAD, 0);
    ExpectNear(button.At(glyphX, trayY), White, 30);
    ExpectNear(button.At(glyphX, trayY - 10), White, 30);  // the arrow's shaft

    PlainDrawing plain;
    DrawControlInto(button, ID_DOWNLOAD, 0);
    EXPECT_EQ(button.At(glyphX, trayY), RGB(72, 142, 232));
    // The caption keeps its place after the empty room.
    EXPECT_EQ(button.CountNear({0, 0, glyphX + 15, 36}, White, 40), 0);
    EXPECT_GT(button.CountNear({glyphX + 15, 0, 150, 36}, White, 40), 5);
}

TEST_F(DrawTest, SecondaryButtonHasTheLighterBorderWithFocus) {
    PixelCanvas button(120, 36);
    DrawControlInto(button, ID_CLOSE, 0);
    ExpectTopBorder(button, 60, RGB(78, 82, 90), 6);
    ExpectNear(button.At(60, 2), RGB(62, 65, 72), 8);
    // With the keyboard cues hidden: the focus ring would cover the border.
    const UINT focus = ODS_FOCUS | ODS_NOFOCUSRECT;
    DrawControlInto(button, ID_CLOSE, focus);
    ExpectTopBorder(button, 60, RGB(120, 125, 135), 6);
    DrawControlInto(button, ID_CLOSE, focus | ODS_SELECTED);
    ExpectTopBorder(button, 60, RGB(120, 125, 135), 6);
    ExpectNear(button.At(60, 33), RGB(44, 46, 52), 8);
    DrawControlInto(button, ID_CLOSE, focus | ODS_DISABLED);
    ExpectTopBorder(button, 60, RGB(52, 55, 60), 6);
}

TEST_F(DrawTest, ADisabledCaptionIsInDisabledInk) {
    const RECT captionArea = {20, 8, 100, 28};
    PixelCanvas button(120, 36);
    DrawControlInto(button, ID_CLOSE, 0);
    EXPECT_GT(button.CountNear(captionArea, White, 40), 5);
    DrawControlInto(button, ID_CLOSE, ODS_DISABLED);
    EXPECT_EQ(button.CountNear(captionArea, White, 40), 0);
    EXPECT_GT(button.CountNear(captionArea, RGB(110, 110, 115), 12), 5);
}

TEST_F(DrawTest, WithoutGdiplusButtonsAreSquare) {
    PixelCanvas button(120, 36);
    DrawControlInto(button, ID_CLOSE, 0);
    ExpectNear(button.At(0, 0), RGB(30, 32, 36), 24);  // outside the rounded corner

    PlainDrawing plain;
    DrawControlInto(button, ID_CLOSE, 0);
    EXPECT_EQ(button.At(0, 0), RGB(78, 82, 90));
    EXPECT_EQ(button.At(119, 35), RGB(78, 82, 90));
    EXPECT_EQ(button.At(60, 33), RGB(62, 65, 72));  // the top colour throughout
}

TEST_F(DrawTest, SelectorBoxTriangleAndPlaceholder) {
    HWND selector = Control(ID_SCRIPT_SELECTOR);
    const int r = 310, m = 15;
    const COLORREF light = RGB(222, 222, 222);
    PixelCanvas box(310, 30);

    DrawControlInto(box, ID_SCRIPT_SELECTOR, 0);
    ExpectTopBorder(box, 155, RGB(60, 63, 68), 6);
    ExpectNear(box.At(250, 3), RGB(22, 24, 27), 3);
    ExpectNear(box.At(r - 20, m - 2), light, 3);  // pointing down: the wide edge on top
    ExpectNear(box.At(r - 20, m + 2), RGB(22, 24, 27), 3);
    // "No scripts" in muted text, nothing in white.
    EXPECT_GT(box.CountNear({12, 0, 278, 30}, RGB(140, 140, 140), 12), 5);
    EXPECT_EQ(box.CountNear({12, 0, 278, 30}, White, 40), 0);

    SetPropW(selector, L"hot", reinterpret_cast<HANDLE>(1));
    DrawControlInto(box, ID_SCRIPT_SELECTOR, 0);
    ExpectTopBorder(box, 155, RGB(90, 95, 105), 6);
    ExpectNear(box.At(250, 3), RGB(30, 33, 38), 3);
    RemovePropW(selector, L"hot");

    PickerWindow = MainWindow;  // any window: the selector only asks whether one is open
    DrawControlInto(box, ID_SCRIPT_SELECTOR, 0);
    PickerWindow = nullptr;
    ExpectTopBorder(box, 155, RGB(45, 105, 185), 6);
    ExpectNear(box.At(250, 3), RGB(30, 33, 38), 3);
    ExpectNear(box.At(r - 20, m + 2), light, 3);  // pointing up: the wide edge below
    ExpectNear(box.At(r - 20, m - 2), RGB(30, 33, 38), 3);

    DrawControlInto(box, ID_SCRIPT_SELECTOR, ODS_DISABLED);
    ExpectNear(box.At(r - 16, m), RGB(110, 110, 115), 3);
}

TEST_F(DrawTest, SelectorShowsTheChosenScriptsRow) {
    char16_t* text = ConvertCatalogText("[Chosen]\nfile = a|00\n");
    ASSERT_NE(text, nullptr);
    ParseCatalog(SkipByteOrderMark(text));
    free(text);
    FileTable[0].status = FILE_STATUS_UPDATE;
    SelectedScript = 0;
    PixelCanvas box(310, 30);
    DrawControlInto(box, ID_SCRIPT_SELECTOR, 0);
    EXPECT_GT(box.CountNear({12, 0, 100, 30}, White, 40), 5);               // the name
    EXPECT_GT(box.CountNear({200, 0, 278, 30}, RGB(235, 175, 70), 40), 5);  // "Update"
    EXPECT_EQ(box.CountNear({278, 0, 310, 30}, RGB(235, 175, 70), 40), 0);  // 32 px kept free
}

TEST_F(DrawTest, HoverTrackingSetsAndClearsTheHotProperty) {
    HWND close = Control(ID_CLOSE);
    EXPECT_FALSE(IsHot(close));
    SendMessageW(close, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(IsHot(close));
    EXPECT_EQ(GetPropW(close, L"hot"), reinterpret_cast<HANDLE>(1));
    SendMessageW(close, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(IsHot(close));
}

TEST_F(DrawTest, AQuickSecondClickPressesAButtonAgain) {
    // Idle without a server, Close closes: a double click on it must do the same.
    HWND close = Control(ID_CLOSE);
    SendMessageW(close, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(close, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_TRUE(PumpUntil([] { return !IsWindow(static_cast<HWND>(MainWindow)); }, 5000));
    EXPECT_TRUE(TakeQuitMessage());
}
