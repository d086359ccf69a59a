/*
 * Debug listings of tables, views and results.
 *
 * A listing is built whole in a growing string (no size limit) and written
 * line by line at debug level; the ToString... forms hand the same text
 * to the caller.
 */
#include <stdio.h>
#include <string.h>

#include <new>
#include <string>

#include "store/column_type_info.h"
#include "runtime/log.h"
#include "tables_internal.h"
#include "velmora/base_alloc.h"
#include "velmora/column_types.h"

using namespace velmora_tables;

namespace {

void AppendValue(std::string& out, const void* value, int32_t length, uint8_t type)
{
    if (!value) {
        out += "NULL";
        return;
    }
    char number[32];
    const velmora::ColumnTypeInfo& info = velmora::ColumnType(type);
    switch (info.listing) {
    case velmora::Listing::Int32:
        snprintf(number, sizeof number, "%d", static_cast<int32_t>(ColumnValueToInt64(value, length, type)));
        out += number;
        return;
    case velmora::Listing::FlagByte:
        snprintf(number, sizeof number, "%d", length >= 1 ? *static_cast<const unsigned char*>(value) : 0);
        out += number;
        return;
    case velmora::Listing::TextForm: {
        char* text = ColumnValueToString(value, length, type);
        if (!text) {
            // Types without a text form and date values too short for
            // their record have no text; for the others only memory is
            // missing.
            if (info.kind == velmora::ValueKind::Unknown || info.kind == velmora::ValueKind::Unsupported ||
                velmora::IsDateOrTime(info.kind))
                return;
            throw std::bad_alloc();
        }
        out += text;
        free(text);
        return;
    }
    }
}

/* The listing of the rows from first on, each followed by its next link;
 * rows marked deleted are left out when skipDeleted. */
void BuildListing(std::string& out, uint8_t kind, const TableDefn* table, const CustomViewDefn* view,
                  int32_t columnCount, bool skipDeleted, const RowObject* firstRow, const ResultRowRef* firstRef)
{
    std::string types; // one type code per column
    ColumnWalk walk(kind, table, view);
    ColumnInfo info;
    int32_t columns = 0;
    while (columns < columnCount && walk.Next(&info)) {
        out += info.name ? info.name : "";
        out += '\t';
        types += static_cast<char>(info.type);
        columns++;
    }
    out += '\n';
    auto appendRow = [&](const RowObject* row) {
        if (skipDeleted && (row->state & ROW_STATE_DELETED))
            return;
        for (int32_t i = 0; i < columns; i++) {
            AppendValue(out, row->values[i], row->lengths[i], static_cast<uint8_t>(types[i]));
            out += '\t';
        }
        out += '\n';
    };
    for (const RowObject* row = firstRow; row; row = row->next)
        appendRow(row);
    for (const ResultRowRef* ref = firstRef; ref; ref = ref->next)
        if (ref->row)
            appendRow(ref->row);
}

void LogLines(const std::string& text)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        LogDebug("%.*s\n", static_cast<int>(end - start), text.data() + start);
        start = end + 1;
    }
}

bool TableListing(std::string& out, const TableData* table)
{
    try {
        BuildListing(out, table->kind, table->tableDefn, table->viewDefn, table->columnCount, false, table->firstRow,
                     nullptr);
        return true;
    } catch (const std::bad_alloc&) {
        LogError("Listing of %s : MEMORY_ALLOCATION_FAILURE\n", table->name);
        return false;
    }
}

void PrintTable(const TableData* table)
{
    if (!table)
        return;
    try {
        std::string out;
        if (TableListing(out, table))
            LogLines(out);
    } catch (const std::bad_alloc&) {
    }
}

char* ToStringTable(const TableData* table)
{
    if (!table)
        return nullptr;
    try {
        std::string out;
        if (!TableListing(out, table))
            return nullptr;
        char* copy = static_cast<char*>(BriMalloc(out.size() + 1));
        if (!copy)
            return nullptr;
        memcpy(copy, out.c_str(), out.size() + 1);
        LogTrace("String Value of Relvar Data\n %s\n", copy);
        return copy;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

} // namespace

extern "C" void PrintTableData(const TableData* table)
{
    LogTrace("@@@ Inside PrintTableData @@@\n");
    PrintTable(table);
}

extern "C" void PrintCustomViewData(const TableData* view)
{
    LogTrace("@@@ Inside PrintCustomViewData @@@\n");
    PrintTable(view);
}

extern "C" void PrintResultData(const ResultData* result)
{
    LogTrace("@@@ Inside PrintResultData @@@\n");
    if (!result)
        return;
    try {
        std::string out;
        BuildListing(out, result->kind, result->tableDefn, result->viewDefn, result->columnCount, true, nullptr,
                     result->firstRow);
        LogLines(out);
    } catch (const std::bad_alloc&) {
        LogError("PrintResultData : MEMORY_ALLOCATION_FAILURE\n");
    }
}

extern "C" char* ToStringTableData(const TableData* table)
{
    LogTrace("@@@ Inside ToStringTableData @@@\n");
    return ToStringTable(table);
}

extern "C" char* ToStringCustomViewData(const TableData* view)
{
    LogTrace("@@@ Inside ToStringCustomViewData @@@\n");
    return ToStringTable(view);
}
