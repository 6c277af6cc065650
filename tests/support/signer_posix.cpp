// Test keys and signatures over OpenSSL.
#include "tests/support/signer.h"

#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <string.h>

TestSigner::TestSigner() : key_(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256")), public_() {
    unsigned char encoded[1 + PUBLIC_KEY_BYTES];
    size_t length = 0;
    if (key_ != nullptr &&
        EVP_PKEY_get_octet_string_param(static_cast<EVP_PKEY*>(key_), OSSL_PKEY_PARAM_PUB_KEY,
                                        encoded, sizeof encoded, &length) == 1 &&
        length == sizeof encoded && encoded[0] == 0x04) {
        memcpy(public_.point, encoded + 1, PUBLIC_KEY_BYTES);
    }
}

TestSigner::~TestSigner() {
    EVP_PKEY_free(static_cast<EVP_PKEY*>(key_));
}

std::string TestSigner::RawSignature(const std::string& data) const {
    unsigned char der[128];
    size_t derLength = sizeof der;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool signedIt =
        EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, static_cast<EVP_PKEY*>(key_)) ==
            1 &&
        EVP_DigestSign(context, der, &derLength,
                       reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
    EVP_MD_CTX_free(context);
    if (!signedIt) return std::string();
    const unsigned char* cursor = der;
    ECDSA_SIG* signature = d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(derLength));
    unsigned char raw[SIGNATURE_BYTES];
    bool done = signature != nullptr && BN_bn2binpad(ECDSA_SIG_get0_r(signature), raw, 32) == 32 &&
                BN_bn2binpad(ECDSA_SIG_get0_s(signature), raw + 32, 32) == 32;
    ECDSA_SIG_free(signature);
    return done ? std::string(reinterpret_cast<char*>(raw), sizeof raw) : std::string();
}
