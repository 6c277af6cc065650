// Conversion between UTF-8 (or ANSI) bytes and the program's UTF-16 texts.
//
// Windows converts with MultiByteToWideChar / WideCharToMultiByte; the POSIX
// build has its own converter that gives the same units: every invalid
// sequence becomes U+FFFD, one for each maximal invalid subpart, and a lone
// surrogate written to UTF-8 becomes the bytes of U+FFFD.
//
// "ANSI" is the code page that Windows programs without Unicode use for
// text files: the system's ANSI code page on Windows, Windows-1252 (that of
// Western European and American systems) on POSIX.
#ifndef UPDATER_APP_UNICODE_H
#define UPDATER_APP_UNICODE_H

// Converts byteCount bytes of UTF-8 (or, with byteCount -1, the bytes up to
// and including the first zero byte) into target. With a null target it only
// counts. Returns the number of UTF-16 units written or needed (the
// terminator included when byteCount is -1), or 0 when target is too small
// or byteCount is 0.
int Utf8ToUtf16(const char* bytes, int byteCount, char16_t* target, int capacity);

// Converts the UTF-16 text up to its terminator into UTF-8 with a terminator.
// With a null target it only counts. Returns the bytes written or needed,
// terminator included, or 0 when target is too small.
int Utf16ToUtf8(const char16_t* text, char* target, int capacity);

// Converts byteCount (at least 1) bytes in the ANSI code page into target.
// With a null target it only counts. Returns the units written or needed, or
// 0 when target is too small.
int AnsiToUtf16(const char* bytes, int byteCount, char16_t* target, int capacity);

// Converts unitCount (at least 1) units into the ANSI code page; a unit the
// code page cannot hold exactly becomes a question mark (never a look-alike).
// With a null target it only counts. Returns the bytes written or needed, or
// 0 when target is too small.
int Utf16ToAnsi(const char16_t* text, int unitCount, char* target, int capacity);

#endif  // UPDATER_APP_UNICODE_H
