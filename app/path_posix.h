// The one place where the POSIX build turns the program's paths (UTF-16,
// backslash separated, as on Windows) into native ones (UTF-8, slashes) and
// back.
#ifndef UPDATER_APP_PATH_POSIX_H
#define UPDATER_APP_PATH_POSIX_H

#include <string>

// The native form of a program path: UTF-8 with every backslash a slash.
std::string NativePath(const char16_t* path);

// The program's form of a native path, cut at capacity - 1 and terminated.
void ProgramPath(const char* nativePath, char16_t* buffer, int capacity);

// The same, for a path that must not be cut: false, with the empty text in
// buffer, when it does not fit capacity - 1 units.
bool ProgramPathFits(const char* nativePath, char16_t* buffer, int capacity);

#endif  // UPDATER_APP_PATH_POSIX_H
