// Settings on POSIX: the executable's path from /proc, full paths, and the
// settings file's bytes. A write goes to a temporary file beside the
// settings file, which is then renamed over it, so a failed write never
// leaves a half-written file.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/path_posix.h"
#include "app/settings_os.h"
#include "app/text.h"

// readlink gives no terminator and says nothing of a cut: a result that
// fills the buffer may be one.
bool OsExecutablePath(char16_t* buffer, int capacity) {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    buffer[0] = 0;
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return false;
    path[length] = 0;
    return ProgramPathFits(path, buffer, capacity);
}

// The lexical form of the path, as GetFullPathNameW makes it on Windows: no
// part is looked up, so a link is not followed and the folder need not exist.
int OsFullPath(const char16_t* path, char16_t* buffer, int capacity) {
    std::string native = NativePath(path);
    buffer[0] = 0;
    if (native.empty() || native[0] != '/') return 0;
    std::vector<std::string> parts;
    size_t start = 1;
    while (start <= native.size()) {
        size_t slash = native.find('/', start);
        if (slash == std::string::npos) slash = native.size();
        std::string part = native.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string full;
    for (const std::string& part : parts) full += "/" + part;
    // A trailing separator the value was written with stays, as on Windows.
    if (full.empty() || native.back() == '/') full += "/";
    if (!ProgramPathFits(full.c_str(), buffer, capacity)) return 0;
    return TextLength(buffer);
}

static OsFileRead ReadOpenFile(int fd, size_t maxBytes, std::string* bytes) {
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<size_t>(info.st_size) > maxBytes) {
        return OS_FILE_UNREADABLE;
    }
    bytes->clear();
    char chunk[65536];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0) {
        bytes->append(chunk, static_cast<size_t>(got));
        if (bytes->size() > maxBytes) return OS_FILE_UNREADABLE;
    }
    return got == 0 ? OS_FILE_READ : OS_FILE_UNREADABLE;
}

OsFileRead OsReadWholeFile(const char16_t* path, size_t maxBytes, std::string* bytes) {
    int fd = open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? OS_FILE_MISSING : OS_FILE_UNREADABLE;
    OsFileRead result = ReadOpenFile(fd, maxBytes, bytes);
    close(fd);
    return result;
}

static bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

// The temporary file is made in the target's folder, so that the rename
// stays on one file system. It takes the target's permissions.
bool OsReplaceWholeFile(const char16_t* file, const std::string& bytes) {
    std::string path = NativePath(file);
    mode_t mode = 0644;
    struct stat info;
    if (stat(path.c_str(), &info) == 0) mode = info.st_mode & 07777;
    std::string temporary = path + ".XXXXXX";
    int fd = mkstemp(&temporary[0]);
    if (fd < 0) return false;
    bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    return ok;
}
