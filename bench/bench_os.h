// What the benchmark needs from the system beyond the core: its arguments as
// UTF-16 texts, the paths of servers.ini as this build opens them, the
// process's memory figures, and emptying the queue that FetchResource's
// progress messages go to while no window reads them. bench_os_posix.cpp
// and bench_os_win32.cpp implement it.
#ifndef UPDATER_BENCH_BENCH_OS_H
#define UPDATER_BENCH_BENCH_OS_H

#include <stdint.h>

#include <filesystem>
#include <string>
#include <vector>

// The command-line arguments after the program's name. Windows hands them
// over in the ANSI code page; they are taken from the UTF-16 command line
// there, so that no path is mangled.
std::vector<std::u16string> BenchArguments(int argc, char** argv);

// A Unix path (servers.ini holds those) as this build opens it. Wine shows
// the Unix root as drive Z:, so /a/b is Z:\a\b there.
std::filesystem::path HostPathOfUnixPath(const std::string& unixPath);

// Resident memory of this process now and at its highest, in bytes.
struct MemoryFigures {
    uint64_t current;
    uint64_t peak;
};
bool ReadMemoryFigures(MemoryFigures* figures);

// Lowers the recorded peak to the present use, so that the next peak tells
// of what follows. False where the system keeps no resettable peak: the
// measurement is then valid only while nothing larger came before it.
bool ResetMemoryPeak();

// Drops the progress messages the fetches posted (the POSIX queue, or the
// thread's own message queue when no window exists on Windows), so that
// repeated runs neither grow a queue nor fill it up.
void DrainProgressMessages();

// The name of the system the figures were taken on ("Linux", "Wine 8.0").
std::string SystemName();

#endif  // UPDATER_BENCH_BENCH_OS_H
