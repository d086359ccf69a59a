/*
 * Selecting rows: by condition text, by position, and the single-value
 * shortcut.
 *
 * A condition is parsed once and compiled once (condition_program.cpp);
 * the criteria lock covers the parse and the compilation, which is all
 * that touches the parsed tree. Evaluating the rows needs only the
 * compiled program, which belongs to this call, so other threads may
 * parse their conditions meanwhile.
 */
#include <stdlib.h>

#include "runtime/log.h"
#include "runtime/object_lock.h"
#include "tables_internal.h"
#include "velmora/base_alloc.h"

namespace velmora_tables {

namespace {

/* Appends a reference without the checks of AddRowToResultData: the
 * selection loop owns the result and knows its tail. */
inline bool AppendRef(ResultData* result, RowObject* row)
{
    auto* ref = static_cast<ResultRowRef*>(BriMalloc(sizeof(ResultRowRef)));
    if (!ref)
        return false;
    ref->row = row;
    ref->next = nullptr;
    if (result->lastRow)
        result->lastRow->next = ref;
    else
        result->firstRow = ref;
    result->lastRow = ref;
    result->rowCount++;
    return true;
}

} // namespace

ResultData* RunSelection(TableData* table, const char* condition, int* status)
{
    *status = VELMORA_ALLOC_FAILURE;
    ConditionProgram program;
    if (condition) {
        LockObject(gv_criteriaLock);
        CriteriaNode* root = ParseConditionText(condition);
        int compiled = VELMORA_FAILURE;
        if (root && table->kind == TABLE_KIND_TABLE && table->columnCount > 0)
            compiled = program.Compile(root, table->tableDefn, table->columnCount);
        FreeCriteriaTree(root);
        UnlockObject(gv_criteriaLock);
        if (compiled != VELMORA_SUCCESS) {
            *status = compiled;
            return nullptr;
        }
    }
    ResultData* result = CreateResultData(table->columnCount, table);
    if (!result)
        return nullptr;
    for (RowObject* row = table->firstRow; row; row = row->next) {
        if (condition && !program.Matches(row))
            continue;
        if (!AppendRef(result, row)) {
            LogError("not able to Add row \n");
            FreeResultData(result);
            return nullptr;
        }
    }
    result->cursor = nullptr;
    *status = VELMORA_SUCCESS;
    return result;
}

} // namespace velmora_tables

using namespace velmora_tables;

extern "C" ResultData* SelectRows(const char* tableName, const char* condition)
{
    LogTrace("@@@ Inside SelectRows @@@\n");
    TableData* table = GetTableDataByName(tableName);
    if (!table)
        return nullptr;
    int status;
    return RunSelection(table, condition, &status);
}

extern "C" ResultData* SelectRowByRowIdx(const char* tableName, int32_t n)
{
    LogTrace("@@@ Inside SelectRowByRowIdx @@@\n");
    TableData* table = GetTableDataByName(tableName);
    if (!table || n > table->rowCount)
        return nullptr;
    // The row count also counts rows deleted since: the walk stops at the
    // end of the list rather than trust it.
    RowObject* row = table->firstRow;
    for (int32_t i = 1; row && i < n; i++)
        row = row->next;
    if (!row)
        return nullptr;
    ResultData* result = CreateResultData(table->columnCount, table);
    if (!result)
        return nullptr;
    if (AddRowToResultData(row, result) != VELMORA_SUCCESS) {
        FreeResultData(result);
        return nullptr;
    }
    return result;
}

extern "C" void* GetColumnValue(const char* tableName, const char* columnName, const char* condition, int32_t* length)
{
    LogTrace("@@@ Inside GetColumnValue @@@\n");
    const char* shownTable = tableName ? tableName : "(null)";
    const char* shownCondition = condition ? condition : "(null)";
    ResultData* result = SelectRows(tableName, condition);
    if (!result) {
        LogError("Error in executing SelectRows(%s,%s)\n", shownTable, shownCondition);
        return nullptr;
    }
    void* value = nullptr;
    if (!GotoNextRowObject(result)) {
        LogTrace("No such row available in the %s for %s", shownTable, shownCondition);
    } else {
        value = GetColumnValueByName(columnName, length, result);
        if (!value)
            LogError("columnValue is NULL for :%s\n", columnName ? columnName : "(null)");
    }
    FreeResultData(result);
    return value;
}
