/*
 * The connection and dialect a table is loaded through.
 */
#pragma once

#include <string>

#include "velmora/db_provider.h"

namespace velmora_objects {

/* A pooled connection held for one table; handed back to its pool when
 * Release is called or the holder goes. */
class TableConnection {
public:
    TableConnection() = default;
    TableConnection(const TableConnection&) = delete;
    TableConnection& operator=(const TableConnection&) = delete;
    ~TableConnection() { Release(); }

    /* With gv_dsnMapValid 1: the connection the data-source map names for
     * the table and its database type; otherwise the default connection
     * and the type at gv_defaultDBType. False, with an error line, when
     * either cannot be had. */
    bool ForLoading(const char* tableName);
    /* The connection the data-source map names for the table (required
     * whatever gv_dsnMapValid says) and the table's dialect. */
    bool ForSaving(const char* tableName);

    void Release();

    DBConnection* connection() const { return connection_; }
    const std::string& connectionName() const { return name_; }
    const char* dialect() const { return dialect_; }

private:
    bool Take(const char* connectionName, const char* tableName);

    std::string name_;
    DBConnection* connection_ = nullptr;
    const char* dialect_ = nullptr;
};

} // namespace velmora_objects
