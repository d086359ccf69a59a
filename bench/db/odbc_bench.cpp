// The ODBC provider against raw ODBC on the same database and driver:
//   query:  ExecuteQuery of 1,000,000 rows x 5 columns into a DBResultSet
//           vs a SQLFetch loop over bound character columns;
//   insert: 100,000 ExecuteUpdate inserts in one transaction vs one
//           prepared statement run by SQLExecute with bound parameters.
// SQLite always (a file in /tmp, driver library named directly); PostgreSQL
// when TW_BENCH_PG holds a psqlODBC connection string, e.g.
//   Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbca.so;Servername=127.0.0.1;Port=5432;Database=postgres;UID=postgres
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include <sql.h>
#include <sqlext.h>

#include "velmora/odbc_provider.h"

namespace {

constexpr int kQueryRows = 1000000;
constexpr int kInserts = 100000;

struct Target {
    std::string connect;
    DBConnection* connection = nullptr;
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
};

Target* OpenTarget(const std::string& connect)
{
    auto* target = new Target;
    target->connect = connect;
    ConnParamsEntry* entry =
        CreateConnParamsEntry("bench", 1, "x", nullptr, nullptr, 0, "bench", 1, connect.c_str(), "ODBC", "SQLITE");
    target->connection = ODBCConnect(entry);
    FreeConnParamsEntry(entry);
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &target->env);
    SQLSetEnvAttr(target->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, target->env, &target->dbc);
    SQLRETURN result = SQLDriverConnect(target->dbc, nullptr, (SQLCHAR*)connect.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                        SQL_DRIVER_NOPROMPT);
    if (!target->connection || !SQL_SUCCEEDED(result)) {
        fprintf(stderr, "cannot connect: %s\n", connect.c_str());
        exit(1);
    }
    // The query table, filled once.
    ODBCExecuteUpdate(target->connection, "DROP TABLE IF EXISTS bench_rows");
    ODBCExecuteUpdate(target->connection,
                      "CREATE TABLE bench_rows (id INTEGER, qty INTEGER, price DOUBLE PRECISION, name VARCHAR(40), "
                      "note VARCHAR(200))");
    ODBCBeginTransaction(target->connection);
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, target->dbc, &stmt);
    ODBCCommitTransaction(target->connection);
    SQLSetConnectAttr(target->dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, SQL_IS_UINTEGER);
    SQLPrepare(stmt, (SQLCHAR*)"INSERT INTO bench_rows VALUES (?, ?, ?, ?, ?)", SQL_NTS);
    SQLINTEGER id = 0, qty = 0;
    double price = 0;
    char name[41], note[201];
    SQLLEN nts = SQL_NTS;
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &qty, 0, nullptr);
    SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &price, 0, nullptr);
    SQLBindParameter(stmt, 4, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, name, sizeof(name), &nts);
    SQLBindParameter(stmt, 5, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 200, 0, note, sizeof(note), &nts);
    for (id = 0; id < kQueryRows; id++) {
        qty = id % 1000;
        price = id * 0.25;
        snprintf(name, sizeof(name), "name %d", id);
        snprintf(note, sizeof(note), "a note of some length for row %d", id);
        SQLExecute(stmt);
    }
    SQLEndTran(SQL_HANDLE_DBC, target->dbc, SQL_COMMIT);
    SQLSetConnectAttr(target->dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, SQL_IS_UINTEGER);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return target;
}

Target* SqliteTarget()
{
    static Target* target = [] {
        remove("/tmp/tw_odbc_bench.db");
        return OpenTarget("Driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;Database=/tmp/tw_odbc_bench.db");
    }();
    return target;
}

Target* PgTarget()
{
    static Target* target = getenv("TW_BENCH_PG") ? OpenTarget(getenv("TW_BENCH_PG")) : nullptr;
    return target;
}

Target* TargetOf(const benchmark::State& state) { return state.range(0) == 0 ? SqliteTarget() : PgTarget(); }

const char kQuery[] = "SELECT id, qty, price, name, note FROM bench_rows";

