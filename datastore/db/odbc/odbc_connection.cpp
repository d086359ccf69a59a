/*
 * Connecting, disconnecting and transactions of the ODBC provider.
 */
#include <stdlib.h>
#include <string.h>

#include <string>

#include "odbc_diagnostics.h"
#include "odbc_handles.h"
#include "runtime/log.h"
#include "velmora/base_alloc.h"
#include "velmora/odbc_provider.h"

using namespace velmora_odbc;

namespace {

bool HasText(const char* text) { return text && *text; }

/* value as one attribute value: in braces when it could end the attribute
 * early or be read as more than one. */
void AppendAttributeValue(std::string& out, const char* value)
{
    if (!value)
        return;
    bool plain = strpbrk(value, ";{}") == nullptr && value[0] != ' ';
    if (plain) {
        out += value;
        return;
    }
    out += '{';
    for (const char* c = value; *c; c++) {
        out += *c;
        if (*c == '}')
            out += '}';
    }
    out += '}';
}

/* Sets autocommit; failure logs message and the connection's records. */
bool SetAutocommit(DBConnection* connection, SQLULEN mode, const char* message)
{
    OdbcConnection* holder = HolderOf(connection);
    SQLRETURN result =
        SQLSetConnectAttr(holder->hdbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(mode), SQL_IS_UINTEGER);
    if (Succeeded(result))
        return true;
    if (LogOdbcFailure(message, SQL_HANDLE_DBC, holder->hdbc).connectionLost)
        MarkDBConnectionForReopen(connection);
    return false;
}

/* Commit or rollback, then autocommit back on. */
int EndTransaction(DBConnection* connection, SQLSMALLINT completion, const char* failureMessage)
{
    OdbcConnection* holder = HolderOf(connection);
    if (!holder) {
        LogError("%s", failureMessage);
        return VELMORA_FAILURE;
    }
    ConnectionLock lock(holder);
    bool ended = Succeeded(SQLEndTran(SQL_HANDLE_DBC, holder->hdbc, completion));
    if (!ended && LogOdbcFailure(failureMessage, SQL_HANDLE_DBC, holder->hdbc).connectionLost)
        MarkDBConnectionForReopen(connection);
    bool restored = SetAutocommit(connection, SQL_AUTOCOMMIT_ON, "Error in setting SQL_AUTOCOMMIT_ON\n");
    return ended && restored ? VELMORA_SUCCESS : VELMORA_FAILURE;
}

/* Frees the connection handle and its share of the environment. */
void FreeHolder(OdbcConnection* holder)
{
    if (holder->hdbc != SQL_NULL_HDBC)
        SQLFreeHandle(SQL_HANDLE_DBC, holder->hdbc);
    free(holder);
    ReleaseOdbcEnvironment();
}

} // namespace

extern "C" char* BuildODBCConnectionString(const ConnParamsEntry* params)
{
    if (!params)
        return nullptr;
    std::string text;
    text += "DSN=";
    AppendAttributeValue(text, params->dsn);
    text += ";UID=";
    AppendAttributeValue(text, params->userId);
    text += ";PWD=";
    AppendAttributeValue(text, params->password);
    text += ";";
    if (params->providerName) {
        // The driver name always goes in braces, as drivers' names carry blanks.
        text += "Driver={";
        for (const char* c = params->providerName; *c; c++) {
            text += *c;
            if (*c == '}')
                text += '}';
        }
        text += "}";
    }
    return BriStrdup(text.c_str());
}

