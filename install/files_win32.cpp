// The file steps of an install on Windows.
#include "install/files_os.h"

#include <windows.h>

namespace {

enum { FINAL_PATH_CAPACITY = 1024 };

// Not retried, and never a system error for these steps: the name leads
// out of the folder it must stay in.
const DWORD ERROR_LEADS_OUTSIDE = ERROR_CANT_RESOLVE_FILENAME;

const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

// ---- where a name leads ------------------------------------------------------

bool SameNoCase(const wchar_t* a, int aLength, const wchar_t* b, int bLength) {
    return CompareStringOrdinal(a, aLength, b, bLength, TRUE) == CSTR_EQUAL;
}

// The folder that holds path, when within is null: path up to its last
// separator.
void FolderHolding(const wchar_t* path, wchar_t* folder) {
    int end = 0;
    for (int i = 0; path[i] != 0 && i < FINAL_PATH_CAPACITY - 1; ++i) {
        folder[i] = path[i];
        if (path[i] == L'\\' || path[i] == L'/') end = i;
    }
    if (end == 2 && path[1] == L':') end = 3;  // a drive root keeps its backslash
    if (end == 0) lstrcpynW(folder, L".", FINAL_PATH_CAPACITY);
    folder[end == 0 ? 1 : end] = 0;
}

// What follows within in path, both in their full forms (GetFullPathNameW
// drops what Windows drops when it opens a name: the dots and spaces at the
// end of the last part, a doubled backslash). Empty when path is within
// itself; false when path does not lie there at all.
bool PlaceIn(const wchar_t* within, const wchar_t* path, wchar_t* rest) {
    wchar_t folder[FINAL_PATH_CAPACITY];
    wchar_t full[FINAL_PATH_CAPACITY];
    DWORD folderLength = GetFullPathNameW(within, FINAL_PATH_CAPACITY, folder, nullptr);
    DWORD fullLength = GetFullPathNameW(path, FINAL_PATH_CAPACITY, full, nullptr);
    if (folderLength == 0 || folderLength >= FINAL_PATH_CAPACITY || fullLength == 0 ||
        fullLength >= FINAL_PATH_CAPACITY || fullLength < folderLength) {
        return false;
    }
    if (folder[folderLength - 1] == L'\\') --folderLength;  // a drive root, "C:\"
    if (!SameNoCase(folder, static_cast<int>(folderLength), full, static_cast<int>(folderLength)))
        return false;
    const wchar_t* after = full + folderLength;
    if (*after != 0 && *after != L'\\') return false;  // C:\Scripts2 is not in C:\Scripts
    lstrcpynW(rest, *after == 0 ? after : after + 1, FINAL_PATH_CAPACITY);
    return true;
}

HANDLE OpenExisting(const wchar_t* path, DWORD access, DWORD flags) {
    return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, flags, nullptr);
}

// The path the system resolves an open file or folder to, in the volume form
// asked for (a volume without a drive letter has only the NT form).
bool FinalPathOf(HANDLE handle, DWORD volumeForm, wchar_t* out) {
    DWORD length = GetFinalPathNameByHandleW(handle, out, FINAL_PATH_CAPACITY,
                                             FILE_NAME_NORMALIZED | volumeForm);
    return length > 0 && length < FINAL_PATH_CAPACITY;
}

// Whether the final path of handle is folder's final path followed by rest.
bool ResolvesBelow(HANDLE handle, HANDLE folder, const wchar_t* rest, DWORD volumeForm,
                   bool* answered) {
    wchar_t expected[FINAL_PATH_CAPACITY];
    wchar_t actual[FINAL_PATH_CAPACITY];
    *answered =
        FinalPathOf(folder, volumeForm, expected) && FinalPathOf(handle, volumeForm, actual);
    if (!*answered) return false;
    int length = lstrlenW(expected);
    if (*rest != 0) {
        if (length > 0 && expected[length - 1] != L'\\') expected[length++] = L'\\';
        int restLength = lstrlenW(rest);
        if (length + restLength >= FINAL_PATH_CAPACITY) return false;
        lstrcpynW(expected + length, rest, FINAL_PATH_CAPACITY - length);
    }
    return SameNoCase(expected, -1, actual, -1);
}

// Whether the file or folder open as handle is path itself, inside within:
// no link or junction on the way from within leads anywhere else.
bool IsItself(HANDLE handle, const wchar_t* within, const wchar_t* path) {
    wchar_t holder[FINAL_PATH_CAPACITY];
    if (within == nullptr) {
        FolderHolding(path, holder);
        within = holder;
    }
    wchar_t rest[FINAL_PATH_CAPACITY];
    if (!PlaceIn(within, path, rest)) return false;
    HANDLE folder = OpenExisting(within, 0, FILE_FLAG_BACKUP_SEMANTICS);
    if (folder == INVALID_HANDLE_VALUE) return false;
    bool answered = false;
    bool itself = ResolvesBelow(handle, folder, rest, VOLUME_NAME_DOS, &answered);
    if (!answered) itself = ResolvesBelow(handle, folder, rest, VOLUME_NAME_NT, &answered);
    CloseHandle(folder);
    return itself;
}

// Whether the folder that will hold path resolves to itself.
bool FolderIsItself(const wchar_t* within, const wchar_t* path) {
    wchar_t parent[FINAL_PATH_CAPACITY];
    FolderHolding(path, parent);
    HANDLE folder = OpenExisting(parent, 0, FILE_FLAG_BACKUP_SEMANTICS);
    if (folder == INVALID_HANDLE_VALUE) return false;
    bool itself = IsItself(folder, within, parent);
    CloseHandle(folder);
    return itself;
}

