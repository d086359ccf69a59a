/*
 * The mapping of ODBC SQL types to column type codes and the conversion of
 * the driver's texts into column values.
 */
#include "odbc_types.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "velmora/base_alloc.h"
#include "velmora/column_types.h"
#include "velmora/odbc_provider.h"

namespace velmora_odbc {

namespace {

struct TypeRow {
    int sqlType;
    uint8_t code;
};

// First match wins; a type not listed has code 0. The ODBC 3 date, time and
// time-stamp codes (91-93) stand beside their ODBC 2 ones, as an ODBC 3
// environment reports those. SQL_BIT is a boolean: drivers report boolean
// columns as BIT (SQLite's "boolean", PostgreSQL's bool), and its text
// "0"/"1" would otherwise be kept as a character that reads as true.
constexpr TypeRow kTypeTable[] = {
    {SQL_BIGINT, BRI_SQL_BIGINT},
    {SQL_SMALLINT, BRI_SQL_SMALLINT},
    {SQL_INTEGER, BRI_SQL_INT},
    {SQL_FLOAT, BRI_SQL_FLOAT},
    {SQL_DOUBLE, BRI_SQL_DOUBLE},
    {SQL_NUMERIC, BRI_SQL_NUMERIC},
    {SQL_CHAR, BRI_SQL_CHAR},
    {SQL_VARCHAR, BRI_SQL_VARCHAR},
    {SQL_LONGVARCHAR, BRI_SQL_BLOB},
    {SQL_DATETIME, BRI_SQL_DATE},
    {SQL_TYPE_DATE, BRI_SQL_DATE},
    {SQL_TIME, BRI_SQL_TIME},
    {SQL_TYPE_TIME, BRI_SQL_TIME},
    {SQL_TIMESTAMP, BRI_SQL_DATETIME},
    {SQL_TYPE_TIMESTAMP, BRI_SQL_DATETIME},
    {SQL_BINARY, BRI_SQL_BLOB},
    {SQL_VARBINARY, BRI_SQL_BLOB},
    {SQL_LONGVARBINARY, BRI_SQL_BLOB},
    {SQL_TINYINT, BRI_SQL_BOOLEAN},
    {SQL_BIT, BRI_SQL_BOOLEAN},
    {SQL_REAL, 0},
    {SQL_DECIMAL, 0},
    {SQL_GUID, 0},
    {SQL_WCHAR, 0},
    {SQL_WVARCHAR, 0},
    {SQL_WLONGVARCHAR, 0},
};

/* "1", "t", "true", "y", "yes" (any case) are true: drivers print booleans
 * in either of these forms. */
bool IsTrueText(const char* text)
{
    return strcmp(text, "1") == 0 || strcasecmp(text, "t") == 0 || strcasecmp(text, "true") == 0 ||
        strcasecmp(text, "y") == 0 || strcasecmp(text, "yes") == 0;
}

bool IsNarrowInteger(uint8_t code) { return code >= BRI_SQL_TINYINT && code <= BRI_SQL_UNSIGNED_INT; }

/* Whether the integer text fits the width of code (the width
 * ConvertStringToColumnValue keeps); text that is no integer "fits" (the
 * strict parser decides what it becomes). */
bool FitsWidth(const char* text, uint8_t code)
{
    errno = 0;
    char* end = nullptr;
    long long number = strtoll(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE)
        return true;
    switch (code) {
    case BRI_SQL_TINYINT:
        return number >= INT8_MIN && number <= INT8_MAX;
    case BRI_SQL_UNSIGNED_TINYINT:
        return number >= 0 && number <= UINT8_MAX;
    case BRI_SQL_SMALLINT:
        return number >= INT16_MIN && number <= INT16_MAX;
    case BRI_SQL_UNSIGNED_SMALLINT:
        return number >= 0 && number <= UINT16_MAX;
    case BRI_SQL_INT:
        return number >= INT32_MIN && number <= INT32_MAX;
    default:
        return number >= 0 && number <= static_cast<long long>(UINT32_MAX);
    }
}

} // namespace

ReadAs ReadModeOf(SQLSMALLINT sqlType)
{
    return sqlType == SQL_BINARY || sqlType == SQL_VARBINARY || sqlType == SQL_LONGVARBINARY ? ReadAs::Binary
                                                                                             : ReadAs::Text;
}

bool IsLongType(SQLSMALLINT sqlType)
{
    return sqlType == SQL_LONGVARCHAR || sqlType == SQL_WLONGVARCHAR || sqlType == SQL_LONGVARBINARY ||
        sqlType == SQL_BINARY || sqlType == SQL_VARBINARY;
}

int ConvertDriverValue(uint8_t code, const char* bytes, int32_t length, RowValue& out)
{
    free(out.owned);
    out.owned = nullptr;
    out.value = nullptr;
    out.length = 0;
    if (code == 0 || code == BRI_SQL_CHAR || code == BRI_SQL_VARCHAR || code == BRI_SQL_NUMERIC ||
        code >= BRI_SQL_BLOB) {
        // Text and bytes stay as the driver gave them, with their length (a
        // binary value may hold zero bytes); the row takes its own copy.
        out.value = bytes;
        out.length = length;
        return VELMORA_SUCCESS;
    }
    int32_t width = length;
    if (code == BRI_SQL_BOOLEAN) {
        width = 1;
        out.owned = ConvertStringToColumnValue(IsTrueText(bytes) ? "TRUE" : "FALSE", &width, BRI_SQL_BOOLEAN);
    } else if (code >= BRI_SQL_DATE && code <= BRI_SQL_DATETIME) {
        if (!strchr(bytes, '-') && !strchr(bytes, ':'))
            return VELMORA_FAILURE;
        auto* stamp = static_cast<BriDateTimeValue*>(ConvertStringToColumnValue(bytes, &width, BRI_SQL_DATETIME));
        // A date column holds only the date, a time column only the time.
        if (stamp && code == BRI_SQL_DATE)
            memset(&stamp->time, 0, sizeof(stamp->time));
        if (stamp && code == BRI_SQL_TIME)
            memset(&stamp->date, 0, sizeof(stamp->date));
        out.owned = stamp;
    } else if (IsNarrowInteger(code) && !FitsWidth(bytes, code)) {
        // SQLite reports its 64-bit INTEGER columns as SQL_INTEGER: a value
        // beyond the 32 bits keeps all its 64 instead of being cut.
        out.owned = ConvertStringToColumnValue(bytes, &width, BRI_SQL_BIGINT);
    } else {
        out.owned = ConvertStringToColumnValue(bytes, &width, code);
    }
    if (!out.owned)
        return VELMORA_ALLOC_FAILURE;
    out.value = out.owned;
    out.length = width;
    return VELMORA_SUCCESS;
}

} // namespace velmora_odbc

extern "C" uint8_t GetODBCColumnType(int sqlType)
{
    for (const auto& row : velmora_odbc::kTypeTable)
        if (row.sqlType == sqlType)
            return row.code;
    return 0;
}
