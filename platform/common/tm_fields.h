/* The calendar fields of a C library struct tm in the platform's own form.
 * Both halves break times with the C library (localtime_r, _localtime64_s),
 * so both copy the same fields the same way. */
#ifndef PLATFORM_COMMON_TM_FIELDS_H
#define PLATFORM_COMMON_TM_FIELDS_H

#include <time.h>

#include "platform/clock.h"

static inline void PlatLocalTimeFromTm(const struct tm* parts, int millisecond, PlatLocalTime* out)
{
    out->year = parts->tm_year + 1900;
    out->month = parts->tm_mon + 1;
    out->day = parts->tm_mday;
    out->hour = parts->tm_hour;
    out->minute = parts->tm_min;
    out->second = parts->tm_sec;
    out->millisecond = millisecond;
}

#endif