// ---- acting on an open file ------------------------------------------------------

// Deletes the very file open as handle (opened with DELETE access), not
// whatever its name leads to by now.
bool DeleteOpenFile(HANDLE handle) {
    FILE_DISPOSITION_INFO gone = {TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &gone, sizeof gone) != FALSE;
}

// Removes path when it resolves to itself. 0 when it is gone or was never
// there, else why not.
DWORD RemoveIfItself(const wchar_t* within, const wchar_t* path) {
    HANDLE file = OpenExisting(path, DELETE, 0);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return 0;
        // A folder is refused as access denied too, but never passes.
        DWORD attributes = GetFileAttributesW(path);
        bool folder =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        return folder ? ERROR_DIRECTORY : error;
    }
    DWORD error = ERROR_LEADS_OUTSIDE;
    if (IsItself(file, within, path)) error = DeleteOpenFile(file) ? 0 : GetLastError();
    CloseHandle(file);
    return error;
}

// A stale file at path removed, path created new and open for writing in
// *file. 0 on success, else why not.
DWORD CreateNew(const wchar_t* within, const wchar_t* path, HANDLE* file) {
    if (!FolderIsItself(within, path)) return ERROR_LEADS_OUTSIDE;
    DWORD error = RemoveIfItself(within, path);
    if (error != 0) return error;
    // CREATE_NEW fails on anything still there (a folder, or a link planted
    // in between) instead of opening it.
    *file = CreateFileW(path, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (*file == INVALID_HANDLE_VALUE) return GetLastError();
    if (IsItself(*file, within, path)) return 0;
    DeleteOpenFile(*file);
    CloseHandle(*file);
    *file = INVALID_HANDLE_VALUE;
    return ERROR_LEADS_OUTSIDE;
}

// Makes an existing target replaceable: it must resolve to itself, and a
// read-only attribute is cleared (the move would fail with access denied
// for good). Attribute access passes whatever sharing others asked for.
DWORD PrepareTarget(const wchar_t* within, const wchar_t* target) {
    HANDLE file = OpenExisting(target, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : error;
    }
    DWORD error = ERROR_LEADS_OUTSIDE;
    FILE_BASIC_INFO basic = {};
    if (IsItself(file, within, target)) {
        error = GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)
                    ? 0
                    : GetLastError();
    }
    if (error == 0 && (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        // Zero times leave the times alone; zero attributes would leave the
        // attributes alone too, hence NORMAL for a file with no other one.
        FILE_BASIC_INFO cleared = {};
        cleared.FileAttributes =
            basic.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (cleared.FileAttributes == 0) cleared.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (!SetFileInformationByHandle(file, FileBasicInfo, &cleared, sizeof cleared))
            error = GetLastError();
    }
    CloseHandle(file);
    return error;
}

// ---- held for a moment ------------------------------------------------------------

// Antivirus scanners, the search indexer and sync clients open a freshly
// written file for a moment, and a move of it or over the target then fails
// with a sharing violation or access denied; a file they hold when it is
// deleted stays "delete pending" until they let go, and creating one of its
// name fails with access denied meanwhile. Those two are tried again, with
// these waits between the tries: about two seconds in all. Any other
// failure, or one that outlasts them, is final.
const DWORD HeldRetryWaitsMs[] = {50, 100, 150, 200, 250, 250, 250, 250, 250, 250};

bool MayPassSoon(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

// Runs attempt (which returns 0 or a system error) until it succeeds, fails
// for good or the waits are used up.
template <typename Attempt>
bool RetryWhileHeld(Attempt attempt) {
    for (DWORD wait : HeldRetryWaitsMs) {
        DWORD error = attempt();
        if (error == 0) return true;
        if (!MayPassSoon(error)) return false;
        Sleep(wait);
    }
    return attempt() == 0;
}

}  // namespace

void MakeFolder(const char16_t* within, const char16_t* path) {
    wchar_t rest[FINAL_PATH_CAPACITY];
    // The folders above within are the user's own way to it.
    bool inside = within != nullptr && PlaceIn(Wide(within), Wide(path), rest) && rest[0] != 0;
    if (inside && !FolderIsItself(Wide(within), Wide(path))) return;
    CreateDirectoryW(Wide(path), nullptr);
}

bool WriteWholeFile(const char16_t* within, const char16_t* path, const unsigned char* data,
                    uint32_t size) {
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!RetryWhileHeld([&] { return CreateNew(Wide(within), Wide(path), &file); })) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, data, size, &written, nullptr) != FALSE && written == size;
    // Flushed before the move, so that a power cut after it cannot leave an
    // empty or partial script where a good one was.
    ok = ok && FlushFileBuffers(file) != FALSE;
    if (!ok) DeleteOpenFile(file);
    ok = CloseHandle(file) != FALSE && ok;
    return ok;
}

bool MoveFileOver(const char16_t* within, const char16_t* from, const char16_t* to) {
    return RetryWhileHeld([&]() -> DWORD {
        DWORD error = PrepareTarget(Wide(within), Wide(to));
        if (error != 0) return error;
        if (MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING) != FALSE) return 0;
        return GetLastError();
    });
}

void RemoveFile(const char16_t* within, const char16_t* path) {
    RemoveIfItself(Wide(within), Wide(path));
}
