// Start-up: the entry's steps before its message loop, which the window
// tests take too.
#include "app/startup_win32.h"

#include <commctrl.h>

#include "app/resources_win32.h"
#include "app/settings.h"

void PrepareStartUp(HINSTANCE instance, const char16_t* executablePath) {
    static bool resourcesMade = false;
    KeepLibrarySearchToSystemFolder();
    AppInstance = instance;
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    if (executablePath == nullptr) {
        LoadSettings();
    } else {
        ResolveSettings(executablePath);
    }
    if (resourcesMade) return;
    resourcesMade = true;
    CreateStartupResources();
    RegisterWindowClasses();
}

HWND StartUp(HINSTANCE instance, const char16_t* executablePath) {
    PrepareStartUp(instance, executablePath);
    return CreateMainWindow();
}
