#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "object_lock_probe.h"
#include "platform/clock.h"
#include "runtime/log.h"
#include "runtime/object_lock.h"
#include "temp_dir.h"

namespace {

// Waits, by looking, until `count` threads sleep on `key`.
void AwaitSleepers(const void* key, unsigned count)
{
    while (ObjectLockSleepers(key) != count)
        std::this_thread::yield();
}

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
    AwaitSleepers(&key, 1);
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

// Two keys, one sleeper on each: releasing one key wakes its own sleeper and
// nobody else, and the lock counts every contention, sleep and wake-up.
TEST(ObjectLockTest, ReleaseWakesOnlyTheWaitersOfItsKey)
{
    int a = 0, b = 0;
    const ObjectLockCounters before = ReadObjectLockCounters();
    LockObject(&a);
    LockObject(&b);
    std::thread onA([&] {
        EXPECT_EQ(LockObject(&a), OBJECT_LOCK_HELD);
        EXPECT_EQ(UnlockObject(&a), 4);
    });
    std::thread onB([&] {
        EXPECT_EQ(LockObject(&b), OBJECT_LOCK_HELD);
        EXPECT_EQ(UnlockObject(&b), 4);
    });
    AwaitSleepers(&a, 1);
    AwaitSleepers(&b, 1);

    EXPECT_EQ(UnlockObject(&a), 4);
    onA.join();
    ObjectLockCounters now = ReadObjectLockCounters();
    EXPECT_EQ(now.contended - before.contended, 2u);
    EXPECT_EQ(now.sleeps - before.sleeps, 2u);
    EXPECT_EQ(now.wakeUps - before.wakeUps, 1u);
    EXPECT_EQ(ObjectLockSleepers(&b), 1u);

    EXPECT_EQ(UnlockObject(&b), 4);
    onB.join();
    EXPECT_EQ(ReadObjectLockCounters().wakeUps - before.wakeUps, 2u);
    EXPECT_EQ(UnlockObject(&a), 2);
    EXPECT_EQ(UnlockObject(&b), 2);
}

// A holder that releases and at once locks again must not overtake a thread
// that sleeps on the key: the key goes to the sleeper first.
TEST(ObjectLockTest, ReleaseHandsTheKeyToTheSleeperBeforeARelock)
{
    int key = 0;
    bool sleeperHadIt = false; // guarded by the key itself
    LockObject(&key);
    std::thread sleeper([&] {
        LockObject(&key);
        sleeperHadIt = true;
        UnlockObject(&key);
    });
    AwaitSleepers(&key, 1);
    EXPECT_EQ(UnlockObject(&key), 4);
    EXPECT_EQ(LockObject(&key), OBJECT_LOCK_HELD);
    EXPECT_TRUE(sleeperHadIt);
    EXPECT_EQ(UnlockObject(&key), 4);
    sleeper.join();
}

PlatMutex* NoMutex() { return nullptr; }

// Without a mutex nothing can be locked: LockObject says so instead of
// returning as if it held the key, the failure is reported once on standard
// error and in the log, and the log's lines are still written. A later use
// tries to create the mutex again.
TEST(ObjectLockTest, LockWithoutAMutexFailsLoudlyOnce)
{
    if (!SetObjectLockMutexSource(NoMutex))
        GTEST_SKIP() << "the mutex exists already (tests share this process)";
    TempDir dir;
    ::testing::internal::CaptureStderr();
    // An adopted stream: nothing locks before the first line.
    ASSERT_TRUE(InitLogDefaults());
    ASSERT_TRUE(SetLogFilePtr(fopen(dir.file("test.log").c_str(), "w")));

    int key = 0;
    LogInfo("written without the lock\n");
    EXPECT_EQ(LockObject(&key), OBJECT_LOCK_UNAVAILABLE);
    EXPECT_EQ(UnlockObject(&key), 2);
    std::string reported = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(reported, "LockObject : the mutex of the object lock cannot be created; nothing is locked\n");

    SetObjectLockMutexSource(nullptr);
    EXPECT_EQ(LockObject(&key), OBJECT_LOCK_HELD);
    EXPECT_EQ(UnlockObject(&key), 4);
    CloseLogFile();
    FreeLogConfig();
    std::vector<std::string> lines = SplitLines(ReadWholeFile(dir.file("test.log")));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("[ERROR] LockObject : the mutex of the object lock cannot be created; nothing is locked"),
              std::string::npos);
    EXPECT_NE(lines[1].find("[INFO] written without the lock"), std::string::npos);
}

} // namespace
