// A library that looks like gdiplus.dll only in part, for the binding tests.
// Built twice: with GDIPLUS_FIRST_THREE_ONLY it exports the first three
// names of the binding order and lacks the fourth; without it, it exports
// all sixteen but its GdiplusStartup refuses (returns GenericError, 1).
#include <windows.h>

#define EXPORTED extern "C" __declspec(dllexport)

EXPORTED int WINAPI GdiplusStartup(ULONG_PTR*, const void*, void*) {
    return 1;
}
EXPORTED int WINAPI GdipCreateFromHDC(HDC, void**) {
    return 1;
}
EXPORTED int WINAPI GdipSetSmoothingMode(void*, int) {
    return 1;
}

#ifndef GDIPLUS_FIRST_THREE_ONLY
EXPORTED int WINAPI GdipCreatePath(int, void**) {
    return 1;
}
EXPORTED int WINAPI GdipAddPathArc(void*, float, float, float, float, float, float) {
    return 1;
}
EXPORTED int WINAPI GdipClosePathFigure(void*) {
    return 1;
}
EXPORTED int WINAPI GdipCreateSolidFill(UINT32, void**) {
    return 1;
}
EXPORTED int WINAPI GdipCreateLineBrush(const void*, const void*, UINT32, UINT32, int, void**) {
    return 1;
}
EXPORTED int WINAPI GdipFillPath(void*, void*, void*) {
    return 1;
}
EXPORTED int WINAPI GdipCreatePen1(UINT32, float, int, void**) {
    return 1;
}
EXPORTED int WINAPI GdipDrawPath(void*, void*, void*) {
    return 1;
}
EXPORTED int WINAPI GdipFillPolygon(void*, void*, const void*, int, int) {
    return 1;
}
EXPORTED int WINAPI GdipDeleteBrush(void*) {
    return 1;
}
EXPORTED int WINAPI GdipDeletePen(void*) {
    return 1;
}
EXPORTED int WINAPI GdipDeletePath(void*) {
    return 1;
}
EXPORTED int WINAPI GdipDeleteGraphics(void*) {
    return 1;
}
#endif
