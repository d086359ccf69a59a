// Every allocation of every operation fails once: the operation returns the
// documented failure value, the structure is unchanged and usable afterwards, and
// nothing leaks (the leak checker of the ASan build fails the test process
// otherwise).
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "fault_injection.h"
#include "velmora/base.h"

namespace {

void* Int(intptr_t value) { return reinterpret_cast<void*>(value); }

signed char CompareInts(const LCDNode* added, const LCDNode* existing)
{
    intptr_t a = reinterpret_cast<intptr_t>(added->data), b = reinterpret_cast<intptr_t>(existing->data);
    return a < b ? -1 : (a > b ? 1 : 0);
}

std::vector<intptr_t> Contents(const LCDVector& vector)
{
    std::vector<intptr_t> values;
    for (LCDNode* node = vector.head; node; node = node->next)
        values.push_back(reinterpret_cast<intptr_t>(node->data));
    return values;
}

TEST(FaultInjectionTest, TheSeamCountsAndFails)
{
    {
        FailingAllocations faults(2);
        void* first = BriMalloc(8);
        void* second = BriCalloc(1, 8);
        void* third = BriMalloc(8);
        EXPECT_NE(first, nullptr);
        EXPECT_EQ(second, nullptr);
        EXPECT_NE(third, nullptr);
        EXPECT_TRUE(faults.fired());
        EXPECT_EQ(faults.calls(), 3);
        free(first);
        free(third);
    }
    void* restored = BriMalloc(8); // the defaults are back
    EXPECT_NE(restored, nullptr);
    free(restored);
    EXPECT_EQ(BriCalloc(SIZE_MAX / 2, 4), nullptr); // overflow: refused
}

TEST(FaultInjectionTest, AddElementData)
{
    for (LCDComparator comparator : {static_cast<LCDComparator>(nullptr), CompareInts}) {
        LCDVector vector;
        InitVector(&vector, comparator);
        for (intptr_t i : {4, 2, 6})
            ASSERT_EQ(AddElementData(&vector, Int(i)), 1);
        const std::vector<intptr_t> before = Contents(vector);
        long total = ForEveryAllocationFailure([&](long n, bool& fired) {
            int result;
            {
                FailingAllocations faults(n);
                result = AddElementData(&vector, Int(5));
                fired = faults.fired();
            }
            if (fired) {
                EXPECT_EQ(result, 0);
                EXPECT_EQ(Contents(vector), before);
                EXPECT_EQ(vector.count, 3);
            } else {
                EXPECT_EQ(result, 1);
            }
        });
        EXPECT_EQ(total, 1);
        EXPECT_EQ(vector.count, 4);
        FreeVector(&vector);
    }
}

TEST(FaultInjectionTest, CreateVector)
{
    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        FailingAllocations faults(n);
        LCDVector* vector = CreateVector();
        fired = faults.fired();
        EXPECT_EQ(vector == nullptr, fired);
        free(vector);
    });
    EXPECT_EQ(total, 1);
}

TEST(FaultInjectionTest, CloneVector)
{
    char a[] = "alpha", b[] = "beta", c[] = "gamma";
    LCDVector vector;
    InitVector(&vector, nullptr);
    AddElementData(&vector, a);
    AddElementData(&vector, b);
    AddElementData(&vector, nullptr);
    AddElementData(&vector, c);
    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        LCDVector* clone;
        {
            FailingAllocations faults(n);
            clone = CloneVector(&vector);
            fired = faults.fired();
        }
        if (fired) {
            EXPECT_EQ(clone, nullptr);
        } else {
            ASSERT_NE(clone, nullptr);
            EXPECT_EQ(clone->count, 4);
            for (LCDNode* node = clone->head; node; node = node->next)
                free(node->data);
            FreeVector(clone);
            free(clone);
        }
        EXPECT_EQ(vector.count, 4);
    });
    EXPECT_EQ(total, 1 + 4 + 3); // the vector, four nodes, three copies
    FreeVector(&vector);
}

TEST(FaultInjectionTest, MergeVectorChangesNothingOnFailure)
{
    for (LCDComparator comparator : {static_cast<LCDComparator>(nullptr), CompareInts}) {
        LCDVector destination, source;
        InitVector(&destination, comparator);
        InitVector(&source, nullptr);
        for (intptr_t i : {1, 5, 9})
            AddElementData(&destination, Int(i));
        const std::vector<intptr_t> destinationBefore = Contents(destination);
        long total = ForEveryAllocationFailure([&](long n, bool& fired) {
            for (intptr_t i : {7, 3, 11})
                ASSERT_EQ(AddElementData(&source, Int(i)), 1);
            const std::vector<intptr_t> sourceBefore = Contents(source);
            int result;
            {
                FailingAllocations faults(n);
                result = MergeVector(&destination, &source);
                fired = faults.fired();
            }
            if (fired) {
                EXPECT_EQ(result, 99);
                EXPECT_EQ(Contents(destination), destinationBefore);
                EXPECT_EQ(Contents(source), sourceBefore);
                FreeVector(&source);
            } else {
                EXPECT_EQ(result, 1);
                EXPECT_EQ(source.count, 0);
                EXPECT_EQ(destination.count, 6);
            }
        });
        EXPECT_EQ(total, 3);
        if (comparator) {
            EXPECT_EQ(Contents(destination), (std::vector<intptr_t>{1, 3, 5, 7, 9, 11}));
        }
        FreeVector(&destination);
    }
}

