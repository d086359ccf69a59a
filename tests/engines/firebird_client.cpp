// Firebird 3 through libfbclient's embedded engine: a database is a file in
// DATA_DIR, opened by path (no host part), so no server process is needed.
// The legacy ISC API is used: it is plain C and asks the engine itself to
// turn every non-blob value into text (an output column's type is switched
// to VARCHAR before the fetch), so the text form is the engine's own; blob
// values (the only place for long texts in Firebird) are read segment by
// segment, byte for byte.
#include <ibase.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "engine_backends.h"

namespace tw::engines::detail {

namespace {

constexpr short kDialect = 3;
// Room for the text of any number, date, time or boolean.
constexpr short kScalarTextSize = 64;

std::string ErrorOf(const ISC_STATUS* status)
{
    char state[FB_SQLSTATE_SIZE] = {};
    fb_sqlstate(state, status);
    std::string text;
    char line[1024];
    const ISC_STATUS* cursor = status;
    while (fb_interpret(line, sizeof line, &cursor)) {
        if (!text.empty())
            text += "\n";
        text += line;
    }
    return "SQLSTATE " + std::string(state) + ": " + text;
}

// The engine finds its configuration (ServerMode SuperClassic, so a test
// and isql-fb can share a database) and its lock folder through these two
// variables; they must be set before the library's first call. Its engine
// threads are stopped at exit.
void InitLibrary(const EngineFacts& facts)
{
    static std::once_flag once;
    std::call_once(once, [&facts] {
        setenv("FIREBIRD", facts.Get("FIREBIRD").c_str(), 1);
        setenv("FIREBIRD_LOCK", facts.Get("FIREBIRD_LOCK").c_str(), 1);
        std::atexit([] { fb_shutdown(0, fb_shutrsn_app_stopped); });
    });
}

// isc_dpb parameters of an attachment: user name and the connection
// character set (UTF8, so text arrives as the UTF-8 bytes that were stored).
class DatabaseParameters {
public:
    explicit DatabaseParameters(const EngineFacts& facts) : dpb_(1, static_cast<char>(isc_dpb_version1))
    {
        const std::string user = facts.Get("USER").empty() ? "SYSDBA" : facts.Get("USER");
        AddText(isc_dpb_user_name, user.substr(0, 255));
        AddText(isc_dpb_lc_ctype, "UTF8");
    }

    void AddText(char tag, const std::string& value)
    {
        dpb_ += tag;
        dpb_ += static_cast<char>(value.size());
        dpb_ += value;
    }
    void AddNumber(char tag, uint32_t value) // 4 bytes, least significant first
    {
        dpb_ += tag;
        dpb_ += static_cast<char>(4);
        for (int i = 0; i < 4; ++i)
            dpb_ += static_cast<char>((value >> (8 * i)) & 0xFF);
    }

