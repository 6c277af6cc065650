// The check run: the worker that fetches scripts.txt, parses it into the
// tables, computes every file's status and posts WM_APP_CHECK_DONE (wParam 1
// when the catalog arrived, 0 when it did not) as its last act.
#ifndef UPDATER_CATALOG_CHECK_RUN_H
#define UPDATER_CATALOG_CHECK_RUN_H

#include <stdint.h>

#include "catalog/server.h"

// Thread routine; the parameter is ignored. Start it with StartWorkerThread.
// The size and framing rules the catalog is fetched under (catalog-tool
// check applies the same ones).
extern const uint32_t CATALOG_MAX_BYTES;
extern const FetchTerms CatalogTerms;

uint32_t CheckWorker(void* unused);

#endif  // UPDATER_CATALOG_CHECK_RUN_H
