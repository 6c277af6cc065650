// The file steps of an install on POSIX.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/path_posix.h"
#include "install/files_os.h"

namespace {

// Opens a name only to ask where it leads: O_PATH reads nothing and never
// blocks on a FIFO; elsewhere a non-blocking read-only open does the same.
#ifdef O_PATH
const int LOOK_FLAGS = O_PATH | O_CLOEXEC;
#else
const int LOOK_FLAGS = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
#endif

// ---- where a name leads ------------------------------------------------------

std::string FolderHolding(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash == 0 ? 1 : slash);
}

// What follows within in path; empty when path is within itself, false when
// path does not lie there at all.
bool PlaceIn(std::string within, const std::string& path, std::string* rest) {
    while (within.size() > 1 && within.back() == '/') within.pop_back();
    if (path.compare(0, within.size(), within) != 0) return false;
    size_t at = within.size();
    if (at < path.size() && path[at] != '/' && within != "/") return false;
    while (at < path.size() && path[at] == '/') ++at;
    *rest = path.substr(at);
    return true;
}

// The path the system resolves an open descriptor to, every link followed.
bool FinalPathOf(int fd, std::string* out) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char buffer[PATH_MAX];
    ssize_t length = readlink(link, buffer, sizeof buffer);
    if (length <= 0 || length >= static_cast<ssize_t>(sizeof buffer)) return false;
    out->assign(buffer, static_cast<size_t>(length));
    return true;
}

// Whether the file or folder open as fd is path itself, inside within (the
// folder holding path when null): no link on the way leads anywhere else.
bool IsItself(int fd, const char16_t* within, const std::string& path) {
    std::string folder = within != nullptr ? NativePath(within) : FolderHolding(path);
    std::string rest;
    if (!PlaceIn(folder, path, &rest)) return false;
    char* resolved = realpath(folder.c_str(), nullptr);
    if (resolved == nullptr) return false;
    std::string expected = resolved;
    free(resolved);
    if (!rest.empty()) {
        if (expected.back() != '/') expected += '/';
        expected += rest;
    }
    std::string actual;
    return FinalPathOf(fd, &actual) && actual == expected;
}

bool FolderIsItself(const char16_t* within, const std::string& path) {
    std::string parent = FolderHolding(path);
    int fd = open(parent.c_str(), LOOK_FLAGS | O_DIRECTORY);
    if (fd < 0) return false;
    bool itself = IsItself(fd, within, parent);
    close(fd);
    return itself;
}

// 0 when path resolves to itself (or is not there; a dangling link counts
// as not there, and the create then fails on it), else an errno value.
int CheckTarget(const char16_t* within, const std::string& path) {
    int fd = open(path.c_str(), LOOK_FLAGS);
    if (fd < 0) return errno == ENOENT ? 0 : errno;
    int error = IsItself(fd, within, path) ? 0 : EXDEV;
    close(fd);
    return error;
}

// ---- the steps ----------------------------------------------------------------------

bool WriteAll(int fd, const unsigned char* data, uint32_t size) {
    uint32_t done = 0;
    while (done < size) {
        ssize_t wrote = write(fd, data + done, size - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<uint32_t>(wrote);
    }
    return true;
}

// Flushes the folder that holds path, so that a rename in it is on disk.
void FlushFolderOf(const std::string& path) {
    int fd = open(FolderHolding(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

void MakeFolder(const char16_t* within, const char16_t* path) {
    std::string native = NativePath(path);
    std::string rest;
    // The folders above within are the user's own way to it.
    bool inside = within != nullptr && PlaceIn(NativePath(within), native, &rest) && !rest.empty();
    if (inside && !FolderIsItself(within, native)) return;
    mkdir(native.c_str(), 0755);
}

bool WriteWholeFile(const char16_t* within, const char16_t* path, const unsigned char* data,
                    uint32_t size) {
    std::string native = NativePath(path);
    // Never write through what lies at the name already (a link planted
    // there would send the content to its target): remove it when it is a
    // file of its own, then create the file new. Anything else there stays,
    // and the open fails.
    if (!FolderIsItself(within, native) || CheckTarget(within, native) != 0) return false;
    unlink(native.c_str());
    int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = IsItself(fd, within, native) && WriteAll(fd, data, size) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok) unlink(native.c_str());
    return ok;
}

// A read-only file mode does not stop a rename over the file on POSIX (only
// the folder's own permissions do), so there is no attribute to clear.
bool MoveFileOver(const char16_t* within, const char16_t* from, const char16_t* to) {
    std::string target = NativePath(to);
    if (CheckTarget(within, target) != 0) return false;
    if (rename(NativePath(from).c_str(), target.c_str()) != 0) return false;
    FlushFolderOf(target);
    return true;
}

void RemoveFile(const char16_t* within, const char16_t* path) {
    std::string native = NativePath(path);
    if (CheckTarget(within, native) == 0) unlink(native.c_str());
}
