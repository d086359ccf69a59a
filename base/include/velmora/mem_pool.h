/*
 * Memory pools.
 *
 * A pool hands out memory by bumping a pointer inside large blocks and
 * releases everything at once when it is cleared or destroyed. Pools form a
 * tree: clearing or destroying a pool destroys its children first. Blocks
 * come from a MemAllocator that caches returned blocks in 20 free lists.
 *
 * Blocks: heap blocks whose size is a multiple of 4096 bytes, at least 8192,
 * starting with a MemBlock header. The header is 24 bytes on the 32-bit
 * target the system ships for (usable space of a minimum block: 8168 bytes);
 * where pointers are 8 bytes it is MEM_BLOCK_HEADER_SIZE (40) bytes, and the
 * usable space shrinks accordingly. Allocations are rounded up to multiples
 * of 8 bytes and are 8-byte aligned.
 *
 * Process-wide: gv_memAllocator and gv_rootPool, created by the first
 * InitializeMemPool and destroyed by the matching last TerminateMemPool.
 *
 * Pools and allocators take no locks: use a pool (and the pools sharing its
 * allocator) from one thread at a time.
 *
 * Debugging: when the pool debug switch is on (SetMemPoolDebug, default from
 * the CMake option TW_POOL_DEBUG), every PoolAlloc is a separate heap block
 * released by the pool's clear or destroy, so that the address sanitizer sees
 * overruns, use after clear and leaks of pool memory. The switch may be
 * changed at any time: each allocation is released the way it was made.
 *
 * Results: 1 (VELMORA_SUCCESS), 0 (VELMORA_FAILURE), 99
 * (VELMORA_ALLOC_FAILURE). Null arguments are failures, never crashes.
 */
#ifndef VELMORA_MEM_POOL_H
#define VELMORA_MEM_POOL_H

#include <stddef.h>
#include <stdint.h>

#include "velmora/result.h"

#ifdef __cplusplus
extern "C" {
#endif

#define MEM_BOUNDARY_INDEX 12
#define MEM_BOUNDARY_SIZE 4096u /* block sizes are multiples of this */
#define MEM_MIN_BLOCK_SIZE 8192u
#define MEM_MAX_INDEX 20 /* free lists of an allocator */
#define MEM_ALIGNMENT 8u /* PoolAlloc rounds sizes up to this */

/* A block header, at the start of the block. */
typedef struct MemBlock {
    struct MemBlock* next; /* next block in a pool's ring or a free list */
    struct MemBlock** ref; /* the field that points at this block */
    uint32_t index;        /* size / 4096 - 1 */
    uint32_t freeIndex;    /* remaining free space in 4096-byte units */
    char* firstAvail;      /* first free byte */
    char* endp;            /* one past the block's last byte */
} MemBlock;

#define MEM_BLOCK_HEADER_SIZE ((uint32_t)sizeof(MemBlock))
/* Usable bytes of a minimum block: 8168 on the 32-bit target. */
#define MEM_MIN_BLOCK_USABLE (MEM_MIN_BLOCK_SIZE - MEM_BLOCK_HEADER_SIZE)

struct MemPool;

typedef struct MemAllocator {
    uint32_t maxIndex;             /* highest index of a non-empty free list */
    uint32_t maxFreeIndex;         /* most 4096-byte units to keep cached; 0: unlimited */
    uint32_t currentFreeIndex;     /* units that may still be cached */
    struct MemPool* owner;         /* pool whose destruction destroys the allocator */
    MemBlock* free[MEM_MAX_INDEX]; /* list i (1-19): blocks of index i; list 0: larger blocks, ascending */
} MemAllocator;

typedef struct MemPool {
    struct MemPool* parent;  /* null for a root pool */
    struct MemPool* sibling; /* next child of the same parent */
    struct MemPool** ref;    /* the field that points at this pool */
    struct MemPool* child;   /* first child */
    MemAllocator* allocator;
    MemBlock* active;       /* the block allocations come from */
    MemBlock* self;         /* the block holding this record */
    char* selfFirstAvail;   /* first free byte of self after the record */
    void* debugAllocations; /* separate allocations made in debug mode */
} MemPool;

/* The process-wide allocator and root pool (null until InitializeMemPool). */
extern MemAllocator* gv_memAllocator;
extern MemPool* gv_rootPool;

/* Counts the call; the first one creates gv_memAllocator and gv_rootPool
 * and makes the root pool the allocator's owner. 1 on success; on failure
 * the creation's result (99), with the count reset to 0 and nothing
 * created. 0 when the count (255 at most) is full. */
int InitializeMemPool(void);

/* Counts one call off; the call that brings the count to 0 destroys the
 * root pool (and with it every pool below it and the allocator) and clears
 * both globals. Without a matching initialisation it does nothing. */
void TerminateMemPool(void);

/* Creates a pool as the first child of parent (gv_rootPool when null) that
 * takes its blocks from allocator (the parent's when null). With neither a
 * parent nor a root pool the new pool is a root of its own, and with no
 * allocator either it creates one that it owns. 1 on success, 99 when a
 * block cannot be had (*pool is then null), 0 for a null out pointer. */
int CreateMemPool(MemPool** pool, MemPool* parent, MemAllocator* allocator);

/* size bytes from the pool (not zeroed), rounded up to a multiple of 8.
 * Null for a null pool or when no block can be had. */
void* PoolAlloc(MemPool* pool, size_t size);

/* Copies of bytes (length + 1 zeroed bytes, the copy, a terminator) and of a
 * string, allocated from the pool. 1 on success; 99 when the pool cannot
 * allocate; 0 for null arguments. *out is null on failure. */
int PoolMemdup(void** out, const void* bytes, size_t length, MemPool* pool);
int PoolStrdup(char** out, const char* string, MemPool* pool);

/* Destroys every child, makes the pool's own block the active one again
 * (just after the pool record) and returns every other block to the
 * allocator. The pool stays usable; earlier pointers from it are not. */
void ClearMemPool(MemPool* pool);

/* Destroys every child, unlinks the pool from its parent and returns all of
 * its blocks, the one holding the record included, to the allocator; then
 * destroys the allocator when the pool owns it. */
void DestroyMemPool(MemPool* pool);

/* 1 when a is null, is b, or is an ancestor of b; else 0. */
int IsPoolAncestor(const MemPool* a, const MemPool* b);

/* The allocator on its own. */

/* A new zeroed allocator (unlimited cache, no owner). 1 or 99; 0 for a null
 * out pointer. */
int CreateMemAllocator(MemAllocator** allocator);
void SetMemAllocatorOwner(MemAllocator* allocator, MemPool* pool);
MemPool* GetMemAllocatorOwner(const MemAllocator* allocator);
/* At most bytes (rounded up to 4096-byte units) stay cached; 0: unlimited. */
void SetMemAllocatorMaxFree(MemAllocator* allocator, size_t bytes);
/* A block of at least size usable bytes: from the free lists when one fits,
 * else from the heap. Null when it cannot be had. */
MemBlock* MemAllocatorAlloc(MemAllocator* allocator, size_t size);
/* Returns a chain of blocks (linked by next, ended by null): each is cached
 * while the allowance lasts, else freed. */
void MemAllocatorFree(MemAllocator* allocator, MemBlock* blocks);
/* Frees every cached block and the allocator. */
void DestroyMemAllocator(MemAllocator* allocator);

/* The debug switch (see above): nonzero makes every later PoolAlloc a
 * separate heap block. */
void SetMemPoolDebug(int enabled);
int GetMemPoolDebug(void);

#ifdef __cplusplus
}
#endif
#endif
