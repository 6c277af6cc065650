// Starting a baseline tool with posix_spawn and timing it to its exit.
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>

#include "bench/bench_tools.h"

extern char** environ;

namespace {

const int START_UP_RUNS = 5;

bool RedirectStandardStreams(posix_spawn_file_actions_t* actions, const std::string& outputPath) {
    return posix_spawn_file_actions_addopen(actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
           posix_spawn_file_actions_addopen(actions, 1, outputPath.c_str(),
                                            O_WRONLY | O_CREAT | O_TRUNC, 0644) == 0;
}

bool WaitForSuccess(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

double RunTool(const std::vector<std::string>& arguments, const std::string& outputPath) {
    if (arguments.empty()) return -1;
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    double seconds = -1;
    pid_t child = 0;
    if (RedirectStandardStreams(&actions, outputPath)) {
        auto start = std::chrono::steady_clock::now();
        if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
            WaitForSuccess(child)) {
            seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return seconds;
}

ToolBaselines::ToolBaselines(const std::filesystem::path& scratch)
    : scratch_(scratch.u8string()),
      md5sumStartUp_(StartUp("md5sum")),
      catStartUp_(StartUp("cat")) {}

double ToolBaselines::StartUp(const char* tool) {
    double fastest = -1;
    for (int i = 0; i < START_UP_RUNS; ++i) {
        double seconds = RunTool({tool, "/dev/null"}, "/dev/null");
        if (seconds >= 0 && (fastest < 0 || seconds < fastest)) fastest = seconds;
    }
    return fastest;
}

// A start-up that could not be measured is taken as none, which only makes
// the baseline look slower than it is.
double ToolBaselines::LessStartUp(double seconds, double startUp) const {
    if (seconds < 0) return seconds;
    if (startUp > 0 && startUp < seconds) return seconds - startUp;
    return seconds;
}

double ToolBaselines::Md5sum(const std::vector<std::filesystem::path>& files) {
    std::vector<std::string> arguments = {"md5sum", "--"};
    for (const auto& file : files) arguments.push_back(file.u8string());
    return LessStartUp(RunTool(arguments, "/dev/null"), md5sumStartUp_);
}

double ToolBaselines::Cat(const std::filesystem::path& file) {
    return LessStartUp(RunTool({"cat", "--", file.u8string()}, "/dev/null"), catStartUp_);
}

double ToolBaselines::Curl(const std::string& url) {
    double wall = RunTool({"curl", "--silent", "--show-error", "--fail", "--output", "/dev/null",
                           "--write-out", "%{time_total}\n", url},
                          scratch_);
    if (wall < 0) return wall;
    std::ifstream in(scratch_);
    double reported = -1;
    if (!(in >> reported) || reported <= 0) return -1;
    return reported;
}