extern "C" DBConnection* ODBCConnect(const ConnParamsEntry* params)
{
    bool byString = params && params->useConnectionString && HasText(params->connectionString);
    if (!params || (!HasText(params->dsn) && !byString)) {
        LogError("ODBC connection Parameter missing\n");
        return nullptr;
    }
    SQLHENV env = AcquireOdbcEnvironment();
    if (env == SQL_NULL_HENV)
        return nullptr;
    auto* holder = static_cast<OdbcConnection*>(BriCalloc(1, sizeof(OdbcConnection)));
    if (!holder) {
        LogError("Error in allocating SQLHDBC\n");
        ReleaseOdbcEnvironment();
        return nullptr;
    }
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env, &holder->hdbc))) {
        LogOdbcFailure("Allocating connection Handle failed\n", SQL_HANDLE_ENV, env);
        holder->hdbc = SQL_NULL_HDBC;
        FreeHolder(holder);
        return nullptr;
    }
    // With a DSN the data source names its driver. ODBC lets the first of
    // DSN and Driver win, but MariaDB's driver reads Driver={...} and then
    // ignores the data source's server and port, so the Driver part is left
    // out of what is sent.
    char* text = nullptr;
    if (byString) {
        text = BriStrdup(params->connectionString);
    } else {
        text = BuildODBCConnectionString(params);
        if (char* driverPart = text ? strstr(text, ";Driver={") : nullptr)
            driverPart[1] = '\0';
    }
    if (!text) {
        LogError("Error in allocating SQLHDBC\n");
        FreeHolder(holder);
        return nullptr;
    }
    SQLCHAR completed[1025];
    SQLSMALLINT completedLength = 0;
    SQLRETURN result =
        SQLDriverConnect(holder->hdbc, nullptr, reinterpret_cast<SQLCHAR*>(text), SQL_NTS, completed,
                         static_cast<SQLSMALLINT>(sizeof(completed)), &completedLength, SQL_DRIVER_NOPROMPT);
    free(text);
    if (!Succeeded(result)) {
        LogOdbcFailure("Connecting to driver failed\n", SQL_HANDLE_DBC, holder->hdbc);
        FreeHolder(holder);
        return nullptr;
    }
    DBConnection* connection = CreateDBConnectionRecord(holder, params->connectionName);
    if (!connection) {
        LogError("Error in allocating SQLHDBC\n");
        SQLDisconnect(holder->hdbc);
        FreeHolder(holder);
        return nullptr;
    }
    return connection;
}

extern "C" void ODBCDisconnect(DBConnection* connection)
{
    OdbcConnection* holder = HolderOf(connection);
    if (!holder)
        return;
    {
        ConnectionLock lock(holder);
        if (!Succeeded(SQLDisconnect(holder->hdbc))) {
            // A transaction still open keeps the driver from disconnecting
            // (25000): what was not committed is given up, the link is not leaked.
            SQLEndTran(SQL_HANDLE_DBC, holder->hdbc, SQL_ROLLBACK);
            if (!Succeeded(SQLDisconnect(holder->hdbc)))
                LogOdbcFailure("Disconnecting failed\n", SQL_HANDLE_DBC, holder->hdbc);
        }
    }
    connection->providerHandle = nullptr;
    FreeHolder(holder);
}

extern "C" int ODBCBeginTransaction(DBConnection* connection)
{
    LogTrace("Inside ODBCBeginTransaction\n");
    OdbcConnection* holder = HolderOf(connection);
    if (!holder) {
        LogError("Error in starting transaction\n");
        return VELMORA_FAILURE;
    }
    ConnectionLock lock(holder);
    if (!SetAutocommit(connection, SQL_AUTOCOMMIT_OFF, "Error in setting SQL_AUTOCOMMIT_OFF\n")) {
        LogError("Error in starting transaction\n");
        return VELMORA_FAILURE;
    }
    return VELMORA_SUCCESS;
}

extern "C" int ODBCCommitTransaction(DBConnection* connection)
{
    LogTrace("Inside ODBCCommitTransaction\n");
    return EndTransaction(connection, SQL_COMMIT, "Error in commiting transaction\n");
}

extern "C" int ODBCRollbackTransaction(DBConnection* connection)
{
    LogTrace("Inside ODBCRollbackTransaction\n");
    return EndTransaction(connection, SQL_ROLLBACK, "Error in rollbacking transaction\n");
}
