/*
 * Rows of a data object: keys, inserting, updating, deleting, setting
 * values, and the look-ups.
 */
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "data_object_internal.h"
#include "runtime/log.h"
#include "velmora/base_alloc.h"
#include "velmora/column_types.h"
#include "velmora/seq_state.h"

namespace velmora_objects::dobj {

void* PoolCopyValue(MemPool* pool, const void* value, int32_t length, bool* failed)
{
    if (!value)
        return nullptr;
    if (length < 0)
        length = 0;
    auto* copy = static_cast<char*>(PoolAlloc(pool, static_cast<size_t>(length) + 1));
    if (!copy) {
        if (failed)
            *failed = true;
        return nullptr;
    }
    memcpy(copy, value, static_cast<size_t>(length));
    copy[length] = '\0';
    return copy;
}

RowCollection* FindCollection(const DataObject* dataObject, const char* table)
{
    if (!dataObject || !table)
        return nullptr;
    for (RowCollection* c = dataObject->firstCollection; c; c = c->next)
        if (c->tableName && strcmp(c->tableName, table) == 0)
            return c;
    return nullptr;
}

int32_t CollectionColumnCount(const RowCollection* collection)
{
    int32_t count = 0;
    if (collection && collection->columnNames)
        while (collection->columnNames[count])
            count++;
    return count;
}

int32_t CollectionColumnPosition(const RowCollection* collection, const char* column)
{
    if (!collection || !column || !collection->columnNames)
        return -1;
    for (int32_t i = 0; collection->columnNames[i]; i++)
        if (strcmp(collection->columnNames[i], column) == 0)
            return i;
    return -1;
}

bool MakeKeyString(const RowUnit* unit, const RowCollection* collection, std::string* key)
{
    const TableDefn* definition = collection ? collection->tableDefn : nullptr;
    if (!unit || !definition || !definition->constraints || definition->constraints->primaryKeyCount <= 0)
        return false;
    key->assign(collection->tableName);
    const ConstraintDefn* constraints = definition->constraints;
    for (int32_t k = 0; k < constraints->primaryKeyCount; k++) {
        int32_t position = CollectionColumnPosition(collection, constraints->primaryKeys[k]);
        if (position < 0 || position >= unit->columnCount)
            return false;
        std::unique_ptr<char, decltype(&free)> text(
            ColumnValueToString(unit->values[position], unit->lengths[position], collection->columnTypes[position]),
            &free);
        if (!text)
            return false;
        key->push_back(kKeySeparator);
        key->append(text.get());
    }
    return true;
}

bool HoldsPrimaryKey(const TableDefn* definition, const char* const* names, int32_t count)
{
    if (!definition || !definition->constraints || definition->constraints->primaryKeyCount <= 0)
        return false;
    for (int32_t k = 0; k < definition->constraints->primaryKeyCount; k++) {
        bool held = false;
        for (int32_t i = 0; i < count && !held; i++)
            held = strcmp(names[i], definition->constraints->primaryKeys[k]) == 0;
        if (!held)
            return false;
    }
    return true;
}

RowCollection* AddCollection(DataObject* dataObject, const char* table, TableDefn* definition, const char* const* names,
                             const uint8_t* types, int32_t count)
{
    MemPool* pool = dataObject->pool;
    auto* collection = static_cast<RowCollection*>(PoolAlloc(pool, sizeof(RowCollection)));
    auto** columnNames = static_cast<char**>(PoolAlloc(pool, sizeof(char*) * (static_cast<size_t>(count) + 1)));
    auto* columnTypes = static_cast<uint8_t*>(PoolAlloc(pool, static_cast<size_t>(count) + 1));
    if (!collection || !columnNames || !columnTypes)
        return nullptr;
    memset(collection, 0, sizeof *collection);
    if (PoolStrdup(&collection->tableName, table, pool) != VELMORA_SUCCESS)
        return nullptr;
    for (int32_t i = 0; i < count; i++) {
        if (PoolStrdup(&columnNames[i], names[i], pool) != VELMORA_SUCCESS)
            return nullptr;
        columnTypes[i] = types[i];
    }
    columnNames[count] = nullptr;
    collection->tableDefn = definition;
    collection->columnNames = columnNames;
    collection->columnTypes = columnTypes;
    if (!ContainsTableInDO(table, dataObject)) {
        char* name = nullptr;
        if (PoolStrdup(&name, table, pool) != VELMORA_SUCCESS || AddElementData(dataObject->tableList, name) != 1)
            return nullptr;
        dataObject->tableCount = dataObject->tableList->count;
    }
    RowCollection** end = &dataObject->firstCollection;
    while (*end)
        end = &(*end)->next;
    *end = collection;
    return collection;
}

void AppendUnit(RowCollection* collection, RowUnit* unit)
{
    unit->next = nullptr;
    RowUnit** end = &collection->firstRow;
    while (*end)
        end = &(*end)->next;
    *end = unit;
}

void RemoveUnit(DataObject* dataObject, RowCollection* collection, RowUnit* unit)
{
    std::string key;
    if (MakeKeyString(unit, collection, &key) && HashGet(&dataObject->keys, key.c_str()) == unit)
        HashRemove(&dataObject->keys, key.c_str());
    for (RowUnit** link = &collection->firstRow; *link; link = &(*link)->next)
        if (*link == unit) {
            *link = unit->next;
            break;
        }
    if (collection->currentRow == unit)
        collection->currentRow = nullptr;
    unit->next = nullptr;
}

RowUnit* CopyUnit(const RowUnit* unit, int32_t columnCount, MemPool* pool)
{
    auto* copy = static_cast<RowUnit*>(PoolAlloc(pool, sizeof(RowUnit)));
    size_t slots = static_cast<size_t>(columnCount > 0 ? columnCount : 0) + 1;
    auto** values = static_cast<void**>(PoolAlloc(pool, sizeof(void*) * slots));
    auto* lengths = static_cast<int32_t*>(PoolAlloc(pool, sizeof(int32_t) * slots));
    if (!copy || !values || !lengths || PoolStrdup(&copy->tableName, unit->tableName, pool) != VELMORA_SUCCESS)
        return nullptr;
    bool failed = false;
    for (int32_t i = 0; i < columnCount; i++) {
        bool present = i < unit->columnCount && unit->values;
        lengths[i] = present && unit->lengths ? unit->lengths[i] : 0;
        values[i] = present ? PoolCopyValue(pool, unit->values[i], lengths[i], &failed) : nullptr;
    }
    if (failed)
        return nullptr;
    copy->columnCount = columnCount;
    copy->values = values;
    copy->lengths = lengths;
    copy->rowState = unit->rowState;
    copy->next = nullptr;
    return copy;
}

} // namespace velmora_objects::dobj

