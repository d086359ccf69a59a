// The queue's worker waits for the next due time with pthread_cond_timedwait,
// which lets go of the queue's mutex; the C library may read the deadline
// again when it resumes waiting. This program is linked with
// --wrap=pthread_cond_timedwait so that every wait reads its deadline once
// more on its way out, as such a resumed wait would; under the address
// sanitizer a deadline that lay in a freed timer is then reported.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <pthread.h>
#include <thread>
#include <time.h>

#include "platform/timer_queue.h"

extern "C" int __real_pthread_cond_timedwait(pthread_cond_t* cond, pthread_mutex_t* mutex,
                                             const struct timespec* deadline);

extern "C" int __wrap_pthread_cond_timedwait(pthread_cond_t* cond, pthread_mutex_t* mutex,
                                             const struct timespec* deadline)
{
    int result = __real_pthread_cond_timedwait(cond, mutex, deadline);
    volatile long nanoseconds = deadline->tv_nsec;
    (void)nanoseconds;
    return result;
}

namespace {

using namespace std::chrono_literals;

void Count(void* context, int fired)
{
    if (fired)
        static_cast<std::atomic<int>*>(context)->fetch_add(1);
}

TEST(TimerDeadlineTest, DeletingTheTimerThatIsWaitedForIsSafe)
{
    std::atomic<int> count{0};
    PlatTimerQueue* queue = PlatCreateTimerQueue();
    ASSERT_NE(queue, nullptr);
    PlatTimer* timer = PlatCreateTimer(queue, Count, &count, 150, 0);
    ASSERT_NE(timer, nullptr);
    std::this_thread::sleep_for(30ms); // the worker now waits for its due time
    EXPECT_TRUE(PlatDeleteTimer(queue, timer));
    std::this_thread::sleep_for(250ms); // past the due time: the wait has ended
    EXPECT_EQ(count.load(), 0);
    EXPECT_TRUE(PlatDeleteTimerQueue(queue));
}

} // namespace
