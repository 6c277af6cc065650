// Signed catalogs: the rules the updater and catalog-tool share.
//
// A publisher signs the exact bytes of scripts.txt with a private key kept
// off the server; the signature lies beside it as scripts.txt.sig. Updater
// holds the public key (`key` in updater.ini, or one built in) and uses a
// catalog only when its signature verifies with it. Texts:
//   public key   "p256:" and the base64 of the curve point X and Y (64 bytes);
//                `key` holds one or two, separated by spaces or commas.
//   signature    scripts.txt.sig: the base64 of r and s (64 bytes), then
//                optionally a line break.
//   serial       "serial = N" before the first section: N, 1 to 18 decimal
//                digits, must not fall below the highest serial accepted.
//   next key     "nextkey = p256:..." before the first section: a key the
//                updater trusts from then on, beside the one that signed.
//   SHA-256      the third "|" field of a file or keep line: 64 hexadecimal
//                digits, required for every file of a signed catalog.
#ifndef UPDATER_CATALOG_SIGNING_H
#define UPDATER_CATALOG_SIGNING_H

#include <stddef.h>
#include <stdint.h>

#include "app/settings.h"
#include "catalog/signature.h"

enum {
    MAX_CATALOG_KEYS = 2,
    SIGNATURE_TEXT_LENGTH = 88,   // base64 of 64 bytes
    PUBLIC_KEY_TEXT_LENGTH = 93,  // "p256:" and 88 characters of base64
    SHA256_TEXT_LENGTH = 64,
};

struct PublicKey {
    unsigned char point[PUBLIC_KEY_BYTES];  // X then Y, big-endian
};

// Reads the keys of a `key` value into keys. Returns how many (0 for an
// empty text or one of spaces and tabs), or -1 when any part is not a key,
// there are more than MAX_CATALOG_KEYS, or there are only separators
// ("," or " , ,"): a mistyped key must not turn the check off.
int ParsePublicKeys(const char16_t* text, PublicKey keys[MAX_CATALOG_KEYS]);

// The text of a key ("p256:..."), PUBLIC_KEY_TEXT_LENGTH characters and a
// terminator.
void FormatPublicKey(const PublicKey& key, char text[PUBLIC_KEY_TEXT_LENGTH + 1]);

// The text of a signature, SIGNATURE_TEXT_LENGTH characters and a terminator.
void FormatSignature(const unsigned char signature[SIGNATURE_BYTES],
                     char text[SIGNATURE_TEXT_LENGTH + 1]);

// Reads the content of scripts.txt.sig. False unless it is one signature's
// text, optionally followed by spaces, tabs and line breaks.
bool ParseSignature(const unsigned char* bytes, size_t size,
                    unsigned char signature[SIGNATURE_BYTES]);

// The keys of the lines a signed catalog carries before its first section.
extern const char16_t SerialKey[];   // "serial"
extern const char16_t NextKeyKey[];  // "nextkey"
enum HeaderKey { HEADER_NONE, HEADER_SERIAL, HEADER_NEXTKEY };

// Which of those a key names (trimmed, in any case).
HeaderKey HeaderKeyOf(const char16_t* key);

enum SerialResult { SERIAL_ABSENT, SERIAL_FOUND, SERIAL_MALFORMED };

// Looks for "serial = N" among the lines before the first section of the
// catalog's bytes (up to its first zero byte, as the parser reads it). Two
// serial lines, or a value that is not 1 to 18 decimal digits, are
// malformed.
SerialResult ReadCatalogSerial(const unsigned char* bytes, size_t size, uint64_t* serial);

// The same for "nextkey = p256:...": SERIAL_FOUND with *key set, or absent,
// or malformed (two lines, or a value that is not one key).
SerialResult ReadCatalogNextKey(const unsigned char* bytes, size_t size, PublicKey* key);

enum CatalogVerdict {
    CATALOG_TRUSTED,       // signed by one of the keys, serial not lower
    CATALOG_NOT_VERIFIED,  // no valid signature by one of the keys
    CATALOG_OLDER,         // signed, but its serial is lower than accepted
};

// Judges a catalog's bytes against its signature file's bytes. A signed
// catalog without a serial counts as serial 0. *serial receives the
// catalog's serial when it is trusted, *signer the index of the key that
// signed it (-1 for none).
CatalogVerdict JudgeCatalog(const unsigned char* catalog, size_t catalogSize,
                            const unsigned char* signatureFile, size_t signatureSize,
                            const PublicKey* keys, int keyCount, uint64_t acceptedSerial,
                            uint64_t* serial, int* signer);

// A key move: the keys to trust after a catalog that signer (one of keys)
// signed and that names a next key none of keys is. learned receives
// "p256:<signer> p256:<next>" (at most two keys: an older second key goes)
// and the result is true; otherwise learned is empty.
bool LearnNextKey(const unsigned char* catalog, size_t size, const PublicKey* keys, int keyCount,
                  const PublicKey& signer, char16_t learned[CATALOG_KEYS_CAPACITY]);

// True when field is 64 hexadecimal digits (either case) that equal the
// SHA-256 of the size bytes at data.
bool MatchesSha256Field(const char16_t* field, const void* data, size_t size);

// True when text is 64 hexadecimal digits (either case) and nothing else.
bool IsSha256Text(const char16_t* text);

// The SHA-256 of data as 64 upper-case hexadecimal digits and a terminator.
bool Sha256Text(const void* data, size_t size, char16_t text[SHA256_TEXT_LENGTH + 1]);

// ---- the check run's view ---------------------------------------------------

// Whether the tables were read from a signed catalog (every file then needs
// its SHA-256), and that catalog's serial. Written by the check worker before
// its final message, read after it.
extern bool CatalogSigned;
extern uint64_t CatalogSerial;
// The keys to trust from now on, when a trusted catalog named a next key
// (LearnNextKey); empty otherwise. Stored by the window after the check.
extern char16_t CatalogKeysLearned[CATALOG_KEYS_CAPACITY];

// Runs after scripts.txt arrived, on the check worker's thread. With no key
// set: CHECK_DONE_ARRIVED and nothing fetched. Otherwise fetches
// scripts.txt.sig by the same rules and judges the catalog: returns the
// WM_APP_CHECK_DONE wParam to report (CHECK_DONE_UNREACHABLE when Cancel
// broke the fetch off).
int CheckCatalogSignature(const unsigned char* catalog, size_t size);

#endif  // UPDATER_CATALOG_SIGNING_H
