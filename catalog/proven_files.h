// The record of proven files: for each file the check has read, what the
// folder said about it then (size, last-write and change time, identity)
// and its MD5 (with the SHA-256 a signed catalog's download verified). A
// later check takes the recorded digest instead of reading the file again
// only while all of those facts are unchanged, the file's times lie more
// than two seconds before the record was made (an edit inside the same tick
// of the clock shows no change), and the digest is less than 30 days old.
// Where asking a file by name costs less than listing its folder (Wine),
// the folder's own times stand for the identities of its files: while they
// are those it had before its last listing, no entry was added, removed or
// renamed, and each file is asked by name for its size and times.
//
// One record per scripts folder, in a folder of the user's own (never the
// scripts folder, never beside the program), named from a digest of the
// scripts folder's full path, which its header also holds. Any doubt about
// a record (none, another folder's, another format, a wrong checksum, cut
// or grown, a place that cannot be read or written) means every file is
// read as without it; nothing about the record ever reaches the user.
#ifndef UPDATER_CATALOG_PROVEN_FILES_H
#define UPDATER_CATALOG_PROVEN_FILES_H

#include <stdint.h>

enum { PROVEN_FOLDER_CAPACITY = 520 };

// Where records are kept; empty (the start value) for the user's own folder
// (proven_files_os.h), looked up on each load and save.
extern char16_t ProvenRecordFolder[PROVEN_FOLDER_CAPACITY];

// Forgets what is known and reads the record of ScriptsFolder. The check
// calls it after the catalog arrived, before the statuses.
void LoadProvenFiles();

// Writes what is known about the files of the current catalog as the record
// of ScriptsFolder, unless the record already says just that. Called when a
// check or a download ends.
void SaveProvenFiles();

// A refresh of one script's statuses: folder listings are taken once per
// folder between the two calls.
void BeginProvingFiles();
void EndProvingFiles();

// HashLocalFile (catalog/hash_os.h) for path, taking the recorded digest
// when the record proves it, and recording what it read.
int ProveLocalFile(const char16_t* path, char16_t* digest);

// Whether path is there to be read, without reading it (keep files).
bool LocalFileIsThere(const char16_t* path);

// The download worker has just placed path with content it verified
// against md5 (and sha256, empty when none was asked for).
void NoteInstalledFile(const char16_t* path, const char16_t* md5, const char16_t* sha256);

#endif  // UPDATER_CATALOG_PROVEN_FILES_H
