// The dialect registry, the choice of a table's dialect, and result rows
// converted back into the store's rows.
#include "fault_injection.h"
#include "log_capture.h"
#include "sql_fixture.h"
#include "velmora/connection_files.h"
#include "velmora/sql_statements.h"

using namespace sql_fixture;

namespace {

class Dispatch : public SqlTest {
protected:
    void SetUp() override
    {
        SqlTest::SetUp();
        InitSqlDialects();
        ASSERT_EQ(RegisterAllSqlDialects(), VELMORA_SUCCESS);
    }
    void TearDown() override
    {
        FreeSqlDialects();
        FreeAllDataSourceMapEntries();
        FreeAllConnParamsEntries();
        gv_dsnMapValid = 0;
        gv_defaultDBType = 0;
        SqlTest::TearDown();
    }
    static void Connection(const char* name, const char* type)
    {
        ASSERT_EQ(AddConnParamsEntry(
                      CreateConnParamsEntry("n", 1, "dsn", "user", nullptr, 0, name, 0, nullptr, "ODBC", type)),
                  VELMORA_SUCCESS);
    }
};

TEST_F(Dispatch, RegistryKeepsOrderAndRefusesDuplicatesAndOtherVersions)
{
    const char* order[] = {"PGSQL", "MYSQL", "SQLITE", "FIREBIRD"};
    int i = 0;
    for (const LCDNode* node = gv_sqlDialects.head; node; node = node->next)
        EXPECT_STREQ(static_cast<const SqlDialect*>(node->data)->name, order[i++]);
    EXPECT_EQ(i, 4);
    EXPECT_EQ(GetSqlDialect("sqlite")->GenInsertQuery, SqliteGenInsertQuery);
    EXPECT_EQ(GetSqlDialect("Oracle"), nullptr);
    EXPECT_EQ(GetSqlDialect(nullptr), nullptr);
    EXPECT_EQ(RegisterMysqlDialect(), VELMORA_FAILURE);
    SqlDialect later = *GetSqlDialect("MYSQL");
    later.name = "LATER";
    later.version = SQL_DIALECT_VERSION + 1;
    EXPECT_EQ(RegisterSqlDialect(&later), VELMORA_FAILURE);
    later.version = SQL_DIALECT_VERSION;
    later.GenCreateQuery = nullptr;
    EXPECT_EQ(RegisterSqlDialect(&later), VELMORA_FAILURE);
    EXPECT_EQ(RegisterSqlDialect(nullptr), VELMORA_FAILURE);
    {
        FailingAllocations fail(1);
        later = *GetSqlDialect("MYSQL");
        later.name = "LATER";
        EXPECT_EQ(RegisterSqlDialect(&later), VELMORA_ALLOC_FAILURE);
    }
    EXPECT_EQ(gv_sqlDialects.count, 4);
}

TEST_F(Dispatch, TheTablesConnectionOrTheDefaultTypeChoosesTheDialect)
{
    TableDefn* table = Define("Flag", {{"Id", BRI_SQL_INT}, {"On", BRI_SQL_BOOLEAN}}, {"Id"});
    RowPtr row = Row(table, {"1", "true"});
    // Without a valid map, the default type: 1 is PGSQL.
    gv_defaultDBType = 1;
    EXPECT_EQ(Take(GenerateInsertQuery("Flag", row.get())), "insert into  Flag values(1,'1');");
    gv_defaultDBType = 9;
    EXPECT_EQ(GenerateInsertQuery("Flag", row.get()), nullptr);
    // With a valid map, the database type of the table's connection.
    gv_dsnMapValid = 1;
    Connection("main", "mysql");
    ASSERT_EQ(AddDataSourceMapEntry(CreateDataSourceMapEntry("FLAG", "main")), VELMORA_SUCCESS);
    EXPECT_STREQ(GetConnectionNameForTable("flag"), "main");
    EXPECT_STREQ(GetDBTypeOfConnection("main"), "mysql");
    EXPECT_STREQ(GetProviderOfConnection("main"), "ODBC");
    EXPECT_EQ(Take(GenerateUpdateQuery("Flag", row.get())), "update Flag set On=1 where Id=1");
    EXPECT_EQ(Take(GenerateDeleteQuery("Flag", row.get())), "delete from Flag  where Id=1");
    EXPECT_EQ(Take(GenerateCreateTableQuery("Flag")),
              "CREATE TABLE Flag(\n\tId int  ,\n\tOn tinyint   ,\n\tPRIMARY KEY(Id)\n) ENGINE=InnoDB;\n\n");
    QueryPtr query(CreateSelectQuery());
    AddJoinToQuery(query.get(), "Flag", nullptr, "Other", nullptr, QUERY_INNER_JOIN, nullptr, nullptr);
    query->limit = 3;
    EXPECT_EQ(Take(GenerateSelectQuery(query.get())), "select * from  Flag  inner join  Other limit 3");

    LogCapture log;
    EXPECT_EQ(GenerateInsertQuery("Unmapped", row.get()), nullptr);
    EXPECT_EQ(GetDBTypeOfConnection("other"), nullptr);
    QueryPtr empty(CreateSelectQuery());
    EXPECT_EQ(GenerateSelectQuery(empty.get()), nullptr);
    EXPECT_EQ(GenerateSelectQuery(nullptr), nullptr);
    auto lines = log.Lines();
    for (const char* expected :
         {"[ERROR] No DataSourceMap Entry for Table name Unmapped ",
          "[ERROR] dbConnPtr is NULL for Connection Name other ", "[ERROR] No Tables selected in select query."})
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
}

struct ResultSetDeleter {
    void operator()(DBResultSet* set) const { FreeDBResultSet(set); }
};

TEST_F(Dispatch, ResultRowsBecomeStoredRows)
{
    Define("Seen",
           {{"Id", BRI_SQL_INT},
            {"Day", BRI_SQL_DATE},
            {"At", BRI_SQL_TIME},
            {"Both", BRI_SQL_DATETIME},
            {"Note", BRI_SQL_VARCHAR}});
    std::unique_ptr<DBResultSet, ResultSetDeleter> set(CreateDBResultSet(5));
    int32_t id = 4;
    const void* values[] = {&id, "2024-01-02", "03:04:05", "2024-01-02 03:04:05", nullptr};
    int32_t lengths[] = {4, 10, 8, 19, 0};
    ASSERT_EQ(AppendDBResultRow(set.get(), values, lengths), VELMORA_SUCCESS);
    EXPECT_EQ(ConvertResultSetToRows(set.get(), "SQLITE", "Seen"), nullptr); // no current row
    ASSERT_EQ(NextDBResultRow(set.get()), 1);

    RowPtr copied(ConvertResultSetToRows(set.get(), "mysql", "Seen"), RowDeleter{5});
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->state, ROW_STATE_STORED);
    EXPECT_EQ(copied->lengths[2], 8);
    EXPECT_STREQ(static_cast<char*>(copied->values[2]), "03:04:05");
    EXPECT_EQ(copied->values[4], nullptr);

