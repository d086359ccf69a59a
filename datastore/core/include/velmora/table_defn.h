/*
 * Table and column definitions, and the registry that holds them.
 *
 * The data store knows its tables only through these definitions, loaded
 * from the data dictionary at start-up and read-only afterwards. The
 * registry gv_tableDefns holds them in load order; lookups return the first
 * definition whose name matches, so a later definition with the same name
 * is kept but never found.
 *
 * Table names compare case-insensitively, column names case-sensitively
 * (GetForeignKeyByColumn excepted, see there).
 *
 * Ownership: every record owns its strings and the records below it (a
 * table its columns vector, columns and constraints; constraints their
 * primary-key names and foreign keys; a column its default value and
 * allowed values). Each record type has a Free... routine that frees it
 * field by field. The lookups return pointers into the registry: callers
 * never free them.
 *
 * Locking: the registry is guarded by the object lock keyed on
 * &gv_tableDefns while it is changed or walked. Definitions themselves are
 * not locked (they do not change after loading).
 */
#ifndef VELMORA_TABLE_DEFN_H
#define VELMORA_TABLE_DEFN_H

#include <stdint.h>

#include "velmora/column_types.h"
#include "velmora/lcd_vector.h"
#include "velmora/result.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Allowed values of a column: a list (isRange 0) is a null-terminated array
 * of the allowed texts; a range (isRange 1) is exactly two texts, from and
 * to, followed by a null entry. */
typedef struct AllowedValues {
    char** values;
    uint8_t isRange;
} AllowedValues;

typedef struct ColumnDefn {
    char* name;
    uint8_t type;                 /* column type code (BRI_SQL_*) */
    void* defaultValue;           /* column value of the declared type; null: none */
    int32_t defaultLength;        /* length of defaultValue */
    uint8_t unique;               /* 1 when the column is unique */
    char* generatorName;          /* identifier generator that fills the column, or null */
    char* description;            /* or null */
    int32_t maxSize;              /* declared maximum size, 0 when not given */
    uint8_t nullable;             /* 1 when NULL is allowed */
    AllowedValues* allowedValues; /* or null */
} ColumnDefn;

/* One local/reference column pair of a foreign key. */
typedef struct ForeignKeyDefn {
    char* localColumn;
    char* referenceColumn;
    char* referenceTable;
    uint8_t reserved;        /* always 0 when loaded */
    uint8_t onDeleteCascade; /* 1: ON DELETE CASCADE */
    uint8_t isBidirectional; /* 1: the key is bidirectional */
} ForeignKeyDefn;

typedef struct ConstraintDefn {
    char** primaryKeys; /* primary-key column names, in key order */
    int32_t primaryKeyCount;
    LCDVector* foreignKeys; /* of ForeignKeyDefn, or null when there are none */
} ConstraintDefn;

typedef struct TableDefn {
    char* name;
    char* description;           /* or null */
    LCDVector* columns;          /* of ColumnDefn, in dictionary order; never null */
    ConstraintDefn* constraints; /* never null (possibly without keys) */
} TableDefn;

/* The registry: every loaded definition, in load order, no comparator. A
 * zeroed vector is a valid empty registry. */
extern LCDVector gv_tableDefns;

/* --- Records ------------------------------------------------------------ */

/* A new allowed-values record that takes ownership of values (a
 * null-terminated array of heap strings). Null for null values, for a range
 * that is not exactly two texts, and on allocation failure (values is then
 * still the caller's). */
AllowedValues* CreateAllowedValues(char** values, uint8_t isRange);
void FreeAllowedValues(AllowedValues* values);

/* A new column definition. Copies name, generatorName and description
 * (either of the last two may be null). A non-null defaultText is
 * converted with ConvertStringToColumnValue using the declared type
 * (defaultLength is read for the types that take bytes unchanged) and the
 * resulting length is stored; text that does not convert (a boolean that is
 * neither "TRUE" nor "FALSE", a date without '-' or ':') is logged at error
 * level and leaves the column without default. A declared type 14 or 15 with
 * maxSize >= 256 is stored as 22. Always takes ownership of allowedValues:
 * on failure it is freed with the rest. Null for a null name or when any
 * allocation fails. */
