/*
 * Column description, binding and piecewise reading.
 */
#include "odbc_columns.h"

#include <stdint.h>
#include <string.h>

#include "odbc_types.h"
#include "runtime/log.h"
#include "velmora/odbc_provider.h"

namespace velmora_odbc {

namespace {

// Large enough for the text of any number, date, time or time stamp a
// driver prints (a double's 24 characters, a time stamp's 29).
constexpr size_t kShortBuffer = 64;
// The first piece of a value of unknown or large size; bigger values grow
// the buffer as their pieces arrive, so a driver that reports gigabytes (or
// 0) as the column size costs only what the values hold.
constexpr size_t kFirstPiece = 4096;
// Values are lengths of int32.
constexpr size_t kLongestValue = INT32_MAX - 1;

bool IsShortByNature(SQLSMALLINT sqlType)
{
    switch (sqlType) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
        return true;
    default:
        return false;
    }
}

/* Room for the first piece of a column's value. */
size_t FirstBufferSize(const ColumnReader& column)
{
    if (IsLongType(column.sqlType) || column.size == 0 || column.size > kFirstPiece / 4)
        return kFirstPiece;
    // Sizes count characters; UTF-8 takes up to 4 bytes for one.
    return column.size * 4 + 1;
}

} // namespace

bool DescribeColumns(const Statement& statement, SQLSMALLINT count, std::vector<ColumnReader>& columns)
{
    columns.resize(static_cast<size_t>(count));
    for (SQLSMALLINT i = 0; i < count; i++) {
        ColumnReader& column = columns[static_cast<size_t>(i)];
        column.number = static_cast<SQLUSMALLINT>(i + 1);
        std::vector<SQLCHAR> name(128);
        SQLSMALLINT nameLength = 0, decimals = 0, nullable = 0;
        SQLRETURN result;
        for (;;) {
            result = SQLDescribeCol(statement.get(), column.number, name.data(), static_cast<SQLSMALLINT>(name.size()),
                                    &nameLength, &column.sqlType, &column.size, &decimals, &nullable);
            // A name longer than the buffer is described again, whole.
            if (result != SQL_SUCCESS_WITH_INFO || static_cast<size_t>(nameLength) < name.size() ||
                name.size() >= 32768)
                break;
            name.resize(static_cast<size_t>(nameLength) + 1);
        }
        if (!Succeeded(result))
            return statement.Fail("SQLDescribeCol failed\n");
        column.name.assign(reinterpret_cast<const char*>(name.data()));
        column.code = GetODBCColumnType(column.sqlType);
        column.cType = ReadModeOf(column.sqlType) == ReadAs::Binary ? SQL_C_BINARY : SQL_C_CHAR;
        column.buffer.resize(FirstBufferSize(column));
    }
    return true;
}

bool BindShortColumns(const Statement& statement, std::vector<ColumnReader>& columns)
{
    // Bound columns must come before the ones read with SQLGetData.
    for (ColumnReader& column : columns) {
        if (!IsShortByNature(column.sqlType))
            break;
        column.buffer.resize(kShortBuffer);
        SQLRETURN result = SQLBindCol(statement.get(), column.number, SQL_C_CHAR, column.buffer.data(),
                                      static_cast<SQLLEN>(column.buffer.size()), &column.indicator);
        if (!Succeeded(result))
            return statement.Fail("SQLBindCol failed \n");
        column.bound = true;
    }
    return true;
}

bool ReadColumn(const Statement& statement, ColumnReader& column)
{
    if (column.bound) {
        column.isNull = column.indicator == SQL_NULL_DATA;
        if (column.isNull) {
            column.length = 0;
            return true;
        }
        if (column.indicator == SQL_NO_TOTAL || column.indicator < 0 ||
            static_cast<size_t>(column.indicator) >= column.buffer.size()) {
            LogError("Value of column %s does not fit its buffer\n", column.name.c_str());
            return false;
        }
        column.length = static_cast<int32_t>(column.indicator);
        return true;
    }
    // A text piece ends with a 0 byte the driver adds; a binary one does not.
    const size_t terminator = column.cType == SQL_C_CHAR ? 1 : 0;
    size_t have = 0;
    column.isNull = false;
    for (;;) {
        if (column.buffer.size() - have <= terminator + 1) {
            size_t grown = column.buffer.size() * 2;
            if (grown > kLongestValue + terminator + 1)
                grown = kLongestValue + terminator + 1;
            if (grown <= column.buffer.size()) {
                LogError("Value of column %s is too long\n", column.name.c_str());
                return false;
            }
            column.buffer.resize(grown);
        }
        size_t room = column.buffer.size() - have;
        SQLLEN indicator = 0;
        SQLRETURN result = SQLGetData(statement.get(), column.number, column.cType, column.buffer.data() + have,
                                      static_cast<SQLLEN>(room), &indicator);
        if (result == SQL_NO_DATA)
            break; // the previous piece was the last
        if (!Succeeded(result))
            return statement.Fail("SQLGetData failed\n");
        if (indicator == SQL_NULL_DATA) {
            column.isNull = true;
            column.length = 0;
            return true;
        }
        if (result == SQL_SUCCESS) {
            if (indicator < 0 || static_cast<size_t>(indicator) > room - terminator) {
                LogError("SQLGetData gave a bad length for column %s\n", column.name.c_str());
                return false;
            }
            have += static_cast<size_t>(indicator);
            break;
        }
        // Truncated: the piece filled the room; the indicator (when known)
        // tells how much was left before this piece, so the rest fits at once.
        have += room - terminator;
        if (indicator != SQL_NO_TOTAL && indicator > 0 && static_cast<size_t>(indicator) > room - terminator) {
            size_t total = have + (static_cast<size_t>(indicator) - (room - terminator));
            if (total > kLongestValue) {
                LogError("Value of column %s is too long\n", column.name.c_str());
                return false;
            }
            if (total + terminator + 1 > column.buffer.size())
                column.buffer.resize(total + terminator + 1);
        }
    }
    if (have + 1 > column.buffer.size())
        column.buffer.resize(have + 1);
    column.buffer[have] = '\0';
    column.length = static_cast<int32_t>(have);
    return true;
}

bool StreamColumn(const Statement& statement, const ColumnReader& column, DBChunkSink sink, void* context,
                  size_t pieceSize)
{
    std::vector<char> piece(pieceSize);
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN result = SQLGetData(statement.get(), column.number, SQL_C_BINARY, piece.data(),
                                      static_cast<SQLLEN>(piece.size()), &indicator);
        if (result == SQL_NO_DATA)
            break;
        if (!Succeeded(result))
            return statement.Fail("SQLGetData failed\n");
        if (indicator == SQL_NULL_DATA)
            break;
        size_t bytes = result == SQL_SUCCESS_WITH_INFO || indicator == SQL_NO_TOTAL ||
                static_cast<size_t>(indicator) > piece.size()
            ? piece.size()
            : static_cast<size_t>(indicator);
        if (bytes > 0 && !sink(piece.data(), static_cast<int32_t>(bytes), context))
            return false;
        if (result == SQL_SUCCESS)
            break;
    }
    return sink(nullptr, 0, context) != 0;
}

} // namespace velmora_odbc
