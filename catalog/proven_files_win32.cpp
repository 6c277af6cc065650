// The record of proven files on Windows: a folder is listed with
// GetFileInformationByHandleEx(FileIdBothDirectoryInfo), which hands back
// every entry's size, times and file id a buffer at a time, so a folder
// costs a few calls instead of an open, a read and a close per file. Records
// live in the program's own folder under the user's local application data.
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <string>
#include <unordered_map>

#include "catalog/proven_files_os.h"

struct FolderFacts {
    std::unordered_map<std::u16string, FileFacts> files;
};

namespace {

enum { LISTING_BUFFER_BYTES = 65536 };

// FOLDERID_LocalAppData, written out so that no GUID library is linked.
const GUID LocalAppDataId = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};

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
    PWSTR base = nullptr;
    HRESULT result = SHGetKnownFolderPath(LocalAppDataId, 0, nullptr, &base);
    if (SUCCEEDED(result) && base != nullptr) {
        *folder = reinterpret_cast<const char16_t*>(base);
        *folder += u"\\ZentoUpdater";
    }
    CoTaskMemFree(base);  // also after a failure, as the call asks
    if (FAILED(result)) return false;
    return CreateDirectoryW(Wide(folder->c_str()), nullptr) ||
           GetLastError() == ERROR_ALREADY_EXISTS;
}

bool ReadRecordFile(const std::u16string& path, uint32_t maxBytes, std::string* bytes) {
    HANDLE file = CreateFileW(Wide(path.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart >= 0 &&
              static_cast<uint64_t>(size.QuadPart) <= maxBytes;
    if (ok) {
        bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
        DWORD got = 0;
        ok = bytes->empty() ||
             (ReadFile(file, &(*bytes)[0], static_cast<DWORD>(bytes->size()), &got, nullptr) &&
              got == bytes->size());
    }
    CloseHandle(file);
    return ok;
}

// The temporary name carries the process id, so two runs never write into
// one file; the move replaces the record in one step. No flush: a record cut
// by a power loss fails its checksum and costs one full check.
bool ReplaceRecordFile(const std::u16string& path, const std::string& bytes) {
    std::wstring id = std::to_wstring(GetCurrentProcessId());
    std::u16string temporary = path + u"." + std::u16string(id.begin(), id.end()) + u".tmp";
    HANDLE file = CreateFileW(Wide(temporary.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD wrote = 0;
    bool ok = bytes.empty() ||
              (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
               wrote == bytes.size());
    ok = CloseHandle(file) && ok;
    ok = ok && MoveFileExW(Wide(temporary.c_str()), Wide(path.c_str()), MOVEFILE_REPLACE_EXISTING);
    if (!ok) DeleteFileW(Wide(temporary.c_str()));
    return ok;
}
