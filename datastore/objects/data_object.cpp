/*
 * Creating data objects and fetching them from the database: by a select
 * query, by a condition over a list of tables, by the row that heads them.
 */
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "data_object_internal.h"
#include "runtime/log.h"
#include "runtime/object_lock.h"
#include "table_connection.h"
#include "velmora/base_alloc.h"
#include "velmora/column_types.h"
#include "velmora/criteria.h"
#include "velmora/db_provider.h"
#include "velmora/sql_statements.h"

using namespace velmora_objects::dobj;

namespace {

struct FreeText {
    void operator()(char* text) const { free(text); }
};

/* The tables of a query: the first join's base table, every join's
 * reference table, then the listed tables; each name once. */
std::vector<std::string> QueryTables(const SelectQuery* query)
{
    std::vector<std::string> tables;
    auto add = [&tables](const char* name) {
        if (!name)
            return;
        for (const std::string& seen : tables)
            if (seen == name)
                return;
        tables.emplace_back(name);
    };
    if (query->joins && query->joins->head)
        add(static_cast<JoinClause*>(query->joins->head->data)->baseTable);
    for (LCDNode* node = query->joins ? query->joins->head : nullptr; node; node = node->next)
        add(static_cast<JoinClause*>(node->data)->referenceTable);
    for (LCDNode* node = query->tables ? query->tables->head : nullptr; node; node = node->next)
        add(static_cast<QueryTable*>(node->data)->tableName);
    return tables;
}

/* The first table of the query: the first listed one, else the first
 * join's base table. */
const char* FirstQueryTable(const SelectQuery* query)
{
    if (query->tables && query->tables->head)
        return static_cast<QueryTable*>(query->tables->head->data)->tableName;
    if (query->joins && query->joins->head)
        return static_cast<JoinClause*>(query->joins->head->data)->baseTable;
    return nullptr;
}

/* Columns of one table in a result row: their names, types, definition
 * positions and result positions. */
struct SelectedColumns {
    std::vector<const char*> names;
    std::vector<uint8_t> types;
    std::vector<int32_t> resultPositions;
};

/* Where the table's selected columns stand in the result. With "select *"
 * the tables' columns follow each other in query order (*star counts the
 * columns of the tables before). False when a selected column is not in
 * the definition. */
bool SelectColumnsOf(const SelectQuery* query, const TableDefn* definition, int32_t* star, SelectedColumns* selected)
{
    if (!query->columns || query->columns->count == 0) {
        for (LCDNode* node = definition->columns->head; node; node = node->next) {
            auto* column = static_cast<ColumnDefn*>(node->data);
            selected->names.push_back(column->name);
            selected->types.push_back(column->type);
            selected->resultPositions.push_back((*star)++);
        }
        return true;
    }
    int32_t position = 0;
    for (LCDNode* node = query->columns->head; node; node = node->next, position++) {
        auto* column = static_cast<QueryColumn*>(node->data);
        if (!column->tableName || !column->columnName || column->aggregate != QUERY_AGGREGATE_NONE ||
            strcmp(column->tableName, definition->name) != 0)
            continue;
        const ColumnDefn* defn = nullptr;
        for (LCDNode* c = definition->columns->head; c && !defn; c = c->next)
            if (strcmp(static_cast<ColumnDefn*>(c->data)->name, column->columnName) == 0)
                defn = static_cast<ColumnDefn*>(c->data);
        if (!defn) {
            LogError("Column %s is not in the definition of table %s.\n", column->columnName, definition->name);
            return false;
        }
        selected->names.push_back(defn->name);
        selected->types.push_back(defn->type);
        selected->resultPositions.push_back(position);
    }
    return true;
}

/* A result value in the column's stored form: date and time columns may
 * arrive as text, which is parsed. */
void* StoredValue(const DBColumnValue* cell, uint8_t resultType, uint8_t type, MemPool* pool, int32_t* length,
                  bool* failed)
{
    *length = 0;
    if (!cell || !cell->value)
        return nullptr;
    if (type >= BRI_SQL_DATE && type <= BRI_SQL_DATETIME &&
        !(resultType >= BRI_SQL_DATE && resultType <= BRI_SQL_DATETIME)) {
        void* parsed = nullptr;
        if (AllocateAndCopyColumnValue(&parsed, length, type, static_cast<const char*>(cell->value)) !=
            VELMORA_SUCCESS) {
            *failed = true;
            return nullptr;
        }
        void* copy = PoolCopyValue(pool, parsed, *length, failed);
        free(parsed);
        return copy;
    }
    *length = cell->length > 0 ? cell->length : 0;
    return PoolCopyValue(pool, cell->value, *length, failed);
}

/* The table's collection, filled from every row of the result. */
/* Whether every primary-key value of a result row is NULL: the table's part
 * of an outer-join row that found no row of the table. A stored row never
 * has a NULL key, so such a part is no row. */
bool KeyValuesAllNull(const TableDefn* definition, const char* const* names, void* const* values, int32_t count)
{
    for (int32_t k = 0; k < definition->constraints->primaryKeyCount; k++)
        for (int32_t i = 0; i < count; i++)
            if (strcmp(names[i], definition->constraints->primaryKeys[k]) == 0 && values[i] != nullptr)
                return false;
    return true;
}

bool CreateRowCollectionFromResultSet(const char* table, DBResultSet* resultSet, const SelectQuery* query,
                                      DataObject* dataObject, int32_t* star)
{
    TableDefn* definition = GetTableDefnByName(table);
    if (!definition) {
        LogError("No Table Definition found for table %s.\n", table);
        return false;
    }
    SelectedColumns selected;
    if (!SelectColumnsOf(query, definition, star, &selected))
        return false;
    auto count = static_cast<int32_t>(selected.names.size());
    RowCollection* collection =
        AddCollection(dataObject, table, definition, selected.names.data(), selected.types.data(), count);
    if (!collection) {
        LogError("AddElement Failed.\n");
        return false;
    }
    LogTrace("TableName %s\n", table);
    if (definition->constraints->primaryKeyCount <= 0) {
        LogError("No Primary Keys mentioned for table %s. \n", table);
        return true;
    }
    if (!HoldsPrimaryKey(definition, selected.names.data(), count)) {
        LogError("\nALL PRIMARY KEY COLUMNS SHOULD BE SELECTED FOR %s\n", table);
        return true;
    }
    for (int32_t position : selected.resultPositions)
        if (position >= resultSet->columnCount) {
            LogError("The result holds no column %d for table %s.\n", position, table);
            return true;
        }
    std::vector<const DBColumnValue*> cells(static_cast<size_t>(resultSet->columnCount));
    RowUnit* last = nullptr;
    for (DBResultRow* row = resultSet->firstRow; row; row = row->next) {
        const DBColumnValue* cell = row->values;
        for (auto& slot : cells) {
            slot = cell;
            cell = cell ? cell->next : nullptr;
        }
        size_t slots = static_cast<size_t>(count) + 1;
        auto** values = static_cast<void**>(PoolAlloc(dataObject->pool, sizeof(void*) * slots));
        auto* lengths = static_cast<int32_t*>(PoolAlloc(dataObject->pool, sizeof(int32_t) * slots));
        RowUnit* unit = values && lengths ? CreateRowUnit(table, values, lengths, dataObject->pool) : nullptr;
        if (!unit)
            return false;
        bool failed = false;
        for (int32_t i = 0; i < count; i++) {
            auto position = static_cast<size_t>(selected.resultPositions[static_cast<size_t>(i)]);
            values[i] = StoredValue(cells[position], resultSet->columns[position].type,
                                    selected.types[static_cast<size_t>(i)], dataObject->pool, &lengths[i], &failed);
        }
        if (failed) {
            LogError("Cannot memcopy value.\n");
            return false;
        }
        if (KeyValuesAllNull(definition, selected.names.data(), values, count)) {
            LogTrace("No row of %s in this result row\n", table);
            continue;
        }
        unit->columnCount = count;
        unit->rowState = ROW_STATE_STORED;
        std::string key;
        if (!MakeKeyString(unit, collection, &key))
            return false;
        LogTrace("KeyStr %s\n", key.c_str());
        if (HashContains(&dataObject->keys, key.c_str())) {
            LogTrace("HashKey %s Not Inserted\n", key.c_str());
            continue;
        }
        if (HashPut(&dataObject->keys, key.c_str(), unit) != VELMORA_SUCCESS)
            return false;
        LogTrace("HashKey Inserted\n");
        if (last)
            last->next = unit;
        else
            collection->firstRow = unit;
        last = unit;
    }
    return true;
}

/* A query of its own over tableNames, no aliases. */
SelectQuery* QueryOverTables(LCDVector* tableNames)
{
    SelectQuery* query = CreateSelectQuery();
    if (!query)
        return nullptr;
    for (LCDNode* node = tableNames->head; node; node = node->next) {
        QueryTable* table = CreateQueryTable(static_cast<const char*>(node->data), nullptr, query->pool);
        if (!table || AddQueryTable(query, table) != VELMORA_SUCCESS) {
            FreeSelectQuery(query);
            return nullptr;
        }
    }
    return query;
}

DataObject* FetchOwningQuery(SelectQuery* query)
{
    DataObject* dataObject = GetDataObject(query);
    if (!dataObject) {
        FreeSelectQuery(query);
        return nullptr;
    }
    dataObject->ownsQuery = 1;
    return dataObject;
}

/* The definition's column, or null. */
const ColumnDefn* DefinitionColumn(const TableDefn* definition, const char* name)
{
    for (LCDNode* node = definition->columns->head; node; node = node->next)
        if (strcmp(static_cast<ColumnDefn*>(node->data)->name, name) == 0)
            return static_cast<ColumnDefn*>(node->data);
    return nullptr;
}

/* An equality leaf on table.column with value, from the query's pool. */
QueryCondition* EqualityLeaf(SelectQuery* query, const char* table, const char* column, uint8_t type, const void* value,
                             int32_t length)
{
    // Query columns know types up to 21; a long text compares as a text.
    uint8_t queryType = type > QUERY_MAX_COLUMN_TYPE ? static_cast<uint8_t>(BRI_SQL_VARCHAR) : type;
    QueryColumn* queryColumn =
        CreateQueryColumn(table, nullptr, column, nullptr, length, queryType, QUERY_AGGREGATE_NONE, query->pool);
    if (!queryColumn)
        return nullptr;
    return CreateQueryCondition(queryColumn, value, value ? length : 0, QUERY_OP_EQUAL, query->pool);
}

bool Chain(QueryCondition** root, QueryCondition* leaf, MemPool* pool)
{
    if (!leaf)
        return false;
    *root = *root ? CreateConditionAnd(*root, leaf, pool) : leaf;
    return *root != nullptr;
}

void CompareRootRefTableFrom(const char* referenceTable, const char* referenceColumn, const char* rootTable,
                             const char* rootColumn, uint8_t* found,
                             std::set<std::pair<std::string, std::string>>* seen)
{
    if (*found)
        return;
    if (strcmp(referenceTable, rootTable) == 0 && strcmp(referenceColumn, rootColumn) == 0) {
        *found = 1;
        return;
    }
    // A cycle of foreign keys leads back to a pair already followed.
    if (!seen->emplace(referenceTable, referenceColumn).second)
        return;
    const TableDefn* definition = GetTableDefnByName(referenceTable);
    if (!definition || !definition->constraints || !definition->constraints->foreignKeys)
        return;
    for (LCDNode* node = definition->constraints->foreignKeys->head; node && !*found; node = node->next) {
        auto* key = static_cast<ForeignKeyDefn*>(node->data);
        if (strcmp(key->localColumn, referenceColumn) == 0)
            CompareRootRefTableFrom(key->referenceTable, key->referenceColumn, rootTable, rootColumn, found, seen);
    }
}

/* Truth of a parsed condition on a row object of definition, without
 * recursion (conditions may be nested deeply). */
bool EvaluateCondition(const CriteriaNode* root, const RowObject* row, const TableDefn* definition)
{
    struct Frame {
        const CriteriaNode* node;
        int stage;
        bool left;
    };
    std::vector<Frame> stack{{root, 0, false}};
    bool result = false;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const CriteriaNode* node = frame.node;
        if (node->op != CRITERIA_AND && node->op != CRITERIA_OR) {
            result = false;
            int32_t index = 0;
            for (LCDNode* c = definition->columns->head; c; c = c->next, index++) {
                auto* column = static_cast<ColumnDefn*>(c->data);
                if (!node->columnName || strcasecmp(column->name, node->columnName) != 0 || !node->value)
                    continue;
                int32_t length = static_cast<int32_t>(strlen(node->value));
                std::unique_ptr<void, decltype(&free)> value(
                    ConvertStringToColumnValue(node->value, &length, column->type), &free);
                result = value && row->values[index] &&
                    CompareColumnValue(row->values[index], row->lengths[index], value.get(), length, node->op,
                                       column->type) == 1;
                break;
            }
            stack.pop_back();
            continue;
        }
        if (frame.stage == 0) {
            frame.stage = 1;
            stack.push_back({node->left, 0, false});
            continue;
        }
        if (frame.stage == 1) {
            frame.left = result;
            bool decided = node->op == CRITERIA_AND ? !result : result;
            if (decided) {
                stack.pop_back();
                continue;
            }
            frame.stage = 2;
            stack.push_back({node->right, 0, false});
            continue;
        }
        stack.pop_back(); // result is the right side's, which decides
    }
    return result;
}

