// The ODBC provider on the real drivers: one body per engine (SQLite3,
// psqlODBC, MariaDB Connector/ODBC), plus the driver-free rules.
#include <dirent.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "engine_test.h"
#include "fault_injection.h"
#include "odbc_setup.h"
#include "store_registries.h"
#include "temp_dir.h"
#include "runtime/log.h"
#include "velmora/odbc_provider.h"
#include "velmora/sql_dialect.h"
#include "velmora/table_defn.h"

using namespace odbc_setup;
using tw::engines::Engine;

namespace {

struct ResultDeleter {
    void operator()(DBResultSet* resultSet) const { FreeDBResultSet(resultSet); }
};
using ResultPtr = std::unique_ptr<DBResultSet, ResultDeleter>;

struct ConnectionCloser {
    void operator()(DBConnection* connection) const
    {
        ODBCDisconnect(connection);
        FreeDBConnectionRecord(connection);
    }
};
using ConnectionPtr = std::unique_ptr<DBConnection, ConnectionCloser>;

int OpenFileCount()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir))
            count++;
        closedir(dir);
    }
    return count;
}

// The only value of a one-row, one-column query, as text; "<null>" for NULL.
std::string Scalar(DBConnection* connection, const std::string& query)
{
    ResultPtr result(ODBCExecuteQuery(connection, query.c_str()));
    if (!result || !NextDBResultRow(result.get()) || !result->firstRow->values)
        return "<failed>";
    const DBColumnValue* cell = result->cursor->values;
    if (!cell->value)
        return "<null>";
    char* text = ColumnValueToString(cell->value, cell->length, result->columns[0].type);
    std::string value = text ? text : std::string(static_cast<const char*>(cell->value), cell->length);
    free(text);
    return value;
}

class Odbc : public tw::engines::EngineTest {
protected:
    void SetUp() override
    {
        // The provider's error lines go to the test's output.
        InitLogDefaults();
        SetLogFilePtr(stderr);
        EngineTest::SetUp();
        std::string error;
        dsnEntry_ = DsnEntry(engine(), database_name(), "tw_" + std::string(EngineName(engine())), config_, &error);
        ASSERT_TRUE(dsnEntry_) << error;
        stringEntry_ = ConnectionStringEntry(engine(), database_name(), &error);
        ASSERT_TRUE(stringEntry_) << error;
    }
    ConnectionPtr Connect(const ConnParamsEntry* entry)
    {
        ConnectionPtr connection(ODBCConnect(entry));
        if (!connection)
            ADD_FAILURE() << "odbc.ini:\n" << ReadWholeFile(config_.odbcIni());
        return connection;
    }
    const char* BlobType() const
    {
        switch (engine()) {
        case Engine::postgresql:
            return "BYTEA";
        case Engine::mariadb:
            return "LONGBLOB";
        default:
            return "BLOB";
        }
    }
    const char* TextType() const { return engine() == Engine::mariadb ? "LONGTEXT" : "TEXT"; }

    PrivateOdbcConfig config_;
    EntryPtr dsnEntry_, stringEntry_;
};

// Both connection forms reach the database; closing one leaves the shared
// environment to the other; a thousand opens and closes leave no handle,
// socket or file open.
TEST_P(Odbc, ConnectionsShareOneEnvironmentAndLeaveNothingOpen)
{
    ConnectionPtr byDsn = Connect(dsnEntry_.get());
    ASSERT_TRUE(byDsn);
    ConnectionPtr byString = Connect(stringEntry_.get());
    ASSERT_TRUE(byString);
    EXPECT_STREQ(byDsn->connectionName, "main");
    EXPECT_STREQ(byString->connectionName, "second");
    ASSERT_EQ(ODBCExecuteUpdate(byDsn.get(), "CREATE TABLE t (id INTEGER)"), 1);
    ASSERT_EQ(ODBCExecuteUpdate(byString.get(), "INSERT INTO t VALUES (7)"), 1);
    byDsn.reset();
    EXPECT_NE(gv_odbcEnv, nullptr);
    EXPECT_EQ(ODBCExecuteUpdate(byString.get(), "INSERT INTO t VALUES (8)"), 1);
    EXPECT_EQ(Scalar(byString.get(), "SELECT SUM(id) FROM t"), "15");
    // An update that matches nothing is no failure; a bad statement is.
    EXPECT_EQ(ODBCExecuteUpdate(byString.get(), "DELETE FROM t WHERE id = 99"), 1);
    EXPECT_EQ(ODBCExecuteUpdate(byString.get(), "INSERT INTO no_such_table VALUES (1)"), 0);
    EXPECT_EQ(ODBCExecuteQuery(byString.get(), "SELECT nothing FROM no_such_table"), nullptr);
    byString.reset();
    EXPECT_EQ(gv_odbcEnv, nullptr);

    EntryPtr missing(
        CreateConnParamsEntry("odbc", 1, "tw_missing", nullptr, nullptr, 0, "x", 0, nullptr, "ODBC", "SQLITE"));
    EXPECT_EQ(ODBCConnect(missing.get()), nullptr);
    EXPECT_EQ(ODBCConnect(nullptr), nullptr);
    EXPECT_EQ(gv_odbcEnv, nullptr);

    // The driver's first connection loads what it keeps for good.
    Connect(stringEntry_.get()).reset();
    int files = OpenFileCount();
    for (int i = 0; i < 1000; i++) {
        ConnectionPtr connection = Connect(i % 2 ? dsnEntry_.get() : stringEntry_.get());
        ASSERT_TRUE(connection) << "open " << i;
        if (i % 100 == 0) {
            ASSERT_EQ(Scalar(connection.get(), "SELECT COUNT(*) FROM t"), "2") << "open " << i;
        }
    }
    EXPECT_EQ(OpenFileCount(), files);
    EXPECT_EQ(gv_odbcEnv, nullptr);
}

