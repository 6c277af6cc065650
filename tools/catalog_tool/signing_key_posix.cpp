// The publisher's private key over OpenSSL 3: P-256, stored as PKCS#8 PEM.
#include "tools/catalog_tool/signing_key.h"

#include <errno.h>
#include <fcntl.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/path_posix.h"
#include "app/unicode.h"

namespace {

std::u16string Utf16Of(const char* text) {
    std::u16string out;
    for (const char* c = text; *c != 0; ++c)
        out += static_cast<char16_t>(static_cast<unsigned char>(*c));
    return out;
}

std::u16string SystemError(const char16_t* what) {
    return what + std::u16string(u": ") + Utf16Of(strerror(errno));
}

bool PublicHalf(EVP_PKEY* key, PublicKey* publicKey) {
    unsigned char encoded[1 + PUBLIC_KEY_BYTES];
    size_t length = 0;
    if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, encoded, sizeof encoded,
                                        &length) != 1 ||
        length != sizeof encoded || encoded[0] != 0x04) {
        return false;
    }
    memcpy(publicKey->point, encoded + 1, PUBLIC_KEY_BYTES);
    return true;
}

// Only a P-256 key makes signatures the updater can check.
bool IsP256(EVP_PKEY* key) {
    char group[64];
    size_t length = 0;
    return EVP_PKEY_is_a(key, "EC") &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                          &length) == 1 &&
           (strcmp(group, "prime256v1") == 0 || strcmp(group, "P-256") == 0);
}

// OpenSSL signs in DER; the updater takes r and s, 32 bytes each.
bool RawFromDer(const unsigned char* der, size_t length, unsigned char raw[SIGNATURE_BYTES]) {
    ECDSA_SIG* signature = d2i_ECDSA_SIG(nullptr, &der, static_cast<long>(length));
    bool done = signature != nullptr && BN_bn2binpad(ECDSA_SIG_get0_r(signature), raw, 32) == 32 &&
                BN_bn2binpad(ECDSA_SIG_get0_s(signature), raw + 32, 32) == 32;
    ECDSA_SIG_free(signature);
    return done;
}

bool SignData(EVP_PKEY* key, const std::string& data, unsigned char raw[SIGNATURE_BYTES]) {
    unsigned char der[128];
    size_t length = sizeof der;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool done =
        context != nullptr &&
        EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key) == 1 &&
        EVP_DigestSign(context, der, &length, reinterpret_cast<const unsigned char*>(data.data()),
                       data.size()) == 1 &&
        RawFromDer(der, length, raw);
    EVP_MD_CTX_free(context);
    return done;
}

bool WriteKeyFile(int fd, EVP_PKEY* key) {
    FILE* file = fdopen(fd, "w");
    if (file == nullptr) {
        close(fd);
        return false;
    }
    bool written = PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    written = fflush(file) == 0 && fsync(fileno(file)) == 0 && written;
    return fclose(file) == 0 && written;
}

}  // namespace

std::u16string MakeSigningKey(const std::u16string& path, PublicKey* publicKey) {
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    if (key == nullptr || !PublicHalf(key, publicKey)) {
        EVP_PKEY_free(key);
        return u"cannot make a key pair";
    }
    std::string native = NativePath(path.c_str());
    // O_EXCL: an existing key (the one the users trust) is never replaced.
    int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::u16string problem = errno == EEXIST ? u"the file exists already; keygen never "
                                                   u"replaces a key"
                                                 : SystemError(u"cannot create the file");
        EVP_PKEY_free(key);
        return problem;
    }
    fchmod(fd, 0600);  // whatever the umask
    bool written = WriteKeyFile(fd, key);
    EVP_PKEY_free(key);
    if (!written) {
        unlink(native.c_str());
        return u"cannot write the key file";
    }
    return std::u16string();
}

std::u16string SignWithKeyFile(const std::u16string& path, const std::string& data,
                               unsigned char signature[SIGNATURE_BYTES], PublicKey* publicKey) {
    FILE* file = fopen(NativePath(path.c_str()).c_str(), "re");
    if (file == nullptr) return SystemError(u"cannot read the private key");
    EVP_PKEY* key = PEM_read_PrivateKey(file, nullptr, nullptr, nullptr);
    fclose(file);
    std::u16string problem;
    if (key == nullptr) {
        problem = u"not a private key file (PEM, BEGIN PRIVATE KEY)";
    } else if (!IsP256(key) || !PublicHalf(key, publicKey)) {
        problem = u"not a P-256 key";
    } else if (!SignData(key, data, signature)) {
        problem = u"cannot sign";
    }
    EVP_PKEY_free(key);
    return problem;
}
