#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <map>
#include <random>
#include <vector>

#include "velmora/mem_pool.h"

namespace {

// Each test runs in its own process: the globals start empty, and the debug
// switch is set explicitly where a test depends on the block layout.
class MemPoolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMemPoolDebug(0);
        ASSERT_EQ(InitializeMemPool(), 1);
    }
    void TearDown() override { TerminateMemPool(); }
};

// The block whose first allocation this is.
MemBlock* BlockOf(void* firstAllocation)
{
    return reinterpret_cast<MemBlock*>(static_cast<char*>(firstAllocation) - MEM_BLOCK_HEADER_SIZE);
}

size_t BlockSize(const MemBlock* block)
{
    return static_cast<size_t>(block->endp - reinterpret_cast<const char*>(block));
}

bool Inside(const void* p, const MemBlock* block)
{
    const char* c = static_cast<const char*>(p);
    return c >= reinterpret_cast<const char*>(block) && c < block->endp;
}

int CountFree(const MemAllocator* allocator, int list)
{
    int n = 0;
    for (MemBlock* block = allocator->free[list]; block; block = block->next)
        n++;
    return n;
}

TEST(MemPoolLayoutTest, HeaderAndUsableSpace)
{
    if (sizeof(void*) == 4) {
        EXPECT_EQ(MEM_BLOCK_HEADER_SIZE, 24u);
        EXPECT_EQ(MEM_MIN_BLOCK_USABLE, 8168u);
        EXPECT_EQ(sizeof(MemAllocator), 96u);
    }
    EXPECT_EQ(MEM_MIN_BLOCK_USABLE, MEM_MIN_BLOCK_SIZE - MEM_BLOCK_HEADER_SIZE);
    EXPECT_EQ(MEM_BLOCK_HEADER_SIZE % 8, 0u);
}

TEST_F(MemPoolTest, InitializeCreatesTheRootAndTheAllocator)
{
    ASSERT_NE(gv_rootPool, nullptr);
    ASSERT_NE(gv_memAllocator, nullptr);
    EXPECT_EQ(gv_rootPool->allocator, gv_memAllocator);
    EXPECT_EQ(GetMemAllocatorOwner(gv_memAllocator), gv_rootPool);
    EXPECT_EQ(gv_rootPool->parent, nullptr);
    // The pool record lives at the start of its own first block.
    EXPECT_EQ(reinterpret_cast<char*>(gv_rootPool), reinterpret_cast<char*>(gv_rootPool->self) + MEM_BLOCK_HEADER_SIZE);
    EXPECT_EQ(BlockSize(gv_rootPool->self), MEM_MIN_BLOCK_SIZE);
    EXPECT_EQ(gv_rootPool->self->index, 1u);
}

TEST(MemPoolInitTest, TwoInitialisationsNeedTwoTerminations)
{
    ASSERT_EQ(InitializeMemPool(), 1);
    MemPool* root = gv_rootPool;
    ASSERT_EQ(InitializeMemPool(), 1);
    EXPECT_EQ(gv_rootPool, root); // the second call creates nothing
    TerminateMemPool();
    EXPECT_EQ(gv_rootPool, root);
    EXPECT_NE(PoolAlloc(gv_rootPool, 16), nullptr);
    TerminateMemPool();
    EXPECT_EQ(gv_rootPool, nullptr);
    EXPECT_EQ(gv_memAllocator, nullptr);
    TerminateMemPool();                // one too many: nothing happens
    ASSERT_EQ(InitializeMemPool(), 1); // and it starts again
    EXPECT_NE(gv_rootPool, nullptr);
    TerminateMemPool();
}

