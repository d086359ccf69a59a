/*
 * Internal: rows of a small select read as text, for the stored-query and
 * personality code that reads the store's own tables.
 */
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora_objects {

/* One row: each value's text form, nullopt for NULL, by column position. */
struct TextRow {
    std::vector<std::string> names; /* shared layout: the result's column names */
    std::vector<std::optional<std::string>> values;

    /* The value of the named column (case-insensitive), nullopt for NULL or
     * a column the result does not have. */
    std::optional<std::string> Get(const char* column) const;
    /* The value as an integer; fallback for NULL, no such column or text
     * that is no integer. */
    int64_t GetInt(const char* column, int64_t fallback) const;
};

/* The rows of statement run on the connection of tableName (as the table
 * is loaded: data-source map, else the default connection). nullopt, after
 * an error line, when there is no connection or the statement fails. */
std::optional<std::vector<TextRow>> ReadTextRows(const char* tableName, const std::string& statement);

/* The same on the default connection (the first connparams.txt entry). */
std::optional<std::vector<TextRow>> ReadDefaultTextRows(const std::string& statement);

/* Runs a statement that returns no rows on the default connection (the
 * first connparams.txt entry). false after an error line. */
bool ExecuteOnDefaultConnection(const std::string& statement);

/* The dialect name (MYSQL, PGSQL, SQLITE, FIREBIRD) of the default
 * connection, or null. */
const char* DefaultConnectionDialect();

/* text as a SQL literal of that dialect: between single quotes, quotes
 * doubled, backslashes doubled for MYSQL (which reads them as escapes). */
std::string QuoteSqlText(const std::string& text, const char* dialect);

} // namespace velmora_objects
