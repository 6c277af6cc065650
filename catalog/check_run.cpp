// The check run: scripts.txt from the server into the tables, then every
// file's status against the scripts folder, then WM_APP_CHECK_DONE.
#include "catalog/check_run.h"

#include <stdlib.h>

#include "app/settings.h"
#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "catalog/catalog.h"
#include "catalog/hash_os.h"
#include "catalog/local_state.h"
#include "catalog/proven_files.h"
#include "catalog/server.h"
#include "catalog/signing.h"

// Every limit of the catalog format together fits in under 2 MiB; a larger
// catalog is refused as soon as that is known, rather than held.
const uint32_t CATALOG_MAX_BYTES = 16u * 1024 * 1024;

FetchTerms CatalogFetchTerms(bool signatureChecked) {
    return FetchTerms{CATALOG_MAX_BYTES, !signatureChecked};
}

// Parses the fetched bytes into the emptied tables. A catalog whose UTF-16
// copy cannot be allocated leaves them empty: it still arrived.
static void LoadCatalog(unsigned char* bytes) {
    char16_t* text = ConvertCatalogText(reinterpret_cast<const char*>(bytes));
    ClearCatalog();
    if (text != nullptr) {
        ParseCatalog(SkipByteOrderMark(text));
        free(text);
    }
    free(bytes);
}

// Fetches, verifies and loads the catalog and judges every file; returns
// the CHECK_DONE_ value to report.
static int CheckCatalog() {
    char16_t address[CATALOG_ADDRESS_CAPACITY];
    BuildResourceAddress(address, CATALOG_ADDRESS_CAPACITY, u"scripts.txt");
    // A key that does not parse still fails closed, at the signature.
    PublicKey keys[MAX_CATALOG_KEYS];
    const FetchTerms terms = CatalogFetchTerms(ParsePublicKeys(CatalogKeys, keys) > 0);
    uint32_t size = 0;
    unsigned char* bytes = FetchResourceWithTerms(address, &size, -1, &terms);
    if (bytes == nullptr) return CHECK_DONE_UNREACHABLE;
    // With a key, an unverified catalog is never parsed: the tables stay
    // as they were and nothing can be installed.
    int outcome = CheckCatalogSignature(bytes, size);
    if (outcome != CHECK_DONE_ARRIVED) {
        free(bytes);
        return outcome;
    }
    LoadCatalog(bytes);
    LoadProvenFiles();
    for (int script = 0; script < ScriptCount; ++script) RefreshFileStatuses(script);
    SaveProvenFiles();
    return CHECK_DONE_ARRIVED;
}

uint32_t CheckWorker(void* /*unused*/) {
    int outcome = CheckCatalog();
    ReleaseThreadCryptoState();
    PostToMainWindow(WM_APP_CHECK_DONE, outcome, 0);
    return 0;
}
