// Connection hand-out: GetDBConnection + ReleaseDBConnection pairs per
// second, from one and from two threads, on a pool of two connections (each
// thread owns one) and on a single shared connection. The connections come
// from a provider that does nothing, so only the pool's own work is timed.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "velmora/db_provider.h"

namespace {

DBConnection* Open(const ConnParamsEntry* params) { return CreateDBConnectionRecord(nullptr, params->connectionName); }
void Close(DBConnection*) { }

const DBProvider kNoWork = {
    DB_PROVIDER_VERSION, "NOWORK", Open, nullptr, nullptr, Close, nullptr, nullptr, nullptr, nullptr, nullptr};

void SetUpPool(int size)
{
    ClearDBProviders();
    RegisterDBProvider(&kNoWork);
    LoadDBProvider("NOWORK");
    AddConnParamsEntry(CreateConnParamsEntry("b", 1, "dsn", "u", nullptr, 0, "bench", 0, nullptr, "NOWORK", "SQLITE"));
    if (size == 1)
        EstablishDBConnections();
    else
        EstablishDBConnectionPool(size);
}

void TearDownPool()
{
    CloseAllDBConnections();
    FreeAllConnParamsEntries();
    ClearDBProviders();
}

void HandOut(benchmark::State& state)
{
    int poolSize = static_cast<int>(state.range(0));
    if (state.thread_index() == 0)
        SetUpPool(poolSize);
    for (auto _ : state) {
        DBConnection* connection = GetDBConnection("bench");
        if (connection == nullptr) {
            state.SkipWithError("no connection");
            break;
        }
        benchmark::DoNotOptimize(connection);
        ReleaseDBConnection("bench");
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0)
        TearDownPool();
}

} // namespace

// Argument: connections in the pool (1: shared by the threads).
BENCHMARK(HandOut)->Arg(2)->Arg(1)->Threads(1)->Threads(2)->UseRealTime();
