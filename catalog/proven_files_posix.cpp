// The record of proven files on POSIX: the folder is opened once and each
// file is asked about with fstatat against it; records live under the
// user's cache folder ($XDG_CACHE_HOME, or ~/.cache).
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#include "app/path_posix.h"
#include "catalog/proven_files_os.h"

struct FolderFacts {
    int fd;
};

namespace {

// Seconds from 1601-01-01 to 1970-01-01, and 100-ns units a second.
const uint64_t EPOCH_DIFFERENCE_SECONDS = 11644473600ull;
const uint64_t UNITS_PER_SECOND = 10000000ull;

uint64_t UnitsOf(const struct timespec& time) {
    if (time.tv_sec < 0) return 0;  // before 1970: no time we can trust
    return (static_cast<uint64_t>(time.tv_sec) + EPOCH_DIFFERENCE_SECONDS) * UNITS_PER_SECOND +
           static_cast<uint64_t>(time.tv_nsec) / 100;
}

std::u16string ProgramFormOf(const std::string& native) {
    std::vector<char16_t> buffer(native.size() + 1);
    ProgramPath(native.c_str(), buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

}  // namespace

FolderFacts* ReadFolderFacts(const char16_t* folder) {
    int fd = open(NativePath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return new FolderFacts{fd};
}

// stat follows a link, as the open that hashes the file does: the facts are
// the target's, and a link turned to another file changes the identity.
bool LookUpFileFacts(FolderFacts* folder, const char16_t* name, FileFacts* facts) {
    struct stat info;
    if (folder == nullptr || fstatat(folder->fd, NativePath(name).c_str(), &info, 0) != 0 ||
        !S_ISREG(info.st_mode)) {
        return false;
    }
    facts->size = static_cast<uint64_t>(info.st_size);
    facts->writeTime = UnitsOf(info.st_mtim);
    facts->changeTime = UnitsOf(info.st_ctim);
    facts->identity = static_cast<uint64_t>(info.st_ino);
    return true;
}

void ReleaseFolderFacts(FolderFacts* folder) {
    if (folder == nullptr) return;
    close(folder->fd);
    delete folder;
}

uint64_t FileClockNow() {
    struct timespec now;
    if (clock_gettime(CLOCK_REALTIME, &now) != 0) return 0;
    return UnitsOf(now);
}

// Only an absolute $XDG_CACHE_HOME counts, as the XDG rules say.
bool UserRecordFolder(std::u16string* folder) {
    const char* cache = getenv("XDG_CACHE_HOME");
    std::string native;
    if (cache != nullptr && cache[0] == '/') {
        native = cache;
    } else {
        const char* home = getenv("HOME");
        if (home == nullptr || home[0] != '/') return false;
        native = std::string(home) + "/.cache";
    }
    mkdir(native.c_str(), 0700);
    native += "/zentoupdater";
    if (mkdir(native.c_str(), 0700) != 0 && errno != EEXIST) return false;
    *folder = ProgramFormOf(native);
    return true;
}

bool ReadRecordFile(const std::u16string& path, uint32_t maxBytes, std::string* bytes) {
    int fd = open(NativePath(path.c_str()).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
              static_cast<uint64_t>(info.st_size) <= maxBytes;
    if (ok) {
        bytes->assign(static_cast<size_t>(info.st_size), '\0');
        size_t done = 0;
        while (ok && done < bytes->size()) {
            ssize_t got = read(fd, &(*bytes)[done], bytes->size() - done);
            if (got < 0 && errno == EINTR) continue;
            ok = got > 0;
            if (ok) done += static_cast<size_t>(got);
        }
    }
    close(fd);
    return ok;
}

// No flush to the disk: a record cut by a power loss fails its checksum and
// costs one full check, nothing more.
bool ReplaceRecordFile(const std::u16string& path, const std::string& bytes) {
    std::string target = NativePath(path.c_str());
    std::string temporary = target + "." + std::to_string(getpid()) + ".tmp";
    unlink(temporary.c_str());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes);
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    return ok;
}
