/*
 * The two connection files of the data directory and their records.
 *
 * dsn_table_map.txt says which connection holds each table: whitespace-
 * separated pairs "table connection", read token by token to the end of the
 * file (a trailing single token is ignored). They become gv_dataSourceMap,
 * in file order; lookups compare table names case-insensitively and return
 * the first match.
 *
 * connparams.txt describes the connections, one per line:
 *
 *   name number dsn user password reserved connection provider dbtype usecs[ connection string]
 *
 * ten whitespace-separated words (number a decimal 16-bit integer, password
 * "NULL" for none, the sixth word read and discarded), then, when the tenth
 * word is "YES" (any case), the rest of the line after one separator
 * character is the connection string (at most 254 characters; line end,
 * "\n" or "\r\n", removed). They become gv_connParams, in file order;
 * lookups by connection name are case-sensitive; the first entry is the
 * default connection.
 *
 * Both files are read as hostile input: a line or token of any length, a
 * missing word, a bad number, a NUL byte or a CRLF line end never overruns
 * anything. An entry that cannot be built is skipped with an error line
 * naming why; loading goes on with the next line (pair).
 *
 * Each file is looked for first at the path given and then at
 * "<root>/data/<file name>" under the library root gv_velmoraRoot.
 *
 * Locking: the two lists are guarded by their object locks (LCDVector).
 * Entries handed out by the lookups stay owned by the list: do not free
 * them, and do not use them after the entry is deleted or the list freed.
 *
 * Results: 1 (VELMORA_SUCCESS), 0 (VELMORA_FAILURE), 99
 * (VELMORA_ALLOC_FAILURE); null where a record is returned.
 */
#ifndef VELMORA_CONNECTION_FILES_H
#define VELMORA_CONNECTION_FILES_H

#include <stdint.h>

#include "velmora/lcd_vector.h"
#include "velmora/result.h"

