// The baselines' tools (md5sum, curl, cat), started by the native build
// itself so that each is measured in turn with the program's own code over
// the same, equally warm files. POSIX only: under Wine the figures come
// from the native run of the same bench command.
#ifndef UPDATER_BENCH_BENCH_TOOLS_H
#define UPDATER_BENCH_BENCH_TOOLS_H

#include <filesystem>
#include <string>
#include <vector>

// Runs arguments[0] (looked up in PATH) with its standard input from
// /dev/null and its standard output into outputPath, and waits for it.
// Returns the wall-clock seconds from the start to the end of the wait, or
// a negative value when it could not start or did not exit with 0.
double RunTool(const std::vector<std::string>& arguments, const std::string& outputPath);

// One run of each baseline, in seconds of work, negative on a failure. A
// tool's own start-up (the same tool on an empty input, the fastest of a
// few runs) is taken off md5sum and cat; curl's figure is the transfer time
// it reports itself (time_total), which leaves its start-up out likewise.
class ToolBaselines {
public:
    // scratch: a file the tools' output may be written to and read back.
    explicit ToolBaselines(const std::filesystem::path& scratch);

    double Md5sum(const std::vector<std::filesystem::path>& files);
    double Curl(const std::string& url);
    double Cat(const std::filesystem::path& file);

private:
    double StartUp(const char* tool);
    double LessStartUp(double seconds, double startUp) const;

    std::string scratch_;
    double md5sumStartUp_;
    double catStartUp_;
};

#endif  // UPDATER_BENCH_BENCH_TOOLS_H
