/*
 * Internal: where the foreign-key chains of a table end.
 */
#pragma once

#include <string>
#include <vector>

namespace velmora_objects {

/* The end of one chain: the table and column it reaches, and the column of
 * the starting table that began it. */
struct RootColumn {
    std::string table;
    std::string column;
    std::string localColumn;
};

/* Follows every foreign key of table (only those whose local column is
 * column, when one is given) through the referenced tables; a chain ends at
 * a table with no foreign key on the column that led to it, and at a table
 * already on the chain (a foreign-key cycle), or after 64 steps. Roots in
 * the order of the table's foreign keys. "No table definition found for
 * %s\n" for an unknown table. */
std::vector<RootColumn> FindRootTable(const char* table, const char* column);

} // namespace velmora_objects