    RowPtr parsed(ConvertResultSetToRows(set.get(), "SQLITE", "Seen"), RowDeleter{5});
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*static_cast<int32_t*>(parsed->values[0]), 4);
    int32_t expectedLengths[] = {4, 4, 3, 11, 0};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(parsed->lengths[i], expectedLengths[i]) << i;
    const char* texts[] = {"2024-01-02", "03:04:05", "2024-01-02 03:04:05"};
    for (int i = 1; i <= 3; i++) {
        char* text =
            ColumnValueToString(parsed->values[i], parsed->lengths[i], static_cast<uint8_t>(BRI_SQL_DATE + i - 1));
        EXPECT_EQ(Take(text), texts[i - 1]);
    }
    EXPECT_EQ(ConvertResultSetToRows(set.get(), "SQLITE", "Unknown"), nullptr);
    EXPECT_EQ(ConvertResultSetToRows(set.get(), "ORACLE", "Seen"), nullptr);
    EXPECT_EQ(ConvertResultSetToRows(nullptr, "MYSQL", "Seen"), nullptr);

    for (const char* dialect : {"MYSQL", "SQLITE"}) {
        ForEveryAllocationFailure([&](long n, bool& fired) {
            FailingAllocations fail(n);
            RowPtr row(ConvertResultSetToRows(set.get(), dialect, "Seen"), RowDeleter{5});
            fired = fail.fired();
            EXPECT_EQ(row == nullptr, fired) << dialect << " failing allocation " << n;
        });
    }
}

} // namespace
