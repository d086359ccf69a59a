// Connection pools: one per ConnParamsEntry, handing connections to threads.
//
// Lock order: &gv_connPools, then a pool's &connections, then (inside
// GetConnParams) &gv_connParams. A pool's connection list is walked and
// changed directly while its lock is held, since the vector's own
// operations would take that lock again.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/thread.h"
#include "runtime/log.h"
#include "velmora/base_alloc.h"
#include "velmora/db_provider.h"
#include "db_internal.h"

extern "C" {
LCDVector gv_connPools = {nullptr, 0, nullptr, nullptr};
}

namespace {

// Connections taken out of a shared (single-connection) pool by a re-open.
// Other threads may still be running a statement on such a connection, so
// it is closed only with all the others at shut-down.
PlatGlobalMutex g_retiredMutex;
std::vector<DBConnection*> g_retired;

// The entries of gv_connParams as they are now (start-up reads them while
// nothing changes the list).
std::vector<const ConnParamsEntry*> SnapshotConnParams()
{
    std::vector<const ConnParamsEntry*> entries;
    LockObject(&gv_connParams);
    for (LCDNode* node = gv_connParams.head; node != nullptr; node = node->next)
        entries.push_back(static_cast<const ConnParamsEntry*>(node->data));
    UnlockObject(&gv_connParams);
    return entries;
}

DBConnectionPool* CreatePool(const char* connectionName)
{
    auto* pool = static_cast<DBConnectionPool*>(BriCalloc(1, sizeof(DBConnectionPool)));
    if (pool == nullptr)
        return nullptr;
    pool->connectionName = BriStrdup(connectionName != nullptr ? connectionName : "");
    if (pool->connectionName == nullptr) {
        free(pool);
        return nullptr;
    }
    InitVector(&pool->connections, nullptr);
    return pool;
}

void FreePool(DBConnectionPool* pool)
{
    for (LCDNode* node = pool->connections.head; node != nullptr; node = node->next)
        CloseDBConnection(static_cast<DBConnection*>(node->data));
    FreeVector(&pool->connections);
    free(pool->connectionName);
    free(pool);
}

// Appends a pool that is not shared yet; 99 when no node can be had.
int AppendPool(DBConnectionPool* pool)
{
    return AddElementData(&gv_connPools, pool) == VELMORA_SUCCESS ? VELMORA_SUCCESS : VELMORA_ALLOC_FAILURE;
}

// The pool of that name (null: the only pool) while &gv_connPools is held.
DBConnectionPool* ChoosePoolLocked(const char* connectionName, bool onlyPoolForNull)
{
    if (connectionName == nullptr) {
        if (gv_connPools.head == nullptr || (onlyPoolForNull && gv_connPools.count != 1))
            return nullptr;
        return static_cast<DBConnectionPool*>(gv_connPools.head->data);
    }
    for (LCDNode* node = gv_connPools.head; node != nullptr; node = node->next) {
        auto* pool = static_cast<DBConnectionPool*>(node->data);
        if (strcmp(pool->connectionName, connectionName) == 0)
            return pool;
    }
    return nullptr;
}

// Locks and returns the chosen pool's connection list (null when there is
// no such pool).
DBConnectionPool* LockPool(const char* connectionName, bool onlyPoolForNull)
{
    LockObject(&gv_connPools);
    DBConnectionPool* pool = ChoosePoolLocked(connectionName, onlyPoolForNull);
    if (pool != nullptr)
        LockObject(&pool->connections);
    UnlockObject(&gv_connPools);
    return pool;
}

int32_t KeyFor(const DBConnectionPool* pool)
{
    return pool->connections.count == 1 ? DB_CONNECTION_SHARED : db_internal::CurrentThreadKey();
}

bool NeedsReopen(const DBConnection* connection, uint32_t now)
{
    return now - connection->openedAt > DB_CONNECTION_MAX_AGE || IsDBConnectionMarkedForReopen(connection);
}

// Replaces the connection in node by a new one of the same parameters and
// owner, with the pool's lock held. On failure the old connection stays in
// the pool (still due for a re-open), so a server that is down for a while
// does not cost the pool its connections.
DBConnection* ReopenLocked(LCDNode* node, bool shared)
{
    auto* old = static_cast<DBConnection*>(node->data);
    const ConnParamsEntry* params = GetConnParams(old->connectionName);
    if (params == nullptr) {
        LogError("Cannot return connection handle. Error in fetching connection parameters.\n");
        return nullptr;
    }
    DBConnection* fresh = OpenDBConnection(params);
    if (fresh == nullptr) {
        LogError("Cannot return connection handle. Error in opening connection while re-establishing connection "
                 "hanlde.\n");
        return nullptr;
    }
    fresh->owner = old->owner;
    node->data = fresh;
    LogDebug(" %s : Connection Established\n", params->connectionName);
    if (shared) {
        std::lock_guard<PlatGlobalMutex> hold(g_retiredMutex);
        g_retired.push_back(old);
    } else {
        CloseDBConnection(old);
    }
    return fresh;
}

} // namespace

int32_t db_internal::CurrentThreadKey() { return static_cast<int32_t>(PlatCurrentThreadId()); }

