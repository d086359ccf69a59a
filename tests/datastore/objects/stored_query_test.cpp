// Stored queries on SQLite, PostgreSQL and MariaDB: query rows written into
// the query tables, rebuilt, generated in the engine's dialect and run on
// the engine; the rows that come back are checked, not only the text.
// Bad rows (expressions that contain themselves, unknown ids, operators and
// function names) must give a usable statement and a clear line.
#include <strings.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine_test.h"
#include "log_capture.h"
#include "store_engine_support.h"
#include "velmora/stored_query.h"

using namespace store_engine;
using tw::engines::Rows;

namespace {

const char* const kQueryTables[] = {"QueryDetails",   "QueryvsColumns", "ColumnDetails", "QueryvsTables",
                                    "TableDetails",   "QueryvsJoins",   "JoinDetails",   "QueryvsGB",
                                    "GroupByDetails", "QueryvsSort",    "SortDetails",   "QueryvsCriteria",
                                    "BooleanExp",     "RelationalExp"};

class StoredQueryOnEngine : public tw::engines::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        log_ = std::make_unique<LogCapture>(4);
        layer_ = std::make_unique<db_engine::DBLayer>();
        store_ = std::make_unique<Store>(engine(), database_name());
        ASSERT_TRUE(store_->Connect(true));
        Exec("insert into Site (SiteId, SiteName) values (1, 'Alpha')");
        Exec("insert into Site (SiteId, SiteName) values (2, " + Literal("O'Brien \\ Sons") + ")");
        const char* machines[] = {"1, 1, 'pc-1', '6.1', 'WinNT'", "2, 1, 'pc-2', '6.1', 'ServerNT'",
                                  "3, 2, 'pc-3', '6.1', 'WinNT'"};
        for (const char* machine : machines)
            Exec(std::string("insert into Machine (MachineId, SiteId, HostName, OsVersion, ProductType) values (") +
                 machine + ")");
    }
    void TearDown() override
    {
        store_.reset();
        layer_.reset();
        log_.reset();
        EngineTest::TearDown();
    }
    void Exec(const std::string& sql) { ASSERT_TRUE(db().Execute(sql)) << sql << ": " << db().LastError(); }
    // A literal, or NULL for a null text.
    std::string Value(const char* text) { return text ? Literal(text) : "NULL"; }
    bool Logged(const std::string& fragment) const
    {
        for (const std::string& line : log_->Lines())
            if (line.find(fragment) != std::string::npos)
                return true;
        return false;
    }

    std::unique_ptr<LogCapture> log_;
    std::unique_ptr<db_engine::DBLayer> layer_;
    std::unique_ptr<Store> store_;
};

struct Column {
    const char *name, *alias, *table, *function;
};
struct Join {
    const char *base, *reference, *column, *type;
};
struct Relation {
    int id;
    const char *column, *value, *op;
};
struct Boolean {
    int id, left, right;
    const char* op;
};

struct Case {
    const char* what;
    std::vector<Column> columns;
    std::vector<const char*> tables;
    std::vector<Join> joins;
    const char* groupBy; // column of Site, or null
    const char* sortTable;
    const char* sortColumn;
    int sortType;
    std::vector<Boolean> booleans;
    std::vector<Relation> relations;
    int root;                             // condition root id, 0: none
    std::vector<const char*> inStatement; // fragments, case-insensitive
    std::vector<std::string> rows;        // each row's values joined by '|'
    const char* criteria;                 // GetStoredQueryCriteriaText, or null for none expected
    const char* logged;                   // a log fragment, or null
};

