// The publisher's private key, the platform half: made, stored and used by
// OpenSSL on POSIX (signing_key_posix.cpp). The file is an unencrypted PKCS#8
// PEM ("BEGIN PRIVATE KEY"), which the openssl command reads too. The Windows
// build of catalog-tool verifies but does not sign (signing_key_win32.cpp).
#ifndef UPDATER_TOOLS_CATALOG_TOOL_SIGNING_KEY_H
#define UPDATER_TOOLS_CATALOG_TOOL_SIGNING_KEY_H

#include <string>

#include "catalog/signing.h"

// Makes a P-256 key pair and writes its private key to path: a new file
// (never over an existing one), readable and writable by its owner only.
// Returns the empty text, with *publicKey set, or what went wrong.
std::u16string MakeSigningKey(const std::u16string& path, PublicKey* publicKey);

// Signs data with the private key in the file at path. Returns the empty
// text, with the raw signature and the key's public half, or what went
// wrong.
std::u16string SignWithKeyFile(const std::u16string& path, const std::string& data,
                               unsigned char signature[SIGNATURE_BYTES], PublicKey* publicKey);

#endif  // UPDATER_TOOLS_CATALOG_TOOL_SIGNING_KEY_H
