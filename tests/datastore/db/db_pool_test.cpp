// Pools: establishing them, hand-out by thread, the re-open of old and lost
// connections, shut-down; and the table creation that runs through them.
#include <thread>

#include "platform/thread.h"

#include "fake_provider.h"
#include "velmora/sql_dialect.h"
#include "velmora/table_defn.h"

using namespace fake_db;

namespace {

uint32_t g_now = 1000000;
uint32_t FakeClock() { return g_now; }

class DBPools : public FakeDBTest {
protected:
    void SetUp() override
    {
        FakeDBTest::SetUp();
        g_now = 1000000;
        SetDBClock(FakeClock);
    }
    // What another thread gets from the pool.
    static DBConnection* GetInOtherThread(const char* name)
    {
        DBConnection* got = nullptr;
        std::thread([&] { got = GetDBConnection(name); }).join();
        return got;
    }
};

TEST_F(DBPools, EstablishingPoolsNamesThemAndReportsFailures)
{
    LogCapture log;
    EXPECT_EQ(EstablishDBConnectionPool(3), VELMORA_FAILURE);
    EXPECT_TRUE(Logged(log, "There is no entry in data source vector"));

    AddEntry("inv");
    AddEntry("sales");
    ASSERT_EQ(EstablishDBConnections(), VELMORA_SUCCESS);
    ASSERT_EQ(gv_connPools.count, 2);
    EXPECT_STREQ(static_cast<DBConnectionPool*>(gv_connPools.head->data)->connectionName, "inv");
    EXPECT_TRUE(Logged(log, " sales : Connection Established"));
    EXPECT_EQ(GetDBConnection(nullptr), nullptr) << "with two pools a null name chooses none";
    EXPECT_EQ(GetDBConnection("INV"), nullptr) << "pool names match exactly";
    DBConnection* sales = GetDBConnection("sales");
    ASSERT_NE(sales, nullptr);
    EXPECT_STREQ(sales->connectionName, "sales");
    CloseAllDBConnections();
    EXPECT_EQ(gv_connPools.count, 0);
    EXPECT_EQ(state_.closes, 2);

    // A connection that cannot be opened stops EstablishDBConnections ...
    state_.failOpen = true;
    EXPECT_EQ(EstablishDBConnections(), VELMORA_FAILURE);
    EXPECT_TRUE(Logged(log, "Cannot establish connection."));
    CloseAllDBConnections();
    // ... and is left out of a pool: 0 asks for five, every other open fails.
    state_.failOpen = false;
    ASSERT_EQ(EstablishDBConnectionPool(0), VELMORA_SUCCESS);
    EXPECT_EQ(static_cast<DBConnectionPool*>(gv_connPools.head->data)->connections.count, 5);
    EXPECT_TRUE(Logged(log, " 4 : inv : Connection Established"));
}

TEST_F(DBPools, EachThreadOwnsOneConnectionAndAFullPoolSaysNoAtOnce)
{
    AddEntry("inv");
    ASSERT_EQ(EstablishDBConnectionPool(2), VELMORA_SUCCESS);
    DBConnection* mine = GetDBConnection(nullptr);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(GetDBConnection("inv"), mine) << "asking again gives the thread its own connection";

    DBConnection* second = nullptr;
    DBConnection* third = nullptr;
    std::thread([&] {
        second = GetDBConnection("inv");
        // A thread that holds nothing of a full pool gets null, without waiting.
        std::thread([&] { third = GetDBConnection("inv"); }).join();
        EXPECT_EQ(ReleaseDBConnection("inv"), VELMORA_SUCCESS);
        EXPECT_EQ(ReleaseDBConnection("inv"), VELMORA_FAILURE) << "nothing left to release";
    }).join();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, mine);
    EXPECT_EQ(third, nullptr);
    EXPECT_EQ(GetInOtherThread("inv"), second) << "released, it is free for the next thread";

    EXPECT_EQ(ReleaseDBConnection(nullptr), VELMORA_SUCCESS);
    EXPECT_EQ(mine->owner, DB_CONNECTION_FREE);
    EXPECT_EQ(ReleaseDBConnection("nowhere"), VELMORA_FAILURE);
}

