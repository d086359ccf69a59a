/*
 * Stored queries: select queries kept as rows of the query tables and
 * rebuilt as query descriptions (velmora/select_query.h).
 *
 * One row of QueryDetails per query; its select columns (QueryvsColumns ->
 * ColumnDetails), listed tables (QueryvsTables -> TableDetails), joins
 * (QueryvsJoins -> JoinDetails, one column pair each), grouping (QueryvsGB
 * -> GroupByDetails), sorting (QueryvsSort -> SortDetails) and condition
 * (QueryvsCriteria -> BooleanExp / RelationalExp) are detail rows. Each
 * table is read over the connection that the data-source map gives for it
 * (the default connection when the map is not in use), so the store must be
 * started (InitVelmora) before any call here.
 *
 * Condition: an expression id is looked up in BooleanExp first (an AND node
 * when OPERATOR is "AND", an OR node for any other text, joining the
 * subtrees of LEXPRESSION and REXPRESSION); else it is the R_ID of a
 * RelationalExp row, a leaf comparing column LIDENTIFIER with the text
 * RIDENTIFIER under OPERATOR ("<" ... "BETWEEN"); an id in neither table
 * gives no node and the trace "\nInvalid ID\n". Expressions that refer to
 * themselves through their subtree, or nest deeper than
 * STORED_QUERY_MAX_DEPTH, give no condition and an error line naming the
 * id; the rest of the query is still built.
 *
 * Missing detail rows leave that part of the query empty (a query without
 * columns selects "*"). Values read from the tables reach the statement
 * only through the dialect's generator, which quotes and escapes them.
 *
 * Results: 1 success, 0 failure, 99 allocation failure; null for records.
 */
#ifndef VELMORA_STORED_QUERY_H
#define VELMORA_STORED_QUERY_H

#include <stdint.h>

#include "velmora/mem_pool.h"
#include "velmora/select_query.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Nesting of condition expressions beyond this is refused. */
#define STORED_QUERY_MAX_DEPTH 200

/* Fills query (empty, from CreateSelectQuery) from the rows of stored query
 * queryId, in this order: columns, tables, joins, group by, sort,
 * condition; records are allocated from pool (the query's). 1 when the
 * query was built (possibly partly, see above); 0 for a null query or pool;
 * 99 when memory ran out. */
int BuildStoredQuery(int32_t queryId, SelectQuery* query, MemPool* pool);

/* The statement of stored query queryId in the dialect of its first table,
 * a heap string the caller frees; null when the query cannot be built or
 * generated (the generator logs why). */
char* GetStoredQueryStatement(int32_t queryId);

/* Builds the query, generates its statement (logged as "Generated Select
 * Query: %s\n" at debug level) and frees both. 1 when a statement was
 * generated, else 0. */
int GenerateStoredQuery(int32_t queryId);

/* Runs "SELECT QUERY_ID FROM QueryDetails" ("Query failed\n" and 0 when it
 * gives no result), then builds, generates and executes every stored query
 * over the connection of its first table, freeing each result. 1 when
 * every statement ran; 0 when any could not be built or run (each logged,
 * the others still run). Works on the store already started. */
int RunAllStoredQueries(void);

/* Writes the stored condition of queryId as one text at trace level
 * ("\n%s\n"): a boolean expression as its left subtree, OPERATOR and right
 * subtree, a comparison as LIDENTIFIER, OPERATOR and RIDENTIFIER, all
 * without blanks. pool is used for the text; a null pool is ignored. */
void PrintCriteriaOfStoredQuery(int32_t queryId, MemPool* pool);

/* The text PrintCriteriaOfStoredQuery writes, as a heap string the caller
 * frees; an empty string when the query has no condition; null on a
 * self-referring or too deep expression or when memory runs out. */
char* GetStoredQueryCriteriaText(int32_t queryId);

#ifdef __cplusplus
}
#endif
#endif
