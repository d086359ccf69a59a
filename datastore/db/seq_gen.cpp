// Identifier batches reserved in SeqGenState (see velmora/seq_gen.h).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/thread.h"
#include "runtime/log.h"
#include "runtime/object_lock.h"
#include "velmora/column_types.h"
#include "velmora/connection_files.h"
#include "velmora/db_provider.h"
#include "velmora/seq_gen.h"
#include "velmora/seq_state.h"
#include "velmora/sql_statements.h"
#include "velmora/table_defn.h"

namespace {

// Attempts of one reservation: a deadlock between two first inserts, a
// busy database file or a lost insert race each cost one.
constexpr int kAttempts = 6;

const char kCreateStatement[] =
    "create table SeqGenState (SEQNAME varchar(128) not null primary key, CURRENTBATCHEND integer not null)";
const char kProbeStatement[] = "select SEQNAME, CURRENTBATCHEND from SeqGenState where 1 = 0";

// The reservations' own connections by connection name. One lock for all:
// reservations are rare (one per 300 numbers), and it keeps a connection
// from being used by two reservations at once.
PlatGlobalMutex g_lock;
std::map<std::string, DBConnection*> g_connections;

// The connection for reservations in the named database, opened on first
// use and re-opened once the provider found the server gone. The caller
// holds g_lock.
DBConnection* ReservationConnection(const std::string& connectionName)
{
    auto found = g_connections.find(connectionName);
    if (found != g_connections.end()) {
        if (!IsDBConnectionMarkedForReopen(found->second))
            return found->second;
        CloseDBConnection(found->second);
        g_connections.erase(found);
    }
    const ConnParamsEntry* params = GetConnParams(connectionName.c_str());
    if (params == nullptr) {
        LogError("No connection parameters for %s\n", connectionName.c_str());
        return nullptr;
    }
    DBConnection* connection = OpenDBConnection(params);
    if (connection == nullptr)
        return nullptr;
    try {
        g_connections.emplace(connectionName, connection);
    } catch (...) {
        CloseDBConnection(connection);
        return nullptr;
    }
    return connection;
}

// The connection name that holds tableName's rows: its data-source map
// entry, else (null table, or none in the map) the default connection.
std::string ConnectionNameFor(const char* tableName)
{
    const DataSourceMapEntry* entry = tableName != nullptr ? GetDataSourceMapEntry(tableName) : nullptr;
    if (entry != nullptr && entry->connectionName != nullptr)
        return entry->connectionName;
    const char* fallback = GetDefaultConnectionName();
    return fallback != nullptr ? fallback : "";
}

// The name as a string literal of the connection's SQL: quotes doubled,
// backslashes doubled where the engine reads them as escapes.
std::string Literal(const char* name, bool escapeBackslashes)
{
    std::string text = "'";
    for (const char* c = name; *c != '\0'; c++) {
        if (*c == '\'')
            text += '\'';
        else if (*c == '\\' && escapeBackslashes)
            text += '\\';
        text += *c;
    }
    return text + "'";
}

// The number in the second column (CURRENTBATCHEND) of the first row.
bool FirstNumber(DBResultSet* result, int64_t* number)
{
    if (result == nullptr || NextDBResultRow(result) != VELMORA_SUCCESS)
        return false;
    const void* value = nullptr;
    int32_t length = 0;
    if (GetDBResultValue(result, GetDBResultColumnName(result, 1), &value, &length) != VELMORA_SUCCESS ||
        value == nullptr)
        return false;
    switch (result->columns[1].type) {
    case BRI_SQL_BIGINT:
    case BRI_SQL_UNSIGNED_LONG_INT:
        *number = *static_cast<const int64_t*>(value);
        return true;
    case BRI_SQL_INT:
    case BRI_SQL_UNSIGNED_INT:
        *number = *static_cast<const int32_t*>(value);
        return true;
    case BRI_SQL_SMALLINT:
    case BRI_SQL_UNSIGNED_SMALLINT:
        *number = *static_cast<const int16_t*>(value);
        return true;
    default: {
        // Text or decimal forms: read the digits, bounded by the length.
        std::string text(static_cast<const char*>(value), static_cast<size_t>(length));
        char* end = nullptr;
        long long parsed = strtoll(text.c_str(), &end, 10);
        if (end == text.c_str())
            return false;
        *number = parsed;
        return true;
    }
    }
}

// refused: the row cannot give a batch (logged where found); created: the
// sequence had no row and now has one at 0, to be moved on at once.
enum class Attempt { reserved, created, retry, missingTable, refused };

// One transaction: move the row on by a batch and read its new end; a
// sequence without a row gets one at 0 instead. *first/*last receive the batch.
Attempt ReserveOnce(DBConnection* connection, const std::string& literal, int32_t* first, int32_t* last)
{
    std::string update = "update SeqGenState set CURRENTBATCHEND = CURRENTBATCHEND + " +
        std::to_string(SEQ_BATCH_SIZE) + " where SEQNAME = " + literal;
    std::string select = "select SEQNAME, CURRENTBATCHEND from SeqGenState where SEQNAME = " + literal;
    if (BeginDBTransaction(connection) != VELMORA_SUCCESS)
        return Attempt::retry;
    LogTrace("Update Query %s\n", update.c_str());
    if (ExecuteUpdate(connection, update.c_str()) != VELMORA_SUCCESS) {
        RollbackDBTransaction(connection);
        DBResultSet* probe = ExecuteQuery(connection, kProbeStatement);
        bool tableThere = probe != nullptr;
        FreeDBResultSet(probe);
        if (!tableThere)
            return Attempt::missingTable;
        LogError("ExecuteUpdate Failed for update\n");
        return Attempt::retry;
    }
    LogTrace("Query %s\n", select.c_str());
    DBResultSet* result = ExecuteQuery(connection, select.c_str());
    if (result == nullptr) {
        RollbackDBTransaction(connection);
        return Attempt::missingTable;
    }
    int64_t end = 0;
    bool hasRow = FirstNumber(result, &end);
    bool twoRows = result->rowCount > 1;
    FreeDBResultSet(result);
    if (twoRows) {
        // Only a SeqGenState without its primary key lets this happen; the
        // rows moved on together, so a batch from either would be shared.
        LogError("SeqGenState holds the sequence %s twice\n", literal.c_str());
        RollbackDBTransaction(connection);
        return Attempt::refused;
    }
    if (hasRow) {
        if (end > INT32_MAX || end - SEQ_BATCH_SIZE + 1 < INT32_MIN) {
            LogError("Sequence %s is exhausted (batch end %lld)\n", literal.c_str(), static_cast<long long>(end));
            RollbackDBTransaction(connection);
            return Attempt::refused;
        }
        if (CommitDBTransaction(connection) != VELMORA_SUCCESS)
            return Attempt::retry;
        *first = static_cast<int32_t>(end - SEQ_BATCH_SIZE + 1);
        *last = static_cast<int32_t>(end);
        return Attempt::reserved;
    }
    // No row yet. A batch is only ever taken from a row this transaction
    // has just moved on: an update that found no row proves nothing about
    // the select after it, which may already see a first row another process
    // committed in between (and would then hand out that process's batch).
    // So the row is created at 0 on its own, and the next attempt moves it.
    RollbackDBTransaction(connection);
    std::string insert = "insert into SeqGenState (SEQNAME, CURRENTBATCHEND) values (" + literal + ", 0)";
    LogTrace("Insert Query %s\n", insert.c_str());
    if (ExecuteUpdate(connection, insert.c_str()) != VELMORA_SUCCESS) {
        // Most likely another process inserted the row first: the next
        // attempt finds it and moves it on.
        LogDebug("ExecuteUpdate Failed for insert\n");
    }
    return Attempt::created;
}

bool IsConnectionForMysql(const std::string& connectionName)
{
    const ConnParamsEntry* params = GetConnParams(connectionName.c_str());
    return params != nullptr && params->databaseType != nullptr && GetDBTypeIndex(params->databaseType) == 0;
}

} // namespace

