// The file steps of an install, the platform half: make a folder, write a
// whole new file durably, move it over its target, delete it.
// files_win32.cpp uses CreateDirectoryW, CreateFileW, WriteFile,
// FlushFileBuffers, MoveFileExW and DeleteFileW; files_posix.cpp the
// matching POSIX calls.
#ifndef UPDATER_INSTALL_FILES_OS_H
#define UPDATER_INSTALL_FILES_OS_H

#include <stdint.h>

// Creates one folder. The result is not reported: a folder that exists
// already is fine, and any other failure shows up when the file is written.
void MakeFolder(const char16_t* path);

// Creates path as a new file (whatever lay at that name is removed first
// and never written through, so a link there cannot redirect the content;
// a folder there is a failure), writes all size bytes, flushes them to the
// disk and closes it. Returns false when any step failed; a file it created
// is then deleted again.
bool WriteWholeFile(const char16_t* path, const unsigned char* data, uint32_t size);

// Moves from over to, replacing to. On POSIX the folder is flushed too, so
// the new name survives a power cut. On Windows a move that fails with a
// sharing violation or access denied (another program holding either file
// for a moment) is tried again for about two seconds; POSIX has no locks
// that stop a rename, so there it is tried once. Returns false on failure;
// from is then still there.
bool MoveFileOver(const char16_t* from, const char16_t* to);

// Deletes path; the result is not reported.
void RemoveFile(const char16_t* path);

#endif  // UPDATER_INSTALL_FILES_OS_H
