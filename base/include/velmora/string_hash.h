/*
 * StringHashTable: a string-keyed hash table with chained buckets.
 *
 * The table holds a bucket count and an array of bucket slots; each slot
 * points at one preallocated entry (empty while its name is null), further
 * entries of the bucket hang off it in a chain. Names are owned copies;
 * values are the caller's pointers and are never freed by the table. Names
 * compare exactly (case-sensitive).
 *
 * The bucket of a name: h = 0, then for every byte c of the name read as a
 * signed char, h = (h * 26 + c) mod bucket count. Names of ASCII characters
 * get exactly that index. Bytes above 127 are negative as signed chars and
 * can make the remainder negative; such a result is moved into the table by
 * adding the bucket count, so every name lands inside the table.
 *
 * The table takes no lock: callers that share one between threads guard it.
 *
 * Results: 1 (VELMORA_SUCCESS), 0 (VELMORA_FAILURE), 99
 * (VELMORA_ALLOC_FAILURE). Null arguments are failures, never crashes.
 */
#ifndef VELMORA_STRING_HASH_H
#define VELMORA_STRING_HASH_H

#include <stdint.h>

#include "velmora/result.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Bucket count used when 0 is asked for. */
#define STRING_HASH_DEFAULT_BUCKETS 10

typedef struct StringHashEntry {
    char* name;                   /* owned copy; null in an empty slot */
    void* value;                  /* not owned */
    struct StringHashEntry* next; /* next entry of the same bucket */
} StringHashEntry;

typedef struct StringHashTable {
    int32_t bucketCount;       /* number of buckets */
    StringHashEntry** buckets; /* bucketCount slots, each a preallocated entry */
} StringHashTable;

/* Allocates the buckets of a zeroed (or freed) table: bucketCount of them,
 * 10 for 0. 1 on success; 0 for a null table, a negative count or a failed
 * allocation, in which case everything allocated is freed again and the
 * table is left empty (bucketCount 0, buckets null). */
int HashInit(StringHashTable* table, int32_t bucketCount);

/* The bucket index of name in a table of bucketCount buckets (see above);
 * -1 for a null name or a count below 1. */
int32_t HashIndex(const char* name, int32_t bucketCount);

/* Stores value under name: replaces the value when name is present (the
 * stored name is kept, no second copy is made); otherwise stores a copy of
 * name in the bucket's empty first slot, else in a new entry at the end of
 * the bucket's chain. 1 on success, 99 when the copy or the entry cannot be
 * allocated (the table is unchanged), 0 for null arguments or a table
 * without buckets. */
int HashPut(StringHashTable* table, const char* name, void* value);

/* 1 when name is stored, else 0. */
int HashContains(const StringHashTable* table, const char* name);

/* The value stored under name, or null (also when the stored value is null). */
void* HashGet(const StringHashTable* table, const char* name);

/* The entry holding name, or null. It stays valid until name is removed or
 * the table is freed. */
StringHashEntry* HashGetEntry(const StringHashTable* table, const char* name);

/* Removes name (its copy is freed, its value is not). 1 when it was there. */
int HashRemove(StringHashTable* table, const char* name);

/* The number of stored names. */
int32_t HashCount(const StringHashTable* table);

/* A heap array of the stored name pointers (the table's own copies, not new
 * ones), in bucket and chain order, ended by a null entry. The caller frees
 * the array, not the names. Null for a null table or when the array cannot
 * be allocated; an empty table gives an array holding only the null entry. */
char** HashKeys(const StringHashTable* table);

/* Frees every name, every entry and the bucket array; values are untouched.
 * The table is left empty (bucketCount 0, buckets null). */
void HashFree(StringHashTable* table);

/* Puts into destination every name of source that destination lacks, with
 * source's value. 1 on success (also for a source without buckets); 99 when
 * an allocation fails (the names put before the failure stay, and a second
 * call completes the merge); 0 for null tables or a destination without
 * buckets. */
int HashMergeMissing(const StringHashTable* source, StringHashTable* destination);

#ifdef __cplusplus
}
#endif
#endif
