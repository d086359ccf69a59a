/*
 * PostgreSQL: "limit n offset m" at the end; booleans are a boolean column,
 * which takes the quoted forms ('1' in an insert, 't' and 'f' elsewhere)
 * and refuses a bare 1 or 0.
 */
#include "dialect_style.h"
#include "velmora/sql_dialect.h"

namespace {

const velmora_sql::DialectStyle kPgsql = {
    velmora_sql::DialectKind::Pgsql,
    "Pgsql",
    {false, {"'0'", "'1'"}, {"'f'", "'t'"}, {"'f'", "'t'"}},
    velmora_sql::Paging::LimitThenOffset,
    " as %s ",
    "as %s ",
    true,
    "Update query is @@@%s\n",
    false,
    ");",
    false,
};

} // namespace

VELMORA_SQL_DIALECT(Pgsql, PgsqlGenDeleteQuery, "PGSQL", kPgsql)
