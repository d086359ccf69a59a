/*
 * Reading the columns of a fetched row: short fixed-width columns through
 * bound buffers, everything else with SQLGetData in pieces.
 */
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "odbc_api.h"
#include "odbc_handles.h"

namespace velmora_odbc {

struct ColumnReader {
    SQLUSMALLINT number = 0; /* 1-based */
    std::string name;
    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0;
    uint8_t code = 0;
    SQLSMALLINT cType = SQL_C_CHAR;
    bool bound = false;
    std::vector<char> buffer; /* the value's bytes, then a 0 byte */
    SQLLEN indicator = 0;
    bool isNull = false;
    int32_t length = 0; /* bytes of the current value */
};

/* Describes the n columns of the executed statement (name, type, code).
 * False after logging "SQLDescribeCol failed\n". */
bool DescribeColumns(const Statement& statement, SQLSMALLINT count, std::vector<ColumnReader>& columns);

/* Binds the leading columns whose text is short by nature (numbers, dates,
 * booleans); the rest are read with ReadColumn. False after "SQLBindCol
 * failed \n". */
bool BindShortColumns(const Statement& statement, std::vector<ColumnReader>& columns);

/* The current row's value of an unbound column, whole, into its buffer; a
 * bound column is checked for truncation. False after logging. */
bool ReadColumn(const Statement& statement, ColumnReader& column);

/* Sends the current row's value of the column to sink in pieces of at most
 * pieceSize bytes, then sink(null, 0). False when the driver or the sink
 * fails. */
bool StreamColumn(const Statement& statement, const ColumnReader& column, DBChunkSink sink, void* context,
                  size_t pieceSize);

} // namespace velmora_odbc
