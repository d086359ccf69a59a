/*
 * Query descriptions: a select statement as a tree of plain records.
 *
 * Callers of the data store never write select text. They build a
 * SelectQuery naming the columns, tables, joins, condition, grouping,
 * ordering and paging of one query, and a SQL dialect turns it into
 * statement text. The order of the building calls is the order of the lists
 * and therefore of the generated text.
 *
 * Memory: every record, text, value and list below is allocated (zeroed)
 * from the memory pool of its SelectQuery and is never freed one by one;
 * FreeSelectQuery releases the whole tree at once. The lists are LCDVectors
 * whose node data is the record (or, for MakeColumnVector, the text).
 * Their nodes come from the pool too, so a query list must never be handed
 * to FreeVector, DeleteElement, DeleteElementAt, DeleteLCDVector or
 * MergeVector (those free nodes with the C library's free): add to them with
 * the Add... operations below and remove select columns with
 * RemoveSelectColumn. Reading them (head/next, GetNthElement, ElementAt) is
 * fine.
 *
 * Every constructor takes the pool to allocate from (the query's pool) as
 * its last argument, copies the texts it is given (a null text stays null)
 * and returns the new record, or null after logging why. A constructor that
 * fails leaves nothing behind that the query would show.
 *
 * Results: the list and set operations return 1 on success and 0 on failure
 * (null arguments, or a node that cannot be allocated); they never crash on
 * null arguments.
 */
#ifndef VELMORA_SELECT_QUERY_H
#define VELMORA_SELECT_QUERY_H

#include <stdint.h>

#include "velmora/lcd_vector.h"
#include "velmora/mem_pool.h"
#include "velmora/result.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Aggregates a column may carry. The generators print the name
 * (GetQueryAggregateName). */
enum QueryAggregate {
    QUERY_AGGREGATE_NONE = 0,
    QUERY_AGGREGATE_DISTINCT = 1,
    QUERY_AGGREGATE_COUNT = 2,
    QUERY_AGGREGATE_MIN = 3,
    QUERY_AGGREGATE_MAX = 4,
    QUERY_AGGREGATE_SUM = 5,
    QUERY_AGGREGATE_AVG = 6
};
#define QUERY_AGGREGATE_MAX_CODE 6

/* Operators of a condition. Codes 1 to 8 are those of the in-memory value
 * comparison (BRI_OP_* of velmora/column_types.h). */
enum QueryOperator {
    QUERY_OP_INVALID = 0,
    QUERY_OP_LESS = 1,
    QUERY_OP_GREATER = 2,
    QUERY_OP_LESS_EQUAL = 3,
    QUERY_OP_GREATER_EQUAL = 4,
    QUERY_OP_EQUAL = 5,
    QUERY_OP_NOT_EQUAL = 6,
    QUERY_OP_AND = 7,
    QUERY_OP_OR = 8,
    QUERY_OP_LIKE = 9,
    QUERY_OP_BETWEEN = 10
};
#define QUERY_OP_MAX_CODE 10

/* Join types; any other value is refused when the statement is generated. */
enum QueryJoinType { QUERY_INNER_JOIN = 0, QUERY_LEFT_JOIN = 1 };

/* The highest column type code a query column may carry. */
#define QUERY_MAX_COLUMN_TYPE 21

/* One column of a select list, a join, a group-by or a sort list. Any text
 * may be null. Printed qualified, the column uses the table alias when
 * present, else the table name, else it stands unqualified
 * (GetQueryColumnQualifier). */
typedef struct QueryColumn {
    char* tableName;
    char* tableAlias;
    char* columnName; /* null only with an aggregate: COUNT(*) */
    char* columnAlias;
    int32_t length;
    uint8_t type;      /* column type code, 0 to 21 */
    uint8_t aggregate; /* QueryAggregate code */
} QueryColumn;

/* One table of the plain table list (a cross product, in order). */
typedef struct QueryTable {
    char* tableName;
    char* alias;
} QueryTable;

/* A joined table pair. The two column lists pair up by position: base
 * column n equals reference column n. Both may be the same list (a natural
 * join, see AddNaturalJoinToQuery). */
typedef struct JoinClause {
    char* baseTable;
    char* baseAlias;
    char* referenceTable;
    char* referenceAlias;
    uint8_t joinType;            /* QueryJoinType */
    LCDVector* baseColumns;      /* of QueryColumn */
    LCDVector* referenceColumns; /* of QueryColumn */
} JoinClause;

/* A node of a condition tree. A leaf compares its column with its value
 * (held in the stored form of the column's type, NUL-terminated; for
 * BETWEEN a text that already holds both bounds and the word between them).
 * An AND or OR node has no column and no value and joins its two
 * children. */
