/* Local wall-clock time with milliseconds. */
#ifndef PLATFORM_CLOCK_H
#define PLATFORM_CLOCK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PlatLocalTime {
    int year;        /* four digits */
    int month;       /* 1..12 */
    int day;         /* 1..31 */
    int hour;        /* 0..23 */
    int minute;      /* 0..59 */
    int second;      /* 0..59 (60 on a leap second) */
    int millisecond; /* 0..999 */
} PlatLocalTime;

/* Fills *out with the current local time. */
void PlatGetLocalTime(PlatLocalTime* out);

/* Replaces the clock for tests: every later PlatGetLocalTime asks `source`
 * instead of the system. A null source restores the system clock. */
typedef void (*PlatLocalTimeSource)(PlatLocalTime* out);
void PlatSetLocalTimeSource(PlatLocalTimeSource source);

/* The current time as seconds since 1 January 1970 UTC, 64-bit. */
int64_t PlatTimeSeconds(void);

/* Converts seconds since 1970 to the local calendar (time zone and daylight
 * saving applied; millisecond 0). Returns 1, or 0 when the system cannot
 * convert the time, leaving *out alone. Not affected by
 * PlatSetLocalTimeSource. */
int PlatLocalCalendar(int64_t seconds, PlatLocalTime* out);

/* Sleeps the calling thread; 0 only yields the processor. */
void PlatSleepMs(unsigned milliseconds);

#ifdef __cplusplus
}
#endif
#endif
