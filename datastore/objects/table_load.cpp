/*
 * Filling in-memory tables and views from their databases.
 */
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "runtime/log.h"
#include "table_connection.h"
#include "velmora/base_alloc.h"
#include "velmora/column_types.h"
#include "velmora/sql_statements.h"
#include "velmora/string_routines.h"
#include "velmora/table_data.h"
#include "velmora/table_defn.h"
#include "velmora/table_persistence.h"

using namespace velmora_objects;

namespace {

const char kMismatch[] = "\nLoadTable Failed for %s table as there is mismatch between table definition in "
                         "datadictionary and actual table in database\n";

struct ResultSetDeleter {
    void operator()(DBResultSet* resultSet) const { FreeDBResultSet(resultSet); }
};
using ResultSetPtr = std::unique_ptr<DBResultSet, ResultSetDeleter>;

int32_t ColumnCount(const TableDefn* definition)
{
    return definition->columns ? static_cast<int32_t>(definition->columns->count) : 0;
}

const char* ColumnNameAt(const TableDefn* definition, int32_t index)
{
    LCDNode* node = ElementAt(definition->columns, index);
    const auto* column = node ? static_cast<const ColumnDefn*>(node->data) : nullptr;
    return column && column->name ? column->name : "";
}

bool DefinitionHasColumn(const TableDefn* definition, const char* name)
{
    for (int32_t i = 0; i < ColumnCount(definition); i++)
        if (CompareNoCase(ColumnNameAt(definition, i), name) == 0)
            return true;
    return false;
}

bool ResultHasColumn(const DBResultSet* resultSet, const char* name)
{
    for (int32_t i = 0; i < resultSet->columnCount; i++) {
        const char* other = GetDBResultColumnName(resultSet, i);
        if (other && CompareNoCase(other, name) == 0)
            return true;
    }
    return false;
}

/* True when the result has the definition's columns, in its order. Rows
 * are converted by position, so a column too many or too few (or one of
 * another name in its place) would put values into the wrong columns, or
 * past the end of the row. With byName false only the count is compared
 * (a caller's select may name its columns as it likes). Each column that
 * is on one side only is named. */
bool ColumnsMatch(const TableDefn* definition, const DBResultSet* resultSet, const char* tableName, bool byName)
{
    int32_t count = ColumnCount(definition);
    bool match = count == resultSet->columnCount;
    if (byName) {
        for (int32_t i = 0; i < count; i++) {
            const char* name = ColumnNameAt(definition, i);
            if (!ResultHasColumn(resultSet, name)) {
                LogError("Column %s of table %s in the data dictionary is not in the database\n", name, tableName);
                match = false;
            } else if (i < resultSet->columnCount) {
                const char* there = GetDBResultColumnName(resultSet, i);
                match = match && there && CompareNoCase(there, name) == 0;
            }
        }
        for (int32_t i = 0; i < resultSet->columnCount; i++) {
            const char* name = GetDBResultColumnName(resultSet, i);
            if (name && !DefinitionHasColumn(definition, name)) {
                LogError("Column %s of table %s in the database is not in the data dictionary\n", name, tableName);
                match = false;
            }
        }
    } else if (!match) {
        LogError("The select for %s gives %d columns; the table has %d\n", tableName, resultSet->columnCount, count);
    }
    if (!match)
        LogError(kMismatch, tableName);
    return match;
}

/* A 64-bit column holds an 8-byte value, but a driver may hand a smaller
 * integer for it (the SQLite driver reports an INTEGER column for BIGINT):
 * widened in place, so every reader of the row finds the form of its
 * column's type and none reads past the value. */
int WidenLongIntegers(const TableDefn* definition, RowObject* row)
{
    int32_t index = 0;
    for (LCDNode* node = definition->columns->head; node; node = node->next, index++) {
        const auto* column = static_cast<const ColumnDefn*>(node->data);
        if (column->type != BRI_SQL_BIGINT && column->type != BRI_SQL_UNSIGNED_LONG_INT)
            continue;
        int32_t length = row->lengths[index];
        const auto* bytes = static_cast<const unsigned char*>(row->values[index]);
        if (!bytes || length == 8 || (length != 1 && length != 2 && length != 4))
            continue;
        bool isSigned = column->type == BRI_SQL_BIGINT;
        int64_t number = 0;
        if (length == 1)
            number = isSigned ? static_cast<int8_t>(bytes[0]) : bytes[0];
        else if (length == 2)
            number = isSigned ? static_cast<int64_t>(static_cast<int16_t>(bytes[0] | bytes[1] << 8))
                              : static_cast<int64_t>(static_cast<uint16_t>(bytes[0] | bytes[1] << 8));
        else {
            uint32_t word = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
            number = isSigned ? static_cast<int64_t>(static_cast<int32_t>(word)) : static_cast<int64_t>(word);
        }
        auto* wide = static_cast<unsigned char*>(BriMalloc(9));
        if (!wide)
            return VELMORA_ALLOC_FAILURE;
        memcpy(wide, &number, 8);
        wide[8] = 0;
        free(row->values[index]);
        row->values[index] = wide;
        row->lengths[index] = 8;
    }
    return VELMORA_SUCCESS;
}

/* Converts every row of the result with the dialect and appends it to the
 * table or view. */
int AddResultRows(DBResultSet* resultSet, const char* dialect, const char* sourceTable, const char* target)
{
    const TableDefn* definition = GetTableDefnByName(sourceTable);
    ResetDBResultCursor(resultSet);
    while (NextDBResultRow(resultSet) == VELMORA_SUCCESS) {
        RowObject* row = ConvertResultSetToRows(resultSet, dialect, sourceTable);
        if (!row) {
            LogError("Cannot convert a row of %s\n", sourceTable);
            return VELMORA_FAILURE;
        }
        if (definition && WidenLongIntegers(definition, row) != VELMORA_SUCCESS) {
            FreeRowObject(row, resultSet->columnCount);
            return VELMORA_ALLOC_FAILURE;
        }
        int added = AddNewRow(target, row);
        if (added != VELMORA_SUCCESS) {
            FreeRowObject(row, resultSet->columnCount);
            LogError("Cannot add a row to %s\n", target);
            return added;
        }
    }
    return VELMORA_SUCCESS;
}

/* The select's result for the table, run on the table's connection, which
 * is handed back at once. */
ResultSetPtr RunSelect(const char* tableName, const char* statement, std::string& dialect)
{
    TableConnection connection;
    if (!connection.ForLoading(tableName))
        return nullptr;
    dialect = connection.dialect();
    return ResultSetPtr(ExecuteQuery(connection.connection(), statement));
}

int CreateTableOrLog(const char* tableName)
{
    int created = CreateTable(tableName);
    if (created != VELMORA_SUCCESS)
        LogError("CreateTable Failed \n");
    return created;
}

} // namespace

