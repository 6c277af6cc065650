// What a script name or a file path must be to reach the user's disk intact:
// on the server (catalog-tool make refuses what the updater would refuse or
// cut), on the wire (what the updater sends for it, see catalog/server.cpp
// and catalog/wire_address.h), and in the Windows scripts folder, where the
// file lands as ScriptsFolder\name\path within 259 characters.
#ifndef UPDATER_TOOLS_CATALOG_TOOL_NAMES_H
#define UPDATER_TOOLS_CATALOG_TOOL_NAMES_H

#include <string>

#include "catalog/local_state.h"
#include "catalog/names.h"
#include "tools/catalog_tool/report.h"

enum {
    // The updater's room for the scripts folder (ScriptsFolderRoom in
    // catalog/local_state.h) below which make and check warn (say
    // D:\Games\Zentora\Scripts fits); below three characters not even "C:\"
    // fits, and the updater never installs the file.
    COMFORTABLE_FOLDER_ROOM = 100,
    LEAST_FOLDER_ROOM = 3,
};

// The updater's reason for refusing a name or a path, in words (empty for
// NAME_OK).
std::u16string NameProblemText(NameProblem problem);

// Why the updater refuses a path that meets an earlier one of its script,
// named by earlier ("the path at line 3", "'a.lua'"); empty for CLASH_NONE.
std::u16string PathClashText(PathClash clash, const std::u16string& earlier);

// Why make leaves a script folder of this name out (empty when it may be a
// section name as it is).
std::u16string ScriptNameRefusal(const std::u16string& name);

// Why make leaves a file at this relative path ('/' separated, as found on
// disk) out (empty when it may be a catalog path as it is).
std::u16string FilePathRefusal(const std::u16string& path);

// Why Windows cannot hold this single name of a file or folder as it is
// (empty when it can): the updater's refusals, and a dot or a space at its
// end, which Windows drops.
std::u16string WindowsNameProblem(const std::u16string& name);

// The same for every name of a relative path, and a path that ends in a
// slash (a folder, never a file).
std::u16string WindowsPathProblem(const std::u16string& path);

// A name or a path as Windows compares it (FoldPath): two names with the
// same folded form are one file on the user's disk.
std::u16string FoldedName(const std::u16string& name);

// What the updater's request for "name/path" under a web address risks:
// characters that go out unescaped and mean something to a server, or that
// go out as escapes a server must decode to the same name. Severity note and
// an empty text when there is nothing to say.
struct AddressRisk {
    Severity severity;
    std::u16string text;
};
AddressRisk WebAddressRisk(const std::u16string& relativeAddress);

#endif  // UPDATER_TOOLS_CATALOG_TOOL_NAMES_H
