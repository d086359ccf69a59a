#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/error.h"
#include "platform/timer_queue.h"

namespace {

using namespace std::chrono_literals;

void Count(void* context, int fired)
{
    if (fired)
        static_cast<std::atomic<int>*>(context)->fetch_add(1);
}

template <typename Predicate> bool Eventually(Predicate done)
{
    for (int i = 0; i < 500 && !done(); i++)
        std::this_thread::sleep_for(10ms);
    return done();
}

TEST(TimerQueueTest, OneShotTimerFiresOnce)
{
    std::atomic<int> count{0};
    PlatTimerQueue* queue = PlatCreateTimerQueue();
    ASSERT_NE(queue, nullptr);
    ASSERT_NE(PlatCreateTimer(queue, Count, &count, 10, 0), nullptr);
    EXPECT_TRUE(Eventually([&] { return count.load() == 1; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(count.load(), 1);
    EXPECT_TRUE(PlatDeleteTimerQueue(queue));
}

TEST(TimerQueueTest, DeletingTheQueueCancelsPendingTimers)
{
    std::atomic<int> count{0};
    PlatTimerQueue* queue = PlatCreateTimerQueue();
    ASSERT_NE(queue, nullptr);
    ASSERT_NE(PlatCreateTimer(queue, Count, &count, 60000, 0), nullptr);
    ASSERT_NE(PlatCreateTimer(queue, Count, &count, 30000, 0), nullptr);
    EXPECT_TRUE(PlatDeleteTimerQueue(queue));
    EXPECT_EQ(count.load(), 0);
}

struct Slow {
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
};

void SlowCallback(void* context, int)
{
    auto* slow = static_cast<Slow*>(context);
    slow->started = true;
    std::this_thread::sleep_for(200ms);
    slow->finished = true;
}

TEST(TimerQueueTest, DeletingTheQueueWaitsForARunningCallback)
{
    Slow slow;
    PlatTimerQueue* queue = PlatCreateTimerQueue();
    ASSERT_NE(queue, nullptr);
    ASSERT_NE(PlatCreateTimer(queue, SlowCallback, &slow, 0, 0), nullptr);
    ASSERT_TRUE(Eventually([&] { return slow.started.load(); }));
    EXPECT_TRUE(PlatDeleteTimerQueue(queue));
    EXPECT_TRUE(slow.finished.load());
}

// A callback that arms the next one-shot timer, as a periodic check does.
struct Rearming {
    PlatTimerQueue* queue;
    std::atomic<int> passes{0};
};

void Rearm(void* context, int)
{
    auto* state = static_cast<Rearming*>(context);
    state->passes++;
    PlatCreateTimer(state->queue, Rearm, state, 5, 0);
}

TEST(TimerQueueTest, CallbackCanArmTheNextTimer)
{
    Rearming state;
    state.queue = PlatCreateTimerQueue();
    ASSERT_NE(state.queue, nullptr);
    ASSERT_NE(PlatCreateTimer(state.queue, Rearm, &state, 5, 0), nullptr);
    EXPECT_TRUE(Eventually([&] { return state.passes.load() >= 5; }));
    EXPECT_TRUE(PlatDeleteTimerQueue(state.queue));
    int after = state.passes.load();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(state.passes.load(), after);
}

TEST(TimerQueueTest, PeriodicTimerRepeatsUntilDeleted)
{
    std::atomic<int> count{0};
    PlatTimerQueue* queue = PlatCreateTimerQueue();
    ASSERT_NE(queue, nullptr);
    PlatTimer* timer = PlatCreateTimer(queue, Count, &count, 1, 5);
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(Eventually([&] { return count.load() >= 3; }));
    EXPECT_TRUE(PlatDeleteTimer(queue, timer));
    int after = count.load();
    std::this_thread::sleep_for(50ms);
    EXPECT_LE(count.load(), after + 1); // at most one that was already running
    EXPECT_TRUE(PlatDeleteTimerQueue(queue));
}

TEST(TimerQueueTest, DefaultQueueServesANullQueue)
{
    std::atomic<int> count{0};
    ASSERT_NE(PlatCreateTimer(nullptr, Count, &count, 1, 0), nullptr);
    EXPECT_TRUE(Eventually([&] { return count.load() == 1; }));
    EXPECT_EQ(PlatCreateTimer(nullptr, nullptr, &count, 1, 0), nullptr);
    EXPECT_EQ(PlatGetLastError(), 87u);
}

} // namespace
