// PostgreSQL through libpq, on the server's private Unix socket. Values come
// in the text format: PQgetlength gives each one's exact size and
// PQgetisnull tells NULL from an empty text.
#include <libpq-fe.h>

#include "engine_backends.h"

namespace tw::engines::detail {

namespace {

std::string Trimmed(const char* message)
{
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// Connects on the socket with the facts' user to database `name`.
PGconn* Open(const EngineFacts& facts, const std::string& name, std::string* error)
{
    const std::string host = facts.Get("SOCKET_DIR");
    const std::string port = facts.Get("PORT");
    const std::string user = facts.Get("USER");
    const char* keys[] = {"host", "port", "user", "dbname", "client_encoding", "connect_timeout", nullptr};
    const char* values[] = {host.c_str(), port.c_str(), user.c_str(), name.c_str(), "UTF8", "30", nullptr};
    PGconn* db = PQconnectdbParams(keys, values, 0);
    if (!db || PQstatus(db) != CONNECTION_OK) {
        *error = "postgresql: cannot connect to " + name + ": " + Trimmed(db ? PQerrorMessage(db) : "out of memory");
        PQfinish(db);
        return nullptr;
    }
    // Notices (such as "does not exist, skipping") are not test output.
    PQsetNoticeProcessor(
        db, [](void*, const char*) {}, nullptr);
    return db;
}

std::string ErrorOf(PGconn* db, const PGresult* result)
{
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    std::string text = Trimmed(result ? PQresultErrorMessage(result) : PQerrorMessage(db));
    if (text.empty())
        text = Trimmed(PQerrorMessage(db));
    return state ? "SQLSTATE " + std::string(state) + ": " + text : text;
}

class PostgresqlConnection final : public Connection {
public:
    PostgresqlConnection(std::string name, PGconn* db) : Connection(Engine::postgresql, std::move(name)), db_(db) { }
    ~PostgresqlConnection() override { PQfinish(db_); }

    bool Execute(std::string_view sql) override { return Run(sql) != nullptr; }

    std::optional<Rows> Query(std::string_view sql) override
    {
        Result result = Run(sql);
        if (!result)
            return std::nullopt;
        Rows rows;
        const int count = PQntuples(result.get());
        const int columns = PQnfields(result.get());
        rows.reserve(count);
        for (int r = 0; r < count; ++r) {
            Row row;
            row.reserve(columns);
            for (int c = 0; c < columns; ++c) {
                if (PQgetisnull(result.get(), r, c))
                    row.emplace_back(std::nullopt);
                else
                    row.emplace_back(std::string(PQgetvalue(result.get(), r, c), PQgetlength(result.get(), r, c)));
            }
            rows.push_back(std::move(row));
        }
        return rows;
    }

private:
    // PQexec takes a C string: a NUL inside the text would cut the
    // statement short, so such a statement is refused here instead.
    Result Run(std::string_view sql)
    {
        if (sql.find('\0') != std::string_view::npos) {
            Fail("postgresql: a statement text cannot contain a NUL byte");
            return nullptr;
        }
        Result result(PQexec(db_, std::string(sql).c_str()));
        const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            Fail(ErrorOf(db_, result.get()));
            return nullptr;
        }
        Succeed();
        return result;
    }

    PGconn* db_;
};

// Runs one statement on the server's maintenance database.
bool RunOnServer(const EngineFacts& facts, const std::string& sql, std::string* error)
{
    PGconn* db = Open(facts, facts.Get("DATABASE").empty() ? "postgres" : facts.Get("DATABASE"), error);
    if (!db)
        return false;
    Result result(PQexec(db, sql.c_str()));
    const bool ok = result && PQresultStatus(result.get()) == PGRES_COMMAND_OK;
    if (!ok)
        *error = "postgresql: " + ErrorOf(db, result.get());
    result.reset();
    PQfinish(db);
    return ok;
}

} // namespace

std::unique_ptr<Connection> PostgresqlConnect(const EngineFacts& facts, const std::string& name, std::string* error)
{
    PGconn* db = Open(facts, name, error);
    if (!db)
        return nullptr;
    return std::make_unique<PostgresqlConnection>(name, db);
}

// Names reaching here are plain (lower-case letters, digits, '_'), so
// quoting them as identifiers is enough.
bool PostgresqlCreate(const EngineFacts& facts, const std::string& name, std::string* error)
{
    return PostgresqlDrop(facts, name, error) &&
        RunOnServer(facts, "CREATE DATABASE \"" + name + "\" TEMPLATE template0 ENCODING 'UTF8'", error);
}

bool PostgresqlDrop(const EngineFacts& facts, const std::string& name, std::string* error)
{
    // FORCE: a connection a failed test left open does not keep it.
    return RunOnServer(facts, "DROP DATABASE IF EXISTS \"" + name + "\" WITH (FORCE)", error);
}

} // namespace tw::engines::detail
