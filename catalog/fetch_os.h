// The platform halves of FetchResource: fetch_win32.cpp (WinINet, CreateFileW)
// and fetch_posix.cpp (libcurl, open/read). server.cpp picks one by the
// address; both follow FetchResource's contract, with *size already 0.
#ifndef UPDATER_CATALOG_FETCH_OS_H
#define UPDATER_CATALOG_FETCH_OS_H

#include <stdint.h>

// An http:// or https:// address, with its own connection each call.
unsigned char* FetchFromWeb(const char16_t* address, uint32_t* size, int progressIndex);

// A file path; one read, one progress message once the file is open.
unsigned char* FetchFromFolder(const char16_t* path, uint32_t* size, int progressIndex);

#endif  // UPDATER_CATALOG_FETCH_OS_H
