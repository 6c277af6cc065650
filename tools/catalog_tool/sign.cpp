// catalog-tool: keygen and key, make's SHA-256 fields, header lines and
// signature, check --key.
#include "tools/catalog_tool/sign.h"

#include <stdlib.h>
#include <string.h>

#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/server.h"
#include "catalog/signing.h"
#include "install/files_os.h"
#include "tools/catalog_tool/catalog_reading.h"
#include "tools/catalog_tool/signing_key.h"
#include "tools/catalog_tool/tool_os.h"

namespace {

const uint64_t LargestSerial = 999999999999999999ull;  // 18 digits

const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

// The whole content of a file or a web address; false when it did not come.
bool FetchWhole(const std::u16string& address, std::string* content) {
    uint32_t size = 0;
    unsigned char* bytes = FetchResource(address.c_str(), &size, -1);
    if (bytes == nullptr) return false;
    content->assign(reinterpret_cast<char*>(bytes), size);
    free(bytes);
    return true;
}

std::u16string Sha256Of(const std::string& content) {
    char16_t text[SHA256_TEXT_LENGTH + 1];
    if (!Sha256Text(content.data(), content.size(), text)) return std::u16string();
    return text;
}

std::u16string KeyText(const PublicKey& key) {
    char text[PUBLIC_KEY_TEXT_LENGTH + 1];
    FormatPublicKey(key, text);
    return Utf16Of(text);
}

std::u16string SerialText(uint64_t serial) {
    return NumberText(static_cast<long long>(serial));
}

// ---- catalog lines, as the updater's parser reads them ----------------------------

// The catalog bytes read by the updater's parser, one record a line (the
// empty "line" after the last LF left out).
CatalogReading ReadBytes(const std::string& bytes) {
    CatalogReading reading = ReadCatalogLines(Utf16Of(bytes).c_str());
    if (!reading.lines.empty() && reading.lines.back().written.empty()) reading.lines.pop_back();
    return reading;
}

bool IsSigningHeaderLine(const LineRecord& line) {
    return line.verdict == LINE_BEFORE_FIRST_SECTION &&
           HeaderKeyOf(line.key.c_str()) != HEADER_NONE;
}

// The line of a file with its SHA-256 field set: everything up to the
// parser's second bar stays as written (neither the key nor the path of a
// file line holds a bar, so it is the second one of the line).
std::u16string LineWithSha256(const LineRecord& line, const std::u16string& sha256) {
    std::u16string kept = line.written;
    if (line.hasSecondBar) kept.resize(kept.find(u'|', kept.find(u'|') + 1));
    kept.erase(kept.find_last_not_of(u" \t") + 1);
    if (kept.find(u'|') == std::u16string::npos) kept += u"|";
    return kept + u"|" + sha256;
}

// ---- writing ------------------------------------------------------------------------

bool WriteThroughTemporary(const std::u16string& path, const std::string& bytes) {
    std::u16string temporary = path + u".tmp";
    if (!WriteWholeFile(temporary.c_str(), Bytes(bytes), static_cast<uint32_t>(bytes.size()))) {
        return false;
    }
    if (MoveFileOver(temporary.c_str(), path.c_str())) return true;
    RemoveFile(temporary.c_str());
    return false;
}

std::string SignatureFileText(const unsigned char signature[SIGNATURE_BYTES]) {
    char text[SIGNATURE_TEXT_LENGTH + 1];
    FormatSignature(signature, text);
    return std::string(text) + "\n";
}

// Whether the catalog at out is already bytes with a signature by key.
bool AlreadySigned(const std::u16string& out, const std::string& bytes, const PublicKey& key) {
    std::string old, oldSignature;
    unsigned char signature[SIGNATURE_BYTES];
    return FetchWhole(out, &old) && old == bytes && FetchWhole(out + u".sig", &oldSignature) &&
           ParseSignature(Bytes(oldSignature), oldSignature.size(), signature) &&
           VerifySignature(key.point, bytes.data(), bytes.size(), signature);
}

// ---- what make --sign starts from ---------------------------------------------------

// The key that signs, the next key, and the serials so far.
struct Signing {
    PublicKey key;
    std::u16string nextKey;  // the nextkey line's key text, empty for none
    uint64_t catalogSerial = 0;
    uint64_t recordedSerial = 0;
    std::u16string recordPath;
};

// The serial record beside the key: "serial = N", read by the catalog's own
// rule. Absent is 0; anything else stops make (told).
bool ReadSerialRecord(Signing* signing, Report& report) {
    std::string record;
    if (KindOfPath(signing->recordPath.c_str()) == PATH_ABSENT) return true;
    if (!FetchWhole(signing->recordPath, &record) ||
        ReadCatalogSerial(Bytes(record), record.size(), &signing->recordedSerial) != SERIAL_FOUND) {
        report.Error(FINDING_IO, DisplayPath(signing->recordPath), 0,
                     u"the serial record of this key is not 'serial = N'; put back the highest "
                     u"serial signed with the key, or remove the file if it never signed");
        return false;
    }
    return true;
}

bool WriteSerialRecord(const Signing& signing, uint64_t serial, Report& report) {
    std::string text = Utf8Of(SerialKey) + " = " + Utf8Of(SerialText(serial)) + "\n";
    if (WriteThroughTemporary(signing.recordPath, text)) return true;
    report.Error(FINDING_IO, DisplayPath(signing.recordPath), 0,
                 u"cannot write the serial record of the key; nothing is written");
    return false;
}

// The public half of a private key file; false (told) when it cannot be read.
bool PublicHalfOf(const std::u16string& keyFile, PublicKey* key, Report& report) {
    unsigned char signature[SIGNATURE_BYTES];
    std::u16string problem = SignWithKeyFile(keyFile, "", signature, key);
    if (problem.empty()) return true;
    report.Error(FINDING_IO, DisplayPath(keyFile), 0, problem);
    return false;
}

// The next key: --next-key, or else the one the catalog names already,
// until that key itself signs.
bool ChooseNextKey(Signing* signing, const SignOptions& options, const std::string& old,
                   Report& report) {
    PublicKey next;
    if (!options.nextKeyFile.empty()) {
        if (!PublicHalfOf(options.nextKeyFile, &next, report)) return false;
        if (memcmp(next.point, signing->key.point, PUBLIC_KEY_BYTES) == 0) {
            report.Error(FINDING_SIGNATURE, DisplayPath(options.nextKeyFile), 0,
                         u"the next key is the key that signs; pass the new key's file");
            return false;
        }
    } else if (ReadCatalogNextKey(Bytes(old), old.size(), &next) != SERIAL_FOUND ||
               memcmp(next.point, signing->key.point, PUBLIC_KEY_BYTES) == 0) {
        return true;
    }
    signing->nextKey = KeyText(next);
    return true;
}

std::string HeaderLines(const Signing& signing, uint64_t serial) {
    std::string header = Utf8Of(SerialKey) + " = " + Utf8Of(SerialText(serial)) + "\n";
    if (!signing.nextKey.empty()) {
        header += Utf8Of(NextKeyKey) + " = " + Utf8Of(signing.nextKey) + "\n";
    }
    return header;
}

// The serial to sign with; 0 (told) when there is none.
uint64_t ChooseSerial(const Signing& signing, const SignOptions& options,
                      const std::u16string& outShown, Report& report) {
    uint64_t highest = signing.catalogSerial > signing.recordedSerial ? signing.catalogSerial
                                                                      : signing.recordedSerial;
    if (options.serial != 0 && options.serial <= highest) {
        report.Error(FINDING_SIGNATURE, outShown, 0,
                     u"--serial " + SerialText(options.serial) + u" is not above " +
                         SerialText(highest) +
                         u", the highest serial of this catalog and of the key's serial record: "
                         u"users who had that one would refuse it; nothing is written");
        return 0;
    }
    uint64_t serial = options.serial != 0 ? options.serial : highest + 1;
    if (serial > LargestSerial) {
        report.Error(FINDING_SIGNATURE, outShown, 0,
                     u"the serial is at its largest (18 digits); nothing is written");
        return 0;
    }
    return serial;
}

// ---- check --key -----------------------------------------------------------------

void CheckSignatureFile(const std::u16string& where, const unsigned char* bytes, uint32_t size,
                        const PublicKey* keys, int keyCount, Report& report) {
    char16_t address[1100];
    BuildResourceAddress(address, 1100, u"scripts.txt.sig");
    std::string file;
    unsigned char signature[SIGNATURE_BYTES];
    if (!FetchWhole(address, &file)) {
        report.Error(FINDING_SIGNATURE, where, 0,
                     u"scripts.txt.sig is missing: the updater would not use this catalog");
    } else if (!ParseSignature(reinterpret_cast<const unsigned char*>(file.data()), file.size(),
                               signature)) {
        report.Error(FINDING_SIGNATURE, where, 0,
                     u"scripts.txt.sig is not a signature (88 characters of base64 and a line "
                     u"break)");
    } else {
        for (int i = 0; i < keyCount; ++i) {
            if (!VerifySignature(keys[i].point, bytes, size, signature)) continue;
            report.Note(FINDING_SIGNATURE, where, 0,
                        u"signature is valid (key " + NumberText(i + 1) + u" of " +
                            NumberText(keyCount) + u")");
            return;
        }
        report.Error(FINDING_SIGNATURE, where, 0,
                     u"scripts.txt.sig was not made with the key given, or the catalog changed "
                     u"after signing: the updater would not use this catalog");
    }
}

void CheckSerial(const std::u16string& where, const unsigned char* bytes, uint32_t size,
                 Report& report) {
    uint64_t serial = 0;
    SerialResult result = ReadCatalogSerial(bytes, size, &serial);
    if (result == SERIAL_MALFORMED) {
        report.Error(FINDING_SIGNATURE, where, 0,
                     u"the serial line is not 'serial = N' with 1 to 18 digits, or there are "
                     u"two: the updater would not use this catalog");
    } else if (result == SERIAL_ABSENT) {
        report.Warning(FINDING_SIGNATURE, where, 0,
                       u"no serial line: counts as 0, so an updater that used a catalog with a "
                       u"serial refuses this one");
    } else {
        report.Note(FINDING_SIGNATURE, where, 0, u"serial " + SerialText(serial));
    }
}

// The script whose run of FileTable holds file.
int ScriptOfFile(int file) {
    for (int script = 0; script < ScriptCount; ++script) {
        const ScriptRecord& record = ScriptTable[script];
        if (file >= record.firstFile && file < record.firstFile + record.fileCount) return script;
    }
    return 0;
}

void CheckFileSha256(const std::u16string& where, int index, int line, Report& report) {
    const FileRecord& file = FileTable[index];
    if (!IsSha256Text(file.sha256)) {
        report.Error(FINDING_SIGNATURE, where, line,
                     u"no SHA-256 (64 hexadecimal digits after a second '|'): the updater "
                     u"refuses to install this file from a signed catalog");
        return;
    }
    const ScriptRecord& script = ScriptTable[ScriptOfFile(index)];
    char16_t address[FILE_ADDRESS_CAPACITY];
    if (!BuildFileAddress(address, script.name, file.path)) return;  // told as a cut address
    std::string content;
    if (!FetchWhole(address, &content)) return;  // told with the other files
    if (MatchesSha256Field(file.sha256, content.data(), content.size())) return;
    report.Error(FINDING_DIGEST_MISMATCH, where, line,
                 std::u16string(script.name) + u"/" + file.path + u" has the SHA-256 " +
                     Sha256Of(content) + u", the catalog says " + file.sha256);
}

void CheckNextKey(const std::u16string& where, const unsigned char* bytes, uint32_t size,
                  Report& report) {
    PublicKey next;
    SerialResult result = ReadCatalogNextKey(bytes, size, &next);
    if (result == SERIAL_MALFORMED) {
        report.Error(FINDING_SIGNATURE, where, 0,
                     u"the nextkey line is not 'nextkey = p256:...' with one key, or there are "
                     u"two: the updater ignores it, and users never learn the next key");
    } else if (result == SERIAL_FOUND) {
        report.Note(FINDING_SIGNATURE, where, 0,
                    u"names the next key " + KeyText(next) +
                        u": an updater that verifies this catalog trusts it from then on");
    }
}

}  // namespace

