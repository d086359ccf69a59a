/*
 * Rows of in-memory tables: creation, appending with generated and default
 * values, updates and deletions. Every change is announced to the
 * listeners after the row has its new state and before anything is freed.
 *
 * The table keeps its last row, so appending never walks the list.
 */
#include <stdlib.h>
#include <string.h>

#include "runtime/log.h"
#include "tables_internal.h"
#include "velmora/base_alloc.h"
#include "velmora/notifications.h"
#include "velmora/seq_state.h"
#include "velmora/string_routines.h"

using namespace velmora_tables;

namespace {

/* Fills the null values of generated and defaulted columns. 1, or 99 when a
 * value cannot be allocated (values filled before stay in the row). */
int FillMissingValues(const TableData* table, RowObject* row)
{
    int32_t index = 0;
    LCDNode* node = table->tableDefn->columns ? table->tableDefn->columns->head : nullptr;
    for (; node && index < table->columnCount; node = node->next, index++) {
        auto* column = static_cast<const ColumnDefn*>(node->data);
        if (!column || row->values[index])
            continue;
        if (column->generatorName) {
            int32_t id = GenerateID(table->name, column);
            row->values[index] = CopyValue(&id, sizeof id);
            if (!row->values[index])
                return VELMORA_ALLOC_FAILURE;
            row->lengths[index] = sizeof id;
        }
        if (!row->values[index] && column->defaultValue) {
            row->values[index] = CopyValue(column->defaultValue, column->defaultLength);
            if (!row->values[index])
                return VELMORA_ALLOC_FAILURE;
            row->lengths[index] = column->defaultLength;
        }
    }
    return VELMORA_SUCCESS;
}

void Append(TableData* table, RowObject* row) { AppendToList(table->firstRow, table->lastRow, row); }

bool IsPrimaryKeyColumn(const TableDefn* definition, const char* column)
{
    const ConstraintDefn* constraints = definition ? definition->constraints : nullptr;
    if (!constraints || !constraints->primaryKeys)
        return false;
    for (int32_t i = 0; i < constraints->primaryKeyCount; i++) {
        if (constraints->primaryKeys[i] && CompareNoCase(constraints->primaryKeys[i], column) == 0)
            return true;
    }
    return false;
}

/* Deletes row, whose predecessor is previous: a stored row is only marked
 * (and stays, so it becomes the predecessor of what follows); any other is
 * unlinked, announced and freed. Returns the row that precedes the next. */
RowObject* DeleteLinkedRow(TableData* table, RowObject* previous, RowObject* row)
{
    if (row->state & ROW_STATE_STORED) {
        row->state |= ROW_STATE_DELETED;
        return row;
    }
    UnlinkRow(table, previous, row);
    SendNotification(row, table->name);
    FreeRowObject(row, table->columnCount);
    return previous;
}

TableData* FindTable(const char* tableName, const char* operation)
{
    TableData* table = GetTableDataByName(tableName);
    if (!table)
        LogError("%s : table %s not found\n", operation, tableName ? tableName : "(null)");
    return table;
}

} // namespace

extern "C" RowObject* CreateNewRowObject(void** values, int32_t* lengths)
{
    LogTrace("@@@ Inside CreateNewRowObject @@@\n");
    if (!values || !lengths)
        return nullptr;
    auto* row = static_cast<RowObject*>(BriCalloc(1, sizeof(RowObject)));
    if (!row) {
        LogError("CreateNewRowObject : MEMORY_ALLOCATION_FAILURE\n");
        return nullptr;
    }
    row->values = values;
    row->lengths = lengths;
    row->state = ROW_STATE_NEW;
    return row;
}

extern "C" void FreeRowObject(RowObject* row, int32_t columnCount)
{
    if (!row)
        return;
    if (row->values) {
        for (int32_t i = 0; i < columnCount; i++)
            free(row->values[i]);
        free(row->values);
    }
    free(row->lengths);
    free(row);
}

extern "C" int AddNewRow(const char* tableName, RowObject* row)
{
    LogTrace("@@@ Inside AddNewRow @@@\n");
    TableData* table = FindTable(tableName, "AddNewRow");
    if (!table || !row || !row->values || !row->lengths)
        return VELMORA_FAILURE;
    // Adding a linked row again would tie the list into a loop.
    if (row->next || row == table->lastRow) {
        LogError("AddNewRow : row is in a table already\n");
        return VELMORA_FAILURE;
    }
    if (table->columnCount <= 0) {
        LogError("AddNewRow : table %s has no columns\n", table->name);
        return VELMORA_FAILURE;
    }
    if (table->kind == TABLE_KIND_TABLE) {
        int filled = FillMissingValues(table, row);
        if (filled != VELMORA_SUCCESS) {
            LogError("AddNewRow : MEMORY_ALLOCATION_FAILURE\n");
            return filled;
        }
    }
    Append(table, row);
    if (table->rowCount < INT32_MAX)
        table->rowCount++;
    SendNotification(row, table->name);
    return VELMORA_SUCCESS;
}

