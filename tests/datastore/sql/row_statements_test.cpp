// Insert, update and delete statements of one row in each dialect: exact
// texts, values that try to be SQL, booleans as each engine's column holds
// them, key edge cases, bad input and every allocation failure.
#include <cmath>

#include "fault_injection.h"
#include "log_capture.h"
#include "sql_fixture.h"

using namespace sql_fixture;

namespace {

// Id INT key, Name VARCHAR(40), Active BOOLEAN, Seen DATETIME, Note TEXT.
TableDefn* DefineMachine()
{
    return Define("Machine",
                  {{"Id", BRI_SQL_INT},
                   {"Name", BRI_SQL_VARCHAR},
                   {"Active", BRI_SQL_BOOLEAN},
                   {"Seen", BRI_SQL_DATETIME},
                   {"Note", BRI_SQL_TEXT}},
                  {"Id"});
}

const char kHostile[] = R"(x\'); drop table Machine; --)";

class RowStatements : public SqlTest { };

TEST_F(RowStatements, ExactTextsWithHostileValuesInEveryDialect)
{
    TableDefn* table = DefineMachine();
    RowPtr row = Row(table, {"7", "O'Brien", "true", "2024-01-02 03:04:05", kHostile});
    struct Case {
        const Dialect& dialect;
        const char* insert;
        const char* update;
    } cases[] = {
        {kMysql,
         R"(insert into  Machine values(7,'O''Brien',1,'2024-01-02 03:04:05','x\\''); drop table Machine; --'))",
         R"(update Machine set Name='O''Brien',Active=1,Seen='2024-01-02 03:04:05',Note='x\\''); drop table Machine; --' where Id=7)"},
        {kPgsql,
         R"(insert into  Machine values(7,'O''Brien','1','2024-01-02 03:04:05','x\''); drop table Machine; --');)",
         R"(update Machine set Name='O''Brien',Active='t',Seen='2024-01-02 03:04:05',Note='x\''); drop table Machine; --' where Id=7)"},
        {kSqlite,
         R"(insert into  Machine values(7,'O''Brien',1,'2024-01-02 03:04:05','x\''); drop table Machine; --');)",
         R"(update Machine set Name='O''Brien',Active=1,Seen='2024-01-02 03:04:05',Note='x\''); drop table Machine; --' where Id=7)"},
        {kFirebird,
         R"(insert into  Machine values(7,'O''Brien',1,'2024-01-02 03:04:05','x\''); drop table Machine; --');)",
         R"(update Machine set Name='O''Brien',Active=1,Seen='2024-01-02 03:04:05',Note='x\''); drop table Machine; --' where Id=7)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dialect.name);
        EXPECT_EQ(Take(c.dialect.insert("Machine", row.get())), c.insert);
        EXPECT_EQ(Take(c.dialect.update("Machine", row.get())), c.update);
        EXPECT_EQ(Take(c.dialect.remove("Machine", row.get())), "delete from Machine  where Id=7");
    }
}

TEST_F(RowStatements, BooleansNullsAndKeyEdgeCases)
{
    TableDefn* log = Define("Log", {{"A", BRI_SQL_BOOLEAN}, {"B", BRI_SQL_VARCHAR}});
    TableDefn* pair = Define("Pair", {{"A", BRI_SQL_INT}, {"B", BRI_SQL_VARCHAR}, {"C", BRI_SQL_INT}}, {"A", "B"});
    RowPtr falseRow = Row(log, {"false", nullptr});
    RowPtr halfKey = Row(pair, {nullptr, "k", "5"});
    RowPtr noKey = Row(pair, {nullptr, nullptr, "5"});
    for (const Dialect& d : kDialects) {
        SCOPED_TRACE(d.name);
        bool pg = std::string(d.name) == "PGSQL";
        std::string close = std::string(d.name) == "MYSQL" ? ")" : ");";
        // A false boolean is 0 (quoted for PostgreSQL's boolean); NULL stays NULL.
        EXPECT_EQ(Take(d.insert("Log", falseRow.get())),
                  (pg ? "insert into  Log values('0',NULL" : "insert into  Log values(0,NULL") + close);
        // Without a primary key: no where clause, every row is meant.
        EXPECT_EQ(Take(d.update("Log", falseRow.get())),
                  pg ? "update Log set A='f',B=NULL" : "update Log set A=0,B=NULL");
        EXPECT_EQ(Take(d.remove("Log", falseRow.get())), "delete from Log ");
        // A NULL key column is left out of the update's key terms...
        EXPECT_EQ(Take(d.update("Pair", halfKey.get())), "update Pair set C=5 where B='k'");
        // ...but an update with no key term left would change every row.
        EXPECT_EQ(Take(d.update("Pair", noKey.get())), "<null>");
    }
}

TEST_F(RowStatements, ValuesWithoutALiteralAreRefused)
{
    TableDefn* table = Define(
        "Odd", {{"Id", BRI_SQL_INT}, {"D", BRI_SQL_DATE}, {"F", BRI_SQL_DOUBLE}, {"N", BRI_SQL_DECIMAL}}, {"Id"});
    struct Case {
        int column;
        std::string bytes;
        const char* why;
    } cases[] = {
        {1, std::string("\x01\x02", 2), "a date value too short for a date"},
        {2,
         [] {
             double nan = std::nan("");
             return std::string(reinterpret_cast<char*>(&nan), 8);
         }(),
         "NaN"},
        {3, "1; drop table Odd", "decimal text that is no number"},
    };
    LogCapture log;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        RowPtr row = Row(table, {"1", nullptr, nullptr, nullptr});
        row->values[c.column] = malloc(c.bytes.size() + 1);
        memcpy(row->values[c.column], c.bytes.c_str(), c.bytes.size() + 1);
        row->lengths[c.column] = static_cast<int32_t>(c.bytes.size());
        for (const Dialect& d : kDialects) {
            EXPECT_EQ(Take(d.insert("Odd", row.get())), "<null>") << d.name;
            EXPECT_EQ(Take(d.update("Odd", row.get())), "<null>") << d.name;
        }
    }
    auto lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[ERROR] Unsupported Datatype Used in Query generation."),
              lines.end());
    // A decimal that is a number is written bare.
    RowPtr row = Row(table, {"1", nullptr, nullptr, nullptr});
    row->values[3] = strdup("-12.50");
    row->lengths[3] = 6;
    EXPECT_EQ(Take(MysqlGenInsertQuery("Odd", row.get())), "insert into  Odd values(1,NULL,NULL,-12.50)");
}