TEST(FaultInjectionTest, HashInit)
{
    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        StringHashTable table{};
        int result;
        {
            FailingAllocations faults(n);
            result = HashInit(&table, 0);
            fired = faults.fired();
        }
        if (fired) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(table.buckets, nullptr);
            EXPECT_EQ(table.bucketCount, 0);
            ASSERT_EQ(HashInit(&table, 0), 1); // and it can be tried again
        } else {
            EXPECT_EQ(result, 1);
        }
        EXPECT_EQ(table.bucketCount, 10);
        HashFree(&table);
    });
    EXPECT_EQ(total, 11); // the array and ten slots
}

TEST(FaultInjectionTest, HashPutIntoSlotAndChain)
{
    StringHashTable table{};
    ASSERT_EQ(HashInit(&table, 1), 1); // one bucket: the second name goes into the chain
    int values[3];
    const char* names[] = {"first", "second", "third"};
    for (int k = 0; k < 3; k++) {
        long total = ForEveryAllocationFailure([&](long n, bool& fired) {
            int result;
            {
                FailingAllocations faults(n);
                result = HashPut(&table, names[k], &values[k]);
                fired = faults.fired();
            }
            if (fired) {
                EXPECT_EQ(result, 99);
                EXPECT_EQ(HashCount(&table), k);
                EXPECT_EQ(HashContains(&table, names[k]), 0);
            } else {
                EXPECT_EQ(result, 1);
            }
        });
        EXPECT_EQ(total, k == 0 ? 1 : 2); // the copy; then the copy and a chain entry
        EXPECT_EQ(HashGet(&table, names[k]), &values[k]);
    }
    // Replacing allocates nothing.
    {
        FailingAllocations faults(1);
        EXPECT_EQ(HashPut(&table, "second", &values[0]), 1);
        EXPECT_FALSE(faults.fired());
    }
    HashFree(&table);
}

TEST(FaultInjectionTest, HashKeysAndMergeMissing)
{
    StringHashTable source{}, destination{};
    ASSERT_EQ(HashInit(&source, 3), 1);
    int v = 0;
    for (const char* name : {"a", "b", "c", "d", "e"})
        ASSERT_EQ(HashPut(&source, name, &v), 1);

    {
        FailingAllocations faults(1);
        EXPECT_EQ(HashKeys(&source), nullptr);
    }

    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        ASSERT_EQ(HashInit(&destination, 2), 1);
        ASSERT_EQ(HashPut(&destination, "c", nullptr), 1);
        int result;
        {
            FailingAllocations faults(n);
            result = HashMergeMissing(&source, &destination);
            fired = faults.fired();
        }
        EXPECT_EQ(result, fired ? 99 : 1);
        // A failed merge leaves a usable table that a second merge completes.
        ASSERT_EQ(HashMergeMissing(&source, &destination), 1);
        EXPECT_EQ(HashCount(&destination), 5);
        EXPECT_EQ(HashGet(&destination, "c"), nullptr);
        HashFree(&destination);
    });
    EXPECT_GT(total, 4);
    HashFree(&source);
}

TEST(FaultInjectionTest, InitializeMemPool)
{
    SetMemPoolDebug(0);
    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        int result;
        {
            FailingAllocations faults(n);
            result = InitializeMemPool();
            fired = faults.fired();
        }
        if (fired) {
            EXPECT_EQ(result, 99);
            EXPECT_EQ(gv_rootPool, nullptr);
            EXPECT_EQ(gv_memAllocator, nullptr);
            // The counter was reset: one initialisation, one termination.
            ASSERT_EQ(InitializeMemPool(), 1);
        } else {
            EXPECT_EQ(result, 1);
        }
        TerminateMemPool();
        EXPECT_EQ(gv_rootPool, nullptr);
    });
    EXPECT_EQ(total, 2); // the allocator and the root's block
}

