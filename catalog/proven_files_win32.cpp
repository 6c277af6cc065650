// The record of proven files on Windows: a folder is listed with
// GetFileInformationByHandleEx(FileIdBothDirectoryInfo), which hands back
// every entry's size, times and file id a buffer at a time, so a folder
// costs a few calls instead of an open, a read and a close per file. Under
// Wine a file is also asked by name (NtQueryFullAttributesFile), which Wine
// answers without its server. Records live in the program's own folder
// under the user's local application data.
#include <windows.h>
#include <winternl.h>

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
bool EndsPlainly(const WCHAR* name, size_t length) {
    return length != 0 && name[length - 1] != L'.' && name[length - 1] != L' ';
}

bool HasPlainAttributes(DWORD attributes, bool asFolder) {
    const DWORD neither = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE |
                          FILE_ATTRIBUTE_OFFLINE;
    bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return (attributes & neither) == 0 && folder == asFolder;
}

bool IsPlainFileEntry(const FILE_ID_BOTH_DIR_INFO& entry) {
    return HasPlainAttributes(entry.FileAttributes, false) &&
           EndsPlainly(entry.FileName, entry.FileNameLength / sizeof(WCHAR));
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

namespace {

// FILE_NETWORK_OPEN_INFORMATION, which the user-mode headers lack.
struct NetworkOpenInformation {
    LARGE_INTEGER creationTime;
    LARGE_INTEGER lastAccessTime;
    LARGE_INTEGER lastWriteTime;
    LARGE_INTEGER changeTime;
    LARGE_INTEGER allocationSize;
    LARGE_INTEGER endOfFile;
    ULONG fileAttributes;
};

typedef LONG(NTAPI* QueryFullAttributesCall)(POBJECT_ATTRIBUTES, NetworkOpenInformation*);

HMODULE SystemLayer() {
    return GetModuleHandleW(L"ntdll.dll");
}

QueryFullAttributesCall QueryFullAttributes() {
    static const QueryFullAttributesCall call = reinterpret_cast<QueryFullAttributesCall>(
        reinterpret_cast<void*>(GetProcAddress(SystemLayer(), "NtQueryFullAttributesFile")));
    return call;
}

enum { SYSTEM_NAME_CAPACITY = 8 + MAX_PATH };

// The system's own name of a program path, X:\... or \\server\share\...,
// into name; its length, or 0 for any other form or length (the file is
// then listed instead).
size_t SystemNameOf(const char16_t* path, WCHAR (&name)[SYSTEM_NAME_CAPACITY]) {
    const WCHAR* text = Wide(path);
    size_t length = wcslen(text);
    const WCHAR* prefix;
    if (length >= 3 && text[1] == L':' && text[2] == L'\\') {
        prefix = L"\\??\\";
    } else if (length >= 3 && text[0] == L'\\' && text[1] == L'\\' && text[2] != L'?' &&
               text[2] != L'.') {
        prefix = L"\\??\\UNC";
        ++text;  // one backslash of the two stays
        --length;
    } else {
        return 0;
    }
    size_t prefixLength = wcslen(prefix);
    if (prefixLength + length >= SYSTEM_NAME_CAPACITY) return 0;
    wmemcpy(name, prefix, prefixLength);
    wmemcpy(name + prefixLength, text, length + 1);
    return prefixLength + length;
}

}  // namespace

bool NamedFactsCostLess() {
    static const bool underWine =
        GetProcAddress(SystemLayer(), "wine_get_version") != nullptr && QueryFullAttributes();
    return underWine;
}

bool ReadNamedFacts(const char16_t* path, bool asFolder, FileFacts* facts) {
    WCHAR name[SYSTEM_NAME_CAPACITY];
    size_t length = SystemNameOf(path, name);
    QueryFullAttributesCall query = QueryFullAttributes();
    if (length == 0 || !EndsPlainly(name, length) || query == nullptr) return false;
    UNICODE_STRING unicodeName;
    unicodeName.Buffer = name;
    unicodeName.Length = unicodeName.MaximumLength = static_cast<USHORT>(length * sizeof(WCHAR));
    // Without regard to case, as CreateFileW opens the file it hashes.
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &unicodeName, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    NetworkOpenInformation information;
    if (query(&attributes, &information) < 0 ||
        !HasPlainAttributes(information.fileAttributes, asFolder)) {
        return false;
    }
    *facts = {Value(information.endOfFile), Value(information.lastWriteTime),
              Value(information.changeTime), 0};
    return true;
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

