/*
 * Saving a data object: rows as database rows, tables in foreign-key
 * order, one statement per changed row.
 */
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data_object_internal.h"
#include "runtime/log.h"
#include "table_connection.h"
#include "velmora/base_alloc.h"
#include "velmora/db_provider.h"
#include "velmora/sql_dialect.h"
#include "velmora/sql_statements.h"

using namespace velmora_objects::dobj;

namespace {

struct FreeText {
    void operator()(char* text) const { free(text); }
};

bool Stored(uint8_t state) { return (state & ROW_STATE_STORED) != 0; }
bool Deleted(uint8_t state) { return (state & ROW_STATE_DELETED) != 0; }

/* The row object of a unit. A delete needs only the key, so for a unit
 * marked deleted a missing value of a required column is no failure. A
 * column the unit does not hold takes its value from stored (the row as the
 * database holds it) when given, else its default or NULL. */
RowObject* RowObjectOf(const RowUnit* unit, const RowCollection* collection, bool forDelete,
                       const RowObject* stored = nullptr)
{
    const TableDefn* definition = collection->tableDefn;
    int32_t count = definition->columns->count;
    size_t slots = static_cast<size_t>(count > 0 ? count : 1);
    auto** values = static_cast<void**>(BriCalloc(slots, sizeof(void*)));
    auto* lengths = static_cast<int32_t*>(BriCalloc(slots, sizeof(int32_t)));
    auto fail = [&]() -> RowObject* {
        if (values)
            for (int32_t i = 0; i < count; i++)
                free(values[i]);
        free(values);
        free(lengths);
        return nullptr;
    };
    if (!values || !lengths)
        return fail();
    auto copy = [](const void* value, int32_t length) -> void* {
        size_t size = static_cast<size_t>(length > 0 ? length : 0);
        auto* block = static_cast<char*>(BriMalloc(size + 1));
        if (block) {
            memcpy(block, value, size);
            block[size] = '\0';
        }
        return block;
    };
    int32_t index = 0;
    for (LCDNode* node = definition->columns->head; node; node = node->next, index++) {
        auto* column = static_cast<ColumnDefn*>(node->data);
        int32_t position = CollectionColumnPosition(collection, column->name);
        bool held = position >= 0 && position < unit->columnCount;
        const void* value = held ? unit->values[position] : nullptr;
        int32_t length = value ? unit->lengths[position] : 0;
        if (!held && stored) {
            value = stored->values[index];
            length = value ? stored->lengths[index] : 0;
            if (!value)
                continue;
        }
        if (!value && column->defaultValue) {
            value = column->defaultValue;
            length = column->defaultLength;
        }
        if (!value) {
            if (!column->nullable && !forDelete) {
                LogError("Cannot save RowUnit. Column %s is not not nullable and does not have a default value\n",
                         column->name);
                return fail();
            }
            continue;
        }
        if (!(values[index] = copy(value, length)))
            return fail();
        lengths[index] = length > 0 ? length : 0;
    }
    RowObject* row = CreateNewRowObject(values, lengths);
    if (!row)
        return fail();
    row->state = unit->rowState;
    return row;
}

/* The row of unit's key as the database holds it now (all columns, in
 * definition order), or null when it cannot be read. */
RowObject* StoredRow(const RowUnit* unit, const RowCollection* collection, DBConnection* connection)
{
    const SqlDialect* dialect = GetSqlDialectForTable(collection->tableName);
    SelectQuery* query = dialect ? CreateSelectQuery() : nullptr;
    if (!query)
        return nullptr;
    bool ok = AddQueryTable(query, CreateQueryTable(collection->tableName, nullptr, query->pool)) == VELMORA_SUCCESS;
    QueryCondition* root = nullptr;
    const ConstraintDefn* keys = collection->tableDefn->constraints;
    for (int32_t k = 0; ok && k < keys->primaryKeyCount; k++) {
        int32_t position = CollectionColumnPosition(collection, keys->primaryKeys[k]);
        if (position < 0 || !unit->values[position]) {
            ok = false;
            break;
        }
        uint8_t type = collection->columnTypes[position];
        QueryColumn* column = CreateQueryColumn(collection->tableName, nullptr, keys->primaryKeys[k], nullptr, 0,
                                                type > QUERY_MAX_COLUMN_TYPE ? uint8_t{BRI_SQL_VARCHAR} : type,
                                                QUERY_AGGREGATE_NONE, query->pool);
        QueryCondition* leaf = column
            ? CreateQueryCondition(column, unit->values[position], unit->lengths[position], QUERY_OP_EQUAL, query->pool)
            : nullptr;
        root = leaf && root ? CreateConditionAnd(root, leaf, query->pool) : leaf;
        ok = root != nullptr;
    }
    RowObject* row = nullptr;
    if (ok) {
        SetCriteria(query, root);
        std::unique_ptr<char, FreeText> statement(GenerateSelectQuery(query));
        DBResultSet* resultSet = statement ? ExecuteQuery(connection, statement.get()) : nullptr;
        if (resultSet && resultSet->columnCount == collection->tableDefn->columns->count && NextDBResultRow(resultSet))
            row = ConvertResultSetToRows(resultSet, dialect->name, collection->tableName);
        FreeDBResultSet(resultSet);
    }
    FreeSelectQuery(query);
    return row;
}

bool HoldsEveryColumn(const RowCollection* collection)
{
    return CollectionColumnCount(collection) >= collection->tableDefn->columns->count;
}

enum class Statement { None, Insert, Update, Delete };

Statement StatementFor(uint8_t state)
{
    if (state == (ROW_STATE_STORED | ROW_STATE_UPDATED))
        return Statement::Update;
    if (Stored(state) && Deleted(state))
        return Statement::Delete;
    if (state == ROW_STATE_NEW || state == (ROW_STATE_NEW | ROW_STATE_UPDATED))
        return Statement::Insert;
    return Statement::None;
}

/* Saves one unit on connection (the table's). On success the unit is
 * brought in line: stored again, or out of the DO when it was deleted. */
int SaveUnitOn(RowUnit* unit, RowCollection* collection, DataObject* dataObject, DBConnection* connection)
{
    uint8_t state = unit->rowState;
    LogTrace("RowState %d\n", state);
    Statement kind = StatementFor(state);
    if (kind == Statement::None) {
        if (state != ROW_STATE_STORED && state != 0 && !((state & ROW_STATE_NEW) && Deleted(state)))
            LogError("Invalid State for keyStr.  Cannot Save.\n");
        LogTrace("QueryPtr is NULL.\n");
        // A row made and deleted again in memory never reached the
        // database; it is done with.
        if ((state & ROW_STATE_NEW) && Deleted(state) && !Stored(state))
            RemoveUnit(dataObject, collection, unit);
        return VELMORA_FAILURE;
    }
    // An update writes every column: the columns this DO does not hold keep
    // what the database holds, rather than being overwritten with defaults.
    RowObject* stored = kind == Statement::Update && connection && !HoldsEveryColumn(collection)
        ? StoredRow(unit, collection, connection)
        : nullptr;
    RowObject* row = RowObjectOf(unit, collection, kind == Statement::Delete, stored);
    if (stored)
        FreeRowObject(stored, collection->tableDefn->columns->count);
    if (!row) {
        LogError("Cannot convert RowUnit to RowObject.\n");
        return VELMORA_FAILURE;
    }
    std::unique_ptr<char, FreeText> statement(
        kind == Statement::Update       ? GenerateUpdateQuery(collection->tableName, row)
            : kind == Statement::Delete ? GenerateDeleteQuery(collection->tableName, row)
                                        : GenerateInsertQuery(collection->tableName, row));
    FreeRowObject(row, collection->tableDefn->columns->count);
    if (!statement) {
        LogError("QueryPtr is NULL.\n");
        return VELMORA_FAILURE;
    }
    if (!connection || ExecuteUpdate(connection, statement.get()) != VELMORA_SUCCESS) {
        LogError("Error in executing update query \n");
        LogError("QUERY : %s\n", statement.get());
        return VELMORA_FAILURE;
    }
    if (kind == Statement::Delete)
        RemoveUnit(dataObject, collection, unit);
    else
        unit->rowState = ROW_STATE_STORED;
    return VELMORA_SUCCESS;
}

bool NeedsStatement(uint8_t state) { return StatementFor(state) != Statement::None; }

/* Depth-first walk that emits every table after the remaining tables it
 * refers to. A table on the current path is not entered again, so cycles
 * (of any length, through any table) and self-references end. */
void SortTablesForDO(size_t index, const std::vector<std::string>& names, std::vector<int>& mark,
                     std::vector<size_t>& order)
{
    mark[index] = 1; // on the path
    const TableDefn* definition = GetTableDefnByName(names[index].c_str());
    if (!definition)
        LogError("No Table Definition found for table %s.\n", names[index].c_str());
    const LCDVector* keys = definition && definition->constraints ? definition->constraints->foreignKeys : nullptr;
    for (LCDNode* node = keys ? keys->head : nullptr; node; node = node->next) {
        const char* reference = static_cast<ForeignKeyDefn*>(node->data)->referenceTable;
        for (size_t other = 0; other < names.size(); other++)
            if (mark[other] == 0 && strcasecmp(names[other].c_str(), reference) == 0)
                SortTablesForDO(other, names, mark, order);
    }
    mark[index] = 2; // emitted
    order.push_back(index);
}

} // namespace

