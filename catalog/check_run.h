// The check run: the worker that fetches scripts.txt, parses it into the
// tables, computes every file's status and posts WM_APP_CHECK_DONE as its
// last act, with one of the CHECK_DONE_ values of shared_state.h in wParam
// (arrived, unreachable, not verified, older than a catalog used before).
#ifndef UPDATER_CATALOG_CHECK_RUN_H
#define UPDATER_CATALOG_CHECK_RUN_H

#include <stdint.h>

// Thread routine; the parameter is ignored. Start it with StartWorkerThread.
uint32_t CheckWorker(void* unused);

#endif  // UPDATER_CATALOG_CHECK_RUN_H
