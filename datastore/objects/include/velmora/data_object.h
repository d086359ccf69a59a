/*
 * Data objects: detached, editable copies of related rows of several
 * tables.
 *
 * A DataObject ("DO") is fetched with one select query (or built by hand),
 * changed in memory (insert, update, delete, set values), merged with or
 * cloned from another DO, and saved with one insert, update or delete
 * statement per changed row, referenced tables before the tables that refer
 * to them.
 *
 * Rows are RowUnits grouped per table in RowCollections. A row is known by
 * its key string: the table name followed by the text of each primary-key
 * value (ColumnValueToString) in the definition's key order, each part
 * preceded by the byte 0x1F, so that composite keys such as (1, 12) and
 * (11, 2), or a table name that begins another, never share a key. A key
 * can be in a DO once only.
 *
 * Row states are the ROW_STATE_* flags of velmora/table_data.h: 1 stored
 * (read from the database), 2 new, 4 updated, 8 deleted. Saving reads the
 * combined states: 2 and 6 insert, 5 updates, 9 (and any state holding
 * bits 1 and 8) deletes, 1 and 0 write nothing, 10 (new, then deleted)
 * writes nothing. After a statement succeeds the unit is brought in line
 * with the database: an inserted or updated unit becomes stored (1), a
 * deleted unit and a unit of state 10 leave the DO (and its key is free
 * again). A unit whose statement failed keeps its state, so that a later
 * SaveDataObject writes it again. Saving is not transactional: rows saved
 * before a failing row stay saved.
 *
 * Memory: the DataObject record is a heap block; everything else of a DO
 * (collections, units, value arrays, values, texts) comes from the DO's own
 * memory pool, a child of the root pool, and goes with FreeDataObject.
 * Values are flat column values (velmora/column_types.h) with a terminating
 * zero byte after length bytes; a null value is SQL NULL. Values a caller
 * hands to InsertRowIntoDO, UpdateRowUnit, SetValueFor... are copied into
 * the pool; values handed out by the look-ups point into the DO unless a
 * routine says it returns a copy.
 *
 * Table names compare case-sensitively inside a DO.
 *
 * Locking: a DO takes no lock; one thread uses it at a time. Evaluating a
 * condition holds gv_criteriaLock (velmora/criteria.h).
 *
 * Results: 1 (VELMORA_SUCCESS), 0 (VELMORA_FAILURE), 99
 * (VELMORA_ALLOC_FAILURE) where an int is returned; null where a record is
 * returned. Errors are logged with the messages quoted below. Null
 * arguments are failures, never crashes.
 */
#ifndef VELMORA_DATA_OBJECT_H
#define VELMORA_DATA_OBJECT_H

#include <stdint.h>

#include "velmora/lcd_vector.h"
#include "velmora/mem_pool.h"
#include "velmora/result.h"
#include "velmora/result_set.h"
#include "velmora/select_query.h"
#include "velmora/string_hash.h"
#include "velmora/table_data.h"
#include "velmora/table_defn.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Buckets of a DO's key table. */
#define DATA_OBJECT_KEY_BUCKETS 100

/* One row of one table. values and lengths hold columnCount entries, in the
 * order of the collection's column names (not the definition's). */
typedef struct RowUnit {
    char* tableName;
    int32_t columnCount;
    void** values; /* null entry: SQL NULL */
    int32_t* lengths;
    uint8_t rowState; /* ROW_STATE_* flags */
    struct RowUnit* next;
} RowUnit;

/* The rows a DO holds of one table. */
typedef struct RowCollection {
    char* tableName;
    TableDefn* tableDefn; /* from the registry; not owned */
    char** columnNames;   /* null-terminated: the columns held, in row order */
    uint8_t* columnTypes; /* one type code per column name */
    RowUnit* firstRow;    /* rows in insertion (result) order */
    RowUnit* currentRow;  /* cursor of GotoNextRowUnit; null: before the first */
    struct RowCollection* next;
} RowCollection;

typedef struct DataObject {
    MemPool* pool;                    /* everything of the DO lives in it */
    StringHashTable keys;             /* key string -> RowUnit* */
    int32_t tableCount;               /* names in tableList */
    LCDVector* tableList;             /* of char* (pool texts), referenced tables first */
    SelectQuery* query;               /* the query the DO was fetched with, or null */
    RowCollection* firstCollection;   /* one per table, in order of addition */
    RowCollection* currentCollection; /* cursor of the look-ups */
    uint8_t ownsQuery;                /* 1: FreeDataObject frees query too */
} DataObject;

/* The values of one column over the rows of a table (GetColumnValuesFromDO).
 * values[i] is a heap copy (terminated, length + 1 bytes) of the value in
 * row i + 1, or null for NULL; lengths[i] its length. The caller releases
 * the whole record with FreeDOColumnValues. */
