// Signed catalogs: key and signature texts, the serial, the SHA-256 field,
// and the check run's signature step.
#include "catalog/signing.h"

#include <stdlib.h>
#include <string.h>

#include "app/settings.h"
#include "app/shared_state.h"
#include "app/text.h"
#include "catalog/server.h"
#include "catalog/trust_store.h"

bool CatalogSigned;
uint64_t CatalogSerial;
char16_t CatalogKeysLearned[CATALOG_KEYS_CAPACITY];

const char16_t SerialKey[] = u"serial";
const char16_t NextKeyKey[] = u"nextkey";

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

// The signing line of the byte line, or HEADER_NONE; its value in *value.
HeaderKey HeaderLineOf(ByteLine line, ByteLine* value) {
    const unsigned char* equals =
        static_cast<const unsigned char*>(memchr(line.start, '=', line.length));
    if (equals == nullptr) return HEADER_NONE;
    ByteLine key = TrimmedLine(line.start, static_cast<size_t>(equals - line.start));
    enum { LONGEST_KEY = 16 };
    char16_t keyText[LONGEST_KEY + 1];
    if (key.length > LONGEST_KEY) return HEADER_NONE;
    for (size_t i = 0; i < key.length; ++i) keyText[i] = key.start[i];
    keyText[key.length] = 0;
    *value = TrimmedLine(equals + 1, line.length - (equals + 1 - line.start));
    return HeaderKeyOf(keyText);
}

// Looks for the line of one signing key among the lines before the first
// section of the catalog's bytes (up to its first zero byte, as the parser
// reads them). Returns how many there are (0, 1, or 2 for two or more), with
// the first one's value.
int FindHeaderLine(const unsigned char* bytes, size_t size, HeaderKey wanted, ByteLine* value) {
    const unsigned char* end = static_cast<const unsigned char*>(memchr(bytes, 0, size));
    if (end == nullptr) end = bytes + size;
    const unsigned char* line = bytes;
    if (end - line >= 3 && memcmp(line, "\xEF\xBB\xBF", 3) == 0) line += 3;
    int found = 0;
    while (line < end && found < 2) {
        const unsigned char* newline =
            static_cast<const unsigned char*>(memchr(line, '\n', static_cast<size_t>(end - line)));
        const unsigned char* lineEnd = newline != nullptr ? newline : end;
        ByteLine trimmed = TrimmedLine(line, static_cast<size_t>(lineEnd - line));
        if (trimmed.length > 0 && trimmed.start[0] == '[') break;
        ByteLine lineValue = {nullptr, 0};
        if (trimmed.length > 0 && HeaderLineOf(trimmed, &lineValue) == wanted) {
            if (found++ == 0) *value = lineValue;
        }
        line = lineEnd + 1;
    }
    return found;
}

// The index of the key that made signature, -1 for none.
int SignerOf(const unsigned char* catalog, size_t size,
             const unsigned char signature[SIGNATURE_BYTES], const PublicKey* keys, int keyCount) {
    for (int i = 0; i < keyCount; ++i) {
        if (VerifySignature(keys[i].point, catalog, size, signature)) return i;
    }
    return -1;
}

void AppendKeyText(char16_t* text, int capacity, const PublicKey& key) {
    char narrow[PUBLIC_KEY_TEXT_LENGTH + 1];
    FormatPublicKey(key, narrow);
    char16_t wide[PUBLIC_KEY_TEXT_LENGTH + 1];
    for (int i = 0; i <= PUBLIC_KEY_TEXT_LENGTH; ++i) wide[i] = static_cast<char16_t>(narrow[i]);
    if (text[0] != 0) TextAppend(text, capacity, u" ");
    TextAppend(text, capacity, wide);
}

}  // namespace

