/*
 * Database providers, connections and connection pools.
 *
 * A provider is a table of operations (DBProvider) that opens connections
 * and runs statements on them; ODBC is the one built into the library. The
 * catalogue lists the providers the library knows; two provider slots hold
 * the ones loaded for use. A connection (DBConnection) remembers the slot of
 * the provider that opened it, so every operation here dispatches through
 * that slot.
 *
 * On top of the providers sit the connection pools: one per entry of
 * gv_connParams, named after its connection name, in file order (the first
 * is the default pool). A thread asks a pool for a connection with
 * GetDBConnection and hands it back with ReleaseDBConnection. A pool of one
 * connection shares it among all threads (owner 1); in a larger pool each
 * thread owns at most one connection, found again by its thread id, and a
 * thread that finds none free gets null at once (pools neither grow nor
 * wait). A connection is re-opened on the first request once it is older
 * than DB_CONNECTION_MAX_AGE seconds, or after a statement on it found the
 * server gone (MarkDBConnectionForReopen).
 *
 * Locking: the pools and each pool's connection list are guarded by their
 * object locks. A provider serialises the statements on one connection
 * itself. A connection handed out by GetDBConnection belongs to its owner
 * until released; a shared connection (single-connection pool) is used by
 * many threads at once, so its provider must serialise.
 *
 * Results: 1 (VELMORA_SUCCESS), 0 (VELMORA_FAILURE), 99
 * (VELMORA_ALLOC_FAILURE); null where a record is returned.
 */
#ifndef VELMORA_DB_PROVIDER_H
#define VELMORA_DB_PROVIDER_H

#include <stdint.h>

#include "velmora/connection_files.h"
#include "velmora/lcd_vector.h"
#include "velmora/result.h"
#include "velmora/result_set.h"

