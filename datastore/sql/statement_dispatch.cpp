/*
 * Which dialect speaks for a table, and the statement entry points that
 * ask it.
 */
#include "runtime/log.h"
#include "velmora/connection_files.h"
#include "velmora/sql_statements.h"

namespace {

const char* Shown(const char* text) { return text ? text : "(null)"; }

const SqlDialect* DialectOrLog(const char* typeName)
{
    const SqlDialect* dialect = GetSqlDialect(typeName);
    if (!dialect)
        LogError("No SQL dialect registered for database type %s\n", Shown(typeName));
    return dialect;
}

const ConnParamsEntry* ParamsOrLog(const char* connectionName)
{
    const ConnParamsEntry* params = connectionName ? GetConnParams(connectionName) : nullptr;
    if (!params)
        LogError("dbConnPtr is NULL for Connection Name %s \n", Shown(connectionName));
    return params;
}

} // namespace

extern "C" const char* GetConnectionNameForTable(const char* tableName)
{
    const DataSourceMapEntry* entry = tableName ? GetDataSourceMapEntry(tableName) : nullptr;
    if (!entry) {
        LogError("No DataSourceMap Entry for Table name %s \n", Shown(tableName));
        return nullptr;
    }
    return entry->connectionName;
}

extern "C" const char* GetDBTypeOfConnection(const char* connectionName)
{
    const ConnParamsEntry* params = ParamsOrLog(connectionName);
    return params ? params->databaseType : nullptr;
}

extern "C" const char* GetProviderOfConnection(const char* connectionName)
{
    const ConnParamsEntry* params = ParamsOrLog(connectionName);
    return params ? params->providerName : nullptr;
}

extern "C" const SqlDialect* GetSqlDialectForTable(const char* tableName)
{
    if (gv_dsnMapValid == 1) {
        const char* connection = GetConnectionNameForTable(tableName);
        if (!connection)
            return nullptr;
        return DialectOrLog(GetDBTypeOfConnection(connection));
    }
    return DialectOrLog(GetDBTypeName(gv_defaultDBType));
}

extern "C" char* GenerateSelectQuery(SelectQuery* query)
{
    const char* table = nullptr;
    if (query && query->tables && query->tables->head && query->tables->head->data)
        table = static_cast<const QueryTable*>(query->tables->head->data)->tableName;
    else if (query && query->joins && query->joins->head && query->joins->head->data)
        table = static_cast<const JoinClause*>(query->joins->head->data)->baseTable;
    if (!table) {
        LogError("No Tables selected in select query.\n");
        return nullptr;
    }
    const SqlDialect* dialect = GetSqlDialectForTable(table);
    char* statement = dialect ? dialect->GenSelectQuery(query) : nullptr;
    if (statement)
        LogDebug("Generated Select Query: %s\n", statement);
    return statement;
}

namespace {

char* RowStatement(const char* tableName, const RowObject* row, SqlGenRowFn SqlDialect::*operation,
                   const char* logFormat)
{
    const SqlDialect* dialect = GetSqlDialectForTable(tableName);
    char* statement = dialect ? (dialect->*operation)(tableName, row) : nullptr;
    if (statement)
        LogDebug(logFormat, statement);
    return statement;
}

} // namespace

extern "C" char* GenerateUpdateQuery(const char* tableName, const RowObject* row)
{
    return RowStatement(tableName, row, &SqlDialect::GenUpdateQuery, "Generated Update Query: %s\n");
}

extern "C" char* GenerateInsertQuery(const char* tableName, const RowObject* row)
{
    return RowStatement(tableName, row, &SqlDialect::GenInsertQuery, "Generated Insert Query: %s\n");
}

extern "C" char* GenerateDeleteQuery(const char* tableName, const RowObject* row)
{
    return RowStatement(tableName, row, &SqlDialect::GenDeleteQuery, "Generated Delete Query: %s\n");
}

extern "C" char* GenerateCreateTableQuery(const char* tableName)
{
    const SqlDialect* dialect = GetSqlDialectForTable(tableName);
    char* statement = dialect ? dialect->GenCreateQuery(tableName) : nullptr;
    if (statement)
        LogDebug("Generated Create Table Query: %s\n", statement);
    return statement;
}

extern "C" RowObject* ConvertResultSetToRows(const DBResultSet* resultSet, const char* dialectName,
                                             const char* tableName)
{
    const SqlDialect* dialect = DialectOrLog(dialectName);
    return dialect ? dialect->ConvResultsetToRowobject(resultSet, tableName) : nullptr;
}
