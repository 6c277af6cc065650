// The platform halves of FetchResource: fetch_win32.cpp (WinINet, CreateFileW)
// and fetch_posix.cpp (libcurl, open/read). server.cpp picks one by the
// address; both follow FetchResource's contract, with *size already 0, under
// the caller's terms (never null here).
#ifndef UPDATER_CATALOG_FETCH_OS_H
#define UPDATER_CATALOG_FETCH_OS_H

#include <stdint.h>

#include "catalog/server.h"

// An http:// or https:// address. A connection may stay open for the next
// fetch of the same thread (a download run), to the same server only.
unsigned char* FetchFromWeb(const char16_t* address, uint32_t* size, int progressIndex,
                            const FetchTerms* terms);

// A file path; one read, one progress message once the file is open. A file
// larger than terms->maxBytes is refused before it is read.
unsigned char* FetchFromFolder(const char16_t* path, uint32_t* size, int progressIndex,
                               const FetchTerms* terms);

#endif  // UPDATER_CATALOG_FETCH_OS_H
