/*
 * DBResultSet: building by a provider, reading through the cursor.
 */
#include "velmora/result_set.h"

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "runtime/log.h"
#include "velmora/base_alloc.h"
#include "velmora/column_types.h"
#include "velmora/string_routines.h"

namespace {

void FreeValues(DBColumnValue* value)
{
    while (value) {
        DBColumnValue* next = value->next;
        free(value->value);
        free(value);
        value = next;
    }
}

void FreeRow(DBResultRow* row)
{
    if (!row)
        return;
    FreeValues(row->values);
    free(row);
}

/* The position of the named column, or -1. */
int32_t ColumnIndex(const DBResultSet* resultSet, const char* columnName)
{
    if (!resultSet || !columnName || !resultSet->columns)
        return -1;
    for (int32_t i = 0; i < resultSet->columnCount; i++) {
        const char* name = resultSet->columns[i].name;
        if (name && CompareNoCase(name, columnName) == 0)
            return i;
    }
    return -1;
}

/* A heap copy of length bytes plus a terminating 0. */
void* CopyValue(const void* value, int32_t length)
{
    char* copy = static_cast<char*>(BriMalloc(static_cast<size_t>(length) + 1));
    if (!copy)
        return nullptr;
    if (length > 0)
        memcpy(copy, value, static_cast<size_t>(length));
    copy[length] = '\0';
    return copy;
}

} // namespace