TEST_F(RowStatements, BadInputGivesNullNeverACrash)
{
    TableDefn* table = DefineMachine();
    Define("Empty", {});
    RowPtr row = Row(table, {"1", "a", "true", nullptr, nullptr});
    RowObject hollow{};
    for (const Dialect& d : kDialects) {
        for (auto generate : {d.insert, d.update, d.remove}) {
            EXPECT_EQ(generate(nullptr, row.get()), nullptr) << d.name;
            EXPECT_EQ(generate("Nowhere", row.get()), nullptr) << d.name;
            EXPECT_EQ(generate("Empty", row.get()), nullptr) << d.name;
            EXPECT_EQ(generate("Machine", nullptr), nullptr) << d.name;
            EXPECT_EQ(generate("Machine", &hollow), nullptr) << d.name;
        }
    }
}

TEST_F(RowStatements, AMegabyteValueIsWrittenWhole)
{
    TableDefn* table = DefineMachine();
    std::string big(1 << 20, 'v');
    for (size_t i = 0; i < big.size(); i += 1000)
        big[i] = '\'';
    RowPtr row = Row(table, {"1", "n", "true", nullptr, big.c_str()});
    std::string quoted;
    for (char c : big)
        quoted += c == '\'' ? "''" : std::string(1, c);
    EXPECT_EQ(Take(SqliteGenInsertQuery("Machine", row.get())),
              "insert into  Machine values(1,'n',1,NULL,'" + quoted + "');");
}

TEST_F(RowStatements, EveryAllocationFailureGivesNull)
{
    TableDefn* table = DefineMachine();
    RowPtr row = Row(table, {"7", "O'Brien", "true", "2024-01-02 03:04:05", kHostile});
    for (const Dialect& d : kDialects) {
        for (auto generate : {d.insert, d.update, d.remove}) {
            std::string expected = Take(generate("Machine", row.get()));
            long calls = ForEveryAllocationFailure([&](long n, bool& fired) {
                FailingAllocations fail(n);
                char* text = generate("Machine", row.get());
                fired = fail.fired();
                EXPECT_EQ(Take(text), fired ? "<null>" : expected) << d.name << " failing allocation " << n;
            });
            EXPECT_GT(calls, 0);
        }
    }
}

} // namespace
