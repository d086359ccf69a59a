/*
 * Internal: the elements of a personality file, the index tables and the
 * key columns they use.
 */
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "velmora/personality.h"
#include "velmora/table_defn.h"

namespace velmora_objects {

/* One element of a personality file: its name and attributes in order. */
struct PersonalityNode {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
};

/* Creates the index table of every DominantTableConfig that says
 * isindexed="true" after naming its table; false when any creation
 * failed (each logged). */
bool CreateIndexTables(const std::vector<PersonalityNode>& nodes);

/* The column definitions of table's primary key, in key order; empty with
 * a line when the table or its key is unknown. */
std::vector<const ColumnDefn*> GetPKColumnInfo(const char* table);

/* Position of column (exact name) in the table's definition, or -1. */
int GetColIndex(const TableDefn* table, const char* column);

/* 1 when table has an index table (named in a DominantTableConfig with
 * isindexed "true" whose creation succeeded or found it there). */
bool IsIndexedTable(const char* table);

/* Forgets the indexed tables (with FreePersonalities). */
void ClearIndexedTables();

} // namespace velmora_objects
