// High contrast: the setting, and the system colour each palette colour
// stands for while it is on.
#include "app/contrast_win32.h"

#include "app/contrast_test_hooks.h"

namespace {

// What a palette colour becomes in high contrast. Fills and lines take the
// surface they are; inks (text and marks) take the text colour of the
// surface they are drawn on, which a highlight changes.
struct ContrastColour {
    int system;  // COLOR_... on its usual surface
    bool ink;    // becomes COLOR_HIGHLIGHTTEXT on a highlight
};

const ContrastColour ContrastColours[PALETTE_SIZE] = {
    {COLOR_WINDOW, false},      // COLOUR_WINDOW
    {COLOR_WINDOW, false},      // COLOUR_PANEL
    {COLOR_WINDOW, false},      // COLOUR_HEADER_BAND
    {COLOR_WINDOWTEXT, false},  // COLOUR_FRAME_LINE
    {COLOR_WINDOWTEXT, false},  // COLOUR_PICKER_FRAME
    {COLOR_WINDOWTEXT, true},   // COLOUR_LIGHT_TEXT
    {COLOR_WINDOWTEXT, true},   // COLOUR_WHITE
    {COLOR_WINDOWTEXT, true},   // COLOUR_MUTED_TEXT: muted is not disabled
    {COLOR_GRAYTEXT, false},    // COLOUR_DISABLED_INK
    {COLOR_WINDOWTEXT, true},   // COLOUR_NOTICE_TEXT
    {COLOR_HOTLIGHT, true},     // COLOUR_ACCENT
    {COLOR_HIGHLIGHT, false},   // COLOUR_LIST_SELECTION
    {COLOR_HIGHLIGHT, false},   // COLOUR_PICKER_HIGHLIGHT
    {COLOR_HIGHLIGHT, false},   // COLOUR_PICKER_HIGHLIGHT_BORDER
    {COLOR_WINDOWTEXT, true},   // COLOUR_STATUS_OK: the words tell the statuses apart
    {COLOR_WINDOWTEXT, true},   // COLOUR_STATUS_NEW
    {COLOR_WINDOWTEXT, true},   // COLOUR_STATUS_UPDATE
    {COLOR_WINDOW, false},      // COLOUR_TRACK
    {COLOR_HIGHLIGHT, false},   // COLOUR_FILL_BORDER
    {COLOR_WINDOW, false},      // COLOUR_SELECTOR_LIT: hot and open show in the border
    {COLOR_HIGHLIGHT, false},   // COLOUR_SELECTOR_OPEN_BORDER
    {COLOR_HOTLIGHT, false},    // COLOUR_SELECTOR_HOT_BORDER
    {COLOR_BTNFACE, false},     // COLOUR_DISABLED_FILL
    {COLOR_GRAYTEXT, false},    // COLOUR_DISABLED_BORDER
    {COLOR_HIGHLIGHT, false},   // COLOUR_PRIMARY_TOP: also a bar's fill
    {COLOR_HIGHLIGHT, false},   // COLOUR_PRIMARY_BOTTOM
    {COLOR_HIGHLIGHT, false},   // COLOUR_PRIMARY_BORDER
    {COLOR_HIGHLIGHT, false},   // COLOUR_PRIMARY_HOT_TOP
    {COLOR_HIGHLIGHT, false},   // COLOUR_PRIMARY_HOT_BOTTOM
    {COLOR_HIGHLIGHT, false},   // COLOUR_PRIMARY_PRESSED_BOTTOM
    {COLOR_BTNFACE, false},     // COLOUR_SECONDARY_TOP
    {COLOR_BTNFACE, false},     // COLOUR_SECONDARY_BOTTOM
    {COLOR_BTNTEXT, false},     // COLOUR_SECONDARY_BORDER
    {COLOR_HIGHLIGHT, false},   // COLOUR_SECONDARY_FOCUS_BORDER
    {COLOR_BTNFACE, false},     // COLOUR_SECONDARY_HOT_TOP
    {COLOR_BTNFACE, false},     // COLOUR_SECONDARY_PRESSED_BOTTOM
};

bool HighContrast;
bool InkIsOnHighlight;
int PretendedState = -1;  // for tests: -1 ask the system, else 0 or 1

bool SystemSaysHighContrast() {
    if (PretendedState >= 0) return PretendedState == 1;
    HIGHCONTRASTW setting = {};
    setting.cbSize = sizeof setting;
    if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof setting, &setting, 0)) return false;
    return (setting.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

}  // namespace

bool HighContrastOn() {
    return HighContrast;
}

bool RefreshHighContrast() {
    bool was = HighContrast;
    HighContrast = SystemSaysHighContrast();
    return HighContrast != was;
}

int HighContrastColourIndex(PaletteColour name) {
    const ContrastColour& colour = ContrastColours[name];
    return colour.ink && InkIsOnHighlight ? COLOR_HIGHLIGHTTEXT : colour.system;
}

COLORREF Colour(PaletteColour name) {
    return HighContrast ? GetSysColor(HighContrastColourIndex(name)) : Palette[name];
}

InkOnHighlight::InkOnHighlight(bool onHighlight) : saved_(InkIsOnHighlight) {
    InkIsOnHighlight = onHighlight;
}

InkOnHighlight::~InkOnHighlight() {
    InkIsOnHighlight = saved_;
}

void HighContrastPretendForTests(int state) {
    PretendedState = state;
}
