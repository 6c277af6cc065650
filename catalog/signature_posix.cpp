// Signature and SHA-256 primitives over OpenSSL 3's EVP interface.
#include "catalog/signature.h"

#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <string.h>

namespace {

// The public key as OpenSSL takes it: the uncompressed point (0x04, X, Y) on
// the named curve. Building it checks that the point lies on the curve.
EVP_PKEY* PublicKeyFromPoint(const unsigned char point[PUBLIC_KEY_BYTES]) {
    unsigned char encoded[1 + PUBLIC_KEY_BYTES];
    encoded[0] = 0x04;
    memcpy(encoded + 1, point, PUBLIC_KEY_BYTES);
    char group[] = "prime256v1";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, encoded, sizeof encoded),
        OSSL_PARAM_construct_end(),
    };
    EVP_PKEY* key = nullptr;
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
    if (context != nullptr && EVP_PKEY_fromdata_init(context) == 1) {
        EVP_PKEY_fromdata(context, &key, EVP_PKEY_PUBLIC_KEY, params);
    }
    EVP_PKEY_CTX_free(context);
    return key;
}

// OpenSSL verifies the DER form; the raw r and s go into one. Returns the
// length, 0 on failure.
int DerSignature(const unsigned char raw[SIGNATURE_BYTES], unsigned char** der) {
    ECDSA_SIG* signature = ECDSA_SIG_new();
    BIGNUM* r = BN_bin2bn(raw, SIGNATURE_BYTES / 2, nullptr);
    BIGNUM* s = BN_bin2bn(raw + SIGNATURE_BYTES / 2, SIGNATURE_BYTES / 2, nullptr);
    int length = 0;
    if (signature != nullptr && r != nullptr && s != nullptr && ECDSA_SIG_set0(signature, r, s)) {
        r = s = nullptr;  // owned by the signature now
        length = i2d_ECDSA_SIG(signature, der);
        if (length < 0) length = 0;
    }
    BN_free(r);
    BN_free(s);
    ECDSA_SIG_free(signature);
    return length;
}

}  // namespace

bool Sha256Bytes(const void* data, size_t size, unsigned char digest[SHA256_BYTES]) {
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) == 1 &&
        length == SHA256_BYTES) {
        return true;
    }
    memset(digest, 0, SHA256_BYTES);
    return false;
}

bool VerifySignature(const unsigned char publicKey[PUBLIC_KEY_BYTES], const void* data, size_t size,
                     const unsigned char signature[SIGNATURE_BYTES]) {
    EVP_PKEY* key = PublicKeyFromPoint(publicKey);
    unsigned char* der = nullptr;
    int derLength = DerSignature(signature, &der);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool valid = key != nullptr && derLength > 0 && context != nullptr &&
                 EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, key) == 1 &&
                 EVP_DigestVerify(context, der, static_cast<size_t>(derLength),
                                  static_cast<const unsigned char*>(data), size) == 1;
    EVP_MD_CTX_free(context);
    OPENSSL_free(der);
    EVP_PKEY_free(key);
    return valid;
}
