// The platform half of the settings: where the executable lies, how a
// relative folder becomes a full path, and reading and replacing the
// settings file as bytes. What the bytes mean is ini_text's and ini_file's.
#ifndef UPDATER_APP_SETTINGS_OS_H
#define UPDATER_APP_SETTINGS_OS_H

#include <stddef.h>

#include <string>

// Full path of the running executable, backslash separated. Returns false,
// with the empty text in buffer, when the path does not fit capacity - 1
// units: a cut path would name some other file or folder.
bool OsExecutablePath(char16_t* buffer, int capacity);

// The full form of an absolute path (backslash separated): "." and ".."
// parts resolved, repeated separators folded, the way the system names it
// when the path is opened. Returns its length, or 0 (with the empty text in
// buffer) when it does not fit capacity - 1 units or the path is not valid.
int OsFullPath(const char16_t* path, char16_t* buffer, int capacity);

enum OsFileRead { OS_FILE_READ, OS_FILE_MISSING, OS_FILE_UNREADABLE };

// Reads the whole regular file into bytes. A file larger than maxBytes, a
// folder or a file that cannot be opened or read is OS_FILE_UNREADABLE.
OsFileRead OsReadWholeFile(const char16_t* path, size_t maxBytes, std::string* bytes);

// Writes bytes to a new temporary file beside path, flushes it and moves it
// over path, so that no reader ever sees half a file. Returns false on any
// failure; path is then as it was and the temporary file is gone.
bool OsReplaceWholeFile(const char16_t* path, const std::string& bytes);

#endif  // UPDATER_APP_SETTINGS_OS_H
