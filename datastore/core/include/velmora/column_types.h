/*
 * Column types and column values.
 *
 * Every column has a one-byte type code (the BRI_SQL_* constants below).
 * Every value held in a row, a default or a selection criterion is a column
 * value: a pointer to an owned heap buffer plus an int32 length. A null
 * pointer is SQL NULL.
 *
 * Value forms (one form per type, which every reader and writer of this
 * library uses):
 *
 *   code            form                                      length
 *   1..6            little-endian integer, widened on read     1, 2 or 4
 *   7, 8            64-bit integer                             8
 *   9, 11           float                                      4
 *   10              double                                     8
 *   12, 13, 20, 21  raw bytes (decimal text, blobs)            as given
 *   14, 15, 22      NUL-terminated text                        strlen
 *   16 DATE         a BriDate record (4 bytes)                 4
 *   17 TIME         a BriTime record (3 bytes)                 3
 *   18 DATETIME     a BriDateTimeValue record (below)          11
 *   19 BOOLEAN      one byte, 1 true, 0 false                  1
 *
 * Every value is one flat block without pointers inside: a row, a default
 * or an update copies a value as (length + 1) bytes and frees it with the
 * C library's free, so a value must not own further memory. That is why a
 * DATETIME value is a BriDateTimeValue (date and time inline) and not the
 * BriDateTime record of the date routines, which points at its parts.
 * BriDateTimeValueToRecord and BriDateTimeRecordToValue convert between
 * the two. The text forms stay those of the date routines.
 *
 * Integer widths: ConvertStringToColumnValue keeps only the type's width
 * (1 byte for codes 1, 2; 2 bytes for 3, 4; 4 bytes for 5, 6), while
 * AllocateAndCopyColumnValue makes 4-byte values for codes 1 to 6. Every
 * reader therefore widens by the value's length, never by the type alone:
 * a value of 1, 2 or 4 bytes is sign-extended (signed codes) or
 * zero-extended (unsigned codes) from the bytes it has, and no reader looks
 * past the length. Other lengths are read from their largest leading width
 * of 4, 2 or 1 bytes (8 for the 64-bit codes); an empty value reads as 0.
 *
 * DATE, TIME and DATETIME readers go by length too: 4 bytes hold a date,
 * 3 bytes a time, 7 or more a date followed by a time. A DATE column reads
 * the date part of a longer value, a TIME column the time part.
 *
 * Every buffer made here is allocated one byte longer than its length and
 * ends with 0, so text values can be read as strings. Buffers and strings
 * handed out are released by the caller with free.
 *
 * Results: 1 (VELMORA_SUCCESS), 0 (VELMORA_FAILURE), 99
 * (VELMORA_ALLOC_FAILURE); null where a buffer or string is returned.
 */
#ifndef VELMORA_COLUMN_TYPES_H
#define VELMORA_COLUMN_TYPES_H

#include <stdint.h>

#include "velmora/bri_datetime.h"
#include "velmora/mem_pool.h"
#include "velmora/result.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Column type codes. The data dictionary spells them by the names that
 * GetColumnTypeFromName accepts. */
enum {
    BRI_SQL_NOT_SUPPORTED_TYPE = 0,
    BRI_SQL_TINYINT = 1,
    BRI_SQL_UNSIGNED_TINYINT = 2,
    BRI_SQL_SMALLINT = 3,
    BRI_SQL_UNSIGNED_SMALLINT = 4,
    BRI_SQL_INT = 5,
    BRI_SQL_UNSIGNED_INT = 6,
    BRI_SQL_BIGINT = 7,
    BRI_SQL_UNSIGNED_LONG_INT = 8,
    BRI_SQL_FLOAT = 9,
    BRI_SQL_DOUBLE = 10,
    BRI_SQL_REAL = 11,
    BRI_SQL_DECIMAL = 12,
    BRI_SQL_NUMERIC = 13,
    BRI_SQL_CHAR = 14,    /* fixed-length character */
    BRI_SQL_VARCHAR = 15, /* variable-length character ("CHAR", "NCHAR") */
    BRI_SQL_DATE = 16,
    BRI_SQL_TIME = 17,
    BRI_SQL_DATETIME = 18,
    BRI_SQL_BOOLEAN = 19,
    BRI_SQL_BLOB = 20,
    BRI_SQL_CLOB = 21,
    BRI_SQL_TEXT = 22
};

/* The highest type code. */
#define BRI_SQL_MAX_TYPE 22

/* Character columns (14, 15) declared this long or longer are stored as
 * BRI_SQL_TEXT. */
#define BRI_SQL_LONG_TEXT_SIZE 256

/* Operators of CompareColumnValue and of parsed conditions: the stored value
 * stands on the left. 7 and 8 combine two truth values
 * (CombineTruthValues). */
