/*
 * The registry of in-memory tables, table and view records, and the column
 * lookups shared by the other table sources.
 *
 * The registry is changed and walked under the object lock keyed on
 * &gv_tableDataVector; the lock is not re-entrant, so no vector operation
 * is called while it is held (creation links its node by hand so that the
 * name check and the append are one step).
 */
#include <stdlib.h>
#include <string.h>

#include "runtime/log.h"
#include "runtime/object_lock.h"
#include "tables_internal.h"
#include "velmora/base_alloc.h"
#include "velmora/string_routines.h"

LCDVector gv_tableDataVector = {nullptr, 0, nullptr, nullptr};

namespace velmora_tables {

ColumnWalk::ColumnWalk(uint8_t kind, const TableDefn* table, const CustomViewDefn* view)
    : node_(nullptr), view_(kind == TABLE_KIND_VIEW)
{
    if (view_)
        node_ = view && view->columns ? view->columns->head : nullptr;
    else
        node_ = table && table->columns ? table->columns->head : nullptr;
}

bool ColumnWalk::Next(ColumnInfo* info)
{
    while (node_) {
        LCDNode* node = node_;
        node_ = node->next;
        if (view_) {
            auto* column = static_cast<const ViewColumnDefn*>(node->data);
            if (!column)
                continue;
            info->name = column->columnName;
            info->type = column->sourceColumn ? column->sourceColumn->type : 0;
        } else {
            auto* column = static_cast<const ColumnDefn*>(node->data);
            if (!column)
                continue;
            info->name = column->name;
            info->type = column->type;
        }
        return true;
    }
    return false;
}

int32_t FindColumn(uint8_t kind, const TableDefn* table, const CustomViewDefn* view, const char* name, uint8_t* type)
{
    if (!name)
        return -1;
    ColumnWalk walk(kind, table, view);
    ColumnInfo info;
    for (int32_t index = 0; walk.Next(&info); index++) {
        if (info.name && CompareNoCase(info.name, name) == 0) {
            if (type)
                *type = info.type;
            return index;
        }
    }
    return -1;
}

bool ColumnAt(uint8_t kind, const TableDefn* table, const CustomViewDefn* view, int32_t index, ColumnInfo* info)
{
    if (index < 0)
        return false;
    ColumnWalk walk(kind, table, view);
    for (int32_t i = 0; walk.Next(info); i++) {
        if (i == index)
            return true;
    }
    return false;
}

void UnlinkRow(TableData* table, RowObject* previous, RowObject* row)
{
    if (previous)
        previous->next = row->next;
    else
        table->firstRow = row->next;
    if (table->lastRow == row)
        table->lastRow = previous;
    row->next = nullptr;
}

void* CopyValue(const void* source, int32_t length)
{
    if (length < 0)
        return nullptr;
    auto* copy = static_cast<unsigned char*>(BriMalloc(static_cast<size_t>(length) + 1));
    if (!copy)
        return nullptr;
    if (length > 0)
        memcpy(copy, source, static_cast<size_t>(length));
    copy[length] = 0;
    return copy;
}

} // namespace velmora_tables

using namespace velmora_tables;

namespace {

TableData* FindUnlocked(const char* name)
{
    for (LCDNode* node = gv_tableDataVector.head; node; node = node->next) {
        auto* table = static_cast<TableData*>(node->data);
        if (table && CompareNoCase(table->name, name) == 0)
            return table;
    }
    return nullptr;
}

/* Registers table unless its name is taken: 1, 0 taken, 99 no memory. */
int Register(TableData* table)
{
    auto* node = static_cast<LCDNode*>(BriCalloc(1, sizeof(LCDNode)));
    if (!node)
        return VELMORA_ALLOC_FAILURE;
    node->data = table;
    LockObject(&gv_tableDataVector);
    bool taken = FindUnlocked(table->name) != nullptr;
    if (!taken) {
        if (gv_tableDataVector.head && gv_tableDataVector.tail)
            gv_tableDataVector.tail->next = node;
        else
            gv_tableDataVector.head = node;
        gv_tableDataVector.tail = node;
        gv_tableDataVector.count++;
    }
    UnlockObject(&gv_tableDataVector);
    if (taken) {
        free(node);
        return VELMORA_FAILURE;
    }
    return VELMORA_SUCCESS;
}

/* Registers a new table, or frees it when it cannot be registered; a name
 * that is taken is logged under the routine's name. */
int RegisterOrDiscard(TableData* table, const char* routine)
{
    int result = Register(table);
    if (result != VELMORA_SUCCESS) {
        if (result == VELMORA_FAILURE)
            LogError("%s : table %s exists already\n", routine, table->name);
        free(table->name);
        free(table);
    }
    return result;
}

TableData* NewTableData(const char* name, uint8_t kind)
{
    auto* table = static_cast<TableData*>(BriCalloc(1, sizeof(TableData)));
    if (!table)
        return nullptr;
    table->name = BriStrdup(name);
    if (!table->name) {
        free(table);
        return nullptr;
    }
    table->kind = kind;
    return table;
}

void FreeRows(TableData* table)
{
    RowObject* row = table->firstRow;
    while (row) {
        RowObject* next = row->next;
        FreeRowObject(row, table->columnCount);
        row = next;
    }
    table->firstRow = table->lastRow = nullptr;
}

void FreeTableRecord(TableData* table)
{
    LogTrace("\t %s is being freed\n", table->name ? table->name : "(null)");
    FreeRows(table);
    if (table->kind == TABLE_KIND_VIEW)
        FreeCustomViewDefn(table->viewDefn);
    free(table->name);
    free(table);
}

} // namespace

