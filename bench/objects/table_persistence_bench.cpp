// SaveTable and LoadTable against the plainest ODBC code that does the same
// work on the same database and driver: a prepared insert executed row by
// row inside one transaction, and a SQLFetch loop over bound columns into
// plain arrays. Rows have five columns (two integers, a 64-bit integer, two
// texts).
//
//   TW_BENCH_ODBC="Driver=SQLite3;Database=/tmp/bench.db;SyncPragma=OFF" TW_BENCH_DIALECT=SQLITE
//   build/bench/bench/objects/table_persistence_bench
//   TW_BENCH_ODBC='Driver=PostgreSQL;Servername=...;Port=...;Database=...;UID=postgres' TW_BENCH_DIALECT=PGSQL ...
//
// TW_BENCH_SAVE_ROWS (default 100000) and TW_BENCH_LOAD_ROWS (1000000)
// size the runs.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "velmora/velmora.h"

namespace {

const char* Env(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

int64_t SaveRows() { return std::atoll(Env("TW_BENCH_SAVE_ROWS", "100000")); }
int64_t LoadRows() { return std::atoll(Env("TW_BENCH_LOAD_ROWS", "1000000")); }

const char kDictionary[] = R"(<?xml version="1.0"?>
<data-dictionary><table name="BenchRow"><columns>
  <column name="Id"><data-type>BRI_SQL_INT</data-type><nullable>false</nullable></column>
  <column name="Qty"><data-type>BRI_SQL_INT</data-type></column>
  <column name="Total"><data-type>BIGINT</data-type></column>
  <column name="Name"><data-type>CHAR</data-type><max-size>32</max-size></column>
  <column name="Note"><data-type>CHAR</data-type><max-size>64</max-size></column>
</columns><primary-key><primary-key-column>Id</primary-key-column></primary-key></table></data-dictionary>
)";

// The store on the benchmark's database, once per process.
struct Store {
    Store()
    {
        std::string dir = "/tmp/tw-bench-dictionary";
        std::system(("mkdir -p " + dir).c_str());
        std::ofstream(dir + "/datadictionary.txt") << "bench.xml\n";
        std::ofstream(dir + "/bench.xml") << kDictionary;
        InitTableDefnVector();
        InitSqlDialects();
        RegisterAllSqlDialects();
        ok = LoadDataDictFiles(dir.c_str()) == VELMORA_SUCCESS;
        InitDBProvider();
        AddConnParamsEntry(CreateConnParamsEntry("bench", 1, "", "", nullptr, 0, "bench", 1, Env("TW_BENCH_ODBC", ""),
                                                 "ODBC", Env("TW_BENCH_DIALECT", "SQLITE")));
        AddDataSourceMapEntry(CreateDataSourceMapEntry("BenchRow", "bench"));
        SetDSNMapValid(1, 0);
        ok = ok && EstablishDBConnections() == VELMORA_SUCCESS;
        DBConnection* connection = GetDBConnection("bench");
        ExecuteUpdate(connection, "drop table BenchRow");
        ReleaseDBConnection("bench");
        ok = ok && CreateTableInDB("BenchRow", "bench") == VELMORA_SUCCESS;
        if (!ok)
            std::fprintf(stderr, "cannot set up the store on %s\n", Env("TW_BENCH_ODBC", "(TW_BENCH_ODBC unset)"));
    }
    void Clear()
    {
        DBConnection* connection = GetDBConnection("bench");
        ExecuteUpdate(connection, "delete from BenchRow");
        ReleaseDBConnection("bench");
        UnLoadTable("BenchRow");
    }
    bool ok = false;
};

Store& TheStore()
{
    static Store store;
    return store;
}

// A raw ODBC connection of the same driver.
struct Raw {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    Raw()
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        std::string text = Env("TW_BENCH_ODBC", "");
        SQLDriverConnect(dbc, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    }
    ~Raw()
    {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    // A prepared insert of rows [from, from + count) in one transaction.
    void Insert(int64_t from, int64_t count)
    {
        SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
        SQLHSTMT stmt;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        SQLPrepare(stmt, (SQLCHAR*)"insert into BenchRow values (?,?,?,?,?)", SQL_NTS);
        SQLINTEGER id = 0, qty = 0;
        SQLBIGINT total = 0;
        char name[33], note[65];
        SQLLEN nameLength = SQL_NTS, noteLength = SQL_NTS;
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
        SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &qty, 0, nullptr);
        SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &total, 0, nullptr);
        SQLBindParameter(stmt, 4, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0, name, sizeof name, &nameLength);
        SQLBindParameter(stmt, 5, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 64, 0, note, sizeof note, &noteLength);
        for (int64_t i = from; i < from + count; i++) {
            id = static_cast<SQLINTEGER>(i);
            qty = static_cast<SQLINTEGER>(i % 97);
            total = i * 1000;
            std::snprintf(name, sizeof name, "row-%lld", static_cast<long long>(i));
            std::snprintf(note, sizeof note, "a note for row %lld", static_cast<long long>(i));
            SQLExecute(stmt);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT);
        SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0);
    }
};

