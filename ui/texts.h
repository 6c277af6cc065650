// What the user reads: the labels and colours of file statuses and script
// states, the file list's rows, the details pane, the summary line, the
// buttons' labels and enabled states, one script's row, and the choice of
// a script. Every operation rebuilds its output from the shared state each
// time; none keeps state of its own beyond its text buffer. All of it runs
// on the interface thread.
#ifndef UPDATER_UI_TEXTS_H
#define UPDATER_UI_TEXTS_H

#include <windows.h>

#include "app/palette_win32.h"

enum { DETAILS_TEXT_CAPACITY = 5296, FILE_STATUS_COUNT = 4 };

// Indexed by FileStatus: "OK", "New", "Update", "Kept" and their colours
// (names in the palette).
extern const char16_t* const StatusLabels[FILE_STATUS_COUNT];
extern const PaletteColour StatusColours[FILE_STATUS_COUNT];

// The label and colour of a ScriptState result: "Not installed" below 0,
// "OK" at 0, "Update" above.
const char16_t* ScriptStateLabel(int state);
PaletteColour ScriptStateColour(int state);

// Where the details pane's text is assembled.
extern char16_t DetailsText[DETAILS_TEXT_CAPACITY];

// The main window's control of that identifier (null before it exists).
HWND ControlWindow(int id);

// Makes script (-1 or an index into ScriptTable) the chosen one, records it
// as `last`, empties both bars and refreshes what shows it.
void SelectScript(int script);

// Assembles DetailsText for the chosen script (or the notice alone) and
// sets it as the details pane's text.
void UpdateDetailsText();

// Enables and labels the selector, Download and Close buttons.
void UpdateButtons();

// Refills the file list, then the details, the buttons and the selector.
void RefreshFileList();

// Set by the window when the catalog arrived but was refused (its signature
// or its serial): the summary then says so rather than blame the server.
extern bool CatalogRefused;

// Rebuilds SummaryText and repaints the header band.
void UpdateSummary();

// One script's name (white, semibold, cut with an ellipsis) over its state
// label (right-aligned, in the state's colour), in rect.
void DrawScriptRow(HDC dc, const RECT& rect, int script);

// The same row in words, "<name>, <state label>", for screen readers; the
// empty text for an index outside the table.
void ScriptRowText(int script, char16_t* buffer, int capacity);

// What the selector shows while no script is chosen: "Loading..." while a
// worker runs, "No scripts" otherwise.
const char16_t* SelectorPlaceholder();

// What the selector shows, in words: the chosen script's row, or the
// placeholder.
void SelectorText(char16_t* buffer, int capacity);

#endif  // UPDATER_UI_TEXTS_H
