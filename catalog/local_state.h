// Local file state: where each catalog file lies on disk, its MD5, its
// status against the catalog, and the state of a whole script.
#ifndef UPDATER_CATALOG_LOCAL_STATE_H
#define UPDATER_CATALOG_LOCAL_STATE_H

#include "catalog/catalog.h"

// A FileRecord's status. The code is also the index of its label.
enum FileStatus {
    FILE_STATUS_OK = 0,      // the local digest equals the catalog's
    FILE_STATUS_NEW = 1,     // no local file, or it cannot be opened for reading
    FILE_STATUS_UPDATE = 2,  // differs, or no catalog digest, or hashing failed
    FILE_STATUS_KEPT = 3,    // a `keep` file that exists, whatever its content
};

// ScriptState results besides a count of files to download.
enum {
    SCRIPT_NOT_INSTALLED = -1,
    SCRIPT_UP_TO_DATE = 0,
};

enum { LOCAL_PATH_CAPACITY = 260, DIGEST_CAPACITY = 33 };

// ScriptsFolder\name\path, cut to 259 units, every '/' turned into '\'.
void LocalFilePath(char16_t* buffer, const ScriptRecord& script, const FileRecord& file);

// True when ScriptsFolder\name\path fits LocalFilePath's buffer uncut. A
// file whose path does not fit is never judged or written by a cut path.
// False for every file when there is no scripts folder (ScriptsFolder empty).
bool LocalFilePathFits(const ScriptRecord& script, const FileRecord& file);

// The longest scripts folder under which ScriptsFolder\name\path can be
// written by the Windows file calls' plain names: its temporary
// "<target>.new" within 259 characters, and its folder within 247 (what
// CreateDirectoryW makes, leaving room for an 8.3 name). Longer names would
// need the \\?\ form, which turns off the system's clean-up of names and
// makes files the host program and Explorer may not reach. Negative when no
// folder can hold the file. The download worker and catalog-tool both judge
// by it.
int ScriptsFolderRoom(const char16_t* name, const char16_t* path);

// True when status means the file is to be downloaded (New or Update).
bool NeedsDownload(int32_t status);

// Sets the status of every file of the script (index in ScriptTable).
void RefreshFileStatuses(int script);

// -1 not installed, 0 up to date, N > 0 files to download. No input or
// output: computed from the current statuses on every call.
int ScriptState(int script);

#endif  // UPDATER_CATALOG_LOCAL_STATE_H
