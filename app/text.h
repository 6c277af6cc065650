// Fixed-capacity UTF-16 text buffers.
//
// Every text of the program lives in a buffer of char16_t whose capacity is
// counted in code units, terminator included. A copy, an append or a format
// that does not fit is cut at capacity - 1 and always terminated, so the same
// input is cut at the same unit on every platform. Nobody cuts by hand: these
// few functions serve every buffer.
#ifndef UPDATER_APP_TEXT_H
#define UPDATER_APP_TEXT_H

#include <stddef.h>

#define COUNTOF(array) (sizeof(array) / sizeof((array)[0]))

// Number of code units before the terminator.
int TextLength(const char16_t* text);

// Copies source into target (capacity units, terminator included), cut at
// capacity - 1. Returns the length of the result.
int TextCopy(char16_t* target, int capacity, const char16_t* source);

// Copies at most count units of source (stopping early at its terminator).
int TextCopyCount(char16_t* target, int capacity, const char16_t* source, int count);

// Appends source to the text already in target, cut at capacity - 1.
// Returns the length of the result.
int TextAppend(char16_t* target, int capacity, const char16_t* source);

// Formats into target, cut at capacity - 1 and terminated. Understands
// %s (const char16_t*, null prints as empty), %d (int), %u (unsigned),
// %X and %x with an optional zero flag and width (%02X), %c (a char16_t
// passed as int) and %%. Returns the length of the result.
int TextFormat(char16_t* target, int capacity, const char16_t* format, ...);

// Exact comparison, code unit by code unit.
bool TextEqual(const char16_t* a, const char16_t* b);

// Comparison without regard to case for the letters A to Z only, the way the
// C runtime compares in its default locale. Returns <0, 0 or >0.
int TextCompareNoCase(const char16_t* a, const char16_t* b);
int TextCompareNoCaseCount(const char16_t* a, const char16_t* b, int count);

// First position of character c in text, or null.
const char16_t* TextFindChar(const char16_t* text, char16_t c);
char16_t* TextFindChar(char16_t* text, char16_t c);

// Last position of character c in text, or null.
char16_t* TextFindLastChar(char16_t* text, char16_t c);

// True when needle occurs anywhere in text.
bool TextContains(const char16_t* text, const char16_t* needle);

// Replaces every from with to, in place.
void TextReplaceChar(char16_t* text, char16_t from, char16_t to);

// Removes leading spaces and tabs and trailing tabs, carriage returns and
// spaces, in place. Returns the new length.
int TrimSpaces(char16_t* text);

#endif  // UPDATER_APP_TEXT_H
