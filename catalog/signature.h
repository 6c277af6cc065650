// Signature and SHA-256 primitives, the platform half: Windows CNG
// (bcrypt.dll, signature_win32.cpp) and OpenSSL on POSIX
// (signature_posix.cpp). Signatures are ECDSA over the NIST P-256 curve with
// SHA-256, in their raw form: r and s as 32 big-endian bytes each. A public
// key is the curve point's X and Y, 32 big-endian bytes each.
#ifndef UPDATER_CATALOG_SIGNATURE_H
#define UPDATER_CATALOG_SIGNATURE_H

#include <stddef.h>

enum {
    SHA256_BYTES = 32,
    PUBLIC_KEY_BYTES = 64,
    SIGNATURE_BYTES = 64,
};

// The SHA-256 of size bytes at data into digest. False when the platform
// refused (digest is then zeroed).
bool Sha256Bytes(const void* data, size_t size, unsigned char digest[SHA256_BYTES]);

// True only when signature is a valid signature of the size bytes at data
// made with the private half of publicKey. A point that is not on the curve,
// and any failure of the platform, count as not valid.
bool VerifySignature(const unsigned char publicKey[PUBLIC_KEY_BYTES], const void* data, size_t size,
                     const unsigned char signature[SIGNATURE_BYTES]);

#endif  // UPDATER_CATALOG_SIGNATURE_H
