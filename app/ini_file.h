// Reading and writing one key of an INI file on disk, with the results of
// the Windows private-profile calls but our own INI code on every platform:
// those calls read a file without a UTF-16 mark in the ANSI code page, so a
// file saved as UTF-8 (Notepad's default) gave garbled folders and names.
#ifndef UPDATER_APP_INI_FILE_H
#define UPDATER_APP_INI_FILE_H

#include <stddef.h>

// A settings file is a few lines; anything bigger is not one of ours and is
// neither read nor rewritten.
const size_t INI_FILE_MAX_BYTES = 1 << 20;

// Copies the value of key in section of file into buffer, cut at capacity - 1
// and terminated; copies fallback when the file, the section or the key is
// missing or the file cannot be read. Section and key names compare without
// regard to case; a key that is present with an empty value gives the empty
// text. Returns the length.
int ReadIniString(const char16_t* section, const char16_t* key, const char16_t* fallback,
                      char16_t* buffer, int capacity, const char16_t* file);

// Sets key in section of file to value, creating the file (UTF-16 with a
// byte-order mark, which every Windows editor reads), the section and the key
// as needed. The file keeps its encoding and every other byte. Returns false,
// leaving the file as it was, when it cannot be read or replaced, when its
// bytes do not decode and encode back to themselves (a damaged file), or when
// its encoding cannot hold value.
bool WriteIniString(const char16_t* section, const char16_t* key, const char16_t* value,
                        const char16_t* file);

#endif  // UPDATER_APP_INI_FILE_H
