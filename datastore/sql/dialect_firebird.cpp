/*
 * Firebird: "first n skip m" right after "select", aliases without "as",
 * booleans in a SMALLINT column as 1 and 0.
 */
#include "dialect_style.h"
#include "velmora/sql_dialect.h"

namespace {

const velmora_sql::DialectStyle kFirebird = {
    velmora_sql::DialectKind::Firebird,
    "Firebird",
    {false, {"0", "1"}, {"0", "1"}, {"0", "1"}},
    velmora_sql::Paging::FirstSkip,
    " %s ",
    "%s ",
    true,
    "Update query is @@@%s\n",
    false,
    ");",
    false,
};

} // namespace

VELMORA_SQL_DIALECT(Firebird, FirebirdGenDeleteQuery, "FIREBIRD", kFirebird)