using namespace velmora_objects::dobj;

namespace {

/* Fills generated and default values of a unit about to enter the DO.
 * False when an identifier cannot be drawn or the pool cannot allocate. */
bool FillGeneratedAndDefaults(RowUnit* unit, RowCollection* collection, MemPool* pool)
{
    for (int32_t i = 0; i < unit->columnCount; i++) {
        if (unit->values[i])
            continue;
        const ColumnDefn* column = GetColumnDefnEntry(collection->tableName, collection->columnNames[i]);
        if (!column)
            continue;
        if (column->generatorName) {
            int32_t id = GenerateID(collection->tableName, column);
            if (id == -1) {
                LogError("Cannot generate an identifier for column %s of table %s.\n", column->name,
                         collection->tableName);
                return false;
            }
            bool failed = false;
            unit->values[i] = PoolCopyValue(pool, &id, static_cast<int32_t>(sizeof id), &failed);
            unit->lengths[i] = static_cast<int32_t>(sizeof id);
            if (failed)
                return false;
        } else if (column->defaultValue) {
            bool failed = false;
            unit->values[i] = PoolCopyValue(pool, column->defaultValue, column->defaultLength, &failed);
            unit->lengths[i] = column->defaultLength;
            if (failed)
                return false;
        }
    }
    return true;
}

/* The value arrays of a new unit for collection, copied into the pool. */
RowUnit* NewUnitFromValues(DataObject* dataObject, RowCollection* collection, void* const* values,
                           const int32_t* lengths)
{
    RowUnit source{};
    source.tableName = collection->tableName;
    source.columnCount = CollectionColumnCount(collection);
    source.values = const_cast<void**>(values);
    source.lengths = const_cast<int32_t*>(lengths);
    return CopyUnit(&source, source.columnCount, dataObject->pool);
}

RowUnit* UnitWithKey(const RowUnit* unit, DataObject* dataObject)
{
    std::string key;
    RowCollection* collection = FindCollection(dataObject, unit ? unit->tableName : nullptr);
    if (!collection || !MakeKeyString(unit, collection, &key))
        return nullptr;
    return static_cast<RowUnit*>(HashGet(&dataObject->keys, key.c_str()));
}

bool IsKeyColumn(const RowCollection* collection, int32_t position)
{
    const ConstraintDefn* keys = collection->tableDefn ? collection->tableDefn->constraints : nullptr;
    for (int32_t k = 0; keys && k < keys->primaryKeyCount; k++)
        if (strcmp(keys->primaryKeys[k], collection->columnNames[position]) == 0)
            return true;
    return false;
}

/* Sets one value. A key column changes the row's identity: a row the
 * database holds keeps its key (its update would reach another row), a new
 * row is filed under its new key unless another row has it. */
int SetValueOn(RowUnit* unit, RowCollection* collection, int32_t position, const void* value, int32_t length,
               DataObject* dataObject)
{
    bool failed = false;
    void* copy = PoolCopyValue(dataObject->pool, value, length, &failed);
    if (failed) {
        LogError("Memcpy Failed.\n");
        return VELMORA_ALLOC_FAILURE;
    }
    if (IsKeyColumn(collection, position)) {
        if (unit->rowState & ROW_STATE_STORED) {
            LogError("Cannot change key column %s of a stored row of %s.\n", collection->columnNames[position],
                     collection->tableName);
            return VELMORA_FAILURE;
        }
        std::string oldKey, newKey;
        bool hadKey = MakeKeyString(unit, collection, &oldKey);
        void* oldValue = unit->values[position];
        int32_t oldLength = unit->lengths[position];
        unit->values[position] = copy;
        unit->lengths[position] = value ? length : 0;
        if (!MakeKeyString(unit, collection, &newKey) ||
            (newKey != oldKey && HashContains(&dataObject->keys, newKey.c_str())) ||
            (newKey != oldKey && HashPut(&dataObject->keys, newKey.c_str(), unit) != VELMORA_SUCCESS)) {
            unit->values[position] = oldValue;
            unit->lengths[position] = oldLength;
            LogError("Row with keyStr %s already exists.\n", newKey.c_str());
            return VELMORA_FAILURE;
        }
        if (hadKey && newKey != oldKey && HashGet(&dataObject->keys, oldKey.c_str()) == unit)
            HashRemove(&dataObject->keys, oldKey.c_str());
        unit->rowState |= ROW_STATE_UPDATED;
        return VELMORA_SUCCESS;
    }
    unit->values[position] = copy;
    unit->lengths[position] = value ? length : 0;
    unit->rowState |= ROW_STATE_UPDATED;
    return VELMORA_SUCCESS;
}

} // namespace

