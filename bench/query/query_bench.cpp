// Parsing selection conditions, as a table selection does once per call.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <string>

#include "velmora/criteria.h"

#ifdef HAVE_SQLITE3
#include <sqlite3.h>
#endif

namespace {

const char kTwoLeaves[] = "id > 5 and name = 'x'\n";
const char kThreeLeaves[] = "id > 5 and (name = 'x' or qty <= 3)\n";

void ParseAndFree(benchmark::State& state, const char* text)
{
    for (auto _ : state) {
        CriteriaNode* root = ParseCondition(text);
        benchmark::DoNotOptimize(root);
        FreeCriteriaTree(root);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ParseTwoLeafCondition(benchmark::State& state) { ParseAndFree(state, kTwoLeaves); }
void BM_ParseThreeLeafCondition(benchmark::State& state) { ParseAndFree(state, kThreeLeaves); }

// The allocations the two-leaf tree needs (three nodes, four strings): the
// floor under any parser that builds the same tree.
void BM_MallocFreeOfTheTwoLeafTree(benchmark::State& state)
{
    const size_t sizes[] = {sizeof(CriteriaNode), 3, 2, sizeof(CriteriaNode), 5, 4, sizeof(CriteriaNode)};
    void* blocks[7];
    for (auto _ : state) {
        for (int i = 0; i < 7; i++)
            blocks[i] = malloc(sizes[i]);
        benchmark::DoNotOptimize(blocks);
        for (int i = 0; i < 7; i++)
            free(blocks[i]);
    }
    state.SetItemsProcessed(state.iterations());
}

// 200 nested parentheses: the stack leaves its first block once.
void BM_ParseDeeplyNested(benchmark::State& state)
{
    std::string text = std::string(200, '(') + "x = 5" + std::string(200, ')') + "\n";
    ParseAndFree(state, text.c_str());
}

#ifdef HAVE_SQLITE3
// SQLite compiling the same condition into a statement on a table in memory.
void BM_SqlitePrepareTwoLeafWhere(benchmark::State& state)
{
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db, "CREATE TABLE t (id INTEGER, name TEXT)", nullptr, nullptr, nullptr);
    for (auto _ : state) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, "SELECT * FROM t WHERE id > 5 and name = 'x'", -1, &statement, nullptr);
        benchmark::DoNotOptimize(statement);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SqlitePrepareTwoLeafWhere);
#endif

BENCHMARK(BM_ParseTwoLeafCondition);
BENCHMARK(BM_ParseThreeLeafCondition);
BENCHMARK(BM_MallocFreeOfTheTwoLeafTree);
BENCHMARK(BM_ParseDeeplyNested);

} // namespace