RowObject* NewRow(int64_t i)
{
    auto** values = static_cast<void**>(calloc(5, sizeof(void*)));
    auto* lengths = static_cast<int32_t*>(calloc(5, sizeof(int32_t)));
    int32_t id = static_cast<int32_t>(i), qty = static_cast<int32_t>(i % 97);
    int64_t total = i * 1000;
    values[0] = malloc(5), memcpy(values[0], &id, 4), lengths[0] = 4;
    values[1] = malloc(5), memcpy(values[1], &qty, 4), lengths[1] = 4;
    values[2] = malloc(9), memcpy(values[2], &total, 8), lengths[2] = 8;
    char text[80];
    lengths[3] = std::snprintf(text, sizeof text, "row-%lld", static_cast<long long>(i));
    values[3] = strdup(text);
    lengths[4] = std::snprintf(text, sizeof text, "a note for row %lld", static_cast<long long>(i));
    values[4] = strdup(text);
    return CreateNewRowObject(values, lengths);
}

void RawPreparedInsertInOneTransaction(benchmark::State& state)
{
    Store& store = TheStore();
    Raw raw;
    for (auto _ : state) {
        state.PauseTiming();
        store.Clear();
        state.ResumeTiming();
        raw.Insert(0, SaveRows());
    }
    state.SetItemsProcessed(state.iterations() * SaveRows());
}

void StoreSaveTable(benchmark::State& state)
{
    Store& store = TheStore();
    for (auto _ : state) {
        state.PauseTiming();
        store.Clear();
        CreateTable("BenchRow");
        for (int64_t i = 0; i < SaveRows(); i++)
            AddNewRow("BenchRow", NewRow(i));
        state.ResumeTiming();
        SaveTable("BenchRow");
    }
    state.SetItemsProcessed(state.iterations() * SaveRows());
}

void FillForLoading(Store& store)
{
    static bool filled = false;
    if (filled)
        return;
    store.Clear();
    Raw().Insert(0, LoadRows());
    filled = true;
}

void RawFetchIntoArrays(benchmark::State& state)
{
    Store& store = TheStore();
    FillForLoading(store);
    Raw raw;
    for (auto _ : state) {
        std::vector<int32_t> ids, qtys;
        std::vector<int64_t> totals;
        std::vector<std::string> names, notes;
        SQLHSTMT stmt;
        SQLAllocHandle(SQL_HANDLE_STMT, raw.dbc, &stmt);
        SQLExecDirect(stmt, (SQLCHAR*)"select * from BenchRow", SQL_NTS);
        SQLINTEGER id, qty;
        SQLBIGINT total;
        char name[33], note[65];
        SQLLEN lengths[5];
        SQLBindCol(stmt, 1, SQL_C_SLONG, &id, 0, &lengths[0]);
        SQLBindCol(stmt, 2, SQL_C_SLONG, &qty, 0, &lengths[1]);
        SQLBindCol(stmt, 3, SQL_C_SBIGINT, &total, 0, &lengths[2]);
        SQLBindCol(stmt, 4, SQL_C_CHAR, name, sizeof name, &lengths[3]);
        SQLBindCol(stmt, 5, SQL_C_CHAR, note, sizeof note, &lengths[4]);
        while (SQL_SUCCEEDED(SQLFetch(stmt))) {
            ids.push_back(id);
            qtys.push_back(qty);
            totals.push_back(total);
            names.emplace_back(name);
            notes.emplace_back(note);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        benchmark::DoNotOptimize(ids.size());
    }
    state.SetItemsProcessed(state.iterations() * LoadRows());
}

void StoreLoadTable(benchmark::State& state)
{
    Store& store = TheStore();
    FillForLoading(store);
    for (auto _ : state) {
        LoadTable("BenchRow");
        state.PauseTiming();
        UnLoadTable("BenchRow");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * LoadRows());
}

BENCHMARK(RawPreparedInsertInOneTransaction)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(StoreSaveTable)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(RawFetchIntoArrays)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(StoreLoadTable)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
