/*
 * Memory pools and their block allocator.
 *
 * A pool's blocks form a ring through next/ref; the active block is the one
 * allocations come from, and the blocks after it are kept in order of
 * decreasing free index, so that the block after the active one is the
 * emptiest. A block's ref points at the next field of the block before it
 * (in a ring or a list), which lets a block be unlinked without a walk.
 */
#include "velmora/mem_pool.h"

#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "velmora/base_alloc.h"

MemAllocator* gv_memAllocator;
MemPool* gv_rootPool;

namespace {

uint8_t g_initCount;

#ifdef TW_POOL_DEBUG
std::atomic<bool> g_debug{true};
#else
std::atomic<bool> g_debug{false};
#endif

constexpr size_t AlignUp(size_t size, size_t boundary) { return (size + boundary - 1) & ~(boundary - 1); }

constexpr size_t kPoolRecordSize = AlignUp(sizeof(MemPool), MEM_ALIGNMENT);

static_assert(sizeof(MemBlock) % MEM_ALIGNMENT == 0, "allocations after the header must stay 8-byte aligned");
static_assert(sizeof(void*) != 4 || sizeof(MemBlock) == 24, "the 32-bit block header is 24 bytes");
static_assert(sizeof(void*) != 4 || sizeof(MemAllocator) == 96, "the 32-bit allocator record is 96 bytes");

/* A separate allocation of debug mode: this header, then the caller's
 * bytes. Padded so that the caller's bytes keep malloc's alignment. */
struct alignas(16) DebugChunk {
    DebugChunk* next;
};

size_t FreeSpace(const MemBlock* block) { return static_cast<size_t>(block->endp - block->firstAvail); }

/* Inserts block into a ring just before point. */
void RingInsert(MemBlock* block, MemBlock* point)
{
    block->ref = point->ref;
    *block->ref = block;
    block->next = point;
    point->ref = &block->next;
}

void RingRemove(MemBlock* block)
{
    *block->ref = block->next;
    block->next->ref = block->ref;
}

/* Free space of a block in 4096-byte units, rounded down. */
uint32_t FreeIndexOf(const MemBlock* block)
{
    size_t space = AlignUp(FreeSpace(block) + 1, MEM_BOUNDARY_SIZE) - MEM_BOUNDARY_SIZE;
    return static_cast<uint32_t>(space >> MEM_BOUNDARY_INDEX);
}

void GiveBackAllowance(MemAllocator* allocator, const MemBlock* block)
{
    allocator->currentFreeIndex += block->index + 1;
    if (allocator->currentFreeIndex > allocator->maxFreeIndex)
        allocator->currentFreeIndex = allocator->maxFreeIndex;
}

MemBlock* PrepareTaken(MemBlock* block)
{
    block->next = nullptr;
    block->ref = nullptr;
    block->firstAvail = reinterpret_cast<char*>(block) + MEM_BLOCK_HEADER_SIZE;
    return block;
}

void FreeDebugChunks(MemPool* pool)
{
    auto* chunk = static_cast<DebugChunk*>(pool->debugAllocations);
    while (chunk) {
        DebugChunk* next = chunk->next;
        free(chunk);
        chunk = next;
    }
    pool->debugAllocations = nullptr;
}

void* DebugAlloc(MemPool* pool, size_t size)
{
    if (size > SIZE_MAX - sizeof(DebugChunk))
        return nullptr;
    /* The exact size, so that a write one byte past it is an overrun. */
    auto* chunk = static_cast<DebugChunk*>(BriMalloc(sizeof(DebugChunk) + (size ? size : 1)));
    if (!chunk)
        return nullptr;
    chunk->next = static_cast<DebugChunk*>(pool->debugAllocations);
    pool->debugAllocations = chunk;
    return chunk + 1;
}

} // namespace

/* ---- allocator ---------------------------------------------------------- */

