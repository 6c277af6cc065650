// The check run: scripts.txt from the server into the tables, then every
// file's status against the scripts folder, then WM_APP_CHECK_DONE.
#include "catalog/check_run.h"

#include <stdlib.h>

#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "catalog/catalog.h"
#include "catalog/local_state.h"
#include "catalog/server.h"
#include "catalog/signing.h"

enum { CATALOG_ADDRESS_CAPACITY = 1100 };

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

uint32_t CheckWorker(void* /*unused*/) {
    char16_t address[CATALOG_ADDRESS_CAPACITY];
    BuildResourceAddress(address, CATALOG_ADDRESS_CAPACITY, u"scripts.txt");
    uint32_t size = 0;
    unsigned char* bytes = FetchResource(address, &size, -1);
    if (bytes == nullptr) {
        PostToMainWindow(WM_APP_CHECK_DONE, CHECK_DONE_UNREACHABLE, 0);
        return 0;
    }
    // With a key, an unverified catalog is never parsed: the tables stay
    // as they were and nothing can be installed.
    int outcome = CheckCatalogSignature(bytes, size);
    if (outcome != CHECK_DONE_ARRIVED) {
        free(bytes);
        PostToMainWindow(WM_APP_CHECK_DONE, outcome, 0);
        return 0;
    }
    LoadCatalog(bytes);
    for (int script = 0; script < ScriptCount; ++script) RefreshFileStatuses(script);
    PostToMainWindow(WM_APP_CHECK_DONE, CHECK_DONE_ARRIVED, 0);
    return 0;
}
