/*
 * Statements that return no rows, with or without a streamed parameter.
 */
#include "odbc_diagnostics.h"
#include "odbc_handles.h"
#include "runtime/log.h"
#include "velmora/odbc_provider.h"

using namespace velmora_odbc;

namespace {

SQLCHAR* SqlText(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }

/* The row count must be readable once the statement ran. */
int FinishUpdate(const Statement& statement)
{
    SQLLEN rows = 0;
    if (!Succeeded(SQLRowCount(statement.get(), &rows))) {
        statement.Fail("No Rows Affected \n");
        return VELMORA_FAILURE;
    }
    return VELMORA_SUCCESS;
}

/* Feeds the value of source to the parameter the driver asks for. */
bool SendStreamedValue(const Statement& statement, DBChunkSource source, void* context)
{
    SQLPOINTER token = nullptr;
    SQLRETURN result = SQLParamData(statement.get(), &token);
    while (result == SQL_NEED_DATA) {
        bool sent = false;
        for (;;) {
            const void* piece = nullptr;
            int32_t length = 0;
            int status = source(&piece, &length, context);
            if (status == DB_CHUNK_DONE)
                break;
            if (status != VELMORA_SUCCESS || length < 0 || (length > 0 && !piece)) {
                LogError("The streamed value was abandoned\n");
                SQLCancel(statement.get());
                return false;
            }
            if (!Succeeded(SQLPutData(statement.get(), const_cast<void*>(piece), length)))
                return statement.Fail("SQLPutData failed\n");
            sent = true;
        }
        // An empty value is sent as one empty piece: no piece at all means NULL to some drivers.
        static char empty = 0;
        if (!sent && !Succeeded(SQLPutData(statement.get(), &empty, 0)))
            return statement.Fail("SQLPutData failed\n");
        result = SQLParamData(statement.get(), &token);
    }
    if (!Succeeded(result) && result != SQL_NO_DATA)
        return statement.Fail("SQLParamData failed\n");
    return true;
}

} // namespace

extern "C" int ODBCExecuteUpdate(DBConnection* connection, const char* statementText)
{
    OdbcConnection* holder = HolderOf(connection);
    if (!holder || !statementText)
        return VELMORA_FAILURE;
    ConnectionLock lock(holder);
    Statement statement;
    if (!statement.Allocate(connection))
        return VELMORA_FAILURE;
    if (!Succeeded(SQLPrepare(statement.get(), SqlText(statementText), SQL_NTS)))
        return statement.Fail("SQLPrepare failed\n");
    SQLRETURN result = SQLExecute(statement.get());
    // SQL_NO_DATA: a searched update or delete that matched no row.
    if (!Succeeded(result) && result != SQL_NO_DATA)
        return statement.Fail("SQLExecute failed\n");
    return FinishUpdate(statement);
}

extern "C" int ODBCExecuteUpdateBlob(DBConnection* connection, const char* statementText, DBChunkSource source,
                                     void* context)
{
    LogTrace("Inside ODBCExecuteUpdateBlob\n");
    OdbcConnection* holder = HolderOf(connection);
    if (!holder || !statementText || !source)
        return VELMORA_FAILURE;
    // Serialised like every statement: a shared connection must not see two
    // statements' data interleaved.
    ConnectionLock lock(holder);
    Statement statement;
    if (!statement.Allocate(connection))
        return VELMORA_FAILURE;
    if (!Succeeded(SQLPrepare(statement.get(), SqlText(statementText), SQL_NTS)))
        return statement.Fail("SQLPrepare failed\n");
    SQLLEN atExecution = SQL_LEN_DATA_AT_EXEC(0);
    // The token handed back by SQLParamData; any non-null address will do.
    static char parameterToken = 1;
    if (!Succeeded(SQLBindParameter(statement.get(), 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                                    0x7FFFFFFF, 0, &parameterToken, 0, &atExecution)))
        return statement.Fail("SQLBindParameter failed\n");
    SQLRETURN result = SQLExecute(statement.get());
    if (result == SQL_NEED_DATA) {
        if (!SendStreamedValue(statement, source, context))
            return VELMORA_FAILURE;
    } else if (!Succeeded(result) && result != SQL_NO_DATA) {
        return statement.Fail("SQLExecute failed\n");
    }
    return FinishUpdate(statement);
}
