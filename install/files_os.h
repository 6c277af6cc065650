// The file steps of an install, the platform half: make a folder, write a
// whole new file durably, move it over its target, delete it.
// files_win32.cpp uses CreateDirectoryW, CreateFileW, WriteFile,
// FlushFileBuffers, MoveFileExW and SetFileInformationByHandle;
// files_posix.cpp the matching POSIX calls.
//
// Every step stays inside one folder, within (the scripts folder for an
// install): before it makes, writes, replaces or deletes anything it opens
// what it acts on (or the folder that will hold it) and compares the path
// the system resolves the open file to, every link and junction followed,
// with within's own resolved path and the rest of the name. A name that
// leads anywhere else (a link planted at "<target>.new", a script's
// sub-folder that is a link to a folder outside) is neither written nor
// deleted, and the step fails. Where within is null the step stays in the
// folder that holds the path.
#ifndef UPDATER_INSTALL_FILES_OS_H
#define UPDATER_INSTALL_FILES_OS_H

#include <stdint.h>

// Creates one folder, when the folder that holds it resolves to itself (or
// lies outside within, as the folders above the scripts folder do). The
// result is not reported: a folder that exists already is fine, and any
// other failure shows up when the file is written.
void MakeFolder(const char16_t* within, const char16_t* path);

// Creates path as a new file (a file left at that name is removed first
// when it resolves to itself, and never written through; a folder or a
// link there is a failure), writes all size bytes, flushes them to the
// disk and closes it. On Windows a create that fails with a sharing
// violation or access denied (a scanner holding the old file, or the old
// file still "delete pending" until the scanner lets go) is tried again as
// a move is. Returns false when any step failed; a file it created is then
// deleted again.
bool WriteWholeFile(const char16_t* within, const char16_t* path, const unsigned char* data,
                    uint32_t size);

// Moves from over to, replacing to when it resolves to itself. A read-only
// target loses that attribute just before the move: the file is the
// catalog's to manage, and Windows never replaces a read-only file (POSIX
// renames over one). On POSIX the folder is flushed too, so the new name
// survives a power cut. On Windows a move that fails with a sharing
// violation or access denied (another program holding either file for a
// moment) is tried again for about two seconds; POSIX has no locks that
// stop a rename, so there it is tried once. Returns false on failure; from
// is then still there.
bool MoveFileOver(const char16_t* within, const char16_t* from, const char16_t* to);

// Deletes path when it resolves to itself; the result is not reported.
void RemoveFile(const char16_t* within, const char16_t* path);

// The same steps for a file beside others of the caller's own, staying in
// the folder that holds it.
inline bool WriteWholeFile(const char16_t* path, const unsigned char* data, uint32_t size) {
    return WriteWholeFile(nullptr, path, data, size);
}
inline bool MoveFileOver(const char16_t* from, const char16_t* to) {
    return MoveFileOver(nullptr, from, to);
}
inline void RemoveFile(const char16_t* path) {
    RemoveFile(nullptr, path);
}

#endif  // UPDATER_INSTALL_FILES_OS_H
