// MariaDB through libmariadb (Connector/C), on the server's Unix socket.
// mysql_real_query takes the statement with its length and
// mysql_fetch_lengths gives each value's size, so no byte is lost; a null
// row pointer marks NULL.
#include <mysql.h>

#include <mutex>

#include "engine_backends.h"

namespace tw::engines::detail {

namespace {

struct ResultDeleter {
    void operator()(MYSQL_RES* result) const { mysql_free_result(result); }
};
using Result = std::unique_ptr<MYSQL_RES, ResultDeleter>;

std::string ErrorOf(MYSQL* db)
{
    return "SQLSTATE " + std::string(mysql_sqlstate(db)) + " (" + std::to_string(mysql_errno(db)) +
        "): " + mysql_error(db);
}

// The library's global set-up is not thread-safe; it runs once, before any
// connection. Its release runs at exit, so nothing it holds looks leaked.
void InitLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        mysql_library_init(0, nullptr, nullptr);
        std::atexit([] { mysql_library_end(); });
    });
}

// Connects on the socket with the facts' user; an empty name connects
// without a current database.
MYSQL* Open(const EngineFacts& facts, const std::string& name, std::string* error)
{
    InitLibrary();
    MYSQL* db = mysql_init(nullptr);
    if (!db) {
        *error = "mariadb: out of memory";
        return nullptr;
    }
    const unsigned int timeout = 30;
    mysql_options(db, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    mysql_options(db, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    const std::string socket = facts.Get("SOCKET");
    const std::string user = facts.Get("USER");
    const std::string password = facts.Get("PASSWORD");
    if (!mysql_real_connect(db, nullptr, user.c_str(), password.c_str(), name.empty() ? nullptr : name.c_str(), 0,
                            socket.c_str(), 0)) {
        *error = "mariadb: cannot connect to " + (name.empty() ? std::string("the server") : name) + ": " + ErrorOf(db);
        mysql_close(db);
        return nullptr;
    }
    return db;
}

class MariadbConnection final : public Connection {
public:
    MariadbConnection(std::string name, MYSQL* db) : Connection(Engine::mariadb, std::move(name)), db_(db) { }
    ~MariadbConnection() override { mysql_close(db_); }

    bool Execute(std::string_view sql) override
    {
        Result result;
        return Run(sql, &result);
    }

    std::optional<Rows> Query(std::string_view sql) override
    {
        Result result;
        if (!Run(sql, &result))
            return std::nullopt;
        Rows rows;
        if (!result)
            return rows;
        const unsigned int columns = mysql_num_fields(result.get());
        while (MYSQL_ROW values = mysql_fetch_row(result.get())) {
            const unsigned long* lengths = mysql_fetch_lengths(result.get());
            Row row;
            row.reserve(columns);
            for (unsigned int c = 0; c < columns; ++c) {
                if (!values[c])
                    row.emplace_back(std::nullopt);
                else
                    row.emplace_back(std::string(values[c], lengths[c]));
            }
            rows.push_back(std::move(row));
        }
        return rows;
    }

private:
    // The whole result is stored at once (mysql_store_result), so a fetch
    // cannot fail half-way; a statement without columns has none.
    bool Run(std::string_view sql, Result* result)
    {
        if (mysql_real_query(db_, sql.data(), sql.size()) != 0)
            return Fail(ErrorOf(db_));
        result->reset(mysql_store_result(db_));
        if (!*result && mysql_field_count(db_) != 0)
            return Fail(ErrorOf(db_));
        Succeed();
        return true;
    }

    MYSQL* db_;
};

bool RunOnServer(const EngineFacts& facts, const std::string& sql, std::string* error)
{
    MYSQL* db = Open(facts, "", error);
    if (!db)
        return false;
    const bool ok = mysql_real_query(db, sql.data(), sql.size()) == 0;
    if (!ok)
        *error = "mariadb: " + ErrorOf(db);
    mysql_close(db);
    return ok;
}

} // namespace

std::unique_ptr<Connection> MariadbConnect(const EngineFacts& facts, const std::string& name, std::string* error)
{
    MYSQL* db = Open(facts, name, error);
    if (!db)
        return nullptr;
    return std::make_unique<MariadbConnection>(name, db);
}

// Names reaching here are plain (lower-case letters, digits, '_').
bool MariadbCreate(const EngineFacts& facts, const std::string& name, std::string* error)
{
    return MariadbDrop(facts, name, error) &&
        RunOnServer(facts, "CREATE DATABASE `" + name + "` CHARACTER SET utf8mb4", error);
}

bool MariadbDrop(const EngineFacts& facts, const std::string& name, std::string* error)
{
    return RunOnServer(facts, "DROP DATABASE IF EXISTS `" + name + "`", error);
}

} // namespace tw::engines::detail
