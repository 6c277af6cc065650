// Test keys and signatures over CNG: a key pair generated in memory, signed
// over the SHA-256 of the data.
#include "tests/support/signer.h"

#include <windows.h>
#include <bcrypt.h>

#include <string.h>

namespace {

BCRYPT_ALG_HANDLE EcdsaProvider() {
    static BCRYPT_ALG_HANDLE provider = nullptr;
    if (provider == nullptr) {
        BCryptOpenAlgorithmProvider(&provider, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
    }
    return provider;
}

}  // namespace

TestSigner::TestSigner() : key_(nullptr), public_() {
    BCRYPT_KEY_HANDLE key = nullptr;
    if (EcdsaProvider() == nullptr || BCryptGenerateKeyPair(EcdsaProvider(), &key, 256, 0) < 0 ||
        BCryptFinalizeKeyPair(key, 0) < 0) {
        return;
    }
    key_ = key;
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + PUBLIC_KEY_BYTES];
    ULONG got = 0;
    if (BCryptExportKey(key, nullptr, BCRYPT_ECCPUBLIC_BLOB, blob, sizeof blob, &got, 0) >= 0 &&
        got == sizeof blob) {
        memcpy(public_.point, blob + sizeof(BCRYPT_ECCKEY_BLOB), PUBLIC_KEY_BYTES);
    }
}

TestSigner::~TestSigner() {
    if (key_ != nullptr) BCryptDestroyKey(static_cast<BCRYPT_KEY_HANDLE>(key_));
}

std::string TestSigner::RawSignature(const std::string& data) const {
    unsigned char digest[SHA256_BYTES];
    unsigned char raw[SIGNATURE_BYTES];
    ULONG got = 0;
    if (key_ == nullptr || !Sha256Bytes(data.data(), data.size(), digest) ||
        BCryptSignHash(static_cast<BCRYPT_KEY_HANDLE>(key_), nullptr, digest, sizeof digest, raw,
                       sizeof raw, &got, 0) < 0 ||
        got != sizeof raw) {
        return std::string();
    }
    return std::string(reinterpret_cast<char*>(raw), sizeof raw);
}
