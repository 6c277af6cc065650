// MD5 digests, the platform half: CryptoAPI on Windows (hash_win32.cpp),
// OpenSSL's EVP interface on POSIX (hash_posix.cpp). Digests are written as
// 32 upper-case hexadecimal digits and a terminator (DIGEST_CAPACITY units).
#ifndef UPDATER_CATALOG_HASH_OS_H
#define UPDATER_CATALOG_HASH_OS_H

#include <stddef.h>

// Returns 0 when the file cannot be opened for reading (absent, a folder,
// unreadable), with digest empty; otherwise 1, with digest holding the
// file's MD5, or empty when computing it failed. One 64 KiB buffer, no
// allocation per file.
int HashLocalFile(const char16_t* path, char16_t* digest);

// Whether HashLocalFile could open the file, without reading it.
bool LocalFileOpens(const char16_t* path);

// The MD5 of size bytes at data. Returns false (digest empty) on failure.
bool HashBytes(const void* data, size_t size, char16_t* digest);

// Frees what the crypto library keeps for the calling thread (OpenSSL's
// per-thread state on POSIX; nothing on Windows). A worker calls it before
// its final message: the thread may still be ending when the process exits
// right after that message, and state freed only by the thread's own exit
// would then be left behind.
void ReleaseThreadCryptoState();

#endif  // UPDATER_CATALOG_HASH_OS_H