extern "C" int LoadTable(const char* tableName)
{
    LogTrace("\t@@@@@ Inside LoadTable() @@@@@\n");
    if (!tableName)
        return VELMORA_FAILURE;
    LogDebug("\nLoading Table : %s\n", tableName);
    // The definition is looked up before anything runs: only a name the
    // data dictionary knows is ever written into the select.
    const TableDefn* definition = GetTableDefnByName(tableName);
    if (!definition || !definition->name) {
        LogError("Error in getting Table Definition for %s\n", tableName);
        return VELMORA_FAILURE;
    }
    std::string statement = std::string("select * from ") + definition->name;
    std::string dialect;
    ResultSetPtr resultSet = RunSelect(tableName, statement.c_str(), dialect);
    if (!resultSet) {
        LogError("Error in executing select query for %s\n", tableName);
        return VELMORA_FAILURE;
    }
    if (!ColumnsMatch(definition, resultSet.get(), tableName, true))
        return VELMORA_FAILURE;
    int created = CreateTableOrLog(tableName);
    if (created != VELMORA_SUCCESS)
        return created;
    return AddResultRows(resultSet.get(), dialect.c_str(), tableName, tableName);
}

extern "C" int LoadTableByQuery(const char* tableName, const char* statement)
{
    LogTrace("\t@@@@@ Inside LoadTableByQuery() @@@@@\n");
    if (!tableName || !statement)
        return VELMORA_FAILURE;
    LogDebug("\nLoading Table : %s\n", tableName);
    LogDebug("\nSelect Query  : %s\n", statement);
    const TableDefn* definition = GetTableDefnByName(tableName);
    if (!definition) {
        LogError("Error in getting Table Definition for %s\n", tableName);
        return VELMORA_FAILURE;
    }
    std::string dialect;
    ResultSetPtr resultSet = RunSelect(tableName, statement, dialect);
    if (!resultSet)
        LogError("Error in executing select query \n");
    else if (!ColumnsMatch(definition, resultSet.get(), tableName, false))
        return VELMORA_FAILURE;
    int created = CreateTableOrLog(tableName);
    if (created != VELMORA_SUCCESS)
        return created;
    if (!resultSet)
        return VELMORA_FAILURE;
    return AddResultRows(resultSet.get(), dialect.c_str(), tableName, tableName);
}

extern "C" int LoadViewByQuery(const char* viewName, const char* tableName, const char* statement)
{
    LogTrace("@@@ Inside LoadViewByQuery @@@\n");
    if (!viewName || !tableName || !statement)
        return VELMORA_FAILURE;
    std::string dialect;
    ResultSetPtr resultSet = RunSelect(tableName, statement, dialect);
    if (!resultSet) {
        LogError("Error in executing select query \n");
        return VELMORA_FAILURE;
    }
    const TableDefn* definition = GetTableDefnByName(tableName);
    if (!definition) {
        LogError("Error in getting Table Definition for %s\n", tableName);
        return VELMORA_FAILURE;
    }
    if (!ColumnsMatch(definition, resultSet.get(), tableName, false))
        return VELMORA_FAILURE;
    const char* names[] = {definition->name};
    CustomViewDefn* view = CreateCustomViewDefn(1, names);
    if (!view)
        return VELMORA_ALLOC_FAILURE;
    for (LCDNode* node = definition->columns ? definition->columns->head : nullptr; node; node = node->next) {
        auto* column = static_cast<ColumnDefn*>(node->data);
        LogDebug("%s\t", column->name);
        int added = AddViewColumnDefn(view, column);
        if (added != VELMORA_SUCCESS) {
            FreeCustomViewDefn(view);
            return added;
        }
    }
    int created = CreateCustomViewData(viewName, view);
    if (created != VELMORA_SUCCESS) {
        FreeCustomViewDefn(view);
        return created;
    }
    return AddResultRows(resultSet.get(), dialect.c_str(), tableName, viewName);
}

extern "C" int UnLoadAllTable(void)
{
    LogTrace("@@@ Inside UnLoadAllTable @@@\n");
    FreeAllTableData();
    return VELMORA_SUCCESS;
}

extern "C" int UnLoadTable(const char* tableName)
{
    LogTrace("\t@@@@@ UnLoadTable() @@@@@\n");
    TableData* table = tableName ? GetTableDataByName(tableName) : nullptr;
    if (!table)
        return VELMORA_FAILURE;
    FreeTableData(table);
    return VELMORA_SUCCESS;
}
