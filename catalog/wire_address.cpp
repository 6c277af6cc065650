// The wire form of a web address, shared by both web clients.
#include "catalog/wire_address.h"

#include "app/unicode.h"

bool IsEscapedOnWire(char16_t c) {
    return c <= 0x20 || c >= 0x7F;
}

namespace {

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

// The UTF-8 bytes of the character at text (a surrogate pair together; a
// lone surrogate gives the bytes of U+FFFD, as every conversion of the
// program does), and how many units it took.
int CharacterBytes(const char16_t* text, char* bytes, int* units) {
    char16_t character[3] = {text[0], 0, 0};
    *units = 1;
    if (IsHighSurrogate(text[0]) && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
        character[1] = text[1];
        *units = 2;
    }
    int count = Utf16ToUtf8(character, bytes, 5);
    return count > 0 ? count - 1 : 0;  // without the terminator
}

// The parts of "scheme://[user[:password]@]host[:port]/path": where the
// authority starts (after "://"), where the host starts (after the last "@"
// of the authority; the authority's start when there is none) and where the
// path starts. All 0 for a text without "://".
struct AddressParts {
    int authority;
    int host;
    int path;
};

// The host and port keep their characters (a client turns a non-ASCII host
// name into its ASCII form itself).
AddressParts SplitAddress(const char16_t* address) {
    AddressParts parts = {0, 0, 0};
    int i = 0;
    while (address[i] != 0 &&
           !(address[i] == u':' && address[i + 1] == u'/' && address[i + 2] == u'/')) {
        ++i;
    }
    if (address[i] == 0) return parts;
    i += 3;
    parts.authority = parts.host = i;
    while (address[i] != 0 && address[i] != u'/' && address[i] != u'?' && address[i] != u'#') {
        if (address[i] == u'@') parts.host = i + 1;
        ++i;
    }
    parts.path = i;
    return parts;
}

}  // namespace

bool MakeWireAddress(const char16_t* address, char16_t* wire, int capacity) {
    static const char16_t digits[] = u"0123456789ABCDEF";
    if (capacity <= 0) return false;
    wire[0] = 0;
    AddressParts parts = SplitAddress(address);
    int pathStart = parts.path;
    int length = 0;
    for (int i = 0; address[i] != 0;) {
        if (i == parts.authority) i = parts.host;  // no user name or password
        // The fragment is for the reader of a page, never for the server.
        if (i >= pathStart && address[i] == u'#') break;
        // The most one character can take: four bytes, twelve units.
        if (length + 12 >= capacity) {
            wire[0] = 0;
            return false;
        }
        if (i < pathStart || !IsEscapedOnWire(address[i])) {
            wire[length++] = address[i++];
            continue;
        }
        int units = 0;
        char bytes[5];
        int count = CharacterBytes(address + i, bytes, &units);
        for (int b = 0; b < count; ++b) {
            unsigned char byte = static_cast<unsigned char>(bytes[b]);
            wire[length++] = u'%';
            wire[length++] = digits[byte >> 4];
            wire[length++] = digits[byte & 15];
        }
        i += units;
    }
    wire[length] = 0;
    return true;
}

void ShownAddress(const char16_t* address, char16_t* shown, int capacity) {
    if (capacity <= 0) return;
    AddressParts parts = SplitAddress(address);
    int colon = parts.authority;
    while (colon < parts.host && address[colon] != u':') ++colon;
    int length = 0;
    for (int i = 0; address[i] != 0 && length + 1 < capacity; ++i) {
        // A password lies between the user name's ":" and the "@".
        if (colon + 1 < parts.host && i == colon + 1) {
            for (const char16_t* mask = u"***"; *mask != 0 && length + 1 < capacity; ++mask) {
                shown[length++] = *mask;
            }
            i = parts.host - 2;  // the loop goes on at the "@"
            continue;
        }
        shown[length++] = address[i];
    }
    shown[length] = 0;
}
