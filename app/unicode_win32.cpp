// UTF-8 and ANSI conversion on Windows: the system converters.
#include "app/unicode.h"

#include <windows.h>

int Utf8ToUtf16(const char* bytes, int byteCount, char16_t* target, int capacity) {
    return MultiByteToWideChar(CP_UTF8, 0, bytes, byteCount, reinterpret_cast<wchar_t*>(target),
                               target == nullptr ? 0 : capacity);
}

int Utf16ToUtf8(const char16_t* text, char* target, int capacity) {
    return WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text), -1, target,
                               target == nullptr ? 0 : capacity, nullptr, nullptr);
}

int AnsiToUtf16(const char* bytes, int byteCount, char16_t* target, int capacity) {
    return MultiByteToWideChar(CP_ACP, 0, bytes, byteCount, reinterpret_cast<wchar_t*>(target),
                               target == nullptr ? 0 : capacity);
}

// Without WC_NO_BEST_FIT_CHARS a character the code page lacks may turn into
// a look-alike (U+FB01 into "fi"), which names something else. A system whose
// ANSI code page is UTF-8 (a Windows 10 option) refuses the flag, and has no
// character it lacks.
int Utf16ToAnsi(const char16_t* text, int unitCount, char* target, int capacity) {
    DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    return WideCharToMultiByte(CP_ACP, flags, reinterpret_cast<const wchar_t*>(text), unitCount,
                               target, target == nullptr ? 0 : capacity, nullptr, nullptr);
}
