/*
 * The current row of a database result as a RowObject of the store.
 */
#include <stdlib.h>
#include <string.h>

#include "dialect_style.h"
#include "runtime/log.h"
#include "velmora/base_alloc.h"
#include "velmora/table_defn.h"

namespace velmora_sql {

namespace {

/* Frees count values and both arrays. */
void FreeArrays(void** values, int32_t* lengths, int32_t count)
{
    if (values)
        for (int32_t i = 0; i < count; i++)
            free(values[i]);
    free(values);
    free(lengths);
}

/* A copy of length bytes and a terminator. */
void* CopyValue(const void* value, int32_t length)
{
    auto* copy = static_cast<char*>(BriMalloc(static_cast<size_t>(length) + 1));
    if (!copy)
        return nullptr;
    memcpy(copy, value, static_cast<size_t>(length));
    copy[length] = '\0';
    return copy;
}

bool IsDateOrTime(uint8_t type) { return type >= BRI_SQL_DATE && type <= BRI_SQL_DATETIME; }

} // namespace

RowObject* ConvertResultRow(const DialectStyle& style, const DBResultSet* resultSet, const char* tableName)
{
    if (!resultSet || !resultSet->cursor) {
        LogError("No Result Row To Convert\n");
        return nullptr;
    }
    const TableDefn* definition = nullptr;
    if (style.parseDateTexts) {
        // Date and time columns arrive as text; the definition says which.
        definition = GetTableDefnByName(tableName);
        if (!definition || !definition->columns || definition->columns->count == 0)
            return nullptr;
    }
    int32_t count = resultSet->columnCount > 0 ? resultSet->columnCount : 0;
    size_t slots = count > 0 ? static_cast<size_t>(count) : 1;
    auto** values = static_cast<void**>(BriCalloc(slots, sizeof(void*)));
    auto* lengths = static_cast<int32_t*>(BriCalloc(slots, sizeof(int32_t)));
    if (!values || !lengths) {
        FreeArrays(values, lengths, 0);
        return nullptr;
    }
    const LCDNode* columnNode = definition ? definition->columns->head : nullptr;
    const DBColumnValue* cell = resultSet->cursor->values;
    for (int32_t i = 0; i < count && cell; i++, cell = cell->next) {
        const auto* column = columnNode ? static_cast<const ColumnDefn*>(columnNode->data) : nullptr;
        if (columnNode)
            columnNode = columnNode->next;
        if (!cell->value)
            continue;
        int32_t length = cell->length > 0 ? cell->length : 0;
        if (column && IsDateOrTime(column->type)) {
            // The text is "%d-%d-%d", "%d:%d:%d" or both; the buffer ends with 0.
            int result = AllocateAndCopyColumnValue(&values[i], &lengths[i], column->type,
                                                    static_cast<const char*>(cell->value));
            if (result != VELMORA_SUCCESS) {
                if (result != VELMORA_ALLOC_FAILURE)
                    LogError("Cannot convert value of column %s\n", column->name ? column->name : "");
                FreeArrays(values, lengths, count);
                return nullptr;
            }
            continue;
        }
        values[i] = CopyValue(cell->value, length);
        if (!values[i]) {
            FreeArrays(values, lengths, count);
            return nullptr;
        }
        lengths[i] = length;
    }
    RowObject* row = CreateNewRowObject(values, lengths);
    if (!row) {
        FreeArrays(values, lengths, count);
        return nullptr;
    }
    row->state = ROW_STATE_STORED;
    row->next = nullptr;
    return row;
}

} // namespace velmora_sql
