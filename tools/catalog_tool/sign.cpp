// catalog-tool: keygen, make's SHA-256 fields and signature, check --key.
#include "tools/catalog_tool/sign.h"

#include <stdlib.h>
#include <string.h>

#include "app/text.h"
#include "app/unicode.h"
#include "catalog/catalog.h"
#include "catalog/server.h"
#include "catalog/signing.h"
#include "install/files_os.h"
#include "tools/catalog_tool/signing_key.h"
#include "tools/catalog_tool/tool_os.h"

namespace {

// ---- catalog lines as bytes ----------------------------------------------------

std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The key of a key line in lower case, or "" for any other line.
std::string KeyOfLine(const std::string& trimmed) {
    size_t equals = trimmed.find('=');
    if (equals == std::string::npos || trimmed.empty() || trimmed[0] == '[' || trimmed[0] == ';' ||
        trimmed[0] == '#') {
        return std::string();
    }
    std::string key = Trimmed(trimmed.substr(0, equals));
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

std::u16string Utf16Of(const std::string& utf8) {
    int units = Utf8ToUtf16(utf8.c_str(), -1, nullptr, 0);
    if (units <= 0) return std::u16string();
    std::u16string text(static_cast<size_t>(units), u'\0');
    Utf8ToUtf16(utf8.c_str(), -1, &text[0], units);
    text.resize(static_cast<size_t>(units - 1));
    return text;
}

std::string Utf8Of(const std::u16string& text) {
    int size = Utf16ToUtf8(text.c_str(), nullptr, 0);
    if (size <= 0) return std::string();
    std::string bytes(static_cast<size_t>(size), '\0');
    Utf16ToUtf8(text.c_str(), &bytes[0], size);
    bytes.resize(static_cast<size_t>(size - 1));
    return bytes;
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

// The line with its SHA-256 field set: everything up to the second bar
// stays as written.
std::string LineWithSha256(const std::string& line, const std::u16string& sha256) {
    std::string kept = line.substr(0, line.find_last_not_of(" \t\r") + 1);
    size_t bar = kept.find('|');
    size_t second = bar == std::string::npos ? std::string::npos : kept.find('|', bar + 1);
    if (second != std::string::npos) kept.resize(second);
    if (bar == std::string::npos) kept += "|";
    return kept + "|" + Utf8Of(sha256);
}

// ---- writing -------------------------------------------------------------------

bool WriteThroughTemporary(const std::u16string& path, const std::string& bytes) {
    std::u16string temporary = path + u".tmp";
    if (!WriteWholeFile(temporary.c_str(), reinterpret_cast<const unsigned char*>(bytes.data()),
                        static_cast<uint32_t>(bytes.size()))) {
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
           ParseSignature(reinterpret_cast<const unsigned char*>(oldSignature.data()),
                          oldSignature.size(), signature) &&
           VerifySignature(key.point, bytes.data(), bytes.size(), signature);
}

uint64_t SerialOfFile(const std::u16string& path) {
    std::string old;
    uint64_t serial = 0;
    if (FetchWhole(path, &old)) {
        ReadCatalogSerial(reinterpret_cast<const unsigned char*>(old.data()), old.size(), &serial);
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
        report.Note(FINDING_SIGNATURE, where, 0,
                    u"serial " + NumberText(static_cast<long long>(serial)));
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

}  // namespace

int RunKeygen(const std::u16string& privateKeyFile, Report& report) {
    PublicKey key;
    std::u16string problem = MakeSigningKey(privateKeyFile, &key);
    if (!problem.empty()) {
        report.Error(FINDING_IO, DisplayPath(privateKeyFile), 0, problem);
        return EXIT_FAILED;
    }
    char text[PUBLIC_KEY_TEXT_LENGTH + 1];
    FormatPublicKey(key, text);
    report.Note(FINDING_SUMMARY, DisplayPath(privateKeyFile), 0,
                u"private key written (readable by you only); keep it off the server. Put this "
                u"line in the [updater] section of updater.ini:");
    report.Note(FINDING_SUMMARY, u"", 0, u"key=" + Utf16Of(text));
    return EXIT_OK;
}

bool AddSha256Fields(const std::u16string& folder, std::string* bytes, Report& report) {
    std::string out;
    std::u16string section;
    bool inSection = false;
    for (const std::string& line : SplitLines(*bytes)) {
        std::string trimmed = Trimmed(line);
        std::string key = KeyOfLine(trimmed);
        if (!trimmed.empty() && trimmed[0] == '[') {
            inSection = trimmed.find(']') != std::string::npos;
            section = Utf16Of(trimmed.substr(1, trimmed.find(']') - 1));
        }
        if (!inSection || (key != "file" && key != "keep")) {
            out += line + "\n";
            continue;
        }
        std::string value = Trimmed(trimmed.substr(trimmed.find('=') + 1));
        std::u16string path = Utf16Of(value.substr(0, value.find('|')));
        std::u16string local = folder + u"\\" + section + u"\\" + path;
        TextReplaceChar(&local[0], u'/', u'\\');
        std::string content;
        if (!FetchWhole(local, &content)) {
            report.Error(FINDING_IO, DisplayPath(local), 0, u"cannot read the file");
            return false;
        }
        out += LineWithSha256(line, Sha256Of(content)) + "\n";
    }
    *bytes = out;
    return true;
}

std::string WithSerial(const std::string& bytes, uint64_t serial) {
    std::string out = "serial = " + Utf8Of(NumberText(static_cast<long long>(serial))) + "\n";
    bool beforeSections = true;
    for (const std::string& line : SplitLines(bytes)) {
        std::string trimmed = Trimmed(line);
        if (!trimmed.empty() && trimmed[0] == '[') beforeSections = false;
        if (beforeSections && KeyOfLine(trimmed) == "serial") continue;
        out += line + "\n";
    }
    return out;
}

int WriteSignedCatalog(const std::u16string& out, const std::u16string& outShown,
                       const std::string& bytes, const std::u16string& keyFile, Report& report) {
    uint64_t serial = SerialOfFile(out);
    unsigned char signature[SIGNATURE_BYTES];
    PublicKey key;
    // Signing first: a key that cannot sign leaves everything as it was.
    std::u16string problem = SignWithKeyFile(keyFile, "", signature, &key);
    if (!problem.empty()) {
        report.Error(FINDING_IO, DisplayPath(keyFile), 0, problem);
        return EXIT_FAILED;
    }
    if (serial > 0 && AlreadySigned(out, WithSerial(bytes, serial), key)) {
        report.Note(FINDING_SUMMARY, outShown, 0,
                    u"up to date and signed, serial " + NumberText(static_cast<long long>(serial)));
        return EXIT_OK;
    }
    if (serial >= 999999999999999999ull) {
        report.Error(FINDING_SIGNATURE, outShown, 0,
                     u"the serial is at its largest (18 digits); nothing is written");
        return EXIT_PROBLEMS;
    }
    std::string signedBytes = WithSerial(bytes, serial + 1);
    problem = SignWithKeyFile(keyFile, signedBytes, signature, &key);
    if (!problem.empty() ||
        !VerifySignature(key.point, signedBytes.data(), signedBytes.size(), signature)) {
        report.Error(FINDING_IO, DisplayPath(keyFile), 0,
                     problem.empty() ? u"cannot sign" : problem);
        return EXIT_FAILED;
    }
    if (!WriteThroughTemporary(out, signedBytes)) {
        report.Error(FINDING_IO, outShown, 0, u"cannot write the catalog");
        return EXIT_FAILED;
    }
    if (!WriteThroughTemporary(out + u".sig", SignatureFileText(signature))) {
        report.Error(FINDING_IO, outShown + u".sig", 0, u"cannot write the signature");
        return EXIT_FAILED;
    }
    report.Note(FINDING_SUMMARY, outShown, 0,
                u"written and signed, serial " + NumberText(static_cast<long long>(serial + 1)) +
                    u"; signature in " + outShown + u".sig");
    return EXIT_OK;
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
    for (size_t i = 0; i < fileLines.size() && static_cast<int>(i) < FileCount; ++i) {
        CheckFileSha256(where, static_cast<int>(i), fileLines[i], report);
    }
    return true;
}
