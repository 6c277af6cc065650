// The process entry: common controls, settings, resources, the two window
// classes, the main window centred on the work area, and the message loop.
// Nothing is released at exit; the process simply ends.
#include "app/main_win32.h"

#include <commctrl.h>

#include "app/resources_win32.h"
#include "app/settings.h"
#include "app/shared_state.h"
#include "ui/main_window.h"
#include "ui/picker.h"

const wchar_t MainWindowClass[] = L"ZentoUpdaterWindow";
const wchar_t PickerWindowClass[] = L"ZentoUpdaterPicker";
const wchar_t MainWindowTitle[] = L"Zentora Script Updater - by Morvane";

// A fixed-size window: no sizing frame and no maximise box.
static const DWORD MainWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

static HICON LoadAppIconSized(int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageW(AppInstance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

void RegisterWindowClasses() {
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);

    WNDCLASSEXW mainClass = {};
    mainClass.cbSize = sizeof mainClass;
    mainClass.lpfnWndProc = MainWindowProc;
    mainClass.hInstance = AppInstance;
    mainClass.hIcon = LoadAppIconSized(SM_CXICON, SM_CYICON);
    mainClass.hIconSm = LoadAppIconSized(SM_CXSMICON, SM_CYSMICON);
    mainClass.hCursor = arrow;
    mainClass.lpszClassName = MainWindowClass;
    RegisterClassExW(&mainClass);

    WNDCLASSEXW pickerClass = {};
    pickerClass.cbSize = sizeof pickerClass;
    pickerClass.style = CS_DROPSHADOW;
    pickerClass.lpfnWndProc = PickerWindowProc;
    pickerClass.hInstance = AppInstance;
    pickerClass.hCursor = arrow;
    pickerClass.lpszClassName = PickerWindowClass;
    RegisterClassExW(&pickerClass);
}

POINT CenteredOrigin(const RECT& workArea, int width, int height) {
    POINT origin;
    origin.x = workArea.left + (workArea.right - workArea.left - width) / 2;
    origin.y = workArea.top + (workArea.bottom - workArea.top - height) / 2;
    return origin;
}

HWND CreateMainWindow() {
    RECT workArea;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    RECT frame;
    SetRect(&frame, 0, 0, CLIENT_WIDTH, CLIENT_HEIGHT);
    AdjustWindowRect(&frame, MainWindowStyle, FALSE);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    POINT origin = CenteredOrigin(workArea, width, height);
    // The window procedure stores its own handle as MainWindow while it is
    // being created; that, not this call's result, is what counts.
    CreateWindowExW(0, MainWindowClass, MainWindowTitle, MainWindowStyle, origin.x, origin.y, width,
                    height, nullptr, nullptr, AppInstance, nullptr);
    return static_cast<HWND>(MainWindow);
}

void RunMessageLoop() {
    MSG message;
    // GetMessageW gives 0 for the quit message and -1 for an error; both end it.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(static_cast<HWND>(MainWindow), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    KeepLibrarySearchToSystemFolder();
    AppInstance = instance;
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    LoadSettings();
    CreateStartupResources();
    RegisterWindowClasses();
    HWND window = CreateMainWindow();
    if (window == nullptr) return 1;
    ShowWindow(window, showCommand);
    RunMessageLoop();
    return 0;
}
