#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fault_injection.h"
#include "runtime/log.h"
#include "runtime/object_lock.h"
#include "temp_dir.h"
#include "velmora/lcd_vector.h"

namespace {

// Elements are small integers stored in the data pointer itself.
void* Int(intptr_t value) { return reinterpret_cast<void*>(value); }
intptr_t ValueOf(const LCDNode* node) { return reinterpret_cast<intptr_t>(node->data); }

long g_comparisons = 0;

signed char CompareInts(const LCDNode* added, const LCDNode* existing)
{
    g_comparisons++;
    intptr_t a = ValueOf(added), b = ValueOf(existing);
    return a < b ? -1 : (a > b ? 1 : 0);
}

signed char CompareStrings(const LCDNode* added, const LCDNode* existing)
{
    int order = strcmp(static_cast<const char*>(added->data), static_cast<const char*>(existing->data));
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

LCDNode* NewNode(void* data)
{
    auto* node = static_cast<LCDNode*>(malloc(sizeof(LCDNode)));
    node->data = data;
    node->next = nullptr;
    return node;
}

std::vector<intptr_t> Contents(const LCDVector& vector)
{
    std::vector<intptr_t> values;
    for (LCDNode* node = vector.head; node; node = node->next)
        values.push_back(ValueOf(node));
    return values;
}

// head, tail and count agree with the links.
void ExpectConsistent(const LCDVector& vector)
{
    int32_t links = 0;
    LCDNode* last = nullptr;
    for (LCDNode* node = vector.head; node; node = node->next) {
        links++;
        last = node;
    }
    EXPECT_EQ(links, vector.count);
    EXPECT_EQ(last, vector.tail);
}

TEST(LCDVectorTest, InitVectorEmptiesAndStoresTheComparator)
{
    LCDVector vector;
    memset(&vector, 0x5A, sizeof vector);
    InitVector(&vector, CompareInts);
    EXPECT_EQ(vector.head, nullptr);
    EXPECT_EQ(vector.tail, nullptr);
    EXPECT_EQ(vector.count, 0);
    EXPECT_EQ(vector.comparator, CompareInts);
}

TEST(LCDVectorTest, CreateVectorIsZeroedAndUnordered)
{
    LCDVector* vector = CreateVector();
    ASSERT_NE(vector, nullptr);
    EXPECT_EQ(vector->head, nullptr);
    EXPECT_EQ(vector->count, 0);
    EXPECT_EQ(vector->comparator, nullptr);
    free(vector);
}

TEST(LCDVectorTest, UnorderedAddAppends)
{
    LCDVector vector;
    InitVector(&vector, nullptr);
    for (intptr_t i : {5, 3, 5, 1})
        EXPECT_EQ(AddElementData(&vector, Int(i)), 1);
    EXPECT_EQ(Contents(vector), (std::vector<intptr_t>{5, 3, 5, 1}));
    ExpectConsistent(vector);
    FreeVector(&vector);
    EXPECT_EQ(vector.count, 0);
    EXPECT_EQ(vector.head, nullptr);
    EXPECT_EQ(vector.tail, nullptr);
}

// The ordered insert against std::set, checked after every insert, for
// random orders with duplicates, and for ascending and descending runs.
TEST(LCDVectorTest, OrderedInsertMatchesAReferenceModel)
{
    std::mt19937 random(12345);
    for (int round = 0; round < 60; round++) {
        int size = 1 + static_cast<int>(random() % 300);
        int range = 1 + static_cast<int>(random() % (2 * size)); // many duplicates when small
        std::vector<intptr_t> input;
        for (int i = 0; i < size; i++)
            input.push_back(static_cast<intptr_t>(random() % range) - range / 2);
        if (round == 0)
            std::sort(input.begin(), input.end());
        if (round == 1)
            std::sort(input.rbegin(), input.rend());

        LCDVector vector;
        InitVector(&vector, CompareInts);
        std::set<intptr_t> model;
        for (intptr_t value : input) {
            LCDNode* node = NewNode(Int(value));
            bool fresh = model.insert(value).second;
            int result = AddElement(&vector, node);
            ASSERT_EQ(result, fresh ? 1 : 0) << "value " << value;
            if (!fresh) {
                EXPECT_EQ(node->next, nullptr);
                free(node); // a rejected node stays with the caller
            }
            ASSERT_EQ(Contents(vector), std::vector<intptr_t>(model.begin(), model.end()));
            ExpectConsistent(vector);
        }
        FreeVector(&vector);
    }
}

TEST(LCDVectorTest, OrderedInsertUsesAboutLog2Comparisons)
{
    LCDVector vector;
    InitVector(&vector, CompareInts);
    std::vector<intptr_t> values(4096);
    for (size_t i = 0; i < values.size(); i++)
        values[i] = static_cast<intptr_t>(i) * 2;
    std::shuffle(values.begin(), values.end(), std::mt19937(7));
    for (intptr_t value : values)
        ASSERT_EQ(AddElementData(&vector, Int(value)), 1);

    for (intptr_t probe : {-1, 1, 4095, 8191, 9000}) {
        g_comparisons = 0;
        ASSERT_EQ(AddElementData(&vector, Int(probe)), 1);
        // the search, the lower node and at most one upper node
        EXPECT_LE(g_comparisons, static_cast<long>(std::ceil(std::log2(vector.count))) + 2);
    }
    FreeVector(&vector);
}

TEST(LCDVectorTest, EqualElementIsRejectedAndCountUnchanged)
{
    LCDVector vector;
    InitVector(&vector, CompareStrings);
    char a[] = "alpha", b[] = "beta", b2[] = "beta";
    ASSERT_EQ(AddElementData(&vector, a), 1);
    ASSERT_EQ(AddElementData(&vector, b), 1);
    EXPECT_EQ(AddElementData(&vector, b2), 0);
    EXPECT_EQ(vector.count, 2);
    EXPECT_EQ(vector.tail->data, b);
    FreeVector(&vector);
}

TEST(LCDVectorTest, InsertElementAtTheEdges)
{
    LCDVector vector;
    InitVector(&vector, nullptr);
    LCDNode* first = NewNode(Int(1));
    ASSERT_EQ(InsertElementAt(&vector, first, 0), 1); // into an empty vector
    EXPECT_EQ(vector.head, first);
    EXPECT_EQ(vector.tail, first);

    LCDNode* last = NewNode(Int(3));
    ASSERT_EQ(InsertElementAt(&vector, last, vector.count), 1); // index = count appends
    EXPECT_EQ(vector.tail, last);

    LCDNode* beyond = NewNode(Int(9));
    EXPECT_EQ(InsertElementAt(&vector, beyond, vector.count + 1), 0);
    EXPECT_EQ(InsertElementAt(&vector, beyond, -1), 0);
    EXPECT_EQ(vector.count, 2);
    free(beyond);

    ASSERT_EQ(InsertElementAt(&vector, NewNode(Int(2)), 1), 1); // before the node at 1
    ASSERT_EQ(InsertElementAt(&vector, NewNode(Int(0)), 0), 1); // at the head
    EXPECT_EQ(Contents(vector), (std::vector<intptr_t>{0, 1, 2, 3}));
    EXPECT_EQ(vector.tail, last);
    ExpectConsistent(vector);

    // The comparator plays no part in a positional insert.
    vector.comparator = CompareInts;
    ASSERT_EQ(InsertElementAt(&vector, NewNode(Int(-5)), 4), 1);
    EXPECT_EQ(Contents(vector), (std::vector<intptr_t>{0, 1, 2, 3, -5}));
    ExpectConsistent(vector);
    FreeVector(&vector);
}

TEST(LCDVectorTest, DeleteElementAtOfTheOnlyElementEmptiesTheVector)
{
    LCDVector vector;
    InitVector(&vector, nullptr);
    ASSERT_EQ(AddElementData(&vector, Int(7)), 1);
    EXPECT_EQ(DeleteElementAt(&vector, 1), 0);
    EXPECT_EQ(DeleteElementAt(&vector, -1), 0);
    ASSERT_EQ(DeleteElementAt(&vector, 0), 1);
    EXPECT_EQ(vector.head, nullptr);
    EXPECT_EQ(vector.tail, nullptr);
    EXPECT_EQ(vector.count, 0);
    EXPECT_EQ(DeleteElementAt(&vector, 0), 0);
    // and the vector works on
    ASSERT_EQ(AddElementData(&vector, Int(8)), 1);
    EXPECT_EQ(Contents(vector), (std::vector<intptr_t>{8}));
    FreeVector(&vector);
}

TEST(LCDVectorTest, DeleteElementAtFixesHeadAndTail)
{
    LCDVector vector;
    InitVector(&vector, nullptr);
    for (intptr_t i = 0; i < 5; i++)
        AddElementData(&vector, Int(i));
    ASSERT_EQ(DeleteElementAt(&vector, 4), 1);
    EXPECT_EQ(ValueOf(vector.tail), 3);
    ASSERT_EQ(DeleteElementAt(&vector, 0), 1);
    EXPECT_EQ(ValueOf(vector.head), 1);
    ASSERT_EQ(DeleteElementAt(&vector, 1), 1);
    EXPECT_EQ(Contents(vector), (std::vector<intptr_t>{1, 3}));
    ExpectConsistent(vector);
    ASSERT_EQ(AddElementData(&vector, Int(9)), 1);
    EXPECT_EQ(Contents(vector), (std::vector<intptr_t>{1, 3, 9}));
    FreeVector(&vector);
}

TEST(LCDVectorTest, DeleteElementByIdentity)
{
    LCDVector vector;
    InitVector(&vector, nullptr);
    EXPECT_EQ(DeleteElement(&vector, nullptr), 0);
    LCDNode stranger{Int(42), nullptr};
    EXPECT_EQ(DeleteElement(&vector, &stranger), 0); // empty: the only failure

    for (intptr_t i = 0; i < 3; i++)
        AddElementData(&vector, Int(i));
    // A node of no vector: success, and nothing changes.
    EXPECT_EQ(DeleteElement(&vector, &stranger), 1);
    EXPECT_EQ(vector.count, 3);

    LCDNode* tail = vector.tail;
    ASSERT_EQ(DeleteElement(&vector, tail), 1);
    EXPECT_EQ(ValueOf(vector.tail), 1);
    ASSERT_EQ(DeleteElement(&vector, vector.head), 1);
    ASSERT_EQ(DeleteElement(&vector, vector.head), 1);
    EXPECT_EQ(vector.count, 0);
    EXPECT_EQ(vector.head, nullptr);
    EXPECT_EQ(vector.tail, nullptr);
}

TEST(LCDVectorTest, ElementAtAndGetNthElement)
{
    LCDVector vector;
    InitVector(&vector, nullptr);
    EXPECT_EQ(ElementAt(&vector, 0), nullptr);
    EXPECT_EQ(GetNthElement(&vector, 0, nullptr), nullptr);
    for (intptr_t i = 10; i < 15; i++)
        AddElementData(&vector, Int(i));
    EXPECT_EQ(ValueOf(ElementAt(&vector, 0)), 10);
    EXPECT_EQ(ValueOf(ElementAt(&vector, 4)), 14);
    EXPECT_EQ(ElementAt(&vector, 5), nullptr);
    EXPECT_EQ(ElementAt(&vector, -1), nullptr);

    EXPECT_EQ(ValueOf(GetNthElement(&vector, 2, vector.head)), 12);
    EXPECT_EQ(ValueOf(GetNthElement(&vector, 2, nullptr)), 12);
    EXPECT_EQ(ValueOf(GetNthElement(&vector, 1, ElementAt(&vector, 3))), 14);
    EXPECT_EQ(GetNthElement(&vector, 2, ElementAt(&vector, 3)), nullptr); // off the end
    EXPECT_EQ(GetNthElement(&vector, 5, vector.head), nullptr);
    EXPECT_EQ(GetNthElement(&vector, -1, vector.head), nullptr);

    // GetNthElement takes no lock: it works while the caller holds it.
    LockObject(&vector);
    EXPECT_EQ(ValueOf(GetNthElement(&vector, 4, nullptr)), 14);
    UnlockObject(&vector);
    FreeVector(&vector);
}

TEST(LCDVectorTest, MergeVectorMovesElementsAndEmptiesTheSource)
{
    char one[] = "one", two[] = "two", three[] = "three";
    LCDVector destination, source;
    InitVector(&destination, nullptr);
    InitVector(&source, nullptr);
    AddElementData(&destination, one);
    AddElementData(&source, two);
    AddElementData(&source, three);

    ASSERT_EQ(MergeVector(&destination, &source), 1);
    EXPECT_EQ(source.count, 0);
    EXPECT_EQ(source.head, nullptr);
    EXPECT_EQ(source.tail, nullptr);
    ASSERT_EQ(destination.count, 3);
    EXPECT_EQ(ElementAt(&destination, 1)->data, two); // the same data, not copies
    EXPECT_EQ(ElementAt(&destination, 2)->data, three);
    EXPECT_EQ(destination.tail->data, three);

    // The source is usable afterwards.
    AddElementData(&source, one);
    EXPECT_EQ(source.count, 1);
    FreeVector(&source);
    FreeVector(&destination);
}

TEST(LCDVectorTest, MergeVectorKeepsAnOrderedDestinationOrdered)
{
    LCDVector destination, source;
    InitVector(&destination, CompareInts);
    InitVector(&source, nullptr);
    for (intptr_t i : {10, 30, 50})
        AddElementData(&destination, Int(i));
    for (intptr_t i : {40, 30, 5, 60})
        AddElementData(&source, Int(i));
    ASSERT_EQ(MergeVector(&destination, &source), 1);
    // 30 was a duplicate: dropped from both vectors.
    EXPECT_EQ(Contents(destination), (std::vector<intptr_t>{5, 10, 30, 40, 50, 60}));
    ExpectConsistent(destination);
    EXPECT_EQ(source.count, 0);
    FreeVector(&destination);
}

TEST(LCDVectorTest, MergeVectorRejectsNullAndSelf)
{
    LCDVector vector;
    InitVector(&vector, nullptr);
    AddElementData(&vector, Int(1));
    EXPECT_EQ(MergeVector(nullptr, &vector), 0);
    EXPECT_EQ(MergeVector(&vector, nullptr), 0);
    EXPECT_EQ(MergeVector(&vector, &vector), 0);
    EXPECT_EQ(vector.count, 1);
    LCDVector empty;
    InitVector(&empty, nullptr);
    EXPECT_EQ(MergeVector(&vector, &empty), 1);
    EXPECT_EQ(vector.count, 1);
    FreeVector(&vector);
}

TEST(LCDVectorTest, CloneVectorCopiesEveryElementAsAString)
{
    char a[] = "alpha", b[] = "beta";
    LCDVector vector;
    InitVector(&vector, nullptr);
    AddElementData(&vector, b);
    AddElementData(&vector, nullptr);
    AddElementData(&vector, a);
    LCDVector* clone = CloneVector(&vector);
    ASSERT_NE(clone, nullptr);
    ASSERT_EQ(clone->count, 3);
    EXPECT_EQ(clone->comparator, nullptr);
    EXPECT_STREQ(static_cast<char*>(clone->head->data), "beta");
    EXPECT_NE(clone->head->data, b);
    EXPECT_EQ(ElementAt(clone, 1)->data, nullptr);
    EXPECT_STREQ(static_cast<char*>(clone->tail->data), "alpha");
    ExpectConsistent(*clone);
    for (LCDNode* node = clone->head; node; node = node->next)
        free(node->data);
    FreeVector(clone);
    free(clone);
    FreeVector(&vector);

    EXPECT_EQ(CloneVector(nullptr), nullptr);
}

TEST(LCDVectorTest, DeleteLCDVectorRemovesTheFirstMatchingData)
{
    LCDVector vector;
    InitVector(&vector, nullptr);
    EXPECT_EQ(DeleteLCDVector(&vector, Int(1)), 0);
    for (intptr_t i : {1, 2, 1, 3})
        AddElementData(&vector, Int(i));
    ASSERT_EQ(DeleteLCDVector(&vector, Int(1)), 1);
    EXPECT_EQ(Contents(vector), (std::vector<intptr_t>{2, 1, 3}));
    ASSERT_EQ(DeleteLCDVector(&vector, Int(3)), 1);
    EXPECT_EQ(ValueOf(vector.tail), 1);
    EXPECT_EQ(DeleteLCDVector(&vector, Int(9)), 0);
    ExpectConsistent(vector);
    FreeVector(&vector);
}

TEST(LCDVectorTest, NullArgumentsFailWithoutCrashing)
{
    LCDNode node{nullptr, nullptr};
    InitVector(nullptr, nullptr);
    FreeVector(nullptr);
    EXPECT_EQ(AddElement(nullptr, &node), 0);
    LCDVector vector;
    InitVector(&vector, nullptr);
    EXPECT_EQ(AddElement(&vector, nullptr), 0);
    EXPECT_EQ(AddElementData(nullptr, Int(1)), 0);
    EXPECT_EQ(InsertElementAt(nullptr, &node, 0), 0);
    EXPECT_EQ(InsertElementAt(&vector, nullptr, 0), 0);
    EXPECT_EQ(DeleteElement(nullptr, &node), 0);
    EXPECT_EQ(DeleteElementAt(nullptr, 0), 0);
    EXPECT_EQ(ElementAt(nullptr, 0), nullptr);
    EXPECT_EQ(GetNthElement(nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(DeleteLCDVector(nullptr, nullptr), 0);
    EXPECT_EQ(vector.count, 0);
}

// The runtime's message queue takes the head away under the vector's lock
// without touching tail; adding afterwards starts the list afresh.
TEST(LCDVectorTest, AddAfterTheHeadWasTakenAwayStartsAfresh)
{
    LCDVector queue;
    InitVector(&queue, nullptr);
    AddElementData(&queue, Int(1));
    LockObject(&queue);
    LCDNode* head = queue.head;
    queue.head = head->next;
    queue.count--;
    free(head);
    UnlockObject(&queue);
    // tail still points at the freed node; it must not be used
    ASSERT_EQ(AddElementData(&queue, Int(2)), 1);
    EXPECT_EQ(Contents(queue), (std::vector<intptr_t>{2}));
    ExpectConsistent(queue);
    FreeVector(&queue);
}

TEST(LCDVectorTest, TwoThreadsAppendingLoseNoElement)
{
    const intptr_t kPerThread = 20000;
    LCDVector vector;
    InitVector(&vector, nullptr);
    auto append = [&](intptr_t first) {
        for (intptr_t i = 0; i < kPerThread; i++)
            ASSERT_EQ(AddElementData(&vector, Int(first + i)), 1);
    };
    std::thread one(append, 0);
    std::thread two(append, kPerThread);
    one.join();
    two.join();

    ASSERT_EQ(vector.count, 2 * kPerThread);
    ExpectConsistent(vector);
    std::vector<intptr_t> values = Contents(vector);
    // Each thread's elements keep their order; together they are all there.
    intptr_t nextOne = 0, nextTwo = kPerThread;
    for (intptr_t value : values) {
        if (value < kPerThread)
            EXPECT_EQ(value, nextOne++);
        else
            EXPECT_EQ(value, nextTwo++);
    }
    EXPECT_EQ(nextOne, kPerThread);
    EXPECT_EQ(nextTwo, 2 * kPerThread);
    FreeVector(&vector);
}

TEST(LCDVectorTest, TwoThreadsOrderedInsertsAndDeletes)
{
    LCDVector vector;
    InitVector(&vector, CompareInts);
    auto work = [&](intptr_t parity) {
        for (intptr_t i = 0; i < 1500; i++)
            ASSERT_EQ(AddElementData(&vector, Int(2 * ((i * 7919) % 1500) + parity)), 1);
        for (intptr_t i = 0; i < 500; i++)
            ASSERT_EQ(DeleteLCDVector(&vector, Int(2 * i + parity)), 1);
    };
    std::thread even(work, 0);
    std::thread odd(work, 1);
    even.join();
    odd.join();
    std::vector<intptr_t> expected;
    for (intptr_t v = 1000; v < 3000; v++)
        expected.push_back(v);
    EXPECT_EQ(Contents(vector), expected);
    ExpectConsistent(vector);
    FreeVector(&vector);
}

TEST(LCDVectorTest, EveryOperationWritesATraceLine)
{
    TempDir dir;
    ASSERT_TRUE(InitLogDefaults());
    ASSERT_TRUE(SetLogConfig("trace.log", dir.path().c_str(), 4));
    ASSERT_TRUE(OpenLogFile());
    LCDVector vector;
    InitVector(&vector, nullptr);
    AddElementData(&vector, Int(1));
    ElementAt(&vector, 0);
    GetNthElement(&vector, 0, nullptr);
    DeleteElementAt(&vector, 0);
    FreeVector(&vector);
    CloseLogFile();
    FreeLogConfig();
    std::string log = ReadWholeFile(dir.file("trace.log"));
    for (const char* name :
         {"InitVector", "AddElementData", "ElementAt", "GetNthElement", "DeleteElementAt", "FreeVector"})
        EXPECT_NE(log.find(std::string("[TRACE] @@@ Inside ") + name + " @@@\n"), std::string::npos) << name;
}

TEST(LCDVectorTest, CreateAndCloneReportTheirFailures)
{
    TempDir dir;
    ASSERT_TRUE(InitLogDefaults());
    ASSERT_TRUE(SetLogConfig("errors.log", dir.path().c_str(), 2));
    ASSERT_TRUE(OpenLogFile());
    {
        FailingAllocations faults(1);
        EXPECT_EQ(CreateVector(), nullptr);
    }
    EXPECT_EQ(CloneVector(nullptr), nullptr);
    CloseLogFile();
    FreeLogConfig();
    std::string log = ReadWholeFile(dir.file("errors.log"));
    EXPECT_NE(log.find("[ERROR] MEMORY_ALLOCATION_FAILURE\n"), std::string::npos);
    EXPECT_NE(log.find("[ERROR] Cannot clone vector.  Vector is NULL.\n"), std::string::npos);
}

} // namespace
