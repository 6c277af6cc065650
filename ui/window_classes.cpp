// The windows' half of start-up: their classes, and the main window centred
// on the work area at the screen's scale. The start-up (app/startup_win32)
// calls these in its order without knowing any window's header.
#include "ui/window_classes.h"

#include "app/dpi_win32.h"
#include "app/resources_win32.h"
#include "app/shared_state.h"
#include "app/startup_win32.h"
#include "ui/main_window.h"
#include "ui/picker.h"
#include "ui/scale.h"

// A fixed-size window: no sizing frame and no maximise box.
static const DWORD MainWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

static HICON LoadAppIconSized(int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageW(AppInstance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

// Registers ZentoUpdaterWindow, then ZentoUpdaterPicker, with AppInstance.
// The results are not examined: a second registration simply fails.
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
    // Sized for the screen's DPI; a window that opens on a monitor of
    // another scale adopts its own DPI while it is being created.
    SetLayoutDpi(SystemDpi());
    RECT frame;
    SetRect(&frame, 0, 0, Scaled(CLIENT_WIDTH), Scaled(CLIENT_HEIGHT));
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
