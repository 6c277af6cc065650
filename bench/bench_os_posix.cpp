// The benchmark's system half on Linux: memory figures from /proc, whose
// peak (VmHWM) can be lowered through clear_refs.
#include <stdio.h>
#include <string.h>
#include <sys/utsname.h>

#include "app/shared_state_posix.h"
#include "app/unicode.h"
#include "bench/bench_os.h"

std::vector<std::u16string> BenchArguments(int argc, char** argv) {
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) {
        int units = Utf8ToUtf16(argv[i], -1, nullptr, 0);
        std::u16string text(units > 0 ? static_cast<size_t>(units) : 1, u'\0');
        if (units > 0) Utf8ToUtf16(argv[i], -1, &text[0], units);
        text.resize(text.size() - 1);  // the terminator
        arguments.push_back(text);
    }
    return arguments;
}

std::filesystem::path HostPathOfUnixPath(const std::string& unixPath) {
    return std::filesystem::u8path(unixPath);
}

namespace {

// A "Name:   1234 kB" line of /proc/self/status, in bytes.
bool StatusValue(const char* text, const char* name, uint64_t* bytes) {
    const char* line = strstr(text, name);
    if (line == nullptr) return false;
    unsigned long long kilobytes = 0;
    if (sscanf(line + strlen(name), " %llu kB", &kilobytes) != 1) return false;
    *bytes = kilobytes * 1024u;
    return true;
}

}  // namespace

bool ReadMemoryFigures(MemoryFigures* figures) {
    FILE* status = fopen("/proc/self/status", "r");
    if (status == nullptr) return false;
    char text[8192];
    size_t length = fread(text, 1, sizeof text - 1, status);
    fclose(status);
    text[length] = 0;
    return StatusValue(text, "VmRSS:", &figures->current) &&
           StatusValue(text, "VmHWM:", &figures->peak);
}

bool ResetMemoryPeak() {
    FILE* clear = fopen("/proc/self/clear_refs", "w");
    if (clear == nullptr) return false;
    // 5 resets the peak resident set size to the present one.
    bool written = fputs("5", clear) >= 0;
    return fclose(clear) == 0 && written;
}

void DrainProgressMessages() {
    ClearPostedMessages();
}

std::string SystemName() {
    struct utsname name;
    if (uname(&name) != 0) return "POSIX";
    return std::string(name.sysname) + " " + name.release + " " + name.machine;
}