int RunKeygen(const std::u16string& privateKeyFile, Report& report) {
    PublicKey key;
    std::u16string problem = MakeSigningKey(privateKeyFile, &key);
    if (!problem.empty()) {
        report.Error(FINDING_IO, DisplayPath(privateKeyFile), 0, problem);
        return EXIT_FAILED;
    }
    report.Note(FINDING_SUMMARY, DisplayPath(privateKeyFile), 0,
                u"private key written (readable by you only); keep it off the server. Put this "
                u"line in the [updater] section of updater.ini:");
    report.Note(FINDING_SUMMARY, u"", 0, u"key=" + KeyText(key));
    report.Note(FINDING_SUMMARY, u"", 0,
                u"Moving users to this key from one they have? Never replace their key: add "
                u"this one beside it (key=p256:OLD... p256:NEW...), or publish a catalog signed "
                u"by the old key that names this one (make FOLDER --sign OLD_KEY_FILE "
                u"--next-key " +
                    DisplayPath(privateKeyFile) + u") and sign with this key once users follow.");
    return EXIT_OK;
}

int RunKeyLine(const std::u16string& privateKeyFile, Report& report) {
    PublicKey key;
    if (!PublicHalfOf(privateKeyFile, &key, report)) return EXIT_FAILED;
    report.Note(FINDING_SUMMARY, u"", 0, u"key=" + KeyText(key));
    return EXIT_OK;
}