extern "C" {

DBResultSet* CreateDBResultSet(int32_t columnCount)
{
    if (columnCount < 0) {
        LogError("CreateDBResultSet: Invalid column count %d\n", columnCount);
        return nullptr;
    }
    auto* resultSet = static_cast<DBResultSet*>(BriCalloc(1, sizeof(DBResultSet)));
    if (!resultSet) {
        LogError("CreateDBResultSet: MEMORY_ALLOCATION_FAILURE\n");
        return nullptr;
    }
    if (columnCount > 0) {
        resultSet->columns =
            static_cast<DBColumnDescriptor*>(BriCalloc(static_cast<size_t>(columnCount), sizeof(DBColumnDescriptor)));
        if (!resultSet->columns) {
            LogError("CreateDBResultSet: MEMORY_ALLOCATION_FAILURE\n");
            free(resultSet);
            return nullptr;
        }
    }
    resultSet->columnCount = columnCount;
    return resultSet;
}

int SetDBResultColumn(DBResultSet* resultSet, int32_t index, const char* name, uint8_t type)
{
    if (!resultSet || !name || index < 0 || index >= resultSet->columnCount || !resultSet->columns)
        return VELMORA_FAILURE;
    char* copy = BriStrdup(name);
    if (!copy) {
        LogError("SetDBResultColumn: MEMORY_ALLOCATION_FAILURE\n");
        return VELMORA_ALLOC_FAILURE;
    }
    free(resultSet->columns[index].name);
    resultSet->columns[index].name = copy;
    resultSet->columns[index].type = type;
    return VELMORA_SUCCESS;
}

int AppendDBResultRow(DBResultSet* resultSet, const void* const* values, const int32_t* lengths)
{
    if (!resultSet)
        return VELMORA_FAILURE;
    int32_t count = resultSet->columnCount;
    if (count > 0 && (!values || !lengths))
        return VELMORA_FAILURE;
    for (int32_t i = 0; i < count; i++) {
        if (values[i] && lengths[i] < 0) {
            LogError("AppendDBResultRow: Invalid value length %d\n", lengths[i]);
            return VELMORA_FAILURE;
        }
    }
    std::unique_ptr<DBResultRow, void (*)(DBResultRow*)> row(
        static_cast<DBResultRow*>(BriCalloc(1, sizeof(DBResultRow))), FreeRow);
    if (!row) {
        LogError("AppendDBResultRow: MEMORY_ALLOCATION_FAILURE\n");
        return VELMORA_ALLOC_FAILURE;
    }
    DBColumnValue** tail = &row->values;
    for (int32_t i = 0; i < count; i++) {
        auto* cell = static_cast<DBColumnValue*>(BriCalloc(1, sizeof(DBColumnValue)));
        if (!cell) {
            LogError("AppendDBResultRow: MEMORY_ALLOCATION_FAILURE\n");
            return VELMORA_ALLOC_FAILURE;
        }
        *tail = cell;
        tail = &cell->next;
        if (!values[i])
            continue; /* NULL: length 0, no buffer */
        cell->value = CopyValue(values[i], lengths[i]);
        if (!cell->value) {
            LogError("AppendDBResultRow: MEMORY_ALLOCATION_FAILURE\n");
            return VELMORA_ALLOC_FAILURE;
        }
        cell->length = lengths[i];
    }
    DBResultRow* added = row.release();
    if (resultSet->lastRow)
        resultSet->lastRow->next = added;
    else
        resultSet->firstRow = added;
    resultSet->lastRow = added;
    resultSet->rowCount++;
    return VELMORA_SUCCESS;
}

int NextDBResultRow(DBResultSet* resultSet)
{
    if (!resultSet || resultSet->pastEnd)
        return VELMORA_FAILURE;
    resultSet->cursor = resultSet->cursor ? resultSet->cursor->next : resultSet->firstRow;
    if (!resultSet->cursor) {
        resultSet->pastEnd = 1;
        return VELMORA_FAILURE;
    }
    return VELMORA_SUCCESS;
}

void ResetDBResultCursor(DBResultSet* resultSet)
{
    if (!resultSet)
        return;
    resultSet->cursor = nullptr;
    resultSet->pastEnd = 0;
}

int GetDBResultValue(const DBResultSet* resultSet, const char* columnName, const void** value, int32_t* length)
{
    if (value)
        *value = nullptr;
    if (length)
        *length = 0;
    if (!value || !resultSet || !resultSet->cursor)
        return VELMORA_FAILURE;
    int32_t index = ColumnIndex(resultSet, columnName);
    if (index < 0)
        return VELMORA_FAILURE;
    const DBColumnValue* cell = resultSet->cursor->values;
    for (int32_t i = 0; i < index && cell; i++)
        cell = cell->next;
    if (!cell)
        return VELMORA_FAILURE; /* a row shorter than its columns: no such value */
    *value = cell->value;
    if (length)
        *length = cell->value ? cell->length : 0;
    return VELMORA_SUCCESS;
}

uint8_t GetDBResultColumnType(const DBResultSet* resultSet, const char* columnName)
{
    int32_t index = ColumnIndex(resultSet, columnName);
    return index < 0 ? 0 : resultSet->columns[index].type;
}

const char* GetDBResultColumnName(const DBResultSet* resultSet, int32_t index)
{
    if (!resultSet || !resultSet->columns || index < 0 || index >= resultSet->columnCount)
        return nullptr;
    return resultSet->columns[index].name;
}

void PrintDBResultSet(const DBResultSet* resultSet)
{
    if (!resultSet)
        return;
    std::string line;
    for (int32_t i = 0; i < resultSet->columnCount; i++) {
        const char* name = resultSet->columns[i].name;
        line += name ? name : "";
        line += '\t';
    }
    LogDebug("%s\n", line.c_str());
    for (const DBResultRow* row = resultSet->firstRow; row; row = row->next) {
        line.clear();
        const DBColumnValue* cell = row->values;
        for (int32_t i = 0; i < resultSet->columnCount && cell; i++, cell = cell->next) {
            if (!cell->value) {
                line += "NULL\t";
                continue;
            }
            std::unique_ptr<char, void (*)(void*)> text(
                ColumnValueToString(cell->value, cell->length, resultSet->columns[i].type), free);
            if (text) /* a value of an unknown type prints as its bytes up to a 0 */
                line += text.get();
            else
                line.append(static_cast<const char*>(cell->value),
                            strnlen(static_cast<const char*>(cell->value), static_cast<size_t>(cell->length)));
            line += '\t';
        }
        LogDebug("%s\n", line.c_str());
    }
}

void FreeDBResultSet(DBResultSet* resultSet)
{
    if (!resultSet)
        return;
    DBResultRow* row = resultSet->firstRow;
    while (row) {
        DBResultRow* next = row->next;
        FreeRow(row);
        row = next;
    }
    if (resultSet->columns) {
        for (int32_t i = 0; i < resultSet->columnCount; i++)
            free(resultSet->columns[i].name);
        free(resultSet->columns);
    }
    free(resultSet);
}

} // extern "C"