// Every column kind through the provider into a result set and through the
// engine's dialect back into rows equal to the rows that went in: NULLs,
// both booleans, a leap day, times, a 1 MB text.
TEST_P(Odbc, ValuesRoundTripThroughProviderAndDialect)
{
    InitTableDefnVector();
    InitSqlDialects();
    ASSERT_EQ(RegisterAllSqlDialects(), 1);
    const SqlDialect* dialect = GetSqlDialect(DialectName(engine()));
    ASSERT_NE(dialect, nullptr);
    struct Kind {
        const char* name;
        uint8_t type;
        int32_t size;
    };
    const std::vector<Kind> kinds = {
        {"Id", BRI_SQL_INT, 0},        {"Big", BRI_SQL_BIGINT, 0},     {"Small", BRI_SQL_SMALLINT, 0},
        {"Ratio", BRI_SQL_DOUBLE, 0},  {"Code", BRI_SQL_CHAR, 4},      {"Name", BRI_SQL_VARCHAR, 40},
        {"Flag", BRI_SQL_BOOLEAN, 0},  {"Day", BRI_SQL_DATE, 0},       {"At", BRI_SQL_TIME, 0},
        {"Seen", BRI_SQL_DATETIME, 0}, {"Note", BRI_SQL_TEXT, 2000000}};
    LCDVector* columns = CreateVector();
    for (const Kind& kind : kinds)
        AddElementData(columns,
                       CreateColumnDefn(kind.name, kind.type, nullptr, 0, 0, nullptr, nullptr, kind.size,
                                        kind.name == kinds[0].name ? 0 : 1, nullptr));
    char** key = static_cast<char**>(calloc(2, sizeof(char*)));
    key[0] = strdup("Id");
    ASSERT_EQ(AddTableDefn(CreateTableDefn("Kinds", nullptr, columns, CreateConstraintDefn(key, 1, nullptr))), 1);

    ConnectionPtr connection = Connect(dsnEntry_.get());
    ASSERT_TRUE(connection);
    char* create = dialect->GenCreateQuery("Kinds");
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(ODBCExecuteUpdate(connection.get(), create), 1) << create;
    free(create);
    // MySQL's "text" holds 64 KB: the 1 MB value needs MariaDB's long kind.
    if (engine() == Engine::mariadb) {
        ASSERT_EQ(ODBCExecuteUpdate(connection.get(), "ALTER TABLE Kinds MODIFY Note LONGTEXT"), 1);
    }

    std::string longText;
    for (int i = 0; longText.size() < 1000000; i++)
        longText += std::to_string(i) + " O'Brien \\ \"quoted\"\n";
    const std::vector<std::vector<const char*>> rows = {
        {"1", "-9000000000", "-32000", "0.25", "abcd",
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         "TRUE", "2024-02-29", "23:59:58", "2024-02-29 12:34:56", longText.c_str()},
        {"2", "0", "0", "-1.5", "x", "O'Brien", "FALSE", "1999-12-31", "00:00:01", "2000-01-01 00:00:00", ""},
        {"3", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    std::vector<RowObject*> originals;
    for (const auto& texts : rows) {
        auto** values = static_cast<void**>(calloc(kinds.size(), sizeof(void*)));
        auto* lengths = static_cast<int32_t*>(calloc(kinds.size(), sizeof(int32_t)));
        for (size_t i = 0; i < kinds.size(); i++)
            if (texts[i]) {
                ASSERT_EQ(AllocateAndCopyColumnValue(&values[i], &lengths[i], kinds[i].type, texts[i]), 1);
            }
        RowObject* row = CreateNewRowObject(values, lengths);
        originals.push_back(row);
        char* insert = dialect->GenInsertQuery("Kinds", row);
        ASSERT_NE(insert, nullptr);
        EXPECT_EQ(ODBCExecuteUpdate(connection.get(), insert), 1) << std::string(insert).substr(0, 300);
        free(insert);
    }

    ResultPtr result(ODBCExecuteQuery(connection.get(),
                                      "SELECT Id, Big, Small, Ratio, Code, Name, Flag, Day, At, Seen, Note FROM Kinds "
                                      "ORDER BY Id"));
    ASSERT_TRUE(result);
    ASSERT_EQ(result->columnCount, static_cast<int32_t>(kinds.size()));
    EXPECT_EQ(result->rowCount, 3);
    for (size_t i = 0; i < kinds.size(); i++)
        EXPECT_STRCASEEQ(result->columns[i].name, kinds[i].name);
    EXPECT_EQ(GetDBResultColumnType(result.get(), "Id"), BRI_SQL_INT);
    EXPECT_EQ(GetDBResultColumnType(result.get(), "Day"), engine() == Engine::sqlite ? BRI_SQL_VARCHAR : BRI_SQL_DATE);
    for (size_t r = 0; r < originals.size(); r++) {
        ASSERT_EQ(NextDBResultRow(result.get()), 1);
        RowObject* back = dialect->ConvResultsetToRowobject(result.get(), "Kinds");
        ASSERT_NE(back, nullptr) << "row " << r;
        for (size_t i = 0; i < kinds.size(); i++) {
            SCOPED_TRACE(std::string(kinds[i].name) + " of row " + std::to_string(r));
            char* want = ColumnValueToString(originals[r]->values[i], originals[r]->lengths[i], kinds[i].type);
            char* got = ColumnValueToString(back->values[i], back->lengths[i], kinds[i].type);
            ASSERT_TRUE(want && got);
            std::string wanted(want), gotten(got);
            if (kinds[i].type == BRI_SQL_CHAR) // CHAR(4) is padded with blanks
                gotten.erase(gotten.find_last_not_of(' ') + 1);
            if (wanted.size() > 100)
                EXPECT_TRUE(wanted == gotten) << "lengths " << wanted.size() << " and " << gotten.size();
            else
                EXPECT_EQ(wanted, gotten);
            free(want);
            free(got);
        }
        FreeRowObject(back, static_cast<int32_t>(kinds.size()));
    }
    for (RowObject* row : originals)
        FreeRowObject(row, static_cast<int32_t>(kinds.size()));
    FreeTableDefns();
    FreeSqlDialects();
}

// Commit keeps, rollback undoes, and after either the connection is back
// in autocommit: another connection sees what was committed.
TEST_P(Odbc, TransactionsCommitKeepsAndRollbackUndoes)
{
    ConnectionPtr connection = Connect(dsnEntry_.get());
    ConnectionPtr other = Connect(stringEntry_.get());
    ASSERT_TRUE(connection && other);
    ASSERT_EQ(ODBCExecuteUpdate(connection.get(), "CREATE TABLE t (id INTEGER)"), 1);
    ASSERT_EQ(ODBCBeginTransaction(connection.get()), 1);
    ASSERT_EQ(ODBCExecuteUpdate(connection.get(), "INSERT INTO t VALUES (1)"), 1);
    ASSERT_EQ(ODBCRollbackTransaction(connection.get()), 1);
    EXPECT_EQ(Scalar(connection.get(), "SELECT COUNT(*) FROM t"), "0");
    ASSERT_EQ(ODBCBeginTransaction(connection.get()), 1);
    ASSERT_EQ(ODBCExecuteUpdate(connection.get(), "INSERT INTO t VALUES (2)"), 1);
    ASSERT_EQ(ODBCExecuteUpdate(connection.get(), "INSERT INTO t VALUES (3)"), 1);
    ASSERT_EQ(ODBCCommitTransaction(connection.get()), 1);
    ASSERT_EQ(ODBCExecuteUpdate(connection.get(), "INSERT INTO t VALUES (4)"), 1); // autocommit again
    EXPECT_EQ(Scalar(other.get(), "SELECT SUM(id) FROM t"), "9");
    // A transaction left open is given up at disconnect, not leaked.
    ASSERT_EQ(ODBCBeginTransaction(connection.get()), 1);
    ASSERT_EQ(ODBCExecuteUpdate(connection.get(), "INSERT INTO t VALUES (100)"), 1);
    connection.reset();
    EXPECT_EQ(Scalar(other.get(), "SELECT SUM(id) FROM t"), "9");
}

// 10 MB go in through the chunk source and come back through the sink,
// byte for byte, in pieces of at most 1024 bytes.
TEST_P(Odbc, StreamedValuesOfTenMegabytesBothWays)
{
    ConnectionPtr connection = Connect(dsnEntry_.get());
    ASSERT_TRUE(connection);
    ASSERT_EQ(ODBCExecuteUpdate(connection.get(),
                                (std::string("CREATE TABLE files (id INTEGER, data ") + BlobType() + ")").c_str()),
              1);
    struct Source {
        std::string data;
        size_t at = 0;
    } source;
    source.data.resize(10 * 1024 * 1024);
    for (size_t i = 0; i < source.data.size(); i++)
        source.data[i] = static_cast<char>((i * 7 + i / 1024) & 0xFF); // zero bytes included
    auto give = [](const void** buffer, int32_t* length, void* context) -> int {
        auto* s = static_cast<Source*>(context);
        if (s->at == s->data.size())
            return DB_CHUNK_DONE;
        size_t piece = std::min<size_t>(65536 + 3, s->data.size() - s->at);
        *buffer = s->data.data() + s->at;
        *length = static_cast<int32_t>(piece);
        s->at += piece;
        return 1;
    };
    ASSERT_EQ(ODBCExecuteUpdateBlob(connection.get(), "INSERT INTO files (id, data) VALUES (1, ?)", give, &source), 1);
    struct Sink {
        std::string data;
        int ends = 0;
        int32_t largest = 0;
    } sink;
    auto take = [](const void* piece, int32_t length, void* context) -> int {
        auto* s = static_cast<Sink*>(context);
        if (!piece)
            s->ends++;
        else
            s->data.append(static_cast<const char*>(piece), static_cast<size_t>(length));
        s->largest = std::max(s->largest, length);
        return 1;
    };
    ASSERT_EQ(ODBCExecuteQueryBlob(connection.get(), "SELECT id, data FROM files", take, &sink), 1);
    EXPECT_EQ(sink.ends, 1);
    EXPECT_LE(sink.largest, 1024);
    EXPECT_EQ(sink.data.size(), source.data.size());
    EXPECT_TRUE(sink.data == source.data);
    // A source that gives up abandons the statement; the connection goes on.
    auto quit = [](const void**, int32_t*, void*) -> int { return 0; };
    EXPECT_EQ(ODBCExecuteUpdateBlob(connection.get(), "INSERT INTO files (id, data) VALUES (2, ?)", quit, nullptr), 0);
    EXPECT_EQ(Scalar(connection.get(), "SELECT COUNT(*) FROM files"), "1");
}

// A query that fails part-way (every allocation in turn, and the server
// ending the session) returns null and frees everything (the sanitizers
// see leaks); a lost session marks the connection for re-opening, a plain
// SQL error does not.
TEST_P(Odbc, FailuresFreeEverythingAndLostSessionsAreMarked)
{
    ConnectionPtr connection = Connect(dsnEntry_.get());
    ASSERT_TRUE(connection);
    ASSERT_EQ(ODBCExecuteUpdate(connection.get(), "CREATE TABLE t (id INTEGER, name VARCHAR(20))"), 1);
    ASSERT_EQ(ODBCExecuteUpdate(connection.get(), "INSERT INTO t VALUES (1, 'a'), (2, NULL), (3, 'ccc')"), 1);
    long calls = ForEveryAllocationFailure([&](long n, bool& fired) {
        ResultPtr result;
        {
            FailingAllocations faults(n);
            result.reset(ODBCExecuteQuery(connection.get(), "SELECT id, name FROM t ORDER BY id"));
            fired = faults.fired();
        }
        if (!fired)
            EXPECT_TRUE(result && result->rowCount == 3);
        else
            EXPECT_FALSE(result);
    });
    EXPECT_GT(calls, 6);
    EXPECT_EQ(ODBCExecuteUpdate(connection.get(), "INSERT INTO missing VALUES (1)"), 0);
    EXPECT_EQ(IsDBConnectionMarkedForReopen(connection.get()), 0);
    if (engine() == Engine::sqlite)
        return; // no server to lose
    ConnectionPtr victim = Connect(stringEntry_.get());
    ASSERT_TRUE(victim);
    std::string id =
        Scalar(victim.get(), engine() == Engine::postgresql ? "SELECT pg_backend_pid()" : "SELECT CONNECTION_ID()");
    ASSERT_EQ(ODBCExecuteUpdate(connection.get(),
                                ((engine() == Engine::postgresql ? "SELECT pg_terminate_backend(" : "KILL ") + id +
                                 (engine() == Engine::postgresql ? ")" : ""))
                                    .c_str()),
              1);
    EXPECT_EQ(ODBCExecuteQuery(victim.get(), "SELECT id FROM t"), nullptr);
    EXPECT_EQ(IsDBConnectionMarkedForReopen(victim.get()), 1);
}

TW_INSTANTIATE_ENGINE_TESTS(Odbc, Engine::sqlite, Engine::postgresql, Engine::mariadb);

// --- Without a driver ------------------------------------------------------

TEST(OdbcRules, ConnectionStringsKeepEveryValueInItsAttribute)
{
    struct Case {
        const char *dsn, *user, *password, *provider, *expected;
    };
    const Case cases[] = {
        {"sales", "app", nullptr, "ODBC", "DSN=sales;UID=app;PWD=;Driver={ODBC}"},
        {"sales", nullptr, nullptr, nullptr, "DSN=sales;UID=;PWD=;"},
        {"sales", "app", "a;b=c", "SQLite3", "DSN=sales;UID=app;PWD={a;b=c};Driver={SQLite3}"},
        {"sales", "app", "x}y", "My {Driver}", "DSN=sales;UID=app;PWD={x}}y};Driver={My {Driver}}}"},
        {"sales", " app", "p", "ODBC", "DSN=sales;UID={ app};PWD=p;Driver={ODBC}"},
    };
    for (const Case& c : cases) {
        EntryPtr entry(
            CreateConnParamsEntry("n", 1, c.dsn, c.user, c.password, 0, "c", 0, nullptr, c.provider, "SQLITE"));
        char* text = BuildODBCConnectionString(entry.get());
        EXPECT_STREQ(text, c.expected);
        free(text);
    }
    EXPECT_EQ(BuildODBCConnectionString(nullptr), nullptr);
}

TEST(OdbcRules, SqlTypesMapToColumnTypes)
{
    const std::pair<int, uint8_t> cases[] = {
        {-5, BRI_SQL_BIGINT},
        {5, BRI_SQL_SMALLINT},
        {4, BRI_SQL_INT},
        {8, BRI_SQL_DOUBLE},
        {12, BRI_SQL_VARCHAR},
        {-1, BRI_SQL_BLOB},
        {9, BRI_SQL_DATE},
        {91, BRI_SQL_DATE},
        {92, BRI_SQL_TIME},
        {93, BRI_SQL_DATETIME},
        {-4, BRI_SQL_BLOB},
        {-6, BRI_SQL_BOOLEAN},
        {-7, BRI_SQL_BOOLEAN},
        {-9, 0},
        {101, 0},
        {12345, 0},
    };
    for (const auto& [sqlType, code] : cases)
        EXPECT_EQ(GetODBCColumnType(sqlType), code) << sqlType;
}

TEST(OdbcRules, DataSourcesComeFromTheListAndLeaveOutNull)
{
    PrivateOdbcConfig config;
    std::string list = config.dir().file("dsns.txt");
    WriteWholeFile(list,
                   "alpha NULL host1 app NULL db1 SQLite3\n"
                   "beta described host2 app secret db2   SQLite3\r\n"
                   "short words\n"
                   "gamma x;DSN=evil host app pw db SQLite3\n");
    EXPECT_EQ(CreateDSNFromFile(list.c_str()), 1);
    std::string ini = ReadWholeFile(config.odbcIni());
    EXPECT_NE(ini.find("[alpha]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[beta]"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("[gamma]"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("evil"), std::string::npos) << ini;
    size_t alpha = ini.find("[alpha]"), beta = ini.find("[beta]");
    std::string alphaPart = ini.substr(alpha, beta > alpha ? beta - alpha : std::string::npos);
    EXPECT_EQ(alphaPart.find("DESCRIPTION"), std::string::npos) << alphaPart;
    EXPECT_EQ(alphaPart.find("PWD"), std::string::npos) << alphaPart;
    EXPECT_NE(ini.find("secret"), std::string::npos);
    EXPECT_EQ(CreateDSN(nullptr, "d", "s", "u", "p", "db", "SQLite3"), 0);
    EXPECT_EQ(CreateDSN("x", "d", "s", "u", "p", "db", nullptr), 0);
    EXPECT_EQ(CreateDSNFromFile(config.dir().file("absent.txt").c_str()), 0);
}

} // namespace