typedef struct DOColumnValues {
    int32_t count;
    void** values;
    int32_t* lengths;
} DOColumnValues;

/* --- Creation and fetching ---------------------------------------------- */

/* An empty DO: new child pool of the root pool, key table of
 * DATA_OBJECT_KEY_BUCKETS buckets, empty table list, no query, no
 * collections. Null with "\nMEMORY ALLOCATION FOR DATAOBJECT FAILED\n" when
 * anything cannot be made. */
DataObject* CreateDataObject(void);

/* Releases the DO: its pool (every collection, unit and value), key table,
 * table list, the record, and the query when the DO owns it (DOs made by
 * GetDataObjectByCriteria and GetDataObjectByRowUnit own theirs; a query
 * handed to GetDataObject stays the caller's and must outlive the DO). A
 * null DO is ignored. */
void FreeDataObject(DataObject* dataObject);

/* Fetches a DO with query on the connection of the query's first table
 * (first listed table, else first join's base table). Null query: "Cannot
 * construct DO. Select Query pointer is NULL.\n"; no result set: "Cannot
 * create DataObject.  No entries returned for SelectQuery\n". The DO keeps
 * the query pointer (not owned). */
DataObject* GetDataObject(SelectQuery* query);

/* Builds a DO from a result of query (see CreateRowCollectionFromResultSet
 * in the library's description of fetching): one collection per table of
 * the query in query order, each holding the table's selected columns; a
 * table whose selected columns miss a primary-key column gets an empty
 * collection ("\nALL PRIMARY KEY COLUMNS SHOULD BE SELECTED FOR %s\n"); a
 * row whose key is already present is dropped ("HashKey %s Not Inserted\n").
 * Rows arrive with state 1 in result order. Always frees resultSet (also on
 * failure). Null for null arguments or allocation failure. */
DataObject* CreateDataObjectFromResultSet(DBResultSet* resultSet, SelectQuery* query);

/* A new query over tableNames (a list of char*, no aliases) with condition
 * as its criteria (may be null: all rows), then GetDataObject. condition
 * stays the caller's: it is read only while the statement is made, and
 * the DO's query keeps no pointer to it. The DO owns the query. Null
 * result: "Cannot create DataObject.\n". */
DataObject* GetDataObjectByCriteria(LCDVector* tableNames, const QueryCondition* condition);

/* The DO of tableNames that rowUnit's row heads: rowUnit's own table by its
 * primary-key values, every other table by each foreign key that leads
 * (directly or through other tables) to a key column of rowUnit's table.
 * rowUnit's table must be in the list ("RowUnit belongs to table %s, which
 * is not present in the tableList.\n", null). rowUnit's values stand in the
 * definition's column order (a unit of a collection holding every column).
 * A table without constraints logs "No constraints for table %s.\n". The
 * DO owns the query. */
DataObject* GetDataObjectByRowUnit(LCDVector* tableNames, const RowUnit* rowUnit);

/* found is set to 1 when the foreign-key chain from referenceTable's
 * referenceColumn reaches rootTable's rootColumn (same names, or through
 * the foreign keys of referenceTable's definition, recursively). Ends on
 * every foreign-key graph (cycles included). */
void CompareRootRefTable(const char* referenceTable, const char* referenceColumn, const char* rootTable,
                         const char* rootColumn, uint8_t* found);

/* Adds an empty collection for table holding columnNames (a null-terminated
 * array; types from the definition) or, for null, every column of the
 * definition. The table is added to the table list. 0 with "DO is NULL.\n",
 * "Table Definition not found for %s.\n", "ADD ROW COLLECTION FAILED\n"
 * (also when a named column is not in the definition or the table is held
 * already); 99 on allocation failure. */
int AddTableToDO(DataObject* dataObject, const char* table, const char* const* columnNames);

/* --- Rows ------------------------------------------------------------------ */

/* A unit of table over values and lengths (arrays not copied), state 0;
 * the column count is set when it is inserted. Allocated from pool, or from
 * the heap for a null pool (then released with FreeRowUnit, which also
 * frees the arrays and values: they must be heap blocks). Null on
 * allocation failure or a null table. */
RowUnit* CreateRowUnit(const char* table, void** values, int32_t* lengths, MemPool* pool);

/* Adds the unit to its table's collection. The unit's arrays must hold one
 * entry per column the DO holds for the table and must live as long as the
 * DO (make it from the DO's pool). A null value of a column with a
 * generator gets the next identifier (4 bytes), a null value of a column
 * with a default a copy of the default; then the key is computed. 0 with
 * "The RowUnit belongs to Table %s, which is not in DO\n", or with trace
 * "Row with keyStr %s already exists.\n" when the key is present; 99 on
 * allocation failure. On success the state is 2 and the unit is last of
 * its table. */
