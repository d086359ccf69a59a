/*
 * Merging one data object into another, and cloning one.
 */
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "data_object_internal.h"
#include "runtime/log.h"

using namespace velmora_objects::dobj;

namespace {

/* A unit of the target collection's shape holding source's values, column
 * by column name (a column the source lacks is NULL), from target's pool. */
RowUnit* ReshapedUnit(const RowUnit* unit, const RowCollection* from, const RowCollection* to, MemPool* pool)
{
    int32_t count = CollectionColumnCount(to);
    std::vector<void*> values(static_cast<size_t>(count) + 1, nullptr);
    std::vector<int32_t> lengths(static_cast<size_t>(count) + 1, 0);
    for (int32_t i = 0; i < count; i++) {
        int32_t position = CollectionColumnPosition(from, to->columnNames[i]);
        if (position >= 0 && position < unit->columnCount) {
            values[static_cast<size_t>(i)] = unit->values[position];
            lengths[static_cast<size_t>(i)] = unit->lengths[position];
        }
    }
    RowUnit shaped{};
    shaped.tableName = to->tableName;
    shaped.columnCount = count;
    shaped.values = values.data();
    shaped.lengths = lengths.data();
    shaped.rowState = unit->rowState;
    return CopyUnit(&shaped, count, pool);
}

/* Inserts a copy of unit into target. A row the database holds already
 * (bit 1) keeps its state, so that saving the target never inserts it a
 * second time; other rows arrive new (2). */
int InsertCopy(const RowUnit* unit, const RowCollection* from, RowCollection* to, DataObject* target)
{
    RowUnit* copy = ReshapedUnit(unit, from, to, target->pool);
    if (!copy)
        return VELMORA_ALLOC_FAILURE;
    int result = InsertRowUnit(copy, target);
    if (result == VELMORA_SUCCESS && (unit->rowState & ROW_STATE_STORED))
        copy->rowState = unit->rowState;
    return result;
}

} // namespace

extern "C" {

DataObject* MergeDataObject(DataObject* target, DataObject* source)
{
    if (!target || !source)
        return nullptr;
    for (const RowCollection* from = source->firstCollection; from; from = from->next) {
        RowCollection* to = FindCollection(target, from->tableName);
        if (!to) {
            int32_t count = CollectionColumnCount(from);
            TableDefn* definition = GetTableDefnByName(from->tableName);
            if (!definition || !HoldsPrimaryKey(definition, from->columnNames, count)) {
                LogError("All Primary key columns were not selected.\n");
                LogError("tempRowCollection is NULL\n");
                return nullptr;
            }
            to = AddCollection(target, from->tableName, definition, from->columnNames, from->columnTypes, count);
            if (!to) {
                LogError("tempRowCollection is NULL\n");
                return nullptr;
            }
            for (const RowUnit* unit = from->firstRow; unit; unit = unit->next)
                if (unit->rowState != (ROW_STATE_NEW | ROW_STATE_DELETED))
                    InsertCopy(unit, from, to, target);
            continue;
        }
        for (const RowUnit* unit = from->firstRow; unit; unit = unit->next) {
            uint8_t state = unit->rowState;
            if (state != 5 && state != 2 && state != 6 && state != 9)
                continue;
            RowUnit* shaped = ReshapedUnit(unit, from, to, target->pool);
            if (!shaped)
                return nullptr;
            std::string key;
            RowUnit* present =
                MakeKeyString(shaped, to, &key) ? static_cast<RowUnit*>(HashGet(&target->keys, key.c_str())) : nullptr;
            if (state == 2 || state == 6) {
                if (present)
                    LogError("Cannot Insert Row with keystring %s.  Row already exists.", key.c_str());
                else
                    InsertCopy(unit, from, to, target);
            } else if (state == 5) {
                if (present)
                    UpdateRowUnit(shaped, target);
                else
                    InsertCopy(unit, from, to, target);
            } else if (present) {
                DeleteRowUnit(present, target);
            } else {
                InsertCopy(unit, from, to, target);
            }
        }
    }
    return target;
}

RowUnit* CloneRowUnit(const RowUnit* rowUnit, MemPool* pool)
{
    if (!rowUnit || !pool)
        return nullptr;
    return CopyUnit(rowUnit, rowUnit->columnCount, pool);
}

RowCollection* CloneRowCollection(const RowCollection* collection, DataObject* target)
{
    if (!collection || !target)
        return nullptr;
    TableDefn* definition = GetTableDefnByName(collection->tableName);
    if (!definition) {
        LogError("No Table Definition found for table %s.\n", collection->tableName);
        return nullptr;
    }
    RowCollection* copy = AddCollection(target, collection->tableName, definition, collection->columnNames,
                                        collection->columnTypes, CollectionColumnCount(collection));
    if (!copy) {
        LogError("MEMEORY_ALLOCATION_FAILURE.\n");
        return nullptr;
    }
    RowUnit* last = nullptr;
    for (const RowUnit* unit = collection->firstRow; unit; unit = unit->next) {
        RowUnit* unitCopy = CloneRowUnit(unit, target->pool);
        std::string key;
        if (!unitCopy || !MakeKeyString(unitCopy, copy, &key) ||
            HashPut(&target->keys, key.c_str(), unitCopy) != VELMORA_SUCCESS) {
            LogError("Cannot add the newRowUnit into hash table.\n");
            return nullptr;
        }
        if (last)
            last->next = unitCopy;
        else
            copy->firstRow = unitCopy;
        last = unitCopy;
    }
    return copy;
}

DataObject* CloneDataObject(DataObject* dataObject)
{
    if (!dataObject)
        return nullptr;
    DataObject* clone = CreateDataObject();
    if (!clone)
        return nullptr;
    clone->query = dataObject->query;
    // The table list keeps its order, whichever collections exist.
    for (LCDNode* node = dataObject->tableList->head; node; node = node->next) {
        char* name = nullptr;
        if (PoolStrdup(&name, static_cast<const char*>(node->data), clone->pool) != VELMORA_SUCCESS ||
            AddElementData(clone->tableList, name) != 1) {
            FreeDataObject(clone);
            return nullptr;
        }
    }
    clone->tableCount = clone->tableList->count;
    for (const RowCollection* collection = dataObject->firstCollection; collection; collection = collection->next)
        if (!CloneRowCollection(collection, clone)) {
            FreeDataObject(clone);
            return nullptr;
        }
    return clone;
}

} // extern "C"