int CreateMemAllocator(MemAllocator** allocator)
{
    if (!allocator)
        return VELMORA_FAILURE;
    *allocator = static_cast<MemAllocator*>(BriCalloc(1, sizeof(MemAllocator)));
    return *allocator ? VELMORA_SUCCESS : VELMORA_ALLOC_FAILURE;
}

void SetMemAllocatorOwner(MemAllocator* allocator, MemPool* pool)
{
    if (allocator)
        allocator->owner = pool;
}

MemPool* GetMemAllocatorOwner(const MemAllocator* allocator) { return allocator ? allocator->owner : nullptr; }

void SetMemAllocatorMaxFree(MemAllocator* allocator, size_t bytes)
{
    if (!allocator)
        return;
    size_t units = bytes / MEM_BOUNDARY_SIZE + (bytes % MEM_BOUNDARY_SIZE != 0);
    uint32_t maxFreeIndex = units > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(units);
    /* The allowance moves by the change of the maximum. */
    int64_t current = static_cast<int64_t>(allocator->currentFreeIndex) + maxFreeIndex - allocator->maxFreeIndex;
    if (current < 0)
        current = 0;
    if (current > maxFreeIndex)
        current = maxFreeIndex;
    allocator->currentFreeIndex = static_cast<uint32_t>(current);
    allocator->maxFreeIndex = maxFreeIndex;
}

MemBlock* MemAllocatorAlloc(MemAllocator* allocator, size_t size)
{
    if (!allocator || size > SIZE_MAX - MEM_BLOCK_HEADER_SIZE - MEM_BOUNDARY_SIZE)
        return nullptr;
    size_t blockSize = AlignUp(size + MEM_BLOCK_HEADER_SIZE, MEM_BOUNDARY_SIZE);
    if (blockSize < MEM_MIN_BLOCK_SIZE)
        blockSize = MEM_MIN_BLOCK_SIZE;
    size_t index = (blockSize >> MEM_BOUNDARY_INDEX) - 1;
    if (index > UINT32_MAX)
        return nullptr;

    if (index <= allocator->maxIndex) {
        /* The first non-empty list at index or above; maxIndex's list is
         * never empty, so one is found. */
        uint32_t i = static_cast<uint32_t>(index);
        while (!allocator->free[i] && i < allocator->maxIndex)
            i++;
        MemBlock* block = allocator->free[i];
        if (block) {
            allocator->free[i] = block->next;
            if (!block->next && i >= allocator->maxIndex) {
                uint32_t highest = i;
                while (highest > 0 && !allocator->free[highest])
                    highest--;
                allocator->maxIndex = highest;
            }
            GiveBackAllowance(allocator, block);
            return PrepareTaken(block);
        }
    } else if (allocator->free[0]) {
        /* List 0 is in ascending order: the first large enough is the best. */
        MemBlock** ref = &allocator->free[0];
        while (*ref && index > (*ref)->index)
            ref = &(*ref)->next;
        if (MemBlock* block = *ref) {
            *ref = block->next;
            GiveBackAllowance(allocator, block);
            return PrepareTaken(block);
        }
    }

    auto* block = static_cast<MemBlock*>(BriMalloc(blockSize));
    if (!block)
        return nullptr;
    block->index = static_cast<uint32_t>(index);
    block->freeIndex = 0;
    block->endp = reinterpret_cast<char*>(block) + blockSize;
    return PrepareTaken(block);
}

void MemAllocatorFree(MemAllocator* allocator, MemBlock* blocks)
{
    if (!allocator)
        return;
    uint32_t maxIndex = allocator->maxIndex;
    uint32_t current = allocator->currentFreeIndex;
    const uint32_t maxFree = allocator->maxFreeIndex;
    MemBlock* release = nullptr;

    for (MemBlock *block = blocks, *next; block; block = next) {
        next = block->next;
        const uint32_t index = block->index;
        if (maxFree != 0 && index + 1 > current) {
            /* The allowance is spent: back to the heap. */
            block->next = release;
            release = block;
            continue;
        }
        if (index < MEM_MAX_INDEX) {
            block->next = allocator->free[index];
            allocator->free[index] = block;
            if (index > maxIndex)
                maxIndex = index;
        } else {
            MemBlock** ref = &allocator->free[0];
            while (*ref && (*ref)->index < index)
                ref = &(*ref)->next;
            block->next = *ref;
            *ref = block;
        }
        current = current >= index + 1 ? current - (index + 1) : 0;
    }
    allocator->maxIndex = maxIndex;
    allocator->currentFreeIndex = current;

    while (release) {
        MemBlock* next = release->next;
        free(release);
        release = next;
    }
}

