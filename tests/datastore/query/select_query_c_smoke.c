/* The query-description header compiles as C and its API works from C,
 * variadic builders included. */
#include <string.h>

#include "velmora/select_query.h"

/* 0 when everything behaves; otherwise the number of the failed step. */
int SelectQueryCApiSmoke(void)
{
    SelectQuery* query = CreateSelectQuery();
    QueryColumn* id;
    QueryCondition* leaf;
    int result = 0;
    int32_t seven = 7;

    if (query == NULL)
        return 1;
    id = CreateQueryColumn("Machine", "m", "id", NULL, 0, 5, QUERY_AGGREGATE_NONE, query->pool);
    leaf = CreateQueryCondition(id, &seven, 4, QUERY_OP_EQUAL, query->pool);
    if (!AddSelectColumn(query, id) || leaf == NULL)
        result = 2;
    else if (!AddNaturalJoinToQuery(query, "Machine", "m", "Disk", "d", QUERY_INNER_JOIN, 2, "id", "site"))
        result = 3;
    else if (SetCriteria(query, leaf) != query || strcmp(GetQueryOperatorText(leaf->op), "=") != 0)
        result = 4;
    else if (((JoinClause*)query->joins->head->data)->baseColumns->count != 2)
        result = 5;
    FreeSelectQuery(query);
    return result;
}