/* Walks the table's units with the condition: marks every match deleted,
 * or returns the first match. */
RowUnit* WalkOnCriteria(const char* table, DataObject* dataObject, const char* condition, bool markAll, int* status)
{
    *status = VELMORA_FAILURE;
    RowCollection* collection = FindCollection(dataObject, table);
    if (!collection || !condition || !collection->tableDefn)
        return nullptr;
    std::string text = std::string(condition) + "\n";
    LockObject(gv_criteriaLock);
    CriteriaNode* root = ParseCondition(text.c_str());
    RowUnit* match = nullptr;
    bool stopped = false;
    for (RowUnit* unit = collection->firstRow; unit && root; unit = unit->next) {
        RowObject* row = GetRowObjectFromRowUnit(unit, dataObject);
        if (!row) {
            LogError("RowObject is NULL.\n");
            stopped = true;
            break;
        }
        bool matches = EvaluateCondition(root, row, collection->tableDefn);
        FreeRowObject(row, collection->tableDefn->columns->count);
        if (!matches)
            continue;
        if (!markAll) {
            match = unit;
            break;
        }
        unit->rowState |= ROW_STATE_DELETED;
    }
    if (root && !stopped)
        *status = VELMORA_SUCCESS;
    FreeCriteriaTree(root);
    UnlockObject(gv_criteriaLock);
    return match;
}

} // namespace

