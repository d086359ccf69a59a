/*
 * Query descriptions: the constructors of columns, conditions, joins,
 * tables, grouping and sorting. Each copies its texts into the pool and
 * either returns a complete record or null; a failed constructor's partial
 * allocations stay in the pool and go with the query.
 */
#include <stdint.h>
#include <string.h>

#include "query_pool.h"
#include "runtime/log.h"
#include "velmora/select_query.h"

using namespace velmora_query;

namespace {

QueryColumn* MakeColumn(const char* tableName, const char* tableAlias, const char* columnName, const char* columnAlias,
                        int32_t length, uint8_t type, uint8_t aggregate, MemPool* pool, bool nameRequired)
{
    if (!columnName && (nameRequired || aggregate == QUERY_AGGREGATE_NONE)) {
        LogError("\nColumn Name is NULL\n");
        return nullptr;
    }
    if (type > QUERY_MAX_COLUMN_TYPE) {
        LogError("\nInvalid Data Type\n");
        return nullptr;
    }
    if (aggregate > QUERY_AGGREGATE_MAX_CODE) {
        LogError("\nInvalid Aggregate Type\n");
        return nullptr;
    }
    auto* column = PoolNew<QueryColumn>(pool);
    if (!column || !PoolCopyText(&column->tableName, tableName, pool) ||
        !PoolCopyText(&column->tableAlias, tableAlias, pool) || !PoolCopyText(&column->columnName, columnName, pool) ||
        !PoolCopyText(&column->columnAlias, columnAlias, pool)) {
        LogError("\nMEMORY ALLOCATION FOR QUERYCOLUMN FAILED\n");
        return nullptr;
    }
    column->length = length;
    column->type = type;
    column->aggregate = aggregate;
    return column;
}

QueryCondition* MakeJunction(QueryCondition* left, QueryCondition* right, uint8_t op, MemPool* pool)
{
    if (!left || !right) {
        LogError("\nEmpty Condition Assigned\n");
        return nullptr;
    }
    auto* node = PoolNew<QueryCondition>(pool);
    if (!node) {
        LogError("\nMEMORY ALLOCATION FOR QUERYCONDITION FAILED\n");
        return nullptr;
    }
    node->op = op;
    node->left = left;
    node->right = right;
    left->parent = node;
    right->parent = node;
    return node;
}

bool IsLeafOperator(uint8_t op)
{
    return op != QUERY_OP_INVALID && op != QUERY_OP_AND && op != QUERY_OP_OR && op <= QUERY_OP_MAX_CODE;
}

} // namespace

extern "C" {

QueryColumn* CreateQueryColumn(const char* tableName, const char* tableAlias, const char* columnName,
                               const char* columnAlias, int32_t length, uint8_t type, uint8_t aggregate, MemPool* pool)
{
    return MakeColumn(tableName, tableAlias, columnName, columnAlias, length, type, aggregate, pool, false);
}

QueryColumn* CreateListColumn(const char* tableName, const char* tableAlias, const char* columnName,
                              const char* columnAlias, int32_t length, uint8_t type, uint8_t aggregate, MemPool* pool)
{
    return MakeColumn(tableName, tableAlias, columnName, columnAlias, length, type, aggregate, pool, true);
}

QueryCondition* CreateQueryCondition(QueryColumn* column, const void* value, int32_t valueLength, uint8_t op,
                                     MemPool* pool)
{
    if (!column) {
        LogError("\nEmpty Column Assigned\n");
        return nullptr;
    }
    if (valueLength < 0 || (!value && valueLength != 0)) {
        LogError("\nInvalid Condition Value\n");
        return nullptr;
    }
    if (!IsLeafOperator(op)) {
        LogError("\nInvalid Operator\n");
        return nullptr;
    }
    auto* leaf = PoolNew<QueryCondition>(pool);
    void* copy = nullptr;
    if (!leaf || (value && PoolMemdup(&copy, value, static_cast<size_t>(valueLength), pool) != VELMORA_SUCCESS)) {
        LogError("\nMEMORY ALLOCATION FOR QUERYCONDITION FAILED\n");
        return nullptr;
    }
    leaf->column = column;
    leaf->value = copy;
    leaf->valueLength = valueLength;
    leaf->op = op;
    return leaf;
}

QueryCondition* CreateConditionAnd(QueryCondition* left, QueryCondition* right, MemPool* pool)
{
    return MakeJunction(left, right, QUERY_OP_AND, pool);
}

QueryCondition* CreateConditionOr(QueryCondition* left, QueryCondition* right, MemPool* pool)
{
    return MakeJunction(left, right, QUERY_OP_OR, pool);
}

JoinClause* CreateJoinClause(const char* baseTable, const char* baseAlias, const char* referenceTable,
                             const char* referenceAlias, uint8_t joinType, LCDVector* baseColumns,
                             LCDVector* referenceColumns, MemPool* pool)
{
    auto* join = PoolNew<JoinClause>(pool);
    if (!join || !PoolCopyText(&join->baseTable, baseTable, pool) || !PoolCopyText(&join->baseAlias, baseAlias, pool) ||
        !PoolCopyText(&join->referenceTable, referenceTable, pool) ||
        !PoolCopyText(&join->referenceAlias, referenceAlias, pool)) {
        LogError("\nMEMORY ALLOCATION FOR JOINCLAUSE FAILED\n");
        return nullptr;
    }
    join->joinType = joinType;
    join->baseColumns = baseColumns;
    join->referenceColumns = referenceColumns;
    return join;
}

QueryTable* CreateQueryTable(const char* tableName, const char* alias, MemPool* pool)
{
    auto* table = PoolNew<QueryTable>(pool);
    if (!table || !PoolCopyText(&table->tableName, tableName, pool) || !PoolCopyText(&table->alias, alias, pool)) {
        LogError("\nMEMORY ALLOCATION FOR QUERYTABLE FAILED\n");
        return nullptr;
    }
    return table;
}

GroupByClause* CreateGroupByClause(LCDVector* columns, QueryCondition* having, MemPool* pool)
{
    auto* clause = PoolNew<GroupByClause>(pool);
    if (!clause) {
        LogError("\nMEMORY ALLOCATION FOR GROUPBYCLAUSE FAILED\n");
        return nullptr;
    }
    clause->columns = columns;
    clause->having = having;
    return clause;
}

SortClause* CreateSortClause(LCDVector* columns, uint8_t ascending, MemPool* pool)
{
    auto* clause = PoolNew<SortClause>(pool);
    if (!clause) {
        LogError("\nMEMORY ALLOCATION FOR SORTCLAUSE FAILED\n");
        return nullptr;
    }
    clause->columns = columns;
    clause->ascending = ascending;
    return clause;
}

} // extern "C"
