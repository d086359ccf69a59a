// Provider slots, statement dispatch and transaction marks, with the fake
// provider.
#include <functional>

#include "fake_provider.h"

using namespace fake_db;

namespace {

class DBProviders : public FakeDBTest { };

TEST_F(DBProviders, SlotsLoadOnceEachAndInitRefusesASecondStart)
{
    ClearDBProviders();
    LogCapture log;
    ASSERT_EQ(InitDBProvider(), VELMORA_SUCCESS);
    // The built-in provider in slot 0; no provider is called "SQLITE".
    EXPECT_EQ(GetDBProviderIndex("ODBC"), 0);
    EXPECT_EQ(gv_providerSlots[1], nullptr);
    EXPECT_EQ(InitDBProvider(), VELMORA_FAILURE);
    EXPECT_TRUE(Logged(log, "InitDBProvider Failed as already initialized"));

    EXPECT_EQ(RegisterDBProvider(&kFakeProvider), VELMORA_SUCCESS);
    EXPECT_EQ(RegisterDBProvider(&kFakeProvider), VELMORA_FAILURE) << "a name is in the catalogue once";
    EXPECT_EQ(LoadDBProvider("fake"), VELMORA_FAILURE) << "names match exactly";
    EXPECT_EQ(LoadDBProvider("FAKE"), VELMORA_SUCCESS);
    EXPECT_EQ(GetDBProviderIndex("FAKE"), 1);
    EXPECT_EQ(LoadDBProvider("ODBC"), VELMORA_FAILURE) << "no empty slot left";

    UnloadDBProvider("ODBC");
    EXPECT_EQ(GetDBProviderIndex("ODBC"), -1);
    EXPECT_EQ(GetDBProviderIndex("FAKE"), 1) << "unloading one slot leaves the other";
    EXPECT_EQ(LoadDBProvider("ODBC"), VELMORA_SUCCESS);
    EXPECT_EQ(GetDBProviderIndex("ODBC"), 0);

    DBProvider other = kFakeProvider;
    other.version = DB_PROVIDER_VERSION + 1;
    other.name = "NEWER";
    EXPECT_EQ(RegisterDBProvider(&other), VELMORA_FAILURE) << "a table of another version";
}

TEST_F(DBProviders, DefaultProviderAndDefaultTypeLoadTheirProviders)
{
    UnloadDBProvider("FAKE");
    LogCapture log;
    EXPECT_EQ(LoadDefaultDBProvider(), VELMORA_FAILURE);
    EXPECT_TRUE(Logged(log, "Cannot Load DB provider."));
    AddEntry("inv", "SQLITE", "NONE");
    EXPECT_EQ(LoadDefaultDBProvider(), VELMORA_FAILURE);
    EXPECT_TRUE(Logged(log, "Cannot Load NONE provider."));
    FreeAllConnParamsEntries();
    AddEntry("inv");
    EXPECT_EQ(LoadDefaultDBProvider(), VELMORA_SUCCESS);
    EXPECT_EQ(GetDBProviderIndex("FAKE"), 0);

    // Making a type the default loads the provider registered under its name.
    ClearDBProviders();
    ASSERT_EQ(InitDBProvider(), VELMORA_SUCCESS);
    DBProvider pgsql = kFakeProvider;
    pgsql.name = "PGSQL";
    ASSERT_EQ(RegisterDBProvider(&pgsql), VELMORA_SUCCESS);
    EXPECT_EQ(SetDSNMapValid(0, 1), VELMORA_SUCCESS);
    EXPECT_EQ(gv_defaultDBType, 1);
    EXPECT_EQ(GetDBProviderIndex("PGSQL"), 1);
    SetDSNMapProviderLoader(nullptr);
}

TEST_F(DBProviders, NullArgumentsLogTheirMessageAndNeverReachTheProvider)
{
    AddEntry("inv");
    DBConnection* connection = OpenDBConnection(GetConnParams("inv"));
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(connection->owner, DB_CONNECTION_FREE);
    EXPECT_EQ(connection->providerSlot, GetDBProviderIndex("FAKE"));
    DBChunkSource source = [](const void**, int32_t*, void*) { return DB_CHUNK_DONE; };
    DBChunkSink sink = [](const void*, int32_t, void*) { return 1; };
    struct Case {
        std::function<bool(DBConnection*, const char*)> run;
        const char* nullConnection;
        const char* nullStatement;
    } cases[] = {
        {[](DBConnection* c, const char* s) { return ExecuteUpdate(c, s) == VELMORA_SUCCESS; },
         "ConnectionHandle NULL in ExecuteUpdate for Query select 7 ", " No Query To be Updated "},
        {[](DBConnection* c, const char* s) {
             DBResultSet* r = ExecuteQuery(c, s);
             FreeDBResultSet(r);
             return r != nullptr;
         },
         "ConnectionHandle NULL in ExecuteQuery for Query select 7 ", " No Query To be Executed "},
        {[&](DBConnection* c, const char* s) { return ExecuteUpdateBlob(c, s, source, nullptr) == VELMORA_SUCCESS; },
         "ConnectionHandle NULL in ExecuteUpdateBlob for Query select 7 ", " No Query To be Updated "},
        {[&](DBConnection* c, const char* s) { return ExecuteQueryBlob(c, s, sink, nullptr) == VELMORA_SUCCESS; },
         "ConnectionHandle NULL in ExecuteQueryBlob for Query select 7 ", " No Query To be Executed "},
    };
    for (const Case& c : cases) {
        LogCapture log;
        EXPECT_FALSE(c.run(nullptr, "select 7"));
        EXPECT_TRUE(Logged(log, c.nullConnection)) << c.nullConnection;
        EXPECT_FALSE(c.run(connection, nullptr));
        EXPECT_TRUE(Logged(log, c.nullStatement)) << c.nullConnection;
        EXPECT_TRUE(c.run(connection, "select 7")) << c.nullConnection;
    }
    EXPECT_EQ(state_.updates + state_.queries + state_.blobUpdates + state_.blobQueries, 4)
        << "only the calls with both arguments reach the provider";

    // A connection whose provider has been unloaded fails instead of crashing.
    UnloadDBProvider("FAKE");
    EXPECT_EQ(ExecuteUpdate(connection, "select 7"), VELMORA_FAILURE);
    LoadDBProvider("FAKE");
    CloseDBConnection(connection);
    EXPECT_EQ(OpenDBConnection(nullptr), nullptr);
}

TEST_F(DBProviders, CommitAndRollbackNeedABegunTransaction)
{
    AddEntry("inv");
    DBConnection* connection = OpenDBConnection(GetConnParams("inv"));
    ASSERT_NE(connection, nullptr);
    for (auto end : {CommitDBTransaction, RollbackDBTransaction}) {
        // Without a begin: failure, and the provider is not asked.
        EXPECT_EQ(end(connection), VELMORA_FAILURE);
        EXPECT_EQ(state_.commits + state_.rollbacks, 0);
    }
    state_.failBegin = true;
    EXPECT_EQ(BeginDBTransaction(connection), VELMORA_FAILURE);
    EXPECT_EQ(connection->inTransaction, 0) << "a failed begin leaves no mark";
    EXPECT_EQ(CommitDBTransaction(connection), VELMORA_FAILURE);
    EXPECT_EQ(state_.commits, 0);
    state_.failBegin = false;

    ASSERT_EQ(BeginDBTransaction(connection), VELMORA_SUCCESS);
    EXPECT_EQ(connection->inTransaction, 1);
    EXPECT_EQ(CommitDBTransaction(connection), VELMORA_SUCCESS);
    EXPECT_EQ(state_.commits, 1);
    EXPECT_EQ(CommitDBTransaction(connection), VELMORA_FAILURE) << "the mark is gone after a commit";
    EXPECT_EQ(state_.commits, 1);

    // A failing rollback still clears the mark.
    ASSERT_EQ(BeginDBTransaction(connection), VELMORA_SUCCESS);
    state_.failEnd = true;
    EXPECT_EQ(RollbackDBTransaction(connection), VELMORA_FAILURE);
    EXPECT_EQ(state_.rollbacks, 1);
    EXPECT_EQ(connection->inTransaction, 0);
    EXPECT_EQ(BeginDBTransaction(nullptr), VELMORA_FAILURE);
    EXPECT_EQ(CommitDBTransaction(nullptr), VELMORA_FAILURE);
    CloseDBConnection(connection);
}

} // namespace