void DestroyMemAllocator(MemAllocator* allocator)
{
    if (!allocator)
        return;
    for (MemBlock*& list : allocator->free) {
        while (MemBlock* block = list) {
            list = block->next;
            free(block);
        }
    }
    free(allocator);
}

/* ---- pools -------------------------------------------------------------- */

int CreateMemPool(MemPool** out, MemPool* parent, MemAllocator* allocator)
{
    if (!out)
        return VELMORA_FAILURE;
    *out = nullptr;
    if (!parent)
        parent = gv_rootPool;
    if (!allocator && parent)
        allocator = parent->allocator;
    bool ownsAllocator = false;
    if (!allocator) {
        if (CreateMemAllocator(&allocator) != VELMORA_SUCCESS)
            return VELMORA_ALLOC_FAILURE;
        ownsAllocator = true;
    }

    MemBlock* block = MemAllocatorAlloc(allocator, MEM_MIN_BLOCK_SIZE - MEM_BLOCK_HEADER_SIZE);
    if (!block) {
        if (ownsAllocator)
            DestroyMemAllocator(allocator);
        return VELMORA_ALLOC_FAILURE;
    }
    block->next = block;
    block->ref = &block->next;

    auto* pool = reinterpret_cast<MemPool*>(block->firstAvail);
    block->firstAvail = pool->selfFirstAvail = reinterpret_cast<char*>(pool) + kPoolRecordSize;
    pool->allocator = allocator;
    pool->active = pool->self = block;
    pool->child = nullptr;
    pool->debugAllocations = nullptr;
    if ((pool->parent = parent) != nullptr) {
        if ((pool->sibling = parent->child) != nullptr)
            pool->sibling->ref = &pool->sibling;
        parent->child = pool;
        pool->ref = &parent->child;
    } else {
        pool->sibling = nullptr;
        pool->ref = nullptr;
    }
    if (ownsAllocator)
        allocator->owner = pool;
    *out = pool;
    return VELMORA_SUCCESS;
}

void* PoolAlloc(MemPool* pool, size_t size)
{
    if (!pool)
        return nullptr;
    if (g_debug.load(std::memory_order_relaxed))
        return DebugAlloc(pool, size);
    if (size > SIZE_MAX - MEM_ALIGNMENT)
        return nullptr;
    size = AlignUp(size, MEM_ALIGNMENT);

    MemBlock* active = pool->active;
    if (size <= FreeSpace(active)) {
        void* memory = active->firstAvail;
        active->firstAvail += size;
        return memory;
    }

    MemBlock* block = active->next;
    if (size <= FreeSpace(block)) {
        RingRemove(block);
    } else {
        block = MemAllocatorAlloc(pool->allocator, size);
        if (!block)
            return nullptr;
    }
    block->freeIndex = 0;
    void* memory = block->firstAvail;
    block->firstAvail += size;
    RingInsert(block, active);
    pool->active = block;

    /* The old active block moves back to its place in the order of
     * decreasing free index. The new active block has free index 0, so the
     * walk ends at the latest there. */
    const uint32_t freeIndex = FreeIndexOf(active);
    active->freeIndex = freeIndex;
    MemBlock* point = active->next;
    if (freeIndex >= point->freeIndex)
        return memory;
    do {
        point = point->next;
    } while (freeIndex < point->freeIndex);
    RingRemove(active);
    RingInsert(active, point);
    return memory;
}

