// The database layer on SQLite, PostgreSQL and MariaDB through the ODBC
// provider: the example dictionary's tables created, pools handing out
// their own sessions, and pools that outlive a server restart.
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "db_engine_support.h"
#include "log_capture.h"
#include "temp_dir.h"
#include "velmora/data_dictionary.h"
#include "velmora/sql_dialect.h"
#include "velmora/table_defn.h"

using namespace db_engine;

namespace {

class DBOnEngine : public tw::engines::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        layer_ = std::make_unique<DBLayer>();
        ASSERT_TRUE(AddEngineEntry(engine(), database_name(), "inv"));
    }
    void TearDown() override
    {
        layer_.reset();
        EngineTest::TearDown();
    }
    std::unique_ptr<DBLayer> layer_;
};

std::vector<std::string> TableNames()
{
    std::vector<std::string> names;
    for (LCDNode* node = gv_tableDefns.head; node != nullptr; node = node->next)
        names.emplace_back(static_cast<TableDefn*>(node->data)->name);
    return names;
}

TEST_P(DBOnEngine, CreateAllTablesMakesTheDictionaryAndStopsAtAnExistingTable)
{
    InitTableDefnVector();
    InitSqlDialects();
    ASSERT_EQ(RegisterAllSqlDialects(), VELMORA_SUCCESS);
    ASSERT_EQ(LoadDataDictFiles(TW_EXAMPLES_DATA), VELMORA_SUCCESS);
    std::vector<std::string> tables = TableNames();
    ASSERT_GE(tables.size(), 2u);
    gv_dsnMapValid = 0;
    gv_defaultDBType = DBTypeOf(engine());
    ASSERT_EQ(EstablishDBConnections(), VELMORA_SUCCESS);

    EXPECT_EQ(CreateAllTables(), VELMORA_SUCCESS);
    DBConnection* connection = GetDBConnection("inv");
    ASSERT_NE(connection, nullptr);
    for (const std::string& table : tables)
        EXPECT_EQ(QueryNumber(connection, "select count(*) from " + table), 0) << table;

    // With the first table in place the run fails there: the last table
    // (which no other refers to), dropped meanwhile, is not made again.
    const std::string& last = tables.back();
    ASSERT_TRUE(db().Execute("drop table " + last)) << db().LastError();
    EXPECT_EQ(CreateAllTables(), VELMORA_FAILURE);
    EXPECT_FALSE(db().Query("select count(*) from " + last).has_value()) << last << " was created";
    EXPECT_EQ(CreateTableInDB(last.c_str(), "inv"), VELMORA_SUCCESS);
    EXPECT_EQ(QueryNumber(connection, "select count(*) from " + last), 0);
    ReleaseDBConnection("inv");

    FreeTableDefns();
    FreeSqlDialects();
    gv_defaultDBType = 0;
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

uint32_t g_now = 5000000;
uint32_t TestClock() { return g_now; }

TEST_P(DBOnEngine, EachThreadGetsItsOwnSessionAndOldOnesAreReopened)
{
    SetDBClock(TestClock);
    ASSERT_EQ(EstablishDBConnectionPool(3), VELMORA_SUCCESS);
    DBConnection* mine = GetDBConnection("inv");
    ASSERT_NE(mine, nullptr);
    ASSERT_EQ(ExecuteUpdate(mine, "create table owners (id int)"), VELMORA_SUCCESS);

    // A transaction on this thread's connection is not seen on another's.
    ASSERT_EQ(BeginDBTransaction(mine), VELMORA_SUCCESS);
    ASSERT_EQ(ExecuteUpdate(mine, "insert into owners values (1)"), VELMORA_SUCCESS);
    long long seenElsewhere = -2;
    DBConnection* other = nullptr;
    std::thread([&] {
        other = GetDBConnection("inv");
        // SQLite: the reader waits behind the writer's lock or sees the old
        // state; servers: the old state.
        if (other != nullptr && engine() != Engine::sqlite)
            seenElsewhere = QueryNumber(other, "select count(*) from owners");
        ReleaseDBConnection("inv");
    }).join();
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, mine);
    if (engine() != Engine::sqlite) {
        EXPECT_EQ(seenElsewhere, 0);
    }
    ASSERT_EQ(CommitDBTransaction(mine), VELMORA_SUCCESS);
    EXPECT_EQ(QueryNumber(mine, "select count(*) from owners"), 1);

    g_now += DB_CONNECTION_MAX_AGE;
    EXPECT_EQ(GetDBConnection("inv"), mine) << "at 27900 seconds the connection is kept";
    g_now += 1;
    DBConnection* fresh = GetDBConnection("inv");
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->openedAt, g_now);
    EXPECT_EQ(QueryNumber(fresh, "select count(*) from owners"), 1);
    EXPECT_EQ(ReleaseDBConnection("inv"), VELMORA_SUCCESS);
}