TEST_F(DBPools, ASingleConnectionPoolIsSharedByAllThreads)
{
    AddEntry("inv");
    ASSERT_EQ(EstablishDBConnections(), VELMORA_SUCCESS);
    DBConnection* mine = GetDBConnection("inv");
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(mine->owner, DB_CONNECTION_SHARED);
    EXPECT_EQ(GetInOtherThread("inv"), mine);
    bool released = false;
    std::thread([&] { released = ReleaseDBConnection("inv") == VELMORA_SUCCESS; }).join();
    EXPECT_TRUE(released);
    EXPECT_EQ(mine->owner, DB_CONNECTION_FREE);
}

// A connection is re-opened on the first request more than 27900 seconds
// after it was opened, whether the thread already owns it, takes it free, or
// shares it; at 27900 seconds the old one is handed out.
TEST_F(DBPools, OldConnectionsAreReopenedAfter27900Seconds)
{
    struct Case {
        int poolSize;
        bool ownedBefore;
        uint32_t age;
        bool reopened;
    } cases
        [] =
            {
                {2, true, 27900, false},       {2, true, 27901, true},  {2, false, 27900, false},
                {2, false, 27901, true},       {1, true, 27900, false}, {1, false, 27901, true},
                {2, false, 0xFFFFFFF0u, true}, // a clock set back counts as old (unsigned difference)
            };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "pool " << c.poolSize << (c.ownedBefore ? " owned" : " free") << " age "
                                        << c.age);
        AddEntry("inv");
        ASSERT_EQ(EstablishDBConnectionPool(c.poolSize), VELMORA_SUCCESS);
        LogCapture log;
        DBConnection* before = GetDBConnection("inv");
        ASSERT_NE(before, nullptr);
        int serial = Serial(before);
        if (!c.ownedBefore)
            ReleaseDBConnection("inv");
        g_now += c.age;
        DBConnection* after = GetDBConnection("inv");
        ASSERT_NE(after, nullptr);
        EXPECT_EQ(Serial(after) != serial, c.reopened);
        EXPECT_EQ(Logged(log, " inv : Connection Established"), c.reopened);
        if (c.reopened) {
            EXPECT_EQ(after->openedAt, g_now);
            EXPECT_EQ(after->owner,
                      c.poolSize == 1 ? DB_CONNECTION_SHARED : static_cast<int32_t>(PlatCurrentThreadId()));
            // The fresh connection is young: the next request keeps it.
            EXPECT_EQ(GetDBConnection("inv"), after);
            EXPECT_EQ(static_cast<DBConnectionPool*>(gv_connPools.head->data)->connections.count, c.poolSize);
        }
        CloseAllDBConnections();
        FreeAllConnParamsEntries();
        g_now = 1000000;
    }
}

// A lost connection is re-opened on its next request; while the server
// cannot be reached the request gets null and the pool keeps its
// connection, so the first request after the server is back works.
TEST_F(DBPools, LostConnectionsComeBackOnceTheServerDoes)
{
    for (int size : {1, 3}) {
        SCOPED_TRACE(size);
        AddEntry("inv");
        ASSERT_EQ(EstablishDBConnectionPool(size), VELMORA_SUCCESS);
        DBConnection* lost = GetDBConnection("inv");
        ASSERT_NE(lost, nullptr);
        int serial = Serial(lost);
        MarkDBConnectionForReopen(lost);
        EXPECT_TRUE(IsDBConnectionMarkedForReopen(lost));

        LogCapture log;
        state_.failOpen = true;
        for (int attempt = 0; attempt < 3; attempt++)
            EXPECT_EQ(GetDBConnection("inv"), nullptr);
        EXPECT_TRUE(Logged(log,
                           "Cannot return connection handle. Error in opening connection while "
                           "re-establishing connection hanlde."));
        EXPECT_EQ(static_cast<DBConnectionPool*>(gv_connPools.head->data)->connections.count, size);

        state_.failOpen = false;
        DBConnection* back = GetDBConnection("inv");
        ASSERT_NE(back, nullptr);
        EXPECT_NE(Serial(back), serial);
        EXPECT_FALSE(IsDBConnectionMarkedForReopen(back));
        EXPECT_EQ(ExecuteUpdate(back, "select 1"), VELMORA_SUCCESS);

        // Parameters removed since: the connection cannot be re-opened.
        MarkDBConnectionForReopen(back);
        FreeAllConnParamsEntries();
        EXPECT_EQ(GetDBConnection("inv"), nullptr);
        EXPECT_TRUE(Logged(log, "Cannot return connection handle. Error in fetching connection parameters."));
        CloseAllDBConnections();
    }
}

