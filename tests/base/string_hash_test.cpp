#include <gtest/gtest.h>

#include <stdlib.h>

#include <set>
#include <string>
#include <vector>

#include "velmora/string_hash.h"

namespace {

int32_t ReferenceHash(const std::string& name, int32_t buckets)
{
    int32_t h = 0;
    for (char c : name)
        h = (h * 26 + c) % buckets;
    return h;
}

class StringHashTest : public ::testing::Test {
protected:
    void TearDown() override { HashFree(&table); }
    StringHashTable table{};
};

TEST_F(StringHashTest, ZeroBucketsMeansTen)
{
    ASSERT_EQ(HashInit(&table, 0), 1);
    EXPECT_EQ(table.bucketCount, 10);
    ASSERT_NE(table.buckets, nullptr);
    for (int i = 0; i < 10; i++) {
        ASSERT_NE(table.buckets[i], nullptr); // preallocated slot
        EXPECT_EQ(table.buckets[i]->name, nullptr);
    }
}

TEST_F(StringHashTest, NegativeBucketCountFails)
{
    EXPECT_EQ(HashInit(&table, -3), 0);
    EXPECT_EQ(table.buckets, nullptr);
    EXPECT_EQ(HashInit(nullptr, 10), 0);
}

TEST_F(StringHashTest, AsciiNamesHashExactlyAsThePartSays)
{
    for (int32_t buckets : {1, 7, 10, 50, 100, 1000003}) {
        for (std::string name : {"", "a", "abc", "SeqGenState", "table:column:label", "zzzzzzzzzzzzzzzzzzzzzzzzzz"})
            EXPECT_EQ(HashIndex(name.c_str(), buckets), ReferenceHash(name, buckets)) << name << " " << buckets;
    }
    // 'a' = 97: (0 * 26 + 97) % 10 = 7; then (7 * 26 + 98) % 10 = 0
    EXPECT_EQ(HashIndex("a", 10), 7);
    EXPECT_EQ(HashIndex("ab", 10), 0);
}

TEST_F(StringHashTest, NamesWithHighBytesLandInsideTheTable)
{
    const char* names[] = {"\xE9",
                           "caf\xC3\xA9",
                           "\xFF\xFF\xFF\xFF",
                           "a\x80",
                           "\x80"
                           "abc",
                           "\xC3\xBC"
                           "ber"};
    for (int32_t buckets : {1, 3, 10, 50, 2147483647}) {
        for (const char* name : names) {
            int32_t index = HashIndex(name, buckets);
            EXPECT_GE(index, 0) << name;
            EXPECT_LT(index, buckets) << name;
        }
    }
    ASSERT_EQ(HashInit(&table, 10), 1);
    int values[6];
    for (int i = 0; i < 6; i++)
        ASSERT_EQ(HashPut(&table, names[i], &values[i]), 1);
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(HashGet(&table, names[i]), &values[i]);
    EXPECT_EQ(HashCount(&table), 6);
}

TEST_F(StringHashTest, PutGetContainsAndEntry)
{
    ASSERT_EQ(HashInit(&table, 50), 1);
    int one = 1, two = 2;
    EXPECT_EQ(HashPut(&table, "one", &one), 1);
    EXPECT_EQ(HashPut(&table, "two", &two), 1);
    EXPECT_EQ(HashGet(&table, "one"), &one);
    EXPECT_EQ(HashGet(&table, "two"), &two);
    EXPECT_EQ(HashGet(&table, "three"), nullptr);
    EXPECT_EQ(HashContains(&table, "one"), 1);
    EXPECT_EQ(HashContains(&table, "ONE"), 0); // case-sensitive
    StringHashEntry* entry = HashGetEntry(&table, "two");
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->name, "two");
    EXPECT_EQ(entry->value, &two);
    EXPECT_EQ(HashCount(&table), 2);

    // A null value is stored like any other.
    EXPECT_EQ(HashPut(&table, "none", nullptr), 1);
    EXPECT_EQ(HashContains(&table, "none"), 1);
    EXPECT_EQ(HashGet(&table, "none"), nullptr);
}

TEST_F(StringHashTest, TheNameIsCopied)
{
    ASSERT_EQ(HashInit(&table, 10), 1);
    char name[] = "mutable";
    int value = 0;
    ASSERT_EQ(HashPut(&table, name, &value), 1);
    name[0] = 'M';
    EXPECT_EQ(HashContains(&table, "mutable"), 1);
    EXPECT_NE(HashGetEntry(&table, "mutable")->name, name);
}

TEST_F(StringHashTest, PuttingAnExistingNameReplacesWithoutASecondCopy)
{
    ASSERT_EQ(HashInit(&table, 10), 1);
    int first = 1, second = 2;
    ASSERT_EQ(HashPut(&table, "key", &first), 1);
    char* stored = HashGetEntry(&table, "key")->name;
    ASSERT_EQ(HashPut(&table, "key", &second), 1);
    EXPECT_EQ(HashGet(&table, "key"), &second);
    EXPECT_EQ(HashGetEntry(&table, "key")->name, stored); // the same copy
    EXPECT_EQ(HashCount(&table), 1);
    char** keys = HashKeys(&table);
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(keys[0], stored);
    EXPECT_EQ(keys[1], nullptr);
    free(keys);
}