TEST_F(MemPoolTest, OneByteThenSevenBytesAreEightApart)
{
    MemPool* pool = nullptr;
    ASSERT_EQ(CreateMemPool(&pool, nullptr, nullptr), 1);
    char* a = static_cast<char*>(PoolAlloc(pool, 1));
    char* b = static_cast<char*>(PoolAlloc(pool, 7));
    char* c = static_cast<char*>(PoolAlloc(pool, 9));
    char* d = static_cast<char*>(PoolAlloc(pool, 8));
    EXPECT_EQ(b - a, 8);
    EXPECT_EQ(c - b, 8);
    EXPECT_EQ(d - c, 16);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 8, 0u);
    // The first allocation follows the pool record.
    EXPECT_EQ(a, pool->selfFirstAvail);
    DestroyMemPool(pool);
}

TEST_F(MemPoolTest, ALargeRequestGetsItsOwnBlock)
{
    MemPool* pool = nullptr;
    ASSERT_EQ(CreateMemPool(&pool, nullptr, nullptr), 1);
    void* small = PoolAlloc(pool, 8);

    // MEM_MIN_BLOCK_USABLE (8168 on the 32-bit target) fills a minimum block.
    void* fits = PoolAlloc(pool, MEM_MIN_BLOCK_USABLE);
    MemBlock* fitsBlock = BlockOf(fits);
    EXPECT_EQ(pool->active, fitsBlock);
    EXPECT_EQ(BlockSize(fitsBlock), MEM_MIN_BLOCK_SIZE);
    EXPECT_EQ(fitsBlock->firstAvail, fitsBlock->endp);

    // One byte more needs the next 4096-byte multiple.
    void* large = PoolAlloc(pool, MEM_MIN_BLOCK_USABLE + 1);
    MemBlock* largeBlock = BlockOf(large);
    EXPECT_EQ(pool->active, largeBlock);
    EXPECT_EQ(BlockSize(largeBlock), MEM_MIN_BLOCK_SIZE + MEM_BOUNDARY_SIZE);
    EXPECT_EQ(largeBlock->index, 2u);
    EXPECT_FALSE(Inside(large, pool->self));

    void* huge = PoolAlloc(pool, 100000);
    EXPECT_EQ(BlockSize(BlockOf(huge)), 102400u); // 100000 + header -> 25 * 4096
    EXPECT_TRUE(Inside(small, pool->self));
    DestroyMemPool(pool);
}

// After any sequence of allocations: every allocation lies inside one of the
// pool's blocks, none overlaps another (each keeps the bytes written into
// it), and the blocks after the active one are in order of decreasing free
// index.
TEST_F(MemPoolTest, RingStaysOrderedAndAllocationsStayIntact)
{
    MemPool* pool = nullptr;
    ASSERT_EQ(CreateMemPool(&pool, nullptr, nullptr), 1);
    std::mt19937 random(99);
    struct Allocation {
        unsigned char* p;
        size_t size;
        unsigned char fill;
    };
    std::vector<Allocation> allocations;
    for (int round = 0; round < 3; round++) {
        allocations.clear();
        for (int i = 0; i < 2000; i++) {
            size_t size = random() % 10 == 0 ? 1 + random() % 20000 : 1 + random() % 300;
            auto* p = static_cast<unsigned char*>(PoolAlloc(pool, size));
            ASSERT_NE(p, nullptr);
            ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
            unsigned char fill = static_cast<unsigned char>(i * 31 + 7);
            memset(p, fill, size);
            allocations.push_back({p, size, fill});

            MemBlock* active = pool->active;
            for (MemBlock* block = active->next; block->next != active; block = block->next)
                ASSERT_GE(block->freeIndex, block->next->freeIndex);
        }
        std::vector<MemBlock*> blocks;
        MemBlock* block = pool->active;
        do {
            blocks.push_back(block);
            EXPECT_EQ(*block->ref, block); // ref points at the field that points here
            block = block->next;
        } while (block != pool->active);
        for (const Allocation& a : allocations) {
            bool inside = false;
            for (MemBlock* b : blocks)
                inside = inside || (Inside(a.p, b) && a.p + a.size <= reinterpret_cast<unsigned char*>(b->firstAvail));
            ASSERT_TRUE(inside);
            for (size_t k = 0; k < a.size; k++)
                ASSERT_EQ(a.p[k], a.fill);
        }
        ClearMemPool(pool);
    }
    DestroyMemPool(pool);
}