extern "C" int UpdateRowObject(const char* tableName, RowObject* row, const char* columnName, const void* value,
                               int32_t length)
{
    LogTrace("@@@ Inside UpdateRowObject @@@\n");
    TableData* table = FindTable(tableName, "UpdateRowObject");
    if (!table)
        return VELMORA_FAILURE;
    if (!row) {
        LogError("\t@@@@@ rowPtr passed as parameter in NULL @@@@@ \n");
        return VELMORA_FAILURE;
    }
    if (!columnName || length < 0 || !row->values || !row->lengths)
        return VELMORA_FAILURE;
    if (table->kind == TABLE_KIND_TABLE && IsPrimaryKeyColumn(table->tableDefn, columnName)) {
        LogError("@@@ UpdateRowObject Failed as PrimaryKey is being updated @@@\n");
        return VELMORA_FAILURE;
    }
    int32_t index = FindColumn(table->kind, table->tableDefn, table->viewDefn, columnName);
    if (index < 0 || index >= table->columnCount) {
        LogError("UpdateRowObject : no column %s in %s\n", columnName, table->name);
        return VELMORA_FAILURE;
    }
    void* copy = nullptr;
    if (value) {
        copy = CopyValue(value, length);
        if (!copy) {
            LogError("UpdateRowObject : MEMORY_ALLOCATION_FAILURE\n");
            return VELMORA_ALLOC_FAILURE;
        }
    } else {
        length = 0; // a null value stores SQL NULL
    }
    void* old = row->values[index];
    row->values[index] = copy;
    row->lengths[index] = length;
    row->state |= ROW_STATE_UPDATED;
    SendNotification(row, table->name);
    free(old);
    return VELMORA_SUCCESS;
}

extern "C" int DeleteRowObject(const char* tableName, RowObject* row)
{
    LogTrace("@@@ Inside DeleteRowObject @@@\n");
    TableData* table = FindTable(tableName, "DeleteRowObject");
    if (!table || !row)
        return VELMORA_FAILURE;
    if (row->state & ROW_STATE_STORED) {
        row->state |= ROW_STATE_DELETED;
        return VELMORA_SUCCESS;
    }
    RowObject* previous = nullptr;
    RowObject* current = table->firstRow;
    while (current && current != row) {
        previous = current;
        current = current->next;
    }
    if (!current) {
        LogError("DeleteRowObject : row not in table %s\n", table->name);
        return VELMORA_FAILURE;
    }
    DeleteLinkedRow(table, previous, row);
    return VELMORA_SUCCESS;
}

extern "C" int DeleteRowObjectByCriteria(const char* tableName, const char* condition)
{
    LogTrace("@@@ Inside DeleteRowObjectByCriteria @@@\n");
    if (!condition)
        return VELMORA_FAILURE;
    TableData* table = FindTable(tableName, "DeleteRowObjectByCriteria");
    if (!table || table->kind != TABLE_KIND_TABLE || table->columnCount <= 0)
        return VELMORA_FAILURE;
    // Select first, delete afterwards: listeners must not run under the
    // criteria lock, or a listener that selects would wait for ever.
    int status = VELMORA_FAILURE;
    ResultData* matches = RunSelection(table, condition, &status);
    if (!matches)
        return status;
    // The matches are in list order: one walk pairs them with the rows.
    ResultRowRef* match = matches->firstRow;
    RowObject* previous = nullptr;
    RowObject* row = table->firstRow;
    while (row && match) {
        RowObject* next = row->next;
        if (row == match->row) {
            previous = DeleteLinkedRow(table, previous, row);
            match = match->next;
        } else {
            previous = row;
        }
        row = next;
    }
    FreeResultData(matches);
    return VELMORA_SUCCESS;
}

extern "C" int DeleteAllTableRowObjects(const char* tableName)
{
    LogTrace("@@@ Inside DeleteAllTableRowObjects @@@\n");
    if (!tableName) {
        LogError("\t tableName NULL \n");
        return VELMORA_FAILURE;
    }
    TableData* table = GetTableDataByName(tableName);
    if (!table) {
        LogError("\t GetTableDataByName returned NULL \n");
        return VELMORA_FAILURE;
    }
    if (table->kind != TABLE_KIND_TABLE)
        return VELMORA_FAILURE;
    RowObject* previous = nullptr;
    RowObject* row = table->firstRow;
    while (row) {
        RowObject* next = row->next;
        previous = DeleteLinkedRow(table, previous, row);
        row = next;
    }
    return VELMORA_SUCCESS;
}
