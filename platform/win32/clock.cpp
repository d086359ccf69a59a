#include "platform/clock.h"

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
