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

FileFacts FactsOf(const struct stat& info) {
    return {static_cast<uint64_t>(info.st_size), UnitsOf(info.st_mtim), UnitsOf(info.st_ctim),
            static_cast<uint64_t>(info.st_ino)};
}

std::u16string ProgramFormOf(const std::string& native) {
    std::vector<char16_t> buffer(native.size() + 1);
    ProgramPath(native.c_str(), buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
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
    *facts = FactsOf(info);
    return true;
}

bool NamedFactsCostLess() {
    return false;
}

bool ReadNamedFacts(const char16_t* path, bool asFolder, FileFacts* facts) {
    struct stat info;
    if (stat(NativePath(path).c_str(), &info) != 0) return false;
    if (asFolder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode)) return false;
    *facts = FactsOf(info);
    facts->identity = 0;
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

