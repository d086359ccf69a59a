/*
 * SQL dialects: statement text for MySQL/MariaDB, PostgreSQL, SQLite and
 * Firebird.
 *
 * Each dialect is a SqlDialect table of operations that turns the store's
 * own descriptions into statement text: a SelectQuery into a select, a row
 * of a table into an update, insert or delete keyed by the table's primary
 * key, a table definition into a create-table statement, and the current
 * row of a database result back into a RowObject. The registry below holds
 * the tables; the dispatch (velmora/sql_statements.h) picks one per table.
 *
 * Statements are new heap strings that the caller frees with free, or null
 * after an error line in the library's log. Generators keep no state and
 * may run on several threads at once.
 *
 * Values are data, never SQL: every value a generator writes as a quoted
 * literal has its single quotes doubled (and, for MySQL, its backslashes
 * too), numbers are written only when their text is a number, and every
 * AND/OR node of a condition is parenthesised as the tree groups it.
 */
#ifndef VELMORA_SQL_DIALECT_H
#define VELMORA_SQL_DIALECT_H

#include <stdint.h>

#include "velmora/lcd_vector.h"
#include "velmora/result.h"
#include "velmora/result_set.h"
#include "velmora/select_query.h"
#include "velmora/table_data.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The layout of SqlDialect below. A table registers only with this version;
 * a later layout gets a new number and keeps the fields before it. */
#define SQL_DIALECT_VERSION 1

typedef char* (*SqlGenSelectFn)(SelectQuery* query);
typedef char* (*SqlGenRowFn)(const char* tableName, const RowObject* row);
typedef char* (*SqlGenCreateFn)(const char* tableName);
/* Converts the current row of resultSet (the cursor's); tableName is read
 * by the dialects that need the table's column types (SQLite). */
typedef RowObject* (*SqlConvRowFn)(const DBResultSet* resultSet, const char* tableName);

typedef struct SqlDialect {
    uint32_t version; /* SQL_DIALECT_VERSION */
    const char* name; /* "MYSQL", "PGSQL", "SQLITE", "FIREBIRD" */
    SqlGenSelectFn GenSelectQuery;
    SqlGenRowFn GenUpdateQuery;
    SqlGenRowFn GenInsertQuery;
    SqlGenRowFn GenDeleteQuery;
    SqlGenCreateFn GenCreateQuery;
    SqlConvRowFn ConvResultsetToRowobject;
} SqlDialect;

/* --- Registry ----------------------------------------------------------- */

/* The registry, in registration order (node data: const SqlDialect*; the
 * tables are static and never freed). A zeroed vector is an empty one. */
extern LCDVector gv_sqlDialects;

/* Empties the registry. */
void InitSqlDialects(void);

/* Adds a dialect table (kept by pointer: it must outlive the registry).
 * 1; 0 for a null table, another version, a missing name or operation, or
 * a name already registered (case-insensitive); 99 when the node cannot be
 * allocated. */
int RegisterSqlDialect(const SqlDialect* dialect);

/* The dialect registered under name (case-insensitive), or null. */
const SqlDialect* GetSqlDialect(const char* name);

/* Empties the registry (the tables themselves are static). */
void FreeSqlDialects(void);

/* The registration entry of each dialect: 1, 0 or 99 as RegisterSqlDialect. */
int RegisterPgsqlDialect(void);
int RegisterMysqlDialect(void);
int RegisterSqliteDialect(void);
int RegisterFirebirdDialect(void);

/* Registers PGSQL, MYSQL, SQLITE and FIREBIRD, in that order; stops at
 * the first failure and returns its result. */
int RegisterAllSqlDialects(void);

/* --- The dialects' operations --------------------------------------------- */

/* MySQL / MariaDB */
char* MysqlGenSelectQuery(SelectQuery* query);
char* MysqlGenUpdateQuery(const char* tableName, const RowObject* row);
char* MysqlGenInsertQuery(const char* tableName, const RowObject* row);
char* MysqlGenDelteQuery(const char* tableName, const RowObject* row);
char* MysqlGenCreateQuery(const char* tableName);
RowObject* MysqlConvResultsetToRowobject(const DBResultSet* resultSet, const char* tableName);

/* PostgreSQL */
char* PgsqlGenSelectQuery(SelectQuery* query);
char* PgsqlGenUpdateQuery(const char* tableName, const RowObject* row);
char* PgsqlGenInsertQuery(const char* tableName, const RowObject* row);
char* PgsqlGenDeleteQuery(const char* tableName, const RowObject* row);
char* PgsqlGenCreateQuery(const char* tableName);
RowObject* PgsqlConvResultsetToRowobject(const DBResultSet* resultSet, const char* tableName);

/* SQLite */
char* SqliteGenSelectQuery(SelectQuery* query);
char* SqliteGenUpdateQuery(const char* tableName, const RowObject* row);
char* SqliteGenInsertQuery(const char* tableName, const RowObject* row);
char* SqliteGenDeleteQuery(const char* tableName, const RowObject* row);
char* SqliteGenCreateQuery(const char* tableName);
RowObject* SqliteConvResultsetToRowobject(const DBResultSet* resultSet, const char* tableName);

/* Firebird */
char* FirebirdGenSelectQuery(SelectQuery* query);
char* FirebirdGenUpdateQuery(const char* tableName, const RowObject* row);
char* FirebirdGenInsertQuery(const char* tableName, const RowObject* row);
char* FirebirdGenDeleteQuery(const char* tableName, const RowObject* row);
char* FirebirdGenCreateQuery(const char* tableName);
RowObject* FirebirdConvResultsetToRowobject(const DBResultSet* resultSet, const char* tableName);

/* The pieces of a select, each as text allocated from pool (the query's),
 * or null: the select list, the join text, the table list, the condition,
 * the group-by and the sort text. GenCriteriaString prints one subtree. */
#define VELMORA_DECLARE_SELECT_PIECES(Prefix)                                                                          \
    char* Prefix##GenerateColumnsStr(LCDVector* columns, MemPool* pool);                                               \
    char* Prefix##GenerateJoinsStr(LCDVector* joins, MemPool* pool);                                                   \
    char* Prefix##GenerateTableListStr(LCDVector* tables, MemPool* pool);                                              \
    char* Prefix##GenerateCriteriaStr(QueryCondition* criteria, MemPool* pool);                                        \
    char* Prefix##GenCriteriaString(QueryCondition* node, MemPool* pool);                                              \
    char* Prefix##GenerateGroupByStr(GroupByClause* groupBy, MemPool* pool);                                           \
    char* Prefix##GenerateSortColumnStr(SortClause* sort, MemPool* pool);
VELMORA_DECLARE_SELECT_PIECES(Mysql)
VELMORA_DECLARE_SELECT_PIECES(Pgsql)
VELMORA_DECLARE_SELECT_PIECES(Sqlite)
VELMORA_DECLARE_SELECT_PIECES(Firebird)
#undef VELMORA_DECLARE_SELECT_PIECES

#ifdef __cplusplus
}
#endif
#endif
