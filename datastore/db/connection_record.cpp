// The DBConnection record shared by the providers and the pools.
#include <atomic>
#include <cstdlib>

#include "velmora/base_alloc.h"
#include "velmora/db_provider.h"

extern "C" DBConnection* CreateDBConnectionRecord(void* providerHandle, const char* connectionName)
{
    if (connectionName == nullptr)
        return nullptr;
    auto* connection = static_cast<DBConnection*>(BriCalloc(1, sizeof(DBConnection)));
    if (connection == nullptr)
        return nullptr;
    connection->connectionName = BriStrdup(connectionName);
    if (connection->connectionName == nullptr) {
        free(connection);
        return nullptr;
    }
    connection->providerHandle = providerHandle;
    connection->owner = DB_CONNECTION_FREE;
    connection->openedAt = DBClockNow();
    return connection;
}

extern "C" void FreeDBConnectionRecord(DBConnection* connection)
{
    if (connection == nullptr)
        return;
    free(connection->connectionName);
    free(connection);
}

// The mark is set by whichever thread saw the connection fail and read by
// the thread that next asks the pool, so it goes through atomics.
extern "C" void MarkDBConnectionForReopen(DBConnection* connection)
{
    if (connection != nullptr)
        std::atomic_ref<uint8_t>(connection->reopenNeeded).store(1, std::memory_order_release);
}

extern "C" int IsDBConnectionMarkedForReopen(const DBConnection* connection)
{
    if (connection == nullptr)
        return 0;
    return std::atomic_ref<uint8_t>(const_cast<uint8_t&>(connection->reopenNeeded)).load(std::memory_order_acquire);
}
