// The program's folder under the user's Local AppData, on Windows.
#include "app/local_data.h"

#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include "app/text.h"

static const char16_t ProgramFolderName[] = u"\\ZentoUpdater";

bool OsLocalDataFolder(char16_t* buffer, int capacity) {
    buffer[0] = 0;
    PWSTR base = nullptr;
    // The caller frees the path whether the call succeeded or not.
    HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &base);
    bool fits = SUCCEEDED(result) && base != nullptr &&
                lstrlenW(base) + TextLength(ProgramFolderName) < capacity;
    if (fits) {
        TextCopy(buffer, capacity, reinterpret_cast<const char16_t*>(base));
        TextAppend(buffer, capacity, ProgramFolderName);
    }
    CoTaskMemFree(base);
    if (!fits) return false;
    if (CreateDirectoryW(reinterpret_cast<const wchar_t*>(buffer), nullptr) ||
        GetLastError() == ERROR_ALREADY_EXISTS) {
        return true;
    }
    buffer[0] = 0;
    return false;
}
