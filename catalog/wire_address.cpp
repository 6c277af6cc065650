// The wire form of a web address, shared by both web clients.
#include "catalog/wire_address.h"

#include <stdint.h>

namespace {

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The code point starting at text, and how many units it took. A lone
// surrogate stands for U+FFFD, as in every other UTF-8 conversion of the
// program.
uint32_t CodePointAt(const char16_t* text, int* units) {
    *units = 1;
    if (IsHighSurrogate(text[0]) && IsLowSurrogate(text[1])) {
        *units = 2;
        return 0x10000u + ((static_cast<uint32_t>(text[0]) - 0xD800u) << 10) +
               (static_cast<uint32_t>(text[1]) - 0xDC00u);
    }
    if (IsHighSurrogate(text[0]) || IsLowSurrogate(text[0])) return 0xFFFD;
    return text[0];
}

int EncodeUtf8(uint32_t code, unsigned char* bytes) {
    if (code < 0x80) {
        bytes[0] = static_cast<unsigned char>(code);
        return 1;
    }
    if (code < 0x800) {
        bytes[0] = static_cast<unsigned char>(0xC0 | (code >> 6));
        bytes[1] = static_cast<unsigned char>(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        bytes[0] = static_cast<unsigned char>(0xE0 | (code >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((code >> 6) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | (code & 0x3F));
        return 3;
    }
    bytes[0] = static_cast<unsigned char>(0xF0 | (code >> 18));
    bytes[1] = static_cast<unsigned char>(0x80 | ((code >> 12) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | ((code >> 6) & 0x3F));
    bytes[3] = static_cast<unsigned char>(0x80 | (code & 0x3F));
    return 4;
}

// Spaces and control characters cannot stand in a request line either.
bool NeedsEscape(char16_t c) {
    return c <= 0x20 || c >= 0x7F;
}

// Where the path begins: after "scheme://" and the host (and port), which
// keep their characters (a client turns a non-ASCII host name into its
// ASCII form itself).
int PathStart(const char16_t* address) {
    int i = 0;
    while (address[i] != 0 &&
           !(address[i] == u':' && address[i + 1] == u'/' && address[i + 2] == u'/')) {
        ++i;
    }
    if (address[i] == 0) return 0;
    i += 3;
    while (address[i] != 0 && address[i] != u'/' && address[i] != u'?' && address[i] != u'#') {
        ++i;
    }
    return i;
}

}  // namespace

bool MakeWireAddress(const char16_t* address, char16_t* wire, int capacity) {
    static const char16_t digits[] = u"0123456789ABCDEF";
    if (capacity <= 0) return false;
    wire[0] = 0;
    int pathStart = PathStart(address);
    int length = 0;
    for (int i = 0; address[i] != 0;) {
        // The fragment is for the reader of a page, never for the server.
        if (i >= pathStart && address[i] == u'#') break;
        // The most one character can take: four bytes, twelve units.
        if (length + 12 >= capacity) {
            wire[0] = 0;
            return false;
        }
        if (i < pathStart || !NeedsEscape(address[i])) {
            wire[length++] = address[i++];
            continue;
        }
        int units = 0;
        unsigned char bytes[4];
        int count = EncodeUtf8(CodePointAt(address + i, &units), bytes);
        for (int b = 0; b < count; ++b) {
            wire[length++] = u'%';
            wire[length++] = digits[bytes[b] >> 4];
            wire[length++] = digits[bytes[b] & 15];
        }
        i += units;
    }
    wire[length] = 0;
    return true;
}