int PoolMemdup(void** out, const void* bytes, size_t length, MemPool* pool)
{
    if (out)
        *out = nullptr;
    if (!out || !bytes || !pool || length == SIZE_MAX)
        return VELMORA_FAILURE;
    auto* copy = static_cast<char*>(PoolAlloc(pool, length + 1));
    if (!copy)
        return VELMORA_ALLOC_FAILURE;
    memset(copy, 0, length + 1);
    memcpy(copy, bytes, length);
    copy[length] = '\0';
    *out = copy;
    return VELMORA_SUCCESS;
}

int PoolStrdup(char** out, const char* string, MemPool* pool)
{
    if (out)
        *out = nullptr;
    if (!out || !string)
        return VELMORA_FAILURE;
    void* copy = nullptr;
    int result = PoolMemdup(&copy, string, strlen(string), pool);
    *out = static_cast<char*>(copy);
    return result;
}

void ClearMemPool(MemPool* pool)
{
    if (!pool)
        return;
    while (pool->child)
        DestroyMemPool(pool->child);
    FreeDebugChunks(pool);

    MemBlock* active = pool->active = pool->self;
    active->firstAvail = pool->selfFirstAvail;
    if (active->next == active)
        return;
    /* Cut the ring before the own block: the other blocks form a chain. */
    *active->ref = nullptr;
    MemAllocatorFree(pool->allocator, active->next);
    active->next = active;
    active->ref = &active->next;
}

void DestroyMemPool(MemPool* pool)
{
    if (!pool)
        return;
    while (pool->child)
        DestroyMemPool(pool->child);
    FreeDebugChunks(pool);

    if (pool->parent) {
        if ((*pool->ref = pool->sibling) != nullptr)
            pool->sibling->ref = pool->ref;
    }
    if (pool == gv_rootPool) {
        /* Destroyed directly rather than by TerminateMemPool. */
        gv_rootPool = nullptr;
        if (gv_memAllocator == pool->allocator)
            gv_memAllocator = nullptr;
        g_initCount = 0;
    }

    /* The record lives in its own block: read what is needed first. */
    MemAllocator* allocator = pool->allocator;
    const bool ownsAllocator = allocator->owner == pool;
    MemBlock* self = pool->self;
    *self->ref = nullptr;
    MemAllocatorFree(allocator, self);
    if (ownsAllocator)
        DestroyMemAllocator(allocator);
}

int IsPoolAncestor(const MemPool* a, const MemPool* b)
{
    if (!a)
        return 1;
    for (; b; b = b->parent)
        if (a == b)
            return 1;
    return 0;
}

/* ---- process-wide pool -------------------------------------------------- */

int InitializeMemPool(void)
{
    if (g_initCount == UINT8_MAX)
        return VELMORA_FAILURE;
    if (g_initCount++ > 0)
        return VELMORA_SUCCESS;

    MemAllocator* allocator = nullptr;
    int result = CreateMemAllocator(&allocator);
    if (result != VELMORA_SUCCESS) {
        g_initCount = 0;
        return result;
    }
    MemPool* root = nullptr;
    /* gv_rootPool is null here, so the new pool has no parent. */
    result = CreateMemPool(&root, nullptr, allocator);
    if (result != VELMORA_SUCCESS) {
        DestroyMemAllocator(allocator);
        g_initCount = 0;
        return result;
    }
    SetMemAllocatorOwner(allocator, root);
    gv_memAllocator = allocator;
    gv_rootPool = root;
    return VELMORA_SUCCESS;
}

void TerminateMemPool(void)
{
    if (g_initCount == 0)
        return;
    if (--g_initCount > 0)
        return;
    MemPool* root = gv_rootPool;
    gv_rootPool = nullptr;
    gv_memAllocator = nullptr;
    DestroyMemPool(root);
}

void SetMemPoolDebug(int enabled) { g_debug.store(enabled != 0, std::memory_order_relaxed); }

int GetMemPoolDebug(void) { return g_debug.load(std::memory_order_relaxed) ? 1 : 0; }
