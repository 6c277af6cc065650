// The main window's controls come from the common controls version 6 by
// the activation context Windows makes from the program's own manifest
// (resource 1) when it starts the process; the program never activates a
// context itself. This test program carries the same resources as
// Updater.exe, so what holds here holds there.
#include <windows.h>

#include "app/shared_state.h"
#include "tests/ui_support/test_window.h"

namespace {

HMODULE ModuleOf(const void* address) {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<const wchar_t*>(address), &module);
    return module;
}

// The module of a control's class procedure (a subclass's procedure, as on
// the owner-drawn buttons, would only name this program).
HMODULE ClassModule(HWND control) {
    return ModuleOf(reinterpret_cast<const void*>(GetClassLongPtrW(control, GCLP_WNDPROC)));
}

// comctl32 as an explicit activation of the program's manifest gives it.
// Identifier 2 is used here so that the answer does not depend on the
// identifier-1 manifest the process was started with.
HMODULE CommonControlsOfTheManifest() {
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    ACTCTXW request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    request.lpSource = program;
    request.hModule = GetModuleHandleW(nullptr);
    request.lpResourceName = MAKEINTRESOURCEW(2);
    HANDLE context = CreateActCtxW(&request);
    if (context == INVALID_HANDLE_VALUE) return nullptr;
    HMODULE library = nullptr;
    ULONG_PTR cookie = 0;
    if (ActivateActCtx(context, &cookie)) {
        library = LoadLibraryW(L"comctl32.dll");
        DeactivateActCtx(0, cookie);
    }
    ReleaseActCtx(context);
    return library;
}

// True when module is comctl32 from the system folder, the version 5 that a
// process without the manifest gets. Version 6 lives in the side-by-side
// store (WinSxS) on Windows and under Wine alike. Its DllGetVersion is no
// help: Wine's version 6 answers 5.81.
bool IsSystemFolderCopy(HMODULE module) {
    wchar_t loaded[MAX_PATH];
    wchar_t system[MAX_PATH];
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (GetModuleFileNameW(module, loaded, MAX_PATH) == 0 || length == 0 ||
        length + 14 >= MAX_PATH) {
        return true;
    }
    lstrcpyW(system + length, L"\\comctl32.dll");
    return lstrcmpiW(loaded, system) == 0;
}

class CommonControlsTest : public WindowTest {};

TEST_F(CommonControlsTest, EditAndButtonAreVersionSixByTheProcessManifest) {
    HMODULE versionSix = CommonControlsOfTheManifest();
    ASSERT_NE(versionSix, nullptr);
    ASSERT_FALSE(IsSystemFolderCopy(versionSix));

    // Nothing is activated explicitly: only the process's default context
    // stands behind the controls made below.
    HANDLE active = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(GetCurrentActCtx(&active));
    EXPECT_EQ(active, nullptr);

    UseServer(u"");
    ASSERT_NE(OpenMainWindow(), nullptr);
    const struct {
        int id;
        const char* what;
    } controls[] = {
        {ID_DETAILS, "the details pane (EDIT)"},
        {ID_DOWNLOAD, "the Download button (BUTTON)"},
        {ID_CLOSE, "the Close button (BUTTON)"},
        {ID_FILE_LIST, "the file list"},
    };
    for (const auto& control : controls) {
        EXPECT_EQ(ClassModule(Control(control.id)), versionSix) << control.what;
    }
}

}  // namespace
