/*
 * Selection results: references to rows with a cursor, column lookups by
 * name and position, and sorting.
 */
#include <stdlib.h>
#include <string.h>

#include "store/column_type_info.h"
#include "runtime/log.h"
#include "tables_internal.h"
#include "velmora/base_alloc.h"
#include "velmora/column_types.h"

using namespace velmora_tables;

namespace {

/* The sort key of a value: integers widened from the bytes they have,
 * anything else from its first (up to) four bytes, so that no value is
 * read past its length. */
int32_t SortKey(const void* value, int32_t length, uint8_t type)
{
    if (velmora::ColumnType(type).kind == velmora::ValueKind::Integer)
        return static_cast<int32_t>(ColumnValueToInt64(value, length, type));
    unsigned char bytes[4] = {0, 0, 0, 0};
    if (length > 0)
        memcpy(bytes, value, length < 4 ? static_cast<size_t>(length) : 4);
    uint32_t number = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return static_cast<int32_t>(number);
}

struct SortOrder {
    int32_t column;
    uint8_t type;
    bool ascending;
};

/* Whether b must come before a (a strict "out of order"; NULL first). */
bool Before(const RowObject* b, const RowObject* a, const SortOrder& order)
{
    const void* va = a->values[order.column];
    const void* vb = b->values[order.column];
    if (!va || !vb) {
        // NULL orders first ascending, last descending.
        bool aFirst = !va && vb, bFirst = !vb && va;
        return order.ascending ? bFirst : aFirst;
    }
    int32_t ka = SortKey(va, a->lengths[order.column], order.type);
    int32_t kb = SortKey(vb, b->lengths[order.column], order.type);
    return order.ascending ? kb < ka : kb > ka;
}

/* A stable bottom-up merge sort of the reference list: what the adjacent
 * swaps of a bubble sort give, in n log n steps, without memory or
 * recursion. */
ResultRowRef* SortList(ResultRowRef* head, const SortOrder& order)
{
    for (size_t width = 1;; width *= 2) {
        ResultRowRef* remaining = head;
        ResultRowRef* merged = nullptr;
        ResultRowRef** tail = &merged;
        size_t merges = 0;
        while (remaining) {
            merges++;
            ResultRowRef* left = remaining;
            ResultRowRef* right = left;
            size_t leftSize = 0;
            while (right && leftSize < width) {
                right = right->next;
                leftSize++;
            }
            size_t rightSize = width;
            while (leftSize > 0 || (rightSize > 0 && right)) {
                ResultRowRef* take;
                if (leftSize == 0) {
                    take = right;
                    right = right->next;
                    rightSize--;
                } else if (rightSize == 0 || !right || !Before(right->row, left->row, order)) {
                    take = left;
                    left = left->next;
                    leftSize--;
                } else {
                    take = right;
                    right = right->next;
                    rightSize--;
                }
                *tail = take;
                tail = &take->next;
            }
            remaining = right;
        }
        *tail = nullptr;
        head = merged;
        if (merges <= 1)
            return head;
    }
}

const RowObject* CurrentRow(const ResultData* result)
{
    return result && result->cursor ? result->cursor->row : nullptr;
}

} // namespace

extern "C" ResultData* CreateResultData(int32_t columnCount, const TableData* table)
{
    LogTrace("@@@ Inside CreateResultData @@@\n");
    if (!table)
        return nullptr;
    auto* result = static_cast<ResultData*>(BriCalloc(1, sizeof(ResultData)));
    if (!result) {
        LogError("CreateResultData : MEMORY_ALLOCATION_FAILURE\n");
        return nullptr;
    }
    result->kind = table->kind;
    result->tableDefn = table->tableDefn;
    result->viewDefn = table->viewDefn;
    result->columnCount = columnCount;
    return result;
}

extern "C" int AddRowToResultData(RowObject* row, ResultData* result)
{
    if (!row || !result)
        return VELMORA_FAILURE;
    auto* ref = static_cast<ResultRowRef*>(BriMalloc(sizeof(ResultRowRef)));
    if (!ref)
        return VELMORA_ALLOC_FAILURE;
    ref->row = row;
    AppendToList(result->firstRow, result->lastRow, ref);
    result->rowCount++;
    return VELMORA_SUCCESS;
}

extern "C" RowObject* GotoNextRowObject(ResultData* result)
{
    if (!result)
        return nullptr;
    ResultRowRef* next = result->cursor ? result->cursor->next : result->firstRow;
    if (!next)
        return nullptr; // the cursor stays on the last row
    result->cursor = next;
    return next->row;
}

extern "C" void ResetResultDataCursor(ResultData* result)
{
    if (result)
        result->cursor = nullptr;
}

extern "C" void* GetColumnValueByName(const char* columnName, int32_t* length, const ResultData* result)
{
    const RowObject* row = CurrentRow(result);
    if (!row)
        return nullptr;
    int32_t index = FindColumn(result->kind, result->tableDefn, result->viewDefn, columnName);
    if (index < 0 || index >= result->columnCount)
        return nullptr;
    if (length)
        *length = row->lengths[index];
    return row->values[index];
}

extern "C" uint8_t GetColumnTypeByName(const char* columnName, const ResultData* result)
{
    if (!result)
        return 0;
    uint8_t type = 0;
    return FindColumn(result->kind, result->tableDefn, result->viewDefn, columnName, &type) < 0 ? 0 : type;
}

extern "C" const char* GetColumnNameByIndex(int32_t index, const ResultData* result)
{
    ColumnInfo info;
    if (!result || !ColumnAt(result->kind, result->tableDefn, result->viewDefn, index, &info))
        return nullptr;
    return info.name;
}

extern "C" const char* GetTableNameFromResultData(const ResultData* result)
{
    if (!result)
        return nullptr;
    if (result->kind == TABLE_KIND_VIEW)
        return result->viewDefn && result->viewDefn->tableCount ? result->viewDefn->tableNames[0] : nullptr;
    return result->tableDefn ? result->tableDefn->name : nullptr;
}

extern "C" void FreeResultData(ResultData* result)
{
    if (!result)
        return;
    ResultRowRef* ref = result->firstRow;
    while (ref) {
        ResultRowRef* next = ref->next;
        free(ref);
        ref = next;
    }
    free(result);
}

extern "C" int SortResultSet(ResultData* result, const char* columnName, uint8_t ascending)
{
    LogTrace("@@@ Inside SortResultSet @@@\n");
    if (!result)
        return VELMORA_FAILURE;
    SortOrder order{-1, 0, ascending == 1};
    order.column = FindColumn(result->kind, result->tableDefn, result->viewDefn, columnName, &order.type);
    if (order.column < 0 || order.column >= result->columnCount)
        return VELMORA_FAILURE;
    if (result->rowCount == 1) {
        LogDebug("Number of Rows is 1 for the Relvar to be Sorted \n");
        return VELMORA_SUCCESS;
    }
    result->firstRow = SortList(result->firstRow, order);
    ResultRowRef* last = result->firstRow;
    while (last && last->next)
        last = last->next;
    result->lastRow = last;
    return VELMORA_SUCCESS;
}