extern "C" {

DataObject* CreateDataObject(void)
{
    auto* dataObject = static_cast<DataObject*>(BriCalloc(1, sizeof(DataObject)));
    if (dataObject && CreateMemPool(&dataObject->pool, gv_rootPool, nullptr) == VELMORA_SUCCESS &&
        HashInit(&dataObject->keys, DATA_OBJECT_KEY_BUCKETS) == VELMORA_SUCCESS &&
        (dataObject->tableList = CreateVector()) != nullptr)
        return dataObject;
    LogError("\nMEMORY ALLOCATION FOR DATAOBJECT FAILED\n");
    FreeDataObject(dataObject);
    return nullptr;
}

void FreeDataObject(DataObject* dataObject)
{
    if (!dataObject)
        return;
    if (dataObject->tableList) {
        FreeVector(dataObject->tableList);
        free(dataObject->tableList);
    }
    HashFree(&dataObject->keys);
    if (dataObject->ownsQuery)
        FreeSelectQuery(dataObject->query);
    if (dataObject->pool)
        DestroyMemPool(dataObject->pool);
    free(dataObject);
}

DataObject* GetDataObject(SelectQuery* query)
{
    if (!query) {
        LogError("Cannot construct DO. Select Query pointer is NULL.\n");
        return nullptr;
    }
    const char* first = FirstQueryTable(query);
    velmora_objects::TableConnection connection;
    if (!first || !connection.ForLoading(first)) {
        LogError("Cannot create DataObject.  No entries returned for SelectQuery\n");
        return nullptr;
    }
    std::unique_ptr<char, FreeText> statement(GenerateSelectQuery(query));
    DBResultSet* resultSet = statement ? ExecuteQuery(connection.connection(), statement.get()) : nullptr;
    connection.Release();
    if (!resultSet) {
        LogError("Cannot create DataObject.  No entries returned for SelectQuery\n");
        return nullptr;
    }
    return CreateDataObjectFromResultSet(resultSet, query);
}

DataObject* CreateDataObjectFromResultSet(DBResultSet* resultSet, SelectQuery* query)
{
    if (!resultSet || !query) {
        FreeDBResultSet(resultSet);
        return nullptr;
    }
    DataObject* dataObject = CreateDataObject();
    if (!dataObject) {
        FreeDBResultSet(resultSet);
        return nullptr;
    }
    dataObject->query = query;
    std::vector<std::string> tables = QueryTables(query);
    int32_t star = 0;
    bool ok = true;
    for (const std::string& table : tables)
        if (!CreateRowCollectionFromResultSet(table.c_str(), resultSet, query, dataObject, &star)) {
            ok = false;
            break;
        }
    FreeDBResultSet(resultSet);
    if (ok) {
        // The table list reads referenced tables first.
        LCDVector* sorted = SortTableByFK(dataObject->tableList, dataObject->pool);
        if (sorted) {
            FreeVector(dataObject->tableList);
            free(dataObject->tableList);
            dataObject->tableList = sorted;
            dataObject->tableCount = sorted->count;
            return dataObject;
        }
    }
    FreeDataObject(dataObject);
    return nullptr;
}

DataObject* GetDataObjectByCriteria(LCDVector* tableNames, const QueryCondition* condition)
{
    SelectQuery* query = tableNames ? QueryOverTables(tableNames) : nullptr;
    if (!query) {
        LogError("Cannot create DataObject.\n");
        return nullptr;
    }
    // The condition stays the caller's: it is needed only while the
    // statement is made, and the DO keeps no pointer to it.
    SetCriteria(query, const_cast<QueryCondition*>(condition));
    DataObject* dataObject = GetDataObject(query);
    SetCriteria(query, nullptr);
    if (!dataObject) {
        FreeSelectQuery(query);
        LogError("Cannot create DataObject.\n");
        return nullptr;
    }
    dataObject->ownsQuery = 1;
    return dataObject;
}

void CompareRootRefTable(const char* referenceTable, const char* referenceColumn, const char* rootTable,
                         const char* rootColumn, uint8_t* found)
{
    if (!referenceTable || !referenceColumn || !rootTable || !rootColumn || !found)
        return;
    std::set<std::pair<std::string, std::string>> seen;
    CompareRootRefTableFrom(referenceTable, referenceColumn, rootTable, rootColumn, found, &seen);
}

DataObject* GetDataObjectByRowUnit(LCDVector* tableNames, const RowUnit* rowUnit)
{
    if (!tableNames || !rowUnit || !rowUnit->tableName)
        return nullptr;
    bool listed = false;
    for (LCDNode* node = tableNames->head; node && !listed; node = node->next)
        listed = node->data && strcmp(static_cast<const char*>(node->data), rowUnit->tableName) == 0;
    const TableDefn* rootDefinition = GetTableDefnByName(rowUnit->tableName);
    if (!listed || !rootDefinition) {
        LogError("RowUnit belongs to table %s, which is not present in the tableList.\n", rowUnit->tableName);
        return nullptr;
    }
    const ConstraintDefn* rootKeys = rootDefinition->constraints;
    // The unit's values stand in the definition's column order unless it
    // holds fewer columns; key values are found by definition position.
    auto keyValue = [&](const char* column, const void** value, int32_t* length, uint8_t* type) {
        int32_t index = 0;
        for (LCDNode* node = rootDefinition->columns->head; node; node = node->next, index++) {
            auto* defn = static_cast<ColumnDefn*>(node->data);
            if (strcmp(defn->name, column) == 0 && index < rowUnit->columnCount) {
                *value = rowUnit->values[index];
                *length = rowUnit->lengths[index];
                *type = defn->type;
                return true;
            }
        }
        return false;
    };
    SelectQuery* query = QueryOverTables(tableNames);
    if (!query)
        return nullptr;
    QueryCondition* root = nullptr;
    bool ok = true;
    for (LCDNode* node = tableNames->head; node && ok; node = node->next) {
        const char* table = static_cast<const char*>(node->data);
        const TableDefn* definition = GetTableDefnByName(table);
        if (!definition)
            continue;
        for (int32_t k = 0; k < rootKeys->primaryKeyCount && ok; k++) {
            const void* value = nullptr;
            int32_t length = 0;
            uint8_t type = 0;
            if (!keyValue(rootKeys->primaryKeys[k], &value, &length, &type)) {
                ok = false;
                break;
            }
            if (strcmp(table, rowUnit->tableName) == 0) {
                ok = Chain(&root, EqualityLeaf(query, table, rootKeys->primaryKeys[k], type, value, length),
                           query->pool);
                continue;
            }
            if (!definition->constraints->foreignKeys) {
                if (k == 0)
                    LogTrace("No constraints for table %s.\n", table);
                continue;
            }
            for (LCDNode* f = definition->constraints->foreignKeys->head; f && ok; f = f->next) {
                auto* key = static_cast<ForeignKeyDefn*>(f->data);
                uint8_t found = 0;
                CompareRootRefTable(key->referenceTable, key->referenceColumn, rowUnit->tableName,
                                    rootKeys->primaryKeys[k], &found);
                const ColumnDefn* local = found ? DefinitionColumn(definition, key->localColumn) : nullptr;
                if (local)
                    ok = Chain(&root, EqualityLeaf(query, table, key->localColumn, local->type, value, length),
                               query->pool);
            }
        }
    }
    if (!ok) {
        FreeSelectQuery(query);
        return nullptr;
    }
    SetCriteria(query, root);
    return FetchOwningQuery(query);
}

int AddTableToDO(DataObject* dataObject, const char* table, const char* const* columnNames)
{
    if (!dataObject) {
        LogError("DO is NULL.\n");
        return VELMORA_FAILURE;
    }
    TableDefn* definition = table ? GetTableDefnByName(table) : nullptr;
    if (!definition) {
        LogError("Table Definition not found for %s.\n", table ? table : "");
        return VELMORA_FAILURE;
    }
    std::vector<const char*> names;
    std::vector<uint8_t> types;
    if (columnNames) {
        for (int32_t i = 0; columnNames[i]; i++) {
            const ColumnDefn* column = DefinitionColumn(definition, columnNames[i]);
            if (!column) {
                LogError("ADD ROW COLLECTION FAILED\n");
                return VELMORA_FAILURE;
            }
            names.push_back(column->name);
            types.push_back(column->type);
        }
    } else {
        for (LCDNode* node = definition->columns->head; node; node = node->next) {
            names.push_back(static_cast<ColumnDefn*>(node->data)->name);
            types.push_back(static_cast<ColumnDefn*>(node->data)->type);
        }
    }
    auto count = static_cast<int32_t>(names.size());
    if (FindCollection(dataObject, definition->name) || !HoldsPrimaryKey(definition, names.data(), count)) {
        LogError("ADD ROW COLLECTION FAILED\n");
        return VELMORA_FAILURE;
    }
    if (!AddCollection(dataObject, definition->name, definition, names.data(), types.data(), count)) {
        LogError("ADD ROW COLLECTION FAILED\n");
        return VELMORA_ALLOC_FAILURE;
    }
    return VELMORA_SUCCESS;
}

int DeleteRowUnitOnCriteria(const char* table, DataObject* dataObject, const char* condition)
{
    int status = VELMORA_FAILURE;
    WalkOnCriteria(table, dataObject, condition, true, &status);
    return status;
}

RowUnit* FindRowUnitOnCriteria(const char* table, DataObject* dataObject, const char* condition)
{
    LogTrace("@@@@  Inside DeleteRowUnitOnCriteria @@@@\n");
    int status = VELMORA_FAILURE;
    return WalkOnCriteria(table, dataObject, condition, false, &status);
}

} // extern "C"