ColumnDefn* CreateColumnDefn(const char* name, uint8_t type, const char* defaultText, int32_t defaultLength,
                             uint8_t unique, const char* generatorName, const char* description, int32_t maxSize,
                             uint8_t nullable, AllowedValues* allowedValues);
void FreeColumnDefn(ColumnDefn* column);

/* A new foreign-key pair; copies the three strings and stores each flag as
 * passed (reserved too). Null when a string is null or on allocation
 * failure. */
ForeignKeyDefn* CreateForeignKeyDefn(const char* localColumn, const char* referenceColumn, const char* referenceTable,
                                     uint8_t reserved, uint8_t onDeleteCascade, uint8_t isBidirectional);
void FreeForeignKeyDefn(ForeignKeyDefn* key);

/* A new constraints record that takes ownership of primaryKeys (an array of
 * primaryKeyCount heap strings; null with count 0 for no key) and of
 * foreignKeys (or null). Null on allocation failure or a negative count
 * (the arguments stay the caller's). */
ConstraintDefn* CreateConstraintDefn(char** primaryKeys, int32_t primaryKeyCount, LCDVector* foreignKeys);
/* Appends key to the constraints' foreign keys, creating the list on first
 * use. 1, 99 when the list or node cannot be allocated (key stays the
 * caller's), 0 for null arguments. */
int AddForeignKeyDefn(ConstraintDefn* constraints, ForeignKeyDefn* key);
void FreeConstraintDefn(ConstraintDefn* constraints);

/* A new table definition: copies name and description (or null), takes
 * ownership of columns (a heap vector from CreateVector) and constraints.
 * Null columns give an empty vector, null constraints an empty constraints
 * record, so that every definition has both. Null for a null name or on
 * allocation failure; columns and constraints then stay the caller's. */
TableDefn* CreateTableDefn(const char* name, const char* description, LCDVector* columns, ConstraintDefn* constraints);
/* Frees the table's strings, every column, the columns vector, the
 * constraints and the record. Does not touch the registry. */
void FreeTableDefn(TableDefn* table);

/* --- Registry ----------------------------------------------------------- */

/* Frees every definition the registry holds, then makes it an empty vector
 * without comparator. Called during start-up. */
void InitTableDefnVector(void);
/* &gv_tableDefns. */
LCDVector* GetTableDefnVector(void);

/* Appends definition to the registry (the registry owns it from then on).
 * 1, 0 for null, 99 when the node cannot be allocated. */
int AddTableDefn(TableDefn* definition);

/* The first definition named name (case-insensitive); null for an empty
 * registry or no match; a null name logs "Table Name is NULL.\n". */
TableDefn* GetTableDefnByName(const char* name);

/* The column (case-sensitive name) of the table; null when either name is
 * null ("Cannot fetch default value;\n"), the table is unknown ("No
 * definition found for table %s\n") or it has no such column. */
ColumnDefn* GetColumnDefnEntry(const char* tableName, const char* columnName);
/* The same checks; the column's type code, 0 when not found. */
uint8_t GetColumnDefnType(const char* tableName, const char* columnName);
/* The same checks; the column's default value (null when none) and *found
 * set to 1 when the column exists, else 0. found may be null. */
void* GetDefaultValue(const char* tableName, const char* columnName, uint8_t* found);

/* The first foreign key of the definition whose local column matches
 * column case-insensitively. Null with "No constraint Definition \n" when
 * the table has no constraints record, "No Foreignkey Entries in Definition
 * \n" when it has no foreign-key list, and null arguments. */
ForeignKeyDefn* GetForeignKeyByColumn(const TableDefn* definition, const char* column);

/* Debug listings of every definition, and of one (see the .cpp for the
 * lines). A table without columns prints nothing. */
void PrintTableDefns(void);
void PrintTableDefn(const TableDefn* definition);

/* Unlinks and frees the first definition named name. 1 when found, else 0. */
int RemoveTableDefn(const char* name);
/* Frees every definition and the registry's nodes; the registry is empty
 * afterwards. */
void FreeTableDefns(void);

#ifdef __cplusplus
}
#endif
#endif
