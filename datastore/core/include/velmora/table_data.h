/*
 * In-memory tables (relvars), custom views and selection results.
 *
 * A TableData holds the rows of one table (kind 1, shaped by its TableDefn)
 * or of one custom view (kind 2, shaped by a CustomViewDefn). Rows are
 * RowObjects in a singly linked list, in insertion order; a row holds one
 * column value (velmora/column_types.h) per column of the definition, in
 * the definition's column order, and its state flags.
 *
 * Selections hand back a ResultData: a list of references to rows (the
 * result owns the references, never the rows) with a cursor.
 *
 * Every table is registered in gv_tableDataVector, in creation order, and
 * found by its name case-insensitively. Column names compare
 * case-insensitively throughout this header.
 *
 * Ownership: a table owns its name, its rows (and their values) and, for a
 * view, the view definition; it does not own its TableDefn. A row owns its
 * two arrays and every value in them. Values are flat heap blocks released
 * with free.
 *
 * Locking: the registry is guarded by the object lock keyed on
 * &gv_tableDataVector. Rows are not locked: callers serialise changes to
 * one table. Parsing and evaluating a condition holds gv_criteriaLock
 * (velmora/criteria.h). Every change to a table's rows is announced to the
 * listeners of velmora/notifications.h, synchronously, on the changing
 * thread.
 *
 * Results: 1 (VELMORA_SUCCESS), 0 (VELMORA_FAILURE), 99
 * (VELMORA_ALLOC_FAILURE); null where a record is expected.
 */
#ifndef VELMORA_TABLE_DATA_H
#define VELMORA_TABLE_DATA_H

#include <stdint.h>

#include "velmora/lcd_vector.h"
#include "velmora/result.h"
#include "velmora/table_defn.h"

