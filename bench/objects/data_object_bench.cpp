// Data objects against plain ODBC on the same database and driver:
//   - GetDataObject of one dominant row with TW_BENCH_PARTS (1000) rows that
//     refer to it, against SQLExecDirect of the same select and a SQLFetch
//     loop into plain arrays;
//   - SaveDataObject of TW_BENCH_SAVE (10000) new rows, against one
//     SQLExecDirect insert per row in autocommit (the same statements) and a
//     prepared insert in one transaction.
//
//   TW_BENCH_ODBC="Driver=SQLite3;Database=/tmp/dobench.db;SyncPragma=OFF" TW_BENCH_DIALECT=SQLITE
//   build/bench/bench/objects/data_object_bench
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

int32_t Parts() { return std::atoi(Env("TW_BENCH_PARTS", "1000")); }
int32_t SaveCount() { return std::atoi(Env("TW_BENCH_SAVE", "10000")); }

const char kDictionary[] = R"(<?xml version="1.0"?>
<data-dictionary>
<table name="BenchHead"><columns>
  <column name="HeadId"><data-type>BRI_SQL_INT</data-type><nullable>false</nullable></column>
  <column name="Name"><data-type>CHAR</data-type><max-size>32</max-size></column>
</columns><primary-key><primary-key-column>HeadId</primary-key-column></primary-key></table>
<table name="BenchPart"><columns>
  <column name="PartId"><data-type>BRI_SQL_INT</data-type><nullable>false</nullable></column>
  <column name="HeadId"><data-type>BRI_SQL_INT</data-type><nullable>false</nullable></column>
  <column name="Qty"><data-type>BRI_SQL_INT</data-type></column>
  <column name="Name"><data-type>CHAR</data-type><max-size>32</max-size></column>
</columns><primary-key><primary-key-column>PartId</primary-key-column></primary-key>
<foreign-keys><foreign-key reference-table-name="BenchHead" isbidirectional="false">
  <fk-columns><fk-column><fk-local-column>HeadId</fk-local-column><fk-reference-column>HeadId</fk-reference-column>
  </fk-column></fk-columns></foreign-key></foreign-keys>
</table></data-dictionary>
)";

void Run(const char* statement)
{
    DBConnection* connection = GetDBConnection("bench");
    ExecuteUpdate(connection, statement);
    ReleaseDBConnection("bench");
}

struct Store {
    Store()
    {
        std::string dir = "/tmp/tw-dobench-dictionary";
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
        AddDataSourceMapEntry(CreateDataSourceMapEntry("BenchHead", "bench"));
        AddDataSourceMapEntry(CreateDataSourceMapEntry("BenchPart", "bench"));
        SetDSNMapValid(1, 0);
        ok = ok && EstablishDBConnections() == VELMORA_SUCCESS;
        Run("drop table BenchPart");
        Run("drop table BenchHead");
        ok = ok && CreateTableInDB("BenchHead", "bench") == VELMORA_SUCCESS &&
            CreateTableInDB("BenchPart", "bench") == VELMORA_SUCCESS;
        if (!ok)
            std::fprintf(stderr, "cannot set up the store on %s\n", Env("TW_BENCH_ODBC", "(TW_BENCH_ODBC unset)"));
    }
    bool ok = false;
};

Store& TheStore()
{
    static Store store;
    return store;
}

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
    void Exec(const std::string& statement)
    {
        SQLHSTMT stmt;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        SQLExecDirect(stmt, (SQLCHAR*)statement.c_str(), SQL_NTS);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    }
};

std::string InsertText(int32_t id)
{
    return "insert into BenchPart (PartId, HeadId, Qty, Name) values (" + std::to_string(id) + ", 1, " +
        std::to_string(id % 97) + ", 'part-" + std::to_string(id) + "')";
}

void FillForFetch()
{
    static bool filled = false;
    if (filled)
        return;
    Raw raw;
    raw.Exec("delete from BenchPart");
    raw.Exec("delete from BenchHead");
    raw.Exec("insert into BenchHead (HeadId, Name) values (1, 'head')");
    raw.Exec("begin");
    for (int32_t i = 0; i < Parts(); i++)
        raw.Exec(InsertText(i));
    raw.Exec("commit");
    filled = true;
}

SelectQuery* HeadQuery()
{
    SelectQuery* query = CreateSelectQuery();
    AddQueryTable(query, CreateQueryTable("BenchHead", nullptr, query->pool));
    AddQueryTable(query, CreateQueryTable("BenchPart", nullptr, query->pool));
    int32_t one = 1;
    QueryColumn* head = CreateQueryColumn("BenchHead", nullptr, "HeadId", nullptr, 0, BRI_SQL_INT, 0, query->pool);
    QueryColumn* part = CreateQueryColumn("BenchPart", nullptr, "HeadId", nullptr, 0, BRI_SQL_INT, 0, query->pool);
    SetCriteria(query,
                CreateConditionAnd(CreateQueryCondition(head, &one, 4, QUERY_OP_EQUAL, query->pool),
                                   CreateQueryCondition(part, &one, 4, QUERY_OP_EQUAL, query->pool), query->pool));
    return query;
}

