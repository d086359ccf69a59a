// SQLite through its C library: a database is a file in DATA_DIR.
#include <sqlite3.h>

#include <cerrno>
#include <cstdio>

#include "engine_backends.h"

namespace tw::engines::detail {

namespace {

class SqliteConnection final : public Connection {
public:
    SqliteConnection(std::string name, sqlite3* db) : Connection(Engine::sqlite, std::move(name)), db_(db) { }
    ~SqliteConnection() override { sqlite3_close_v2(db_); }

    bool Execute(std::string_view sql) override { return Run(sql, nullptr); }

    std::optional<Rows> Query(std::string_view sql) override
    {
        Rows rows;
        if (!Run(sql, &rows))
            return std::nullopt;
        return rows;
    }

private:
    // Runs every statement of sql in turn; the rows of the last statement
    // that has columns go to *rows.
    bool Run(std::string_view sql, Rows* rows)
    {
        const char* next = sql.data();
        const char* end = sql.data() + sql.size();
        while (next < end) {
            sqlite3_stmt* statement = nullptr;
            const char* tail = nullptr;
            if (sqlite3_prepare_v2(db_, next, static_cast<int>(end - next), &statement, &tail) != SQLITE_OK)
                return Fail(Message());
            next = tail;
            if (!statement) // only blanks or a comment were left
                continue;
            const bool ok = Step(statement, rows);
            sqlite3_finalize(statement);
            if (!ok)
                return false;
        }
        Succeed();
        return true;
    }

    bool Step(sqlite3_stmt* statement, Rows* rows)
    {
        const int columns = sqlite3_column_count(statement);
        if (rows && columns > 0)
            rows->clear();
        for (;;) {
            const int step = sqlite3_step(statement);
            if (step == SQLITE_DONE)
                return true;
            if (step != SQLITE_ROW)
                return Fail(Message());
            if (!rows)
                continue;
            Row row;
            row.reserve(columns);
            for (int i = 0; i < columns; ++i) {
                if (sqlite3_column_type(statement, i) == SQLITE_NULL) {
                    row.emplace_back(std::nullopt);
                    continue;
                }
                // Blobs as their bytes, everything else in SQLite's text form.
                const void* bytes = sqlite3_column_type(statement, i) == SQLITE_BLOB
                    ? sqlite3_column_blob(statement, i)
                    : static_cast<const void*>(sqlite3_column_text(statement, i));
                const int size = sqlite3_column_bytes(statement, i);
                row.emplace_back(std::string(static_cast<const char*>(bytes), bytes ? size : 0));
            }
            rows->push_back(std::move(row));
        }
    }

    std::string Message() const
    {
        return std::string(sqlite3_errmsg(db_)) + " (code " + std::to_string(sqlite3_extended_errcode(db_)) + ")";
    }

    sqlite3* db_;
};

} // namespace

std::unique_ptr<Connection> SqliteConnect(const EngineFacts& facts, const std::string& name, std::string* error)
{
    const std::string path = DatabaseFile(facts, name, ".db");
    sqlite3* db = nullptr;
    // No SQLITE_OPEN_CREATE: connecting never makes a database by accident.
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        *error = "sqlite: cannot open " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 10000);
    // A test database is thrown away: no waiting for the disk on each commit.
    sqlite3_exec(db, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
    return std::make_unique<SqliteConnection>(name, db);
}

bool SqliteCreate(const EngineFacts& facts, const std::string& name, std::string* error)
{
    if (!SqliteDrop(facts, name, error))
        return false;
    const std::string path = DatabaseFile(facts, name, ".db");
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    // The file appears on the first write; this one makes it exist now.
    const bool ok = opened == SQLITE_OK &&
        sqlite3_exec(db, "CREATE TABLE tw_first_write(x); DROP TABLE tw_first_write;", nullptr, nullptr, nullptr) ==
            SQLITE_OK;
    if (!ok)
        *error = "sqlite: cannot create " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close_v2(db);
    return ok;
}

bool SqliteDrop(const EngineFacts& facts, const std::string& name, std::string* error)
{
    for (const char* suffix : {".db", ".db-journal", ".db-wal", ".db-shm"}) {
        const std::string path = DatabaseFile(facts, name, suffix);
        if (std::remove(path.c_str()) != 0 && errno != ENOENT) {
            *error = "sqlite: cannot remove " + path;
            return false;
        }
    }
    return true;
}

} // namespace tw::engines::detail
