/*
 * MySQL and MariaDB: "limit offset , count" at the end, "as" before
 * aliases, booleans as 1 and 0 (the tinyint the create-table writes), and
 * backslashes doubled in literals, which the server reads as escapes.
 */
#include "dialect_style.h"
#include "velmora/sql_dialect.h"

namespace {

const velmora_sql::DialectStyle kMysql = {
    velmora_sql::DialectKind::Mysql,
    "Mysql",
    {true, {"0", "1"}, {"0", "1"}, {"0", "1"}},
    velmora_sql::Paging::LimitCommaOffset,
    " as %s ",
    "as %s ",
    true,
    "Update query is @@@ %s\n",
    true,
    ")",
    false,
};

} // namespace

VELMORA_SQL_DIALECT(Mysql, MysqlGenDelteQuery, "MYSQL", kMysql)
