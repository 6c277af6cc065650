// The platform half of the settings: where the executable lies, and an INI
// reader and writer with the behaviour of the Windows private-profile calls.
// settings_win32.cpp uses those calls; settings_posix.cpp is our own INI code.
#ifndef UPDATER_APP_SETTINGS_OS_H
#define UPDATER_APP_SETTINGS_OS_H

// Full path of the running executable, backslash separated, cut at
// capacity - 1 and terminated.
void OsExecutablePath(char16_t* buffer, int capacity);

// Copies the value of key in section of file into buffer, cut at capacity - 1
// and terminated; copies fallback when the file, the section or the key is
// missing. Section and key names compare without regard to case; a key that
// is present with an empty value gives the empty text. Returns the length.
int OsReadProfileString(const char16_t* section, const char16_t* key, const char16_t* fallback,
                        char16_t* buffer, int capacity, const char16_t* file);

// Sets key in section of file to value, creating the file, the section and
// the key as needed and keeping every other line. Returns false on failure;
// the file is then left as it was.
bool OsWriteProfileString(const char16_t* section, const char16_t* key, const char16_t* value,
                          const char16_t* file);

#endif  // UPDATER_APP_SETTINGS_OS_H