// Every part of a stored query, and the bad rows, in one table. Each case
// is written as rows, rebuilt, generated for the engine and run there.
TEST_P(StoredQueryOnEngine, RowsOfTheQueryTablesGiveTheStatementAndItsRows)
{
    const Case cases[] = {
        {"no columns: every column of the table",
         {},
         {"Site"},
         {},
         nullptr,
         "Site",
         "SiteId",
         1,
         {},
         {},
         0,
         {"select * from"},
         {"1|Alpha|UTC|NULL", "2|O'Brien \\ Sons|UTC|NULL"},
         "",
         "No Columns to be selected."},
        {"COUNT aggregates; an unknown function name leaves a plain column",
         {{"SiteName", nullptr, "Site", "MEDIAN"}, {"MachineId", "Machines", "Machine", "COUNT"}},
         {},
         {{"Site", "Machine", "SiteId", "INNER_JOIN"}},
         "SiteName",
         "Site",
         "SiteName",
         1,
         {},
         {},
         0,
         {"COUNT(", "group by"},
         {"Alpha|2", "O'Brien \\ Sons|1"},
         "",
         nullptr},
        {"a value with a quote and a backslash is data",
         {{"SiteId", nullptr, "Site", nullptr}},
         {"Site"},
         {},
         nullptr,
         nullptr,
         nullptr,
         1,
         {},
         {{11, "SiteName", "O'Brien \\ Sons", "="}},
         11,
         {},
         {"2"},
         "SiteName=O'Brien \\ Sons",
         nullptr},
        {"OR, and any operator text other than AND, gives an OR node; descending sort",
         {{"HostName", nullptr, "Machine", nullptr}},
         {"Machine"},
         {},
         nullptr,
         "Machine",
         "HostName",
         0,
         {{20, 21, 22, "OR"}, {21, 23, 24, "XOR"}},
         {{22, "HostName", "pc-1", "="}, {23, "HostName", "pc-3", "="}, {24, "MachineId", "2", "<"}},
         20,
         {" or ", "desc"},
         {"pc-3", "pc-1"},
         "HostName=pc-3XORMachineId<2ORHostName=pc-1",
         nullptr},
        {"AND of two comparisons; a left join with its rows",
         {{"HostName", nullptr, "Machine", nullptr}, {"SiteName", nullptr, "Site", nullptr}},
         {},
         {{"Machine", "Site", "SiteId", "LEFT_JOIN"}},
         nullptr,
         "Machine",
         "HostName",
         1,
         {{30, 31, 32, "AND"}},
         {{31, "ProductType", "WinNT", "="}, {32, "OsVersion", "6.1", "LIKE"}},
         30,
         {"left", " and "},
         {"pc-1|Alpha", "pc-3|O'Brien \\ Sons"},
         "ProductType=WinNTANDOsVersionLIKE6.1",
         nullptr},
        {"an id in neither expression table gives no condition",
         {{"MachineId", nullptr, "Machine", nullptr}},
         {"Machine"},
         {},
         nullptr,
         "Machine",
         "MachineId",
         1,
         {},
         {},
         77,
         {},
         {"1", "2", "3"},
         "",
         "Invalid ID"},
        {"an expression that contains itself ends with a line and no condition",
         {{"MachineId", nullptr, "Machine", nullptr}},
         {"Machine"},
         {},
         nullptr,
         "Machine",
         "MachineId",
         1,
         {{40, 41, 42, "AND"}, {42, 41, 40, "OR"}},
         {{41, "HostName", "pc-1", "="}},
         40,
         {},
         {"1", "2", "3"},
         nullptr,
         "expression 40 of query 1 contains itself"},
        {"an expression that is its own child",
         {{"MachineId", nullptr, "Machine", nullptr}},
         {"Machine"},
         {},
         nullptr,
         "Machine",
         "MachineId",
         1,
         {{50, 50, 50, "AND"}},
         {},
         50,
         {},
         {"1", "2", "3"},
         nullptr,
         "expression 50 of query 1 contains itself"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* table : kQueryTables)
            Exec(std::string("delete from ") + table);
        Exec("insert into QueryDetails (QUERY_ID, DESCRIPTION) values (1, " + Literal(c.what) + ")");
        int id = 0;
        for (const Column& column : c.columns) {
            id++;
            Exec("insert into ColumnDetails (COLUMN_ID, COLUMNNAME, COLUMNALIAS, TABLENAME, FUNCTIONNAME) values (" +
                 std::to_string(id) + ", " + Value(column.name) + ", " + Value(column.alias) + ", " +
                 Value(column.table) + ", " + Value(column.function) + ")");
            Exec("insert into QueryvsColumns (QUERY_ID, COLUMN_ID) values (1, " + std::to_string(id) + ")");
        }
        for (const char* table : c.tables) {
            id++;
            Exec("insert into TableDetails (TABLE_ID, TABLENAME) values (" + std::to_string(id) + ", " + Value(table) +
                 ")");
            Exec("insert into QueryvsTables (QUERY_ID, TABLE_ID) values (1, " + std::to_string(id) + ")");
        }
        for (const Join& join : c.joins) {
            id++;
            Exec("insert into JoinDetails (JOIN_ID, BASETABLENAME, REFTABLENAME, BASETABLECOLUMN, REFTABLECOLUMN, "
                 "JOINTYPE) values (" +
                 std::to_string(id) + ", " + Value(join.base) + ", " + Value(join.reference) + ", " +
                 Value(join.column) + ", " + Value(join.column) + ", " + Value(join.type) + ")");
            Exec("insert into QueryvsJoins (QUERY_ID, JOIN_ID) values (1, " + std::to_string(id) + ")");
        }
        if (c.groupBy) {
            Exec("insert into GroupByDetails (GB_ID, TABLENAME, COLUMNNAME) values (1, 'Site', " + Value(c.groupBy) +
                 ")");
            Exec("insert into QueryvsGB (QUERY_ID, GB_ID) values (1, 1)");
        }
        if (c.sortColumn) {
            Exec("insert into SortDetails (SORT_ID, TABLENAME, COLUMNNAME, SORTTYPE) values (1, " + Value(c.sortTable) +
                 ", " + Value(c.sortColumn) + ", " + std::to_string(c.sortType) + ")");
            Exec("insert into QueryvsSort (QUERY_ID, SORT_ID) values (1, 1)");
        }
        for (const Boolean& b : c.booleans)
            Exec("insert into BooleanExp (B_ID, LEXPRESSION, REXPRESSION, OPERATOR) values (" + std::to_string(b.id) +
                 ", " + std::to_string(b.left) + ", " + std::to_string(b.right) + ", " + Value(b.op) + ")");
        for (const Relation& r : c.relations)
            Exec("insert into RelationalExp (R_ID, LIDENTIFIER, RIDENTIFIER, OPERATOR) values (" +
                 std::to_string(r.id) + ", " + Value(r.column) + ", " + Value(r.value) + ", " + Value(r.op) + ")");
        if (c.root)
            Exec("insert into QueryvsCriteria (QUERY_ID, B_ID) values (1, " + std::to_string(c.root) + ")");

        std::unique_ptr<char, decltype(&std::free)> statement(GetStoredQueryStatement(1), &std::free);
        ASSERT_NE(statement, nullptr);
        std::string text = statement.get();
        for (const char* fragment : c.inStatement)
            EXPECT_NE(strcasestr(text.c_str(), fragment), nullptr) << fragment << " in " << text;
        if (!c.root || !c.criteria || !*c.criteria) {
            EXPECT_EQ(strcasestr(text.c_str(), " where "), nullptr) << text;
        }
        auto rows = db().Query(text);
        ASSERT_TRUE(rows.has_value()) << text << ": " << db().LastError();
        std::vector<std::string> got;
        for (const auto& row : *rows) {
            std::string joined;
            for (size_t i = 0; i < row.size(); i++)
                joined += (i ? "|" : "") + row[i].value_or("NULL");
            got.push_back(joined);
        }
        if (c.groupBy) { // aggregate columns come back as the engine writes numbers
            for (std::string& row : got)
                row = row.substr(0, row.find('|') + 2);
        }
        EXPECT_EQ(got, c.rows) << text;

        std::unique_ptr<char, decltype(&std::free)> criteria(GetStoredQueryCriteriaText(1), &std::free);
        if (c.criteria) {
            ASSERT_NE(criteria, nullptr);
            EXPECT_STREQ(criteria.get(), c.criteria);
        } else {
            EXPECT_EQ(criteria, nullptr);
        }
        if (c.logged) {
            EXPECT_TRUE(Logged(c.logged)) << c.logged;
        }
        EXPECT_EQ(GenerateStoredQuery(1), VELMORA_SUCCESS);
    }

    // Every stored query runs on the engine; one that cannot be generated
    // (an unknown join type) fails the whole run but not the others.
    EXPECT_EQ(RunAllStoredQueries(), VELMORA_SUCCESS);
    Exec("insert into QueryDetails (QUERY_ID) values (2)");
    Exec("insert into JoinDetails (JOIN_ID, BASETABLENAME, REFTABLENAME, BASETABLECOLUMN, REFTABLECOLUMN, JOINTYPE) "
         "values (90, 'Site', 'Machine', 'SiteId', 'SiteId', 'CROSS')");
    Exec("insert into QueryvsJoins (QUERY_ID, JOIN_ID) values (2, 90)");
    EXPECT_EQ(GetStoredQueryStatement(2), nullptr);
    EXPECT_TRUE(Logged("Join 90 of query 2 has the unknown JOINTYPE CROSS"));
    EXPECT_EQ(RunAllStoredQueries(), VELMORA_FAILURE);
    EXPECT_TRUE(Logged("stored query 2 cannot be run"));

    // The example's default data holds three queries that all run.
    for (const char* table : kQueryTables)
        Exec(std::string("delete from ") + table);
    ASSERT_EQ(SaveDataInXML(TW_EXAMPLES_DATA "/stored_queries_data.xml"), VELMORA_SUCCESS);
    EXPECT_EQ(RunAllStoredQueries(), VELMORA_SUCCESS);
    const std::vector<std::string> expected[] = {{"Alpha|2", "O'Brien \\ Sons|1"}, {"pc-3|NULL", "pc-1|NULL"}, {}};
    for (int id = 1; id <= 3; id++) {
        std::unique_ptr<char, decltype(&std::free)> statement(GetStoredQueryStatement(id), &std::free);
        ASSERT_NE(statement, nullptr) << id;
        auto rows = db().Query(statement.get());
        ASSERT_TRUE(rows.has_value()) << statement.get() << ": " << db().LastError();
        std::vector<std::string> got;
        for (const auto& row : *rows)
            got.push_back(row[0].value_or("NULL") + "|" + row[1].value_or("NULL").substr(0, 4));
        EXPECT_EQ(got, expected[id - 1]) << statement.get();
    }
}

} // namespace

TW_INSTANTIATE_ENGINE_TESTS(StoredQueryOnEngine, tw::engines::Engine::sqlite, tw::engines::Engine::postgresql,
                            tw::engines::Engine::mariadb);