#ifdef __cplusplus
extern "C" {
#endif

/* --- Connections ---------------------------------------------------------- */

/* Owner values of a connection besides a thread id. */
#define DB_CONNECTION_FREE (-1)
#define DB_CONNECTION_SHARED 1

/* A connection is re-opened on a request more than this many seconds after
 * it was opened (just under eight hours: servers drop idle sessions at
 * eight). */
#define DB_CONNECTION_MAX_AGE 27900u

typedef struct DBConnection {
    void* providerHandle;  /* the provider's own connection record */
    char* connectionName;  /* owned: the ConnParamsEntry's connection name */
    int32_t providerSlot;  /* slot of the provider that opened it */
    int32_t reserved;      /* always 0 */
    int32_t owner;         /* thread id, DB_CONNECTION_SHARED or DB_CONNECTION_FREE */
    uint8_t inTransaction; /* 1 between a successful begin and commit/rollback */
    uint32_t openedAt;     /* seconds of the system clock (the clock seam) */
    /* 1 once a statement found the connection lost; read and written only
     * through MarkDBConnectionForReopen / IsDBConnectionMarkedForReopen. */
    uint8_t reopenNeeded;
} DBConnection;

/* A new connection record for a provider's open operation: holds
 * providerHandle and a copy of connectionName; slot 0, owner free, not in
 * transaction, opened now. Null when an allocation fails (providerHandle
 * stays with the caller). Freed by CloseDBConnection (after the provider's
 * close) or, before it was handed out, by FreeDBConnectionRecord. */
DBConnection* CreateDBConnectionRecord(void* providerHandle, const char* connectionName);

/* Frees the record and its name, not the provider handle. Null is ignored. */
void FreeDBConnectionRecord(DBConnection* connection);

/* Marks the connection to be re-opened on its pool's next request for it:
 * a provider calls this when a statement failed because the connection to
 * the server is lost (SQLSTATE class 08, or the server shutting down).
 * Safe from any thread. Null is ignored. */
void MarkDBConnectionForReopen(DBConnection* connection);

/* 1 when the connection is marked for re-opening, else 0 (also for null). */
int IsDBConnectionMarkedForReopen(const DBConnection* connection);

/* --- Providers ------------------------------------------------------------ */

/* The version a provider table of this header carries first. */
#define DB_PROVIDER_VERSION 1

/* Completion code of a chunk source: no more pieces. */
#define DB_CHUNK_DONE 2

/* Gives the next piece of a streamed value: *buffer and *length (bytes) of
 * a piece that stays valid until the next call. Returns 1 with a piece,
 * DB_CHUNK_DONE (2) when the value is complete (no piece in that call), 0 to
 * abandon the statement. */
typedef int (*DBChunkSource)(const void** buffer, int32_t* length, void* context);

/* Receives a piece of a streamed column value of the current row; a call
 * with a null piece and length 0 ends that value. Returns 1 to go on, 0 to
 * abandon the statement. */
typedef int (*DBChunkSink)(const void* piece, int32_t length, void* context);

typedef struct DBProvider {
    uint32_t version; /* DB_PROVIDER_VERSION */
    const char* name; /* the catalogue name, e.g. "ODBC"; static text */
    /* Opens a connection from the entry: a record from
     * CreateDBConnectionRecord, or null. */
    DBConnection* (*openConnection)(const ConnParamsEntry* params);
    int (*executeUpdate)(DBConnection* connection, const char* statement);
    DBResultSet* (*executeQuery)(DBConnection* connection, const char* statement);
    /* Closes the provider's side and frees providerHandle; not the record. */
    void (*closeConnection)(DBConnection* connection);
    int (*beginTransaction)(DBConnection* connection);
    int (*commitTransaction)(DBConnection* connection);
    int (*rollbackTransaction)(DBConnection* connection);
    /* The statement's one parameter is the streamed value of source. */
    int (*executeUpdateBlob)(DBConnection* connection, const char* statement, DBChunkSource source, void* context);
    /* Long binary columns go to sink piece by piece instead of the rows. */
    int (*executeQueryBlob)(DBConnection* connection, const char* statement, DBChunkSink sink, void* context);
} DBProvider;

/* Number of provider slots. */
#define DB_PROVIDER_SLOT_COUNT 2

/* The loaded providers (catalogue entries) by slot; null when empty. */
extern const DBProvider* gv_providerSlots[DB_PROVIDER_SLOT_COUNT];

/* Adds a provider to the catalogue (the table must outlive its use; it is
 * not copied). 1; 0 for null, a table of another version or a name already
 * in the catalogue; 99 when the catalogue cannot grow. */
int RegisterDBProvider(const DBProvider* provider);

/* The catalogue entry of that name (exact match), or null. */
const DBProvider* FindDBProvider(const char* name);

/* Empties the catalogue and both slots (for shut-down and tests). */
void ClearDBProviders(void);

/* Start-up: "InitDBProvider Failed as already initialized\n" and 0 when
 * slot 0 is set. Otherwise clears both slots, adds the built-in providers to
 * the catalogue, loads "ODBC" and "SQLITE" (which finds no provider) into
 * the slots, readies gv_connParams and gv_connPools, and installs the
 * provider loader of SetDSNMapValid. 1. */
int InitDBProvider(void);

/* Puts the catalogue entry of that name into the first empty slot. 0 when
 * no entry has that name or no slot is empty. */
int LoadDBProvider(const char* name);

/* Empties the slot that holds that name (nothing when none does). */
void UnloadDBProvider(const char* name);

/* The slot holding that name, or -1. */
int GetDBProviderIndex(const char* name);

/* Loads the provider named by the first ConnParamsEntry; "Cannot Load %s
 * provider.\n" or, without entries, "Cannot Load DB provider.\n" and 0. */
int LoadDefaultDBProvider(void);

/* --- Statements on one connection ----------------------------------------- */

/* Opens a connection with the provider the entry names: slot set, owner
 * free, not in transaction, opened now. Null when the provider is not
 * loaded or cannot open it. */
DBConnection* OpenDBConnection(const ConnParamsEntry* params);

/* Runs a statement that returns no rows. 0 for a null connection or
 * statement (with their messages) or when the provider fails. */
int ExecuteUpdate(DBConnection* connection, const char* statement);

/* Runs a query; the caller frees the result with FreeDBResultSet. Null for
 * a null connection or statement or when the provider fails. */
DBResultSet* ExecuteQuery(DBConnection* connection, const char* statement);

/* Runs a statement whose one parameter is streamed from source. */
int ExecuteUpdateBlob(DBConnection* connection, const char* statement, DBChunkSource source, void* context);

/* Runs a query whose long binary columns are streamed to sink. */
int ExecuteQueryBlob(DBConnection* connection, const char* statement, DBChunkSink sink, void* context);

/* Closes the provider's side and frees the record. Null is ignored. The
 * connection must not be in a pool. */
void CloseDBConnection(DBConnection* connection);

/* Begin marks the connection in transaction when the provider succeeds.
 * Commit and rollback fail without calling the provider unless it is
 * marked; otherwise they call it and clear the mark whatever it returns. */
int BeginDBTransaction(DBConnection* connection);
int CommitDBTransaction(DBConnection* connection);
int RollbackDBTransaction(DBConnection* connection);

/* --- Pools ---------------------------------------------------------------- */

typedef struct DBConnectionPool {
    char* connectionName;  /* owned */
    LCDVector connections; /* of DBConnection */
} DBConnectionPool;

/* The pools (of DBConnectionPool), in connparams.txt order. */
extern LCDVector gv_connPools;

/* One pool of one connection per ConnParamsEntry. "Cannot establish
 * connection.\n" and 0 when a connection cannot be opened; 99 with
 * "Unable to allocate memory for connection pool\n". */
int EstablishDBConnections(void);

/* One pool of count connections (0: 5) per entry; connections that cannot
 * be opened are left out. "There is no entry in data source vector\n" and 0
 * without entries. */
int EstablishDBConnectionPool(int32_t count);

/* A connection of the named pool (null name: the only pool) for the calling
 * thread, re-opened when old or lost; null when none is free. */
DBConnection* GetDBConnection(const char* connectionName);

/* Frees the calling thread's connection of the named pool (or the shared
 * one). 0 when the thread holds none. */
int ReleaseDBConnection(const char* connectionName);

/* Closes every connection of every pool and frees the pools. */
void CloseAllDBConnections(void);

/* Seconds of the clock the pools use; tests replace it (null: the system
 * clock). */
typedef uint32_t (*DBClock)(void);
void SetDBClock(DBClock clock);
uint32_t DBClockNow(void);

/* --- Tables and databases ------------------------------------------------- */

/* Creates the table in the named connection's database. */
int CreateTableInDB(const char* tableName, const char* connectionName);

/* Creates every defined table in its database, in registry order; stops
 * with 0 at the first statement that fails. */
int CreateAllTables(void);

/* Runs "create database <name>" on the default connection. */
int CreateDB(const char* databaseName);

#ifdef __cplusplus
}
#endif
#endif