bool AddSha256Fields(const std::u16string& folder, std::string* bytes, Report& report) {
    std::u16string out;
    for (const LineRecord& line : ReadBytes(*bytes).lines) {
        if (line.file < 0) {
            out += line.written + u"\n";
            continue;
        }
        std::u16string local = folder + u"\\" + ScriptTable[line.script].name + u"\\" + line.path;
        TextReplaceChar(&local[0], u'/', u'\\');
        std::string content;
        if (!FetchWhole(local, &content)) {
            report.Error(FINDING_IO, DisplayPath(local), 0, u"cannot read the file");
            return false;
        }
        out += LineWithSha256(line, Sha256Of(content)) + u"\n";
    }
    *bytes = Utf8Of(out);
    return true;
}

std::string WithSigningHeader(const std::string& bytes, const std::string& header) {
    std::u16string out = Utf16Of(header);
    for (const LineRecord& line : ReadBytes(bytes).lines) {
        if (!IsSigningHeaderLine(line)) out += line.written + u"\n";
    }
    return Utf8Of(out);
}

bool CatalogIsSigned(const std::u16string& out) {
    std::string old;
    uint64_t serial = 0;
    PublicKey next;
    return KindOfPath((out + u".sig").c_str()) == PATH_FILE ||
           (FetchWhole(out, &old) &&
            (ReadCatalogSerial(Bytes(old), old.size(), &serial) != SERIAL_ABSENT ||
             ReadCatalogNextKey(Bytes(old), old.size(), &next) != SERIAL_ABSENT));
}

