// Creating the dictionary's tables, and databases, through the pools.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/log.h"
#include "velmora/db_provider.h"
#include "velmora/sql_statements.h"
#include "velmora/table_defn.h"
#include "db_internal.h"

namespace {

// Runs one statement on a connection of the named pool (null: the only
// pool), handing the connection back afterwards.
int RunOnPool(const char* connectionName, const char* statement)
{
    DBConnection* connection = GetDBConnection(connectionName);
    if (connection == nullptr)
        return VELMORA_FAILURE;
    int done = ExecuteUpdate(connection, statement);
    ReleaseDBConnection(connectionName);
    return done;
}

// Names copied out of the registry, so its lock is not held while the
// statements run (the generators take it themselves).
std::vector<std::string> TableNames()
{
    std::vector<std::string> names;
    LockObject(&gv_tableDefns);
    for (LCDNode* node = gv_tableDefns.head; node != nullptr; node = node->next) {
        auto* table = static_cast<const TableDefn*>(node->data);
        if (table != nullptr && table->name != nullptr)
            names.emplace_back(table->name);
    }
    UnlockObject(&gv_tableDefns);
    return names;
}

// A database name goes into the statement as it is, so only a plain
// identifier is accepted: letters, digits and '_', not starting with a
// digit.
bool IsPlainIdentifier(const char* name)
{
    if (name == nullptr || name[0] == '\0' || isdigit(static_cast<unsigned char>(name[0])))
        return false;
    size_t length = 0;
    for (const char* c = name; *c != '\0'; c++, length++) {
        unsigned char ch = static_cast<unsigned char>(*c);
        if (!(isalnum(ch) || ch == '_') || ch >= 0x80 || length >= 128)
            return false;
    }
    return true;
}

} // namespace

extern "C" int CreateTableInDB(const char* tableName, const char* connectionName)
{
    if (tableName == nullptr)
        return VELMORA_FAILURE;
    const char* type = connectionName != nullptr ? GetDBTypeOfConnection(connectionName) : nullptr;
    const SqlDialect* dialect = GetSqlDialect(type != nullptr ? type : GetDBTypeName(gv_defaultDBType));
    if (dialect == nullptr || dialect->GenCreateQuery == nullptr)
        return VELMORA_FAILURE;
    char* statement = dialect->GenCreateQuery(tableName);
    if (statement == nullptr)
        return VELMORA_FAILURE;
    int created = RunOnPool(connectionName, statement);
    free(statement);
    return created;
}

extern "C" int CreateAllTables(void)
{
    for (const std::string& name : TableNames()) {
        char* statement = GenerateCreateTableQuery(name.c_str());
        if (statement == nullptr)
            return VELMORA_FAILURE;
        int created = RunOnPool(GetConnectionNameForTable(name.c_str()), statement);
        free(statement);
        if (created != VELMORA_SUCCESS)
            return VELMORA_FAILURE;
    }
    return VELMORA_SUCCESS;
}

extern "C" int CreateDB(const char* databaseName)
{
    LogTrace("@@ Inside CreateDB @@\n");
    const char* connectionName = GetDefaultConnectionName();
    DBConnection* connection = connectionName != nullptr ? GetDBConnection(connectionName) : nullptr;
    if (connection == nullptr) {
        LogError("Cannot create DB.  Connection not established.\n");
        return VELMORA_FAILURE;
    }
    int created = VELMORA_FAILURE;
    if (IsPlainIdentifier(databaseName)) {
        std::string statement = std::string("create database ") + databaseName;
        created = ExecuteUpdate(connection, statement.c_str());
    }
    ReleaseDBConnection(connectionName);
    if (created != VELMORA_SUCCESS)
        LogError("Cannot create database %s.\n", databaseName != nullptr ? databaseName : "(null)");
    return created;
}
