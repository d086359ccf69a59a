/* The ESU coverage year of the local date. */
#include <atomic>

#include "platform/clock.h"
#include "tool/applicability.h"

namespace {

std::atomic<EsuDateSource> g_dateSource{nullptr};

int SystemLocalDate(int* year, int* month, int* day)
{
    PlatLocalTime now;
    if (!PlatLocalCalendar(PlatTimeSeconds(), &now))
        return 0;
    *year = now.year;
    *month = now.month;
    *day = now.day;
    return 1;
}

} // namespace

void SetEsuDateSource(EsuDateSource source) { g_dateSource.store(source); }

/* Each later coverage year begins with January's update day (its second
 * Tuesday): 12 January 2021 and 11 January 2022. */
int ESUYearOfDate(int year, int month, int day)
{
    if (year < 2020)
        return 0;
    if (year == 2020)
        return 1;
    if (year == 2021)
        return month == 1 && day <= 11 ? 1 : 2;
    if (year == 2022)
        return month == 1 && day <= 10 ? 2 : 3;
    return 3;
}

int GetESUYear(void)
{
    EsuDateSource source = g_dateSource.load();
    if (!source)
        source = SystemLocalDate;
    int year = 0, month = 0, day = 0;
    /* A date that cannot be determined must not stop an installation that
     * is otherwise due: it counts as the first year. */
    if (!source(&year, &month, &day))
        return 1;
    return ESUYearOfDate(year, month, day);
}
