// Test-only entries of the record of proven files. The program never calls
// them.
#ifndef UPDATER_CATALOG_PROVEN_FILES_TEST_HOOKS_H
#define UPDATER_CATALOG_PROVEN_FILES_TEST_HOOKS_H

#include <stdint.h>

// Moves the record's clock by seconds from the system's (0: back to it), so
// that a test sees files written a moment ago as old, or a record as made
// long ago, without waiting.
void ShiftProvenClockForTests(int64_t seconds);

// How many files were read in full to prove them since the last call.
int TakeProvenFilesReadForTests();

// How many folders were listed since the last call.
int TakeFoldersListedForTests();

// How files' facts are taken: as this system does best, from listings
// alone, or by name wherever the folder's recorded listing still holds.
enum { PROVEN_ROUTE_SYSTEM, PROVEN_ROUTE_LISTINGS, PROVEN_ROUTE_NAMED };
void UseProvenFactsRouteForTests(int route);

#endif  // UPDATER_CATALOG_PROVEN_FILES_TEST_HOOKS_H
