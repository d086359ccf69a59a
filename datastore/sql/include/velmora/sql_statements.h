/*
 * Generated statements for the tables of the store: the dialect of each
 * table is chosen here and its generator called.
 *
 * Dialect of a table: when gv_dsnMapValid is 1, the database type of the
 * connection that the data-source map names for the table; otherwise the
 * type at gv_defaultDBType (velmora/connection_files.h). The dialect must
 * be registered (velmora/sql_dialect.h).
 *
 * Statements are new heap strings that the caller frees, or null after an
 * error line in the library's log.
 */
#ifndef VELMORA_SQL_STATEMENTS_H
#define VELMORA_SQL_STATEMENTS_H

#include "velmora/result_set.h"
#include "velmora/select_query.h"
#include "velmora/sql_dialect.h"
#include "velmora/table_data.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The connection name the data-source map gives the table (owned by the
 * map), or null: "No DataSourceMap Entry for Table name %s \n". */
const char* GetConnectionNameForTable(const char* tableName);

/* The database type / provider name of a connection's parameters (owned by
 * them), or null: "dbConnPtr is NULL for Connection Name %s \n". */
const char* GetDBTypeOfConnection(const char* connectionName);
const char* GetProviderOfConnection(const char* connectionName);

/* The dialect for a table, as described above; null when the table has no
 * connection or its type has no registered dialect. */
const SqlDialect* GetSqlDialectForTable(const char* tableName);

/* The select in the dialect of the query's first listed table or, without
 * tables, of its first join's base table; neither: "No Tables selected in
 * select query.\n". Logs "Generated Select Query: %s\n" at debug level. */
char* GenerateSelectQuery(SelectQuery* query);

/* The row statements in the table's dialect; "Generated Update Query: %s\n"
 * and so on at debug level. */
char* GenerateUpdateQuery(const char* tableName, const RowObject* row);
char* GenerateInsertQuery(const char* tableName, const RowObject* row);
char* GenerateDeleteQuery(const char* tableName, const RowObject* row);

/* The create-table statement in the table's dialect; "Generated Create
 * Table Query: %s\n" at debug level. */
char* GenerateCreateTableQuery(const char* tableName);

/* The current row of resultSet converted by the named dialect (state 1
 * stored, no successor); null when the dialect is not registered or the
 * conversion fails. */
RowObject* ConvertResultSetToRows(const DBResultSet* resultSet, const char* dialectName, const char* tableName);

#ifdef __cplusplus
}
#endif
#endif
