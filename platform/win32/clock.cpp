#include "platform/clock.h"

#include "common/tm_fields.h"

#include <time.h>
#include <windows.h>

static PlatLocalTimeSource volatile g_timeSource = nullptr;

void PlatSetLocalTimeSource(PlatLocalTimeSource source)
{
    InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&g_timeSource), reinterpret_cast<PVOID>(source));
}

void PlatGetLocalTime(PlatLocalTime* out)
{
    if (!out)
        return;
    if (PlatLocalTimeSource source = g_timeSource) {
        source(out);
        return;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    out->year = now.wYear;
    out->month = now.wMonth;
    out->day = now.wDay;
    out->hour = now.wHour;
    out->minute = now.wMinute;
    out->second = now.wSecond;
    out->millisecond = now.wMilliseconds;
}

void PlatSleepMs(unsigned milliseconds) { Sleep(milliseconds); }

int64_t PlatTimeSeconds(void) { return static_cast<int64_t>(_time64(nullptr)); }

int PlatLocalCalendar(int64_t seconds, PlatLocalTime* out)
{
    if (!out)
        return 0;
    __time64_t value = seconds;
    struct tm parts;
    if (_localtime64_s(&parts, &value) != 0)
        return 0;
    PlatLocalTimeFromTm(&parts, 0, out);
    return 1;
}
