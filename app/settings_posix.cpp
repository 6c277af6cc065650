// Settings on POSIX: the executable's path from /proc, and our own INI
// reader and writer with the results of the Windows private-profile calls.
// A write goes to a temporary file beside the settings file, which is then
// renamed over it, so a failed write never leaves a half-written file.
#include "app/settings_os.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/ini_text.h"
#include "app/path_posix.h"
#include "app/text.h"

void OsExecutablePath(char16_t* buffer, int capacity) {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    path[length > 0 ? length : 0] = 0;
    ProgramPath(path, buffer, capacity);
}

static bool ReadWholeFile(const std::string& path, std::string* bytes) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return false;
    }
    bytes->clear();
    char chunk[65536];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0) bytes->append(chunk, static_cast<size_t>(got));
    close(fd);
    return got == 0;
}

int OsReadProfileString(const char16_t* section, const char16_t* key, const char16_t* fallback,
                        char16_t* buffer, int capacity, const char16_t* file) {
    std::string bytes;
    std::u16string value;
    IniEncoding encoding = IniUtf8;
    if (ReadWholeFile(NativePath(file), &bytes) &&
        IniFindValue(IniDecode(bytes, &encoding), section, key, &value)) {
        return TextCopy(buffer, capacity, value.c_str());
    }
    return TextCopy(buffer, capacity, fallback);
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

// Writes bytes to a fresh temporary file in the target's folder, flushes it
// and renames it over the target. On any failure the target is untouched and
// the temporary file is gone.
static bool ReplaceFile(const std::string& path, const std::string& bytes, mode_t mode) {
    std::string temporary = path + ".XXXXXX";
    int fd = mkstemp(&temporary[0]);
    if (fd < 0) return false;
    bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    return ok;
}

bool OsWriteProfileString(const char16_t* section, const char16_t* key, const char16_t* value,
                          const char16_t* file) {
    std::string path = NativePath(file);
    std::string bytes;
    IniEncoding encoding = IniUtf8;
    mode_t mode = 0644;
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode) || !ReadWholeFile(path, &bytes)) return false;
        mode = info.st_mode & 07777;
    }
    std::u16string text = IniSetValue(IniDecode(bytes, &encoding), section, key, value);
    return ReplaceFile(path, IniEncode(text, encoding), mode);
}
