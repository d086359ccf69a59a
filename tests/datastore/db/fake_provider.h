// A provider that needs no database: it counts what the layer asks of it
// and fails where a test tells it to, so the slots, pools and transaction
// marks can be checked fast and exactly.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "log_capture.h"
#include "velmora/db_provider.h"

namespace fake_db {

struct FakeHandle {
    int serial;
};

struct FakeState {
    std::atomic<int> opens{0}, closes{0}, updates{0}, queries{0}, begins{0}, commits{0}, rollbacks{0};
    std::atomic<int> blobUpdates{0}, blobQueries{0};
    std::atomic<bool> failOpen{false}, failBegin{false}, failEnd{false};
    // The update with this 1-based number fails (0: none does).
    std::atomic<int> failUpdateNumber{0};
    std::mutex mutex;
    std::vector<std::string> statements;
};

inline FakeState* g_state = nullptr;

inline DBConnection* Open(const ConnParamsEntry* params)
{
    if (g_state->failOpen)
        return nullptr;
    auto* handle = new FakeHandle{++g_state->opens};
    DBConnection* connection = CreateDBConnectionRecord(handle, params->connectionName);
    if (connection == nullptr)
        delete handle;
    return connection;
}
inline int Update(DBConnection*, const char* statement)
{
    int number = ++g_state->updates;
    {
        std::lock_guard<std::mutex> hold(g_state->mutex);
        g_state->statements.emplace_back(statement);
    }
    return number == g_state->failUpdateNumber ? VELMORA_FAILURE : VELMORA_SUCCESS;
}
inline DBResultSet* Query(DBConnection*, const char*)
{
    ++g_state->queries;
    return CreateDBResultSet(0);
}
inline void Close(DBConnection* connection)
{
    ++g_state->closes;
    delete static_cast<FakeHandle*>(connection->providerHandle);
    connection->providerHandle = nullptr;
}
inline int Begin(DBConnection*) { return ++g_state->begins, g_state->failBegin ? VELMORA_FAILURE : VELMORA_SUCCESS; }
inline int Commit(DBConnection*) { return ++g_state->commits, g_state->failEnd ? VELMORA_FAILURE : VELMORA_SUCCESS; }
inline int Rollback(DBConnection*)
{
    return ++g_state->rollbacks, g_state->failEnd ? VELMORA_FAILURE : VELMORA_SUCCESS;
}
inline int UpdateBlob(DBConnection*, const char*, DBChunkSource, void*)
{
    return ++g_state->blobUpdates, VELMORA_SUCCESS;
}
inline int QueryBlob(DBConnection*, const char*, DBChunkSink, void*) { return ++g_state->blobQueries, VELMORA_SUCCESS; }

inline const DBProvider kFakeProvider = {
    DB_PROVIDER_VERSION, "FAKE", Open, Update, Query, Close, Begin, Commit, Rollback, UpdateBlob, QueryBlob};

inline int Serial(const DBConnection* connection)
{
    return static_cast<const FakeHandle*>(connection->providerHandle)->serial;
}

// The fake provider registered and loaded, the connection parameters and
// pools empty before and after each test, and every connection the fake
// opened closed again at the end.
class FakeDBTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_state = &state_;
        ASSERT_EQ(gv_connPools.count, 0);
        ASSERT_EQ(gv_connParams.count, 0);
        ASSERT_EQ(RegisterDBProvider(&kFakeProvider), VELMORA_SUCCESS);
        ASSERT_EQ(LoadDBProvider("FAKE"), VELMORA_SUCCESS);
    }
    void TearDown() override
    {
        CloseAllDBConnections();
        FreeAllConnParamsEntries();
        ClearDBProviders();
        SetDBClock(nullptr);
        EXPECT_EQ(state_.opens.load(), state_.closes.load()) << "connections left open";
        g_state = nullptr;
    }
    // Adds a connection entry for the fake provider.
    void AddEntry(const char* connectionName, const char* type = "SQLITE", const char* provider = "FAKE")
    {
        ConnParamsEntry* entry =
            CreateConnParamsEntry("n", 1, "dsn", "user", nullptr, 0, connectionName, 0, nullptr, provider, type);
        ASSERT_NE(entry, nullptr);
        ASSERT_EQ(AddConnParamsEntry(entry), VELMORA_SUCCESS);
    }
    // True when a line of the log holds text.
    static bool Logged(const LogCapture& log, const std::string& text)
    {
        for (const std::string& line : log.Lines())
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }

    FakeState state_;
};

} // namespace fake_db