extern "C" int UpdateSeqGen(const char* tableName, const char* sequenceName)
{
    LogTrace("Inside UpdateSeqGen \n");
    if (sequenceName == nullptr || sequenceName[0] == '\0')
        return VELMORA_FAILURE;
    if (strlen(sequenceName) > SEQ_NAME_MAX_LENGTH) {
        LogError("Sequence name longer than %d bytes: %.64s...\n", SEQ_NAME_MAX_LENGTH, sequenceName);
        return VELMORA_FAILURE;
    }
    int32_t first = 0, last = 0;
    Attempt outcome = Attempt::retry;
    try {
        std::string connectionName = ConnectionNameFor(tableName);
        std::string literal = Literal(sequenceName, IsConnectionForMysql(connectionName));
        std::lock_guard<PlatGlobalMutex> hold(g_lock);
        for (int attempt = 0; attempt < kAttempts && (outcome == Attempt::retry || outcome == Attempt::created);
             attempt++) {
            // A row just created is moved on at once; a failed attempt waits.
            if (attempt > 0 && outcome == Attempt::retry)
                PlatSleepMs(static_cast<unsigned>(10 * attempt));
            DBConnection* connection = ReservationConnection(connectionName);
            if (connection == nullptr)
                continue;
            outcome = ReserveOnce(connection, literal, &first, &last);
        }
    } catch (const std::bad_alloc&) {
        LogError("Memory allocation Failed\n");
        return VELMORA_ALLOC_FAILURE;
    }
    if (outcome == Attempt::missingTable) {
        LogError("Table doesn't Exists for UpdateSeqGen\n");
        return VELMORA_FAILURE;
    }
    if (outcome != Attempt::reserved)
        return VELMORA_FAILURE;
    return StoreSeqBatch(sequenceName, first, last);
}

