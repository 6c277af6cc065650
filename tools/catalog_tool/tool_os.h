// The few things catalog-tool needs from the system besides what the
// updater's core already does (hashing, fetching, writing a file whole and
// moving it over another): what a path is, the entries of a folder, and
// lines on the console. tool_os_win32.cpp and tool_os_posix.cpp implement
// them. Paths are in the program's form (UTF-16, backslashes).
#ifndef UPDATER_TOOLS_CATALOG_TOOL_TOOL_OS_H
#define UPDATER_TOOLS_CATALOG_TOOL_TOOL_OS_H

#include <string>
#include <vector>

enum PathKind {
    PATH_ABSENT,
    PATH_FILE,
    PATH_FOLDER,
    PATH_OTHER,  // a device, a pipe, anything that is neither a file nor a folder
};

// What path names, following symbolic links.
PathKind KindOfPath(const char16_t* path);

struct FolderEntry {
    std::u16string name;
    PathKind kind;
    // False when the system's name has no faithful UTF-16 form (bytes that
    // are not UTF-8 on POSIX, a lone surrogate on Windows); name then holds
    // U+FFFD in their place, for the message only.
    bool nameIsText;
};

// The entries of folder, without "." and "..", in no particular order.
// False when the folder cannot be read.
bool ListFolder(const char16_t* folder, std::vector<FolderEntry>* entries);

// Writes one line to standard output (or standard error): UTF-16 to a
// Windows console, UTF-8 everywhere else.
void WriteOutputLine(const std::u16string& line, bool toErrorStream);

// A program path as the user writes it on this system (slashes on POSIX).
std::u16string DisplayPath(const std::u16string& path);

#endif  // UPDATER_TOOLS_CATALOG_TOOL_TOOL_OS_H
