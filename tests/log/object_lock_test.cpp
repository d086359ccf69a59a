#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "runtime/object_lock.h"

namespace {

TEST(ObjectLockTest, UnlockReportsWhetherTheKeyWasHeld)
{
    int key = 0;
    EXPECT_EQ(UnlockObject(&key), 2);
    LockObject(&key);
    EXPECT_EQ(UnlockObject(&key), 4);
    EXPECT_EQ(UnlockObject(&key), 2);
}

TEST(ObjectLockTest, WorksWithoutInitMutex)
{
    // Each test runs in its own process, so this is the first use.
    char key = 0;
    LockObject(&key);
    EXPECT_EQ(UnlockObject(&key), 4);
    InitMutex(); // a later call neither replaces nor breaks the mutex
    LockObject(&key);
    EXPECT_EQ(UnlockObject(&key), 4);
}

TEST(ObjectLockTest, SecondLockerWaitsForTheFirstToUnlock)
{
    int key = 0;
    std::atomic<bool> acquired{false};
    LockObject(&key);
    std::thread second([&] {
        LockObject(&key);
        acquired = true;
        UnlockObject(&key);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(acquired.load());
    EXPECT_EQ(UnlockObject(&key), 4);
    second.join();
    EXPECT_TRUE(acquired.load());
}

TEST(ObjectLockTest, DifferentKeysDoNotBlockEachOther)
{
    int first = 0, second = 0;
    LockObject(&first);
    std::thread other([&] {
        LockObject(&second);
        UnlockObject(&second);
    });
    other.join(); // would hang if keys were not independent
    EXPECT_EQ(UnlockObject(&first), 4);
}

// Many threads take turns on a few keys, each guarding a plain counter;
// any lapse of mutual exclusion loses increments.
TEST(ObjectLockTest, KeysExcludeUnderHeavyContention)
{
    const int kThreads = 6;
    const int kRounds = 20000;
    long counters[3] = {0, 0, 0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; i++) {
                long* counter = &counters[(t + i) % 3];
                LockObject(counter);
                long value = *counter;
                if (i % 64 == 0)
                    std::this_thread::yield();
                *counter = value + 1;
                UnlockObject(counter);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(counters[0] + counters[1] + counters[2], static_cast<long>(kThreads) * kRounds);
    for (long* counter : {&counters[0], &counters[1], &counters[2]})
        EXPECT_EQ(UnlockObject(counter), 2);
}

} // namespace