int ParsePublicKeys(const char16_t* text, PublicKey keys[MAX_CATALOG_KEYS]) {
    int count = 0;
    int i = 0;
    bool sawComma = false;
    for (;;) {
        for (; text[i] != 0 && IsKeySeparator(text[i]); ++i) {
            if (text[i] == u',') sawComma = true;
        }
        // Commas alone are what a deploy script writes from empty
        // variables: a key was meant, so the check stays on and fails.
        if (text[i] == 0) return count == 0 && sawComma ? -1 : count;
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

HeaderKey HeaderKeyOf(const char16_t* key) {
    if (TextCompareNoCase(key, SerialKey) == 0) return HEADER_SERIAL;
    if (TextCompareNoCase(key, NextKeyKey) == 0) return HEADER_NEXTKEY;
    return HEADER_NONE;
}

SerialResult ReadCatalogSerial(const unsigned char* bytes, size_t size, uint64_t* serial) {
    ByteLine value = {nullptr, 0};
    *serial = 0;
    int found = FindHeaderLine(bytes, size, HEADER_SERIAL, &value);
    if (found == 0) return SERIAL_ABSENT;
    if (found == 1 && ParseSerialValue(value, serial)) return SERIAL_FOUND;
    *serial = 0;
    return SERIAL_MALFORMED;
}

SerialResult ReadCatalogNextKey(const unsigned char* bytes, size_t size, PublicKey* key) {
    ByteLine value = {nullptr, 0};
    int found = FindHeaderLine(bytes, size, HEADER_NEXTKEY, &value);
    if (found == 0) return SERIAL_ABSENT;
    char16_t text[PUBLIC_KEY_TEXT_LENGTH + 1];
    if (found > 1 || value.length != PUBLIC_KEY_TEXT_LENGTH) return SERIAL_MALFORMED;
    for (size_t i = 0; i < value.length; ++i) text[i] = value.start[i];
    text[value.length] = 0;
    return ParseOneKey(text, PUBLIC_KEY_TEXT_LENGTH, key) ? SERIAL_FOUND : SERIAL_MALFORMED;
}

CatalogVerdict JudgeCatalog(const unsigned char* catalog, size_t catalogSize,
                            const unsigned char* signatureFile, size_t signatureSize,
                            const PublicKey* keys, int keyCount, uint64_t acceptedSerial,
                            uint64_t* serial, int* signer) {
    unsigned char signature[SIGNATURE_BYTES];
    *serial = 0;
    *signer = -1;
    if (signatureFile == nullptr || !ParseSignature(signatureFile, signatureSize, signature)) {
        return CATALOG_NOT_VERIFIED;
    }
    *signer = SignerOf(catalog, catalogSize, signature, keys, keyCount);
    if (*signer < 0) return CATALOG_NOT_VERIFIED;
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

bool LearnNextKey(const unsigned char* catalog, size_t size, const PublicKey* keys, int keyCount,
                  const PublicKey& signer, char16_t learned[CATALOG_KEYS_CAPACITY]) {
    learned[0] = 0;
    PublicKey next;
    if (ReadCatalogNextKey(catalog, size, &next) != SERIAL_FOUND) return false;
    for (int i = 0; i < keyCount; ++i) {
        if (memcmp(keys[i].point, next.point, PUBLIC_KEY_BYTES) == 0) return false;
    }
    AppendKeyText(learned, CATALOG_KEYS_CAPACITY, signer);
    AppendKeyText(learned, CATALOG_KEYS_CAPACITY, next);
    return true;
}

int CheckCatalogSignature(const unsigned char* catalog, size_t size) {
    enum { SIGNATURE_ADDRESS_CAPACITY = 1100, LARGEST_SIGNATURE_FILE = 1024 };
    CatalogSigned = false;
    CatalogSerial = 0;
    CatalogKeysLearned[0] = 0;
    PublicKey keys[MAX_CATALOG_KEYS];
    if (ParsePublicKeys(CatalogKeys, keys) == 0) return CHECK_DONE_ARRIVED;
    TrustRecord record;
    ReadTrustRecord(&record);
    int keyCount = ParsePublicKeys(KeysToTrust(record), keys);
    if (keyCount <= 0) return CHECK_DONE_NOT_VERIFIED;

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
    int signer = -1;
    CatalogVerdict verdict = JudgeCatalog(catalog, size, signatureFile, signatureSize, keys,
                                          keyCount, SerialToAccept(record), &serial, &signer);
    free(signatureFile);
    if (verdict == CATALOG_OLDER) return CHECK_DONE_OLDER;
    if (verdict != CATALOG_TRUSTED) return CHECK_DONE_NOT_VERIFIED;
    CatalogSigned = true;
    CatalogSerial = serial;
    LearnNextKey(catalog, size, keys, keyCount, keys[signer], CatalogKeysLearned);
    return CHECK_DONE_ARRIVED;
}
