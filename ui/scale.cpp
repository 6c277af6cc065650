// Display scaling of the layout.
#include "ui/scale.h"

#include "app/dpi_win32.h"

static UINT CurrentDpi = BASE_DPI;

UINT LayoutDpi() {
    return CurrentDpi;
}

void SetLayoutDpi(UINT dpi) {
    CurrentDpi = dpi;
}

int Scaled(int figure) {
    return MulDiv(figure, static_cast<int>(CurrentDpi), BASE_DPI);
}

float ScaledRadius(float radius) {
    return radius * static_cast<float>(CurrentDpi) / BASE_DPI;
}

RECT ControlBounds(int id) {
    RECT bounds = {};
    for (const ControlFigures& control : ControlLayout) {
        if (control.id != id) continue;
        bounds.left = Scaled(control.x);
        bounds.top = Scaled(control.y);
        bounds.right = bounds.left + Scaled(control.width);
        bounds.bottom = bounds.top + Scaled(control.height);
    }
    return bounds;
}
