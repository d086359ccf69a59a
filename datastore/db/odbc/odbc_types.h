/*
 * ODBC SQL types to column types, and driver texts to column values.
 */
#pragma once

#include <stdint.h>
#include <stdlib.h>

#include "odbc_api.h"

namespace velmora_odbc {

/* How a column's values are read from the driver. */
enum class ReadAs {
    Text,  /* SQL_C_CHAR: numbers, dates and text as the driver prints them */
    Binary /* SQL_C_BINARY: raw bytes */
};

ReadAs ReadModeOf(SQLSMALLINT sqlType);

/* True for the types whose values may be long (long text, binary, wide
 * text): they are never bound, always read in pieces. */
bool IsLongType(SQLSMALLINT sqlType);

/* A value ready for a result row: either the driver's bytes themselves
 * (borrowed) or a value made from them (owned, freed with the record). */
struct RowValue {
    const void* value = nullptr; /* null for NULL */
    int32_t length = 0;
    void* owned = nullptr;
    RowValue() = default;
    RowValue(const RowValue&) = delete;
    RowValue& operator=(const RowValue&) = delete;
    ~RowValue() { free(owned); }
};

/* The value of column type code from the driver's bytes (length bytes,
 * followed by a 0 byte). Text kinds and binary borrow the bytes; numbers,
 * dates and booleans become their value forms. 1; 0 when the text is no
 * value of the type; 99 when it cannot be allocated. */
int ConvertDriverValue(uint8_t code, const char* bytes, int32_t length, RowValue& out);

} // namespace velmora_odbc
