// Program paths to native POSIX paths and back.
#include "app/path_posix.h"

#include <vector>

#include "app/text.h"
#include "app/unicode.h"

std::string NativePath(const char16_t* path) {
    int size = Utf16ToUtf8(path, nullptr, 0);
    std::vector<char> bytes(static_cast<size_t>(size > 0 ? size : 1), 0);
    if (size > 0) Utf16ToUtf8(path, bytes.data(), size);
    std::string native(bytes.data());
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    return native;
}

void ProgramPath(const char* nativePath, char16_t* buffer, int capacity) {
    int size = Utf8ToUtf16(nativePath, -1, nullptr, 0);
    std::vector<char16_t> units(static_cast<size_t>(size > 0 ? size : 1), 0);
    if (size > 0) Utf8ToUtf16(nativePath, -1, units.data(), size);
    TextCopy(buffer, capacity, units.data());
    TextReplaceChar(buffer, u'/', u'\\');
}

bool ProgramPathFits(const char* nativePath, char16_t* buffer, int capacity) {
    int size = Utf8ToUtf16(nativePath, -1, nullptr, 0);
    if (size <= 0 || size > capacity) {
        buffer[0] = 0;
        return false;
    }
    ProgramPath(nativePath, buffer, capacity);
    return true;
}