extern "C" int SequenceGenerator(void)
{
    LogTrace("Inside SequenceGenerator\n");
    int result = VELMORA_SUCCESS;
    LockObject(&gv_seqState);
    try {
        // Pairs of (table, sequence), copied so the registry's lock is not
        // held while the statements run.
        std::vector<std::pair<std::string, std::string>> wanted;
        LockObject(&gv_tableDefns);
        for (LCDNode* node = gv_tableDefns.head; node != nullptr && result == VELMORA_SUCCESS; node = node->next) {
            auto* table = static_cast<const TableDefn*>(node->data);
            if (table == nullptr || table->columns == nullptr || table->columns->count == 0) {
                LogError("Table definition %s has no columns\n", table && table->name ? table->name : "(null)");
                result = VELMORA_FAILURE;
                break;
            }
            for (LCDNode* c = table->columns->head; c != nullptr; c = c->next) {
                auto* column = static_cast<const ColumnDefn*>(c->data);
                if (column != nullptr && column->generatorName != nullptr)
                    wanted.emplace_back(table->name ? table->name : "", column->generatorName);
            }
        }
        UnlockObject(&gv_tableDefns);
        // One reservation per sequence: a second one for a sequence shared
        // by two columns would throw away the batch just reserved.
        std::set<std::string> reserved;
        for (const auto& [table, sequence] : wanted) {
            if (!reserved.insert(sequence).second)
                continue;
            if (UpdateSeqGen(table.c_str(), sequence.c_str()) != VELMORA_SUCCESS)
                LogError("Cannot reserve identifiers for %s\n", sequence.c_str());
        }
        if (result == VELMORA_SUCCESS && reserved.count(SEQ_INSTANCE_ID_KEY) == 0 &&
            UpdateSeqGen(nullptr, SEQ_INSTANCE_ID_KEY) != VELMORA_SUCCESS)
            LogError("Cannot reserve identifiers for %s\n", SEQ_INSTANCE_ID_KEY);
    } catch (const std::bad_alloc&) {
        LogError("Memory allocation Failed\n");
        result = VELMORA_ALLOC_FAILURE;
    }
    UnlockObject(&gv_seqState);
    return result;
}

extern "C" int PrepareSeqGenState(void)
{
    std::vector<std::string> names;
    try {
        LockObject(&gv_connParams);
        for (LCDNode* node = gv_connParams.head; node != nullptr; node = node->next) {
            auto* entry = static_cast<const ConnParamsEntry*>(node->data);
            if (entry != nullptr && entry->connectionName != nullptr)
                names.emplace_back(entry->connectionName);
        }
        UnlockObject(&gv_connParams);
    } catch (const std::bad_alloc&) {
        UnlockObject(&gv_connParams);
        return VELMORA_ALLOC_FAILURE;
    }
    std::lock_guard<PlatGlobalMutex> hold(g_lock);
    for (const std::string& name : names) {
        DBConnection* connection = ReservationConnection(name);
        auto readable = [&] {
            DBResultSet* probe = connection ? ExecuteQuery(connection, kProbeStatement) : nullptr;
            bool found = probe != nullptr;
            FreeDBResultSet(probe);
            return found;
        };
        if (readable())
            continue;
        // Another process may create it at the same moment: whichever
        // create fails, the table is there when the probe reads it.
        if (connection != nullptr && ExecuteUpdate(connection, kCreateStatement) == VELMORA_SUCCESS) {
            LogDebug("Created table SeqGenState in %s\n", name.c_str());
            continue;
        }
        if (!readable()) {
            LogError("Cannot create SeqGenState in %s.\n", name.c_str());
            return VELMORA_FAILURE;
        }
    }
    return VELMORA_SUCCESS;
}

extern "C" void CloseSeqGenConnections(void)
{
    std::lock_guard<PlatGlobalMutex> hold(g_lock);
    for (auto& [name, connection] : g_connections)
        CloseDBConnection(connection);
    g_connections.clear();
}
