// catalog-tool's side of signed catalogs: keygen, the SHA-256 fields and the
// serial that make writes, the signature of make --sign, and what
// check --key verifies. The rules themselves (key and signature texts, the
// serial line, the SHA-256 field) are the updater's, in catalog/signing.h.
#ifndef UPDATER_TOOLS_CATALOG_TOOL_SIGN_H
#define UPDATER_TOOLS_CATALOG_TOOL_SIGN_H

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/catalog_tool/report.h"

// keygen: writes a new private key to privateKeyFile and prints the
// `key=...` line for updater.ini. Returns a ToolExit value.
int RunKeygen(const std::u16string& privateKeyFile, Report& report);

// Gives every file and keep line of the catalog bytes made for the server
// folder its SHA-256 as the third field (replacing what stood there). False,
// with an error reported, when a listed file cannot be read.
bool AddSha256Fields(const std::u16string& folder, std::string* bytes, Report& report);

// The catalog bytes with one "serial = N" line at the top in place of any
// serial line before the first section.
std::string WithSerial(const std::string& bytes, uint64_t serial);

// make --sign: writes bytes as out with the next serial (one above the
// serial of the catalog it replaces), then its signature as out + ".sig",
// each through a temporary file and a move. Nothing is written when the key
// cannot sign; nothing changes when out and its signature are already
// these. Returns a ToolExit value; outShown names out in messages.
int WriteSignedCatalog(const std::u16string& out, const std::u16string& outShown,
                       const std::string& bytes, const std::u16string& keyFile, Report& report);

// check --key: the signature file beside the catalog, the serial, and every
// listed file's SHA-256, judged as the updater judges them. The tables hold
// the parsed catalog; files are the model's files in table order. False when
// keyText is not one or two keys (nothing is checked then).
bool CheckSigning(const std::u16string& where, const unsigned char* bytes, uint32_t size,
                  const std::u16string& keyText, const std::vector<int>& fileLines,
                  Report& report);

#endif  // UPDATER_TOOLS_CATALOG_TOOL_SIGN_H
