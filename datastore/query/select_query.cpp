/*
 * Query descriptions: the query record, its pool and its lists.
 *
 * A query's pool has an allocator of its own. The pools of the library take
 * no locks, and queries are built and freed on many threads at once: with a
 * shared allocator two threads growing their queries would take blocks from
 * the same free lists. Only the link into the root pool's child list is
 * shared, and that is changed under the object lock keyed on
 * g_rootChildrenKey (the project's lock, which the Windows build has too).
 */
#include "velmora/select_query.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "query_pool.h"
#include "runtime/log.h"
#include "runtime/object_lock.h"
#include "velmora/base_alloc.h"
#include "velmora/string_routines.h"

namespace {

const char g_rootChildrenKey = 0;

/* Holds the lock on the root pool's child list for a scope. */
class RootChildrenLock {
public:
    RootChildrenLock() { LockObject(&g_rootChildrenKey); }
    ~RootChildrenLock() { UnlockObject(&g_rootChildrenKey); }
    RootChildrenLock(const RootChildrenLock&) = delete;
    RootChildrenLock& operator=(const RootChildrenLock&) = delete;
};

constexpr const char* kOperatorTexts[] = {"INVALID OPERATOR", "<", ">", "<=", ">=", "=", "!=", "AND", "OR", "LIKE",
                                          "BETWEEN"};
constexpr const char* kAggregateNames[] = {"INVALID TYPE", "DISTINCT", "COUNT", "MIN", "MAX", "SUM", "AVG"};
constexpr const char* kJoinTypeNames[] = {"INNER_JOIN", "LEFT_JOIN"};

/* Unlinks node (whose predecessor is previous) without freeing it: the
 * nodes of a query's lists belong to its pool. */
void UnlinkPoolNode(LCDVector* list, LCDNode* previous, LCDNode* node)
{
    if (previous)
        previous->next = node->next;
    else
        list->head = node->next;
    if (list->tail == node)
        list->tail = previous;
    list->count--;
}

bool NamesMatch(const char* stored, const char* wanted)
{
    return stored && wanted && CompareNoCase(stored, wanted) == 0;
}

} // namespace

namespace velmora_query {

bool PoolCopyText(char** out, const char* text, MemPool* pool)
{
    *out = nullptr;
    if (!text)
        return true;
    return PoolStrdup(out, text, pool) == VELMORA_SUCCESS;
}

LCDVector* PoolList(MemPool* pool)
{
    auto* list = PoolNew<LCDVector>(pool);
    if (list)
        InitVector(list, nullptr);
    return list;
}

int PoolListAppend(MemPool* pool, LCDVector* list, void* data)
{
    if (!pool || !list || !data)
        return VELMORA_FAILURE;
    auto* node = PoolNew<LCDNode>(pool);
    if (!node) {
        LogError("Query list: MEMORY_ALLOCATION_FAILURE\n");
        return VELMORA_FAILURE;
    }
    node->data = data;
    return AddElement(list, node) == VELMORA_SUCCESS ? VELMORA_SUCCESS : VELMORA_FAILURE;
}

} // namespace velmora_query

using namespace velmora_query;

