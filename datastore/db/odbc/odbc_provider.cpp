/*
 * The ODBC provider's table of operations.
 */
#include "velmora/odbc_provider.h"

namespace {

const DBProvider kOdbcProvider = {
    DB_PROVIDER_VERSION,
    "ODBC",
    ODBCConnect,
    ODBCExecuteUpdate,
    ODBCExecuteQuery,
    ODBCDisconnect,
    ODBCBeginTransaction,
    ODBCCommitTransaction,
    ODBCRollbackTransaction,
    ODBCExecuteUpdateBlob,
    ODBCExecuteQueryBlob,
};

} // namespace

extern "C" const DBProvider* GetODBCProvider(void) { return &kOdbcProvider; }
