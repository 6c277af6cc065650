// UTF-8 and UTF-16 texts of catalog-tool.
#include "tools/catalog_tool/tool_text.h"

#include "app/unicode.h"

std::u16string Utf16Of(const std::string& utf8) {
    int units = Utf8ToUtf16(utf8.c_str(), -1, nullptr, 0);
    if (units <= 0) return std::u16string();
    std::u16string text(static_cast<size_t>(units), u'\0');
    Utf8ToUtf16(utf8.c_str(), -1, &text[0], units);
    text.resize(static_cast<size_t>(units - 1));  // the terminator
    return text;
}

std::string Utf8Of(const std::u16string& text) {
    int size = Utf16ToUtf8(text.c_str(), nullptr, 0);
    if (size <= 0) return std::string();
    std::string bytes(static_cast<size_t>(size), '\0');
    Utf16ToUtf8(text.c_str(), &bytes[0], size);
    bytes.resize(static_cast<size_t>(size - 1));
    return bytes;
}