enum {
    BRI_OP_LESS = 1,          /* "<" */
    BRI_OP_GREATER = 2,       /* ">" */
    BRI_OP_LESS_EQUAL = 3,    /* "<=" */
    BRI_OP_GREATER_EQUAL = 4, /* ">=" */
    BRI_OP_EQUAL = 5,         /* "=" */
    BRI_OP_NOT_EQUAL = 6,     /* "!=" */
    BRI_OP_AND = 7,
    BRI_OP_OR = 8
};

/* The flat value form of a DATETIME column: date and time inline, then four
 * zero bytes. Its value length is BRI_DATETIME_VALUE_LENGTH (11); a buffer
 * holding it is 12 bytes (length + 1), which is sizeof(BriDateTimeValue). */
typedef struct BriDateTimeValue {
    BriDate date;
    BriTime time;
    uint8_t reserved[4];
} BriDateTimeValue;

/* --- Type names ------------------------------------------------------- */

/* The code for a type name, case-insensitively: "BRI_SQL_TINYINT" 1,
 * "BRI_SQL_UNSIGNED_TINYINT" 2, "BRI_SQL_SMALLINT" 3,
 * "BRI_SQL_UNSIGNED_SMALLINT" 4, "BRI_SQL_INT", "INTEGER", "LONG" 5,
 * "BRI_SQL_UNSIGNED_INT" 6, "BIGINT" 7, "BRI_SQL_UNSIGNED_LONG_INT" 8,
 * "BRI_SQL_FLOAT", "FLOAT" 9, "BRI_SQL_DOUBLE" 10, "BRI_SQL_REAL" 11,
 * "BRI_SQL_DECIMAL" 12, "BRI_SQL_NUMERIC" 13, "BRI_SQL_CHAR" 14, "CHAR",
 * "NCHAR" 15, "BRI_SQL_DATE", "DATE" 16, "BRI_SQL_TIME", "TIME" 17,
 * "BRI_SQL_DATETIME", "DATETIME", "TIMESTAMP" 18, "BOOLEAN" 19,
 * "BRI_SQL_BLOB", "BLOB" 20, "BRI_SQL_CLOB", "CLOB" 21, "BRI_SQL_TEXT",
 * "TEXT" 22. Any other name gives 0 (BRI_SQL_NOT_SUPPORTED_TYPE); a null
 * name also logs "Column data type not supported - Error while creating
 * column definition.\n". */
uint8_t GetColumnTypeFromName(const char* name);

/* The name a type code is written with in a data dictionary: the first of
 * the names above for the code ("BRI_SQL_INT", "BIGINT", "CHAR" for 15,
 * "BOOLEAN", ...), so that GetColumnTypeFromName gives the code back. Null
 * for codes above 22. The string is static. */
const char* GetColumnTypeName(uint8_t type);

/* The byte length of a value of the type made from text by
 * ConvertStringToColumnValue: 1, 2, 4 or 8 for the integers (1-8), 4 or 8
 * for the floating types (9-11), 4 DATE, 3 TIME, 11 DATETIME, 1 BOOLEAN;
 * 0 where the length is the value's own (code 0, decimal, character and
 * binary types) and for codes above 22. */
int32_t GetColumnTypeWidth(uint8_t type);

/* 1 when statements write a value of the type between quotes (14-18, 20
 * and 22), else 0. */
int IsColumnTypeQuotedInSql(uint8_t type);

/* --- Strict number parsers --------------------------------------------- */

/* An optional '+' or '-', then decimal digits, nothing else: any other
 * character anywhere (blanks included), no digits, or a number outside
 * -2147483648..4294967295 gives 0. A number above INT32_MAX keeps its low
 * 32 bits, so that unsigned 32-bit columns read it back unchanged. */
int32_t ParseStrictInt32(const char* text);

/* The same rule for 64 bits: the range is -2^63..2^64-1, a number above
 * INT64_MAX keeps its low 64 bits (for unsigned 64-bit columns). */
int64_t ParseStrictInt64(const char* text);

/* An optional sign, digits, optionally '.' and more digits (at least one
 * digit in all, no exponent): anything else, or a number out of a double's
 * range, gives 0. The decimal point is '.' whatever the locale. */
double ParseStrictDouble(const char* text);

/* For sizes: an optional sign and decimal digits that fit an int32 give
 * the number, anything else (null, empty, blanks, overflow) gives -1. */
int32_t ParseSizeInteger(const char* text);

/* --- Text to value ----------------------------------------------------- */

