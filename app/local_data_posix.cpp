// The program's folder under the XDG data folder, on POSIX: state, not a
// cache, so not under ~/.cache, which the user may empty at any time.
#include "app/local_data.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "app/path_posix.h"

// mkdir for every part of an absolute path that is missing.
static bool MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

bool OsLocalDataFolder(char16_t* buffer, int capacity) {
    buffer[0] = 0;
    const char* data = getenv("XDG_DATA_HOME");
    const char* home = getenv("HOME");
    std::string base;
    // The XDG rules ignore a relative path.
    if (data != nullptr && data[0] == '/') {
        base = data;
    } else if (home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.local/share";
    } else {
        return false;
    }
    std::string folder = base + "/ZentoUpdater";
    struct stat info;
    if (!MakeFolders(folder) || stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return false;
    }
    ProgramPath(folder.c_str(), buffer, capacity);
    if (NativePath(buffer) == folder) return true;
    buffer[0] = 0;  // cut
    return false;
}
