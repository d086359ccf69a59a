/* The facts about each column type code, in one table.
 *
 * Conversions, text forms, comparisons, compiled selections, sorting and
 * listings all decide what to do with a value by its type; they look the
 * type up here instead of each restating the codes in a switch of its own.
 * The value forms themselves are described in velmora/column_types.h. */
#pragma once

#include <stdint.h>
#include <string.h>

#include "velmora/column_types.h"

namespace velmora {

/* How a type's values are held. */
enum class ValueKind : uint8_t {
    Unknown,     // a code beyond the table: no value can be made
    Unsupported, // code 0: bytes are kept as given, they have no text form
    Integer,     // little-endian integer, widened on read
    Floating,    // float or double
    Decimal,     // the digits as text bytes of the given length
    Character,   // NUL-terminated text
    Binary,      // raw bytes of the given length
    Date,        // BriDate
    Time,        // BriTime
    DateTime,    // BriDateTimeValue
    Boolean,     // one byte, 1 or 0
};

/* Which comparison a criterion on the type makes; None matches nothing. */
enum class Ordering : uint8_t { None, Signed32, Unsigned32, Signed64, Float, Text };

/* How the debug listings of in-memory tables write a value: "%d" of the
 * widened 32-bit integer, "%d" of the flag byte, or the value's text. */
enum class Listing : uint8_t { TextForm, Int32, FlagByte };

struct ColumnTypeInfo {
    uint8_t code;
    ValueKind kind;
    /* Bytes of a value converted from text by ConvertStringToColumnValue
     * (integers keep only this many low-order bytes); 0 where the value's
     * length is the text's. */
    uint8_t width;
    /* Bytes of a value made by AllocateAndCopyColumnValue, and the most
     * that any reader takes from a numeric value (4 for the 32-bit integer
     * codes 1 to 6, whatever width they were stored in). */
    uint8_t fullWidth;
    bool isSigned;
    Ordering ordering;
    bool quotedInSql; // statements write the value between quotes
    Listing listing;
    /* The names GetColumnTypeFromName accepts, unused ones null; the first
     * is the one the type is written with. */
    const char* names[3];
};

/* The facts of a type code; codes beyond the table give an entry of kind
 * Unknown (code 0, no names). */
const ColumnTypeInfo& ColumnType(uint8_t type);

/* The code of a type name, case-insensitively; 0 for unknown names. */
uint8_t ColumnTypeCodeOfName(const char* name);

inline bool IsDateOrTime(ValueKind kind)
{
    return kind == ValueKind::Date || kind == ValueKind::Time || kind == ValueKind::DateTime;
}

/* The integer in the leading bytes of value: 8, 4, 2 or 1 of them (the
 * largest that fits both length and limit), sign- or zero-extended. Never
 * reads past length; an empty value gives 0. */
inline int64_t WidenInteger(const void* value, int32_t length, int32_t limit, bool isSigned)
{
    int32_t width = length < limit ? length : limit;
    if (width >= 8) {
        int64_t number;
        memcpy(&number, value, 8);
        return number;
    }
    if (width >= 4) {
        uint32_t number;
        memcpy(&number, value, 4);
        return isSigned ? int64_t{static_cast<int32_t>(number)} : int64_t{number};
    }
    if (width >= 2) {
        uint16_t number;
        memcpy(&number, value, 2);
        return isSigned ? int64_t{static_cast<int16_t>(number)} : int64_t{number};
    }
    if (width >= 1) {
        uint8_t number = *static_cast<const uint8_t*>(value);
        return isSigned ? int64_t{static_cast<int8_t>(number)} : int64_t{number};
    }
    return 0;
}

/* A value of type from text, as ConvertStringToColumnValue makes it, into
 * *value and *length (*length is read for the types that keep the bytes as
 * given). 1; 0 when the text is no value of the type (a date without '-'
 * or ':', a boolean other than TRUE or FALSE, a negative length) or the
 * type is unknown; 99 when memory runs out. *value stays null unless 1. */
int ConvertTextToValue(const char* text, int32_t* length, uint8_t type, void** value);

} // namespace velmora