TEST_F(MemPoolTest, ClearKeepsThePoolUsable)
{
    MemPool* pool = nullptr;
    ASSERT_EQ(CreateMemPool(&pool, nullptr, nullptr), 1);
    void* first = PoolAlloc(pool, 100);
    for (int i = 0; i < 10; i++)
        ASSERT_NE(PoolAlloc(pool, 5000), nullptr);
    ASSERT_NE(pool->active, pool->self);
    MemPool* child = nullptr;
    ASSERT_EQ(CreateMemPool(&child, pool, nullptr), 1);

    ClearMemPool(pool);
    EXPECT_EQ(pool->child, nullptr); // children are destroyed
    EXPECT_EQ(pool->active, pool->self);
    EXPECT_EQ(pool->self->next, pool->self);
    EXPECT_EQ(pool->self->firstAvail, pool->selfFirstAvail);
    // The other blocks went back to the allocator's free lists.
    EXPECT_GT(CountFree(pool->allocator, 1), 0);
    EXPECT_EQ(PoolAlloc(pool, 100), first);
    for (int i = 0; i < 10; i++)
        ASSERT_NE(PoolAlloc(pool, 5000), nullptr);
    DestroyMemPool(pool);
}

TEST_F(MemPoolTest, CreateLinksTheChildFirst)
{
    MemPool *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_EQ(CreateMemPool(&a, nullptr, nullptr), 1);
    ASSERT_EQ(CreateMemPool(&b, nullptr, nullptr), 1);
    ASSERT_EQ(CreateMemPool(&c, a, nullptr), 1);
    EXPECT_EQ(a->parent, gv_rootPool); // null parent: the root
    EXPECT_EQ(gv_rootPool->child, b);  // the newest child first
    EXPECT_EQ(b->sibling, a);
    EXPECT_EQ(a->child, c);
    EXPECT_EQ(c->allocator, gv_memAllocator); // null allocator: the parent's

    DestroyMemPool(b); // the first child: the root's list now starts at a
    EXPECT_EQ(gv_rootPool->child, a);
    EXPECT_EQ(a->ref, &gv_rootPool->child);
    DestroyMemPool(a);
    EXPECT_EQ(gv_rootPool->child, nullptr);
}

TEST_F(MemPoolTest, DestroyingAParentDestroysItsChildren)
{
    MemPool *parent = nullptr, *child = nullptr, *grandchild = nullptr, *sibling = nullptr;
    ASSERT_EQ(CreateMemPool(&parent, nullptr, nullptr), 1);
    ASSERT_EQ(CreateMemPool(&sibling, nullptr, nullptr), 1);
    ASSERT_EQ(CreateMemPool(&child, parent, nullptr), 1);
    ASSERT_EQ(CreateMemPool(&grandchild, child, nullptr), 1);
    ASSERT_NE(PoolAlloc(grandchild, 20000), nullptr);
    EXPECT_EQ(CountFree(gv_memAllocator, 1), 0);

    DestroyMemPool(parent);
    // Three own blocks (index 1) and the grandchild's block of 20480 bytes
    // (index 4) are back in the allocator; the sibling is untouched.
    EXPECT_EQ(CountFree(gv_memAllocator, 1), 3);
    EXPECT_EQ(CountFree(gv_memAllocator, 4), 1);
    EXPECT_EQ(gv_rootPool->child, sibling);
    EXPECT_EQ(sibling->sibling, nullptr);
    EXPECT_NE(PoolAlloc(sibling, 10), nullptr);
}