#ifdef __cplusplus
extern "C" {
#endif

/* --- Data-source map ------------------------------------------------------ */

typedef struct DataSourceMapEntry {
    char* tableName;      /* owned */
    char* connectionName; /* owned */
} DataSourceMapEntry;

/* The map, in file order (of DataSourceMapEntry). Empty at start. */
extern LCDVector gv_dataSourceMap;

/* A new entry holding copies of both names; null when either is null or
 * an allocation fails. Freed with FreeDataSourceMapEntry unless added. */
DataSourceMapEntry* CreateDataSourceMapEntry(const char* tableName, const char* connectionName);

/* Frees the entry and its names (it must not be in the map). */
void FreeDataSourceMapEntry(DataSourceMapEntry* entry);

/* Appends the entry to the map, which then owns it. 1; 0 for null; 99 when
 * the node cannot be allocated (the entry stays with the caller). */
int AddDataSourceMapEntry(DataSourceMapEntry* entry);

/* Removes and frees the first entry of that table (case-insensitive). 1
 * when found; 0 otherwise. */
int DeleteDataSourceMapEntry(const char* tableName);

/* The first entry of that table (case-insensitive); null for a null name,
 * an empty map or no match. */
DataSourceMapEntry* GetDataSourceMapEntry(const char* tableName);

/* Frees every entry of the map; the map ends empty. */
void FreeAllDataSourceMapEntries(void);

/* Appends the pairs of the file to the map (see above). Opening falls back
 * to "<root>/data/dsn_table_map.txt" (debug line "Opening %s\n"); when
 * neither opens: "Cannot open DataSourceMap Entry File.\n" and 0. 99 when
 * an entry cannot be allocated (entries read so far stay). 1 otherwise. */
int LoadDataSourceMapEntryFromFile(const char* path);

/* --- Connection parameters ------------------------------------------------ */

/* Longest connection string a connparams.txt line may carry. */
#define CONN_STRING_MAX_LENGTH 254

typedef struct ConnParamsEntry {
    char* name;                  /* word 1 */
    int16_t number;              /* word 2 */
    char* dsn;                   /* word 3: data-source name */
    char* userId;                /* word 4 */
    char* password;              /* word 5; null for "NULL" */
    int32_t reserved;            /* always 0 (word 6 is discarded) */
    char* connectionName;        /* word 7: the lookup key */
    uint8_t useConnectionString; /* word 10: 1 for "YES" */
    char* connectionString;      /* rest of the line with "YES", else null */
    char* providerName;          /* word 8: provider and ODBC driver name */
    char* databaseType;          /* word 9: "MYSQL", "PGSQL", "FIREBIRD", "SQLITE" */
} ConnParamsEntry;

/* The entries, in file order (of ConnParamsEntry). Empty at start. */
extern LCDVector gv_connParams;

/* A new entry holding copies of the eleven values (a null text stays null).
 * Null when the connection name is null or an allocation fails. Freed with
 * FreeConnParamsEntry unless added. */
ConnParamsEntry* CreateConnParamsEntry(const char* name, int16_t number, const char* dsn, const char* userId,
                                       const char* password, int32_t reserved, const char* connectionName,
                                       uint8_t useConnectionString, const char* connectionString,
                                       const char* providerName, const char* databaseType);

/* Frees the entry and its texts (it must not be in the list). */
void FreeConnParamsEntry(ConnParamsEntry* entry);

/* Appends the entry, which the list then owns. 1; 0 for null; 99 when the
 * node cannot be allocated (the entry stays with the caller). */
int AddConnParamsEntry(ConnParamsEntry* entry);

/* Removes and frees the first entry of that connection name
 * (case-sensitive). 1 when found; 0 otherwise. */
int RemoveConnParamsEntry(const char* connectionName);

/* The first entry of that connection name (case-sensitive), or null. */
ConnParamsEntry* GetConnParams(const char* connectionName);

/* The connection name of the first entry (owned by the entry), or null
 * with the error line "Connection Name IS NULL\n". */
const char* GetDefaultConnectionName(void);

/* Frees every entry; the list ends empty. */
void FreeAllConnParamsEntries(void);

/* Appends the lines of the file to the list (see above). Opening falls back
 * to "<root>/data/connparams.txt" (debug line "Opening %s\n"); when neither
 * opens: "Cannot open Connection Parameters File.\n" and 0. 99 when an
 * entry cannot be allocated (entries read so far stay). 1 otherwise. */
int LoadConnParamsEntryFromFile(const char* path);

/* --- Dialect selection flags ---------------------------------------------- */

/* Database type names by index: 0 "MYSQL", 1 "PGSQL", 2 "FIREBIRD",
 * 3 "SQLITE". */
#define DB_TYPE_COUNT 4

/* 1 when each table's dialect follows the database type of its connection;
 * 0 (the start) when every table uses the type at gv_defaultDBType. */
extern uint8_t gv_dsnMapValid;
/* Index of the default database type (see DB_TYPE_COUNT); 0 at start. */
extern uint8_t gv_defaultDBType;

/* The name of a database type index; null above 3. Static text. */
const char* GetDBTypeName(uint8_t index);

/* The index of a database type name (case-insensitive); -1 when unknown or
 * null. */
int GetDBTypeIndex(const char* name);

/* Loads the database provider for a type name when SetDSNMapValid(0, type)
 * makes that type the default. 1 on success. */
typedef int (*DSNMapProviderLoader)(const char* databaseType);

/* Installs the loader SetDSNMapValid calls (null: none, the start). Start-up
 * installs the provider registry's; until then no provider is loaded. */
void SetDSNMapProviderLoader(DSNMapProviderLoader loader);

/* status 1: gv_dsnMapValid = 1. status 0: gv_dsnMapValid = 0,
 * gv_defaultDBType = type, and the installed loader loads the provider of
 * that type's name. Other statuses log "\nInvalid Status\n", a type above 3
 * logs "\nInvalid DB Type\n"; both change nothing and give 0. 1 otherwise
 * (the loader's failure is logged, not returned). */
int SetDSNMapValid(uint8_t status, uint8_t type);

#ifdef __cplusplus
}
#endif
#endif