TEST(FaultInjectionTest, CreateMemPoolAndPoolAlloc)
{
    SetMemPoolDebug(0);
    ASSERT_EQ(InitializeMemPool(), 1);
    MemPool* parent = nullptr;
    ASSERT_EQ(CreateMemPool(&parent, nullptr, nullptr), 1);

    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        MemPool* child = nullptr;
        int result;
        {
            FailingAllocations faults(n);
            result = CreateMemPool(&child, parent, nullptr);
            fired = faults.fired();
        }
        if (fired) {
            EXPECT_EQ(result, 99);
            EXPECT_EQ(child, nullptr);
            EXPECT_EQ(parent->child, nullptr);
        } else {
            ASSERT_EQ(result, 1);
            DestroyMemPool(child); // its block is cached now: later creations allocate nothing
        }
    });
    EXPECT_EQ(total, 1);

    // A request that needs a new block fails; the pool keeps working.
    void* small = PoolAlloc(parent, 16);
    ASSERT_NE(small, nullptr);
    total = ForEveryAllocationFailure([&](long n, bool& fired) {
        void* large;
        {
            FailingAllocations faults(n);
            large = PoolAlloc(parent, 50000);
            fired = faults.fired();
        }
        EXPECT_EQ(large == nullptr, fired);
        EXPECT_NE(PoolAlloc(parent, 16), nullptr);
        char* text = nullptr;
        EXPECT_EQ(PoolStrdup(&text, "still usable", parent), 1);
        EXPECT_STREQ(text, "still usable");
        ClearMemPool(parent); // the large block goes to the cache
    });
    EXPECT_EQ(total, 1);

    {
        FailingAllocations faults(1);
        char* text = nullptr;
        EXPECT_EQ(PoolStrdup(&text, std::string(70000, 'x').c_str(), parent), 99);
        EXPECT_EQ(text, nullptr);
    }
    TerminateMemPool();
}

TEST(FaultInjectionTest, PoolAllocInDebugMode)
{
    SetMemPoolDebug(1);
    ASSERT_EQ(InitializeMemPool(), 1);
    ASSERT_NE(PoolAlloc(gv_rootPool, 10), nullptr);
    {
        FailingAllocations faults(1);
        EXPECT_EQ(PoolAlloc(gv_rootPool, 10), nullptr);
    }
    EXPECT_NE(PoolAlloc(gv_rootPool, 10), nullptr);
    TerminateMemPool();
}

TEST(FaultInjectionTest, SplitString)
{
    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        char** pieces = nullptr;
        int32_t* lengths = nullptr;
        int32_t count = -1;
        int result;
        {
            FailingAllocations faults(n);
            result = SplitString("a;b;c", 5, ';', &pieces, &lengths, &count);
            fired = faults.fired();
        }
        if (fired) {
            EXPECT_EQ(result, 99);
            EXPECT_EQ(pieces, nullptr);
            EXPECT_EQ(lengths, nullptr);
            EXPECT_EQ(count, 0);
        } else {
            ASSERT_EQ(result, 1);
            FreeStringArray(pieces, count);
            free(lengths);
        }
    });
    EXPECT_EQ(total, 5); // two arrays, three pieces
}

TEST(FaultInjectionTest, DatesAndTimes)
{
    ForEveryAllocationFailure([&](long n, bool& fired) {
        FailingAllocations faults(n);
        BriDateTime* value = CreateBriDateTime(2023, 1, 31, 0, 0, 0);
        fired = faults.fired();
        EXPECT_EQ(value == nullptr, fired);
        FreeBriDateTime(value);
    });
    for (const char* text : {"2023-01-31", "10:00:00", "2023-01-31 10:00:00"}) {
        ForEveryAllocationFailure([&](long n, bool& fired) {
            FailingAllocations faults(n);
            BriDateTime* value = ConvertStringToBriGenDateTime(text);
            fired = faults.fired();
            EXPECT_EQ(value == nullptr, fired);
            FreeBriDateTime(value);
        });
        ForEveryAllocationFailure([&](long n, bool& fired) {
            FailingAllocations faults(n);
            void* value = ConvertStringToBriDateOrTime(text);
            fired = faults.fired();
            EXPECT_EQ(value == nullptr, fired);
            if (strchr(text, '-') && strchr(text, ':'))
                FreeBriDateTime(static_cast<BriDateTime*>(value));
            else
                free(value);
        });
    }
    ForEveryAllocationFailure([&](long n, bool& fired) {
        FailingAllocations faults(n);
        BriDateTime* value = GetCurrentBriDateTime();
        fired = faults.fired();
        EXPECT_EQ(value == nullptr, fired);
        FreeBriDateTime(value);
    });

    setenv("TZ", "UTC0", 1);
    tzset();
    BriDateTime* value = CreateBriDateTime(2023, 1, 31, 0, 0, 0);
    ASSERT_NE(value, nullptr);
    {
        FailingAllocations faults(1);
        EXPECT_EQ(BriDateTimeToString(value), nullptr);
    }
    {
        FailingAllocations faults(1);
        EXPECT_EQ(AddToBriDateTime(value, 1, BRI_UNIT_MONTHS), nullptr); // the rendering failed
    }
    EXPECT_EQ(value->date->month, 1); // unchanged
    EXPECT_EQ(AddToBriDateTime(value, 1, BRI_UNIT_MONTHS), value);
    EXPECT_EQ(value->date->month, 3);
    FreeBriDateTime(value);
}

} // namespace
