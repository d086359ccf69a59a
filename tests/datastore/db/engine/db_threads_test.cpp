// Pools under many threads: on the fake provider (with connections marked
// lost and re-opened under the threads' feet) and on each engine through
// ODBC, 8 threads x 1,000 statements on a pool of four and on one shared
// connection. Each thread must get its own connection or null at once.
#include <atomic>
#include <functional>
#include <mutex>
#include <map>
#include <thread>
#include <vector>

#include "db_engine_support.h"
#include "fake_provider.h"

namespace {

constexpr int kThreads = 8;
constexpr int kStatements = 1000;

// Runs kStatements statements on each of kThreads threads, each statement
// on a connection the thread takes from the pool and hands back. A thread
// that finds the pool full tries again. Fails when two threads ever hold
// one connection of a multi-connection pool at the same time.
void Hammer(const char* pool, bool shared, const std::function<bool(DBConnection*, int, int)>& statement,
            const std::function<void(DBConnection*)>& afterwards = nullptr)
{
    std::mutex mutex;
    std::map<DBConnection*, int> holders;
    std::atomic<int> failures{0}, nulls{0}, clashes{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kStatements;) {
                DBConnection* connection = GetDBConnection(pool);
                if (connection == nullptr) {
                    ++nulls;
                    std::this_thread::yield();
                    continue;
                }
                if (!shared) {
                    std::lock_guard<std::mutex> hold(mutex);
                    if (holders[connection]++ != 0)
                        ++clashes;
                }
                if (!statement(connection, t, i))
                    ++failures;
                if (afterwards)
                    afterwards(connection);
                if (!shared) {
                    std::lock_guard<std::mutex> hold(mutex);
                    holders[connection]--;
                }
                if (ReleaseDBConnection(pool) != VELMORA_SUCCESS && !shared)
                    ++failures;
                i++;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(clashes, 0) << "a connection was held by two threads at once";
    EXPECT_EQ(failures, 0);
    if (shared) {
        EXPECT_EQ(nulls, 0) << "a shared connection is never refused";
    }
}

class FakePoolThreads : public fake_db::FakeDBTest { };

TEST_F(FakePoolThreads, OwnershipHoldsWhileConnectionsAreReopened)
{
    for (int size : {4, 1}) {
        SCOPED_TRACE(size);
        AddEntry("inv");
        ASSERT_EQ(EstablishDBConnectionPool(size), VELMORA_SUCCESS);
        Hammer(
            "inv", size == 1, [](DBConnection* c, int, int) { return ExecuteUpdate(c, "x") == VELMORA_SUCCESS; },
            [](DBConnection* c) {
                // Now and then a statement "finds the server gone".
                static std::atomic<int> n{0};
                if (++n % 97 == 0)
                    MarkDBConnectionForReopen(c);
            });
        EXPECT_GT(state_.opens, size) << "some connections were re-opened";
        CloseAllDBConnections();
        FreeAllConnParamsEntries();
    }
}

using db_engine::Engine;

class PoolThreadsOnEngine : public tw::engines::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        layer_ = std::make_unique<db_engine::DBLayer>();
        ASSERT_TRUE(db_engine::AddEngineEntry(engine(), database_name(), "inv"));
        ASSERT_TRUE(db().Execute("create table hits (thread_no int, seq int)")) << db().LastError();
    }
    void TearDown() override
    {
        layer_.reset();
        EngineTest::TearDown();
    }
    void HammerInserts(bool shared)
    {
        Hammer("inv", shared, [](DBConnection* c, int t, int i) {
            std::string insert = "insert into hits values (" + std::to_string(t) + ", " + std::to_string(i) + ")";
            return ExecuteUpdate(c, insert.c_str()) == VELMORA_SUCCESS;
        });
        auto rows = db().Query("select count(*), count(distinct thread_no * 10000 + seq) from hits");
        ASSERT_TRUE(rows.has_value()) << db().LastError();
        EXPECT_EQ((*rows)[0][0], std::to_string(kThreads * kStatements));
        EXPECT_EQ((*rows)[0][1], std::to_string(kThreads * kStatements));
    }
    std::unique_ptr<db_engine::DBLayer> layer_;
};

TEST_P(PoolThreadsOnEngine, EightThreadsOnAPoolOfFour)
{
    ASSERT_EQ(EstablishDBConnectionPool(4), VELMORA_SUCCESS);
    HammerInserts(false);
}

TEST_P(PoolThreadsOnEngine, EightThreadsShareASingleConnection)
{
    ASSERT_EQ(EstablishDBConnections(), VELMORA_SUCCESS);
    HammerInserts(true);
}

TW_INSTANTIATE_ENGINE_TESTS(PoolThreadsOnEngine, Engine::sqlite, Engine::postgresql, Engine::mariadb);

} // namespace
