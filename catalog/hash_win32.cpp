// MD5 on Windows: the CryptoAPI's default RSA provider, over CreateFileW and
// ReadFile.
//
// The file is opened for reading while letting others read and write it, so
// the host program may hold its scripts open; a file somebody holds without
// sharing reads (or a folder in its place) cannot be opened and counts as not
// there.
#include "catalog/hash_os.h"

#include <windows.h>
#include <wincrypt.h>

#include <mutex>

#include "app/text.h"

namespace {

enum { READ_CHUNK_BYTES = 65536, MD5_BYTES = 16 };

// CryptHashData takes a DWORD count; larger buffers go in pieces.
const size_t MAX_FEED_BYTES = 0x40000000;

struct Md5 {
    HCRYPTHASH hash;
};

// One provider for the whole run: acquiring it costs far more than hashing
// a small script (milliseconds a file under Wine), and a check hashes every
// listed file. It is kept until the process ends, like the other start-up
// resources. A failed acquisition is tried again on the next file.
HCRYPTPROV HashProvider() {
    static std::mutex lock;
    static HCRYPTPROV provider = 0;
    std::lock_guard<std::mutex> guard(lock);
    if (provider == 0 &&
        !CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        provider = 0;
    }
    return provider;
}

bool StartMd5(Md5& md5) {
    md5.hash = 0;
    HCRYPTPROV provider = HashProvider();
    if (provider == 0) return false;
    if (!CryptCreateHash(provider, CALG_MD5, 0, 0, &md5.hash)) {
        md5.hash = 0;
        return false;
    }
    return true;
}

void EndMd5(Md5& md5) {
    if (md5.hash != 0) CryptDestroyHash(md5.hash);
}

bool FeedMd5(Md5& md5, const BYTE* data, size_t size) {
    while (size > 0) {
        DWORD piece = static_cast<DWORD>(size < MAX_FEED_BYTES ? size : MAX_FEED_BYTES);
        if (!CryptHashData(md5.hash, data, piece, 0)) return false;
        data += piece;
        size -= piece;
    }
    return true;
}

// Writes the digest as upper-case hexadecimal; leaves it empty on failure.
void FinishMd5(Md5& md5, char16_t* digest) {
    BYTE bytes[MD5_BYTES];
    DWORD size = sizeof bytes;
    if (!CryptGetHashParam(md5.hash, HP_HASHVAL, bytes, &size, 0) || size != MD5_BYTES) return;
    for (int i = 0; i < MD5_BYTES; ++i) {
        TextFormat(digest + 2 * i, 3, u"%02X", static_cast<unsigned>(bytes[i]));
    }
}

// A failed read ends the loop like the end of the file: the digest then
// covers what was read, which cannot match the catalog's for a whole file.
bool HashOpenFile(HANDLE file, Md5& md5) {
    BYTE buffer[READ_CHUNK_BYTES];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr) || got == 0) return true;
        if (!FeedMd5(md5, buffer, got)) return false;
    }
}

}  // namespace

namespace {

HANDLE OpenForReading(const char16_t* path) {
    return CreateFileW(reinterpret_cast<const wchar_t*>(path), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

int HashLocalFile(const char16_t* path, char16_t* digest) {
    digest[0] = 0;
    HANDLE file = OpenForReading(path);
    if (file == INVALID_HANDLE_VALUE) return 0;
    Md5 md5;
    if (StartMd5(md5)) {
        if (HashOpenFile(file, md5)) FinishMd5(md5, digest);
        EndMd5(md5);
    }
    CloseHandle(file);
    return 1;
}

bool LocalFileOpens(const char16_t* path) {
    HANDLE file = OpenForReading(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool HashBytes(const void* data, size_t size, char16_t* digest) {
    digest[0] = 0;
    Md5 md5;
    if (!StartMd5(md5)) return false;
    if (FeedMd5(md5, static_cast<const BYTE*>(data), size)) FinishMd5(md5, digest);
    EndMd5(md5);
    return digest[0] != 0;
}

// CryptoAPI keeps nothing per thread.
void ReleaseThreadCryptoState() {}