// One bucket: every name shares the slot and its chain.
TEST_F(StringHashTest, ChainsAndRemoval)
{
    ASSERT_EQ(HashInit(&table, 1), 1);
    int v[4] = {0, 1, 2, 3};
    const char* names[] = {"a", "b", "c", "d"};
    for (int i = 0; i < 4; i++)
        ASSERT_EQ(HashPut(&table, names[i], &v[i]), 1);
    EXPECT_STREQ(table.buckets[0]->name, "a");                   // first in the slot
    EXPECT_STREQ(table.buckets[0]->next->next->next->name, "d"); // the rest appended in order

    EXPECT_EQ(HashRemove(&table, "c"), 1); // middle of the chain
    EXPECT_EQ(HashRemove(&table, "a"), 1); // the slot: the chain moves up
    EXPECT_EQ(HashRemove(&table, "a"), 0);
    EXPECT_EQ(HashCount(&table), 2);
    EXPECT_EQ(HashGet(&table, "b"), &v[1]);
    EXPECT_EQ(HashGet(&table, "d"), &v[3]);
    EXPECT_EQ(HashRemove(&table, "d"), 1); // end of the chain
    EXPECT_EQ(HashRemove(&table, "b"), 1); // the slot, alone
    EXPECT_EQ(HashCount(&table), 0);
    EXPECT_NE(table.buckets[0], nullptr);
    EXPECT_EQ(table.buckets[0]->name, nullptr);

    ASSERT_EQ(HashPut(&table, "e", &v[0]), 1); // the empty slot is used again
    EXPECT_STREQ(table.buckets[0]->name, "e");
    EXPECT_EQ(table.buckets[0]->next, nullptr);
}

TEST_F(StringHashTest, ManyNames)
{
    ASSERT_EQ(HashInit(&table, 7), 1);
    std::vector<std::string> names;
    for (int i = 0; i < 500; i++)
        names.push_back("name" + std::to_string(i * 37));
    for (size_t i = 0; i < names.size(); i++)
        ASSERT_EQ(HashPut(&table, names[i].c_str(), reinterpret_cast<void*>(i + 1)), 1);
    EXPECT_EQ(HashCount(&table), 500);
    for (size_t i = 0; i < names.size(); i += 2)
        ASSERT_EQ(HashRemove(&table, names[i].c_str()), 1);
    EXPECT_EQ(HashCount(&table), 250);
    for (size_t i = 0; i < names.size(); i++)
        EXPECT_EQ(HashGet(&table, names[i].c_str()), i % 2 ? reinterpret_cast<void*>(i + 1) : nullptr);

    char** keys = HashKeys(&table);
    ASSERT_NE(keys, nullptr);
    std::set<std::string> seen;
    int n = 0;
    for (; keys[n]; n++) {
        seen.insert(keys[n]);
        EXPECT_EQ(HashGetEntry(&table, keys[n])->name, keys[n]); // the stored pointers
    }
    EXPECT_EQ(n, 250);
    EXPECT_EQ(seen.size(), 250u);
    free(keys);
}

TEST_F(StringHashTest, KeysOfAnEmptyTable)
{
    ASSERT_EQ(HashInit(&table, 0), 1);
    char** keys = HashKeys(&table);
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(keys[0], nullptr);
    free(keys);
    EXPECT_EQ(HashKeys(nullptr), nullptr);
}

TEST_F(StringHashTest, FreeReleasesNamesButNotValues)
{
    ASSERT_EQ(HashInit(&table, 3), 1);
    int* value = static_cast<int*>(malloc(sizeof(int)));
    *value = 42;
    ASSERT_EQ(HashPut(&table, "v", value), 1);
    HashFree(&table);
    EXPECT_EQ(table.buckets, nullptr);
    EXPECT_EQ(table.bucketCount, 0);
    EXPECT_EQ(*value, 42);
    free(value);
    HashFree(&table); // twice is harmless
    // and the table can be initialised again
    ASSERT_EQ(HashInit(&table, 2), 1);
    EXPECT_EQ(HashCount(&table), 0);
}

TEST_F(StringHashTest, MergeMissingKeepsTheDestinationsValues)
{
    StringHashTable source{};
    ASSERT_EQ(HashInit(&source, 5), 1);
    ASSERT_EQ(HashInit(&table, 10), 1);
    int s1 = 1, s2 = 2, d1 = 10;
    HashPut(&source, "shared", &s1);
    HashPut(&source, "only-source", &s2);
    HashPut(&table, "shared", &d1);
    ASSERT_EQ(HashMergeMissing(&source, &table), 1);
    EXPECT_EQ(HashGet(&table, "shared"), &d1);
    EXPECT_EQ(HashGet(&table, "only-source"), &s2);
    EXPECT_EQ(HashCount(&table), 2);
    EXPECT_EQ(HashCount(&source), 2);
    EXPECT_EQ(HashMergeMissing(nullptr, &table), 0);
    EXPECT_EQ(HashMergeMissing(&source, nullptr), 0);
    HashFree(&source);
}

TEST_F(StringHashTest, NullArgumentsAndUninitialisedTables)
{
    EXPECT_EQ(HashPut(&table, "x", nullptr), 0); // no buckets yet
    EXPECT_EQ(HashPut(nullptr, "x", nullptr), 0);
    EXPECT_EQ(HashContains(&table, "x"), 0);
    EXPECT_EQ(HashGet(nullptr, "x"), nullptr);
    EXPECT_EQ(HashGetEntry(&table, nullptr), nullptr);
    EXPECT_EQ(HashRemove(&table, "x"), 0);
    EXPECT_EQ(HashCount(nullptr), 0);
    EXPECT_EQ(HashIndex(nullptr, 10), -1);
    EXPECT_EQ(HashIndex("x", 0), -1);
    HashFree(nullptr);
    ASSERT_EQ(HashInit(&table, 10), 1);
    EXPECT_EQ(HashPut(&table, nullptr, nullptr), 0);
    EXPECT_EQ(HashRemove(&table, nullptr), 0);
}

} // namespace
