// The record of proven files, the platform half: what a folder listing says
// about each file (size, times, identity), the clock those times are read
// against, the user's own folder where records live, and whole-file reads
// and replacements of a record. proven_files_win32.cpp lists a folder with
// one GetFileInformationByHandleEx call per buffer of entries, and under
// Wine also asks files by name; proven_files_posix.cpp opens the folder
// once and asks fstatat per file.
#ifndef UPDATER_CATALOG_PROVEN_FILES_OS_H
#define UPDATER_CATALOG_PROVEN_FILES_OS_H

#include <stdint.h>

#include <string>

// Times are counted in 100-nanosecond units since 1601-01-01 UTC on both
// builds, so that a record means the same everywhere.
struct FileFacts {
    uint64_t size;
    uint64_t writeTime;   // last write of the content
    uint64_t changeTime;  // last change of the content or the metadata; 0: none kept
    uint64_t identity;    // the file id (NTFS) or inode; 0: none kept
};

// What one look at a folder found. Opaque; made by ReadFolderFacts.
struct FolderFacts;

// Looks at the folder (program form, no trailing backslash). Null when it
// cannot be read: every file in it is then hashed.
FolderFacts* ReadFolderFacts(const char16_t* folder);

// True when name (one part, as written in the folder) is a plain file there
// and facts were taken; false for anything else (absent, a folder, a link,
// a name the system would read otherwise): the caller then reads the file
// as it always did.
bool LookUpFileFacts(FolderFacts* folder, const char16_t* name, FileFacts* facts);

void ReleaseFolderFacts(FolderFacts* folder);

// Whether asking for a file's facts by its name alone costs less here than
// listing its folder. True under Wine, where a listing is several round
// trips to the Wine server and a query by name is answered inside the
// process; false on Windows itself, where one listing costs less than a
// query per file, and natively, where the folder's listing is already one
// call per file.
bool NamedFactsCostLess();

// The size and times of path, asked by its name alone, with identity 0: such
// a query does not give it. asFolder: path must be a plain folder, else a
// plain file. False for anything else (absent, a link, a name the system
// would read otherwise) or when it cannot be asked.
bool ReadNamedFacts(const char16_t* path, bool asFolder, FileFacts* facts);

// Now, in the units of FileFacts' times.
uint64_t FileClockNow();

// The program's own folder among the user's local data (Windows) or cache
// (elsewhere), created when missing. False when there is none.
bool UserRecordFolder(std::u16string* folder);

#endif  // UPDATER_CATALOG_PROVEN_FILES_OS_H
