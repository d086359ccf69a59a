/*
 * The one place that reads and logs a driver's diagnostics.
 */
#pragma once

#include "odbc_api.h"

namespace velmora_odbc {

/* What a failure's diagnostic records say about the connection. */
struct OdbcFailure {
    bool connectionLost = false; /* SQLSTATE class 08 or a server-shutdown state */
};

/* Logs message (a line of its own, when not null) and then every diagnostic
 * record of the handle as "STATE: %s\n", "NAT: %ld\n", "MSG: %s\n", each
 * once. Tells whether the records say the connection to the server is gone. */
OdbcFailure LogOdbcFailure(const char* message, SQLSMALLINT handleType, SQLHANDLE handle);

/* 1 for a SQLSTATE (5 characters) or native code that means the server or
 * the link to it went away: class 08, PostgreSQL's shutdown states 57P01 to
 * 57P03, MariaDB's "gone away" (2006), "lost connection" (2013), "shutdown
 * in progress" (1053) and "connection killed" (1927). */
bool IsConnectionLostState(const char* sqlState, long nativeCode);

/* Whether the driver knows the connection to be dead (the ODBC connection
 * attribute for it); false when it cannot tell. */
bool IsOdbcConnectionDead(SQLHDBC hdbc);

} // namespace velmora_odbc