/* A value of the given type from text, into *value and *length:
 * codes 1-6 a 4-byte int32 (strict integer parser); 7, 8 an 8-byte integer;
 * 9, 11 a float; 10 a double; 12, 13, 20, 21 and 14, 15, 22 a copy of the
 * text (length strlen); 16, 17, 18 a date, time or date-time value (from
 * text of the forms "%d-%d-%d", "%d:%d:%d" or both); 19 one byte, 1 unless
 * the text equals "false" case-insensitively.
 * Code 0 and codes above 22 store nothing (*value null, *length 0) and
 * succeed: a column whose type the dictionary did not know keeps NULL.
 * 1 on success; 99 when the buffer cannot be allocated; 0 for null
 * arguments (null text logs "value parameter in AllocateAndCopyColumnValue
 * is NULL \n" at trace level) and for a date or time text with neither '-'
 * nor ':'. On failure *value is null and *length 0. */
int AllocateAndCopyColumnValue(void** value, int32_t* length, uint8_t type, const char* text);

/* A new value of the given type from text; *length is read for the codes
 * that take the bytes as they are and receives the value's length:
 * 0, 12, 13, 20, 21: the first *length bytes of text, unchanged;
 * 1-8: the parsed integer in the type's width (1 byte for 1, 2; 2 bytes for
 *      3, 4; 4 bytes for 5, 6; 8 bytes for 7, 8), low-order bytes kept;
 * 9, 11: float; 10: double; 14, 15, 22: copy of the text (strlen);
 * 16, 17, 18: DATE (4 bytes), TIME (3) or DATETIME (11) value of the text as
 *      ConvertStringToBriDateTime reads it; null when the text holds neither
 *      '-' nor ':';
 * 19: "TRUE" 1, "FALSE" 0 (case-insensitive), any other text null.
 * Null for null arguments, a negative *length where it is read, codes above
 * 22 and allocation failures. */
void* ConvertStringToColumnValue(const char* text, int32_t* length, uint8_t type);

/* --- Value to text ----------------------------------------------------- */

/* A new string for the value (length bytes): "NULL" for a null value; null
 * for code 0 and codes above 22; 1, 3, 5 "%d"; 2, 4, 6 "%u"; 7, 8 signed
 * and unsigned 64-bit decimal; 9, 11 and 10 "%f"; 12-15 and 20-22 the
 * bytes (text types up to their terminator); 16, 17, 18 the date, time and
 * date-time text forms; 19 "'t'" when the byte is 1, else "'f'" (quotes
 * included). Null also when the string cannot be allocated or a DATE or
 * TIME value is too short to hold its record. */
char* ColumnValueToString(const void* value, int32_t length, uint8_t type);

/* The same, the string allocated from pool; null for codes 16 and above
 * other than 19, for a null pool and when the pool cannot allocate. */
char* ColumnValueToPoolString(const void* value, int32_t length, uint8_t type, MemPool* pool);

/* --- Comparison -------------------------------------------------------- */

/* stored <op> criteria, by type: 1, 3, 5 signed 32-bit; 2, 4, 6 unsigned
 * 32-bit; 7 signed 64-bit; 9 float; 14, 15, 22 case-sensitive byte-wise
 * text comparison, a null side ordering first, after removing the quotes
 * around the criteria text (when it starts and ends with the same quote
 * character, ' or "). Every other type, operator, and a null numeric
 * value, gives 0. 1 when the comparison holds. */
int CompareColumnValue(const void* stored, int32_t storedLength, const void* criteria, int32_t criteriaLength,
                       uint8_t op, uint8_t type);

/* left AND right (op 7) or left OR right (op 8), as 1 or 0; 0 for other
 * operators. */
int CombineTruthValues(int left, int right, uint8_t op);

/* --- Readers of stored values (never past length) ---------------------- */

/* The integer in a value of codes 1-8, widened as described above; 0 for a
 * null value or other codes. Unsigned codes give their value unchanged
 * (code 8 values above INT64_MAX wrap, as in C). */
int64_t ColumnValueToInt64(const void* value, int32_t length, uint8_t type);

/* The date and time of a value of codes 16-18 as a new BriDateTime record
 * (FreeBriDateTime) holding the parts the value has: a date for a 4-byte
 * value, a time for a 3-byte one, both for 7 bytes or more; only the date
 * for code 16 and only the time for code 17. Null for a null value, other
 * lengths and codes, and on allocation failure. */
BriDateTime* BriDateTimeValueToRecord(const void* value, int32_t length, uint8_t type);

/* A new value of code 16, 17 or 18 from a record (missing parts are
 * zero): the date (4 bytes), the time (3) or both (11). Null for a null
 * record, other codes and allocation failure. */
void* BriDateTimeRecordToValue(const BriDateTime* record, uint8_t type, int32_t* length);

#ifdef __cplusplus
}
#endif
#endif