extern "C" {

char* GenerateKeyString(const RowUnit* rowUnit, const DataObject* dataObject)
{
    std::string key;
    RowCollection* collection = FindCollection(dataObject, rowUnit ? rowUnit->tableName : nullptr);
    if (!collection || !MakeKeyString(rowUnit, collection, &key))
        return nullptr;
    return BriStrdup(key.c_str());
}

RowUnit* CreateRowUnit(const char* table, void** values, int32_t* lengths, MemPool* pool)
{
    if (!table)
        return nullptr;
    RowUnit* unit = pool ? static_cast<RowUnit*>(PoolAlloc(pool, sizeof(RowUnit)))
                         : static_cast<RowUnit*>(BriCalloc(1, sizeof(RowUnit)));
    if (!unit)
        return nullptr;
    memset(unit, 0, sizeof *unit);
    if (pool) {
        if (PoolStrdup(&unit->tableName, table, pool) != VELMORA_SUCCESS)
            return nullptr;
    } else if (!(unit->tableName = BriStrdup(table))) {
        free(unit);
        return nullptr;
    }
    unit->values = values;
    unit->lengths = lengths;
    return unit;
}

void FreeRowUnit(RowUnit* rowUnit)
{
    if (!rowUnit)
        return;
    if (rowUnit->values)
        for (int32_t i = 0; i < rowUnit->columnCount; i++)
            free(rowUnit->values[i]);
    free(rowUnit->values);
    free(rowUnit->lengths);
    free(rowUnit->tableName);
    free(rowUnit);
}

int InsertRowUnit(RowUnit* rowUnit, DataObject* dataObject)
{
    if (!rowUnit || !dataObject || !rowUnit->values || !rowUnit->lengths)
        return VELMORA_FAILURE;
    RowCollection* collection = FindCollection(dataObject, rowUnit->tableName);
    if (!collection) {
        LogError("The RowUnit belongs to Table %s, which is not in DO\n", rowUnit->tableName);
        return VELMORA_FAILURE;
    }
    LogTrace("Inserting Row\n");
    rowUnit->columnCount = CollectionColumnCount(collection);
    if (!FillGeneratedAndDefaults(rowUnit, collection, dataObject->pool))
        return VELMORA_FAILURE;
    std::string key;
    if (!MakeKeyString(rowUnit, collection, &key))
        return VELMORA_FAILURE;
    if (HashContains(&dataObject->keys, key.c_str())) {
        LogTrace("Row with keyStr %s already exists.\n", key.c_str());
        return VELMORA_FAILURE;
    }
    int put = HashPut(&dataObject->keys, key.c_str(), rowUnit);
    if (put != VELMORA_SUCCESS)
        return put;
    rowUnit->rowState = ROW_STATE_NEW;
    AppendUnit(collection, rowUnit);
    return VELMORA_SUCCESS;
}

int InsertRowIntoDO(DataObject* dataObject, const char* table, void* const* values, const int32_t* lengths)
{
    RowCollection* collection = FindCollection(dataObject, table);
    RowUnit* unit =
        collection && values && lengths ? NewUnitFromValues(dataObject, collection, values, lengths) : nullptr;
    if (!unit) {
        LogError("Cannot create rowUnit.\n");
        return VELMORA_FAILURE;
    }
    int inserted = InsertRowUnit(unit, dataObject);
    if (inserted != VELMORA_SUCCESS)
        LogError("Cannot Insert RowUnit.\n");
    return inserted;
}

int InsertStringRowIntoDO(DataObject* dataObject, const char* table, const char* const* texts)
{
    RowCollection* collection = FindCollection(dataObject, table);
    if (!collection || !texts) {
        LogError("Cannot create RowUnit.\n");
        return VELMORA_FAILURE;
    }
    int32_t count = CollectionColumnCount(collection);
    size_t slots = static_cast<size_t>(count) + 1;
    auto** values = static_cast<void**>(PoolAlloc(dataObject->pool, sizeof(void*) * slots));
    auto* lengths = static_cast<int32_t*>(PoolAlloc(dataObject->pool, sizeof(int32_t) * slots));
    if (!values || !lengths) {
        LogError("Cannot create RowUnit.\n");
        return VELMORA_ALLOC_FAILURE;
    }
    for (int32_t i = 0; i < count; i++) {
        values[i] = nullptr;
        lengths[i] = 4;
        if (!texts[i])
            continue;
        int32_t length = static_cast<int32_t>(strlen(texts[i]));
        std::unique_ptr<void, decltype(&free)> value(
            ConvertStringToColumnValue(texts[i], &length, collection->columnTypes[i]), &free);
        if (value) {
            bool failed = false;
            values[i] = PoolCopyValue(dataObject->pool, value.get(), length, &failed);
            lengths[i] = length;
            if (failed)
                return VELMORA_ALLOC_FAILURE;
        }
    }
    RowUnit* unit = CreateRowUnit(table, values, lengths, dataObject->pool);
    if (!unit) {
        LogError("Cannot create RowUnit.\n");
        return VELMORA_ALLOC_FAILURE;
    }
    int inserted = InsertRowUnit(unit, dataObject);
    if (inserted != VELMORA_SUCCESS)
        LogError("Cannot insert RowUnit.\n");
    return inserted;
}

int UpdateRowUnit(const RowUnit* rowUnit, DataObject* dataObject)
{
    RowUnit* target = rowUnit && dataObject ? UnitWithKey(rowUnit, dataObject) : nullptr;
    if (!target) {
        LogError("Row to be updated is not present in DO. \n");
        return VELMORA_FAILURE;
    }
    LogTrace("Updating Row\n");
    if (target == rowUnit) {
        target->rowState |= ROW_STATE_UPDATED;
        return VELMORA_SUCCESS;
    }
    RowUnit* copy = CopyUnit(rowUnit, target->columnCount, dataObject->pool);
    if (!copy)
        return VELMORA_ALLOC_FAILURE;
    target->values = copy->values;
    target->lengths = copy->lengths;
    target->rowState |= ROW_STATE_UPDATED;
    return VELMORA_SUCCESS;
}

int DeleteRowUnit(RowUnit* rowUnit, DataObject* dataObject)
{
    (void)dataObject;
    if (!rowUnit)
        return VELMORA_FAILURE;
    rowUnit->rowState |= ROW_STATE_DELETED;
    return VELMORA_SUCCESS;
}

RowUnit* FindRowUnit(const RowUnit* rowUnit, DataObject* dataObject)
{
    RowUnit* found = rowUnit && dataObject ? UnitWithKey(rowUnit, dataObject) : nullptr;
    if (!found)
        LogError("Row to be found is not present in DO. \n");
    return found;
}

int SetValueForRowUnit(const char* column, const char* table, const void* value, int32_t length, DataObject* dataObject)
{
    RowCollection* collection = FindCollection(dataObject, table);
    if (!collection) {
        LogError(" Table %s is not present in DO\n", table ? table : "");
        return VELMORA_FAILURE;
    }
    int32_t position = CollectionColumnPosition(collection, column);
    if (position < 0) {
        LogError("Passed column %s is not present in DO.\n", column ? column : "");
        return VELMORA_FAILURE;
    }
    RowUnit* last = collection->firstRow;
    while (last && last->next)
        last = last->next;
    if (!last || length < 0)
        return VELMORA_FAILURE;
    return SetValueOn(last, collection, position, value, length, dataObject);
}

int SetValueForAllRowUnits(const char* column, const char* table, const void* value, int32_t length,
                           DataObject* dataObject)
{
    RowCollection* collection = FindCollection(dataObject, table);
    int32_t position = CollectionColumnPosition(collection, column);
    if (position < 0) {
        LogError("Passed column is not present in DO.\n");
        return VELMORA_FAILURE;
    }
    if (length < 0)
        return VELMORA_FAILURE;
    for (RowUnit* unit = collection->firstRow; unit; unit = unit->next) {
        int result = SetValueOn(unit, collection, position, value, length, dataObject);
        if (result != VELMORA_SUCCESS)
            return result;
    }
    return VELMORA_SUCCESS;
}

/* --- Look-up ------------------------------------------------------------- */

LCDVector* GetTableList(DataObject* dataObject)
{
    if (!dataObject) {
        LogError("DataObjectPtr is NULL.\n");
        return nullptr;
    }
    return dataObject->tableList;
}

int ContainsTableInDO(const char* table, const DataObject* dataObject)
{
    if (!table || !dataObject || !dataObject->tableList)
        return 0;
    for (LCDNode* node = dataObject->tableList->head; node; node = node->next)
        if (node->data && strcmp(static_cast<const char*>(node->data), table) == 0)
            return 1;
    return 0;
}

RowCollection* GetRowCollection(const char* table, DataObject* dataObject)
{
    RowCollection* collection = FindCollection(dataObject, table);
    if (!collection)
        LogError("Table %s is not present in DO.\n", table ? table : "");
    else
        dataObject->currentCollection = collection;
    return collection;
}

LCDVector* GetColumnListFromDO(const char* table, DataObject* dataObject)
{
    RowCollection* collection = FindCollection(dataObject, table);
    if (!collection) {
        LogError("rowCollectionPtr is NULL.\n");
        return nullptr;
    }
    LCDVector* list = CreateVector();
    if (!list)
        return nullptr;
    for (int32_t i = 0; collection->columnNames[i]; i++)
        if (AddElementData(list, collection->columnNames[i]) != 1) {
            FreeVector(list);
            free(list);
            return nullptr;
        }
    return list;
}

RowUnit* GetFirstRowUnit(const char* table, DataObject* dataObject)
{
    RowCollection* collection = FindCollection(dataObject, table);
    return collection ? collection->firstRow : nullptr;
}

RowUnit* GetLastRowUnit(const char* table, DataObject* dataObject)
{
    RowCollection* collection = FindCollection(dataObject, table);
    if (!collection) {
        LogError("Table %s not present in DO\n", table ? table : "");
        return nullptr;
    }
    RowUnit* last = collection->firstRow;
    while (last && last->next)
        last = last->next;
    return last;
}

RowUnit* GetNthRowUnit(int32_t n, const char* table, DataObject* dataObject)
{
    RowCollection* collection = FindCollection(dataObject, table);
    RowUnit* unit = collection && n >= 1 ? collection->firstRow : nullptr;
    for (int32_t i = 1; unit && i < n; i++)
        unit = unit->next;
    if (!unit)
        LogError("Cannot get %d row. \n", n);
    return unit;
}

RowUnit* GotoNextRowUnit(RowCollection* collection)
{
    if (!collection) {
        LogError("RowCollectionPtr is NULL.\n");
        return nullptr;
    }
    if (!collection->currentRow) {
        collection->currentRow = collection->firstRow;
        if (!collection->currentRow)
            LogError("No RowUnits present in RowCollection.\n");
        return collection->currentRow;
    }
    collection->currentRow = collection->currentRow->next;
    if (!collection->currentRow)
        LogTrace("Reached end of rowUnits.\n");
    return collection->currentRow;
}

const void* GetFirstValue(const char* column, const char* table, DataObject* dataObject, int32_t* length)
{
    RowCollection* collection = FindCollection(dataObject, table);
    int32_t position = CollectionColumnPosition(collection, column);
    if (position < 0 || !collection->firstRow) {
        LogError("Invalid Column Entered.\n");
        return nullptr;
    }
    if (length)
        *length = collection->firstRow->lengths[position];
    return collection->firstRow->values[position];
}

void* GetColumnValueFromDO(DataObject* dataObject, const char* table, const char* column, int32_t n, int32_t* length)
{
    if (length)
        *length = 0;
    RowCollection* collection = FindCollection(dataObject, table);
    int32_t position = CollectionColumnPosition(collection, column);
    if (position < 0) {
        LogError("Invalid Column Entered.\n");
        return nullptr;
    }
    RowUnit* unit = GetNthRowUnit(n, table, dataObject);
    if (!unit || !unit->values[position])
        return nullptr;
    int32_t size = unit->lengths[position] > 0 ? unit->lengths[position] : 0;
    auto* copy = static_cast<char*>(BriMalloc(static_cast<size_t>(size) + 1));
    if (!copy)
        return nullptr;
    memcpy(copy, unit->values[position], static_cast<size_t>(size));
    copy[size] = '\0';
    if (length)
        *length = size;
    return copy;
}

void FreeDOColumnValues(DOColumnValues* values)
{
    if (!values)
        return;
    if (values->values)
        for (int32_t i = 0; i < values->count; i++)
            free(values->values[i]);
    free(values->values);
    free(values->lengths);
    free(values);
}

DOColumnValues* GetColumnValuesFromDO(const char* column, const char* table, DataObject* dataObject)
{
    RowCollection* collection = FindCollection(dataObject, table);
    int32_t position = CollectionColumnPosition(collection, column);
    if (position < 0) {
        LogError("Invalid Column Entered.\n");
        return nullptr;
    }
    int32_t count = 0;
    for (RowUnit* unit = collection->firstRow; unit; unit = unit->next)
        count++;
    auto* result = static_cast<DOColumnValues*>(BriCalloc(1, sizeof(DOColumnValues)));
    if (!result)
        return nullptr;
    size_t slots = static_cast<size_t>(count) + 1;
    result->values = static_cast<void**>(BriCalloc(slots, sizeof(void*)));
    result->lengths = static_cast<int32_t*>(BriCalloc(slots, sizeof(int32_t)));
    if (!result->values || !result->lengths) {
        FreeDOColumnValues(result);
        return nullptr;
    }
    for (RowUnit* unit = collection->firstRow; unit; unit = unit->next, result->count++) {
        const void* value = unit->values[position];
        if (!value)
            continue;
        int32_t size = unit->lengths[position] > 0 ? unit->lengths[position] : 0;
        auto* copy = static_cast<char*>(BriMalloc(static_cast<size_t>(size) + 1));
        if (!copy) {
            FreeDOColumnValues(result);
            return nullptr;
        }
        memcpy(copy, value, static_cast<size_t>(size));
        copy[size] = '\0';
        result->values[result->count] = copy;
        result->lengths[result->count] = size;
    }
    return result;
}

int IsDOEmpty(const DataObject* dataObject) { return !dataObject || !dataObject->firstCollection; }

void PrintDataObject(const DataObject* dataObject)
{
    if (!dataObject) {
        LogError("Cannot print DataObject.  dataObjectPtr is NULL\n");
        return;
    }
    LogTrace("Tables selected in DataObject: \n");
    for (LCDNode* node = dataObject->tableList ? dataObject->tableList->head : nullptr; node; node = node->next)
        LogTrace("%s\n", static_cast<const char*>(node->data));
    LogTrace("*************\n");
    for (const RowCollection* c = dataObject->firstCollection; c; c = c->next) {
        LogTrace("Table Name: %s\n", c->tableName);
        std::string line;
        for (int32_t i = 0; c->columnNames[i]; i++)
            line += std::string(" ") + c->columnNames[i] + "\t";
        LogTrace("%sRowState\n", line.c_str());
        for (const RowUnit* unit = c->firstRow; unit; unit = unit->next) {
            line.clear();
            for (int32_t i = 0; i < unit->columnCount; i++) {
                std::unique_ptr<char, decltype(&free)> text(
                    ColumnValueToString(unit->values[i], unit->lengths[i], c->columnTypes[i]), &free);
                line += std::string(" ") + (text ? text.get() : "") + "\t";
            }
            LogTrace("%s%d\n", line.c_str(), unit->rowState);
        }
    }
}

namespace {

/* A null-terminated array of n texts from args, copied into pool. A null
 * text is refused when nullsAllowed is false (names), kept as a null entry
 * when it is true (values: SQL NULL). */
char** PoolTextList(MemPool* pool, int32_t n, va_list args, bool nullsAllowed)
{
    if (!pool || n < 0)
        return nullptr;
    auto** list = static_cast<char**>(PoolAlloc(pool, sizeof(char*) * (static_cast<size_t>(n) + 1)));
    if (!list)
        return nullptr;
    bool ok = true;
    for (int32_t i = 0; i < n; i++) {
        const char* text = va_arg(args, const char*);
        list[i] = nullptr;
        if (!ok)
            continue;
        if (!text)
            ok = nullsAllowed;
        else if (PoolStrdup(&list[i], text, pool) != VELMORA_SUCCESS)
            ok = false;
    }
    list[n] = nullptr;
    return ok ? list : nullptr;
}

} // namespace

char** MakeColumnList(MemPool* pool, int32_t n, ...)
{
    va_list args;
    va_start(args, n);
    char** list = PoolTextList(pool, n, args, false);
    va_end(args);
    return list;
}

char** MakeStringColumnValuesList(MemPool* pool, int32_t n, ...)
{
    va_list args;
    va_start(args, n);
    char** list = PoolTextList(pool, n, args, true);
    va_end(args);
    return list;
}

int32_t* MakeLengthList(MemPool* pool, int32_t n, ...)
{
    if (!pool || n < 0)
        return nullptr;
    auto* list = static_cast<int32_t*>(PoolAlloc(pool, sizeof(int32_t) * (static_cast<size_t>(n) + 1)));
    if (!list)
        return nullptr;
    va_list args;
    va_start(args, n);
    for (int32_t i = 0; i < n; i++)
        list[i] = static_cast<int32_t>(va_arg(args, int));
    va_end(args);
    return list;
}

} // extern "C"
