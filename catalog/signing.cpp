// Signed catalogs: key and signature texts, the serial, the SHA-256 field,
// and the check run's signature step.
#include "catalog/signing.h"

#include <stdlib.h>
#include <string.h>

#include "app/settings.h"
#include "app/shared_state.h"
#include "app/text.h"
#include "catalog/server.h"

bool CatalogSigned;
uint64_t CatalogSerial;

namespace {

const char KeyPrefix[] = "p256:";
const int KEY_PREFIX_LENGTH = 5;
const char Base64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// ---- base64 of exactly 64 bytes (88 characters, "==" at the end) -----------

int Base64Value(int c) {
    const char* found = c != 0 ? strchr(Base64Digits, c) : nullptr;
    return found != nullptr ? static_cast<int>(found - Base64Digits) : -1;
}

void Encode64Bytes(const unsigned char bytes[64], char text[SIGNATURE_TEXT_LENGTH + 1]) {
    int out = 0;
    for (int i = 0; i < 64; i += 3) {
        unsigned group = bytes[i] << 16;
        if (i + 1 < 64) group |= bytes[i + 1] << 8;
        if (i + 2 < 64) group |= bytes[i + 2];
        text[out++] = Base64Digits[(group >> 18) & 63];
        text[out++] = Base64Digits[(group >> 12) & 63];
        text[out++] = i + 1 < 64 ? Base64Digits[(group >> 6) & 63] : '=';
        text[out++] = i + 2 < 64 ? Base64Digits[group & 63] : '=';
    }
    text[out] = 0;
}

// Reads SIGNATURE_TEXT_LENGTH code units of any width. 64 bytes are 21
// groups of three and one last byte, which ends the text as two digits and
// "==".
template <typename Char>
bool Decode64Bytes(const Char* text, unsigned char bytes[64]) {
    int out = 0;
    for (int i = 0; i < SIGNATURE_TEXT_LENGTH; i += 4) {
        bool last = i + 4 == SIGNATURE_TEXT_LENGTH;
        unsigned group = 0;
        for (int k = 0; k < 4; ++k) {
            int c = static_cast<int>(text[i + k]);
            if (last && k >= 2) {
                if (c != '=') return false;
                continue;
            }
            int value = c > 0 && c < 128 ? Base64Value(c) : -1;
            if (value < 0) return false;
            group |= static_cast<unsigned>(value) << (18 - 6 * k);
        }
        bytes[out++] = static_cast<unsigned char>(group >> 16);
        if (last) break;
        bytes[out++] = static_cast<unsigned char>(group >> 8);
        bytes[out++] = static_cast<unsigned char>(group);
    }
    return out == 64;
}

bool IsKeySeparator(char16_t c) {
    return c == u' ' || c == u',' || c == u'\t';
}

// One key text of exactly PUBLIC_KEY_TEXT_LENGTH characters.
bool ParseOneKey(const char16_t* text, int length, PublicKey* key) {
    if (length != PUBLIC_KEY_TEXT_LENGTH) return false;
    for (int i = 0; i < KEY_PREFIX_LENGTH; ++i) {
        if (text[i] != static_cast<char16_t>(KeyPrefix[i])) return false;
    }
    return Decode64Bytes(text + KEY_PREFIX_LENGTH, key->point);
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// ---- the serial line ---------------------------------------------------------

bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t';
}

// One line of the catalog's bytes, without its leading spaces and tabs and
// its trailing spaces, tabs and carriage returns (the parser's trimming).
struct ByteLine {
    const unsigned char* start;
    size_t length;
};

ByteLine TrimmedLine(const unsigned char* start, size_t length) {
    while (length > 0 && IsBlank(start[0])) ++start, --length;
    while (length > 0 && (IsBlank(start[length - 1]) || start[length - 1] == '\r')) --length;
    return {start, length};
}

bool KeyIsSerial(ByteLine key) {
    const char word[] = "serial";
    if (key.length != 6) return false;
    for (size_t i = 0; i < 6; ++i) {
        unsigned char c = key.start[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
        if (c != static_cast<unsigned char>(word[i])) return false;
    }
    return true;
}

// 1 to 18 decimal digits, so that any value fits 64 bits.
bool ParseSerialValue(ByteLine value, uint64_t* serial) {
    if (value.length == 0 || value.length > 18) return false;
    uint64_t number = 0;
    for (size_t i = 0; i < value.length; ++i) {
        unsigned char c = value.start[i];
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    *serial = number;
    return true;
}

// Handles one line before the first section. Returns false at a section.
bool HandleSerialLine(ByteLine line, SerialResult* result, uint64_t* serial) {
    if (line.length == 0) return true;
    if (line.start[0] == '[') return false;
    const unsigned char* equals =
        static_cast<const unsigned char*>(memchr(line.start, '=', line.length));
    if (equals == nullptr) return true;
    ByteLine key = TrimmedLine(line.start, static_cast<size_t>(equals - line.start));
    if (!KeyIsSerial(key)) return true;
    ByteLine value = TrimmedLine(equals + 1, line.length - (equals + 1 - line.start));
    bool good = *result == SERIAL_ABSENT && ParseSerialValue(value, serial);
    *result = good ? SERIAL_FOUND : SERIAL_MALFORMED;
    return true;
}

bool SignedByOneOf(const unsigned char* catalog, size_t size,
                   const unsigned char signature[SIGNATURE_BYTES], const PublicKey* keys,
                   int keyCount) {
    for (int i = 0; i < keyCount; ++i) {
        if (VerifySignature(keys[i].point, catalog, size, signature)) return true;
    }
    return false;
}

}  // namespace

int ParsePublicKeys(const char16_t* text, PublicKey keys[MAX_CATALOG_KEYS]) {
    int count = 0;
    int i = 0;
    for (;;) {
        while (text[i] != 0 && IsKeySeparator(text[i])) ++i;
        if (text[i] == 0) return count;
        int start = i;
        while (text[i] != 0 && !IsKeySeparator(text[i])) ++i;
        if (count == MAX_CATALOG_KEYS || !ParseOneKey(text + start, i - start, &keys[count])) {
            return -1;
        }
        ++count;
    }
}

void FormatPublicKey(const PublicKey& key, char text[PUBLIC_KEY_TEXT_LENGTH + 1]) {
    memcpy(text, KeyPrefix, KEY_PREFIX_LENGTH);
    Encode64Bytes(key.point, text + KEY_PREFIX_LENGTH);
}

void FormatSignature(const unsigned char signature[SIGNATURE_BYTES],
                     char text[SIGNATURE_TEXT_LENGTH + 1]) {
    Encode64Bytes(signature, text);
}

bool ParseSignature(const unsigned char* bytes, size_t size,
                    unsigned char signature[SIGNATURE_BYTES]) {
    if (size < SIGNATURE_TEXT_LENGTH) return false;
    for (size_t i = SIGNATURE_TEXT_LENGTH; i < size; ++i) {
        unsigned char c = bytes[i];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    }
    return Decode64Bytes(bytes, signature);
}

SerialResult ReadCatalogSerial(const unsigned char* bytes, size_t size, uint64_t* serial) {
    const unsigned char* end = static_cast<const unsigned char*>(memchr(bytes, 0, size));
    if (end == nullptr) end = bytes + size;
    const unsigned char* line = bytes;
    if (end - line >= 3 && memcmp(line, "\xEF\xBB\xBF", 3) == 0) line += 3;
    SerialResult result = SERIAL_ABSENT;
    *serial = 0;
    while (line < end) {
        const unsigned char* newline =
            static_cast<const unsigned char*>(memchr(line, '\n', static_cast<size_t>(end - line)));
        const unsigned char* lineEnd = newline != nullptr ? newline : end;
        if (!HandleSerialLine(TrimmedLine(line, static_cast<size_t>(lineEnd - line)), &result,
                              serial)) {
            break;
        }
        line = lineEnd + 1;
    }
    if (result != SERIAL_FOUND) *serial = 0;
    return result;
}

CatalogVerdict JudgeCatalog(const unsigned char* catalog, size_t catalogSize,
                            const unsigned char* signatureFile, size_t signatureSize,
                            const PublicKey* keys, int keyCount, uint64_t acceptedSerial,
                            uint64_t* serial) {
    unsigned char signature[SIGNATURE_BYTES];
    *serial = 0;
    if (signatureFile == nullptr || !ParseSignature(signatureFile, signatureSize, signature) ||
        !SignedByOneOf(catalog, catalogSize, signature, keys, keyCount)) {
        return CATALOG_NOT_VERIFIED;
    }
    uint64_t found = 0;
    if (ReadCatalogSerial(catalog, catalogSize, &found) == SERIAL_MALFORMED) {
        return CATALOG_NOT_VERIFIED;
    }
    if (found < acceptedSerial) return CATALOG_OLDER;
    *serial = found;
    return CATALOG_TRUSTED;
}

bool MatchesSha256Field(const char16_t* field, const void* data, size_t size) {
    unsigned char expected[SHA256_BYTES];
    for (int i = 0; i < SHA256_TEXT_LENGTH; ++i) {
        int high = HexValue(field[i]);
        if (high < 0) return false;
        int low = HexValue(field[++i]);
        if (low < 0) return false;
        expected[i / 2] = static_cast<unsigned char>(high * 16 + low);
    }
    unsigned char actual[SHA256_BYTES];
    return field[SHA256_TEXT_LENGTH] == 0 && Sha256Bytes(data, size, actual) &&
           memcmp(expected, actual, SHA256_BYTES) == 0;
}

bool IsSha256Text(const char16_t* text) {
    for (int i = 0; i < SHA256_TEXT_LENGTH; ++i) {
        if (HexValue(text[i]) < 0) return false;
    }
    return text[SHA256_TEXT_LENGTH] == 0;
}

bool Sha256Text(const void* data, size_t size, char16_t text[SHA256_TEXT_LENGTH + 1]) {
    unsigned char digest[SHA256_BYTES];
    text[0] = 0;
    if (!Sha256Bytes(data, size, digest)) return false;
    for (int i = 0; i < SHA256_BYTES; ++i) {
        TextFormat(text + 2 * i, 3, u"%02X", static_cast<unsigned>(digest[i]));
    }
    return true;
}

// ---- the check run's signature step ---------------------------------------------

int CheckCatalogSignature(const unsigned char* catalog, size_t size) {
    enum { SIGNATURE_ADDRESS_CAPACITY = 1100, LARGEST_SIGNATURE_FILE = 1024 };
    CatalogSigned = false;
    CatalogSerial = 0;
    PublicKey keys[MAX_CATALOG_KEYS];
    int keyCount = ParsePublicKeys(CatalogKeys, keys);
    if (keyCount == 0) return CHECK_DONE_ARRIVED;
    if (keyCount < 0) return CHECK_DONE_NOT_VERIFIED;

    char16_t address[SIGNATURE_ADDRESS_CAPACITY];
    BuildResourceAddress(address, SIGNATURE_ADDRESS_CAPACITY, u"scripts.txt.sig");
    uint32_t signatureSize = 0;
    // A signature is a line of text; anything larger is refused as soon as
    // that is known. Its own check proves it whole.
    const FetchTerms signatureTerms = {LARGEST_SIGNATURE_FILE, false};
    unsigned char* signatureFile =
        FetchResourceWithTerms(address, &signatureSize, -1, &signatureTerms);
    if (CancelFlag.load() != 0) {
        free(signatureFile);
        return CHECK_DONE_UNREACHABLE;
    }
    uint64_t serial = 0;
    CatalogVerdict verdict = JudgeCatalog(catalog, size, signatureFile, signatureSize, keys,
                                          keyCount, AcceptedSerial, &serial);
    free(signatureFile);
    if (verdict == CATALOG_OLDER) return CHECK_DONE_OLDER;
    if (verdict != CATALOG_TRUSTED) return CHECK_DONE_NOT_VERIFIED;
    CatalogSigned = true;
    CatalogSerial = serial;
    return CHECK_DONE_ARRIVED;
}
