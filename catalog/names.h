// What a section name and a file path of the catalog may be, and when two
// paths of one script name the same file on Windows. Every name here comes
// from a server and ends up as a folder or a file under the scripts folder,
// so the rules are those of Windows names on both builds: a name Windows
// would turn into a device, another folder or nothing at all is refused.
// The parser only needs to accept or refuse; catalog-tool tells the reason.
#ifndef UPDATER_CATALOG_NAMES_H
#define UPDATER_CATALOG_NAMES_H

#include <stdint.h>

#include "catalog/catalog.h"

// Why a name or a path is refused; the first rule that applies.
enum NameProblem {
    NAME_OK = 0,
    NAME_EMPTY,                 // nothing at all
    NAME_TWO_DOTS,              // ".." anywhere, also inside a name (a..b)
    NAME_LEADING_SLASH,         // begins with '/' or '\'
    NAME_COLON,                 // ':' anywhere (a drive, a stream)
    NAME_CONTROL_CHARACTER,     // U+0001 to U+001F or U+007F
    NAME_FORBIDDEN_CHARACTER,   // one of < > " | ? *
    NAME_EMPTY_PART,            // "a//b", "dir/"
    NAME_DOTS_AND_SPACES_PART,  // a part of only dots and spaces: ".", "...", ". "
    NAME_DEVICE_PART,           // CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$
    NAME_FOLDER_DOT_OR_SPACE,   // a folder ending in one: "sub dir /x.lua", "[Loot ]"
};

// A section name: its folder under the scripts folder, and the first part of
// every address of its files. '/' and '\' separate parts here too. Every
// part is a folder.
NameProblem ScriptNameProblem(const char16_t* name);

// A file or keep path, relative to the script's folder. Every part but the
// last is a folder.
//
// Windows drops the dots and spaces at the end of the last part of a path
// only: CreateDirectoryW makes "sub dir" of "sub dir ", and a file in it,
// named "sub dir \x.lua", is then not found. A folder that ends in a dot
// or a space is refused; a file name keeps them ("main.lua |..." names
// main.lua).
NameProblem FilePathProblem(const char16_t* path);

inline bool IsSafeScriptName(const char16_t* name) {
    return ScriptNameProblem(name) == NAME_OK;
}
inline bool IsSafeFilePath(const char16_t* path) {
    return FilePathProblem(path) == NAME_OK;
}

// ---- two paths of one script ------------------------------------------------

// A character as Windows sees it when it compares names: '/' is '\', and
// letters compare without regard to case. Folded to upper case are ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic (the simple upper-case
// mappings of Unicode, which the upper-case table of NTFS holds for them);
// other characters stay as they are.
char16_t FoldNameChar(char16_t c);

// The path as Windows compares it: every character folded, and the dots and
// spaces at the end of each part dropped (Windows drops them when it opens a
// file). Cut at capacity - 1. Returns the length.
int FoldPath(char16_t* out, int capacity, const char16_t* path);

// How a later path of a script meets an earlier one.
enum PathClash {
    CLASH_NONE = 0,
    CLASH_SAME_FILE,          // both name one file
    CLASH_EARLIER_TEMPORARY,  // the later path is the earlier one's "<path>.new"
    CLASH_LATER_TEMPORARY,    // the earlier path is the later one's "<path>.new"
};

// The paths of one script seen so far, by a 64-bit hash of their folded
// form and of the folded form of their temporary name, in a fixed table (no
// allocation, work per path in proportion to its length). Two different paths with the same
// hash would refuse the later line: harmless, as it can only refuse, and
// for 8192 names a chance of about 1 in 10^12.
enum { PATH_INDEX_SLOTS = 4 * MAX_FILES };

struct PathIndexSlot {
    uint64_t hash;
    uint32_t generation;  // the slot is used when it equals the index's
    int32_t value;        // the number given with the path, times two, plus one for a temporary
};

struct PathIndex {
    PathIndexSlot slots[PATH_INDEX_SLOTS];
    uint32_t generation;
    int32_t count;
};

// Empties the index (in constant time, by moving to a new generation).
void ClearPathIndex(PathIndex* index);

// How path meets the paths added since the last clear (*earlier is then the
// number given with the earlier path). When it meets none, path is added
// with number (a line, a file index), up to MAX_FILES paths.
PathClash AddPathUnlessItClashes(PathIndex* index, const char16_t* path, int number, int* earlier);

#endif  // UPDATER_CATALOG_NAMES_H
