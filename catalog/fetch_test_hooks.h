// Test-only entry of the POSIX fetch: lets the tests trust the certificate
// authority of their own local HTTPS server. Verification stays on; this only
// names one more file of trusted certificates. The program never calls it.
#ifndef UPDATER_CATALOG_FETCH_TEST_HOOKS_H
#define UPDATER_CATALOG_FETCH_TEST_HOOKS_H

// Trusts the PEM certificates in pemPath for every later web fetch, on top
// of the system's own. Null (or a path too long to keep) trusts none again.
void FetchTrustExtraCaFileForTests(const char* pemPath);

#endif  // UPDATER_CATALOG_FETCH_TEST_HOOKS_H
