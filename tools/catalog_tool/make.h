// catalog-tool make: writes scripts.txt for a server folder laid out as the
// updater expects it (one folder per script, its files at their relative
// paths), with the MD5 of every file.
//
// A catalog that exists already is kept as far as it can be: every section's
// version, desc and note lines, its comments and other lines, the order of
// the sections and which files are keep files. Digests are brought up to
// date, new files are added (after the section's last file line, as file
// lines) and files that are gone are dropped; a section whose folder is gone
// is dropped, a new folder gets a new section at the end. Every change is
// reported.
//
// Nothing is written when the folder holds a name the updater would refuse
// or cut, when the catalog would exceed the updater's limits, or when the
// updater's parser would read the result differently from what was meant:
// the catalog is written whole to a temporary file and moved over the old
// one, so a failed run never leaves a half-written catalog.
#ifndef UPDATER_TOOLS_CATALOG_TOOL_MAKE_H
#define UPDATER_TOOLS_CATALOG_TOOL_MAKE_H

#include <string>

#include "tools/catalog_tool/report.h"
#include "tools/catalog_tool/sign.h"

// folder: the server folder; outFile: where to write (empty for the
// folder's scripts.txt). The catalog kept from is outFile when it exists,
// else the folder's scripts.txt when that exists. Every file line gets the
// file's SHA-256 as a third field. options: how it is signed (sign.h); a
// catalog that is signed is never written unsigned unless options say so.
// Beside the catalog, OUT.versions keeps the files each script's version
// was written with, to tell files changed under an unchanged version.
// Returns a ToolExit value.
int RunMake(const std::u16string& folder, const std::u16string& outFile, const SignOptions& options,
            Report& report);
inline int RunMake(const std::u16string& folder, const std::u16string& outFile, Report& report) {
    return RunMake(folder, outFile, SignOptions(), report);
}

#endif  // UPDATER_TOOLS_CATALOG_TOOL_MAKE_H
