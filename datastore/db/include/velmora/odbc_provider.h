/*
 * The ODBC provider: the store's way to its databases (unixODBC on Linux,
 * odbc32/odbccp32 on Windows), in the catalogue under the name "ODBC".
 *
 * A connection opened here holds a small record of the provider's own (the
 * ODBC connection handle) in DBConnection.providerHandle; its address is
 * the key of the object lock that serialises the statements on that
 * connection, so a connection shared by several threads runs one statement
 * at a time. All connections share one ODBC environment, gv_odbcEnv: the
 * first connect allocates it and the last disconnect frees it.
 *
 * Results come back as DBResultSet values whose column types follow the
 * ODBC SQL types (GetODBCColumnType) and whose values are in the forms of
 * velmora/column_types.h: integers and floating values in their widths,
 * dates, times and time stamps as 11-byte BriDateTimeValue records (only
 * the part the type has), booleans as one byte, text as its bytes, binary
 * columns as their raw bytes. Values of any length are read in pieces, so a
 * long text or binary value arrives whole whatever size the driver reports.
 *
 * Every failure logs the routine's message and then the driver's
 * diagnostic records (state, native code, message) once. A failure whose
 * state says the server or the link to it is gone (class 08, a server
 * shutting down) marks the connection for re-opening
 * (MarkDBConnectionForReopen).
 *
 * Results: 1 (VELMORA_SUCCESS), 0 (VELMORA_FAILURE), 99
 * (VELMORA_ALLOC_FAILURE); null where a record is returned.
 */
#ifndef VELMORA_ODBC_PROVIDER_H
#define VELMORA_ODBC_PROVIDER_H

#include <stdint.h>

#include "velmora/connection_files.h"
#include "velmora/db_provider.h"
#include "velmora/result_set.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The ODBC environment handle (SQLHENV) while any connection is open, else
 * null. */
extern void* gv_odbcEnv;

/* The provider table "ODBC", for the catalogue (static; never freed). */
const DBProvider* GetODBCProvider(void);

/* --- Provider operations (the slots of the table) ---------------------- */

/* Connects from the entry: its connection string when it uses one, else
 * BuildODBCConnectionString. "ODBC connection Parameter missing\n" for a
 * null entry or one without DSN (and without connection string);
 * "Connecting to driver failed\n" when the driver refuses. Null then. */
DBConnection* ODBCConnect(const ConnParamsEntry* params);

/* Prepares and runs a statement that returns no rows. A searched update or
 * delete that matches no row succeeds. */
int ODBCExecuteUpdate(DBConnection* connection, const char* statement);

/* Runs a query and returns all its rows; null on any failure, with nothing
 * of the partial result left allocated. */
DBResultSet* ODBCExecuteQuery(DBConnection* connection, const char* statement);

/* Disconnects (rolling back an open transaction), frees the handle and the
 * provider record; the DBConnection record stays with the caller. */
void ODBCDisconnect(DBConnection* connection);

/* Autocommit off; commit or roll back, then autocommit on again. */
int ODBCBeginTransaction(DBConnection* connection);
int ODBCCommitTransaction(DBConnection* connection);
int ODBCRollbackTransaction(DBConnection* connection);

/* Prepares the statement, binds its one parameter as a long binary value
 * sent at execution, and sends the pieces that source gives until it
 * returns DB_CHUNK_DONE. 0 when source returns 0 (the statement is
 * cancelled) or the driver fails. */
int ODBCExecuteUpdateBlob(DBConnection* connection, const char* statement, DBChunkSource source, void* context);

/* Runs the query and, row by row, passes every long column value (binary
 * or long text) to sink in pieces of at most 1024 bytes, each value ended by
 * sink(null, 0). Other columns are read and dropped. 0 when sink returns 0
 * or the driver fails. */
int ODBCExecuteQueryBlob(DBConnection* connection, const char* statement, DBChunkSink sink, void* context);

/* --- Helpers ------------------------------------------------------------ */

/* "DSN=<dsn>;UID=<user>;PWD=<password>;Driver={<provider>}", each value
 * left empty when absent (the separators stay: DSN=sales;UID=app;;Driver=
 * {ODBC}). A value holding ';', '{' or '}' or starting with a blank is
 * written in braces with '}' doubled, so it cannot add attributes. A new
 * string (free), or null for a null entry or when it cannot be allocated. */
char* BuildODBCConnectionString(const ConnParamsEntry* params);

/* The column type code of an ODBC SQL type (0 for types without one). */
uint8_t GetODBCColumnType(int sqlType);

/* --- Data sources (installer interface) -------------------------------- */

/* Adds a data source for driver through SQLConfigDataSource with the
 * attributes DSN, DESCRIPTION, SERVER, UID, PWD, DATABASE, leaving out a
 * null value and any value "NULL" (any case). "DriverName or DSN name is
 * NULL \n" and 0 without driver or DSN; "SQLConfigDataSource returned FALSE
 * \n" and 0 when the installer refuses; 0 for a value holding ';' or '='
 * (it would add attributes). 1. */
int CreateDSN(const char* dsn, const char* description, const char* server, const char* userId, const char* password,
              const char* database, const char* driver);

/* One data source per line: DSN, description, server, user id, password,
 * database (six words), then the driver name (the rest of the line). A line
 * that fails logs "Creating DSN %s Failed\n" and the next one is read.
 * "Error opening File %s \n" and 0 when the file cannot be opened; 1 once
 * it is read. */
int CreateDSNFromFile(const char* path);

#ifdef __cplusplus
}
#endif
#endif
