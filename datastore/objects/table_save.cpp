/*
 * Saving one in-memory table: its changed rows become statements of the
 * table's dialect, and the rows' states follow what the database took.
 */
#include <new>
#include <vector>

#include "row_writer.h"
#include "runtime/log.h"
#include "runtime/object_lock.h"
#include "table_connection.h"
#include "velmora/criteria.h"
#include "velmora/table_persistence.h"

using namespace velmora_objects;

namespace {

struct CriteriaLock {
    CriteriaLock() { LockObject(gv_criteriaLock); }
    ~CriteriaLock() { UnlockObject(gv_criteriaLock); }
};

struct ConnectionCloser {
    void operator()(DBConnection* connection) const { CloseDBConnection(connection); }
};
using OwnConnection = std::unique_ptr<DBConnection, ConnectionCloser>;

std::vector<PendingRow> ChangedRows(const TableData* table)
{
    std::vector<PendingRow> pending;
    for (RowObject* row = table->firstRow; row; row = row->next) {
        RowAction action = ActionForState(row->state);
        if (action != RowAction::None)
            pending.push_back(PendingRow{row, action, nullptr});
    }
    return pending;
}

int Save(TableData* table)
{
    CriteriaLock lock;
    TableConnection pooled;
    if (!pooled.ForSaving(table->name))
        return VELMORA_FAILURE;
    std::vector<PendingRow> pending = ChangedRows(table);
    if (pending.empty())
        return VELMORA_SUCCESS;
    RowWriter writer(table->name, pooled.dialect());
    DBConnection* connection = pooled.connection();
    OwnConnection own;
    if (pending.size() >= kBatchThreshold && connection->owner == DB_CONNECTION_SHARED) {
        // A shared connection serves every thread: another thread's
        // statement would join (or end) a transaction on it. The batches
        // get a connection of their own instead.
        own.reset(OpenDBConnection(GetConnParams(pooled.connectionName().c_str())));
        connection = own ? own.get() : nullptr;
    }
    if (pending.size() >= kBatchThreshold && connection)
        writer.WriteInBatches(connection, pending.data(), pending.size());
    else
        writer.WriteOneByOne(pooled.connection(), pending.data(), pending.size());
    const SaveCounts& counts = writer.counts();
    LogDebug("Saved %s: %zu rows written, %zu kept for a later save, %zu batches, %zu written again row by row\n",
             table->name, counts.written, counts.failed, counts.batches, counts.retried);
    return VELMORA_SUCCESS;
}

} // namespace

extern "C" int SaveTable(const char* tableName)
{
    LogTrace("@@@ Inside SaveTable @@@\n");
    TableData* table = tableName ? GetTableDataByName(tableName) : nullptr;
    if (!table) {
        LogDebug("Table %s is not loaded; nothing to save\n", tableName ? tableName : "(null)");
        return VELMORA_FAILURE;
    }
    try {
        return Save(table);
    } catch (const std::bad_alloc&) {
        LogError("Cannot allocate memory to save %s\n", table->name);
        return VELMORA_ALLOC_FAILURE;
    }
}
