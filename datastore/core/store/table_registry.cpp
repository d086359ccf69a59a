/*
 * The registry of table definitions, its lookups and its debug listing.
 *
 * Walks and changes of gv_tableDefns hold the object lock keyed on the
 * vector, as the vector's own operations do; the lock is not re-entrant,
 * so no vector operation is called while it is held.
 */
#include <stdlib.h>
#include <string.h>

#include "runtime/log.h"
#include "runtime/object_lock.h"
#include "velmora/string_routines.h"
#include "velmora/table_defn.h"

LCDVector gv_tableDefns = {nullptr, 0, nullptr, nullptr};

namespace {

const char kDashes[] = "---------------------------------------\n\n";
const char kStars[] = "********************************\n";

TableDefn* FindTable(const char* name)
{
    TableDefn* found = nullptr;
    LockObject(&gv_tableDefns);
    for (LCDNode* node = gv_tableDefns.head; node; node = node->next) {
        auto* table = static_cast<TableDefn*>(node->data);
        if (table && CompareNoCase(table->name, name) == 0) {
            found = table;
            break;
        }
    }
    UnlockObject(&gv_tableDefns);
    return found;
}

/* The checks shared by the column lookups. */
ColumnDefn* FindColumn(const char* tableName, const char* columnName)
{
    if (!tableName || !columnName) {
        LogError("Cannot fetch default value;\n");
        return nullptr;
    }
    TableDefn* table = GetTableDefnByName(tableName);
    if (!table) {
        LogError("No definition found for table %s\n", tableName);
        return nullptr;
    }
    for (LCDNode* node = table->columns ? table->columns->head : nullptr; node; node = node->next) {
        auto* column = static_cast<ColumnDefn*>(node->data);
        if (column && strcmp(column->name, columnName) == 0)
            return column;
    }
    return nullptr;
}

void FreeDetachedNodes(LCDNode* node)
{
    while (node) {
        LCDNode* next = node->next;
        FreeTableDefn(static_cast<TableDefn*>(node->data));
        free(node);
        node = next;
    }
}

} // namespace

extern "C" void InitTableDefnVector(void)
{
    FreeTableDefns();
    InitVector(&gv_tableDefns, nullptr); // takes the vector's lock itself
}

extern "C" LCDVector* GetTableDefnVector(void) { return &gv_tableDefns; }

extern "C" int AddTableDefn(TableDefn* definition)
{
    if (!definition)
        return VELMORA_FAILURE;
    return AddElementData(&gv_tableDefns, definition) == VELMORA_SUCCESS ? VELMORA_SUCCESS : VELMORA_ALLOC_FAILURE;
}

extern "C" TableDefn* GetTableDefnByName(const char* name)
{
    if (!name) {
        LogError("Table Name is NULL.\n");
        return nullptr;
    }
    return FindTable(name);
}

extern "C" ColumnDefn* GetColumnDefnEntry(const char* tableName, const char* columnName)
{
    return FindColumn(tableName, columnName);
}

extern "C" uint8_t GetColumnDefnType(const char* tableName, const char* columnName)
{
    ColumnDefn* column = FindColumn(tableName, columnName);
    return column ? column->type : static_cast<uint8_t>(BRI_SQL_NOT_SUPPORTED_TYPE);
}

extern "C" void* GetDefaultValue(const char* tableName, const char* columnName, uint8_t* found)
{
    ColumnDefn* column = FindColumn(tableName, columnName);
    if (found)
        *found = column ? 1 : 0;
    return column ? column->defaultValue : nullptr;
}

extern "C" ForeignKeyDefn* GetForeignKeyByColumn(const TableDefn* definition, const char* column)
{
    if (!definition || !column)
        return nullptr;
    if (!definition->constraints) {
        LogError("No constraint Definition \n");
        return nullptr;
    }
    if (!definition->constraints->foreignKeys) {
        LogError("No Foreignkey Entries in Definition \n");
        return nullptr;
    }
    for (LCDNode* node = definition->constraints->foreignKeys->head; node; node = node->next) {
        auto* key = static_cast<ForeignKeyDefn*>(node->data);
        if (key && CompareNoCase(key->localColumn, column) == 0)
            return key;
    }
    return nullptr;
}

extern "C" void PrintTableDefn(const TableDefn* definition)
{
    if (!definition || !definition->columns || !definition->columns->head)
        return;
    LogDebug("Table Name : %s\n", definition->name);
    LogDebug("Description: %s\n", definition->description ? definition->description : "");
    LogDebug("%s", kDashes);
    for (LCDNode* node = definition->columns->head; node; node = node->next) {
        auto* column = static_cast<const ColumnDefn*>(node->data);
        LogDebug("Column Name : %s\n", column->name);
        LogDebug("Column Type : %d\n", column->type);
        LogDebug("Unique Flag : %s\n", column->unique ? "TRUE" : "FALSE");
        LogDebug("Description : %s\n", column->description ? column->description : "");
        LogDebug("%s", kDashes);
    }
    const ConstraintDefn* constraints = definition->constraints;
    if (!constraints)
        return;
    for (int32_t i = 0; i < constraints->primaryKeyCount; i++)
        LogDebug("Primary key : %s\n\n", constraints->primaryKeys[i]);
    if (constraints->foreignKeys && constraints->foreignKeys->head) {
        LogDebug("Foreign key Constraints\n");
        LogDebug("%s", kStars);
        for (LCDNode* node = constraints->foreignKeys->head; node; node = node->next) {
            auto* key = static_cast<const ForeignKeyDefn*>(node->data);
            LogDebug("Column Name : %s\n", key->localColumn);
            LogDebug("Ref Column  : %s\n", key->referenceColumn);
            LogDebug("Tablename : %s\n", key->referenceTable);
        }
        LogDebug("%s", kStars);
    }
}

extern "C" void PrintTableDefns(void)
{
    // Definitions do not change after loading; the lock keeps the list's
    // links steady while it is walked.
    LockObject(&gv_tableDefns);
    for (LCDNode* node = gv_tableDefns.head; node; node = node->next)
        PrintTableDefn(static_cast<const TableDefn*>(node->data));
    UnlockObject(&gv_tableDefns);
}

extern "C" int RemoveTableDefn(const char* name)
{
    if (!name)
        return VELMORA_FAILURE;
    LCDNode* removed = nullptr;
    LockObject(&gv_tableDefns);
    LCDNode* previous = nullptr;
    for (LCDNode* node = gv_tableDefns.head; node; previous = node, node = node->next) {
        auto* table = static_cast<TableDefn*>(node->data);
        if (table && CompareNoCase(table->name, name) == 0) {
            if (previous)
                previous->next = node->next;
            else
                gv_tableDefns.head = node->next;
            if (gv_tableDefns.tail == node)
                gv_tableDefns.tail = previous;
            gv_tableDefns.count--;
            node->next = nullptr;
            removed = node;
            break;
        }
    }
    UnlockObject(&gv_tableDefns);
    if (!removed)
        return VELMORA_FAILURE;
    FreeDetachedNodes(removed);
    return VELMORA_SUCCESS;
}

extern "C" void FreeTableDefns(void)
{
    LockObject(&gv_tableDefns);
    LCDNode* nodes = gv_tableDefns.head;
    gv_tableDefns.head = nullptr;
    gv_tableDefns.tail = nullptr;
    gv_tableDefns.count = 0;
    UnlockObject(&gv_tableDefns);
    FreeDetachedNodes(nodes);
}
