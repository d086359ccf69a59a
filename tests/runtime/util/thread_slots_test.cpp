#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/clock.h"
#include "runtime/thread_slots.h"

namespace {

TEST(ThreadPool, IdleSlotGrowOrFull)
{
    ThreadSlot slots[3] = {};
    ResetThreadSlots(slots, 3);
    for (ThreadSlot& s : slots)
        s.state = THREAD_SLOT_BUSY;
    uint16_t index = 99;
    EXPECT_EQ(CheckThreadPool(slots, 3, &index, 3), THREAD_POOL_FULL);
    EXPECT_EQ(CheckThreadPool(slots, 3, &index, 4), THREAD_POOL_CAN_GROW);
    EXPECT_EQ(index, 99);
    slots[1].state = THREAD_SLOT_IDLE;
    slots[2].state = THREAD_SLOT_IDLE;
    EXPECT_EQ(CheckThreadPool(slots, 3, &index, 3), THREAD_POOL_IDLE_SLOT);
    EXPECT_EQ(index, 1);
    ResetThreadSlots(slots, 3);
    EXPECT_EQ(CheckThreadPool(slots, 3, &index, 3), THREAD_POOL_FULL);
    EXPECT_EQ(CheckThreadPool(nullptr, 0, &index, 2), THREAD_POOL_CAN_GROW);
}

// A dispatcher hands jobs to parked workers through their slots.
struct Pool {
    static constexpr int kWorkers = 3;
    ThreadSlot slots[kWorkers] = {};
    std::atomic<int> jobs[kWorkers] = {};
    std::atomic<int> done{0};
    std::atomic<bool> stop{false};
};

struct WorkerArgument {
    Pool* pool;
    int index;
};

unsigned Worker(void* parameter)
{
    auto* arg = static_cast<WorkerArgument*>(parameter);
    Pool& pool = *arg->pool;
    for (;;) {
        ParkThreadSlot(&pool.slots[arg->index]);
        if (pool.stop.load())
            return 0;
        pool.done += pool.jobs[arg->index].exchange(0);
    }
}

TEST(ThreadPool, ParkedWorkersTakeEveryJob)
{
    InitThreadInfo();
    Pool pool;
    WorkerArgument args[Pool::kWorkers];
    uint16_t started = 0;
    const int kJobs = 2000;
    for (int job = 0; job < kJobs;) {
        uint16_t index = 0;
        int state = CheckThreadPool(pool.slots, started, &index, Pool::kWorkers);
        if (state == THREAD_POOL_IDLE_SLOT) {
            ASSERT_EQ(pool.jobs[index].load(), 0);
            pool.jobs[index] = 1;
            // Marked busy at once: the next look does not hand it out again.
            WakeThreadSlot(&pool.slots[index]);
            ++job;
        } else if (state == THREAD_POOL_CAN_GROW) {
            args[started] = {&pool, started};
            pool.slots[started].state = THREAD_SLOT_BUSY;
            pool.slots[started].thread = CreateNewThread(Worker, &args[started]);
            ASSERT_NE(pool.slots[started].thread, nullptr);
            ++started;
        } else {
            PlatSleepMs(0);
        }
    }
    // Every worker parks again once its last job is done.
    for (int tries = 0; pool.done.load() != kJobs && tries < 10000; ++tries)
        PlatSleepMs(1);
    EXPECT_EQ(pool.done.load(), kJobs);

    pool.stop = true;
    for (uint16_t i = 0; i < started; ++i) {
        WakeThreadSlot(&pool.slots[i]);
        EXPECT_EQ(PlatThreadWait(pool.slots[i].thread, 10000), 0u);
    }
    ReleaseThreadSlots(pool.slots, started);
    for (uint16_t i = 0; i < started; ++i) {
        EXPECT_EQ(pool.slots[i].state, THREAD_SLOT_FREE);
        EXPECT_EQ(pool.slots[i].thread, nullptr);
    }
}

std::atomic<bool> g_mayPark{false};

unsigned ParkLate(void* parameter)
{
    auto* slot = static_cast<ThreadSlot*>(parameter);
    while (!g_mayPark.load())
        PlatSleepMs(1);
    ParkThreadSlot(slot);
    return 7;
}

TEST(ThreadPool, WakeBeforeParkIsNotLost)
{
    ThreadSlot slot = {THREAD_SLOT_BUSY, nullptr};
    slot.thread = CreateNewThread(ParkLate, &slot);
    ASSERT_NE(slot.thread, nullptr);
    WakeThreadSlot(&slot);
    g_mayPark = true;
    EXPECT_EQ(PlatThreadWait(slot.thread, 10000), 0u);
    EXPECT_EQ(slot.state, THREAD_SLOT_BUSY);
    ReleaseThreadSlots(&slot, 1);
}

unsigned ParkForEver(void*)
{
    PlatThreadPark();
    return 0;
}

TEST(ThreadPool, HandleMayBeClosedBeforeTheThreadEnds)
{
    PlatThread* thread = CreateNewThread(ParkForEver, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(PlatThreadWait(thread, 50), 258u);
    // The thread still runs on its own record after the handle is gone.
    PlatThreadWake(thread);
    PlatThreadClose(thread);
    PlatSleepMs(50);
    EXPECT_EQ(CreateNewThread(nullptr, nullptr), nullptr);
}

} // namespace
