// Compares the shell command runner with doing the same by hand in the same run: the cost of one
// command against a bare posix_spawn + waitpid of the shell, the throughput of draining a large
// output against the same command writing to /dev/null, and the peak memory of that drain.

#include "exec/ShellCommandRunner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kDrainBytes = 268435456;
const std::string kDrainCommand = "head -c 268435456 /dev/zero";

// The floor: start the shell with the command and reap it, nothing else.
void spawnAndWait(const std::string& command) {
    std::string shell = "/bin/sh";
    std::string flag = "-c";
    std::string text = command;
    char* arguments[] = {shell.data(), flag.data(), text.data(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, shell.c_str(), nullptr, nullptr, arguments, environ) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    int status = 0;
    while (waitpid(child, &status, 0) == -1 && errno == EINTR) {
    }
}

template <typename Work> double secondsFor(Work work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long peakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string drainThroughRunner(talvo::ShellCommandRunner& runner) {
    std::string output = runner.syncThrows(kDrainCommand);
    if (output.size() != kDrainBytes) {
        std::fprintf(stderr, "drain returned %zu bytes, expected %zu\n", output.size(),
                     kDrainBytes);
        std::exit(1);
    }
    return output;
}

// First, while the process is fresh: the high-water mark only ever rises.
void measureDrainMemory(talvo::ShellCommandRunner& runner) {
    const long before = peakResidentKiB();
    const std::string output = drainThroughRunner(runner);
    const double grownBytes = static_cast<double>(peakResidentKiB() - before) * 1024.0;
    std::printf("peak memory of the drain: %.1f MiB for %.0f MiB of output; ratio %.2fx "
                "(target <= 1.30x)\n",
                grownBytes / (1 << 20), static_cast<double>(output.size()) / (1 << 20),
                grownBytes / static_cast<double>(output.size()));
}

// One command of each kind in turn, each timed alone, and the medians compared: load from other
// processes then falls on both sides alike instead of on whichever batch it happened to hit.
void measureSpawnCost(talvo::ShellCommandRunner& runner) {
    constexpr int kCommands = 1000;
    std::vector<double> bare;
    std::vector<double> viaRunner;
    for (int index = 0; index < kCommands; ++index) {
        bare.push_back(secondsFor([] { spawnAndWait("true"); }));
        viaRunner.push_back(secondsFor([&runner] { runner.syncThrows("true"); }));
    }
    const double floor = median(bare);
    const double cost = median(viaRunner);
    std::printf("per command: posix_spawn + waitpid %.1f us, syncThrows(\"true\") %.1f us; "
                "ratio %.3fx (target <= 1.10x)\n",
                floor * 1e6, cost * 1e6, cost / floor);
}

void measureDrainThroughput(talvo::ShellCommandRunner& runner) {
    constexpr int kRounds = 5;
    std::vector<double> bare;
    std::vector<double> throughPipe;
    std::vector<double> viaRunner;
    for (int round = 0; round < kRounds; ++round) {
        bare.push_back(secondsFor([] { spawnAndWait(kDrainCommand + " > /dev/null"); }));
        throughPipe.push_back(
            secondsFor([] { spawnAndWait(kDrainCommand + " | cat > /dev/null"); }));
        viaRunner.push_back(secondsFor([&runner] { drainThroughRunner(runner); }));
    }
    const double baseline = median(bare);
    const double pipeFloor = median(throughPipe);
    const double drain = median(viaRunner);
    constexpr double kMiB = kDrainBytes / double(1 << 20);
    std::printf("drain of 256 MiB: to /dev/null %.3f s (%.0f MiB/s), through syncThrows %.3f s "
                "(%.0f MiB/s); throughput ratio %.2fx (target >= 0.90x)\n",
                baseline, kMiB / baseline, drain, kMiB / drain, baseline / drain);
    // For reading the ratio: what any pipe between two processes costs on this machine.
    std::printf("  for reference, through a pipe into cat > /dev/null: %.3f s (%.0f MiB/s); "
                "ratio %.2fx\n",
                pipeFloor, kMiB / pipeFloor, baseline / pipeFloor);
}

} // namespace

int main() {
    talvo::ShellCommandRunner runner;
    measureDrainMemory(runner);
    measureSpawnCost(runner);
    measureDrainThroughput(runner);
    return 0;
}
