#include "platform/clock.h"

#include "common/tm_fields.h"

#include <atomic>
#include <sched.h>
#include <sys/time.h>
#include <time.h>

static std::atomic<PlatLocalTimeSource> g_timeSource{nullptr};

void PlatSetLocalTimeSource(PlatLocalTimeSource source) { g_timeSource.store(source); }

void PlatGetLocalTime(PlatLocalTime* out)
{
    if (!out)
        return;
    if (PlatLocalTimeSource source = g_timeSource.load()) {
        source(out);
        return;
    }
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    /* Breaking a time into local fields is the dear part; a busy logger asks
     * many times a second, so each thread keeps the fields of its last second. */
    thread_local time_t cachedSecond = -1;
    thread_local struct tm parts;
    if (now.tv_sec != cachedSecond) {
        time_t seconds = now.tv_sec;
        localtime_r(&seconds, &parts);
        cachedSecond = seconds;
    }
    PlatLocalTimeFromTm(&parts, static_cast<int>(now.tv_nsec / 1000000), out);
}

void PlatSleepMs(unsigned milliseconds)
{
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    struct timespec pause;
    pause.tv_sec = milliseconds / 1000;
    pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&pause, &pause) != 0) { }
}

int64_t PlatTimeSeconds(void) { return static_cast<int64_t>(time(nullptr)); }

int PlatLocalCalendar(int64_t seconds, PlatLocalTime* out)
{
    if (!out)
        return 0;
    time_t value = static_cast<time_t>(seconds);
    if (static_cast<int64_t>(value) != seconds)
        return 0;
    struct tm parts;
    if (!localtime_r(&value, &parts))
        return 0;
    PlatLocalTimeFromTm(&parts, 0, out);
    return 1;
}
