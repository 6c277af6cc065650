// Signed catalogs, the rules: SHA-256 and ECDSA on the platform's crypto,
// key and signature texts, the serial line and the SHA-256 field.
#include "catalog/signing.h"

#include <gtest/gtest.h>

#include <string>

#include "app/text.h"
#include "catalog/catalog.h"
#include "tests/support/signer.h"
#include "tests/support/test_support.h"
#include "tests/support/workers.h"

namespace {

const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

bool Verifies(const PublicKey& key, const std::string& data, const std::string& raw) {
    return raw.size() == SIGNATURE_BYTES &&
           VerifySignature(key.point, data.data(), data.size(), Bytes(raw));
}

std::string Flipped(std::string text, size_t index) {
    text[index] = static_cast<char>(text[index] ^ 0x01);
    return text;
}

}  // namespace

TEST(Signing, Sha256KnownAnswers) {
    EXPECT_EQ(Sha256Hex(""), "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
    EXPECT_EQ(Sha256Hex("abc"), "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
}

TEST(Signing, ASignatureVerifiesOnlyForItsDataAndItsKey) {
    TestSigner signer;
    TestSigner other;
    const std::string data = "[Script]\nfile=a.lua|0123\n";
    std::string raw = signer.RawSignature(data);
    ASSERT_EQ(raw.size(), size_t(SIGNATURE_BYTES));
    EXPECT_TRUE(Verifies(signer.Public(), data, raw));
    EXPECT_FALSE(Verifies(other.Public(), data, raw));
    EXPECT_FALSE(Verifies(signer.Public(), Flipped(data, 3), raw));
    EXPECT_FALSE(Verifies(signer.Public(), data + "\n", raw));
    EXPECT_FALSE(Verifies(signer.Public(), data, Flipped(raw, 10)));
    EXPECT_FALSE(Verifies(signer.Public(), data, Flipped(raw, 60)));
    EXPECT_FALSE(Verifies(signer.Public(), data, std::string(SIGNATURE_BYTES, '\0')));
    PublicKey offCurve = signer.Public();
    offCurve.point[63] ^= 0x01;  // no longer a point of the curve
    EXPECT_FALSE(VerifySignature(offCurve.point, data.data(), data.size(), Bytes(raw)));
}

TEST(Signing, KeyTextsRoundTripAndMalformedOnesTurnNothingOff) {
    TestSigner first;
    TestSigner second;
    const std::string a = first.KeyText();
    const std::string b = second.KeyText();
    ASSERT_EQ(a.size(), size_t(PUBLIC_KEY_TEXT_LENGTH));
    ASSERT_EQ(a.substr(0, 5), "p256:");
    struct Case {
        std::string text;
        int count;
    };
    const Case cases[] = {
        {"", 0},
        {" \t ", 0},
        {",", -1},  // separators only: a key was meant
        {" , ,", -1},
        {a, 1},
        {" " + a + " ", 1},
        {a + "," + b, 2},
        {a + " , " + b, 2},
        {a + " " + b + " " + a, -1},   // three
        {"P256:" + a.substr(5), -1},   // prefix in other case
        {a.substr(0, 92), -1},         // one character short
        {a + "A", -1},                 // one too many
        {a.substr(0, 91) + "A=", -1},  // padding wrong
        {a.substr(0, 10) + "*" + a.substr(11), -1},
        {a + ";" + b, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        PublicKey keys[MAX_CATALOG_KEYS];
        std::u16string text = Utf16(c.text);
        ASSERT_EQ(ParsePublicKeys(text.c_str(), keys), c.count);
        if (c.count >= 1) {
            EXPECT_EQ(memcmp(keys[0].point, first.Public().point, PUBLIC_KEY_BYTES), 0);
        }
        if (c.count == 2) {
            EXPECT_EQ(memcmp(keys[1].point, second.Public().point, PUBLIC_KEY_BYTES), 0);
        }
    }
}

TEST(Signing, SignatureFileIsTheTextWithOptionalLineBreaks) {
    TestSigner signer;
    const std::string data = "catalog";
    std::string text = signer.SignatureFile("catalog");
    ASSERT_EQ(text.size(), size_t(SIGNATURE_TEXT_LENGTH + 1));
    std::string body = text.substr(0, SIGNATURE_TEXT_LENGTH);
    struct Case {
        std::string file;
        bool good;
    };
    const Case cases[] = {
        {body, true},
        {body + "\r\n", true},
        {body + " \t\n\n", true},
        {body + "\nx", false},
        {body.substr(1), false},
        {"\xEF\xBB\xBF" + body, false},
        {body.substr(0, 86) + "A=", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        unsigned char raw[SIGNATURE_BYTES];
        bool parsed = ParseSignature(Bytes(c.file), c.file.size(), raw);
        EXPECT_EQ(parsed && VerifySignature(signer.Public().point, data.data(), data.size(), raw),
                  c.good);
    }
}

TEST(Signing, SerialComesFromTheLinesBeforeTheFirstSection) {
    struct Case {
        std::string catalog;
        SerialResult result;
        uint64_t serial;
    };
    const Case cases[] = {
        {"serial = 42\n[A]\n", SERIAL_FOUND, 42},
        {"\xEF\xBB\xBF; made by catalog-tool\r\n  SERIAL\t=\t7 \r\n[A]\r\n", SERIAL_FOUND, 7},
        {"[A]\nserial = 9\n", SERIAL_ABSENT, 0},
        {"; serial = 9\n[A]\n", SERIAL_ABSENT, 0},
        {"", SERIAL_ABSENT, 0},
        {"serial = 999999999999999999\n", SERIAL_FOUND, 999999999999999999ull},
        {"serial = 1000000000000000000\n", SERIAL_MALFORMED, 0},
        {"serial = 5x\n", SERIAL_MALFORMED, 0},
        {"serial = -5\n", SERIAL_MALFORMED, 0},
        {"serial =\n", SERIAL_MALFORMED, 0},
        {"serial = 5\nserial = 6\n", SERIAL_MALFORMED, 0},
        {std::string("serial = 5\n\0serial = 6\n", 23), SERIAL_FOUND, 5},
        {"serials = 5\n", SERIAL_ABSENT, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.catalog);
        uint64_t serial = 123;
        EXPECT_EQ(ReadCatalogSerial(Bytes(c.catalog), c.catalog.size(), &serial), c.result);
        EXPECT_EQ(serial, c.serial);
    }
}

TEST(Signing, TheThirdFieldIsTheSha256AndMustMatchExactly) {
    const std::string content = "-- main\n";
    const std::string sha = Sha256Hex(content);
    std::string lower = sha;
    for (char& c : lower) c = static_cast<char>(tolower(c));
    ASSERT_TRUE(LoadCatalogText("[S]\nfile = a.lua|" + Md5Hex(content) + "|" + lower +
                                "|later fields\nfile = b.lua|x|" + sha + "0\nfile = c.lua|x\n"));
    ASSERT_EQ(FileCount, 3);
    EXPECT_EQ(std::u16string(FileTable[0].sha256), Utf16(lower));
    EXPECT_EQ(std::u16string(FileTable[1].sha256), u"");  // 65 digits: none
    EXPECT_EQ(std::u16string(FileTable[2].sha256), u"");
    EXPECT_TRUE(MatchesSha256Field(FileTable[0].sha256, content.data(), content.size()));
    EXPECT_FALSE(MatchesSha256Field(FileTable[0].sha256, "-- main", 7));
    const std::string fields[] = {"", sha.substr(0, 63), sha.substr(0, 63) + "G", sha + " "};
    for (const std::string& field : fields) {
        EXPECT_FALSE(MatchesSha256Field(Utf16(field).c_str(), content.data(), content.size()))
            << field;
    }
}
