// Adding 1,000,000 rows of five columns and selecting them with a two-leaf
// condition, in an in-memory table and, as the peer, in SQLite in memory.
#include <benchmark/benchmark.h>

#include <sqlite3.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "velmora/table_data.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kColumns = 5;
// id > 500000 and qty < 10: half the rows pass the first leaf, a tenth of
// those the second (50,000 rows).
const char kCondition[] = "id > 500000 and qty < 10";
const char kSqliteSelect[] = "SELECT * FROM machine WHERE id > 500000 and qty < 10";

// The row values both stores receive.
struct Values {
    int32_t id;
    int32_t qty;
    int64_t stamp;
    double price;
    char name[16];
};

void MakeValues(int i, Values* v)
{
    v->id = i + 1;
    v->qty = i % 100;
    v->stamp = 1700000000000LL + i;
    v->price = (i % 1000) * 0.25;
    snprintf(v->name, sizeof v->name, "machine%d", i % 1000);
}

void DefineTable()
{
    static bool defined = false;
    if (defined)
        return;
    defined = true;
    LCDVector* columns = CreateVector();
    AddElementData(columns, CreateColumnDefn("id", BRI_SQL_INT, nullptr, 0, 0, nullptr, nullptr, 0, 1, nullptr));
    AddElementData(columns, CreateColumnDefn("name", BRI_SQL_VARCHAR, nullptr, 0, 0, nullptr, nullptr, 40, 1, nullptr));
    AddElementData(columns, CreateColumnDefn("qty", BRI_SQL_INT, nullptr, 0, 0, nullptr, nullptr, 0, 1, nullptr));
    AddElementData(columns, CreateColumnDefn("price", BRI_SQL_DOUBLE, nullptr, 0, 0, nullptr, nullptr, 0, 1, nullptr));
    AddElementData(columns, CreateColumnDefn("stamp", BRI_SQL_BIGINT, nullptr, 0, 0, nullptr, nullptr, 0, 1, nullptr));
    AddTableDefn(CreateTableDefn("machine", nullptr, columns, nullptr));
}

void* Copy(const void* bytes, size_t length)
{
    auto* block = static_cast<char*>(malloc(length + 1));
    memcpy(block, bytes, length);
    block[length] = 0;
    return block;
}

// The rows as a caller builds them: five values, two arrays, the row.
void FillVelmora(const char* table)
{
    Values v;
    for (int i = 0; i < kRows; i++) {
        MakeValues(i, &v);
        auto** values = static_cast<void**>(malloc(kColumns * sizeof(void*)));
        auto* lengths = static_cast<int32_t*>(malloc(kColumns * sizeof(int32_t)));
        size_t nameLength = strlen(v.name);
        values[0] = Copy(&v.id, 4), lengths[0] = 4;
        values[1] = Copy(v.name, nameLength), lengths[1] = static_cast<int32_t>(nameLength);
        values[2] = Copy(&v.qty, 4), lengths[2] = 4;
        values[3] = Copy(&v.price, 8), lengths[3] = 8;
        values[4] = Copy(&v.stamp, 8), lengths[4] = 8;
        AddNewRow(table, CreateNewRowObject(values, lengths));
    }
}

void FillSqlite(sqlite3* db)
{
    sqlite3_exec(db, "CREATE TABLE machine (id INTEGER, name TEXT, qty INTEGER, price REAL, stamp INTEGER)", nullptr,
                 nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO machine VALUES (?, ?, ?, ?, ?)", -1, &insert, nullptr);
    Values v;
    for (int i = 0; i < kRows; i++) {
        MakeValues(i, &v);
        sqlite3_bind_int(insert, 1, v.id);
        sqlite3_bind_text(insert, 2, v.name, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 3, v.qty);
        sqlite3_bind_double(insert, 4, v.price);
        sqlite3_bind_int64(insert, 5, v.stamp);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

void BM_VelmoraAddNewRow(benchmark::State& state)
{
    DefineTable();
    for (auto _ : state) {
        CreateTable("machine");
        FillVelmora("machine");
        state.PauseTiming();
        FreeTableData(GetTableDataByName("machine"));
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_SqliteInsert(benchmark::State& state)
{
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_open(":memory:", &db);
        FillSqlite(db);
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_VelmoraSelectRows(benchmark::State& state)
{
    DefineTable();
    if (!GetTableDataByName("machine")) {
        CreateTable("machine");
        FillVelmora("machine");
    }
    int32_t found = 0;
    for (auto _ : state) {
        ResultData* result = SelectRows("machine", kCondition);
        found = result ? result->rowCount : -1;
        FreeResultData(result);
    }
    state.counters["rows"] = found;
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_SqliteSelect(benchmark::State& state)
{
    static sqlite3* db = nullptr;
    if (!db) {
        sqlite3_open(":memory:", &db);
        FillSqlite(db);
    }
    int found = 0;
    for (auto _ : state) {
        sqlite3_stmt* select = nullptr;
        sqlite3_prepare_v2(db, kSqliteSelect, -1, &select, nullptr);
        found = 0;
        while (sqlite3_step(select) == SQLITE_ROW)
            found++;
        sqlite3_finalize(select);
    }
    state.counters["rows"] = found;
    state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(BM_VelmoraAddNewRow)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SqliteInsert)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_VelmoraSelectRows)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SqliteSelect)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