TW_INSTANTIATE_ENGINE_TESTS(DBOnEngine, Engine::sqlite, Engine::postgresql, Engine::mariadb);

// A private server of the engine, in a state folder of its own, so that
// stopping it touches no other test. A restart keeps its port and socket.
class PrivateServer {
public:
    explicit PrivateServer(Engine engine) : engine_(engine)
    {
        char pattern[] = "/tmp/twdb.XXXXXX"; // short: the socket path must stay short
        state_ = mkdtemp(pattern) ? pattern : "";
        // The PostgreSQL server runs as its own user and must reach the folder.
        if (!state_.empty())
            chmod(state_.c_str(), 0755);
    }
    ~PrivateServer()
    {
        Run("stop");
        if (!state_.empty())
            std::system(("rm -rf '" + state_ + "'").c_str());
    }
    bool Start(const std::string& port = "")
    {
        return Run("start", port.empty() ? "" : "TW_ENGINE_PORT=" + port + " ");
    }
    bool Stop() { return Run("stop"); }
    const std::string& state() const { return state_; }

private:
    bool Run(const std::string& action, const std::string& environment = "")
    {
        std::string command = environment + TW_SOURCE_DIR "/scripts/engines/" + tw::engines::EngineName(engine_) +
            ".sh " + action + " '" + state_ + "' >/dev/null 2>&1";
        return !state_.empty() && std::system(command.c_str()) == 0;
    }
    Engine engine_;
    std::string state_;
};

class DBServerRestart : public ::testing::TestWithParam<Engine> { };

// Pools of one (shared) and of three (owned) connections live through a
// server restart: while the server is down statements fail and requests get
// null, and the first request after it is back works.
TEST_P(DBServerRestart, PoolsReconnectAfterTheServerComesBack)
{
    Engine engine = GetParam();
    PrivateServer server(engine);
    ASSERT_TRUE(server.Start()) << "cannot start a private " << tw::engines::EngineName(engine);
    const char* saved = std::getenv("TW_ENGINE_STATE");
    std::string savedState = saved ? saved : "";
    setenv("TW_ENGINE_STATE", server.state().c_str(), 1);
    tw::engines::EngineFacts facts;
    std::string error;
    ASSERT_TRUE(ReadEngineFacts(engine, &facts, &error)) << error;
    std::string database = engine == Engine::postgresql ? "postgres" : "mysql";
    {
        LogCapture log; // the drivers' diagnostics, shown when a check fails
        DBLayer layer;
        // Pools: "one" of one connection, "many" of three.
        ASSERT_TRUE(AddEngineEntry(engine, database, "one"));
        ASSERT_EQ(EstablishDBConnections(), VELMORA_SUCCESS);
        ASSERT_TRUE(AddEngineEntry(engine, database, "many"));
        ASSERT_EQ(RemoveConnParamsEntry("one"), VELMORA_SUCCESS);
        ASSERT_EQ(EstablishDBConnectionPool(3), VELMORA_SUCCESS);
        ASSERT_TRUE(AddEngineEntry(engine, database, "one"));
        const char* pools[] = {"one", "many"};
        for (const char* pool : pools) {
            DBConnection* connection = GetDBConnection(pool);
            ASSERT_NE(connection, nullptr) << pool;
            EXPECT_EQ(QueryNumber(connection, "select 1"), 1) << pool;
        }

        ASSERT_TRUE(server.Stop());
        for (const char* pool : pools) {
            DBConnection* connection = GetDBConnection(pool);
            ASSERT_NE(connection, nullptr) << pool << ": not yet known to be lost";
            EXPECT_EQ(ExecuteUpdate(connection, "select 1"), VELMORA_FAILURE) << pool;
            EXPECT_TRUE(IsDBConnectionMarkedForReopen(connection)) << pool << "\n" << Joined(log.Lines());
            EXPECT_EQ(GetDBConnection(pool), nullptr) << pool << ": the server is down";
        }

        ASSERT_TRUE(server.Start(facts.Get("PORT"))) << "cannot restart on port " << facts.Get("PORT");
        for (const char* pool : pools) {
            DBConnection* connection = GetDBConnection(pool);
            ASSERT_NE(connection, nullptr) << pool;
            EXPECT_EQ(QueryNumber(connection, "select 1"), 1) << pool;
            EXPECT_EQ(ReleaseDBConnection(pool), VELMORA_SUCCESS) << pool;
        }
    }
    if (saved)
        setenv("TW_ENGINE_STATE", savedState.c_str(), 1);
    else
        unsetenv("TW_ENGINE_STATE");
}

INSTANTIATE_TEST_SUITE_P(Engines, DBServerRestart, ::testing::Values(Engine::postgresql, Engine::mariadb),
                         tw::engines::EngineInstanceName);

} // namespace
