// The clock the connection pools age their connections by. Tests replace
// it to reach the re-open age without waiting eight hours.
#include <atomic>
#include <ctime>

#include "velmora/db_provider.h"

namespace {
std::atomic<DBClock> g_clock{nullptr};
}

extern "C" void SetDBClock(DBClock clock) { g_clock.store(clock); }

extern "C" uint32_t DBClockNow(void)
{
    DBClock clock = g_clock.load();
    if (clock != nullptr)
        return clock();
    // Seconds of the system clock, cut to 32 bits: ages are computed as
    // unsigned differences, so the wrap in 2106 does no harm.
    return static_cast<uint32_t>(time(nullptr));
}
