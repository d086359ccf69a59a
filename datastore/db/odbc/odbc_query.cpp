/*
 * Queries: rows into a DBResultSet, or long values to a chunk sink.
 */
#include <memory>
#include <vector>

#include "odbc_columns.h"
#include "odbc_diagnostics.h"
#include "odbc_handles.h"
#include "odbc_types.h"
#include "runtime/log.h"
#include "velmora/odbc_provider.h"

using namespace velmora_odbc;

namespace {

struct ResultSetDeleter {
    void operator()(DBResultSet* resultSet) const { FreeDBResultSet(resultSet); }
};
using ResultSetPtr = std::unique_ptr<DBResultSet, ResultSetDeleter>;

/* Runs the statement directly (prepared when prepare is set) and describes
 * its columns. */
bool RunAndDescribe(Statement& statement, const char* text, bool prepare, std::vector<ColumnReader>& columns)
{
    auto* sql = reinterpret_cast<SQLCHAR*>(const_cast<char*>(text));
    SQLRETURN result;
    if (prepare) {
        if (!Succeeded(SQLPrepare(statement.get(), sql, SQL_NTS)))
            return statement.Fail("SQLPrepare failed\n");
        result = SQLExecute(statement.get());
        if (!Succeeded(result) && result != SQL_NO_DATA)
            return statement.Fail("SQLExecute failed\n");
    } else {
        result = SQLExecDirect(statement.get(), sql, SQL_NTS);
        if (!Succeeded(result) && result != SQL_NO_DATA)
            return statement.Fail("SQLExecDirect failed\n");
    }
    SQLLEN rows = 0;
    if (!Succeeded(SQLRowCount(statement.get(), &rows)))
        return statement.Fail("No Rows Affected\n");
    SQLSMALLINT count = 0;
    if (!Succeeded(SQLNumResultCols(statement.get(), &count)))
        return statement.Fail("SQLNumResultCols Failed\n");
    return DescribeColumns(statement, count, columns);
}

/* SQL_SUCCESS(_WITH_INFO) → 1 (a row), SQL_NO_DATA → 0, failure → -1. */
int FetchRow(const Statement& statement)
{
    SQLRETURN result = SQLFetch(statement.get());
    if (result == SQL_NO_DATA)
        return 0;
    if (!Succeeded(result)) {
        statement.Fail("SQLFetch failed\n");
        return -1;
    }
    return 1;
}

} // namespace

extern "C" DBResultSet* ODBCExecuteQuery(DBConnection* connection, const char* statementText)
{
    LogTrace("Inside ODBCExecuteQuery\n");
    OdbcConnection* holder = HolderOf(connection);
    if (!holder || !statementText)
        return nullptr;
    ConnectionLock lock(holder);
    Statement statement;
    std::vector<ColumnReader> columns;
    if (!statement.Allocate(connection) || !RunAndDescribe(statement, statementText, false, columns) ||
        !BindShortColumns(statement, columns))
        return nullptr;
    // Everything taken so far is owned here: any failure below frees the
    // rows, values and handles at once.
    ResultSetPtr resultSet(CreateDBResultSet(static_cast<int32_t>(columns.size())));
    if (!resultSet) {
        LogError("Cannot allocate the result set\n");
        return nullptr;
    }
    for (size_t i = 0; i < columns.size(); i++)
        if (SetDBResultColumn(resultSet.get(), static_cast<int32_t>(i), columns[i].name.c_str(), columns[i].code) !=
            VELMORA_SUCCESS) {
            LogError("Cannot allocate the result set\n");
            return nullptr;
        }
    std::vector<RowValue> converted(columns.size());
    std::vector<const void*> values(columns.size());
    std::vector<int32_t> lengths(columns.size());
    for (;;) {
        int fetched = FetchRow(statement);
        if (fetched < 0)
            return nullptr;
        if (fetched == 0)
            break;
        for (size_t i = 0; i < columns.size(); i++) {
            ColumnReader& column = columns[i];
            if (!ReadColumn(statement, column))
                return nullptr;
            if (column.isNull) {
                values[i] = nullptr;
                lengths[i] = 0;
                continue;
            }
            int result = ConvertDriverValue(column.code, column.buffer.data(), column.length, converted[i]);
            if (result != VELMORA_SUCCESS) {
                LogError("Cannot convert the value of column %s\n", column.name.c_str());
                return nullptr;
            }
            values[i] = converted[i].value;
            lengths[i] = converted[i].length;
        }
        if (AppendDBResultRow(resultSet.get(), values.data(), lengths.data()) != VELMORA_SUCCESS) {
            LogError("Cannot allocate a result row\n");
            return nullptr;
        }
    }
    SQLFreeStmt(statement.get(), SQL_UNBIND);
    return resultSet.release();
}

extern "C" int ODBCExecuteQueryBlob(DBConnection* connection, const char* statementText, DBChunkSink sink,
                                    void* context)
{
    LogTrace("Inside ODBCExecuteQueryBlob\n");
    OdbcConnection* holder = HolderOf(connection);
    if (!holder || !statementText || !sink)
        return VELMORA_FAILURE;
    ConnectionLock lock(holder);
    Statement statement;
    std::vector<ColumnReader> columns;
    if (!statement.Allocate(connection) || !RunAndDescribe(statement, statementText, true, columns))
        return VELMORA_FAILURE;
    for (;;) {
        int fetched = FetchRow(statement);
        if (fetched < 0)
            return VELMORA_FAILURE;
        if (fetched == 0)
            return VELMORA_SUCCESS;
        for (const ColumnReader& column : columns)
            if (column.code == 20 && !StreamColumn(statement, column, sink, context, 1024))
                return VELMORA_FAILURE;
    }
}
