/*
 * The shared environment, the connection lock and the statement owner.
 */
#include "odbc_handles.h"

#include "odbc_diagnostics.h"
#include "runtime/log.h"
#include "runtime/object_lock.h"
#include "velmora/odbc_provider.h"

void* gv_odbcEnv = nullptr;

namespace velmora_odbc {

namespace {
// Connections holding gv_odbcEnv; guarded by the object lock of gv_odbcEnv.
long g_environmentUsers = 0;
} // namespace

SQLHENV AcquireOdbcEnvironment()
{
    LockObject(&gv_odbcEnv);
    if (g_environmentUsers == 0) {
        SQLHENV env = SQL_NULL_HENV;
        bool ready = Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        if (ready &&
            !Succeeded(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(SQL_OV_ODBC3)), 0))) {
            LogOdbcFailure(nullptr, SQL_HANDLE_ENV, env);
            SQLFreeHandle(SQL_HANDLE_ENV, env);
            ready = false;
        }
        if (!ready) {
            UnlockObject(&gv_odbcEnv);
            LogError("Allocating Env Handle failed\n");
            return SQL_NULL_HENV;
        }
        gv_odbcEnv = env;
    }
    g_environmentUsers++;
    SQLHENV env = static_cast<SQLHENV>(gv_odbcEnv);
    UnlockObject(&gv_odbcEnv);
    return env;
}

void ReleaseOdbcEnvironment()
{
    LockObject(&gv_odbcEnv);
    if (g_environmentUsers > 0 && --g_environmentUsers == 0) {
        SQLHENV env = static_cast<SQLHENV>(gv_odbcEnv);
        gv_odbcEnv = nullptr;
        if (!Succeeded(SQLFreeHandle(SQL_HANDLE_ENV, env)))
            LogOdbcFailure("Freeing Env Handle failed\n", SQL_HANDLE_ENV, env);
    }
    UnlockObject(&gv_odbcEnv);
}

ConnectionLock::ConnectionLock(const OdbcConnection* holder) : holder_(holder) { LockObject(holder_); }

ConnectionLock::~ConnectionLock() { UnlockObject(holder_); }

bool Statement::Allocate(DBConnection* connection)
{
    connection_ = connection;
    OdbcConnection* holder = HolderOf(connection);
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, holder->hdbc, &handle_))) {
        handle_ = SQL_NULL_HSTMT;
        if (LogOdbcFailure("Allocating Statement Handle failed\n", SQL_HANDLE_DBC, holder->hdbc).connectionLost)
            MarkDBConnectionForReopen(connection);
        return false;
    }
    return true;
}

bool Statement::Fail(const char* message) const
{
    bool lost = LogOdbcFailure(message, SQL_HANDLE_STMT, handle_).connectionLost;
    // Some drivers report a server that ended the session only in the text of
    // a general error (psqlODBC: HY000, "terminating connection due to
    // administrator command"); the driver itself still knows the link is gone.
    if (!lost && connection_)
        lost = IsOdbcConnectionDead(HolderOf(connection_)->hdbc);
    if (lost)
        MarkDBConnectionForReopen(connection_);
    return false;
}

Statement::~Statement()
{
    if (handle_ == SQL_NULL_HSTMT)
        return;
    SQLFreeStmt(handle_, SQL_CLOSE);
    SQLFreeHandle(SQL_HANDLE_STMT, handle_);
}

} // namespace velmora_odbc
