/*
 * Helpers shared by the data-object routines: look-ups inside a DO, pool
 * copies, key strings, collection building and unit removal.
 */
#pragma once

#include <stdint.h>

#include <string>

#include "velmora/data_object.h"

namespace velmora_objects::dobj {

/* Separates the parts of a key string (table name and each key value), so
 * that composite keys such as (1, 12) and (11, 2), or table names that are
 * prefixes of each other, never give the same key. */
constexpr char kKeySeparator = '\x1f';

/* A terminated copy of length bytes from pool; null for a null value or
 * when the pool cannot allocate (*failed set then). */
void* PoolCopyValue(MemPool* pool, const void* value, int32_t length, bool* failed);

/* The collection of table (exact name), or null. */
RowCollection* FindCollection(const DataObject* dataObject, const char* table);

/* Number of column names the collection holds. */
int32_t CollectionColumnCount(const RowCollection* collection);

/* Position of column among the collection's names (exact), or -1. */
int32_t CollectionColumnPosition(const RowCollection* collection, const char* column);

/* The unit's key by the collection's definition; false when the table has
 * no primary key or a key column is not held. */
bool MakeKeyString(const RowUnit* unit, const RowCollection* collection, std::string* key);

/* True when every primary-key column of definition is among names. */
bool HoldsPrimaryKey(const TableDefn* definition, const char* const* names, int32_t count);

/* A new collection of table over names and types (copied into the DO's
 * pool), appended to the DO's collections; the table is added to the table
 * list when absent. Null on allocation failure. */
RowCollection* AddCollection(DataObject* dataObject, const char* table, TableDefn* definition, const char* const* names,
                             const uint8_t* types, int32_t count);

/* Appends unit to the end of the collection's rows. */
void AppendUnit(RowCollection* collection, RowUnit* unit);

/* Unlinks unit from its collection and drops its key. */
void RemoveUnit(DataObject* dataObject, RowCollection* collection, RowUnit* unit);

/* A copy of unit (arrays and values) from pool, without successor. */
RowUnit* CopyUnit(const RowUnit* unit, int32_t columnCount, MemPool* pool);

} // namespace velmora_objects::dobj
