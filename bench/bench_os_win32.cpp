// The benchmark's system half on Windows: the UTF-16 command line, memory
// figures from the process's working set, and the thread's message queue.
#include "bench/bench_os.h"

// clang-format off
#include <windows.h>
#include <psapi.h>      // needs windows.h first
#include <shellapi.h>   // likewise
// clang-format on

std::vector<std::u16string> BenchArguments(int, char**) {
    std::vector<std::u16string> arguments;
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr) return arguments;
    for (int i = 1; i < count; ++i) {
        arguments.push_back(reinterpret_cast<const char16_t*>(words[i]));
    }
    LocalFree(words);
    return arguments;
}

std::filesystem::path HostPathOfUnixPath(const std::string& unixPath) {
    std::string windows = "Z:" + unixPath;
    for (char& c : windows) {
        if (c == '/') c = '\\';
    }
    return std::filesystem::u8path(windows);
}

bool ReadMemoryFigures(MemoryFigures* figures) {
    PROCESS_MEMORY_COUNTERS counters;
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return false;
    figures->current = counters.WorkingSetSize;
    figures->peak = counters.PeakWorkingSetSize;
    return true;
}

// Windows keeps the peak working set for the life of the process.
bool ResetMemoryPeak() {
    return false;
}

// With no window, PostMessageW(NULL, ...) puts the progress messages on the
// posting thread's own queue, which holds at most 10000 of them.
void DrainProgressMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

std::string SystemName() {
    typedef const char*(__cdecl * WineVersion)();
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    FARPROC found = ntdll != nullptr ? GetProcAddress(ntdll, "wine_get_version") : nullptr;
    // Through the generic function type, which every other converts from.
    WineVersion version = reinterpret_cast<WineVersion>(reinterpret_cast<void (*)()>(found));
    if (version != nullptr) return std::string("Wine ") + version() + " (win32 build)";
    return "Windows (win32 build)";
}
