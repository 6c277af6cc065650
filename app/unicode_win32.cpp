// UTF-8 conversion on Windows: the system converters, no flags.
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
