#include <gtest/gtest.h>

#include <stdint.h>

#include <thread>
#include <vector>

#include "runtime/msg_queue.h"

namespace {

void* Message(uintptr_t n) { return reinterpret_cast<void*>(n); }

TEST(MessageQueue, OldestFirstAndUsableAfterRunningEmpty)
{
    LCDVector queue;
    InitVector(&queue, nullptr);
    EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue), nullptr);
    EXPECT_EQ(ReadMsgFromQueueForProcessing(nullptr), nullptr);
    EXPECT_EQ(AddRcvdMsgToQueue(nullptr, Message(1)), 0);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(AddRcvdMsgToQueue(&queue, Message(1)), 1);
        ASSERT_EQ(AddRcvdMsgToQueue(&queue, Message(2)), 1);
        EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue), Message(1));
        EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue), Message(2));
        EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue), nullptr);
        EXPECT_EQ(queue.count, 0);
        EXPECT_EQ(queue.head, nullptr);
        EXPECT_EQ(queue.tail, nullptr);
    }
}

signed char ByAddress(const LCDNode* a, const LCDNode* b)
{
    auto x = reinterpret_cast<uintptr_t>(a->data), y = reinterpret_cast<uintptr_t>(b->data);
    return x < y ? -1 : x > y ? 1 : 0;
}

TEST(MessageQueue, OrderedQueueRejectsAnEqualMessage)
{
    LCDVector queue;
    InitVector(&queue, ByAddress);
    ASSERT_EQ(AddRcvdMsgToQueue(&queue, Message(5)), 1);
    ASSERT_EQ(AddRcvdMsgToQueue(&queue, Message(3)), 1);
    EXPECT_EQ(AddRcvdMsgToQueue(&queue, Message(5)), 0);
    EXPECT_EQ(queue.count, 2);
    EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue), Message(3));
    EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue), Message(5));
}

TEST(MessageQueue, OneThreadFillsAnotherDrainsNothingLost)
{
    LCDVector queue;
    InitVector(&queue, nullptr);
    const uintptr_t kMessages = 20000;
    std::thread producer([&] {
        for (uintptr_t n = 1; n <= kMessages; ++n)
            ASSERT_EQ(AddRcvdMsgToQueue(&queue, Message(n)), 1);
    });
    std::vector<uintptr_t> received;
    while (received.size() < kMessages) {
        if (void* m = ReadMsgFromQueueForProcessing(&queue))
            received.push_back(reinterpret_cast<uintptr_t>(m));
        else
            std::this_thread::yield();
    }
    producer.join();
    for (uintptr_t n = 0; n < kMessages; ++n)
        ASSERT_EQ(received[n], n + 1);
    EXPECT_EQ(queue.count, 0);
}

} // namespace
