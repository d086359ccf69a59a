/*
 * Diagnostics of a failed ODBC call, logged once through one routine.
 */
#include "odbc_diagnostics.h"

#include <string.h>

#include "runtime/log.h"

namespace velmora_odbc {

bool IsConnectionLostState(const char* sqlState, long nativeCode)
{
    if (sqlState && strncmp(sqlState, "08", 2) == 0)
        return true;
    if (sqlState &&
        (strcmp(sqlState, "57P01") == 0 || strcmp(sqlState, "57P02") == 0 || strcmp(sqlState, "57P03") == 0))
        return true;
    // MariaDB Connector/ODBC reports some losses as HY000 with the server's error number.
    return nativeCode == 2006 || nativeCode == 2013 || nativeCode == 1053 || nativeCode == 1927;
}

bool IsOdbcConnectionDead(SQLHDBC hdbc)
{
    if (!hdbc)
        return false;
    SQLUINTEGER dead = SQL_CD_FALSE;
    SQLRETURN result = SQLGetConnectAttr(hdbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
    return Succeeded(result) && dead == SQL_CD_TRUE;
}

OdbcFailure LogOdbcFailure(const char* message, SQLSMALLINT handleType, SQLHANDLE handle)
{
    OdbcFailure failure;
    if (message)
        LogError("%s", message);
    if (!handle)
        return failure;
    // A driver rarely has more than a few records; a bound keeps a confused
    // driver from flooding the log.
    for (SQLSMALLINT record = 1; record <= 8; record++) {
        SQLCHAR state[6] = {0};
        SQLINTEGER nativeCode = 0;
        SQLCHAR text[1024] = {0};
        SQLSMALLINT textLength = 0;
        SQLRETURN result = SQLGetDiagRec(handleType, handle, record, state, &nativeCode, text,
                                         static_cast<SQLSMALLINT>(sizeof(text)), &textLength);
        if (!Succeeded(result))
            break;
        LogError("STATE: %s\n", reinterpret_cast<const char*>(state));
        LogError("NAT: %ld\n", static_cast<long>(nativeCode));
        LogError("MSG: %s\n", reinterpret_cast<const char*>(text));
        if (IsConnectionLostState(reinterpret_cast<const char*>(state), static_cast<long>(nativeCode)))
            failure.connectionLost = true;
    }
    return failure;
}

} // namespace velmora_odbc
