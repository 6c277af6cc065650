// The server folder as make finds it: one folder per script, its files at
// their relative paths, each with its MD5. Names the updater would refuse
// or cut, and names Windows cannot hold, are left out and reported.
#ifndef UPDATER_TOOLS_CATALOG_TOOL_SERVER_FOLDER_H
#define UPDATER_TOOLS_CATALOG_TOOL_SERVER_FOLDER_H

#include <memory>
#include <string>
#include <vector>

#include "catalog/names.h"
#include "tools/catalog_tool/report.h"

struct FoundFile {
    std::u16string path;    // relative to the script's folder, '/' separated
    std::u16string digest;  // upper-case MD5
};

struct FoundScript {
    std::u16string name;
    std::vector<FoundFile> files;  // files of each folder first, then its folders, by name
};

struct MakeRun {
    std::u16string folder;    // the server folder, program form
    std::u16string out;       // the catalog written, program form
    std::u16string outShown;  // and as the user writes it
    std::vector<FoundScript> scripts;
    std::unique_ptr<PathIndex> paths{new PathIndex()};  // the current script's files
    int fileTotal = 0;
    bool ioFailed = false;  // something could not be read or written
    bool stopped = false;   // a limit was passed; the walk ends there
};

std::u16string Inside(const std::u16string& folder, const std::u16string& name);

// Tells an error about something that could not be read or written.
void IoError(MakeRun* run, Report& report, const std::u16string& where, const std::u16string& text);

// Fills run->scripts from run->folder.
void WalkServerFolder(MakeRun* run, Report& report);

#endif  // UPDATER_TOOLS_CATALOG_TOOL_SERVER_FOLDER_H
