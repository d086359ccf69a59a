/*
 * The allocation seam of the data-store base.
 *
 * Every allocation made by the list, the string hash table, the string
 * routines, the memory pools and the date records goes through BriMalloc or
 * BriCalloc. By default they are the C library's malloc and calloc. A test
 * replaces them with its own functions (for example one that fails the n-th
 * call) through SetBriAllocHooks and restores the defaults by passing nulls.
 *
 * Whatever a hook returns must be releasable with the C library's free: the
 * data store hands such memory to its callers, who release it with free.
 * There is therefore no free hook.
 *
 * The hooks are process-wide. Installing them is thread-safe, but a test that
 * counts calls should install them while no other thread allocates.
 */
#ifndef VELMORA_BASE_ALLOC_H
#define VELMORA_BASE_ALLOC_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void* (*BriMallocHook)(size_t size);
typedef void* (*BriCallocHook)(size_t count, size_t size);

/* Installs the two hooks; a null argument restores that one's default
 * (malloc or calloc). */
void SetBriAllocHooks(BriMallocHook mallocHook, BriCallocHook callocHook);

/* malloc and calloc through the installed hooks. BriCalloc returns null
 * when count * size overflows, without calling the hook. */
void* BriMalloc(size_t size);
void* BriCalloc(size_t count, size_t size);

/* A heap copy of a NUL-terminated string through BriMalloc; null for a
 * null string or when the allocation fails. */
char* BriStrdup(const char* text);

#ifdef __cplusplus
}
#endif
#endif
