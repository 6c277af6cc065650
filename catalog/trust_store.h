// What verified catalogs taught this updater about its server: the highest
// serial it used, and the keys a catalog moved it to ("nextkey"). updater.ini
// holds them as `serial` and `key`; a copy lies in the program's folder in
// the user's local application data (app/local_data.h), one section per
// server address, so that a read-only updater.ini (a copy under Program
// Files, a locked-down machine) forgets nothing between runs. Neither copy
// failing to be written is an error the user sees: the other one holds.
#ifndef UPDATER_CATALOG_TRUST_STORE_H
#define UPDATER_CATALOG_TRUST_STORE_H

#include <stdint.h>

#include "app/settings.h"

struct TrustRecord {
    uint64_t serial;                           // the highest serial used, 0 for none
    char16_t keys[CATALOG_KEYS_CAPACITY];      // the keys learned last, empty for none
    char16_t keysFrom[CATALOG_KEYS_CAPACITY];  // updater.ini's `key` when they were learned
};

// The file of the local copy, in the program's local data folder.
extern const char16_t TrustStoreFileName[];

// The local copy for ServerUrl; zero and empty when there is none.
void ReadTrustRecord(TrustRecord* record);

// The keys and the serial a catalog is held to: updater.ini's (CatalogKeys,
// AcceptedSerial), the record's serial when higher, and the record's keys
// while updater.ini still names the keys they were learned from (a newer
// `key` in updater.ini, shipped on purpose, wins).
const char16_t* KeysToTrust(const TrustRecord& record);
uint64_t SerialToAccept(const TrustRecord& record);

// After a trusted catalog, on the window's thread: its serial (when higher)
// and the keys it taught (CatalogKeysLearned, when any) go to updater.ini
// and to the local copy.
void RememberTrustedCatalog();

#endif  // UPDATER_CATALOG_TRUST_STORE_H
