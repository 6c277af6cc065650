// The file steps of an install on POSIX.
#include "install/files_os.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/path_posix.h"

void MakeFolder(const char16_t* path) {
    mkdir(NativePath(path).c_str(), 0755);
}

static bool WriteAll(int fd, const unsigned char* data, uint32_t size) {
    uint32_t done = 0;
    while (done < size) {
        ssize_t wrote = write(fd, data + done, size - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<uint32_t>(wrote);
    }
    return true;
}

bool WriteWholeFile(const char16_t* path, const unsigned char* data, uint32_t size) {
    std::string native = NativePath(path);
    // Never write through what lies at the name already (a link planted
    // there would send the content to its target): remove it, then create
    // the file new. A folder there stays, and the open fails.
    unlink(native.c_str());
    int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, data, size) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok) unlink(native.c_str());
    return ok;
}

// Flushes the folder that holds path, so that a rename in it is on disk.
static void FlushFolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

bool MoveFileOver(const char16_t* from, const char16_t* to) {
    std::string target = NativePath(to);
    if (rename(NativePath(from).c_str(), target.c_str()) != 0) return false;
    FlushFolderOf(target);
    return true;
}

void RemoveFile(const char16_t* path) {
    unlink(NativePath(path).c_str());
}
