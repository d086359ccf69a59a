// The tests' own way to the four database engines, without ODBC: read the
// connection facts that scripts/engines/<engine>.sh wrote, make and drop a
// database per test, run statements and read rows back as exact bytes.
//
// Each engine is reached through its own C client library (libpq,
// libmariadb, libsqlite3, libfbclient's embedded engine): they hand over a
// value as a byte count and bytes with NULL flagged apart, which a
// command-line client's printed output cannot do (a text "<null>", a
// trailing blank or a line break would be lost or confused there).
//
// Not thread-safe per Connection: one Connection per thread.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tw::engines {

enum class Engine { sqlite, postgresql, mariadb, firebird };

// "sqlite", "postgresql", "mariadb", "firebird": also the CTest labels and
// the names of the scripts and .env files.
const char* EngineName(Engine engine);
// Prints the engine's name (GoogleTest's messages use it for parameters).
void PrintTo(Engine engine, std::ostream* out);
// The engine of that name; nullopt for any other text.
std::optional<Engine> EngineNamed(std::string_view name);
// The four engines, in the order of the enum.
const std::vector<Engine>& AllEngines();

// One value: nullopt for SQL NULL, else the engine's text form, byte for byte.
using Value = std::optional<std::string>;
using Row = std::vector<Value>;
using Rows = std::vector<Row>;

// The connection facts of a started engine (<state>/<engine>.env: one
// KEY=VALUE a line). Keys: ENGINE, DATA_DIR, CLIENT for every engine;
// HOST, PORT, USER, PASSWORD and SOCKET_DIR (PostgreSQL) or SOCKET (MariaDB)
// for the servers; USER, PASSWORD, FIREBIRD, FIREBIRD_LOCK for Firebird.
struct EngineFacts {
    Engine engine = Engine::sqlite;
    std::map<std::string, std::string> values;
    // The value of key; empty when the file has none.
    std::string Get(const std::string& key) const;
};

// The state folder of the engines: $TW_ENGINE_STATE when set (CTest sets
// it), else the build tree's own, compiled in.
std::string EngineStateDir();

// Reads the facts of an engine. False, with *error saying which file is
// missing and how to start the engine, when it was not started.
bool ReadEngineFacts(Engine engine, EngineFacts* facts, std::string* error);

// A database name every engine accepts, made from any text (a test's full
// name): lower-case ASCII letters, digits and '_', starting with a letter,
// at most 63 bytes. Different texts give different names (a long text is
// cut and ends in a hash of the whole).
std::string DatabaseNameFor(std::string_view text);

// Where database `name` lives: the file path for SQLite and Firebird
// (DATA_DIR/name.db, DATA_DIR/name.fdb), the name itself for the servers.
// Empty with *error when the engine was not started.
std::string DatabaseLocation(Engine engine, const std::string& name, std::string* error);

// Makes an empty database `name` (UTF-8 text), dropping one of that name
// first, so a test that ran before leaves nothing behind. False with the
// engine's message in *error.
bool CreateDatabase(Engine engine, const std::string& name, std::string* error);
// Drops database `name`; a missing one is no error.
bool DropDatabase(Engine engine, const std::string& name, std::string* error);

// A text as a string literal of the engine's SQL, so that the engine stores
// exactly these bytes: single quotes doubled; for MariaDB, whose default
// SQL mode reads backslashes as escapes, backslashes (and NUL) escaped too.
std::string QuoteLiteral(Engine engine, std::string_view text);

// An open connection to one database. Every statement commits on its own
// (Firebird: a transaction per statement, committed when accepted).
class Connection {
public:
    virtual ~Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Engine engine() const { return engine_; }
    const std::string& database() const { return database_; }

    // Runs one statement (SQLite and PostgreSQL: also several separated by
    // ';'); rows it returns are read and dropped. True when the engine
    // accepted it; else false and LastError() holds the engine's message.
    virtual bool Execute(std::string_view sql) = 0;
    // Runs one query and returns its rows, each value in the engine's own
    // text form (numbers and dates as the engine prints them, booleans as
    // PostgreSQL's t/f, Firebird's TRUE/FALSE, ...), text and blob values
    // byte for byte. nullopt when the engine refused it (LastError()). A
    // statement without a result set gives no rows.
    virtual std::optional<Rows> Query(std::string_view sql) = 0;

    // The engine's message for the last refusal, with its SQLSTATE or code
    // where the engine has one; empty after a success.
    const std::string& LastError() const { return error_; }

protected:
    Connection(Engine engine, std::string database) : engine_(engine), database_(std::move(database)) { }
    bool Fail(std::string message)
    {
        error_ = std::move(message);
        return false;
    }
    void Succeed() { error_.clear(); }

private:
    Engine engine_;
    std::string database_;
    std::string error_;
};

// Connects to an existing database `name`. Null, with *error, when the
// engine was not started or refuses.
std::unique_ptr<Connection> Connect(Engine engine, const std::string& name, std::string* error);

} // namespace tw::engines
