// Create-table statements: the column lines of every type in each dialect,
// keys, foreign-key groups, defaults that are data, and refusals.
#include "fault_injection.h"
#include "log_capture.h"
#include "sql_fixture.h"

using namespace sql_fixture;

namespace {

class CreateTable : public SqlTest { };

TEST_F(CreateTable, KeyAndUniqueColumnsInEachDialect)
{
    Define("T", {{"id", BRI_SQL_INT, nullptr, 0, false, true}, {"name", BRI_SQL_VARCHAR, nullptr, 40, false, true}},
           {"id"});
    struct Case {
        const Dialect& dialect;
        const char* text;
    } cases[] = {
        {kMysql,
         "CREATE TABLE T(\n\tid int   NOT NULL UNIQUE,\n\tname varchar(40)   NOT NULL UNIQUE,\n"
         "\tPRIMARY KEY(id)\n) ENGINE=InnoDB;\n\n"},
        {kPgsql,
         "CREATE TABLE T(\n\tid int   NOT NULL UNIQUE,\n\tname varchar(41)   NOT NULL UNIQUE,\n"
         "\tPRIMARY KEY(id)\n);\n\n"},
        {kSqlite,
         "CREATE TABLE T(\n\tid int   NOT NULL UNIQUE,\n\tname varchar(40)   NOT NULL UNIQUE,\n"
         "\tPRIMARY KEY(id)\n);\n\n"},
        // A unique key column is unique already: Firebird refuses both.
        {kFirebird,
         "CREATE TABLE T(\n\tid int   NOT NULL,\n\tname varchar(40)   NOT NULL UNIQUE,\n"
         "\tPRIMARY KEY(id)\n);\n\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Take(c.dialect.create("t")), c.text) << c.dialect.name;
}

TEST_F(CreateTable, EveryColumnTypeInEachDialect)
{
    struct Case {
        uint8_t type;
        const char* defaultText;
        const char* mysql;
        const char* pgsql;
        const char* sqlite;
        const char* firebird;
    } cases[] = {
        {BRI_SQL_TINYINT, "-5", "c int DEFAULT -5", "c int DEFAULT -5", "c int DEFAULT -5", "c int DEFAULT -5"},
        {BRI_SQL_UNSIGNED_INT, "4000000000", "c int unsigned DEFAULT 4000000000", "c bigint DEFAULT 4000000000",
         "c int DEFAULT 4000000000", "c bigint DEFAULT 4000000000"},
        {BRI_SQL_BIGINT, "-9000000000", "c bigint DEFAULT -9000000000", "c bigint DEFAULT -9000000000",
         "c int DEFAULT -9000000000", "c bigint DEFAULT -9000000000"},
        {BRI_SQL_UNSIGNED_LONG_INT, nullptr, "c bigint unsigned  ", "c bigint  ", "c int  ", "c bigint  "},
        {BRI_SQL_FLOAT, "1.5", "c float DEFAULT 1.500000", "c real DEFAULT 1.500000", "c real DEFAULT 1.500000",
         "c float DEFAULT 1.500000"},
        {BRI_SQL_DOUBLE, nullptr, "c double  ", "c double precision  ", "c real  ", "c double precision  "},
        {BRI_SQL_VARCHAR, "O'Brien\\", "c varchar(40) DEFAULT 'O''Brien\\\\'", "c varchar(41) DEFAULT 'O''Brien\\'",
         "c varchar(40) DEFAULT 'O''Brien\\'", "c varchar(40) DEFAULT 'O''Brien\\'"},
        {BRI_SQL_DATE, nullptr, "c date", "c date", "c varchar(30)", "c date"},
        {BRI_SQL_TIME, nullptr, "c time", "c time", "c varchar(30)", "c time"},
        {BRI_SQL_DATETIME, nullptr, "c datetime", "c timestamp", "c varchar(30)", "c timestamp"},
        {BRI_SQL_BOOLEAN, "TRUE", "c tinyint DEFAULT 1 ", "c boolean DEFAULT 't' ", "c boolean DEFAULT 1 ",
         "c SMALLINT DEFAULT 1 "},
        {BRI_SQL_BOOLEAN, "FALSE", "c tinyint DEFAULT 0 ", "c boolean DEFAULT 'f' ", "c boolean DEFAULT 0 ",
         "c SMALLINT DEFAULT 0 "},
        {BRI_SQL_BLOB, nullptr, "c blob  ", nullptr, nullptr, nullptr},
        {BRI_SQL_TEXT, nullptr, "c text ", "c text ", "c text ", "c BLOB SUB_TYPE TEXT "},
        {BRI_SQL_DECIMAL, nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        Define("One", {{"c", c.type, c.defaultText}});
        const char* lines[] = {c.mysql, c.pgsql, c.sqlite, c.firebird};
        for (int i = 0; i < 4; i++) {
            const Dialect& d = kDialects[i];
            std::string tail = i == 0 ? "\n) ENGINE=InnoDB;\n\n" : "\n);\n\n";
            EXPECT_EQ(Take(d.create("One")),
                      lines[i] ? "CREATE TABLE One(\n\t" + std::string(lines[i]) + tail : "<null>")
                << d.name << " type " << int(c.type);
        }
        RemoveTableDefn("One");
    }
}

TEST_F(CreateTable, ForeignKeysGroupByReferenceTable)
{
    Define("Link", {{"a", BRI_SQL_INT}, {"b", BRI_SQL_INT}, {"c", BRI_SQL_INT}}, {},
           {{"a", "x", "Ref"}, {"b", "y", "ref"}, {"c", "x", "Ref"}});
    EXPECT_EQ(Take(MysqlGenCreateQuery("Link")),
              "CREATE TABLE Link(\n\ta int  ,\n\tb int  ,\n\tc int  ,\n"
              "\tFOREIGN KEY(a,b) REFERENCES Ref (x,y) ON DELETE CASCADE,\n\tINDEX Link_IDX0 (a,b),\n"
              "\tFOREIGN KEY(c) REFERENCES Ref (x) ON DELETE CASCADE,\n\tINDEX Link_IDX1 (c)\n) ENGINE=InnoDB;\n\n");
    // Without a key the last column line ends bare, before the keys' separator.
    EXPECT_EQ(Take(PgsqlGenCreateQuery("Link")),
              "CREATE TABLE Link(\n\ta int  ,\n\tb int  ,\n\tc int  ,\n"
              "\tFOREIGN KEY(a,b) REFERENCES Ref (x,y) ON DELETE CASCADE,\n"
              "\tFOREIGN KEY(c) REFERENCES Ref (x) ON DELETE CASCADE\n);\n\n");
    Define("Plain", {{"a", BRI_SQL_INT}});
    EXPECT_EQ(Take(SqliteGenCreateQuery("Plain")), "CREATE TABLE Plain(\n\ta int  \n);\n\n");
}

TEST_F(CreateTable, RefusalsAndAllocationFailures)
{
    LogCapture log;
    Define("Empty", {});
    Define("Decimal", {{"d", BRI_SQL_DECIMAL}});
    for (const Dialect& d : kDialects) {
        EXPECT_EQ(d.create(nullptr), nullptr);
        EXPECT_EQ(d.create("Nowhere"), nullptr);
        EXPECT_EQ(d.create("Empty"), nullptr);
        EXPECT_EQ(d.create("Decimal"), nullptr);
    }
    auto lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[ERROR] Unsupported Datatype Used in Query generation."),
              lines.end());

    Define("Full", {{"id", BRI_SQL_INT, "1"}, {"name", BRI_SQL_VARCHAR, "x'y"}, {"on", BRI_SQL_BOOLEAN, "TRUE"}},
           {"id"}, {{"id", "id", "Full"}});
    for (const Dialect& d : kDialects) {
        std::string expected = Take(d.create("Full"));
        ASSERT_NE(expected, "<null>");
        ForEveryAllocationFailure([&](long n, bool& fired) {
            FailingAllocations fail(n);
            char* text = d.create("Full");
            fired = fail.fired();
            EXPECT_EQ(Take(text), fired ? "<null>" : expected) << d.name << " failing allocation " << n;
        });
    }
}

} // namespace
