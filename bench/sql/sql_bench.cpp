// Statement generation on the path of every load and save: the insert and
// the update of a ten-column row and a select with two joins and a
// four-leaf condition, next to sqlite3_mprintf writing the same insert text.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "velmora/base.h"
#include "velmora/select_query.h"
#include "velmora/sql_dialect.h"
#include "velmora/table_data.h"

namespace {

const uint8_t kTypes[10] = {BRI_SQL_INT,     BRI_SQL_VARCHAR, BRI_SQL_VARCHAR, BRI_SQL_INT,     BRI_SQL_BIGINT,
                            BRI_SQL_BOOLEAN, BRI_SQL_VARCHAR, BRI_SQL_INT,     BRI_SQL_VARCHAR, BRI_SQL_SMALLINT};
const char* const kNames[10] = {"Id", "Host", "Os", "Build", "Bytes", "Active", "Site", "Cores", "Owner", "Rank"};
const char* const kTexts[10] = {"42",   "host-042.example", "6.1", "7601",         "5000000000",
                                "true", "O'Brien site",     "8",   "admin\\local", "3"};

struct Fixture {
    RowObject* row = nullptr;
    Fixture()
    {
        InitTableDefnVector();
        InitializeMemPool();
        LCDVector* columns = CreateVector();
        for (int i = 0; i < 10; i++)
            AddElementData(columns,
                           CreateColumnDefn(kNames[i], kTypes[i], nullptr, 0, 0, nullptr, nullptr, 64, 1, nullptr));
        char** keys = static_cast<char**>(calloc(2, sizeof(char*)));
        keys[0] = strdup("Id");
        AddTableDefn(CreateTableDefn("Machine", nullptr, columns, CreateConstraintDefn(keys, 1, nullptr)));
        auto** values = static_cast<void**>(calloc(10, sizeof(void*)));
        auto* lengths = static_cast<int32_t*>(calloc(10, sizeof(int32_t)));
        for (int i = 0; i < 10; i++)
            AllocateAndCopyColumnValue(&values[i], &lengths[i], kTypes[i], kTexts[i]);
        row = CreateNewRowObject(values, lengths);
    }
};

Fixture& Shared()
{
    static Fixture fixture;
    return fixture;
}

void BM_InsertTenColumns(benchmark::State& state)
{
    Fixture& f = Shared();
    for (auto _ : state) {
        char* text = MysqlGenInsertQuery("Machine", f.row);
        benchmark::DoNotOptimize(text);
        free(text);
    }
}
BENCHMARK(BM_InsertTenColumns);

void BM_UpdateTenColumns(benchmark::State& state)
{
    Fixture& f = Shared();
    for (auto _ : state) {
        char* text = MysqlGenUpdateQuery("Machine", f.row);
        benchmark::DoNotOptimize(text);
        free(text);
    }
}
BENCHMARK(BM_UpdateTenColumns);

// The peer: the same insert text from SQLite's formatter (%Q doubles quotes).
void BM_SqliteMprintfInsert(benchmark::State& state)
{
    for (auto _ : state) {
        char* text =
            sqlite3_mprintf("insert into  Machine values(%d,%Q,%Q,%d,%lld,%d,%Q,%d,%Q,%d)", 42, "host-042.example",
                            "6.1", 7601, 5000000000LL, 1, "O'Brien site", 8, "admin\\\\local", 3);
        benchmark::DoNotOptimize(text);
        sqlite3_free(text);
    }
}
BENCHMARK(BM_SqliteMprintfInsert);

void BM_SelectTwoJoinsFourLeaves(benchmark::State& state)
{
    Shared();
    SelectQuery* q = CreateSelectQuery();
    MemPool* pool = q->pool;
    CreateAndAddSelectColumn(q, nullptr, "m", "Host", nullptr, 0, BRI_SQL_VARCHAR, 0);
    CreateAndAddSelectColumn(q, nullptr, "s", "Name", "site", 0, BRI_SQL_VARCHAR, 0);
    CreateAndAddSelectColumn(q, nullptr, "o", "Build", nullptr, 0, BRI_SQL_INT, 0);
    auto list = [&](const char* name) {
        LCDVector* columns = CreateColumnList(pool);
        AddListColumn(pool, CreateListColumn(nullptr, nullptr, name, nullptr, 0, BRI_SQL_INT, 0, pool), columns);
        return columns;
    };
    AddJoinToQuery(q, "Machine", "m", "Site", "s", QUERY_INNER_JOIN, list("SiteId"), list("Id"));
    AddJoinToQuery(q, "Machine", "m", "Os", "o", QUERY_LEFT_JOIN, list("OsId"), list("Id"));
    int32_t build = 7601, cores = 4;
    auto leaf = [&](const char* alias, const char* name, uint8_t type, uint8_t op, const void* value, int32_t length) {
        return CreateQueryCondition(CreateListColumn(nullptr, alias, name, nullptr, 0, type, 0, pool), value, length,
                                    op, pool);
    };
    QueryCondition* tree = CreateConditionAnd(
        CreateConditionOr(leaf("o", "Build", BRI_SQL_INT, QUERY_OP_EQUAL, &build, 4),
                          leaf("m", "Host", BRI_SQL_VARCHAR, QUERY_OP_LIKE, "host-%", 6), pool),
        CreateConditionAnd(leaf("m", "Cores", BRI_SQL_INT, QUERY_OP_GREATER_EQUAL, &cores, 4),
                           leaf("s", "Name", BRI_SQL_VARCHAR, QUERY_OP_NOT_EQUAL, "O'Brien site", 12), pool),
        pool);
    SetCriteria(q, tree);
    for (auto _ : state) {
        char* text = MysqlGenSelectQuery(q);
        benchmark::DoNotOptimize(text);
        free(text);
    }
    FreeSelectQuery(q);
}
BENCHMARK(BM_SelectTwoJoinsFourLeaves);

} // namespace
