/*
 * From the text written for a column to the column's value: plain values
 * convert by type, symbolic identifiers (table:column:label) become one
 * integer per text through the identifier map of the load.
 */
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "runtime/log.h"
#include "runtime/object_lock.h"
#include "tables/tables_internal.h"
#include "velmora/base_alloc.h"
#include "velmora/seq_state.h"
#include "velmora/string_routines.h"
#include "xmldata/xmldata_internal.h"

namespace velmora_xmldata {

namespace {

struct FreeDeleter {
    void operator()(void* block) const { free(block); }
};
using HeapText = std::unique_ptr<char, FreeDeleter>;

/* A symbolic text cut at its first two ':' (the label keeps any further
 * ':'). The parts point into a copy owned by the record. */
struct SymbolicText {
    HeapText copy;
    const char* table = nullptr;
    const char* column = nullptr;
    const char* label = nullptr;
};

int CountColons(const char* text)
{
    int count = 0;
    for (; *text; text++)
        if (*text == ':' && ++count == 2)
            break;
    return count;
}

bool SplitSymbolic(const char* text, SymbolicText* parts)
{
    parts->copy.reset(BriStrdup(text));
    if (!parts->copy)
        return false;
    char* first = strchr(parts->copy.get(), ':');
    char* second = strchr(first + 1, ':');
    *first = '\0';
    *second = '\0';
    parts->table = parts->copy.get();
    parts->column = first + 1;
    parts->label = second + 1;
    return true;
}

/* "table:column:label" as a new heap string, or null. */
HeapText MapKey(const char* table, const char* column, const char* label)
{
    size_t size = strlen(table) + strlen(column) + strlen(label) + 3;
    HeapText key(static_cast<char*>(BriMalloc(size)));
    if (key) {
        char* end = key.get();
        for (const char* part : {table, column, label}) {
            size_t length = strlen(part);
            memcpy(end, part, length);
            end += length;
            *end++ = ':';
        }
        end[-1] = '\0';
    }
    return key;
}

bool LookUp(const StringHashTable* map, const char* key, int32_t* identifier)
{
    return GetXmlIdentifier(map, key, identifier) == VELMORA_SUCCESS;
}

/* The column of the named table, or null (nothing logged: a symbolic text
 * may name anything). */
const ColumnDefn* FindColumnDefn(const char* tableName, const char* columnName)
{
    const TableDefn* table = GetTableDefnByName(tableName);
    if (!table)
        return nullptr;
    for (LCDNode* node = table->columns->head; node; node = node->next) {
        const auto* column = static_cast<const ColumnDefn*>(node->data);
        if (column && column->name && CompareNoCase(column->name, columnName) == 0)
            return column;
    }
    return nullptr;
}

/* How many foreign-key pairs the registry holds: no walk along foreign keys
 * without a cycle takes more steps. */
int32_t CountForeignKeys()
{
    int32_t count = 0;
    LockObject(&gv_tableDefns);
    for (LCDNode* node = gv_tableDefns.head; node; node = node->next) {
        const auto* table = static_cast<const TableDefn*>(node->data);
        if (table && table->constraints && table->constraints->foreignKeys)
            count += table->constraints->foreignKeys->count;
    }
    UnlockObject(&gv_tableDefns);
    return count;
}

/* One (table, column) a symbolic text led through while looking for a
 * generator. */
struct Hop {
    const char* table;
    const char* column;
};

/* The identifier of a symbolic text that the map does not hold yet, for a
 * column without a generator: the generator of the named column, else of
 * the column its table's foreign key references, and so on. Columns passed
 * on the way map the label too, so that a row of the generating table
 * writing its own symbolic text later receives the same identifier. */
int DrawThroughForeignKeys(StringHashTable* map, const SymbolicText& parts, int32_t* identifier)
{
    if (!*parts.table || !*parts.column) {
        LogError("Unable to get Column details for AutoID generation \n");
        return VELMORA_FAILURE;
    }
    // The hops after the first, so that the walk back can map them.
    int32_t limit = CountForeignKeys();
    std::unique_ptr<Hop[], FreeDeleter> hops(static_cast<Hop*>(BriCalloc(static_cast<size_t>(limit) + 1, sizeof(Hop))));
    if (!hops)
        return VELMORA_ALLOC_FAILURE;
    int32_t hopCount = 0;
    Hop at{parts.table, parts.column};
    int32_t id = GenerateID(at.table, FindColumnDefn(at.table, at.column));
    while (id == -1) {
        const TableDefn* table = GetTableDefnByName(at.table);
        const ForeignKeyDefn* key = table ? ForeignKeyOf(table, at.column) : nullptr;
        if (!key)
            break;
        if (hopCount == limit) {
            LogError("Foreign keys from %s.%s lead round in a circle; no generator for %s\n", parts.table, parts.column,
                     parts.label);
            break;
        }
        at = Hop{key->referenceTable, key->referenceColumn};
        hops[hopCount++] = at;
        id = GenerateID(at.table, FindColumnDefn(at.table, at.column));
    }
    if (id == -1) {
        *identifier = ParseStrictInt32(parts.label);
        return VELMORA_SUCCESS;
    }
    for (int32_t i = hopCount - 1; i >= 0; i--) {
        HeapText key = MapKey(hops[i].table, hops[i].column, parts.label);
        if (!key)
            return VELMORA_ALLOC_FAILURE;
        int32_t mapped;
        if (LookUp(map, key.get(), &mapped)) {
            id = mapped;
            break;
        }
        if (PutIdentifier(map, key.get(), id) != VELMORA_SUCCESS)
            return VELMORA_ALLOC_FAILURE;
    }
    *identifier = id;
    return VELMORA_SUCCESS;
}

/* The identifier of a symbolic text written in an integer column. */
int SymbolicIdentifier(StringHashTable* map, const TableDefn* table, const ColumnDefn* column, const char* text,
                       int32_t* identifier)
{
    SymbolicText parts;
    if (!SplitSymbolic(text, &parts))
        return VELMORA_ALLOC_FAILURE;
    int32_t id;
    if (!LookUp(map, text, &id)) {
        if (column->generatorName) {
            id = GenerateID(table->name, column);
        } else {
            int drawn = DrawThroughForeignKeys(map, parts, &id);
            if (drawn != VELMORA_SUCCESS)
                return drawn;
        }
    }
    HeapText own = MapKey(table->name, column->name, parts.label);
    if (!own || PutIdentifier(map, own.get(), id) != VELMORA_SUCCESS || PutIdentifier(map, text, id) != VELMORA_SUCCESS)
        return VELMORA_ALLOC_FAILURE;
    *identifier = id;
    return VELMORA_SUCCESS;
}

int StoreInteger(int32_t identifier, void** value, int32_t* length)
{
    *value = velmora_tables::CopyValue(&identifier, sizeof identifier);
    if (!*value)
        return VELMORA_ALLOC_FAILURE;
    *length = sizeof identifier;
    return VELMORA_SUCCESS;
}

int StoreText(const char* text, void** value, int32_t* length)
{
    size_t size = strlen(text);
    if (size > INT32_MAX)
        return VELMORA_FAILURE;
    *value = velmora_tables::CopyValue(text, static_cast<int32_t>(size));
    if (!*value)
        return VELMORA_ALLOC_FAILURE;
    *length = static_cast<int32_t>(size);
    return VELMORA_SUCCESS;
}

bool IsIntegerType(uint8_t type) { return type >= BRI_SQL_TINYINT && type <= BRI_SQL_UNSIGNED_LONG_INT; }

int ConvertPlain(const TableDefn* table, const ColumnDefn* column, const char* text, void** value, int32_t* length)
{
    int converted = AllocateAndCopyColumnValue(value, length, column->type, text);
    if (converted == VELMORA_FAILURE)
        // The text itself may be huge: name the column, show only a start.
        LogError("Value '%.40s' does not convert for column %s of table %s\n", text, column->name, table->name);
    return converted;
}

} // namespace

int PutIdentifier(StringHashTable* map, const char* key, int32_t identifier)
{
    StringHashEntry* entry = HashGetEntry(map, key);
    if (entry && entry->value) {
        *static_cast<int32_t*>(entry->value) = identifier;
        return VELMORA_SUCCESS;
    }
    auto* stored = static_cast<int32_t*>(BriMalloc(sizeof(int32_t)));
    if (!stored)
        return VELMORA_ALLOC_FAILURE;
    *stored = identifier;
    if (HashPut(map, key, stored) != VELMORA_SUCCESS) {
        free(stored);
        return VELMORA_ALLOC_FAILURE;
    }
    return VELMORA_SUCCESS;
}

int ConvertColumnText(StringHashTable* map, const TableDefn* table, const ColumnDefn* column, const char* text,
                      void** value, int32_t* length)
{
    *value = nullptr;
    *length = 0;
    if (CountColons(text) < 2)
        return ConvertPlain(table, column, text, value, length);
    const char* label = strchr(strchr(text, ':') + 1, ':') + 1;
    if (CompareNoCase(table->name, "Workflow_Statements") == 0 && strcmp(column->name, "NEXT_STATEMENT_ID") == 0 &&
        strcmp(label, "0") == 0)
        return StoreInteger(0, value, length);
    switch (column->type) {
    case BRI_SQL_CHAR:
    case BRI_SQL_VARCHAR:
    case BRI_SQL_TEXT:
    case BRI_SQL_BLOB:
        return StoreText(label, value, length);
    default:
        break;
    }
    if (!IsIntegerType(column->type))
        return ConvertPlain(table, column, text, value, length);
    int32_t identifier;
    int drawn = SymbolicIdentifier(map, table, column, text, &identifier);
    if (drawn != VELMORA_SUCCESS)
        return drawn;
    return StoreInteger(identifier, value, length);
}

int32_t ColumnIndex(const TableDefn* table, const char* name, int32_t count)
{
    int32_t index = 0;
    for (LCDNode* node = table->columns->head; node && index < count; node = node->next, index++) {
        const auto* column = static_cast<const ColumnDefn*>(node->data);
        if (column && column->name && CompareNoCase(column->name, name) == 0)
            return index;
    }
    return -1;
}

const ForeignKeyDefn* ForeignKeyOf(const TableDefn* table, const char* column)
{
    if (!table->constraints || !table->constraints->foreignKeys)
        return nullptr;
    for (LCDNode* node = table->constraints->foreignKeys->head; node; node = node->next) {
        const auto* key = static_cast<const ForeignKeyDefn*>(node->data);
        if (key && key->localColumn && CompareNoCase(key->localColumn, column) == 0)
            return key;
    }
    return nullptr;
}

} // namespace velmora_xmldata

extern "C" int GetXmlIdentifier(const StringHashTable* map, const char* key, int32_t* identifier)
{
    if (!map || !key || !identifier)
        return VELMORA_FAILURE;
    const auto* stored = static_cast<const int32_t*>(HashGet(map, key));
    if (!stored)
        return VELMORA_FAILURE;
    *identifier = *stored;
    return VELMORA_SUCCESS;
}

extern "C" void FreeXmlIdentifierMap(StringHashTable* map)
{
    if (!map)
        return;
    for (int32_t bucket = 0; map->buckets && bucket < map->bucketCount; bucket++)
        for (StringHashEntry* entry = map->buckets[bucket]; entry; entry = entry->next)
            if (entry->name) {
                free(entry->value);
                entry->value = nullptr;
            }
    HashFree(map);
    free(map);
}
