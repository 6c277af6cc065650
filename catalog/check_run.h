// The check run: the worker that fetches scripts.txt, parses it into the
// tables, computes every file's status and posts WM_APP_CHECK_DONE as its
// last act, with one of the CHECK_DONE_ values of shared_state.h in wParam
// (arrived, unreachable, not verified, older than a catalog used before).
#ifndef UPDATER_CATALOG_CHECK_RUN_H
#define UPDATER_CATALOG_CHECK_RUN_H

#include <stdint.h>

#include "catalog/server.h"

// The size and framing rules the catalog is fetched under; catalog-tool
// check applies the same ones. Without a key nothing checks a catalog's
// bytes but its own framing, so a cut one must not pass for a shorter
// catalog; with a key its signature proves every byte, so a catalog that a
// proxy re-chunked or sent without a length is taken.
extern const uint32_t CATALOG_MAX_BYTES;
FetchTerms CatalogFetchTerms(bool signatureChecked);

// Thread routine; the parameter is ignored. Start it with StartWorkerThread.
uint32_t CheckWorker(void* unused);

#endif  // UPDATER_CATALOG_CHECK_RUN_H
