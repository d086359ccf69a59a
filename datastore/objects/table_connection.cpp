/*
 * Choosing the connection and dialect of a table.
 */
#include "table_connection.h"

#include "runtime/log.h"
#include "velmora/connection_files.h"
#include "velmora/sql_statements.h"

namespace velmora_objects {

bool TableConnection::Take(const char* connectionName, const char* tableName)
{
    connection_ = GetDBConnection(connectionName);
    if (!connection_) {
        LogError("No connection %s for table %s\n", connectionName, tableName);
        return false;
    }
    name_ = connectionName;
    return true;
}

bool TableConnection::ForLoading(const char* tableName)
{
    Release();
    if (gv_dsnMapValid == 1) {
        const char* connectionName = GetConnectionNameForTable(tableName);
        if (!connectionName)
            return false;
        dialect_ = GetDBTypeOfConnection(connectionName);
        return dialect_ && Take(connectionName, tableName);
    }
    const char* connectionName = GetDefaultConnectionName();
    dialect_ = GetDBTypeName(gv_defaultDBType);
    if (!connectionName || !dialect_)
        return false;
    return Take(connectionName, tableName);
}

bool TableConnection::ForSaving(const char* tableName)
{
    Release();
    const char* connectionName = GetConnectionNameForTable(tableName);
    if (!connectionName)
        return false;
    const SqlDialect* dialect = GetSqlDialectForTable(tableName);
    if (!dialect) {
        LogError("No SQL dialect for table %s\n", tableName);
        return false;
    }
    dialect_ = dialect->name;
    return Take(connectionName, tableName);
}

void TableConnection::Release()
{
    if (connection_)
        ReleaseDBConnection(name_.c_str());
    connection_ = nullptr;
}

} // namespace velmora_objects