extern "C" void FreeAllTableData(void)
{
    LockObject(&gv_tableDataVector);
    LCDNode* node = gv_tableDataVector.head;
    gv_tableDataVector.head = gv_tableDataVector.tail = nullptr;
    gv_tableDataVector.count = 0;
    UnlockObject(&gv_tableDataVector);
    while (node) {
        LCDNode* next = node->next;
        FreeTableRecord(static_cast<TableData*>(node->data));
        free(node);
        node = next;
    }
}

extern "C" void InitTableDataVector(void)
{
    FreeAllTableData();
    InitVector(&gv_tableDataVector, nullptr);
}

extern "C" CustomViewDefn* CreateCustomViewDefn(uint8_t tableCount, const char* const* tableNames)
{
    if (tableCount == 0 || !tableNames)
        return nullptr;
    for (uint8_t i = 0; i < tableCount; i++) {
        if (!tableNames[i])
            return nullptr;
    }
    auto* view = static_cast<CustomViewDefn*>(BriCalloc(1, sizeof(CustomViewDefn)));
    if (!view)
        return nullptr;
    view->tableNames = static_cast<char**>(BriCalloc(tableCount, sizeof(char*)));
    view->columns = CreateVector();
    if (!view->tableNames || !view->columns) {
        FreeCustomViewDefn(view);
        return nullptr;
    }
    for (uint8_t i = 0; i < tableCount; i++) {
        view->tableNames[i] = BriStrdup(tableNames[i]);
        view->tableCount = static_cast<uint8_t>(i + 1); // what FreeCustomViewDefn frees
        if (!view->tableNames[i]) {
            FreeCustomViewDefn(view);
            return nullptr;
        }
    }
    return view;
}

extern "C" int AddViewColumnDefn(CustomViewDefn* view, ColumnDefn* source)
{
    if (!view || !view->columns || !source)
        return VELMORA_FAILURE;
    auto* column = static_cast<ViewColumnDefn*>(BriCalloc(1, sizeof(ViewColumnDefn)));
    if (!column)
        return VELMORA_ALLOC_FAILURE;
    column->columnName = source->name;
    column->sourceColumn = source;
    if (AddElementData(view->columns, column) != VELMORA_SUCCESS) {
        free(column);
        return VELMORA_ALLOC_FAILURE;
    }
    return VELMORA_SUCCESS;
}

extern "C" void FreeCustomViewDefn(CustomViewDefn* view)
{
    if (!view)
        return;
    if (view->columns) {
        for (LCDNode* node = view->columns->head; node; node = node->next)
            free(node->data);
        FreeVector(view->columns);
        free(view->columns);
    }
    if (view->tableNames) {
        for (uint8_t i = 0; i < view->tableCount; i++)
            free(view->tableNames[i]);
        free(view->tableNames);
    }
    free(view);
}

extern "C" int CreateTable(const char* name)
{
    LogTrace("@@@ Inside CreateTable @@@\n");
    if (!name)
        return VELMORA_FAILURE;
    TableDefn* definition = GetTableDefnByName(name);
    if (!definition) {
        LogError("CreateTable : no definition for table %s\n", name);
        return VELMORA_FAILURE;
    }
    TableData* table = NewTableData(name, TABLE_KIND_TABLE);
    if (!table)
        return VELMORA_ALLOC_FAILURE;
    table->tableDefn = definition;
    table->columnCount = definition->columns ? definition->columns->count : 0;
    return RegisterOrDiscard(table, "CreateTable");
}

extern "C" int CreateCustomViewData(const char* name, CustomViewDefn* view)
{
    LogTrace("@@@ Inside CreateCustomViewData @@@\n");
    if (!name || !view)
        return VELMORA_FAILURE;
    TableData* table = NewTableData(name, TABLE_KIND_VIEW);
    if (!table)
        return VELMORA_ALLOC_FAILURE;
    table->viewDefn = view;
    table->columnCount = view->columns ? view->columns->count : 0;
    return RegisterOrDiscard(table, "CreateCustomViewData");
}

extern "C" TableData* GetTableDataByName(const char* name)
{
    LogTrace("@@@ Inside GetTableDataByName @@@\n");
    if (!name)
        return nullptr;
    LockObject(&gv_tableDataVector);
    TableData* table = FindUnlocked(name);
    UnlockObject(&gv_tableDataVector);
    return table;
}

extern "C" const char* GetTableNameOfView(const char* name)
{
    LogTrace("@@@ Inside GetTableNameOfView @@@\n");
    TableData* table = GetTableDataByName(name);
    if (!table)
        return nullptr;
    if (table->kind == TABLE_KIND_VIEW)
        return table->viewDefn && table->viewDefn->tableCount ? table->viewDefn->tableNames[0] : nullptr;
    return table->name;
}

extern "C" void FreeTableData(TableData* table)
{
    if (!table)
        return;
    // A table freed while registered would leave the registry pointing at
    // freed memory; take it out first (a no-op for unregistered tables).
    DeleteLCDVector(&gv_tableDataVector, table);
    FreeTableRecord(table);
}