typedef struct QueryCondition {
    QueryColumn* column; /* null in AND/OR nodes */
    void* value;         /* null for no value */
    int32_t valueLength;
    uint8_t op; /* QueryOperator code */
    struct QueryCondition* left;
    struct QueryCondition* right;
    struct QueryCondition* parent;
} QueryCondition;

/* Grouping; having is a single leaf whose column carries an aggregate, or
 * null. */
typedef struct GroupByClause {
    LCDVector* columns; /* of QueryColumn */
    QueryCondition* having;
} GroupByClause;

/* Ordering: one direction for the whole list. */
typedef struct SortClause {
    LCDVector* columns; /* of QueryColumn */
    uint8_t ascending;  /* nonzero ascending, 0 descending */
} SortClause;

/* One select query. An empty column list means all columns. */
typedef struct SelectQuery {
    MemPool* pool;            /* a child of the root pool, made with the query */
    LCDVector* columns;       /* of QueryColumn: the select list */
    LCDVector* joins;         /* of JoinClause, in order */
    QueryCondition* criteria; /* root of the condition, or null */
    GroupByClause* groupBy;   /* or null */
    SortClause* sort;         /* or null */
    LCDVector* tables;        /* of QueryTable, in order */
    int32_t limit;            /* most rows; 0: no limit */
    int32_t offset;           /* rows to skip; 0: none */
} SelectQuery;

/* --- Codes and their texts ----------------------------------------------- */

/* The operator's text: "INVALID OPERATOR" for 0, "<", ">", "<=", ">=", "=",
 * "!=", "AND", "OR", "LIKE", "BETWEEN" for 1 to 10. Null for codes above 10,
 * so that a generator can refuse them. Static text, never freed. */
const char* GetQueryOperatorText(uint8_t op);

/* The aggregate's name: "INVALID TYPE" for 0, "DISTINCT", "COUNT", "MIN",
 * "MAX", "SUM", "AVG" for 1 to 6. Null for codes above 6. Static text. */
const char* GetQueryAggregateName(uint8_t aggregate);

/* "INNER_JOIN" for 0, "LEFT_JOIN" for 1, null otherwise. Static text. */
const char* GetQueryJoinTypeName(uint8_t joinType);

/* What a column is qualified with when printed: its table alias when
 * present, else its table name, else null (the column stands unqualified).
 * An empty text counts as absent. Null for a null column. */
const char* GetQueryColumnQualifier(const QueryColumn* column);

/* --- The query ------------------------------------------------------------ */

/* A new query: the record itself is a zeroed heap block, its pool a child
 * of gv_rootPool (a pool of its own when the root pool does not exist) with
 * an allocator of its own, so that queries on different threads share no
 * pool state (pools take no locks). The three lists are empty, criteria, group by and sort null, limit and offset 0.
 * Null, with the error "\nMEMORY ALLOCATION FOR SELECTQUERYPTR FAILED\n",
 * when the pool or the lists cannot be made; nothing is left allocated. */
SelectQuery* CreateSelectQuery(void);

/* Releases the query's pool (every record, list, text and value of the
 * query, and whatever a generator allocated from it) and the record. A null
 * query is ignored. */
void FreeSelectQuery(SelectQuery* query);

/* --- Columns -------------------------------------------------------------- */

/* A column. Refused (null, error line) when the column name is null and the
 * aggregate is 0: "\nColumn Name is NULL\n"; when type is above 21:
 * "\nInvalid Data Type\n"; when the aggregate is above 6:
 * "\nInvalid Aggregate Type\n"; and for a null pool. A null column name
 * with an aggregate is accepted (printed as COUNT(*) and the like). */
QueryColumn* CreateQueryColumn(const char* tableName, const char* tableAlias, const char* columnName,
                               const char* columnAlias, int32_t length, uint8_t type, uint8_t aggregate, MemPool* pool);

/* As CreateQueryColumn, but the column name is always required: null gives
 * "\nColumn Name is NULL\n" whatever the aggregate. For join, group-by and
 * sort lists. */
QueryColumn* CreateListColumn(const char* tableName, const char* tableAlias, const char* columnName,
                              const char* columnAlias, int32_t length, uint8_t type, uint8_t aggregate, MemPool* pool);

/* Appends column to the select list. */
int AddSelectColumn(SelectQuery* query, QueryColumn* column);

/* Removes every select column whose name equals columnName and, when the
 * column carries a table name, whose table name equals tableName too (both
 * case-insensitive; a column with a table name never matches a null
 * tableName). 1 when at least one column went; otherwise the error line
 * "Invalid Column Name\n" and 0, after the whole list has been walked. */
int RemoveSelectColumn(SelectQuery* query, const char* columnName, const char* tableName);