void QueryIntoResultSet(benchmark::State& state)
{
    Target* target = TargetOf(state);
    if (!target) {
        state.SkipWithError("TW_BENCH_PG not set");
        return;
    }
    for (auto _ : state) {
        DBResultSet* result = ODBCExecuteQuery(target->connection, kQuery);
        if (!result || result->rowCount != kQueryRows)
            state.SkipWithError("query failed");
        FreeDBResultSet(result);
    }
    state.SetItemsProcessed(state.iterations() * kQueryRows);
}

void QueryRawBoundFetch(benchmark::State& state)
{
    Target* target = TargetOf(state);
    if (!target) {
        state.SkipWithError("TW_BENCH_PG not set");
        return;
    }
    for (auto _ : state) {
        SQLHSTMT stmt;
        SQLAllocHandle(SQL_HANDLE_STMT, target->dbc, &stmt);
        SQLExecDirect(stmt, (SQLCHAR*)kQuery, SQL_NTS);
        char buffers[5][256];
        SQLLEN indicators[5];
        for (int i = 0; i < 5; i++)
            SQLBindCol(stmt, i + 1, SQL_C_CHAR, buffers[i], sizeof(buffers[i]), &indicators[i]);
        long rows = 0, bytes = 0;
        while (SQL_SUCCEEDED(SQLFetch(stmt))) {
            rows++;
            bytes += indicators[4];
        }
        benchmark::DoNotOptimize(bytes);
        if (rows != kQueryRows)
            state.SkipWithError("raw fetch failed");
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    }
    state.SetItemsProcessed(state.iterations() * kQueryRows);
}

void InsertByExecuteUpdate(benchmark::State& state)
{
    Target* target = TargetOf(state);
    if (!target) {
        state.SkipWithError("TW_BENCH_PG not set");
        return;
    }
    ODBCExecuteUpdate(target->connection, "DROP TABLE IF EXISTS bench_inserts");
    ODBCExecuteUpdate(target->connection, "CREATE TABLE bench_inserts (id INTEGER, name VARCHAR(40))");
    int next = 0;
    for (auto _ : state) {
        ODBCBeginTransaction(target->connection);
        char statement[128];
        for (int i = 0; i < kInserts; i++, next++) {
            snprintf(statement, sizeof(statement), "INSERT INTO bench_inserts VALUES (%d, 'name %d')", next, next);
            ODBCExecuteUpdate(target->connection, statement);
        }
        ODBCCommitTransaction(target->connection);
    }
    state.SetItemsProcessed(state.iterations() * kInserts);
}

void InsertByRawPreparedExecute(benchmark::State& state)
{
    Target* target = TargetOf(state);
    if (!target) {
        state.SkipWithError("TW_BENCH_PG not set");
        return;
    }
    ODBCExecuteUpdate(target->connection, "DROP TABLE IF EXISTS bench_inserts");
    ODBCExecuteUpdate(target->connection, "CREATE TABLE bench_inserts (id INTEGER, name VARCHAR(40))");
    int next = 0;
    for (auto _ : state) {
        SQLSetConnectAttr(target->dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, SQL_IS_UINTEGER);
        SQLHSTMT stmt;
        SQLAllocHandle(SQL_HANDLE_STMT, target->dbc, &stmt);
        SQLPrepare(stmt, (SQLCHAR*)"INSERT INTO bench_inserts VALUES (?, ?)", SQL_NTS);
        SQLINTEGER id = 0;
        char name[41];
        SQLLEN nts = SQL_NTS;
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
        SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, name, sizeof(name), &nts);
        for (int i = 0; i < kInserts; i++, next++) {
            id = next;
            snprintf(name, sizeof(name), "name %d", next);
            SQLExecute(stmt);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLEndTran(SQL_HANDLE_DBC, target->dbc, SQL_COMMIT);
        SQLSetConnectAttr(target->dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, SQL_IS_UINTEGER);
    }
    state.SetItemsProcessed(state.iterations() * kInserts);
}

// Argument 0: SQLite, 1: PostgreSQL.
BENCHMARK(QueryIntoResultSet)->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(QueryRawBoundFetch)->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(InsertByExecuteUpdate)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(InsertByRawPreparedExecute)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
