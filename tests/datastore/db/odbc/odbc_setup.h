// The ODBC side of an engine test: a private ODBC configuration (odbcinst.ini
// naming the drivers, user data sources in a temporary folder) and the
// connection parameters that reach the test's database in both forms.
#pragma once

#include <memory>
#include <string>

#include "engine_client.h"
#include "temp_dir.h"
#include "velmora/connection_files.h"

namespace odbc_setup {

struct EntryDeleter {
    void operator()(ConnParamsEntry* entry) const { FreeConnParamsEntry(entry); }
};
using EntryPtr = std::unique_ptr<ConnParamsEntry, EntryDeleter>;

// Points ODBCSYSINI, ODBCINI and HOME at a temporary folder holding an
// odbcinst.ini with the three drivers, so nothing reads or writes the
// machine's own configuration. Restores the variables when it goes.
class PrivateOdbcConfig {
public:
    PrivateOdbcConfig();
    ~PrivateOdbcConfig();
    const TempDir& dir() const { return dir_; }
    // The user data sources file.
    std::string odbcIni() const { return dir_.file("odbc.ini"); }

private:
    TempDir dir_;
    std::string saved_[3];
    bool had_[3] = {};
};

// The driver name of odbcinst.ini for an engine.
const char* DriverName(tw::engines::Engine engine);
// The SQL dialect name of an engine ("SQLITE", "PGSQL", "MYSQL").
const char* DialectName(tw::engines::Engine engine);

// Creates data source dsn for database (by CreateDSNFromFile, plus the keys
// the six attributes cannot carry: a server's port) and returns an entry
// that connects through it with the provider name "ODBC".
EntryPtr DsnEntry(tw::engines::Engine engine, const std::string& database, const std::string& dsn,
                  const PrivateOdbcConfig& config, std::string* error);
// An entry whose connection string names the driver and the database.
EntryPtr ConnectionStringEntry(tw::engines::Engine engine, const std::string& database, std::string* error);

} // namespace odbc_setup