TEST_F(MemPoolTest, IsPoolAncestor)
{
    MemPool *a = nullptr, *b = nullptr, *other = nullptr;
    ASSERT_EQ(CreateMemPool(&a, nullptr, nullptr), 1);
    ASSERT_EQ(CreateMemPool(&b, a, nullptr), 1);
    ASSERT_EQ(CreateMemPool(&other, nullptr, nullptr), 1);
    EXPECT_EQ(IsPoolAncestor(nullptr, b), 1);
    EXPECT_EQ(IsPoolAncestor(b, b), 1);
    EXPECT_EQ(IsPoolAncestor(a, b), 1);
    EXPECT_EQ(IsPoolAncestor(gv_rootPool, b), 1);
    EXPECT_EQ(IsPoolAncestor(b, a), 0);
    EXPECT_EQ(IsPoolAncestor(other, b), 0);
    EXPECT_EQ(IsPoolAncestor(a, nullptr), 0);
}

TEST_F(MemPoolTest, MemdupAndStrdupTerminate)
{
    MemPool* pool = gv_rootPool;
    void* bytes = nullptr;
    const char data[] = {'a', 'b', 'c'};
    ASSERT_EQ(PoolMemdup(&bytes, data, sizeof data, pool), 1);
    EXPECT_EQ(memcmp(bytes, "abc", 4), 0);
    char* text = nullptr;
    ASSERT_EQ(PoolStrdup(&text, "hello", pool), 1);
    EXPECT_STREQ(text, "hello");
    ASSERT_EQ(PoolMemdup(&bytes, data, 0, pool), 1);
    EXPECT_EQ(static_cast<char*>(bytes)[0], '\0');

    EXPECT_EQ(PoolStrdup(&text, nullptr, pool), 0);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(PoolStrdup(&text, "x", nullptr), 0);
    EXPECT_EQ(PoolMemdup(nullptr, data, 1, pool), 0);
    EXPECT_EQ(PoolAlloc(nullptr, 1), nullptr);
}

TEST_F(MemPoolTest, NullArgumentsAreHarmless)
{
    EXPECT_EQ(CreateMemPool(nullptr, nullptr, nullptr), 0);
    ClearMemPool(nullptr);
    DestroyMemPool(nullptr);
    EXPECT_EQ(CreateMemAllocator(nullptr), 0);
    SetMemAllocatorOwner(nullptr, nullptr);
    EXPECT_EQ(GetMemAllocatorOwner(nullptr), nullptr);
    SetMemAllocatorMaxFree(nullptr, 1);
    EXPECT_EQ(MemAllocatorAlloc(nullptr, 1), nullptr);
    MemAllocatorFree(nullptr, nullptr);
    DestroyMemAllocator(nullptr);
    EXPECT_EQ(PoolAlloc(gv_rootPool, SIZE_MAX), nullptr);
    EXPECT_EQ(PoolAlloc(gv_rootPool, SIZE_MAX - 100), nullptr);
}

TEST(MemAllocatorTest, BlocksAreReusedFromTheFreeLists)
{
    MemAllocator* allocator = nullptr;
    ASSERT_EQ(CreateMemAllocator(&allocator), 1);
    MemBlock* small = MemAllocatorAlloc(allocator, 100);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->index, 1u);
    EXPECT_EQ(BlockSize(small), 8192u);
    EXPECT_EQ(small->firstAvail, reinterpret_cast<char*>(small) + MEM_BLOCK_HEADER_SIZE);
    MemBlock* medium = MemAllocatorAlloc(allocator, 5 * 4096);
    EXPECT_EQ(medium->index, 5u);

    small->firstAvail += 64;
    small->next = medium;
    medium->next = nullptr;
    MemAllocatorFree(allocator, small);
    EXPECT_EQ(allocator->maxIndex, 5u);
    EXPECT_EQ(allocator->free[1], small);
    EXPECT_EQ(allocator->free[5], medium);

    // The same size comes back from its list, reset.
    MemBlock* again = MemAllocatorAlloc(allocator, 100);
    EXPECT_EQ(again, small);
    EXPECT_EQ(again->firstAvail, reinterpret_cast<char*>(again) + MEM_BLOCK_HEADER_SIZE);
    EXPECT_EQ(again->next, nullptr);
    // A request of index 2 takes the first non-empty list above: index 5.
    MemBlock* bigger = MemAllocatorAlloc(allocator, 9000);
    EXPECT_EQ(bigger, medium);
    EXPECT_EQ(allocator->maxIndex, 0u); // every list 1-19 is empty again

    again->next = bigger;
    bigger->next = nullptr;
    MemAllocatorFree(allocator, again);
    DestroyMemAllocator(allocator);
}

