// MD5 on POSIX: OpenSSL's EVP interface over open/read.
//
// Windows decides "cannot be opened" by its sharing rules; here a file counts
// as not there when it is absent, unreadable, or anything but a regular file.
// A folder in its place must not be hashed, and a FIFO or a device must never
// be read: the first would hold the check worker until some writer came, the
// second might never end.
#include "catalog/hash_os.h"

#include <errno.h>
#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/path_posix.h"
#include "app/text.h"

namespace {

enum { READ_CHUNK_BYTES = 65536, MD5_BYTES = 16 };

void WriteDigestText(const unsigned char* bytes, char16_t* digest) {
    for (int i = 0; i < MD5_BYTES; ++i) {
        TextFormat(digest + 2 * i, 3, u"%02X", static_cast<unsigned>(bytes[i]));
    }
}

// Finishes the digest into text; leaves it empty when OpenSSL refuses.
void FinishDigest(EVP_MD_CTX* context, char16_t* digest) {
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context, bytes, &size) == 1 && size == MD5_BYTES) {
        WriteDigestText(bytes, digest);
    }
}

EVP_MD_CTX* StartDigest() {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context != nullptr && EVP_DigestInit_ex(context, EVP_md5(), nullptr) != 1) {
        EVP_MD_CTX_free(context);
        context = nullptr;
    }
    return context;
}

// O_NONBLOCK keeps the open itself from waiting on a FIFO; it changes
// nothing for the regular files that are then read.
int OpenRegularFile(const char16_t* path) {
    int fd = open(NativePath(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

// A read that fails ends the loop like the end of the file: the digest then
// covers what was read, which cannot match the catalog's for a whole file.
bool HashOpenFile(int fd, EVP_MD_CTX* context) {
    unsigned char buffer[READ_CHUNK_BYTES];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;
        if (EVP_DigestUpdate(context, buffer, static_cast<size_t>(got)) != 1) return false;
    }
}

}  // namespace

int HashLocalFile(const char16_t* path, char16_t* digest) {
    digest[0] = 0;
    int fd = OpenRegularFile(path);
    if (fd < 0) return 0;
    EVP_MD_CTX* context = StartDigest();
    if (context != nullptr) {
        if (HashOpenFile(fd, context)) FinishDigest(context, digest);
        EVP_MD_CTX_free(context);
    }
    close(fd);
    return 1;
}

bool LocalFileOpens(const char16_t* path) {
    int fd = OpenRegularFile(path);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool HashBytes(const void* data, size_t size, char16_t* digest) {
    digest[0] = 0;
    EVP_MD_CTX* context = StartDigest();
    if (context == nullptr) return false;
    if (size == 0 || EVP_DigestUpdate(context, data, size) == 1) FinishDigest(context, digest);
    EVP_MD_CTX_free(context);
    return digest[0] != 0;
}

void ReleaseThreadCryptoState() { OPENSSL_thread_stop(); }
