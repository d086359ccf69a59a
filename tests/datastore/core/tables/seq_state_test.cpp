// Identifiers from reserved batches.
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "tables_fixture.h"

using namespace tables_fixture;

namespace {

int g_reservations = 0;
int32_t g_nextEnd = 300;

// Stands in for the database: each reservation hands out the next 300.
int Reserve(const char*, const char* sequence)
{
    g_reservations++;
    int32_t end = g_nextEnd;
    g_nextEnd += SEQ_BATCH_SIZE;
    return StoreSeqBatch(sequence, end - SEQ_BATCH_SIZE + 1, end);
}

int Refuse(const char*, const char*) { return VELMORA_FAILURE; }

class SeqStateTest : public TablesTest {
protected:
    void SetUp() override
    {
        TablesTest::SetUp();
        g_reservations = 0;
        g_nextEnd = 600;
        column_ = Column("ID", BRI_SQL_INT, nullptr, "SEQ");
    }
    void TearDown() override
    {
        FreeColumnDefn(column_);
        TablesTest::TearDown();
    }
    ColumnDefn* column_ = nullptr;
};

TEST_F(SeqStateTest, ABatchIsHandedOutThenRenewed)
{
    EXPECT_EQ(GenerateID("T", column_), -1); // no state for the sequence
    ASSERT_EQ(StoreSeqBatch("SEQ", 1, 300), VELMORA_SUCCESS);
    for (int32_t expected = 1; expected <= 300; expected++)
        ASSERT_EQ(GenerateID("T", column_), expected);
    // Exhausted, and nothing can reserve: -1, and it stays so.
    EXPECT_EQ(GenerateID("T", column_), -1);
    SetSeqBatchReserver(Refuse);
    EXPECT_EQ(GenerateID("T", column_), -1);

    // The 301st identifier reserves the next batch and continues there.
    SetSeqBatchReserver(Reserve);
    EXPECT_EQ(GenerateID("T", column_), 301);
    EXPECT_EQ(GenerateID("T", column_), 302);
    EXPECT_EQ(g_reservations, 1);
}

TEST_F(SeqStateTest, ABatchEndingAtTheLargestNumberIsUsedUpThere)
{
    ASSERT_EQ(StoreSeqBatch("SEQ", INT32_MAX - 1, INT32_MAX), VELMORA_SUCCESS);
    EXPECT_EQ(GenerateID("T", column_), INT32_MAX - 1);
    EXPECT_EQ(GenerateID("T", column_), INT32_MAX);
    EXPECT_EQ(GenerateID("T", column_), -1);
    EXPECT_EQ(GenerateID("T", column_), -1);
    // A new batch is taken up as usual.
    ASSERT_EQ(StoreSeqBatch("SEQ", 1, 300), VELMORA_SUCCESS);
    EXPECT_EQ(GenerateID("T", column_), 1);
}

TEST_F(SeqStateTest, InstanceIdsHaveTheirOwnSequence)
{
    EXPECT_EQ(GenerateInstanceID(), -1);
    ASSERT_EQ(StoreSeqBatch(SEQ_INSTANCE_ID_KEY, 601, 900), VELMORA_SUCCESS);
    EXPECT_EQ(GenerateInstanceID(), 601);
    EXPECT_EQ(GenerateInstanceID(), 602);
    ColumnDefn* plain = Column("Name", BRI_SQL_VARCHAR);
    EXPECT_EQ(GenerateID("T", plain), -1); // no generator
    FreeColumnDefn(plain);
    FreeSeqState();
    EXPECT_EQ(GenerateInstanceID(), -1);
    EXPECT_EQ(StoreSeqBatch("SEQ", 1, 2), VELMORA_FAILURE); // no state
}

TEST_F(SeqStateTest, ThreadsDrawDistinctIdentifiers)
{
    ASSERT_EQ(StoreSeqBatch("SEQ", 1, 300), VELMORA_SUCCESS);
    g_nextEnd = 600;
    SetSeqBatchReserver(Reserve);
    std::vector<std::vector<int32_t>> drawn(4);
    std::vector<std::thread> threads;
    for (auto& mine : drawn)
        threads.emplace_back([&mine, this] {
            for (int i = 0; i < 500; i++)
                mine.push_back(GenerateID("T", column_));
        });
    for (auto& t : threads)
        t.join();
    std::set<int32_t> all;
    for (auto& mine : drawn)
        all.insert(mine.begin(), mine.end());
    EXPECT_EQ(all.size(), 2000u);
    EXPECT_EQ(*all.begin(), 1);
    EXPECT_EQ(*all.rbegin(), 2000);
}

} // namespace