TEST(MemAllocatorTest, ListZeroHoldsLargeBlocksInAscendingOrder)
{
    MemAllocator* allocator = nullptr;
    ASSERT_EQ(CreateMemAllocator(&allocator), 1);
    MemBlock* b30 = MemAllocatorAlloc(allocator, 30 * 4096 - 100);
    MemBlock* b50 = MemAllocatorAlloc(allocator, 50 * 4096 - 100);
    MemBlock* b25 = MemAllocatorAlloc(allocator, 25 * 4096 - 100);
    ASSERT_EQ(b30->index, 29u);
    ASSERT_EQ(b50->index, 49u);
    ASSERT_EQ(b25->index, 24u);
    b50->next = b25;
    b25->next = b30;
    b30->next = nullptr;
    MemAllocatorFree(allocator, b50);
    EXPECT_EQ(allocator->free[0], b25);
    EXPECT_EQ(b25->next, b30);
    EXPECT_EQ(b30->next, b50);
    EXPECT_EQ(allocator->maxIndex, 0u);

    // The smallest block that is large enough.
    EXPECT_EQ(MemAllocatorAlloc(allocator, 27 * 4096), b30);
    EXPECT_EQ(allocator->free[0], b25);
    EXPECT_EQ(b25->next, b50);
    MemBlock* fresh = MemAllocatorAlloc(allocator, 60 * 4096);
    EXPECT_NE(fresh, b50);
    fresh->next = b30;
    b30->next = nullptr;
    MemAllocatorFree(allocator, fresh);
    DestroyMemAllocator(allocator);
}

TEST(MemAllocatorTest, MaximumCachedBytesIsRespected)
{
    MemAllocator* allocator = nullptr;
    ASSERT_EQ(CreateMemAllocator(&allocator), 1);
    SetMemAllocatorMaxFree(allocator, 16385); // rounded up: 5 units
    EXPECT_EQ(allocator->maxFreeIndex, 5u);
    EXPECT_EQ(allocator->currentFreeIndex, 5u);

    MemBlock* blocks[3];
    for (MemBlock*& block : blocks)
        block = MemAllocatorAlloc(allocator, 100); // 2 units each
    for (int i = 0; i < 2; i++)
        blocks[i]->next = blocks[i + 1];
    blocks[2]->next = nullptr;
    MemAllocatorFree(allocator, blocks[0]);
    // Two blocks (4 units) fit the allowance of 5; the third went to the heap.
    EXPECT_EQ(CountFree(allocator, 1), 2);
    EXPECT_EQ(allocator->currentFreeIndex, 1u);

    // Taking a block gives its units back, capped at the maximum.
    MemBlock* taken = MemAllocatorAlloc(allocator, 100);
    EXPECT_EQ(allocator->currentFreeIndex, 3u);
    MemAllocatorFree(allocator, taken);
    SetMemAllocatorMaxFree(allocator, 0); // unlimited
    EXPECT_EQ(allocator->maxFreeIndex, 0u);
    DestroyMemAllocator(allocator);
}

