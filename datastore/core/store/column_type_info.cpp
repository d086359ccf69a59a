/*
 * The table of column type facts, indexed by type code.
 *
 * A new type, or a new fact that a converter or a statement generator
 * needs, is a column or a row here; the readers and converters look it up.
 */
#include "column_type_info.h"

#include <array>

#include "velmora/string_routines.h"

namespace velmora {

namespace {

using K = ValueKind;
using O = Ordering;
using L = Listing;

// clang-format off
constexpr std::array<ColumnTypeInfo, BRI_SQL_MAX_TYPE + 1> kColumnTypes = {{
    // code                      kind          width full signed ordering      quoted listing      names
    {BRI_SQL_NOT_SUPPORTED_TYPE, K::Unsupported,  0,  0, false, O::None,       false, L::TextForm, {"BRI_SQL_NOT_SUPPORTED_TYPE"}},
    {BRI_SQL_TINYINT,            K::Integer,      1,  4, true,  O::Signed32,   false, L::Int32,    {"BRI_SQL_TINYINT"}},
    {BRI_SQL_UNSIGNED_TINYINT,   K::Integer,      1,  4, false, O::Unsigned32, false, L::Int32,    {"BRI_SQL_UNSIGNED_TINYINT"}},
    {BRI_SQL_SMALLINT,           K::Integer,      2,  4, true,  O::Signed32,   false, L::Int32,    {"BRI_SQL_SMALLINT"}},
    {BRI_SQL_UNSIGNED_SMALLINT,  K::Integer,      2,  4, false, O::Unsigned32, false, L::TextForm, {"BRI_SQL_UNSIGNED_SMALLINT"}},
    {BRI_SQL_INT,                K::Integer,      4,  4, true,  O::Signed32,   false, L::Int32,    {"BRI_SQL_INT", "INTEGER", "LONG"}},
    {BRI_SQL_UNSIGNED_INT,       K::Integer,      4,  4, false, O::Unsigned32, false, L::Int32,    {"BRI_SQL_UNSIGNED_INT"}},
    {BRI_SQL_BIGINT,             K::Integer,      8,  8, true,  O::Signed64,   false, L::TextForm, {"BIGINT"}},
    {BRI_SQL_UNSIGNED_LONG_INT,  K::Integer,      8,  8, false, O::None,       false, L::TextForm, {"BRI_SQL_UNSIGNED_LONG_INT"}},
    {BRI_SQL_FLOAT,              K::Floating,     4,  4, true,  O::Float,      false, L::TextForm, {"BRI_SQL_FLOAT", "FLOAT"}},
    {BRI_SQL_DOUBLE,             K::Floating,     8,  8, true,  O::None,       false, L::TextForm, {"BRI_SQL_DOUBLE"}},
    {BRI_SQL_REAL,               K::Floating,     4,  4, true,  O::None,       false, L::TextForm, {"BRI_SQL_REAL"}},
    {BRI_SQL_DECIMAL,            K::Decimal,      0,  0, true,  O::None,       false, L::TextForm, {"BRI_SQL_DECIMAL"}},
    {BRI_SQL_NUMERIC,            K::Decimal,      0,  0, true,  O::None,       false, L::TextForm, {"BRI_SQL_NUMERIC"}},
    {BRI_SQL_CHAR,               K::Character,    0,  0, false, O::Text,       true,  L::TextForm, {"BRI_SQL_CHAR"}},
    {BRI_SQL_VARCHAR,            K::Character,    0,  0, false, O::Text,       true,  L::TextForm, {"CHAR", "NCHAR"}},
    {BRI_SQL_DATE,               K::Date,         4,  4, false, O::None,       true,  L::TextForm, {"BRI_SQL_DATE", "DATE"}},
    {BRI_SQL_TIME,               K::Time,         3,  3, false, O::None,       true,  L::TextForm, {"BRI_SQL_TIME", "TIME"}},
    {BRI_SQL_DATETIME,           K::DateTime,    11, 11, false, O::None,       true,  L::TextForm, {"BRI_SQL_DATETIME", "DATETIME", "TIMESTAMP"}},
    {BRI_SQL_BOOLEAN,            K::Boolean,      1,  1, false, O::None,       false, L::FlagByte, {"BOOLEAN"}},
    {BRI_SQL_BLOB,               K::Binary,       0,  0, false, O::None,       true,  L::TextForm, {"BRI_SQL_BLOB", "BLOB"}},
    {BRI_SQL_CLOB,               K::Binary,       0,  0, false, O::None,       false, L::TextForm, {"BRI_SQL_CLOB", "CLOB"}},
    {BRI_SQL_TEXT,               K::Character,    0,  0, false, O::Text,       true,  L::TextForm, {"BRI_SQL_TEXT", "TEXT"}},
}};
// clang-format on

constexpr bool RowsAreInCodeOrder()
{
    for (size_t i = 0; i < kColumnTypes.size(); i++)
        if (kColumnTypes[i].code != i)
            return false;
    return true;
}
static_assert(RowsAreInCodeOrder(), "the column type table is indexed by code");

constexpr ColumnTypeInfo kUnknownType = {0, K::Unknown, 0, 0, false, O::None, false, L::TextForm, {}};

} // namespace

const ColumnTypeInfo& ColumnType(uint8_t type)
{
    return type < kColumnTypes.size() ? kColumnTypes[type] : kUnknownType;
}

uint8_t ColumnTypeCodeOfName(const char* name)
{
    for (const ColumnTypeInfo& info : kColumnTypes)
        for (const char* accepted : info.names)
            if (accepted && CompareNoCase(name, accepted) == 0)
                return info.code;
    return BRI_SQL_NOT_SUPPORTED_TYPE;
}

} // namespace velmora

extern "C" const char* GetColumnTypeName(uint8_t type) { return velmora::ColumnType(type).names[0]; }

extern "C" int32_t GetColumnTypeWidth(uint8_t type) { return velmora::ColumnType(type).width; }

extern "C" int IsColumnTypeQuotedInSql(uint8_t type) { return velmora::ColumnType(type).quotedInSql ? 1 : 0; }