extern "C" int EstablishDBConnections(void)
{
    for (const ConnParamsEntry* entry : SnapshotConnParams()) {
        DBConnectionPool* pool = CreatePool(entry->connectionName);
        if (pool == nullptr) {
            LogError("Unable to allocate memory for connection pool\n");
            return VELMORA_ALLOC_FAILURE;
        }
        DBConnection* connection = OpenDBConnection(entry);
        if (connection == nullptr) {
            LogError("Cannot establish connection.\n");
            FreePool(pool);
            return VELMORA_FAILURE;
        }
        if (AddElementData(&pool->connections, connection) != VELMORA_SUCCESS) {
            CloseDBConnection(connection);
            FreePool(pool);
            LogError("Unable to allocate memory for connection pool\n");
            return VELMORA_ALLOC_FAILURE;
        }
        LogDebug(" %s : Connection Established\n", entry->connectionName);
        if (AppendPool(pool) != VELMORA_SUCCESS) {
            FreePool(pool);
            LogError("Unable to allocate memory for connection pool\n");
            return VELMORA_ALLOC_FAILURE;
        }
    }
    return VELMORA_SUCCESS;
}

extern "C" int EstablishDBConnectionPool(int32_t count)
{
    if (count < 0)
        return VELMORA_FAILURE;
    if (count == 0)
        count = 5;
    std::vector<const ConnParamsEntry*> entries = SnapshotConnParams();
    if (entries.empty()) {
        LogError("There is no entry in data source vector\n");
        return VELMORA_FAILURE;
    }
    for (const ConnParamsEntry* entry : entries) {
        DBConnectionPool* pool = CreatePool(entry->connectionName);
        if (pool == nullptr) {
            LogError("Unable to allocate memory for connection pool\n");
            return VELMORA_ALLOC_FAILURE;
        }
        for (int32_t i = 0; i < count; i++) {
            DBConnection* connection = OpenDBConnection(entry);
            if (connection == nullptr)
                continue;
            if (AddElementData(&pool->connections, connection) != VELMORA_SUCCESS) {
                CloseDBConnection(connection);
                FreePool(pool);
                LogError("Unable to allocate memory for connection pool\n");
                return VELMORA_ALLOC_FAILURE;
            }
            LogDebug(" %d : %s : Connection Established\n", static_cast<int>(i), entry->connectionName);
        }
        if (AppendPool(pool) != VELMORA_SUCCESS) {
            FreePool(pool);
            LogError("Unable to allocate memory for connection pool\n");
            return VELMORA_ALLOC_FAILURE;
        }
    }
    return VELMORA_SUCCESS;
}

extern "C" DBConnection* GetDBConnection(const char* connectionName)
{
    uint32_t now = DBClockNow();
    DBConnectionPool* pool = LockPool(connectionName, true);
    if (pool == nullptr)
        return nullptr;
    int32_t key = KeyFor(pool);
    bool shared = key == DB_CONNECTION_SHARED;
    DBConnection* handedOut = nullptr;

    LCDNode* owned = nullptr;
    LCDNode* firstFree = nullptr;
    for (LCDNode* node = pool->connections.head; node != nullptr; node = node->next) {
        auto* connection = static_cast<DBConnection*>(node->data);
        if (connection->owner == key) {
            owned = node;
            break;
        }
        if (firstFree == nullptr && connection->owner == DB_CONNECTION_FREE)
            firstFree = node;
    }
    if (owned != nullptr) {
        auto* connection = static_cast<DBConnection*>(owned->data);
        handedOut = NeedsReopen(connection, now) ? ReopenLocked(owned, shared) : connection;
    } else if (firstFree != nullptr) {
        auto* connection = static_cast<DBConnection*>(firstFree->data);
        connection->owner = key;
        if (NeedsReopen(connection, now)) {
            handedOut = ReopenLocked(firstFree, shared);
            // Not handed out after all: free for the next request to try.
            if (handedOut == nullptr)
                connection->owner = DB_CONNECTION_FREE;
        } else {
            handedOut = connection;
        }
    }
    UnlockObject(&pool->connections);
    return handedOut;
}

extern "C" int ReleaseDBConnection(const char* connectionName)
{
    DBConnectionPool* pool = LockPool(connectionName, false);
    if (pool == nullptr)
        return VELMORA_FAILURE;
    int32_t key = KeyFor(pool);
    int released = VELMORA_FAILURE;
    for (LCDNode* node = pool->connections.head; node != nullptr; node = node->next) {
        auto* connection = static_cast<DBConnection*>(node->data);
        if (connection->owner == key) {
            connection->owner = DB_CONNECTION_FREE;
            released = VELMORA_SUCCESS;
            break;
        }
    }
    UnlockObject(&pool->connections);
    return released;
}

extern "C" void CloseAllDBConnections(void)
{
    // Take the whole list out first, so no request finds a pool half freed.
    LockObject(&gv_connPools);
    LCDNode* node = gv_connPools.head;
    gv_connPools.head = nullptr;
    gv_connPools.tail = nullptr;
    gv_connPools.count = 0;
    UnlockObject(&gv_connPools);
    while (node != nullptr) {
        LCDNode* next = node->next;
        auto* pool = static_cast<DBConnectionPool*>(node->data);
        // Wait for a request that is choosing from this pool to finish.
        LockObject(&pool->connections);
        UnlockObject(&pool->connections);
        FreePool(pool);
        free(node);
        node = next;
    }
    std::vector<DBConnection*> retired;
    {
        std::lock_guard<PlatGlobalMutex> hold(g_retiredMutex);
        retired.swap(g_retired);
    }
    for (DBConnection* connection : retired)
        CloseDBConnection(connection);
}
