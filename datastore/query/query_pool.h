/*
 * Allocation helpers shared by the query-description sources: zeroed
 * records, text copies and list nodes, all from a query's pool.
 */
#pragma once

#include <string.h>

#include "velmora/lcd_vector.h"
#include "velmora/mem_pool.h"

namespace velmora_query {

/* A zeroed record from the pool; null for a null pool or when it cannot
 * allocate. */
template <typename Record> Record* PoolNew(MemPool* pool)
{
    if (!pool)
        return nullptr;
    void* memory = PoolAlloc(pool, sizeof(Record));
    if (memory)
        memset(memory, 0, sizeof(Record));
    return static_cast<Record*>(memory);
}

/* *out = a pool copy of text (null stays null); false when the copy cannot
 * be made. */
bool PoolCopyText(char** out, const char* text, MemPool* pool);

/* An empty list without comparator, from the pool. */
LCDVector* PoolList(MemPool* pool);

/* Appends data to list with a node from the pool. 1, or 0 for null
 * arguments and allocation failures. */
int PoolListAppend(MemPool* pool, LCDVector* list, void* data);

} // namespace velmora_query
