// The file steps of an install on Windows.
#include "install/files_os.h"

#include <windows.h>

static const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

void MakeFolder(const char16_t* path) {
    CreateDirectoryW(Wide(path), nullptr);
}

bool WriteWholeFile(const char16_t* path, const unsigned char* data, uint32_t size) {
    // Never write through what lies at the name already: DeleteFileW removes
    // a symbolic link itself, not its target, and CREATE_NEW then fails on
    // anything that is still there (a folder, or a link planted again in
    // between) instead of opening it.
    DeleteFileW(Wide(path));
    HANDLE file = CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, data, size, &written, nullptr) != FALSE && written == size;
    // Flushed before the move, so that a power cut after it cannot leave an
    // empty or partial script where a good one was.
    ok = ok && FlushFileBuffers(file) != FALSE;
    ok = CloseHandle(file) != FALSE && ok;
    if (!ok) DeleteFileW(Wide(path));
    return ok;
}

bool MoveFileOver(const char16_t* from, const char16_t* to) {
    return MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

void RemoveFile(const char16_t* path) {
    DeleteFileW(Wide(path));
}
