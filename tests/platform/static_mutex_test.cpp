// The process-wide mutex that needs no creation (PlatStaticMutex,
// PlatGlobalMutex): a zeroed record must be a working, unlocked mutex.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <vector>

#include "platform/thread.h"

namespace {

PlatGlobalMutex g_counterLock; // constant-initialised, as the store's are
long g_counter = 0;

// The POSIX half takes a zeroed record for an initialised pthread mutex;
// that holds only while the C library's initialiser is all zero bytes.
TEST(StaticMutex, ZeroedRecordIsTheCLibrarysInitialiser)
{
    pthread_mutex_t initialiser = PTHREAD_MUTEX_INITIALIZER;
    PlatStaticMutex zeroed{};
    EXPECT_EQ(0, std::memcmp(&initialiser, &zeroed, sizeof initialiser));
}

// Threads that increment a shared counter under the lock lose no update,
// and the lock can be taken again after each release.
TEST(StaticMutex, SerialisesThreads)
{
    constexpr int kThreads = 4, kRounds = 5000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++)
        threads.emplace_back([] {
            for (int i = 0; i < kRounds; i++) {
                std::lock_guard<PlatGlobalMutex> hold(g_counterLock);
                long seen = g_counter;
                std::this_thread::yield();
                g_counter = seen + 1;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(long(kThreads) * kRounds, g_counter);
}

} // namespace
