#include "odbc_setup.h"

#include <stdlib.h>

#include <fstream>

#include <sql.h>
#include <odbcinst.h>

#include "velmora/odbc_provider.h"

namespace odbc_setup {

using tw::engines::Engine;

namespace {
const char* const kVariables[3] = {"ODBCSYSINI", "ODBCINI", "HOME"};
}

PrivateOdbcConfig::PrivateOdbcConfig()
{
    for (int i = 0; i < 3; i++) {
        const char* value = getenv(kVariables[i]);
        had_[i] = value != nullptr;
        saved_[i] = value ? value : "";
    }
    std::ofstream(dir_.file("odbcinst.ini")) << "[SQLite3]\nDriver=" TW_ODBC_SQLITE_DRIVER "\n\n"
                                             << "[PostgreSQL ANSI]\nDriver=" TW_ODBC_PGSQL_DRIVER "\n\n"
                                             << "[MariaDB]\nDriver=" TW_ODBC_MARIADB_DRIVER "\n";
    std::ofstream(odbcIni()) << "";
    setenv("ODBCSYSINI", dir_.path().c_str(), 1);
    setenv("ODBCINI", odbcIni().c_str(), 1);
    setenv("HOME", dir_.path().c_str(), 1);
}

PrivateOdbcConfig::~PrivateOdbcConfig()
{
    for (int i = 0; i < 3; i++) {
        if (had_[i])
            setenv(kVariables[i], saved_[i].c_str(), 1);
        else
            unsetenv(kVariables[i]);
    }
}

const char* DriverName(Engine engine)
{
    switch (engine) {
    case Engine::postgresql:
        return "PostgreSQL ANSI";
    case Engine::mariadb:
        return "MariaDB";
    default:
        return "SQLite3";
    }
}

const char* DialectName(Engine engine)
{
    switch (engine) {
    case Engine::postgresql:
        return "PGSQL";
    case Engine::mariadb:
        return "MYSQL";
    default:
        return "SQLITE";
    }
}

namespace {

struct Place {
    std::string database, host, port, user, password;
};

bool PlaceOf(Engine engine, const std::string& database, Place* place, std::string* error)
{
    tw::engines::EngineFacts facts;
    if (!ReadEngineFacts(engine, &facts, error))
        return false;
    place->database = DatabaseLocation(engine, database, error);
    place->host = facts.Get("HOST");
    place->port = facts.Get("PORT");
    place->user = facts.Get("USER");
    place->password = facts.Get("PASSWORD");
    return !place->database.empty();
}

const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

} // namespace

EntryPtr DsnEntry(Engine engine, const std::string& database, const std::string& dsn, const PrivateOdbcConfig& config,
                  std::string* error)
{
    Place place;
    if (!PlaceOf(engine, database, &place, error))
        return nullptr;
    auto word = [](const std::string& text) { return text.empty() ? std::string("NULL") : text; };
    std::string list = config.dir().file("dsn_list.txt");
    std::ofstream(list) << dsn << " NULL " << word(place.host) << " " << word(place.user) << " " << word(place.password)
                        << " " << place.database << " " << DriverName(engine) << "\n";
    if (CreateDSNFromFile(list.c_str()) != 1) {
        *error = "CreateDSNFromFile failed";
        return nullptr;
    }
    // What the six attributes cannot say: the servers' port, and psqlODBC's
    // own key for the server.
    if (engine == Engine::postgresql) {
        SQLWritePrivateProfileString(dsn.c_str(), "Servername", place.host.c_str(), "odbc.ini");
        SQLWritePrivateProfileString(dsn.c_str(), "Port", place.port.c_str(), "odbc.ini");
        // psqlODBC reports booleans as text unless told otherwise; as BIT
        // they come back as booleans.
        SQLWritePrivateProfileString(dsn.c_str(), "BoolsAsChar", "0", "odbc.ini");
    }
    if (engine == Engine::mariadb)
        SQLWritePrivateProfileString(dsn.c_str(), "PORT", place.port.c_str(), "odbc.ini");
    return EntryPtr(CreateConnParamsEntry("odbc", 1, dsn.c_str(), OrNull(place.user), OrNull(place.password), 0, "main",
                                          0, nullptr, "ODBC", DialectName(engine)));
}

EntryPtr ConnectionStringEntry(Engine engine, const std::string& database, std::string* error)
{
    Place place;
    if (!PlaceOf(engine, database, &place, error))
        return nullptr;
    std::string text = std::string("Driver={") + DriverName(engine) + "};Database=" + place.database;
    if (engine == Engine::postgresql)
        text += ";Servername=" + place.host + ";Port=" + place.port + ";UID=" + place.user + ";PWD=" + place.password +
            ";BoolsAsChar=0";
    if (engine == Engine::mariadb)
        text += ";Server=" + place.host + ";Port=" + place.port + ";UID=" + place.user + ";PWD=" + place.password;
    return EntryPtr(CreateConnParamsEntry("odbc", 2, "unused", nullptr, nullptr, 0, "second", 1, text.c_str(), "ODBC",
                                          DialectName(engine)));
}

} // namespace odbc_setup
