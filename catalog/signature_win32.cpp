// Signature and SHA-256 primitives over Windows CNG (bcrypt.dll, Windows
// Vista and later, bound at run time: without it nothing verifies). Only calls that Vista already
// has are used: BCryptCreateHash with a hash object of our own (a null object needs Windows 7,
// BCryptHash Windows 10).
#include <stdlib.h>
#include <string.h>

#include "catalog/signature.h"
#include "catalog/system_entries_win32.h"

namespace {

// BCryptHashData takes a ULONG count; larger buffers go in pieces.
const size_t MAX_FEED_BYTES = 0x40000000;

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

bool HashWith(const CngEntries& cng, BCRYPT_ALG_HANDLE algorithm, const void* data, size_t size,
              unsigned char digest[SHA256_BYTES]) {
    DWORD objectLength = 0;
    ULONG got = 0;
    if (!Succeeded(cng.BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH,
                                         reinterpret_cast<PUCHAR>(&objectLength),
                                         sizeof objectLength, &got, 0))) {
        return false;
    }
    void* object = malloc(objectLength);
    if (object == nullptr) return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool done = Succeeded(cng.BCryptCreateHash(algorithm, &hash, static_cast<PUCHAR>(object),
                                               objectLength, nullptr, 0, 0));
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    while (done && size > 0) {
        ULONG piece = static_cast<ULONG>(size < MAX_FEED_BYTES ? size : MAX_FEED_BYTES);
        done = Succeeded(cng.BCryptHashData(hash, const_cast<PUCHAR>(bytes), piece, 0));
        bytes += piece;
        size -= piece;
    }
    done = done && Succeeded(cng.BCryptFinishHash(hash, digest, SHA256_BYTES, 0));
    if (hash != nullptr) cng.BCryptDestroyHash(hash);
    free(object);
    return done;
}

// The public key as CNG imports it: a BCRYPT_ECCKEY_BLOB header, then X, Y.
bool ImportPublicKey(const CngEntries& cng, BCRYPT_ALG_HANDLE algorithm,
                     const unsigned char point[PUBLIC_KEY_BYTES], BCRYPT_KEY_HANDLE* key) {
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + PUBLIC_KEY_BYTES];
    BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, PUBLIC_KEY_BYTES / 2};
    memcpy(blob, &header, sizeof header);
    memcpy(blob + sizeof header, point, PUBLIC_KEY_BYTES);
    return Succeeded(cng.BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, key, blob,
                                             sizeof blob, 0));
}

}  // namespace

bool Sha256Bytes(const void* data, size_t size, unsigned char digest[SHA256_BYTES]) {
    memset(digest, 0, SHA256_BYTES);
    const CngEntries* entries = Cng();
    if (entries == nullptr) return false;
    const CngEntries& cng = *entries;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    bool done = Succeeded(cng.BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM,
                                                          nullptr, 0)) &&
                HashWith(cng, algorithm, data, size, digest);
    if (algorithm != nullptr) cng.BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!done) memset(digest, 0, SHA256_BYTES);
    return done;
}

bool VerifySignature(const unsigned char publicKey[PUBLIC_KEY_BYTES], const void* data, size_t size,
                     const unsigned char signature[SIGNATURE_BYTES]) {
    unsigned char digest[SHA256_BYTES];
    if (!Sha256Bytes(data, size, digest)) return false;
    const CngEntries* entries = Cng();
    if (entries == nullptr) return false;
    const CngEntries& cng = *entries;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_KEY_HANDLE key = nullptr;
    bool valid = Succeeded(cng.BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM,
                                                           nullptr, 0)) &&
                 ImportPublicKey(cng, algorithm, publicKey, &key) &&
                 cng.BCryptVerifySignature(key, nullptr, digest, SHA256_BYTES,
                                           const_cast<PUCHAR>(signature), SIGNATURE_BYTES,
                                           0) == 0;  // STATUS_SUCCESS, nothing else
    if (key != nullptr) cng.BCryptDestroyKey(key);
    if (algorithm != nullptr) cng.BCryptCloseAlgorithmProvider(algorithm, 0);
    return valid;
}
