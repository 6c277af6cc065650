// The publisher's side for the tests: a fresh P-256 key pair per signer,
// made at test time (never stored), and signatures made with it. OpenSSL on
// POSIX, CNG on Windows.
#ifndef UPDATER_TESTS_SUPPORT_SIGNER_H
#define UPDATER_TESTS_SUPPORT_SIGNER_H

#include <string>

#include "catalog/signing.h"

class TestSigner {
public:
    TestSigner();
    ~TestSigner();
    TestSigner(const TestSigner&) = delete;
    TestSigner& operator=(const TestSigner&) = delete;

    // The key's text, as `key` in updater.ini holds it ("p256:...").
    std::string KeyText() const;
    // The content of a signature file for data (base64 of r and s, LF).
    std::string SignatureFile(const std::string& data) const;
    // The raw signature of data (64 bytes); empty on failure.
    std::string RawSignature(const std::string& data) const;
    const PublicKey& Public() const { return public_; }

private:
    void* key_;  // the platform's key handle
    PublicKey public_;
};

// The upper-case hexadecimal SHA-256 of bytes.
std::string Sha256Hex(const std::string& bytes);

#endif  // UPDATER_TESTS_SUPPORT_SIGNER_H
