// The Windows build of catalog-tool verifies signatures (check --key) with
// the updater's own code, but makes no keys and signs nothing: the private
// key's file format is OpenSSL's, and signing is done on the publisher's
// Linux machine.
#include "tools/catalog_tool/signing_key.h"

static const char16_t NotHere[] =
    u"signing is not available in the Windows build of catalog-tool; use the Linux build "
    u"(keygen and make --sign)";

std::u16string MakeSigningKey(const std::u16string& /*path*/, PublicKey* /*publicKey*/) {
    return NotHere;
}

std::u16string SignWithKeyFile(const std::u16string& /*path*/, const std::string& /*data*/,
                               unsigned char* /*signature*/, PublicKey* /*publicKey*/) {
    return NotHere;
}
