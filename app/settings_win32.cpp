// Settings on Windows: the executable's path, full paths, and the settings
// file's bytes. A write goes to a temporary file beside the settings file,
// which is then moved over it, so a failed write never leaves half a file.
#include "app/settings_os.h"

#include <windows.h>

#include "app/text.h"

static const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

// A path that fills the buffer has been cut (the call then returns the
// capacity; Windows XP does not even terminate it).
bool OsExecutablePath(char16_t* buffer, int capacity) {
    DWORD length = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(buffer),
                                      static_cast<DWORD>(capacity));
    if (length == 0 || length >= static_cast<DWORD>(capacity)) {
        buffer[0] = 0;
        return false;
    }
    buffer[length] = 0;
    return true;
}

// Only ever given an absolute path, so the process's current folder, which
// GetFullPathNameW would use for a relative one, never matters.
int OsFullPath(const char16_t* path, char16_t* buffer, int capacity) {
    DWORD length = GetFullPathNameW(Wide(path), static_cast<DWORD>(capacity),
                                    reinterpret_cast<wchar_t*>(buffer), nullptr);
    if (length == 0 || length >= static_cast<DWORD>(capacity)) {
        buffer[0] = 0;
        return 0;
    }
    return static_cast<int>(length);
}

static OsFileRead ReadOpenFile(HANDLE file, size_t maxBytes, std::string* bytes) {
    LARGE_INTEGER size;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size) ||
        static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
        return OS_FILE_UNREADABLE;
    }
    bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (size.QuadPart > 0 &&
        (!ReadFile(file, &(*bytes)[0], static_cast<DWORD>(size.QuadPart), &got, nullptr) ||
         got != static_cast<DWORD>(size.QuadPart))) {
        return OS_FILE_UNREADABLE;
    }
    return OS_FILE_READ;
}

// Opened for others to read, write and delete too, so an editor that holds
// the file open does not make the settings fall back to their defaults.
OsFileRead OsReadWholeFile(const char16_t* path, size_t maxBytes, std::string* bytes) {
    HANDLE file = CreateFileW(Wide(path), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return missing ? OS_FILE_MISSING : OS_FILE_UNREADABLE;
    }
    OsFileRead result = ReadOpenFile(file, maxBytes, bytes);
    CloseHandle(file);
    return result;
}

// The folder of path, for the temporary file beside it.
static bool FolderOf(const char16_t* path, char16_t* folder, int capacity) {
    TextCopy(folder, capacity, path);
    char16_t* lastBackslash = TextFindLastChar(folder, u'\\');
    if (lastBackslash == nullptr) return false;
    *lastBackslash = 0;
    return true;
}

static bool WriteFlushed(const wchar_t* path, const std::string& bytes, DWORD attributes) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD wrote = 0;
    bool ok = bytes.empty() ||
              (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
               wrote == bytes.size());
    ok = FlushFileBuffers(file) && ok;
    ok = CloseHandle(file) && ok;
    return ok;
}

// GetTempFileNameW makes a fresh name, so no file of the user's is ever
// overwritten. The temporary file takes the hidden and system attributes of
// the file it replaces; a read-only one is left alone (the move would be
// refused anyway).
bool OsReplaceWholeFile(const char16_t* path, const std::string& bytes) {
    char16_t folder[MAX_PATH];
    wchar_t temporary[MAX_PATH];
    if (!FolderOf(path, folder, MAX_PATH) ||
        !GetTempFileNameW(Wide(folder), L"upd", 0, temporary)) {
        return false;
    }
    DWORD old = GetFileAttributesW(Wide(path));
    if (old == INVALID_FILE_ATTRIBUTES) old = 0;
    DWORD kept = old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    bool ok =
        (old & FILE_ATTRIBUTE_READONLY) == 0 &&
        WriteFlushed(temporary, bytes, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL) &&
        MoveFileExW(temporary, Wide(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileW(temporary);
    return ok;
}
