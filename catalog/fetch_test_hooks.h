// Test-only entries of the fetch. The program never calls them.
#ifndef UPDATER_CATALOG_FETCH_TEST_HOOKS_H
#define UPDATER_CATALOG_FETCH_TEST_HOOKS_H

#include <stdint.h>

// POSIX only: trusts the PEM certificates in pemPath for every later web
// fetch, on top of the system's own, so that the tests can reach their own
// local HTTPS server. Verification stays on. Null (or a path too long to
// keep) trusts none again.
void FetchTrustExtraCaFileForTests(const char* pemPath);

// Both builds: every wait of a later web fetch ends after milliseconds
// instead of FETCH_WAIT_BOUND_MS, so that a test of a silent server takes a
// second rather than half a minute. 0 puts the real bound back.
void FetchSetWaitBoundForTests(uint32_t milliseconds);

// Windows: how many fetch threads given up on (FETCH_MAX_ABANDONED) still
// hold their jobs. Always 0 on POSIX, where a fetch runs on its caller.
int FetchAbandonedCountForTests();

#endif  // UPDATER_CATALOG_FETCH_TEST_HOOKS_H