    short size() const { return static_cast<short>(dpb_.size()); }
    const char* data() const { return dpb_.data(); }

private:
    std::string dpb_;
};

// The output description of a statement, with a text buffer per column.
class Output {
public:
    explicit Output(short columns) { Resize(columns); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    XSQLDA* get() { return reinterpret_cast<XSQLDA*>(storage_.data()); }

    void Resize(short columns)
    {
        storage_.assign(XSQLDA_LENGTH(columns < 1 ? 1 : columns), 0);
        get()->version = SQLDA_VERSION1;
        get()->sqln = columns < 1 ? 1 : columns;
    }

    // Points each column at a buffer. Everything but a blob, a time and a
    // time stamp is asked for as VARCHAR, so the engine writes its own
    // text form of the value. Times and time stamps come as they are
    // stored: the engine's VARCHAR form of a time stamp ("02-JAN-2024
    // 3:04:05.0000") differs from what CAST(... AS VARCHAR) gives, so
    // they are printed here the way CAST prints them.
    void Bind()
    {
        XSQLDA* sqlda = get();
        buffers_.assign(sqlda->sqld, {});
        nulls_.assign(sqlda->sqld, 0);
        for (short i = 0; i < sqlda->sqld; ++i) {
            XSQLVAR& var = sqlda->sqlvar[i];
            const short type = var.sqltype & ~1;
            if (type == SQL_BLOB) {
                buffers_[i].assign(sizeof(ISC_QUAD), 0);
            } else if (type == SQL_TIMESTAMP || type == SQL_TYPE_TIME) {
                var.sqltype = type;
                buffers_[i].assign(type == SQL_TIMESTAMP ? sizeof(ISC_TIMESTAMP) : sizeof(ISC_TIME), 0);
            } else {
                if (type != SQL_TEXT && type != SQL_VARYING) {
                    var.sqllen = kScalarTextSize;
                    var.sqlsubtype = 0;
                }
                var.sqltype = SQL_VARYING;
                buffers_[i].assign(sizeof(short) + static_cast<size_t>(var.sqllen), 0);
            }
            var.sqltype |= 1; // always report NULL through sqlind
            var.sqldata = buffers_[i].data();
            var.sqlind = &nulls_[i];
        }
    }

    bool IsBlob(short i) { return (get()->sqlvar[i].sqltype & ~1) == SQL_BLOB; }
    bool IsNull(short i) const { return nulls_[i] == -1; }
    std::string Text(short i) const
    {
        const short type = get_const()->sqlvar[i].sqltype & ~1;
        if (type == SQL_TIMESTAMP) {
            ISC_TIMESTAMP stamp;
            std::memcpy(&stamp, buffers_[i].data(), sizeof stamp);
            tm parts{};
            isc_decode_timestamp(&stamp, &parts);
            return Printed("%04d-%02d-%02d %02d:%02d:%02d.%04u", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                           parts.tm_hour, parts.tm_min, parts.tm_sec,
                           static_cast<unsigned>(stamp.timestamp_time % ISC_TIME_SECONDS_PRECISION));
        }
        if (type == SQL_TYPE_TIME) {
            ISC_TIME time;
            std::memcpy(&time, buffers_[i].data(), sizeof time);
            tm parts{};
            isc_decode_sql_time(&time, &parts);
            return Printed("%02d:%02d:%02d.%04u", parts.tm_hour, parts.tm_min, parts.tm_sec,
                           static_cast<unsigned>(time % ISC_TIME_SECONDS_PRECISION));
        }
        unsigned short size;
        std::memcpy(&size, buffers_[i].data(), sizeof size);
        return std::string(buffers_[i].data() + sizeof size, size);
    }
    ISC_QUAD* BlobId(short i) { return reinterpret_cast<ISC_QUAD*>(buffers_[i].data()); }

private:
    const XSQLDA* get_const() const { return reinterpret_cast<const XSQLDA*>(storage_.data()); }

    template <typename... Args> static std::string Printed(const char* format, Args... args)
    {
        char text[64];
        const int size = std::snprintf(text, sizeof text, format, args...);
        return std::string(text, size > 0 ? std::min<size_t>(static_cast<size_t>(size), sizeof text - 1) : 0);
    }

    std::vector<char> storage_;
    std::vector<std::vector<char>> buffers_;
    std::vector<short> nulls_;
};

class FirebirdConnection final : public Connection {
public:
    FirebirdConnection(std::string name, isc_db_handle db) : Connection(Engine::firebird, std::move(name)), db_(db) { }
    ~FirebirdConnection() override
    {
        ISC_STATUS_ARRAY status;
        isc_detach_database(status, &db_);
    }

    bool Execute(std::string_view sql) override
    {
        Rows ignored;
        return Run(sql, &ignored);
    }

    std::optional<Rows> Query(std::string_view sql) override
    {
        Rows rows;
        if (!Run(sql, &rows))
            return std::nullopt;
        return rows;
    }

private:
    // One transaction per statement: committed when the statement and the
    // reading of its rows succeeded, rolled back otherwise.
    bool Run(std::string_view sql, Rows* rows)
    {
        if (sql.find('\0') != std::string_view::npos)
            return Fail("firebird: a statement text cannot contain a NUL byte");
        ISC_STATUS_ARRAY status;
        isc_tr_handle transaction = 0;
        if (isc_start_transaction(status, &transaction, 1, &db_, 0, nullptr))
            return Fail(ErrorOf(status));
        std::string message;
        const bool ok = RunIn(&transaction, std::string(sql), rows, &message);
        if (ok && !isc_commit_transaction(status, &transaction)) {
            Succeed();
            return true;
        }
        if (ok)
            message = ErrorOf(status); // the commit itself was refused
        isc_rollback_transaction(status, &transaction);
        return Fail(message);
    }

    bool RunIn(isc_tr_handle* transaction, const std::string& sql, Rows* rows, std::string* message)
    {
        ISC_STATUS_ARRAY status;
        isc_stmt_handle statement = 0;
        if (isc_dsql_allocate_statement(status, &db_, &statement)) {
            *message = ErrorOf(status);
            return false;
        }
        const bool ok = Prepared(transaction, &statement, sql, rows, message);
        isc_dsql_free_statement(status, &statement, DSQL_drop);
        return ok;
    }

