// A web address as both web clients put it on the wire: the characters of
// its path outside printable ASCII written as %XX escapes of their UTF-8
// bytes (so "é" goes out as %C3%A9), the scheme and host left as they are,
// and the fragment (from a "#" on) and any user name and password
// ("user:secret@") left off: neither is ever sent. Credentials in an address
// would go out in the clear over http and to whatever host a redirect names,
// and they are shown and kept in updater.ini as plain text; so neither build
// sends them (a server that asks for them answers 401: a failed fetch).
//
// Handed the raw characters, Wine's WinINet sends the path in the ANSI code
// page without escaping ("é" as the single byte E9, and a character the code
// page lacks as "?", which turns the rest of the path into a query), so the
// Windows build escapes first too and both builds send the same request.
#ifndef UPDATER_CATALOG_WIRE_ADDRESS_H
#define UPDATER_CATALOG_WIRE_ADDRESS_H

enum {
    // Enough for an address of the download worker's 1400 units with every
    // unit escaped (a unit gives at most three UTF-8 bytes, nine characters).
    WIRE_ADDRESS_CAPACITY = 12800,
};

// Characters of a path that go out as %XX escapes of their UTF-8 bytes:
// spaces, control characters and everything outside ASCII.
bool IsEscapedOnWire(char16_t c);

// Writes the wire form of address into wire (capacity units, terminator
// included). Returns false, with wire empty, when it does not fit: an
// address is never sent cut.
bool MakeWireAddress(const char16_t* address, char16_t* wire, int capacity);

// The address as the program shows it (in a notice, in catalog-tool's
// findings): the password of a "user:password@" part replaced by "***",
// everything else as it is. Always terminated; cut at capacity.
void ShownAddress(const char16_t* address, char16_t* shown, int capacity);

#endif  // UPDATER_CATALOG_WIRE_ADDRESS_H