extern "C" {

RowObject* GetRowObjectFromRowUnit(const RowUnit* rowUnit, DataObject* dataObject)
{
    RowCollection* collection = FindCollection(dataObject, rowUnit ? rowUnit->tableName : nullptr);
    if (!collection || !collection->tableDefn)
        return nullptr;
    return RowObjectOf(rowUnit, collection, false);
}

int SaveRowUnit(RowUnit* rowUnit, DataObject* dataObject)
{
    RowCollection* collection = FindCollection(dataObject, rowUnit ? rowUnit->tableName : nullptr);
    if (!collection || !collection->tableDefn)
        return VELMORA_FAILURE;
    velmora_objects::TableConnection connection;
    if (NeedsStatement(rowUnit->rowState) && !connection.ForSaving(collection->tableName))
        return VELMORA_FAILURE;
    return SaveUnitOn(rowUnit, collection, dataObject, connection.connection());
}

int SaveRowCollection(RowCollection* collection, DataObject* dataObject)
{
    if (!collection || !dataObject || !collection->tableDefn)
        return VELMORA_FAILURE;
    bool due = false;
    for (RowUnit* unit = collection->firstRow; unit && !due; unit = unit->next)
        due = NeedsStatement(unit->rowState);
    // One connection for the table's rows, held while they are written.
    velmora_objects::TableConnection connection;
    if (due && !connection.ForSaving(collection->tableName))
        return VELMORA_FAILURE;
    for (RowUnit* unit = collection->firstRow; unit;) {
        RowUnit* next = unit->next; // a saved deletion leaves the list
        SaveUnitOn(unit, collection, dataObject, connection.connection());
        unit = next;
    }
    return VELMORA_SUCCESS;
}

int SaveDataObject(DataObject* dataObject)
{
    if (!dataObject)
        return VELMORA_FAILURE;
    LCDVector* sorted = SortTableByFK(dataObject->tableList, dataObject->pool);
    if (!sorted)
        return VELMORA_FAILURE;
    FreeVector(dataObject->tableList);
    free(dataObject->tableList);
    dataObject->tableList = sorted;
    dataObject->tableCount = sorted->count;
    // Rows that fail keep their states and do not stop the save; a table
    // that cannot be written at all (no connection) makes the result 0.
    int result = VELMORA_SUCCESS;
    for (LCDNode* node = sorted->head; node; node = node->next) {
        RowCollection* collection = FindCollection(dataObject, static_cast<const char*>(node->data));
        if (collection && SaveRowCollection(collection, dataObject) != VELMORA_SUCCESS)
            result = VELMORA_FAILURE;
    }
    return result;
}

LCDVector* SortTableByFK(LCDVector* tableNames, MemPool* pool)
{
    if (!tableNames) {
        LogError("CloneVector Failed.\n");
        return nullptr;
    }
    std::vector<std::string> names;
    for (LCDNode* node = tableNames->head; node; node = node->next) {
        if (!node->data)
            continue;
        bool seen = false;
        for (const std::string& name : names)
            seen = seen || name == static_cast<const char*>(node->data);
        if (!seen)
            names.emplace_back(static_cast<const char*>(node->data));
    }
    std::vector<int> mark(names.size(), 0);
    std::vector<size_t> order;
    for (size_t i = 0; i < names.size(); i++)
        if (mark[i] == 0)
            SortTablesForDO(i, names, mark, order);
    LCDVector* result = CreateVector();
    if (!result) {
        LogError("CloneVector Failed.\n");
        return nullptr;
    }
    for (size_t index : order) {
        char* copy = nullptr;
        if (pool) {
            if (PoolStrdup(&copy, names[index].c_str(), pool) != VELMORA_SUCCESS)
                copy = nullptr;
        } else {
            copy = BriStrdup(names[index].c_str());
        }
        if (!copy || AddElementData(result, copy) != 1) {
            if (!pool) {
                free(copy);
                for (LCDNode* node = result->head; node; node = node->next)
                    free(node->data);
            }
            FreeVector(result);
            free(result);
            LogError("CloneVector Failed.\n");
            return nullptr;
        }
    }
    return result;
}

} // extern "C"