void StoreGetDataObject(benchmark::State& state)
{
    TheStore();
    FillForFetch();
    SelectQuery* query = HeadQuery();
    for (auto _ : state) {
        DataObject* dataObject = GetDataObject(query);
        int32_t rows = 0;
        for (RowUnit* unit = GetFirstRowUnit("BenchPart", dataObject); unit; unit = unit->next)
            rows++;
        if (rows != Parts())
            state.SkipWithError("the object does not hold every part");
        FreeDataObject(dataObject);
    }
    FreeSelectQuery(query);
    state.SetItemsProcessed(state.iterations() * Parts());
}

void RawFetchJoinedRows(benchmark::State& state)
{
    TheStore();
    FillForFetch();
    Raw raw;
    const char* text = "select * from BenchHead, BenchPart where BenchHead.HeadId = 1 and BenchPart.HeadId = 1";
    for (auto _ : state) {
        std::vector<int32_t> ids, heads, qtys;
        std::vector<std::string> names;
        SQLHSTMT stmt;
        SQLAllocHandle(SQL_HANDLE_STMT, raw.dbc, &stmt);
        SQLExecDirect(stmt, (SQLCHAR*)text, SQL_NTS);
        SQLINTEGER headId, partId, partHead, qty;
        char headName[33], name[33];
        SQLLEN lengths[6];
        SQLBindCol(stmt, 1, SQL_C_SLONG, &headId, 0, &lengths[0]);
        SQLBindCol(stmt, 2, SQL_C_CHAR, headName, sizeof headName, &lengths[1]);
        SQLBindCol(stmt, 3, SQL_C_SLONG, &partId, 0, &lengths[2]);
        SQLBindCol(stmt, 4, SQL_C_SLONG, &partHead, 0, &lengths[3]);
        SQLBindCol(stmt, 5, SQL_C_SLONG, &qty, 0, &lengths[4]);
        SQLBindCol(stmt, 6, SQL_C_CHAR, name, sizeof name, &lengths[5]);
        while (SQL_SUCCEEDED(SQLFetch(stmt))) {
            ids.push_back(partId);
            heads.push_back(partHead);
            qtys.push_back(qty);
            names.emplace_back(name);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        benchmark::DoNotOptimize(ids.size());
    }
    state.SetItemsProcessed(state.iterations() * Parts());
}

void ClearForSave()
{
    Run("delete from BenchPart");
    Run("delete from BenchHead");
    Run("insert into BenchHead (HeadId, Name) values (1, 'head')");
}

void StoreSaveDataObject(benchmark::State& state)
{
    TheStore();
    const int32_t base = 1000000;
    for (auto _ : state) {
        state.PauseTiming();
        ClearForSave();
        DataObject* dataObject = CreateDataObject();
        AddTableToDO(dataObject, "BenchPart", nullptr);
        for (int32_t i = 0; i < SaveCount(); i++) {
            int32_t id = base + i, head = 1, qty = i % 97;
            std::string name = "part-" + std::to_string(id);
            void* values[] = {&id, &head, &qty, name.data()};
            int32_t lengths[] = {4, 4, 4, static_cast<int32_t>(name.size())};
            InsertRowIntoDO(dataObject, "BenchPart", values, lengths);
        }
        state.ResumeTiming();
        SaveDataObject(dataObject);
        state.PauseTiming();
        if (GetNthRowUnit(SaveCount(), "BenchPart", dataObject)->rowState != ROW_STATE_STORED)
            state.SkipWithError("a row was not saved");
        FreeDataObject(dataObject);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * SaveCount());
}

void RawInsertPerStatementAutocommit(benchmark::State& state)
{
    TheStore();
    Raw raw;
    for (auto _ : state) {
        state.PauseTiming();
        ClearForSave();
        state.ResumeTiming();
        for (int32_t i = 0; i < SaveCount(); i++)
            raw.Exec(InsertText(1000000 + i));
    }
    state.SetItemsProcessed(state.iterations() * SaveCount());
}

void RawPreparedInsertInOneTransaction(benchmark::State& state)
{
    TheStore();
    Raw raw;
    for (auto _ : state) {
        state.PauseTiming();
        ClearForSave();
        state.ResumeTiming();
        SQLSetConnectAttr(raw.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
        SQLHSTMT stmt;
        SQLAllocHandle(SQL_HANDLE_STMT, raw.dbc, &stmt);
        SQLPrepare(stmt, (SQLCHAR*)"insert into BenchPart values (?,?,?,?)", SQL_NTS);
        SQLINTEGER id = 0, head = 1, qty = 0;
        char name[33];
        SQLLEN nameLength = SQL_NTS;
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
        SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &head, 0, nullptr);
        SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &qty, 0, nullptr);
        SQLBindParameter(stmt, 4, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0, name, sizeof name, &nameLength);
        for (int32_t i = 0; i < SaveCount(); i++) {
            id = 1000000 + i;
            qty = i % 97;
            std::snprintf(name, sizeof name, "part-%d", id);
            SQLExecute(stmt);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLEndTran(SQL_HANDLE_DBC, raw.dbc, SQL_COMMIT);
        SQLSetConnectAttr(raw.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0);
    }
    state.SetItemsProcessed(state.iterations() * SaveCount());
}

BENCHMARK(StoreGetDataObject)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(RawFetchJoinedRows)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(StoreSaveDataObject)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(RawInsertPerStatementAutocommit)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(RawPreparedInsertInOneTransaction)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