extern "C" {

const char* GetQueryOperatorText(uint8_t op) { return op <= QUERY_OP_MAX_CODE ? kOperatorTexts[op] : nullptr; }

const char* GetQueryAggregateName(uint8_t aggregate)
{
    return aggregate <= QUERY_AGGREGATE_MAX_CODE ? kAggregateNames[aggregate] : nullptr;
}

const char* GetQueryJoinTypeName(uint8_t joinType)
{
    return joinType <= QUERY_LEFT_JOIN ? kJoinTypeNames[joinType] : nullptr;
}

const char* GetQueryColumnQualifier(const QueryColumn* column)
{
    if (!column)
        return nullptr;
    if (column->tableAlias && column->tableAlias[0])
        return column->tableAlias;
    if (column->tableName && column->tableName[0])
        return column->tableName;
    return nullptr;
}

SelectQuery* CreateSelectQuery(void)
{
    auto* query = static_cast<SelectQuery*>(BriCalloc(1, sizeof(SelectQuery)));
    if (!query) {
        LogError("\nMEMORY ALLOCATION FOR SELECTQUERYPTR FAILED\n");
        return nullptr;
    }
    MemAllocator* allocator = nullptr;
    MemPool* pool = nullptr;
    if (CreateMemAllocator(&allocator) == VELMORA_SUCCESS) {
        RootChildrenLock lock;
        if (CreateMemPool(&pool, gv_rootPool, allocator) == VELMORA_SUCCESS)
            SetMemAllocatorOwner(allocator, pool);
        else
            DestroyMemAllocator(allocator);
    }
    if (pool) {
        query->pool = pool;
        query->columns = PoolList(pool);
        query->joins = PoolList(pool);
        query->tables = PoolList(pool);
    }
    if (!pool || !query->columns || !query->joins || !query->tables) {
        LogError("\nMEMORY ALLOCATION FOR SELECTQUERYPTR FAILED\n");
        FreeSelectQuery(query);
        return nullptr;
    }
    return query;
}

void FreeSelectQuery(SelectQuery* query)
{
    if (!query)
        return;
    if (query->pool) {
        RootChildrenLock lock;
        DestroyMemPool(query->pool);
    }
    free(query);
}

int AddSelectColumn(SelectQuery* query, QueryColumn* column)
{
    if (!query)
        return VELMORA_FAILURE;
    return PoolListAppend(query->pool, query->columns, column);
}

int RemoveSelectColumn(SelectQuery* query, const char* columnName, const char* tableName)
{
    if (!query || !query->columns || !columnName) {
        LogError("Invalid Column Name\n");
        return VELMORA_FAILURE;
    }
    bool removed = false;
    {
        LCDVector* list = query->columns;
        LockObject(list);
        LCDNode* previous = nullptr;
        LCDNode* node = list->head;
        while (node) {
            LCDNode* next = node->next; /* taken before the node may go */
            auto* column = static_cast<QueryColumn*>(node->data);
            bool tableMatches = !column || !column->tableName || NamesMatch(column->tableName, tableName);
            if (column && NamesMatch(column->columnName, columnName) && tableMatches) {
                UnlinkPoolNode(list, previous, node);
                removed = true;
            } else {
                previous = node;
            }
            node = next;
        }
        UnlockObject(list);
    }
    if (!removed) {
        LogError("Invalid Column Name\n");
        return VELMORA_FAILURE;
    }
    return VELMORA_SUCCESS;
}

int CreateAndAddSelectColumn(SelectQuery* query, const char* tableName, const char* tableAlias, const char* columnName,
                             const char* columnAlias, int32_t length, uint8_t type, uint8_t aggregate)
{
    if (!query)
        return VELMORA_FAILURE;
    QueryColumn* column =
        CreateQueryColumn(tableName, tableAlias, columnName, columnAlias, length, type, aggregate, query->pool);
    return column ? AddSelectColumn(query, column) : VELMORA_FAILURE;
}

LCDVector* CreateColumnList(MemPool* pool)
{
    if (!pool)
        return nullptr;
    LCDVector* list = PoolList(pool);
    if (!list)
        LogError("CreateColumnList: MEMORY_ALLOCATION_FAILURE\n");
    return list;
}

int AddListColumn(MemPool* pool, QueryColumn* column, LCDVector* list) { return PoolListAppend(pool, list, column); }

LCDVector* MakeColumnVector(MemPool* pool, int32_t n, ...)
{
    LogTrace("@@ Inside MakeColumnVector @@\n");
    if (!pool || n < 0)
        return nullptr;
    LCDVector* list = PoolList(pool);
    va_list names;
    va_start(names, n);
    for (int32_t i = 0; list && i < n; i++) {
        const char* name = va_arg(names, const char*);
        char* copy = nullptr;
        if (!name || !PoolCopyText(&copy, name, pool) || PoolListAppend(pool, list, copy) != VELMORA_SUCCESS)
            list = nullptr;
    }
    va_end(names);
    if (!list)
        LogError("MakeColumnVector: Cannot make the list of column names\n");
    return list;
}

LCDVector* MakeColumnVectorForJoin(MemPool* pool, const char* table, int32_t n, ...)
{
    LogTrace("@@ Inside MakeColumnVectorForJoin @@\n");
    if (!pool || n < 0)
        return nullptr;
    LCDVector* list = PoolList(pool);
    va_list names;
    va_start(names, n);
    for (int32_t i = 0; list && i < n; i++) {
        const char* name = va_arg(names, const char*);
        QueryColumn* column = CreateListColumn(table, nullptr, name, nullptr, 0, 5, QUERY_AGGREGATE_NONE, pool);
        if (!column || PoolListAppend(pool, list, column) != VELMORA_SUCCESS)
            list = nullptr;
    }
    va_end(names);
    return list;
}

int AddJoinClause(SelectQuery* query, JoinClause* join)
{
    if (!query)
        return VELMORA_FAILURE;
    return PoolListAppend(query->pool, query->joins, join);
}

int AddJoinToQuery(SelectQuery* query, const char* baseTable, const char* baseAlias, const char* referenceTable,
                   const char* referenceAlias, uint8_t joinType, LCDVector* baseColumns, LCDVector* referenceColumns)
{
    if (!query)
        return VELMORA_FAILURE;
    JoinClause* join = CreateJoinClause(baseTable, baseAlias, referenceTable, referenceAlias, joinType, baseColumns,
                                        referenceColumns, query->pool);
    return join ? AddJoinClause(query, join) : VELMORA_FAILURE;
}

int AddNaturalJoinToQuery(SelectQuery* query, const char* baseTable, const char* baseAlias, const char* referenceTable,
                          const char* referenceAlias, uint8_t joinType, int32_t n, ...)
{
    if (!query || n <= 0)
        return VELMORA_FAILURE;
    MemPool* pool = query->pool;
    LCDVector* columns = PoolList(pool);
    va_list names;
    va_start(names, n);
    for (int32_t i = 0; columns && i < n; i++) {
        const char* name = va_arg(names, const char*);
        QueryColumn* column = CreateListColumn(nullptr, nullptr, name, nullptr, 0, 5, QUERY_AGGREGATE_NONE, pool);
        if (!column || PoolListAppend(pool, columns, column) != VELMORA_SUCCESS)
            columns = nullptr;
    }
    va_end(names);
    if (!columns)
        return VELMORA_FAILURE;
    return AddJoinToQuery(query, baseTable, baseAlias, referenceTable, referenceAlias, joinType, columns, columns);
}

int AddQueryTable(SelectQuery* query, QueryTable* table)
{
    if (!query)
        return VELMORA_FAILURE;
    return PoolListAppend(query->pool, query->tables, table);
}

SelectQuery* SetCriteria(SelectQuery* query, QueryCondition* root)
{
    if (query)
        query->criteria = root;
    return query;
}

int SetGroupBy(SelectQuery* query, GroupByClause* clause)
{
    if (!query)
        return VELMORA_FAILURE;
    query->groupBy = clause;
    return VELMORA_SUCCESS;
}

int SetSort(SelectQuery* query, SortClause* clause)
{
    if (!query)
        return VELMORA_FAILURE;
    query->sort = clause;
    return VELMORA_SUCCESS;
}

} // extern "C"
