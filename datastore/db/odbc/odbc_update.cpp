/*
 * Statements that return no rows, with or without a streamed parameter.
 */
#include <algorithm>
#include <string>

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

/* The next piece of source: 1 with a piece, DB_CHUNK_DONE, or 0 after
 * logging that the value was abandoned. */
int NextPiece(DBChunkSource source, void* context, const void** piece, int32_t* length)
{
    *piece = nullptr;
    *length = 0;
    int status = source(piece, length, context);
    if (status == DB_CHUNK_DONE)
        return status;
    if (status != VELMORA_SUCCESS || *length < 0 || (*length > 0 && !*piece)) {
        LogError("The streamed value was abandoned\n");
        return 0;
    }
    return 1;
}

/* Feeds the parameter the driver asks for: the pieces of source as they
 * come, or, when known is set, the whole value gathered beforehand. */
bool SendStreamedValue(const Statement& statement, DBChunkSource source, void* context, const std::string* known)
{
    SQLPOINTER token = nullptr;
    SQLRETURN result = SQLParamData(statement.get(), &token);
    while (result == SQL_NEED_DATA) {
        bool sent = false;
        if (known) {
            // In pieces of 1 MB: some drivers copy each piece again.
            for (size_t at = 0; at < known->size(); at += 1 << 20) {
                size_t piece = std::min<size_t>(1 << 20, known->size() - at);
                if (!Succeeded(
                        SQLPutData(statement.get(), const_cast<char*>(known->data() + at), static_cast<SQLLEN>(piece))))
                    return statement.Fail("SQLPutData failed\n");
                sent = true;
            }
        } else {
            for (;;) {
                const void* piece = nullptr;
                int32_t length = 0;
                int status = NextPiece(source, context, &piece, &length);
                if (status == DB_CHUNK_DONE)
                    break;
                if (status == 0) {
                    SQLCancel(statement.get());
                    return false;
                }
                if (!Succeeded(SQLPutData(statement.get(), const_cast<void*>(piece), length)))
                    return statement.Fail("SQLPutData failed\n");
                sent = true;
            }
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

/* Whether the driver must know a long value's length before its pieces
 * (SQLite's driver does, and keeps nothing of a value sent without it). */
bool NeedsLengthFirst(DBConnection* connection)
{
    char answer[4] = {0};
    SQLSMALLINT length = 0;
    return Succeeded(SQLGetInfo(HolderOf(connection)->hdbc, SQL_NEED_LONG_DATA_LEN, answer, sizeof(answer), &length)) &&
        (answer[0] == 'Y' || answer[0] == 'y');
}

/* The whole value of source, for a driver that needs its length first. */
bool GatherValue(DBChunkSource source, void* context, std::string& value)
{
    for (;;) {
        const void* piece = nullptr;
        int32_t length = 0;
        int status = NextPiece(source, context, &piece, &length);
        if (status == DB_CHUNK_DONE)
            return true;
        if (status == 0)
            return false;
        value.append(static_cast<const char*>(piece), static_cast<size_t>(length));
    }
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
    // The length is known only once the source ends; a driver that needs it
    // first gets the value gathered.
    std::string gathered;
    bool lengthFirst = NeedsLengthFirst(connection);
    if (lengthFirst && !GatherValue(source, context, gathered))
        return VELMORA_FAILURE;
    SQLLEN atExecution = lengthFirst ? SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(gathered.size())) : SQL_DATA_AT_EXEC;
    // The token handed back by SQLParamData; any non-null address will do.
    static char parameterToken = 1;
    if (!Succeeded(SQLBindParameter(statement.get(), 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                                    lengthFirst ? gathered.size() : 0, 0, &parameterToken, 0, &atExecution)))
        return statement.Fail("SQLBindParameter failed\n");
    SQLRETURN result = SQLExecute(statement.get());
    if (result == SQL_NEED_DATA) {
        if (!SendStreamedValue(statement, source, context, lengthFirst ? &gathered : nullptr))
            return VELMORA_FAILURE;
    } else if (!Succeeded(result) && result != SQL_NO_DATA) {
        return statement.Fail("SQLExecute failed\n");
    }
    return FinishUpdate(statement);
}