#ifdef __cplusplus
extern "C" {
#endif

/* TableData.kind and ResultData.kind */
#define TABLE_KIND_TABLE 1
#define TABLE_KIND_VIEW 2

/* RowObject.state flags */
#define ROW_STATE_STORED 1  /* the row exists in the database */
#define ROW_STATE_NEW 2     /* the row was created in memory */
#define ROW_STATE_UPDATED 4 /* a value was changed in memory */
#define ROW_STATE_DELETED 8 /* marked for deletion from the database */

/* One column of a custom view: the name (not owned; normally the source
 * column's own name) and the column definition it comes from, whose type
 * the view column has. */
typedef struct ViewColumnDefn {
    const char* columnName;
    int32_t reserved1; /* 0 */
    uint8_t reserved2; /* 0 */
    ColumnDefn* sourceColumn;
} ViewColumnDefn;

/* A custom view's shape: the tables it draws on (the first one names the
 * view's table) and its columns, in order. Owns the table names, the
 * column records and the vector; not the source column definitions. */
typedef struct CustomViewDefn {
    uint8_t tableCount;
    char** tableNames;  /* tableCount heap strings */
    LCDVector* columns; /* of ViewColumnDefn */
} CustomViewDefn;

typedef struct RowObject {
    void** values;          /* column-count values; null is SQL NULL */
    int32_t* lengths;       /* column-count lengths */
    uint8_t state;          /* ROW_STATE_* flags */
    struct RowObject* next; /* following row of the table, null at the end */
} RowObject;

typedef struct TableData {
    char* name;
    uint8_t kind;             /* TABLE_KIND_TABLE or TABLE_KIND_VIEW */
    TableDefn* tableDefn;     /* kind 1; not owned */
    CustomViewDefn* viewDefn; /* kind 2; owned */
    int32_t columnCount;      /* columns of the definition when created */
    int32_t rowCount;         /* rows added by AddNewRow; deletions do not lower it */
    RowObject* firstRow;
    /* The last row of the list, kept by the operations below so that an
     * append does not walk the list. Code that links rows into firstRow
     * itself sets it to null, and the next append finds the end again. */
    RowObject* lastRow;
} TableData;

/* A reference to a row in a result. */
typedef struct ResultRowRef {
    RowObject* row;
    struct ResultRowRef* next;
} ResultRowRef;

typedef struct ResultData {
    ResultRowRef* firstRow;
    uint8_t kind;             /* copied from the table */
    TableDefn* tableDefn;     /* kind 1 */
    CustomViewDefn* viewDefn; /* kind 2 */
    int32_t rowCount;
    int32_t columnCount;
    ResultRowRef* cursor; /* current reference; null: before the first */
    /* The last reference, kept by AddRowToResultData so that appending does
     * not walk the list (null: found again by the next append). */
    ResultRowRef* lastRow;
} ResultData;

/* The registry of tables, in creation order. A zeroed vector is a valid
 * empty registry. */
extern LCDVector gv_tableDataVector;

/* Frees every registered table, then leaves an empty registry. */
void InitTableDataVector(void);
/* Frees every registered table and empties the registry (shutdown). */
void FreeAllTableData(void);

/* --- Views -------------------------------------------------------------- */

/* A new view definition over tableCount tables; copies the names (at
 * least one, none null) and starts with no columns. Null on bad arguments
 * or allocation failure. */
CustomViewDefn* CreateCustomViewDefn(uint8_t tableCount, const char* const* tableNames);
/* Appends a column drawn from source (named as source). 1, 0 for null
 * arguments, 99 on allocation failure. */
int AddViewColumnDefn(CustomViewDefn* view, ColumnDefn* source);
/* Frees the column records, their vector, the table names and the record. */
void FreeCustomViewDefn(CustomViewDefn* view);

/* --- Tables ------------------------------------------------------------- */

/* A new, registered table for the definition of that name. 1; 0 when no
 * definition has the name or a table of that name exists; 99 on allocation
 * failure. */
int CreateTable(const char* name);
/* A new, registered view; takes ownership of view on success only. 1; 0
 * when the name exists or an argument is null; 99 on allocation failure. */
int CreateCustomViewData(const char* name, CustomViewDefn* view);
/* The first table of that name (case-insensitive), or null. */
TableData* GetTableDataByName(const char* name);
/* For a view, its first table name; for a table, the table's name. Null
 * when no table has that name. Points into the table: do not free. */
const char* GetTableNameOfView(const char* name);
/* Logs "\t %s is being freed\n", frees the name, every row and, for a
 * view, the view definition, and removes the table from the registry when
 * it is registered. */
void FreeTableData(TableData* table);

/* --- Rows --------------------------------------------------------------- */

/* A new row with state ROW_STATE_NEW; takes ownership of both arrays (on
 * success only), which hold one entry per column of the table the row is
 * meant for (heap blocks released with free). Null for null arrays or
 * allocation failure. */
RowObject* CreateNewRowObject(void** values, int32_t* lengths);
/* Frees every value, both arrays and the row. */
void FreeRowObject(RowObject* row, int32_t columnCount);

/* Appends row (which the table then owns). For a table, a null value of a
 * generated column first receives GenerateID (a 4-byte integer, -1 when no
 * identifier can be drawn) and a null value of a column with a default a
 * copy of the default. Then row count + 1 and the listeners hear of it.
 * 1; 0 for a table that is not found or has no columns, a null row, or
 * a row that visibly is in a list already (it has a next row, or it is
 * the table's last row) (the row then stays the caller's); 99 when a default cannot be copied
 * (the row stays the caller's, unchanged). */
int AddNewRow(const char* tableName, RowObject* row);

/* Replaces one value of a row of the table by a copy of length bytes of
 * value (terminated; a null value stores SQL NULL), sets
 * ROW_STATE_UPDATED and tells the listeners. Refuses (0) an unknown table
 * or column, a null row, a negative length and any primary-key column of
 * a table; 99 when the copy cannot be allocated. On failure the row is
 * unchanged. row must be a row of that table. */
int UpdateRowObject(const char* tableName, RowObject* row, const char* columnName, const void* value, int32_t length);

/* A row stored in the database only gets ROW_STATE_DELETED and stays;
 * any other row is unlinked, announced and freed (0 when it is not in the
 * table). The row count is left as it is. */
int DeleteRowObject(const char* tableName, RowObject* row);
/* DeleteRowObject on every row of a table (kind 1) that the condition
 * selects. 0 for a null condition, a table that is not found, a view or a
 * table without columns, a condition that does not parse; 99 on
 * allocation failure (nothing is deleted then). */
int DeleteRowObjectByCriteria(const char* tableName, const char* condition);
/* DeleteRowObject on every row of a table (kind 1). */
int DeleteAllTableRowObjects(const char* tableName);

/* --- Selection ---------------------------------------------------------- */

/* The rows of the table that the condition selects, in list order; every
 * row (deleted-marked ones included) when condition is null. Null for a
 * table that is not found, a condition that does not parse, a condition on
 * a view or a table without columns, and allocation failure. A leaf naming
 * an unknown column, or comparing a type that has no ordering (see
 * CompareColumnValue), matches nothing; a NULL value never matches. */
ResultData* SelectRows(const char* tableName, const char* condition);
/* A result holding the n-th row (1-based; n <= 1 gives the first). Null
 * when the table is not found, n exceeds the row count or the list ends
 * before the n-th row (after deletions). */
ResultData* SelectRowByRowIdx(const char* tableName, int32_t n);
/* The value of column in the first row the condition selects, and its
 * length in *length. Points into the row (do not free). Null when nothing
 * matches, the value is NULL or anything fails. */
void* GetColumnValue(const char* tableName, const char* columnName, const char* condition, int32_t* length);

/* --- Results ------------------------------------------------------------ */

/* An empty result bound to the table's kind and definition. */
ResultData* CreateResultData(int32_t columnCount, const TableData* table);
/* Appends a reference to row; row count + 1. 1; 0 for null arguments; 99
 * on allocation failure. The cursor is not moved. */
int AddRowToResultData(RowObject* row, ResultData* result);
/* Moves the cursor to the next reference (the first when it is null) and
 * returns its row, or null at the end. */
RowObject* GotoNextRowObject(ResultData* result);
void ResetResultDataCursor(ResultData* result);
/* The value (and *length) of the column in the cursor's row; null when
 * there is no current row or no such column. Points into the row. */
void* GetColumnValueByName(const char* columnName, int32_t* length, const ResultData* result);
/* The column's type code; 0 when unknown. */
uint8_t GetColumnTypeByName(const char* columnName, const ResultData* result);
/* The name of the column at index (0-based); null when out of range. */
const char* GetColumnNameByIndex(int32_t index, const ResultData* result);
/* The table's name, or the first table name of a view. */
const char* GetTableNameFromResultData(const ResultData* result);
/* Frees the references and the result (not the rows). */
void FreeResultData(ResultData* result);
/* Orders the references by the column's values, ascending when ascending
 * is 1, else descending; equal values keep their order. Integer columns
 * compare as signed 32-bit numbers widened from their bytes; other values
 * by their first (up to) four bytes read as a little-endian signed 32-bit
 * number; NULL orders first. 0 when the column is unknown. */
int SortResultSet(ResultData* result, const char* columnName, uint8_t ascending);

/* --- Listings ----------------------------------------------------------- */

/* Debug listings: the column names, each followed by a tab, then one line
 * per row with each value followed by a tab. PrintResultData skips rows
 * marked deleted. */
void PrintTableData(const TableData* table);
void PrintCustomViewData(const TableData* view);
void PrintResultData(const ResultData* result);
/* The same listing as a new heap string of any length (also logged at
 * trace level); null for a null table or allocation failure. */
char* ToStringTableData(const TableData* table);
char* ToStringCustomViewData(const TableData* view);

#ifdef __cplusplus
}
#endif
#endif
