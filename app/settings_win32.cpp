// Settings on Windows: the executable's path and the private-profile calls.
#include "app/settings_os.h"

#include <windows.h>

#include "app/text.h"

static const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

void OsExecutablePath(char16_t* buffer, int capacity) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length >= MAX_PATH) length = MAX_PATH - 1;
    path[length] = 0;
    TextCopy(buffer, capacity, reinterpret_cast<const char16_t*>(path));
}

int OsReadProfileString(const char16_t* section, const char16_t* key, const char16_t* fallback,
                        char16_t* buffer, int capacity, const char16_t* file) {
    DWORD length = GetPrivateProfileStringW(Wide(section), Wide(key), Wide(fallback),
                                            reinterpret_cast<wchar_t*>(buffer),
                                            static_cast<DWORD>(capacity), Wide(file));
    buffer[capacity - 1] = 0;
    return static_cast<int>(length);
}

// The profile writer creates a missing file in the ANSI code page, where a
// script name outside it would turn into question marks. A file that starts
// as UTF-16 with a byte-order mark is kept in UTF-16 by every later write.
static void CreateUnicodeProfileIfMissing(const char16_t* file) {
    HANDLE handle = CreateFileW(Wide(file), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    static const unsigned char byteOrderMark[2] = {0xFF, 0xFE};
    DWORD written = 0;
    WriteFile(handle, byteOrderMark, sizeof byteOrderMark, &written, nullptr);
    CloseHandle(handle);
}

bool OsWriteProfileString(const char16_t* section, const char16_t* key, const char16_t* value,
                          const char16_t* file) {
    CreateUnicodeProfileIfMissing(file);
    return WritePrivateProfileStringW(Wide(section), Wide(key), Wide(value), Wide(file)) != FALSE;
}
