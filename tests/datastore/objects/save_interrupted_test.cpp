// Saves that are cut off half-way: the database server stopped in the
// middle of a save, and the saving process killed in the middle of one.
// Whatever happens, a row is in the database once or not at all, rows that
// did not get in keep their states, and the next save (after the restart)
// writes exactly those: the database ends with every row once.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>

#include "log_capture.h"
#include "store_engine_support.h"

using namespace store_engine;
using tw::engines::Connection;

namespace {

constexpr int kRows = 3000;
// Rows the store writes per transaction.
constexpr size_t kRowsPerBatch = 1000;
// Statements of a batch of new rows: inserts of kRowsPerInsert rows each.
constexpr int kStatementsPerBatch = 2;

std::string Name(int id) { return "site-" + std::to_string(id); }

void AddSites(int from, int to)
{
    for (int id = from; id <= to; id++)
        ASSERT_EQ(AddNewRow("Site", NewSite(id, Name(id))), VELMORA_SUCCESS);
}

long long Number(Connection& client, const std::string& sql)
{
    auto rows = client.Query(sql);
    EXPECT_TRUE(rows && !rows->empty()) << sql << ": " << client.LastError();
    return rows && !rows->empty() && (*rows)[0][0] ? std::stoll(*(*rows)[0][0]) : -1;
}

// Every row of Site once, each with the name it was saved with.
void ExpectEveryRowOnce(Connection& client, long long rows)
{
    EXPECT_EQ(Number(client, "select count(*) from Site"), rows);
    EXPECT_EQ(Number(client, "select count(distinct SiteId) from Site"), rows);
    auto all = client.Query("select SiteId, SiteName from Site");
    ASSERT_TRUE(all) << client.LastError();
    for (const auto& row : *all) {
        EXPECT_EQ(row[1].value_or(""), Name(std::stoi(row[0].value_or("0"))));
    }
}

class SaveInterrupted : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override
    {
        const char* state = std::getenv("TW_ENGINE_STATE");
        savedState_ = state ? state : "";
        hadState_ = state != nullptr;
    }
    void TearDown() override
    {
        if (!database_.empty()) {
            std::string error;
            tw::engines::DropDatabase(GetParam(), database_, &error);
        }
        if (hadState_)
            setenv("TW_ENGINE_STATE", savedState_.c_str(), 1);
        else
            unsetenv("TW_ENGINE_STATE");
    }
    // A fresh database named after the test, and a client on it.
    std::unique_ptr<Connection> MakeDatabase(const std::string& test)
    {
        std::string error;
        database_ = tw::engines::DatabaseNameFor(test + "_" + tw::engines::EngineName(GetParam()));
        EXPECT_TRUE(tw::engines::CreateDatabase(GetParam(), database_, &error)) << error;
        auto client = tw::engines::Connect(GetParam(), database_, &error);
        EXPECT_TRUE(client) << error;
        return client;
    }
    std::string database_;

private:
    std::string savedState_;
    bool hadState_ = false;
};

