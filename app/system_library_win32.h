// Loading a library of the system by its full name in the system folder.
//
// A library loaded by a bare name, or named in the program's import table,
// is looked for beside the program first unless it is one of the system's
// KnownDLLs. A file of that name beside Updater.exe, say in a Downloads
// folder, would then run inside it. So every library that is not a KnownDLL
// on every supported Windows (wininet.dll and bcrypt.dll among them; the
// common controls come through the manifest's side-by-side activation) is
// loaded here, at run time, and its entry points are looked up one by one.
#ifndef UPDATER_APP_SYSTEM_LIBRARY_WIN32_H
#define UPDATER_APP_SYSTEM_LIBRARY_WIN32_H

#include <windows.h>

// Loads name (a bare file name such as L"wininet.dll") from the system
// folder; the libraries it needs in turn are looked for there first as well.
// Null when it is not there; the callers then go on without it.
HMODULE LoadSystemLibrary(const wchar_t* name);

// The address of an exported name as a function pointer of type Function;
// null when library is null or lacks the name.
template <typename Function>
bool BindEntry(HMODULE library, const char* name, Function* entry) {
    FARPROC found = library != nullptr ? GetProcAddress(library, name) : nullptr;
    // Through void (*)() the cast to the real signature is warning-free on
    // every compiler.
    *entry = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
    return found != nullptr;
}

#endif  // UPDATER_APP_SYSTEM_LIBRARY_WIN32_H