bool DropSignatureFile(const std::u16string& out, Report& report) {
    std::u16string signature = out + u".sig";
    if (KindOfPath(signature.c_str()) == PATH_ABSENT) return true;
    RemoveFile(signature.c_str());
    if (KindOfPath(signature.c_str()) == PATH_ABSENT) return true;
    report.Error(FINDING_IO, DisplayPath(signature), 0,
                 u"cannot remove the signature file; remove it by hand before uploading");
    return false;
}

int WriteSignedCatalog(const std::u16string& out, const std::u16string& outShown,
                       const std::string& bytes, const SignOptions& options, Report& report) {
    Signing signing;
    signing.recordPath = options.keyFile + u".serial";
    std::string old;
    if (!FetchWhole(out, &old)) old.clear();
    ReadCatalogSerial(Bytes(old), old.size(), &signing.catalogSerial);
    // The keys are read first: a key that cannot sign leaves everything as it was.
    if (!PublicHalfOf(options.keyFile, &signing.key, report) ||
        !ChooseNextKey(&signing, options, old, report) || !ReadSerialRecord(&signing, report)) {
        return EXIT_FAILED;
    }
    if (options.serial == 0 && signing.catalogSerial > 0 &&
        signing.catalogSerial >= signing.recordedSerial &&
        AlreadySigned(out, WithSigningHeader(bytes, HeaderLines(signing, signing.catalogSerial)),
                      signing.key)) {
        if (signing.recordedSerial < signing.catalogSerial &&
            !WriteSerialRecord(signing, signing.catalogSerial, report)) {
            return EXIT_FAILED;
        }
        report.Note(FINDING_SUMMARY, outShown, 0,
                    u"up to date and signed, serial " + SerialText(signing.catalogSerial));
        return EXIT_OK;
    }
    uint64_t serial = ChooseSerial(signing, options, outShown, report);
    if (serial == 0) return EXIT_PROBLEMS;
    std::string signedBytes = WithSigningHeader(bytes, HeaderLines(signing, serial));
    unsigned char signature[SIGNATURE_BYTES];
    std::u16string problem = SignWithKeyFile(options.keyFile, signedBytes, signature, &signing.key);
    if (!problem.empty() ||
        !VerifySignature(signing.key.point, signedBytes.data(), signedBytes.size(), signature)) {
        report.Error(FINDING_IO, DisplayPath(options.keyFile), 0,
                     problem.empty() ? u"cannot sign" : problem);
        return EXIT_FAILED;
    }
    // The record first: a serial once signed is never signed again, even
    // when the catalog cannot be written.
    if (!WriteSerialRecord(signing, serial, report)) return EXIT_FAILED;
    if (!WriteThroughTemporary(out, signedBytes)) {
        report.Error(FINDING_IO, outShown, 0, u"cannot write the catalog");
        return EXIT_FAILED;
    }
    if (!WriteThroughTemporary(out + u".sig", SignatureFileText(signature))) {
        report.Error(FINDING_IO, outShown + u".sig", 0, u"cannot write the signature");
        return EXIT_FAILED;
    }
    report.Note(FINDING_SUMMARY, outShown, 0,
                u"written and signed, serial " + SerialText(serial) + u"; signature in " +
                    outShown + u".sig" +
                    (signing.nextKey.empty() ? std::u16string()
                                             : u"; names the next key " + signing.nextKey));
    return EXIT_OK;
}