class DBTables : public DBPools {
protected:
    void SetUp() override
    {
        DBPools::SetUp();
        InitSqlDialects();
        ASSERT_EQ(RegisterAllSqlDialects(), VELMORA_SUCCESS);
        for (const char* name : {"Site", "Machine", "Software"}) {
            LCDVector* columns = CreateVector();
            AddElementData(columns,
                           CreateColumnDefn("Id", BRI_SQL_INT, nullptr, 0, 0, nullptr, nullptr, 0, 0, nullptr));
            ASSERT_EQ(AddTableDefn(CreateTableDefn(name, nullptr, columns, CreateConstraintDefn(nullptr, 0, nullptr))),
                      VELMORA_SUCCESS);
        }
        gv_defaultDBType = 3; // SQLITE
    }
    void TearDown() override
    {
        FreeTableDefns();
        FreeSqlDialects();
        gv_defaultDBType = 0;
        DBPools::TearDown();
    }
};

TEST_F(DBTables, CreateAllTablesStopsAtTheFirstFailureAndHandsTheConnectionBack)
{
    AddEntry("inv");
    ASSERT_EQ(EstablishDBConnectionPool(2), VELMORA_SUCCESS);
    state_.failUpdateNumber = 2;
    EXPECT_EQ(CreateAllTables(), VELMORA_FAILURE);
    ASSERT_EQ(state_.statements.size(), 2u) << "nothing runs after the failed statement";
    EXPECT_NE(state_.statements[0].find("Site"), std::string::npos);
    EXPECT_NE(state_.statements[1].find("Machine"), std::string::npos);
    for (LCDNode* node = static_cast<DBConnectionPool*>(gv_connPools.head->data)->connections.head; node;
         node = node->next)
        EXPECT_EQ(static_cast<DBConnection*>(node->data)->owner, DB_CONNECTION_FREE);

    state_.failUpdateNumber = 0;
    EXPECT_EQ(CreateAllTables(), VELMORA_SUCCESS);
    EXPECT_EQ(state_.statements.size(), 5u);
    EXPECT_EQ(CreateTableInDB("Software", "inv"), VELMORA_SUCCESS);
    EXPECT_NE(state_.statements.back().find("Software"), std::string::npos);
    EXPECT_EQ(CreateTableInDB("Software", "nowhere"), VELMORA_FAILURE) << "no such pool";
    EXPECT_EQ(CreateTableInDB("Nothing", "inv"), VELMORA_FAILURE) << "no such table";
}

TEST_F(DBTables, CreateDBTakesOnlyAPlainName)
{
    LogCapture log;
    EXPECT_EQ(CreateDB("inv"), VELMORA_FAILURE);
    EXPECT_TRUE(Logged(log, "Cannot create DB.  Connection not established."));
    AddEntry("inv");
    ASSERT_EQ(EstablishDBConnections(), VELMORA_SUCCESS);
    EXPECT_EQ(CreateDB("inv_2"), VELMORA_SUCCESS);
    ASSERT_EQ(state_.statements.size(), 1u);
    EXPECT_EQ(state_.statements[0], "create database inv_2");
    for (const char* bad : {"x; drop table Site", "a b", "", "9lives", "na\xC3\xAFve"}) {
        EXPECT_EQ(CreateDB(bad), VELMORA_FAILURE) << bad;
        EXPECT_TRUE(Logged(log, std::string("Cannot create database ") + bad + ".")) << bad;
    }
    EXPECT_EQ(CreateDB(nullptr), VELMORA_FAILURE);
    EXPECT_EQ(state_.statements.size(), 1u) << "no unsafe name reaches the database";
    auto* pool = static_cast<DBConnectionPool*>(gv_connPools.head->data);
    EXPECT_EQ(static_cast<DBConnection*>(pool->connections.head->data)->owner, DB_CONNECTION_FREE);
}

} // namespace