    bool Prepared(isc_tr_handle* transaction, isc_stmt_handle* statement, const std::string& sql, Rows* rows,
                  std::string* message)
    {
        ISC_STATUS_ARRAY status;
        Output output(1);
        // The length parameter is 16 bits; 0 means "up to the NUL", which
        // lets longer texts reach the engine (and its own length limit).
        const unsigned short length = sql.size() < 65536 ? static_cast<unsigned short>(sql.size()) : 0;
        if (isc_dsql_prepare(status, transaction, statement, length, sql.c_str(), kDialect, output.get())) {
            *message = ErrorOf(status);
            return false;
        }
        const short columns = output.get()->sqld;
        if (columns > output.get()->sqln) {
            output.Resize(columns);
            if (isc_dsql_describe(status, statement, kDialect, output.get())) {
                *message = ErrorOf(status);
                return false;
            }
        }
        output.Bind();
        const char request[] = {isc_info_sql_stmt_type};
        char info[16] = {};
        if (isc_dsql_sql_info(status, statement, sizeof request, request, sizeof info, info)) {
            *message = ErrorOf(status);
            return false;
        }
        const short info_size = static_cast<short>(isc_vax_integer(info + 1, 2));
        const long type = isc_vax_integer(info + 3, info_size);
        rows->clear();
        if (type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd) {
            if (isc_dsql_execute(status, transaction, statement, kDialect, nullptr)) {
                *message = ErrorOf(status);
                return false;
            }
            for (;;) {
                const ISC_STATUS fetched = isc_dsql_fetch(status, statement, kDialect, output.get());
                if (fetched == 100)
                    return true;
                if (fetched != 0) {
                    *message = ErrorOf(status);
                    return false;
                }
                if (!AddRow(transaction, &output, rows, message))
                    return false;
            }
        }
        // EXECUTE PROCEDURE and statements with RETURNING give one row.
        if (isc_dsql_execute2(status, transaction, statement, kDialect, nullptr,
                              columns > 0 ? output.get() : nullptr)) {
            *message = ErrorOf(status);
            return false;
        }
        return columns == 0 || AddRow(transaction, &output, rows, message);
    }

    bool AddRow(isc_tr_handle* transaction, Output* output, Rows* rows, std::string* message)
    {
        Row row;
        const short columns = output->get()->sqld;
        row.reserve(columns);
        for (short i = 0; i < columns; ++i) {
            if (output->IsNull(i)) {
                row.emplace_back(std::nullopt);
            } else if (output->IsBlob(i)) {
                std::string bytes;
                if (!ReadBlob(transaction, output->BlobId(i), &bytes, message))
                    return false;
                row.emplace_back(std::move(bytes));
            } else {
                row.emplace_back(output->Text(i));
            }
        }
        rows->push_back(std::move(row));
        return true;
    }

    bool ReadBlob(isc_tr_handle* transaction, ISC_QUAD* id, std::string* bytes, std::string* message)
    {
        ISC_STATUS_ARRAY status;
        isc_blob_handle blob = 0;
        if (isc_open_blob2(status, &db_, transaction, &blob, id, 0, nullptr)) {
            *message = ErrorOf(status);
            return false;
        }
        char segment[32768];
        for (;;) {
            unsigned short got = 0;
            const ISC_STATUS result = isc_get_segment(status, &blob, &got, sizeof segment, segment);
            if (result == 0 || result == isc_segment) { // isc_segment: the rest of a long segment follows
                bytes->append(segment, got);
                continue;
            }
            if (result == isc_segstr_eof)
                break;
            *message = ErrorOf(status);
            isc_close_blob(status, &blob);
            return false;
        }
        isc_close_blob(status, &blob);
        return true;
    }

    isc_db_handle db_;
};

} // namespace

std::unique_ptr<Connection> FirebirdConnect(const EngineFacts& facts, const std::string& name, std::string* error)
{
    InitLibrary(facts);
    const std::string path = DatabaseFile(facts, name, ".fdb");
    const DatabaseParameters dpb(facts);
    ISC_STATUS_ARRAY status;
    isc_db_handle db = 0;
    if (isc_attach_database(status, 0, path.c_str(), &db, dpb.size(), dpb.data())) {
        *error = "firebird: cannot open " + path + ": " + ErrorOf(status);
        return nullptr;
    }
    return std::make_unique<FirebirdConnection>(name, db);
}

bool FirebirdCreate(const EngineFacts& facts, const std::string& name, std::string* error)
{
    InitLibrary(facts);
    if (!FirebirdDrop(facts, name, error))
        return false;
    const std::string path = DatabaseFile(facts, name, ".fdb");
    // Forced writes off: a test database is thrown away, and writing
    // through to the disk on every commit costs seconds on a busy machine.
    DatabaseParameters dpb(facts);
    dpb.AddNumber(isc_dpb_page_size, 8192);
    dpb.AddNumber(isc_dpb_sql_dialect, kDialect);
    dpb.AddText(isc_dpb_set_db_charset, "UTF8");
    dpb.AddNumber(isc_dpb_force_write, 0);
    ISC_STATUS_ARRAY status;
    isc_db_handle db = 0;
    if (isc_create_database(status, 0, path.c_str(), &db, dpb.size(), dpb.data(), 0)) {
        *error = "firebird: cannot create " + path + ": " + ErrorOf(status);
        return false;
    }
    isc_detach_database(status, &db);
    return true;
}

// The file is the database; removing it drops it.
bool FirebirdDrop(const EngineFacts& facts, const std::string& name, std::string* error)
{
    const std::string path = DatabaseFile(facts, name, ".fdb");
    if (std::remove(path.c_str()) != 0 && errno != ENOENT) {
        *error = "firebird: cannot remove " + path;
        return false;
    }
    return true;
}

} // namespace tw::engines::detail
