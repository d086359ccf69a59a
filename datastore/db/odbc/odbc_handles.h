/*
 * Owners of ODBC handles and the connection holder of the ODBC provider.
 */
#pragma once

#include "odbc_api.h"
#include "velmora/db_provider.h"

namespace velmora_odbc {

/* The process-wide environment, counted by the connections that use it:
 * the first acquire allocates it (ODBC 3 behaviour), the last release frees
 * it, so closing one connection never frees the environment under another.
 * Null when it cannot be allocated (logged). */
SQLHENV AcquireOdbcEnvironment();
void ReleaseOdbcEnvironment();

/* The provider's own connection record, held by DBConnection. Its address
 * is the key of the object lock that serialises statements on it. */
struct OdbcConnection {
    SQLHDBC hdbc = SQL_NULL_HDBC;
};

inline OdbcConnection* HolderOf(DBConnection* connection)
{
    return connection ? static_cast<OdbcConnection*>(connection->providerHandle) : nullptr;
}

/* Holds the connection's object lock for a scope. */
class ConnectionLock {
public:
    explicit ConnectionLock(const OdbcConnection* holder);
    ~ConnectionLock();
    ConnectionLock(const ConnectionLock&) = delete;
    ConnectionLock& operator=(const ConnectionLock&) = delete;

private:
    const OdbcConnection* holder_;
};

/* A statement handle: closed (cursor) and freed when the owner goes. */
class Statement {
public:
    Statement() = default;
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    /* Allocates on the connection; false with "Allocating Statement Handle
     * failed\n" and the diagnostics (a lost connection marks it). */
    bool Allocate(DBConnection* connection);
    SQLHSTMT get() const { return handle_; }

    /* Logs message and the statement's diagnostics; a connection-class
     * state marks the connection for re-opening. Always false. */
    bool Fail(const char* message) const;

private:
    SQLHSTMT handle_ = SQL_NULL_HSTMT;
    DBConnection* connection_ = nullptr;
};

} // namespace velmora_odbc
