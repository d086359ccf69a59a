// Statements and transactions on one connection, dispatched to the provider
// in the connection's slot.
#include "runtime/log.h"
#include "velmora/db_provider.h"
#include "db_internal.h"

namespace {

const char* Text(const char* text) { return text != nullptr ? text : "(null)"; }

// The provider of an open connection; null (with a line) when its slot has
// been emptied since the connection was opened.
const DBProvider* ProviderOf(const DBConnection* connection)
{
    const DBProvider* provider = db_internal::ProviderInSlot(connection->providerSlot);
    if (provider == nullptr)
        LogError("No provider loaded in slot %d for connection %s\n", static_cast<int>(connection->providerSlot),
                 Text(connection->connectionName));
    return provider;
}

} // namespace

extern "C" DBConnection* OpenDBConnection(const ConnParamsEntry* params)
{
    LogTrace("## Inside OpenDBConnection ##\n");
    if (params == nullptr || params->providerName == nullptr)
        return nullptr;
    int slot = GetDBProviderIndex(params->providerName);
    const DBProvider* provider = db_internal::ProviderInSlot(slot);
    if (provider == nullptr || provider->openConnection == nullptr)
        return nullptr;
    DBConnection* connection = provider->openConnection(params);
    if (connection == nullptr)
        return nullptr;
    connection->providerSlot = slot;
    connection->owner = DB_CONNECTION_FREE;
    connection->inTransaction = 0;
    connection->openedAt = DBClockNow();
    return connection;
}

extern "C" int ExecuteUpdate(DBConnection* connection, const char* statement)
{
    if (connection == nullptr) {
        LogError("ConnectionHandle NULL in ExecuteUpdate for Query %s \n", Text(statement));
        return VELMORA_FAILURE;
    }
    if (statement == nullptr) {
        LogError(" No Query To be Updated \n");
        return VELMORA_FAILURE;
    }
    const DBProvider* provider = ProviderOf(connection);
    if (provider == nullptr || provider->executeUpdate == nullptr)
        return VELMORA_FAILURE;
    return provider->executeUpdate(connection, statement);
}

extern "C" DBResultSet* ExecuteQuery(DBConnection* connection, const char* statement)
{
    if (connection == nullptr) {
        LogError("ConnectionHandle NULL in ExecuteQuery for Query %s \n", Text(statement));
        return nullptr;
    }
    if (statement == nullptr) {
        LogError(" No Query To be Executed \n");
        return nullptr;
    }
    const DBProvider* provider = ProviderOf(connection);
    if (provider == nullptr || provider->executeQuery == nullptr)
        return nullptr;
    return provider->executeQuery(connection, statement);
}

extern "C" int ExecuteUpdateBlob(DBConnection* connection, const char* statement, DBChunkSource source, void* context)
{
    if (connection == nullptr) {
        LogError("ConnectionHandle NULL in ExecuteUpdateBlob for Query %s \n", Text(statement));
        return VELMORA_FAILURE;
    }
    if (statement == nullptr) {
        LogError(" No Query To be Updated \n");
        return VELMORA_FAILURE;
    }
    if (source == nullptr)
        return VELMORA_FAILURE;
    const DBProvider* provider = ProviderOf(connection);
    if (provider == nullptr || provider->executeUpdateBlob == nullptr)
        return VELMORA_FAILURE;
    return provider->executeUpdateBlob(connection, statement, source, context);
}

extern "C" int ExecuteQueryBlob(DBConnection* connection, const char* statement, DBChunkSink sink, void* context)
{
    if (connection == nullptr) {
        LogError("ConnectionHandle NULL in ExecuteQueryBlob for Query %s \n", Text(statement));
        return VELMORA_FAILURE;
    }
    if (statement == nullptr) {
        LogError(" No Query To be Executed \n");
        return VELMORA_FAILURE;
    }
    if (sink == nullptr)
        return VELMORA_FAILURE;
    const DBProvider* provider = ProviderOf(connection);
    if (provider == nullptr || provider->executeQueryBlob == nullptr)
        return VELMORA_FAILURE;
    return provider->executeQueryBlob(connection, statement, sink, context);
}

extern "C" void CloseDBConnection(DBConnection* connection)
{
    if (connection == nullptr)
        return;
    const DBProvider* provider = ProviderOf(connection);
    if (provider != nullptr && provider->closeConnection != nullptr)
        provider->closeConnection(connection);
    FreeDBConnectionRecord(connection);
}

extern "C" int BeginDBTransaction(DBConnection* connection)
{
    if (connection == nullptr)
        return VELMORA_FAILURE;
    const DBProvider* provider = ProviderOf(connection);
    if (provider == nullptr || provider->beginTransaction == nullptr)
        return VELMORA_FAILURE;
    int begun = provider->beginTransaction(connection);
    if (begun == VELMORA_SUCCESS)
        connection->inTransaction = 1;
    return begun;
}

namespace {

// Commit and rollback end only a transaction that was begun; the mark is
// cleared whatever the provider says, since the provider has switched back
// to committing each statement by then.
int EndTransaction(DBConnection* connection, int (*DBProvider::*operation)(DBConnection*))
{
    if (connection == nullptr || !connection->inTransaction)
        return VELMORA_FAILURE;
    const DBProvider* provider = ProviderOf(connection);
    int ended = VELMORA_FAILURE;
    if (provider != nullptr && provider->*operation != nullptr)
        ended = (provider->*operation)(connection);
    connection->inTransaction = 0;
    return ended;
}

} // namespace

extern "C" int CommitDBTransaction(DBConnection* connection)
{
    return EndTransaction(connection, &DBProvider::commitTransaction);
}

extern "C" int RollbackDBTransaction(DBConnection* connection)
{
    return EndTransaction(connection, &DBProvider::rollbackTransaction);
}
