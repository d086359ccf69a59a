// Lines per second through LogInfo, against a plain fprintf + fflush loop
// writing lines of the same length to the same kind of file, in one run.
//
//   build/native/bench/log/log_bench --benchmark_min_time=2
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>

#include "platform/thread.h"
#include "runtime/log.h"

namespace {

std::string BenchDirectory()
{
    char pattern[] = "/tmp/twbench-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "/tmp";
}

void LogInfoLines(benchmark::State& state)
{
    static std::string directory;
    if (state.thread_index() == 0) {
        directory = BenchDirectory();
        InitLogDefaults();
        SetLogConfig("bench.log", directory.c_str(), 3);
        OpenLogFile();
    }
    for (auto _ : state)
        LogInfo("execute : Exit code for the application : %d \n", 3010);
    if (state.thread_index() == 0) {
        CloseLogFile();
        std::string path = directory + "/bench.log";
        unlink(path.c_str());
        rmdir(directory.c_str());
        FreeLogConfig();
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
        std::string path = directory + "/plain.log";
        unlink(path.c_str());
        rmdir(directory.c_str());
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(LogInfoLines)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(PlainFprintfLines)->Threads(1)->Threads(2)->UseRealTime();
