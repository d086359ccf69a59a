// Lines per second through LogInfo, against a plain fprintf + fflush loop
// writing lines of the same length to the same kind of file, in one run;
// and LogInfo from two writers while rotation passes copy and empty the
// live log, against the same writers without rotation.
//
//   build/native/bench/log/log_bench --benchmark_min_time=2
#include <benchmark/benchmark.h>

#include <atomic>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/clock.h"
#include "platform/thread.h"
#include "runtime/log.h"
#include "runtime/log_rotation.h"

namespace {

const char kLogName[] = "bench.log";
const off_t kLimit = 2000000; /* the agents' size limit */

std::string BenchDirectory()
{
    char pattern[] = "/tmp/twbench-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "/tmp";
}

void RemoveDirectory(const std::string& directory)
{
    std::string command = "rm -rf '" + directory + "'";
    if (system(command.c_str()) != 0)
        fprintf(stderr, "log_bench: could not remove %s\n", directory.c_str());
}

void LogInfoLines(benchmark::State& state)
{
    static std::string directory;
    if (state.thread_index() == 0) {
        directory = BenchDirectory();
        InitLogDefaults();
        SetLogConfig(kLogName, directory.c_str(), 3);
        OpenLogFile();
    }
    for (auto _ : state)
        LogInfo("execute : Exit code for the application : %d \n", 3010);
    if (state.thread_index() == 0) {
        CloseLogFile();
        FreeLogConfig();
        RemoveDirectory(directory);
    }
    state.SetItemsProcessed(state.iterations());
}

// The same line shape, formatted and flushed in place: what a logger costs
// when it does nothing but write.
void PlainFprintfLines(benchmark::State& state)
{
    static std::string directory;
    static FILE* stream;
    if (state.thread_index() == 0) {
        directory = BenchDirectory();
        stream = fopen((directory + "/plain.log").c_str(), "w");
    }
    const int thread = static_cast<int>(PlatCurrentThreadId());
    for (auto _ : state) {
        fprintf(stream, "[ %s ] [ %d ] %s execute : Exit code for the application : %d \n", "2024-03-05 09:04:07:045",
                thread, "[INFO]", 3010);
        fflush(stream);
    }
    if (state.thread_index() == 0) {
        fclose(stream);
        RemoveDirectory(directory);
    }
    state.SetItemsProcessed(state.iterations());
}

// Two writers append to the live log (opened for appending, as agents do);
// with range(0) = 1 a third thread runs rotation checks back to back, each
// rotating once the log has reached 2 MB (the agents' limit): the backups
// shift, the live log is copied to backup 1 and emptied while the writers
// wait for its key.
void LogInfoWhileRotating(benchmark::State& state)
{
    static std::string directory;
    static std::thread rotator;
    static std::atomic<bool> stop;
    static std::atomic<int> rotations;
    if (state.thread_index() == 0) {
        directory = BenchDirectory();
        InitLogDefaults();
        SetLogConfig(kLogName, directory.c_str(), 3);
        OpenLogFileAppend();
        stop = false;
        rotations = 0;
        if (state.range(0)) {
            rotator = std::thread([] {
                const std::string live = directory + "/" + kLogName;
                while (!stop.load()) {
                    // Looks every millisecond; the pass itself measures
                    // again and rotates.
                    struct stat info;
                    if (stat(live.c_str(), &info) == 0 && info.st_size >= kLimit) {
                        RotateLoggerForEverRunningProcess(directory.c_str(), kLogName, 5,
                                                          static_cast<uint32_t>(kLimit));
                        rotations++;
                    }
                    PlatSleepMs(1);
                }
            });
        }
    }
    for (auto _ : state)
        LogInfo("execute : Exit code for the application : %d \n", 3010);
    if (state.thread_index() == 0) {
        stop = true;
        if (rotator.joinable())
            rotator.join();
        CloseLogFile();
        FreeLogConfig();
        RemoveDirectory(directory);
        state.counters["rotations"] = rotations.load();
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(LogInfoLines)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(PlainFprintfLines)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(LogInfoWhileRotating)->Arg(0)->Arg(1)->Threads(2)->UseRealTime();
