/*
 * StringHashTable.
 */
#include "velmora/string_hash.h"

#include <stdlib.h>
#include <string.h>

#include "velmora/base_alloc.h"

namespace {

bool Usable(const StringHashTable* table) { return table && table->buckets && table->bucketCount > 0; }

/* The entry holding name and, through previous, the entry before it in the
 * chain (null when it is the bucket's slot). */
StringHashEntry* Find(const StringHashTable* table, const char* name, StringHashEntry** previous, int32_t* bucket)
{
    int32_t index = HashIndex(name, table->bucketCount);
    if (bucket)
        *bucket = index;
    StringHashEntry* before = nullptr;
    for (StringHashEntry* entry = table->buckets[index]; entry; before = entry, entry = entry->next) {
        if (entry->name && strcmp(entry->name, name) == 0) {
            if (previous)
                *previous = before;
            return entry;
        }
    }
    return nullptr;
}

} // namespace

int32_t HashIndex(const char* name, int32_t bucketCount)
{
    if (!name || bucketCount < 1)
        return -1;
    /* 64-bit arithmetic: h stays within (-count, count), so h * 26 + c
     * cannot overflow for any int32 count. */
    int64_t h = 0;
    for (const char* p = name; *p; p++)
        h = (h * 26 + static_cast<signed char>(*p)) % bucketCount;
    if (h < 0)
        h += bucketCount;
    return static_cast<int32_t>(h);
}

int HashInit(StringHashTable* table, int32_t bucketCount)
{
    if (!table)
        return VELMORA_FAILURE;
    table->bucketCount = 0;
    table->buckets = nullptr;
    if (bucketCount < 0)
        return VELMORA_FAILURE;
    if (bucketCount == 0)
        bucketCount = STRING_HASH_DEFAULT_BUCKETS;

    auto** buckets =
        static_cast<StringHashEntry**>(BriCalloc(static_cast<size_t>(bucketCount), sizeof(StringHashEntry*)));
    if (!buckets)
        return VELMORA_FAILURE;
    for (int32_t i = 0; i < bucketCount; i++) {
        buckets[i] = static_cast<StringHashEntry*>(BriCalloc(1, sizeof(StringHashEntry)));
        if (!buckets[i]) {
            for (int32_t j = 0; j < i; j++)
                free(buckets[j]);
            free(buckets);
            return VELMORA_FAILURE;
        }
    }
    table->bucketCount = bucketCount;
    table->buckets = buckets;
    return VELMORA_SUCCESS;
}

int HashPut(StringHashTable* table, const char* name, void* value)
{
    if (!Usable(table) || !name)
        return VELMORA_FAILURE;
    int32_t index;
    if (StringHashEntry* existing = Find(table, name, nullptr, &index)) {
        existing->value = value;
        return VELMORA_SUCCESS;
    }

    char* copy = BriStrdup(name);
    if (!copy)
        return VELMORA_ALLOC_FAILURE;
    StringHashEntry* slot = table->buckets[index];
    if (!slot->name) {
        /* An empty slot never has a chain (HashRemove moves the chain up). */
        slot->name = copy;
        slot->value = value;
        return VELMORA_SUCCESS;
    }
    auto* entry = static_cast<StringHashEntry*>(BriCalloc(1, sizeof(StringHashEntry)));
    if (!entry) {
        free(copy);
        return VELMORA_ALLOC_FAILURE;
    }
    entry->name = copy;
    entry->value = value;
    StringHashEntry* last = slot;
    while (last->next)
        last = last->next;
    last->next = entry;
    return VELMORA_SUCCESS;
}

int HashContains(const StringHashTable* table, const char* name) { return HashGetEntry(table, name) ? 1 : 0; }

void* HashGet(const StringHashTable* table, const char* name)
{
    StringHashEntry* entry = HashGetEntry(table, name);
    return entry ? entry->value : nullptr;
}

StringHashEntry* HashGetEntry(const StringHashTable* table, const char* name)
{
    if (!Usable(table) || !name)
        return nullptr;
    return Find(table, name, nullptr, nullptr);
}

int HashRemove(StringHashTable* table, const char* name)
{
    if (!Usable(table) || !name)
        return VELMORA_FAILURE;
    StringHashEntry* previous = nullptr;
    StringHashEntry* entry = Find(table, name, &previous, nullptr);
    if (!entry)
        return VELMORA_FAILURE;
    free(entry->name);
    if (previous) {
        previous->next = entry->next;
        free(entry);
    } else if (StringHashEntry* next = entry->next) {
        /* The slot stays preallocated: the second entry moves into it. */
        *entry = *next;
        free(next);
    } else {
        entry->name = nullptr;
        entry->value = nullptr;
    }
    return VELMORA_SUCCESS;
}

int32_t HashCount(const StringHashTable* table)
{
    if (!Usable(table))
        return 0;
    int32_t count = 0;
    for (int32_t i = 0; i < table->bucketCount; i++)
        for (StringHashEntry* entry = table->buckets[i]; entry; entry = entry->next)
            if (entry->name)
                count++;
    return count;
}

char** HashKeys(const StringHashTable* table)
{
    if (!table)
        return nullptr;
    int32_t count = HashCount(table);
    auto** keys = static_cast<char**>(BriCalloc(static_cast<size_t>(count) + 1, sizeof(char*)));
    if (!keys)
        return nullptr;
    int32_t n = 0;
    if (Usable(table))
        for (int32_t i = 0; i < table->bucketCount; i++)
            for (StringHashEntry* entry = table->buckets[i]; entry; entry = entry->next)
                if (entry->name)
                    keys[n++] = entry->name;
    keys[n] = nullptr;
    return keys;
}

void HashFree(StringHashTable* table)
{
    if (!table)
        return;
    if (table->buckets) {
        for (int32_t i = 0; i < table->bucketCount; i++) {
            StringHashEntry* entry = table->buckets[i];
            while (entry) {
                StringHashEntry* next = entry->next;
                free(entry->name);
                free(entry);
                entry = next;
            }
        }
        free(table->buckets);
    }
    table->buckets = nullptr;
    table->bucketCount = 0;
}

int HashMergeMissing(const StringHashTable* source, StringHashTable* destination)
{
    if (!source || !destination)
        return VELMORA_FAILURE;
    if (!Usable(source))
        return VELMORA_SUCCESS;
    if (!Usable(destination))
        return VELMORA_FAILURE;
    for (int32_t i = 0; i < source->bucketCount; i++) {
        for (StringHashEntry* entry = source->buckets[i]; entry; entry = entry->next) {
            if (!entry->name || HashContains(destination, entry->name))
                continue;
            int result = HashPut(destination, entry->name, entry->value);
            if (result != VELMORA_SUCCESS)
                return result;
        }
    }
    return VELMORA_SUCCESS;
}
