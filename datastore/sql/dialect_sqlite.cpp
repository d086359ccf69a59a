/*
 * SQLite: "limit n offset m" at the end; a boolean column holds the 1 or 0
 * that the insert writes, so updates and conditions write 1 and 0 too.
 * Dates and times are stored as text and parsed back when a result row is
 * converted.
 */
#include "dialect_style.h"
#include "velmora/sql_dialect.h"

namespace {

const velmora_sql::DialectStyle kSqlite = {
    velmora_sql::DialectKind::Sqlite,
    "Sqlite",
    {false, {"0", "1"}, {"0", "1"}, {"0", "1"}},
    velmora_sql::Paging::LimitThenOffset,
    " as %s ",
    "as %s ",
    false,
    "Update query is @@@%s\n",
    false,
    ");",
    true,
};

} // namespace

VELMORA_SQL_DIALECT(Sqlite, SqliteGenDeleteQuery, "SQLITE", kSqlite)
