/*
 * DBResultSet: the rows a query returned from a database.
 *
 * A provider builds one (CreateDBResultSet, SetDBResultColumn,
 * AppendDBResultRow) and hands it to its caller, who reads it row by row
 * through the cursor and releases it with FreeDBResultSet. Values are in
 * the column-value forms of velmora/column_types.h; a NULL value has length
 * 0 and no buffer. Every buffer is a heap block one byte longer than its
 * length and ends with 0, so text values read as strings.
 *
 * The cursor starts before the first row: the first NextDBResultRow moves
 * onto it. After the last row the cursor stays past the end until
 * ResetDBResultCursor.
 *
 * A result set is not guarded by any lock: one thread at a time.
 *
 * Results: 1 (VELMORA_SUCCESS), 0 (VELMORA_FAILURE), 99
 * (VELMORA_ALLOC_FAILURE); null where a record is returned. Null arguments
 * are failures, never crashes.
 */
#ifndef VELMORA_RESULT_SET_H
#define VELMORA_RESULT_SET_H

#include <stdint.h>

#include "velmora/result.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One value of a row; the values of a row are linked in column order. */
typedef struct DBColumnValue {
    int32_t length;             /* 0 for NULL */
    void* value;                /* owned heap buffer, null for NULL */
    struct DBColumnValue* next; /* the next column's value */
} DBColumnValue;

/* One row: columnCount values in column order. */
typedef struct DBResultRow {
    DBColumnValue* values;
    struct DBResultRow* next;
} DBResultRow;

typedef struct DBColumnDescriptor {
    char* name;   /* owned; null until set */
    uint8_t type; /* column type code */
} DBColumnDescriptor;

typedef struct DBResultSet {
    int32_t columnCount;
    int32_t rowCount;
    DBColumnDescriptor* columns; /* columnCount descriptors */
    DBResultRow* firstRow;
    DBResultRow* cursor;  /* the current row; null before the first and past the last */
    DBResultRow* lastRow; /* where AppendDBResultRow appends */
    uint8_t pastEnd;      /* 1 once NextDBResultRow has run off the end */
} DBResultSet;

/* --- Building ------------------------------------------------------------ */

/* A result set of columnCount columns (names unset, types 0) and no rows.
 * Null for a negative count or when it cannot be allocated. */
DBResultSet* CreateDBResultSet(int32_t columnCount);

/* Names column index (a copy of name) and sets its type. 1; 0 for a null
 * set or name or an index out of range; 99 when the copy cannot be made
 * (the column keeps its old name then). */
int SetDBResultColumn(DBResultSet* resultSet, int32_t index, const char* name, uint8_t type);

/* Appends a row of columnCount values: values[i] (lengths[i] bytes) is
 * copied into a buffer of its own; a null values[i] is NULL. values and
 * lengths may be null only for a set without columns. 1; 0 for a null set
 * or a negative length; 99 when a copy cannot be made (nothing is appended
 * then). The cursor does not move. */
int AppendDBResultRow(DBResultSet* resultSet, const void* const* values, const int32_t* lengths);

/* --- Reading ------------------------------------------------------------- */

/* Moves the cursor to the next row (the first one on the first call). 1 when
 * the cursor is on a row; 0 past the last row, for an empty or null set. */
int NextDBResultRow(DBResultSet* resultSet);

/* Puts the cursor back before the first row. */
void ResetDBResultCursor(DBResultSet* resultSet);

/* The value of the named column (case-insensitive; the first column of that
 * name) in the current row: *value and *length are set and 1 is returned;
 * *value is null for NULL. 0, with *value null and *length 0, when there is
 * no current row, no such column, or an argument is null (length may be
 * null). The value stays owned by the result set. */
int GetDBResultValue(const DBResultSet* resultSet, const char* columnName, const void** value, int32_t* length);

/* The type code of the named column (case-insensitive); 0 when there is no
 * such column. */
uint8_t GetDBResultColumnType(const DBResultSet* resultSet, const char* columnName);

/* The name of column index (owned by the result set); null when the index is
 * out of range or the name is unset. */
const char* GetDBResultColumnName(const DBResultSet* resultSet, int32_t index);

/* Writes the set at debug level: the column names separated by tabs, then
 * one line per row, each value in its text form followed by a tab, "NULL\t"
 * for NULL. The cursor does not move. */
void PrintDBResultSet(const DBResultSet* resultSet);

/* Frees every row, value, name and the record. A null set is ignored. */
void FreeDBResultSet(DBResultSet* resultSet);

#ifdef __cplusplus
}
#endif
#endif
