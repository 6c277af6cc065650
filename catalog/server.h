// Server access: the address of an entry under ServerUrl, and fetching one
// entry into memory over HTTP or HTTPS, or from a plain folder.
//
// Layout under ServerUrl: scripts.txt directly under it, and every file of a
// script under the script's name at its relative path.
#ifndef UPDATER_CATALOG_SERVER_H
#define UPDATER_CATALOG_SERVER_H

#include <stdint.h>

// True when text begins with "http://" or "https://", in any case.
// Anything else, the empty text included, is a folder path.
bool IsWebAddress(const char16_t* text);

// Writes the address of relativePath under ServerUrl into buffer: ServerUrl
// without trailing slashes, the separator ('/' for a web address, '\' for a
// folder), then relativePath with every slash turned into the separator and,
// for a web address, space, '#', '%' and '+' escaped. Always terminated;
// silently cut when the buffer is too small.
void BuildResourceAddress(char16_t* buffer, int capacity, const char16_t* relativePath);

// Fetches the whole content at address. Returns a heap block (release it
// with free) holding the content and one zero byte after it, with *size the
// number of content bytes; null when nothing usable arrived (*size is then
// 0). progressIndex 0 or 1 posts WM_APP_PROGRESS for that bar while reading;
// a negative value posts nothing. A web fetch stops, returning null, when it
// finds CancelFlag set before a read.
unsigned char* FetchResource(const char16_t* address, uint32_t* size, int progressIndex);

#endif  // UPDATER_CATALOG_SERVER_H
