// Select statements: joins, condition trees printed as they group, paging
// per dialect, literals per dialect, BETWEEN bounds as data, bad input,
// large selects and every allocation failure.
#include "fault_injection.h"
#include "log_capture.h"
#include "sql_fixture.h"

using namespace sql_fixture;

namespace {

class SelectStatements : public SqlTest {
protected:
    QueryPtr query_{CreateSelectQuery()};
    SelectQuery* q() { return query_.get(); }
};

TEST_F(SelectStatements, TwoJoinsPrintTheBaseTableOnlyOnce)
{
    CreateAndAddSelectColumn(q(), nullptr, "m", "Name", "host", 0, BRI_SQL_VARCHAR, 0);
    CreateAndAddSelectColumn(q(), "Site", nullptr, "Id", nullptr, 0, BRI_SQL_INT, QUERY_AGGREGATE_COUNT);
    CreateAndAddSelectColumn(q(), nullptr, nullptr, nullptr, nullptr, 0, BRI_SQL_INT, QUERY_AGGREGATE_COUNT);
    AddJoinToQuery(q(), "Machine", "m", "Site", "s", QUERY_INNER_JOIN, Columns(q(), {Col(q(), "SiteId")}),
                   Columns(q(), {Col(q(), "Id")}));
    AddJoinToQuery(q(), "Machine", "m", "Os", nullptr, QUERY_LEFT_JOIN,
                   Columns(q(), {Col(q(), "OsId"), Col(q(), "Build")}),
                   Columns(q(), {Col(q(), "Id"), Col(q(), "Build")}));
    FromTable(q(), "Extra", "e");
    const char* tail = " inner join  Site %ss  on m.SiteId = s.Id  left join  Os  on m.OsId = Os.Id and "
                       "m.Build = Os.Build ,Extra%se \n";
    char mysql[256], firebird[256];
    snprintf(mysql, sizeof mysql, tail, "as ", " as ");
    snprintf(firebird, sizeof firebird, tail, "", " ");
    std::string head = "select m.Name as host , COUNT(Site.Id), COUNT(*) \nfrom ";
    EXPECT_EQ(Take(MysqlGenSelectQuery(q())), head + " Machine as m " + mysql);
    EXPECT_EQ(Take(FirebirdGenSelectQuery(q())), head + " Machine m " + firebird);
}

TEST_F(SelectStatements, ConditionTreesArePrintedAsTheyGroup)
{
    FromTable(q(), "T");
    // (x = 1 OR y = 2) AND z = 3, then x = 1 OR (y = 2 AND z = 3).
    QueryCondition* left = CreateConditionAnd(
        CreateConditionOr(IntLeaf(q(), "x", QUERY_OP_EQUAL, 1), IntLeaf(q(), "y", QUERY_OP_EQUAL, 2), q()->pool),
        IntLeaf(q(), "z", QUERY_OP_EQUAL, 3), q()->pool);
    QueryCondition* right = CreateConditionOr(
        IntLeaf(q(), "x", QUERY_OP_EQUAL, 1),
        CreateConditionAnd(IntLeaf(q(), "y", QUERY_OP_EQUAL, 2), IntLeaf(q(), "z", QUERY_OP_EQUAL, 3), q()->pool),
        q()->pool);
    for (const Dialect& d : kDialects) {
        SetCriteria(q(), left);
        EXPECT_EQ(Take(d.select(q())), "select * from T\nwhere ((x =  1  OR y =  2 ) AND z =  3 )") << d.name;
        SetCriteria(q(), right);
        EXPECT_EQ(Take(d.select(q())), "select * from T\nwhere (x =  1  OR (y =  2  AND z =  3 ))") << d.name;
    }
    // The condition alone, from the query's pool.
    EXPECT_STREQ(MysqlGenerateCriteriaStr(right, q()->pool), "(x =  1  OR (y =  2  AND z =  3 ))");
}

TEST_F(SelectStatements, PagingInEachDialect)
{
    FromTable(q(), "T");
    struct Case {
        int32_t limit, offset;
        const char* mysql;
        const char* pgsql; // SQLite writes the same
        const char* firebird;
    } cases[] = {
        {10, 20, "select * from T\nlimit 20 , 10", "select * from T\nlimit 10 offset 20",
         "select first 10 skip 20  * from T\n"},
        {10, 0, "select * from T\nlimit 10", "select * from T\nlimit 10", "select first 10  * from T\n"},
        {0, 20, "select * from T\n", "select * from T\n", "select skip 20  * from T\n"},
        {5, 0, "select * from T\nlimit 5", "select * from T\nlimit 5", "select first 5  * from T\n"},
    };
    for (const Case& c : cases) {
        q()->limit = c.limit;
        q()->offset = c.offset;
        EXPECT_EQ(Take(MysqlGenSelectQuery(q())), c.mysql);
        EXPECT_EQ(Take(PgsqlGenSelectQuery(q())), c.pgsql);
        EXPECT_EQ(Take(SqliteGenSelectQuery(q())), c.pgsql);
        EXPECT_EQ(Take(FirebirdGenSelectQuery(q())), c.firebird);
    }
    CreateAndAddSelectColumn(q(), nullptr, nullptr, "a", nullptr, 0, BRI_SQL_INT, 0);
    EXPECT_EQ(Take(FirebirdGenSelectQuery(q())), "select first 5 a \nfrom T\n");
}

TEST_F(SelectStatements, ConditionLiteralsMatchTheDialectsColumns)
{
    FromTable(q(), "T", "t");
    bool yes = true;
    BriDate date{2024, 1, 2};
    QueryCondition* tree = CreateConditionAnd(
        CreateConditionAnd(TextLeaf(q(), "name", QUERY_OP_EQUAL, R"(O'Brien\)"),
                           Leaf(q(), Col(q(), "on", BRI_SQL_BOOLEAN, nullptr, "t"), QUERY_OP_EQUAL, &yes, 1),
                           q()->pool),
        Leaf(q(), Col(q(), "day", BRI_SQL_DATE), QUERY_OP_GREATER_EQUAL, &date, sizeof date), q()->pool);
    SetCriteria(q(), tree);
    struct Case {
        const Dialect& dialect;
        const char* where;
    } cases[] = {
        {kMysql, R"(((name =  'O''Brien\\'  AND  t.on =  1 ) AND day >=  '2024-01-02' ))"},
        {kPgsql, R"(((name =  'O''Brien\'  AND  t.on =  't' ) AND day >=  '2024-01-02' ))"},
        {kSqlite, R"(((name =  'O''Brien\'  AND  t.on =  1 ) AND day >=  '2024-01-02' ))"},
        {kFirebird, R"(((name =  'O''Brien\'  AND  t.on =  1 ) AND day >=  '2024-01-02' ))"},
    };
    for (const Case& c : cases) {
        std::string from = c.dialect.name == std::string("FIREBIRD") ? "T t \n" : "T as t \n";
        EXPECT_EQ(Take(c.dialect.select(q())), "select * from " + from + "where " + c.where) << c.dialect.name;
    }
}

TEST_F(SelectStatements, BetweenBoundsAreData)
{
    FromTable(q(), "T");
    struct Case {
        uint8_t type;
        const char* value;
        const char* where; // null: refused
    } cases[] = {
        {BRI_SQL_INT, "1 and 5", "c BETWEEN  1 and 5 "},
        {BRI_SQL_INT, "-3 AND +7", "c BETWEEN  -3 and 7 "},
        {BRI_SQL_VARCHAR, "'a' and 'b''c and d'", "c BETWEEN  'a' and 'b''c and d' "},
        {BRI_SQL_VARCHAR, "'x''); drop table T; --' and z", "c BETWEEN  'x''); drop table T; --' and 'z' "},
        {BRI_SQL_VARCHAR, "x'); drop table T; -- and z", nullptr}, // unbalanced quote
        {BRI_SQL_INT, "1 and 5; drop table T", nullptr},
        {BRI_SQL_INT, "1 or 5", nullptr},
        {BRI_SQL_INT, "", nullptr},
    };
    for (const Case& c : cases) {
        SetCriteria(q(), TextLeaf(q(), "c", QUERY_OP_BETWEEN, c.value, c.type));
        EXPECT_EQ(Take(PgsqlGenSelectQuery(q())), c.where ? std::string("select * from T\nwhere ") + c.where : "<null>")
            << c.value;
    }
}

TEST_F(SelectStatements, GroupByHavingAndSort)
{
    FromTable(q(), "T");
    QueryColumn* counted =
        CreateListColumn("T", nullptr, "id", nullptr, 0, BRI_SQL_INT, QUERY_AGGREGATE_COUNT, q()->pool);
    int32_t two = 2;
    SetGroupBy(
        q(),
        CreateGroupByClause(Columns(q(),
                                    {Col(q(), "site", BRI_SQL_INT, "T"),
                                     CreateListColumn(nullptr, nullptr, "os", "o", 0, BRI_SQL_INT, 0, q()->pool)}),
                            Leaf(q(), counted, QUERY_OP_GREATER, &two, 4), q()->pool));
    SetSort(q(), CreateSortClause(Columns(q(), {Col(q(), "site", BRI_SQL_INT, "T")}), 0, q()->pool));
    EXPECT_EQ(Take(SqliteGenSelectQuery(q())),
              "select * from T\ngroup by T.site,o\nhaving  COUNT(T.id)  >  2 order by T.site  desc ");
}

TEST_F(SelectStatements, BadInputIsRefusedWithItsMessage)
{
    LogCapture log;
    EXPECT_EQ(MysqlGenSelectQuery(nullptr), nullptr);
    EXPECT_EQ(Take(MysqlGenSelectQuery(q())), "<null>"); // no tables
    struct Case {
        const char* message;
        void (*spoil)(SelectQuery*);
    } cases[] = {
        {"Invalid Join Type",
         [](SelectQuery* s) { AddJoinToQuery(s, "A", nullptr, "B", nullptr, 2, nullptr, nullptr); }},
        {"Invalid Aggregate Type",
         [](SelectQuery* s) {
             FromTable(s, "T");
             QueryColumn* c = CreateQueryColumn(nullptr, nullptr, "a", nullptr, 0, BRI_SQL_INT, 1, s->pool);
             c->aggregate = 9;
             AddSelectColumn(s, c);
         }},
        {"Invalid Operator",
         [](SelectQuery* s) {
             FromTable(s, "T");
             QueryCondition* leaf = IntLeaf(s, "a", QUERY_OP_EQUAL, 1);
             leaf->op = 12;
             SetCriteria(s, leaf);
         }},
        {"Unsupported Datatype Used in Query generation.",
         [](SelectQuery* s) {
             FromTable(s, "T");
             QueryCondition* leaf = IntLeaf(s, "a", QUERY_OP_EQUAL, 1);
             leaf->column->type = 40;
             SetCriteria(s, leaf);
         }},
        {"Empty Condition Assigned",
         [](SelectQuery* s) {
             FromTable(s, "T");
             QueryCondition* node =
                 CreateConditionAnd(IntLeaf(s, "a", QUERY_OP_EQUAL, 1), IntLeaf(s, "b", QUERY_OP_EQUAL, 1), s->pool);
             node->right = nullptr;
             SetCriteria(s, node);
         }},
    };
    for (const Case& c : cases) {
        QueryPtr spoiled(CreateSelectQuery());
        c.spoil(spoiled.get());
        for (const Dialect& d : kDialects)
            EXPECT_EQ(Take(d.select(spoiled.get())), "<null>") << c.message << " " << d.name;
    }
    std::string all;
    for (const std::string& line : log.Lines())
        all += line + "\n";
    for (const char* message : {"No Tables To Be Selected", "Invalid Join Type", "Invalid Aggregate Type",
                                "Invalid Operator", "Unsupported Datatype", "Empty Condition Assigned"})
        EXPECT_NE(all.find(message), std::string::npos) << message;
}

TEST_F(SelectStatements, AThousandColumnsAndAMegabyteValueAreGeneratedWhole)
{
    std::string expected = "select ";
    for (int i = 0; i < 1000; i++) {
        std::string name = "column_" + std::to_string(i);
        CreateAndAddSelectColumn(q(), nullptr, nullptr, name.c_str(), nullptr, 0, BRI_SQL_INT, 0);
        expected += name + (i < 999 ? "," : " \n");
    }
    FromTable(q(), "T");
    std::string big(1 << 20, '\'');
    SetCriteria(q(), TextLeaf(q(), "c", QUERY_OP_EQUAL, big.c_str()));
    expected += "from T\nwhere c =  '" + std::string(2 << 20, '\'') + "' ";
    EXPECT_EQ(Take(MysqlGenSelectQuery(q())), expected);
}

TEST_F(SelectStatements, EveryAllocationFailureGivesNull)
{
    CreateAndAddSelectColumn(q(), nullptr, "m", "Name", nullptr, 0, BRI_SQL_VARCHAR, 0);
    AddJoinToQuery(q(), "Machine", "m", "Site", "s", QUERY_INNER_JOIN, Columns(q(), {Col(q(), "SiteId")}),
                   Columns(q(), {Col(q(), "Id")}));
    SetCriteria(
        q(),
        CreateConditionOr(TextLeaf(q(), "Name", QUERY_OP_LIKE, "a%"), IntLeaf(q(), "Id", QUERY_OP_LESS, 3), q()->pool));
    for (const Dialect& d : kDialects) {
        std::string expected = Take(d.select(q()));
        ASSERT_NE(expected, "<null>");
        ForEveryAllocationFailure([&](long n, bool& fired) {
            FailingAllocations fail(n);
            char* text = d.select(q());
            fired = fail.fired();
            EXPECT_EQ(Take(text), fired ? "<null>" : expected) << d.name << " failing allocation " << n;
        });
    }
}

} // namespace
