// High contrast. While the user's high-contrast setting is on, every colour
// of the palette is painted in the system colour that stands for it
// (window, window text, highlight, highlight text, button face and text,
// grey text, hot light), so the window takes the user's scheme as standard
// controls do, and gradients become plain fills because both of their ends
// stand for the same system colour. The setting is read at start and again
// whenever the window hears that colours or settings changed.
#ifndef UPDATER_APP_CONTRAST_WIN32_H
#define UPDATER_APP_CONTRAST_WIN32_H

#include <windows.h>

#include "app/palette_win32.h"

// Whether high contrast was on when it was last read.
bool HighContrastOn();

// Reads the setting again (SPI_GETHIGHCONTRAST). Returns whether it changed.
bool RefreshHighContrast();

// The system colour index (COLOR_...) that name takes in high contrast.
int HighContrastColourIndex(PaletteColour name);

// While one lives, text and marks (the inks of the palette) are painted as
// text on a highlight: in high contrast the highlight's text colour, so that
// a highlighted row or a filled bar stays legible. Without high contrast it
// changes nothing. Scopes nest.
class InkOnHighlight {
public:
    explicit InkOnHighlight(bool onHighlight);
    ~InkOnHighlight();
    InkOnHighlight(const InkOnHighlight&) = delete;
    InkOnHighlight& operator=(const InkOnHighlight&) = delete;

private:
    bool saved_;
};

#endif  // UPDATER_APP_CONTRAST_WIN32_H
