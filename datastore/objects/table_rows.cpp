/*
 * Small selects read as text, and literals for statements written here.
 */
#include "table_rows.h"

#include <strings.h>

#include <cstdlib>
#include <memory>

#include "runtime/log.h"
#include "table_connection.h"
#include "velmora/column_types.h"
#include "velmora/connection_files.h"
#include "velmora/db_provider.h"
#include "velmora/sql_statements.h"

namespace velmora_objects {

std::optional<std::string> TextRow::Get(const char* column) const
{
    for (size_t i = 0; i < names.size() && i < values.size(); i++)
        if (strcasecmp(names[i].c_str(), column) == 0)
            return values[i];
    return std::nullopt;
}

int64_t TextRow::GetInt(const char* column, int64_t fallback) const
{
    std::optional<std::string> text = Get(column);
    if (!text || text->empty())
        return fallback;
    // Engines may hand an integer column back as a decimal ("3.0") or
    // with blanks; only plain integers count.
    const char* start = text->c_str();
    char* end = nullptr;
    long long value = std::strtoll(start, &end, 10);
    if (end == start)
        return fallback;
    while (*end == ' ')
        end++;
    if (*end == '.') {
        end++;
        while (*end == '0')
            end++;
    }
    return *end == '\0' ? value : fallback;
}

namespace {

std::optional<std::vector<TextRow>> ReadRows(DBResultSet* set, const std::string& statement)
{
    std::unique_ptr<DBResultSet, decltype(&FreeDBResultSet)> result(set, &FreeDBResultSet);
    if (!result) {
        LogError("Query failed: %s\n", statement.c_str());
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (int32_t i = 0; i < result->columnCount; i++) {
        const char* name = GetDBResultColumnName(result.get(), i);
        names.emplace_back(name ? name : "");
    }
    std::vector<TextRow> rows;
    while (NextDBResultRow(result.get())) {
        TextRow row;
        row.names = names;
        int32_t index = 0;
        for (DBColumnValue* value = result->cursor->values; value && index < result->columnCount;
             value = value->next, index++) {
            if (!value->value) {
                row.values.emplace_back(std::nullopt);
                continue;
            }
            char* text = ColumnValueToString(value->value, value->length, result->columns[index].type);
            if (!text) {
                // A value without text form reads as NULL here.
                row.values.emplace_back(std::nullopt);
                continue;
            }
            row.values.emplace_back(std::string(text));
            std::free(text);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

std::optional<std::vector<TextRow>> ReadTextRows(const char* tableName, const std::string& statement)
{
    TableConnection holder;
    if (!holder.ForLoading(tableName)) {
        LogError("No connection to read %s\n", tableName);
        return std::nullopt;
    }
    return ReadRows(ExecuteQuery(holder.connection(), statement.c_str()), statement);
}

std::optional<std::vector<TextRow>> ReadDefaultTextRows(const std::string& statement)
{
    const char* name = GetDefaultConnectionName();
    DBConnection* connection = name ? GetDBConnection(name) : nullptr;
    if (!connection) {
        LogError("No default connection for %s\n", statement.c_str());
        return std::nullopt;
    }
    DBResultSet* result = ExecuteQuery(connection, statement.c_str());
    ReleaseDBConnection(name);
    return ReadRows(result, statement);
}

bool ExecuteOnDefaultConnection(const std::string& statement)
{
    const char* name = GetDefaultConnectionName();
    DBConnection* connection = name ? GetDBConnection(name) : nullptr;
    if (!connection) {
        LogError("No default connection for %s\n", statement.c_str());
        return false;
    }
    int result = ExecuteUpdate(connection, statement.c_str());
    ReleaseDBConnection(name);
    return result == VELMORA_SUCCESS;
}

const char* DefaultConnectionDialect()
{
    const char* name = GetDefaultConnectionName();
    return name ? GetDBTypeOfConnection(name) : nullptr;
}

std::string QuoteSqlText(const std::string& text, const char* dialect)
{
    bool escapeBackslash = dialect && strcasecmp(dialect, "MYSQL") == 0;
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\0')
            break;
        if (c == '\'' || (escapeBackslash && c == '\\'))
            quoted += c;
        quoted += c;
    }
    quoted += '\'';
    return quoted;
}

} // namespace velmora_objects