int InsertRowUnit(RowUnit* rowUnit, DataObject* dataObject);

/* Copies values/lengths (one per column held for the table) into the DO's
 * pool and inserts them as a new unit (InsertRowUnit). "Cannot create
 * rowUnit.\n", "Cannot Insert RowUnit.\n". */
int InsertRowIntoDO(DataObject* dataObject, const char* table, void* const* values, const int32_t* lengths);

/* As InsertRowIntoDO from texts (one per column held, null for NULL),
 * converted with ConvertStringToColumnValue by the column types; a text
 * that gives no value becomes NULL. "Cannot create RowUnit.\n", "Cannot
 * insert RowUnit.\n". */
int InsertStringRowIntoDO(DataObject* dataObject, const char* table, const char* const* texts);

/* The DO's unit with rowUnit's key takes copies of rowUnit's values and
 * gets flag 4 (trace "Updating Row\n"). 0 with "Row to be updated is not
 * present in DO. \n" when no unit has the key. */
int UpdateRowUnit(const RowUnit* rowUnit, DataObject* dataObject);

/* Adds flag 8 to the unit. */
int DeleteRowUnit(RowUnit* rowUnit, DataObject* dataObject);

/* Adds flag 8 to every unit of table that condition (condition text, see
 * velmora/criteria.h) selects. 0 for a condition that does not parse, a
 * table not in the DO, or "RowObject is NULL.\n" when a unit cannot be
 * converted (the walk stops there). */
int DeleteRowUnitOnCriteria(const char* table, DataObject* dataObject, const char* condition);

/* The first unit of table that condition selects, or null. */
RowUnit* FindRowUnitOnCriteria(const char* table, DataObject* dataObject, const char* condition);

/* The DO's unit with rowUnit's key, or null with "Row to be found is not
 * present in DO. \n". */
RowUnit* FindRowUnit(const RowUnit* rowUnit, DataObject* dataObject);

/* Puts a copy of value (length bytes; null: NULL) into column of table's
 * last unit and adds flag 4. A primary-key column of a row the database
 * holds (bit 1) is refused (its update would reach another row); a new
 * row is filed under its new key, refused when another row has that key. 0 with " Table %s is not present in DO\n",
 * "Passed column %s is not present in DO.\n"; 99 with "Memcpy Failed.\n". */
int SetValueForRowUnit(const char* column, const char* table, const void* value, int32_t length,
                       DataObject* dataObject);

/* The same for every unit of table. "Passed column is not present in
 * DO.\n". */
int SetValueForAllRowUnits(const char* column, const char* table, const void* value, int32_t length,
                           DataObject* dataObject);

/* Frees a unit made by CreateRowUnit with a null pool: each value, both
 * arrays, the table name, the unit. */
void FreeRowUnit(RowUnit* rowUnit);

/* The unit's key string as a new heap string (caller frees), or null when
 * the table is not in the DO, has no definition or no primary key, or a key
 * column is not held. */
char* GenerateKeyString(const RowUnit* rowUnit, const DataObject* dataObject);

/* --- Look-up ----------------------------------------------------------- */

/* The DO's table list (owned by the DO); "DataObjectPtr is NULL.\n". */
LCDVector* GetTableList(DataObject* dataObject);

/* 1 when the table list holds table. */
int ContainsTableInDO(const char* table, const DataObject* dataObject);

/* The table's collection, or null with "Table %s is not present in DO.\n". */
RowCollection* GetRowCollection(const char* table, DataObject* dataObject);

/* A new heap list (FreeVector, then free) of the collection's column names
 * (the names stay the DO's). "rowCollectionPtr is NULL.\n". */
LCDVector* GetColumnListFromDO(const char* table, DataObject* dataObject);

RowUnit* GetFirstRowUnit(const char* table, DataObject* dataObject);
/* "Table %s not present in DO\n". */
RowUnit* GetLastRowUnit(const char* table, DataObject* dataObject);
/* n from 1; "Cannot get %d row. \n" and null past the end. */
RowUnit* GetNthRowUnit(int32_t n, const char* table, DataObject* dataObject);

/* First call: the first unit ("No RowUnits present in RowCollection.\n"
 * when none); later calls the next, null at the end (trace "Reached end of
 * rowUnits.\n", and the cursor starts over). "RowCollectionPtr is
 * NULL.\n". */
RowUnit* GotoNextRowUnit(RowCollection* collection);

/* The value of column in table's first unit (points into the DO), its
 * length in *length when length is not null. "Invalid Column Entered.\n". */
const void* GetFirstValue(const char* column, const char* table, DataObject* dataObject, int32_t* length);

/* A heap copy (caller frees; terminated) of column's value in row n (from
 * 1), its length in *length when not null. Null for NULL and on failure
 * ("Invalid Column Entered.\n"). */