void TellSigningWithoutKey(const std::u16string& where, const unsigned char* bytes, uint32_t size,
                           Report& report) {
    uint64_t serial = 0;
    if (ReadCatalogSerial(bytes, size, &serial) == SERIAL_FOUND) {
        report.Note(FINDING_SIGNATURE, where, 0, u"serial " + SerialText(serial));
    }
    char16_t address[CATALOG_ADDRESS_CAPACITY];
    BuildResourceAddress(address, CATALOG_ADDRESS_CAPACITY, u"scripts.txt.sig");
    std::string file;
    if (!FetchWhole(address, &file)) return;
    report.Warning(FINDING_SIGNATURE, where, 0,
                   u"scripts.txt.sig lies beside the catalog, but without --key it was not "
                   u"verified: add --key with the key= value of updater.ini to check the "
                   u"signature, the serial and every SHA-256");
}

bool CheckSigning(const std::u16string& where, const unsigned char* bytes, uint32_t size,
                  const std::u16string& keyText, const std::vector<int>& fileLines,
                  Report& report) {
    PublicKey keys[MAX_CATALOG_KEYS];
    int keyCount = ParsePublicKeys(keyText.c_str(), keys);
    if (keyCount <= 0) {
        report.Error(FINDING_USAGE, u"catalog-tool", 0,
                     u"--key takes one or two keys as keygen prints them (p256:...)");
        return false;
    }
    CheckSignatureFile(where, bytes, size, keys, keyCount, report);
    CheckSerial(where, bytes, size, report);
    CheckNextKey(where, bytes, size, report);
    for (size_t i = 0; i < fileLines.size() && static_cast<int>(i) < FileCount; ++i) {
        CheckFileSha256(where, static_cast<int>(i), fileLines[i], report);
    }
    return true;
}