/* Creates a column (CreateQueryColumn) from the query's pool and appends it
 * to the select list. 0 when either step fails; nothing is added then. */
int CreateAndAddSelectColumn(SelectQuery* query, const char* tableName, const char* tableAlias, const char* columnName,
                             const char* columnAlias, int32_t length, uint8_t type, uint8_t aggregate);

/* An empty list from the pool for join, group-by or sort columns. Null for a
 * null pool or when it cannot be allocated. */
LCDVector* CreateColumnList(MemPool* pool);

/* Appends column to a list made by CreateColumnList (or any list of the
 * same query); the node comes from pool. */
int AddListColumn(MemPool* pool, QueryColumn* column, LCDVector* list);

/* A list of n copied texts, in argument order (each a const char*). Null
 * when n is negative, a name is null, or an allocation fails. Trace
 * "@@ Inside MakeColumnVector @@\n". */
LCDVector* MakeColumnVector(MemPool* pool, int32_t n, ...);

/* A list of n QueryColumns of table (table name set, no alias, type 5), one
 * per name (each a const char*). Null when n is negative or a column cannot
 * be made (a null name gives "\nColumn Name is NULL\n"). Trace
 * "@@ Inside MakeColumnVectorForJoin @@\n". */
LCDVector* MakeColumnVectorForJoin(MemPool* pool, const char* table, int32_t n, ...);

/* --- Conditions ----------------------------------------------------------- */

/* A leaf comparing column with a copy of value (valueLength bytes, then a
 * NUL; a null value is kept null). Children and parent null. Refused (null)
 * for a null column ("\nEmpty Column Assigned\n"), a negative length or a
 * non-null length with a null value ("\nInvalid Condition Value\n"), and an
 * operator that no leaf can carry: 0, AND, OR, or above 10
 * ("\nInvalid Operator\n"). */
QueryCondition* CreateQueryCondition(QueryColumn* column, const void* value, int32_t valueLength, uint8_t op,
                                     MemPool* pool);

/* A node with operator AND (7) or OR (8), no column and no value, joining
 * left and right; both children's parent becomes the new node. Null (error
 * "\nEmpty Condition Assigned\n") when a child is null. */
QueryCondition* CreateConditionAnd(QueryCondition* left, QueryCondition* right, MemPool* pool);
QueryCondition* CreateConditionOr(QueryCondition* left, QueryCondition* right, MemPool* pool);

/* Stores root (null clears the condition) and returns the query. */
SelectQuery* SetCriteria(SelectQuery* query, QueryCondition* root);

/* --- Joins, tables, grouping, sorting -------------------------------------- */

/* A join of the two tables on the paired column lists (stored, not
 * copied). The join type is not checked here. Null for a null pool. */
JoinClause* CreateJoinClause(const char* baseTable, const char* baseAlias, const char* referenceTable,
                             const char* referenceAlias, uint8_t joinType, LCDVector* baseColumns,
                             LCDVector* referenceColumns, MemPool* pool);

/* Appends join to the joins. */
int AddJoinClause(SelectQuery* query, JoinClause* join);

/* CreateJoinClause from the query's pool, then AddJoinClause. */
int AddJoinToQuery(SelectQuery* query, const char* baseTable, const char* baseAlias, const char* referenceTable,
                   const char* referenceAlias, uint8_t joinType, LCDVector* baseColumns, LCDVector* referenceColumns);

/* A join on n columns named alike in both tables (each name a const char*):
 * one list of n columns without table (type 5) serves as both the base and
 * the reference columns. 0 when n is not positive or anything cannot be
 * made; nothing is added then. */
int AddNaturalJoinToQuery(SelectQuery* query, const char* baseTable, const char* baseAlias, const char* referenceTable,
                          const char* referenceAlias, uint8_t joinType, int32_t n, ...);

/* A table of the plain table list. Null for a null pool. */
QueryTable* CreateQueryTable(const char* tableName, const char* alias, MemPool* pool);

/* Appends table to the table list. */
int AddQueryTable(SelectQuery* query, QueryTable* table);

/* Grouping on columns (stored, not copied) with an optional having leaf.
 * Null for a null pool. */
GroupByClause* CreateGroupByClause(LCDVector* columns, QueryCondition* having, MemPool* pool);

/* Stores the clause (null clears it). 0 only for a null query. */
int SetGroupBy(SelectQuery* query, GroupByClause* clause);

/* Ordering on columns (stored, not copied), ascending when nonzero. Null
 * for a null pool. */
SortClause* CreateSortClause(LCDVector* columns, uint8_t ascending, MemPool* pool);

/* Stores the clause (null clears it). 0 only for a null query. */
int SetSort(SelectQuery* query, SortClause* clause);

#ifdef __cplusplus
}
#endif
#endif