// The server goes down at the second statement of the second batch (SQLite
// has no server: from there on every statement fails as on a lost link).
TEST_P(SaveInterrupted, ServerStoppedMidSave)
{
    Engine engine = GetParam();
    std::unique_ptr<PrivateServer> server;
    if (engine != Engine::sqlite) {
        server = std::make_unique<PrivateServer>(engine);
        ASSERT_TRUE(server->Start()) << "cannot start a private " << tw::engines::EngineName(engine);
        setenv("TW_ENGINE_STATE", server->state().c_str(), 1);
    }
    tw::engines::EngineFacts facts;
    std::string error;
    ASSERT_TRUE(tw::engines::ReadEngineFacts(engine, &facts, &error)) << error;
    std::unique_ptr<Connection> client = MakeDatabase("stopped");
    ASSERT_TRUE(client);
    LogCapture log;
    db_engine::DBLayer layer;
    Store store(engine, database_);
    ASSERT_TRUE(store.Connect(true));
    ASSERT_EQ(CreateTable("Site"), VELMORA_SUCCESS);
    AddSites(1, kRows);

    bool down = false;
    {
        HookedProvider hook([&](DBConnection* connection, const char*) {
            if (HookedProvider::calls() == kStatementsPerBatch + 2) {
                down = true;
                if (server) {
                    EXPECT_TRUE(server->Down());
                }
            }
            if (down && !server) {
                MarkDBConnectionForReopen(connection);
                return 0;
            }
            return -1;
        });
        ASSERT_EQ(SaveTable("Site"), VELMORA_SUCCESS);
    }
    ASSERT_TRUE(down);
    int stored = CountRows("Site", ROW_STATE_STORED);
    int kept = CountRows("Site", ROW_STATE_NEW);
    EXPECT_EQ(stored, static_cast<int>(kRowsPerBatch)) << "the first batch is in, the second was rolled back";
    EXPECT_EQ(stored + kept, kRows);

    if (server) {
        ASSERT_TRUE(server->Up()) << "cannot restart on port " << facts.Get("PORT");
        client = tw::engines::Connect(engine, database_, &error);
        ASSERT_TRUE(client) << error;
    }
    ExpectEveryRowOnce(*client, stored);
    ASSERT_EQ(SaveTable("Site"), VELMORA_SUCCESS);
    EXPECT_EQ(CountRows("Site", ROW_STATE_STORED), kRows);
    ExpectEveryRowOnce(*client, kRows);
}

// The saving process is killed (SIGKILL) while the second batch of its
// second save is open. A store started afterwards finds the first save
// and the committed batch whole, nothing of the open batch, and a rerun
// of the lost work completes the table with every row once.
TEST_P(SaveInterrupted, ProcessKilledMidSave)
{
    Engine engine = GetParam();
    std::unique_ptr<Connection> client = MakeDatabase("killed");
    ASSERT_TRUE(client);
    db_engine::DBLayer layer; // no connection yet: the child opens its own
    const int firstSave = 500;
    int signal[2];
    ASSERT_EQ(pipe(signal), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(signal[0]);
        Store store(engine, database_);
        if (!store.Connect(true) || CreateTable("Site") != VELMORA_SUCCESS)
            _exit(3);
        AddSites(1, firstSave);
        if (SaveTable("Site") != VELMORA_SUCCESS || CountRows("Site", ROW_STATE_STORED) != firstSave)
            _exit(4);
        AddSites(firstSave + 1, kRows);
        int at = HookedProvider::calls() + kStatementsPerBatch + 2;
        HookedProvider hook([&](DBConnection*, const char*) {
            if (HookedProvider::calls() == at) {
                (void)!write(signal[1], "K", 1);
                pause();
            }
            return -1;
        });
        SaveTable("Site");
        _exit(5);
    }
    close(signal[1]);
    char mark = 0;
    ssize_t got = read(signal[0], &mark, 1);
    close(signal[0]);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(got, 1) << "the child ended before the save: status " << status;

    Store store(engine, database_);
    ASSERT_TRUE(store.Connect(false));
    ASSERT_EQ(LoadTable("Site"), VELMORA_SUCCESS);
    std::set<int32_t> present;
    for (RowObject* row = GetTableDataByName("Site")->firstRow; row; row = row->next) {
        EXPECT_TRUE(present.insert(SiteIdOf(row)).second) << "row " << SiteIdOf(row) << " twice";
        EXPECT_EQ(static_cast<const char*>(row->values[1]), Name(SiteIdOf(row)));
    }
    EXPECT_EQ(present.size(), static_cast<size_t>(firstSave) + kRowsPerBatch);
    for (int id = 1; id <= firstSave; id++) {
        EXPECT_TRUE(present.count(id)) << "saved row " << id << " is lost";
    }
    for (int id = 1; id <= kRows; id++) {
        if (!present.count(id)) {
            ASSERT_EQ(AddNewRow("Site", NewSite(id, Name(id))), VELMORA_SUCCESS);
        }
    }
    ASSERT_EQ(SaveTable("Site"), VELMORA_SUCCESS);
    ExpectEveryRowOnce(*client, kRows);
}

INSTANTIATE_TEST_SUITE_P(Engines, SaveInterrupted,
                         ::testing::Values(Engine::sqlite, Engine::postgresql, Engine::mariadb),
                         tw::engines::EngineInstanceName);

} // namespace