TEST(MemPoolStandaloneTest, APoolWithoutRootOwnsItsAllocator)
{
    SetMemPoolDebug(0);
    ASSERT_EQ(gv_rootPool, nullptr);
    MemPool* pool = nullptr;
    ASSERT_EQ(CreateMemPool(&pool, nullptr, nullptr), 1);
    EXPECT_EQ(pool->parent, nullptr);
    EXPECT_EQ(GetMemAllocatorOwner(pool->allocator), pool);
    MemPool* child = nullptr;
    ASSERT_EQ(CreateMemPool(&child, pool, nullptr), 1);
    EXPECT_EQ(child->allocator, pool->allocator);
    ASSERT_NE(PoolAlloc(child, 50000), nullptr);
    DestroyMemPool(pool); // frees the child, the blocks and the allocator
}

TEST(MemPoolStandaloneTest, DestroyingTheRootDirectlyClearsTheGlobals)
{
    SetMemPoolDebug(0);
    ASSERT_EQ(InitializeMemPool(), 1);
    DestroyMemPool(gv_rootPool);
    EXPECT_EQ(gv_rootPool, nullptr);
    EXPECT_EQ(gv_memAllocator, nullptr);
    TerminateMemPool(); // nothing left to do
    ASSERT_EQ(InitializeMemPool(), 1);
    TerminateMemPool();
}

// The debug switch: every allocation is its own heap block, released by the
// pool's clear or destroy (the leak checker of the ASan build verifies that).
TEST(MemPoolDebugTest, EveryAllocationIsASeparateBlock)
{
    SetMemPoolDebug(1);
    EXPECT_EQ(GetMemPoolDebug(), 1);
    ASSERT_EQ(InitializeMemPool(), 1);
    MemPool* pool = nullptr;
    ASSERT_EQ(CreateMemPool(&pool, nullptr, nullptr), 1);
    char* a = static_cast<char*>(PoolAlloc(pool, 1));
    char* b = static_cast<char*>(PoolAlloc(pool, 7));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(Inside(a, pool->self));
    EXPECT_FALSE(Inside(b, pool->self));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 8, 0u);
    EXPECT_EQ(pool->self->firstAvail, pool->selfFirstAvail); // the block is not used
    char* text = nullptr;
    ASSERT_EQ(PoolStrdup(&text, "debug", pool), 1);
    EXPECT_STREQ(text, "debug");
    EXPECT_NE(PoolAlloc(pool, 0), nullptr);

    ClearMemPool(pool);
    EXPECT_EQ(pool->debugAllocations, nullptr);
    ASSERT_NE(PoolAlloc(pool, 10), nullptr);
    MemPool* child = nullptr;
    ASSERT_EQ(CreateMemPool(&child, pool, nullptr), 1);
    ASSERT_NE(PoolAlloc(child, 10), nullptr);

    // Switching back mid-way: each allocation is released as it was made.
    SetMemPoolDebug(0);
    ASSERT_NE(PoolAlloc(pool, 10), nullptr);
    TerminateMemPool();
}

#if defined(__SANITIZE_ADDRESS__)
#define TW_HAVE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TW_HAVE_ASAN 1
#endif
#endif

#ifdef TW_HAVE_ASAN
TEST(MemPoolDebugDeathTest, TheSanitizerSeesAnOverrunInsideAPool)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            SetMemPoolDebug(1);
            InitializeMemPool();
            char* p = static_cast<char*>(PoolAlloc(gv_rootPool, 10));
            volatile char* q = p;
            q[10] = 'x';
        },
        "heap-buffer-overflow");
}

TEST(MemPoolDebugDeathTest, TheSanitizerSeesUseAfterClear)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            SetMemPoolDebug(1);
            InitializeMemPool();
            char* p = static_cast<char*>(PoolAlloc(gv_rootPool, 10));
            ClearMemPool(gv_rootPool);
            volatile char* q = p;
            q[0] = 'x';
        },
        "heap-use-after-free");
}
#endif

} // namespace
