// The record of proven files on Windows: a folder is listed with
// GetFileInformationByHandleEx(FileIdBothDirectoryInfo), which hands back
// every entry's size, times and file id a buffer at a time, so a folder
// costs a few calls instead of an open, a read and a close per file. Records
// live in the program's own folder under the user's local application data.
#include <windows.h>

#include <string>
#include <unordered_map>

#include "app/local_data.h"
#include "catalog/proven_files_os.h"

struct FolderFacts {
    std::unordered_map<std::u16string, FileFacts> files;
};

namespace {

enum { LISTING_BUFFER_BYTES = 65536 };

const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

uint64_t Value(const LARGE_INTEGER& value) {
    return static_cast<uint64_t>(value.QuadPart);
}

// A link or another reparse point is read through to something else than
// what the entry describes; a name ending in a dot or a space is one that
// CreateFileW would open under another name. Both are left to the hash.
bool IsPlainFileEntry(const FILE_ID_BOTH_DIR_INFO& entry) {
    const DWORD notPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                           FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_OFFLINE;
    size_t length = entry.FileNameLength / sizeof(WCHAR);
    if ((entry.FileAttributes & notPlain) != 0 || length == 0) return false;
    WCHAR last = entry.FileName[length - 1];
    return last != L'.' && last != L' ';
}

// Takes the entries of one buffer; returns how many of its bytes they use.
size_t TakeEntries(const unsigned char* buffer, FolderFacts* folder) {
    size_t offset = 0;
    for (;;) {
        const FILE_ID_BOTH_DIR_INFO& entry =
            *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
        if (IsPlainFileEntry(entry)) {
            std::u16string name(reinterpret_cast<const char16_t*>(entry.FileName),
                                entry.FileNameLength / sizeof(WCHAR));
            FileFacts facts = {Value(entry.EndOfFile), Value(entry.LastWriteTime),
                               Value(entry.ChangeTime), Value(entry.FileId)};
            folder->files[name] = facts;
        }
        if (entry.NextEntryOffset == 0) {
            return offset + FIELD_OFFSET(FILE_ID_BOTH_DIR_INFO, FileName) + entry.FileNameLength;
        }
        offset += entry.NextEntryOffset;
        if (offset >= LISTING_BUFFER_BYTES) return LISTING_BUFFER_BYTES;
    }
}

// Lists every entry; false when the listing broke off (the folder is then
// read file by file, as without a record). A buffer with room left for one
// more entry of the longest name already held the rest of the folder, so
// the call that would only answer "no more files" is saved: under Wine it
// costs a tenth of the listing. Should a file system stop short anyway,
// the names it left out are merely read in full.
bool ListFolder(HANDLE handle, FolderFacts* folder) {
    // DWORD-aligned as the entries require (8 bytes for the 64-bit fields).
    static_assert(LISTING_BUFFER_BYTES % sizeof(ULONGLONG) == 0, "whole words");
    ULONGLONG buffer[LISTING_BUFFER_BYTES / sizeof(ULONGLONG)];
    const size_t roomForAnyEntry = sizeof(FILE_ID_BOTH_DIR_INFO) + MAX_PATH * sizeof(WCHAR);
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(handle, kind, buffer, sizeof buffer)) {
            return GetLastError() == ERROR_NO_MORE_FILES;
        }
        size_t used = TakeEntries(reinterpret_cast<const unsigned char*>(buffer), folder);
        if (used + roomForAnyEntry <= LISTING_BUFFER_BYTES) return true;
        kind = FileIdBothDirectoryInfo;
    }
}

}  // namespace

FolderFacts* ReadFolderFacts(const char16_t* folder) {
    HANDLE handle = CreateFileW(Wide(folder), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    FolderFacts* facts = new FolderFacts;
    bool listed = ListFolder(handle, facts);
    CloseHandle(handle);
    if (!listed) {
        delete facts;
        return nullptr;
    }
    return facts;
}

// The name must be the entry's exactly: a name that differs in case only is
// the same file on most folders but not on all, and is left to the hash.
bool LookUpFileFacts(FolderFacts* folder, const char16_t* name, FileFacts* facts) {
    if (folder == nullptr) return false;
    auto found = folder->files.find(name);
    if (found == folder->files.end()) return false;
    *facts = found->second;
    return true;
}

void ReleaseFolderFacts(FolderFacts* folder) {
    delete folder;
}

uint64_t FileClockNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

bool UserRecordFolder(std::u16string* folder) {
    char16_t path[MAX_PATH];
    if (!OsLocalDataFolder(path, MAX_PATH)) return false;
    *folder = path;
    return true;
}