void* GetColumnValueFromDO(DataObject* dataObject, const char* table, const char* column, int32_t n, int32_t* length);

/* Column's values over every unit of table, in row order (see
 * DOColumnValues). An empty table gives count 0. Null with "Invalid Column
 * Entered.\n" or on allocation failure. */
DOColumnValues* GetColumnValuesFromDO(const char* column, const char* table, DataObject* dataObject);
void FreeDOColumnValues(DOColumnValues* values);

/* 1 when the DO has no collection (also for a null DO). */
int IsDOEmpty(const DataObject* dataObject);

/* Trace listing of the tables, columns, values and states. */
void PrintDataObject(const DataObject* dataObject);

/* Null-terminated array of n names copied into pool (n const char*). */
char** MakeColumnList(MemPool* pool, int32_t n, ...);
/* Array of n texts copied into pool (n const char*; null stays null). */
char** MakeStringColumnValuesList(MemPool* pool, int32_t n, ...);
/* Array of n int32 lengths (n int arguments) from pool. */
int32_t* MakeLengthList(MemPool* pool, int32_t n, ...);

/* --- Saving, merging, cloning -------------------------------------------- */

/* A new heap RowObject (FreeRowObject with the definition's column count)
 * over all columns of the table's definition in definition order: a held
 * non-null value is copied, another column gets its default, else NULL when
 * nullable, else the conversion fails with "Cannot save RowUnit. Column %s
 * is not not nullable and does not have a default value\n". The row's state
 * is the unit's. */
RowObject* GetRowObjectFromRowUnit(const RowUnit* rowUnit, DataObject* dataObject);

/* Writes one unit by its state (see top) on its table's connection, and
 * brings it in line on success. An update writes every column of the
 * table; when the DO holds only some of them, the others are first read
 * from the database row of the unit's key, so that they keep their values. 1 when a statement succeeded; 0 when none
 * was due ("QueryPtr is NULL.\n") or it failed ("Error in executing update
 * query \n", "QUERY : %s\n"). A unit that leaves the DO is no longer
 * valid after the call. */
int SaveRowUnit(RowUnit* rowUnit, DataObject* dataObject);

/* SaveRowUnit on every unit of the collection, in order, on one connection
 * of the table. 1; 0 when the table has no definition or no connection
 * can be had (the rows keep their states). */
int SaveRowCollection(RowCollection* collection, DataObject* dataObject);

/* Orders the table list with SortTableByFK and saves each table's
 * collection in that order. 1 (single rows that fail do not stop it and
 * keep their states); 0 for a null DO, when the order cannot be made, or
 * when a table with rows to write could get no connection. */
int SaveDataObject(DataObject* dataObject);

/* Brings source's changed rows into target (everything allocated from
 * target's pool): per source unit, 5 updates the target's unit of that key
 * or is inserted; 2 and 6 are inserted unless the key is present ("Cannot
 * Insert Row with keystring %s.  Row already exists."); 9 marks the
 * target's unit deleted or is inserted with state 9; 1 and 10 are ignored.
 * A table target lacks is added with the source's columns, then every
 * unit except state 10 is inserted. An inserted unit that the database
 * holds already (bit 1: states 1, 5, 9) keeps its state, so that saving the
 * target updates or deletes it and never inserts it twice; other inserted
 * units get state 2 (generated and default values filled). Columns are
 * matched by name when the two DOs hold different columns of a table. Returns target; null for null arguments or when a
 * collection cannot be made ("tempRowCollection is NULL\n"). */
DataObject* MergeDataObject(DataObject* target, DataObject* source);

/* A deep copy in a new DO: same table list, query pointer (not owned: it is
 * valid only while the query's owner lives) and
 * collections; each unit copied with its state and registered under its
 * key. Null on failure. */
DataObject* CloneDataObject(DataObject* dataObject);
/* A copy of collection (definition looked up again: "No Table Definition
 * found for table %s.\n") with copies of its units, allocated from the
 * target's pool and registered in its key table. */
RowCollection* CloneRowCollection(const RowCollection* collection, DataObject* target);
/* A copy of unit (name, values, lengths, state; no successor) from pool. */
RowUnit* CloneRowUnit(const RowUnit* rowUnit, MemPool* pool);

/* A new heap list (FreeVector, then free) of the names of tableNames
 * ordered so that a referenced table comes before the tables referring to
 * it wherever the foreign-key graph allows (on a cycle the table reached
 * first goes first; a reference to itself is ignored). Each name once. The
 * names are copies from pool, or heap copies the caller frees when pool is
 * null. A table without definition logs "No Table Definition found for
 * table %s.\n" and keeps its place among the rest. Null with "CloneVector
 * Failed.\n" on allocation failure. */
LCDVector* SortTableByFK(LCDVector* tableNames, MemPool* pool);

#ifdef __cplusplus
}
#endif
#endif
