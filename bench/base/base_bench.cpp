// Benchmarks of the data-store base, each beside a peer measured in the same
// run (see README.md in this folder for the command and the figures):
//   - pool allocation of many small blocks and one clear, against malloc and
//     free of the same blocks;
//   - ordered inserts of 10,000 and 100,000 names into an LCDVector, against
//     std::set of the same names.
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "velmora/lcd_vector.h"
#include "velmora/mem_pool.h"

namespace {

// Sizes of 8 to 64 bytes, the same sequence for both sides.
std::vector<size_t> SmallSizes(size_t count)
{
    std::mt19937 random(42);
    std::vector<size_t> sizes(count);
    for (size_t& size : sizes)
        size = 8 + random() % 57;
    return sizes;
}

void BM_PoolAllocThenClear(benchmark::State& state)
{
    const std::vector<size_t> sizes = SmallSizes(static_cast<size_t>(state.range(0)));
    SetMemPoolDebug(0);
    InitializeMemPool();
    MemPool* pool = nullptr;
    CreateMemPool(&pool, nullptr, nullptr);
    for (auto _ : state) {
        for (size_t size : sizes) {
            auto* p = static_cast<char*>(PoolAlloc(pool, size));
            p[0] = 1;
            benchmark::DoNotOptimize(p);
        }
        ClearMemPool(pool); // the blocks stay cached in the allocator
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    DestroyMemPool(pool);
    TerminateMemPool();
}
BENCHMARK(BM_PoolAllocThenClear)->Arg(1000)->Arg(100000);

void BM_MallocThenFree(benchmark::State& state)
{
    const std::vector<size_t> sizes = SmallSizes(static_cast<size_t>(state.range(0)));
    std::vector<char*> pointers(sizes.size());
    for (auto _ : state) {
        for (size_t i = 0; i < sizes.size(); i++) {
            pointers[i] = static_cast<char*>(malloc(sizes[i]));
            pointers[i][0] = 1;
            benchmark::DoNotOptimize(pointers[i]);
        }
        for (char* p : pointers)
            free(p);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MallocThenFree)->Arg(1000)->Arg(100000);

std::vector<std::string> ShuffledNames(size_t count)
{
    std::vector<std::string> names(count);
    char buffer[32];
    for (size_t i = 0; i < count; i++) {
        snprintf(buffer, sizeof buffer, "TABLE_%07zu", i);
        names[i] = buffer;
    }
    std::shuffle(names.begin(), names.end(), std::mt19937(7));
    return names;
}

signed char CompareNames(const LCDNode* added, const LCDNode* existing)
{
    int order = strcmp(static_cast<const char*>(added->data), static_cast<const char*>(existing->data));
    return static_cast<signed char>(order < 0 ? -1 : order > 0);
}

void BM_LCDVectorOrderedInsert(benchmark::State& state)
{
    const std::vector<std::string> names = ShuffledNames(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        LCDVector vector;
        InitVector(&vector, CompareNames);
        for (const std::string& name : names)
            AddElementData(&vector, const_cast<char*>(name.c_str()));
        state.PauseTiming();
        if (vector.count != state.range(0))
            state.SkipWithError("an insert was lost");
        FreeVector(&vector);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LCDVectorOrderedInsert)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

struct LessText {
    bool operator()(const char* a, const char* b) const { return strcmp(a, b) < 0; }
};

void BM_StdSetInsert(benchmark::State& state)
{
    const std::vector<std::string> names = ShuffledNames(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        std::set<const char*, LessText> set;
        for (const std::string& name : names)
            set.insert(name.c_str());
        benchmark::DoNotOptimize(set.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StdSetInsert)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The cost of the per-vector object lock on the plain append path.
void BM_LCDVectorAppend(benchmark::State& state)
{
    for (auto _ : state) {
        LCDVector vector;
        InitVector(&vector, nullptr);
        for (int64_t i = 0; i < state.range(0); i++)
            AddElementData(&vector, &vector);
        FreeVector(&vector);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LCDVectorAppend)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
