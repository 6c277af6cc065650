// The platform-neutral half of the test signer: texts.
#include "tests/support/signer.h"

#include "app/text.h"

std::string TestSigner::KeyText() const {
    char text[PUBLIC_KEY_TEXT_LENGTH + 1];
    FormatPublicKey(public_, text);
    return text;
}

std::string TestSigner::SignatureFile(const std::string& data) const {
    std::string raw = RawSignature(data);
    if (raw.size() != SIGNATURE_BYTES) return "signing failed";
    char text[SIGNATURE_TEXT_LENGTH + 1];
    FormatSignature(reinterpret_cast<const unsigned char*>(raw.data()), text);
    return std::string(text) + "\n";
}

std::string Sha256Hex(const std::string& bytes) {
    char16_t text[SHA256_TEXT_LENGTH + 1];
    if (!Sha256Text(bytes.data(), bytes.size(), text)) return "hashing failed";
    return std::string(text, text + TextLength(text));
}
