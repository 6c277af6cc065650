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

// Antivirus scanners, the search indexer and sync clients open a freshly
// written file for a moment, and a move of it or over the target then fails
// with a sharing violation or access denied. Those two are tried again, with
// these waits between the tries: about two seconds in all. Any other
// failure, or one that outlasts them, is final.
static const DWORD MoveRetryWaitsMs[] = {50, 100, 150, 200, 250, 250, 250, 250, 250, 250};

static bool MayPassSoon(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

bool MoveFileOver(const char16_t* from, const char16_t* to) {
    for (DWORD wait : MoveRetryWaitsMs) {
        if (MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING) != FALSE) return true;
        if (!MayPassSoon(GetLastError())) return false;
        Sleep(wait);
    }
    return MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

void RemoveFile(const char16_t* path) {
    DeleteFileW(Wide(path));
}
