// catalog-tool's side of signed catalogs: keygen and key, the SHA-256
// fields and the lines above the first section that make writes (serial,
// nextkey), the signature of make --sign, and what check --key verifies.
// The rules themselves (key and signature texts, the serial and next-key
// lines, the SHA-256 field) are the updater's, in catalog/signing.h.
//
// A serial is never signed twice with one key: beside the private key file
// lies its serial record, KEY_FILE.serial, the highest serial signed with
// it. The next serial is one above the higher of that record and the
// catalog's own serial line.
#ifndef UPDATER_TOOLS_CATALOG_TOOL_SIGN_H
#define UPDATER_TOOLS_CATALOG_TOOL_SIGN_H

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/catalog_tool/report.h"

// How make signs (or stops signing) a catalog.
struct SignOptions {
    std::u16string keyFile;      // --sign: the private key; empty for an unsigned catalog
    std::u16string nextKeyFile;  // --next-key: a private key whose public half users trust next
    uint64_t serial = 0;         // --serial: the serial to sign with; 0 for the next one
    bool dropSignature = false;  // --drop-signature: unsigned on purpose, .sig removed
};

// keygen: writes a new private key to privateKeyFile and prints the
// `key=...` line for updater.ini. Returns a ToolExit value.
int RunKeygen(const std::u16string& privateKeyFile, Report& report);

// key: prints the `key=...` line of the private key in privateKeyFile.
int RunKeyLine(const std::u16string& privateKeyFile, Report& report);

// Gives every file and keep line of the catalog bytes made for the server
// folder its SHA-256 as the third field (replacing what stood there). False,
// with an error reported, when a listed file cannot be read.
bool AddSha256Fields(const std::u16string& folder, std::string* bytes, Report& report);

// The catalog bytes with header (whole lines, each ending in LF) at the top
// in place of every serial and nextkey line before the first section.
std::string WithSigningHeader(const std::string& bytes, const std::string& header);

// Whether the catalog at out is signed: a signature file beside it, or a
// serial line in it.
bool CatalogIsSigned(const std::u16string& out);

// make --drop-signature: removes out's signature file. False (told) when it
// cannot.
bool DropSignatureFile(const std::u16string& out, Report& report);

// make --sign: writes bytes as out with the next serial (or options.serial),
// then its signature as out + ".sig", each through a temporary file and a
// move, after the key's serial record. Nothing is written when the key
// cannot sign or the serial would not rise; nothing changes when out and
// its signature are already these. Returns a ToolExit value; outShown names
// out in messages.
int WriteSignedCatalog(const std::u16string& out, const std::u16string& outShown,
                       const std::string& bytes, const SignOptions& options, Report& report);

// check --key: the signature file beside the catalog, the serial, the next
// key, and every listed file's SHA-256, judged as the updater judges them.
// The tables hold the parsed catalog; fileLines are the lines of its files
// in table order. False when keyText is not one or two keys (nothing is
// checked then).
bool CheckSigning(const std::u16string& where, const unsigned char* bytes, uint32_t size,
                  const std::u16string& keyText, const std::vector<int>& fileLines,
                  Report& report);

// check without --key: the serial, and that a signature file beside the
// catalog was not verified.
void TellSigningWithoutKey(const std::u16string& where, const unsigned char* bytes, uint32_t size,
                           Report& report);

#endif  // UPDATER_TOOLS_CATALOG_TOOL_SIGN_H
