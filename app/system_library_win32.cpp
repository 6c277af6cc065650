// Loading the system's libraries by their full names.
#include "app/system_library_win32.h"

#include <wchar.h>

HMODULE LoadSystemLibrary(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    UINT folderLength = GetSystemDirectoryW(path, MAX_PATH);
    size_t nameLength = wcslen(name);
    // 0 is a failure, a length of MAX_PATH or more a folder that did not fit.
    if (folderLength == 0 || folderLength + 1 + nameLength >= MAX_PATH) return nullptr;
    path[folderLength] = L'\\';
    wmemcpy(path + folderLength + 1, name, nameLength + 1);
    // With a full name, this flag makes the library's own imports be looked
    // for beside it (the system folder) rather than beside the program.
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
