/* DateAndTime octets (RFC 2579) and the three HTTP date forms (RFC 2616). */
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/clock.h"
#include "runtime/conversions.h"
#include "runtime/log.h"
#include "text_scanner.h"
#include "util_internal.h"

char* ConvertToStringFromDateTime(const unsigned char* octets, int32_t* count)
{
    LogTrace("\n\t@@@@@ Inside ConvertToStringFromDateTime() @@@@@ \n");
    /* The long form reads 11 octets: a count of 9 or 10 would read past the
     * caller's value. */
    if (!octets || !count || (*count != 8 && *count < 11)) {
        LogError("ConvertToStringFromDateTime: no DateAndTime value of %d octets\n", count ? *count : -1);
        return nullptr;
    }
    /* Largest text: "65535-255-255,255:255:255.255,c255:255". */
    const size_t size = 40;
    auto* text = static_cast<char*>(malloc(size));
    if (!text) {
        util::LogNoBuffer();
        return nullptr;
    }
    int year = (octets[0] << 8) | octets[1];
    int length;
    if (*count == 8) {
        length = snprintf(text, size, "%d-%d-%d,%d:%d:%d.%d", year, octets[2], octets[3], octets[4], octets[5],
                          octets[6], octets[7]);
    } else {
        length = snprintf(text, size, "%d-%d-%d,%d:%d:%d.%d,%c%d:%d", year, octets[2], octets[3], octets[4], octets[5],
                          octets[6], octets[7], static_cast<char>(octets[8]), octets[9], octets[10]);
    }
    LogTrace("The retVal is %s\n", text);
    *count = length;
    return text;
}

unsigned char* ConvertToDateTimeFromString(const char* text, int32_t* count)
{
    LogTrace("\n\t@@@@@ Inside ConvertToDateTimeFromString() @@@@@ \n");
    if (!text || !count)
        return nullptr;
    int number[9] = {};
    char direction = 0;
    int fields = 0;
    util::TextScanner scan(text);
    auto field = [&fields](bool read) { return read ? (++fields, true) : false; };
    /* "%d-%d-%d,%d:%d:%d.%d,%c%d:%d" */
    (void)(field(scan.Number(&number[0])) && scan.Literal('-') && field(scan.Number(&number[1])) && scan.Literal('-') &&
           field(scan.Number(&number[2])) && scan.Literal(',') && field(scan.Number(&number[3])) && scan.Literal(':') &&
           field(scan.Number(&number[4])) && scan.Literal(':') && field(scan.Number(&number[5])) && scan.Literal('.') &&
           field(scan.Number(&number[6])) && scan.Literal(',') && field(scan.Character(&direction)) &&
           field(scan.Number(&number[7])) && scan.Literal(':') && field(scan.Number(&number[8])));
    if (fields != 7 && fields != 10) {
        LogError("ConvertToDateTimeFromString: no DateAndTime text\n");
        return nullptr;
    }
    int octetCount = fields == 10 ? 11 : 8;
    auto* octets = static_cast<unsigned char*>(malloc(static_cast<size_t>(octetCount)));
    if (!octets) {
        util::LogNoBuffer();
        return nullptr;
    }
    octets[0] = static_cast<unsigned char>(number[0] >> 8);
    octets[1] = static_cast<unsigned char>(number[0]);
    for (int i = 1; i <= 6; ++i)
        octets[i + 1] = static_cast<unsigned char>(number[i]);
    if (octetCount == 11) {
        octets[8] = static_cast<unsigned char>(direction);
        octets[9] = static_cast<unsigned char>(number[7]);
        octets[10] = static_cast<unsigned char>(number[8]);
    }
    for (int i = 0; i < octetCount; ++i)
        LogTrace("%.02x\n", octets[i]);
    *count = octetCount;
    return octets;
}

int ParseMonth(const char* name)
{
    LogTrace("\n\t@@@@@ Inside ParseMonth() @@@@@ \n");
    static const char* const kMonths[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                            "jul", "aug", "sep", "oct", "nov", "dec"};
    if (!name || strlen(name) != 3)
        return -1;
    char lower[4];
    for (int i = 0; i < 3; ++i)
        lower[i] = (name[i] >= 'A' && name[i] <= 'Z') ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
    lower[3] = '\0';
    for (int month = 0; month < 12; ++month) {
        if (strcmp(lower, kMonths[month]) == 0)
            return month;
    }
    return -1;
}

namespace {

/* Words (weekday, month, zone) of at most CONVERSION_MAX_COMPONENT
 * characters; a longer one means the form does not match. */
typedef char Word[CONVERSION_MAX_COMPONENT + 1];

struct DateFields {
    int day, year, hour, minute, second;
    Word month;
};

/* "Sun, 06 Nov 1994 08:49:37 GMT" */
bool ReadRfc1123(const char* text, DateFields* f)
{
    util::TextScanner s(text);
    Word weekday, zone;
    return s.Word(weekday, sizeof weekday) && s.Number(&f->day) && s.Word(f->month, sizeof f->month) &&
        s.Number(&f->year) && s.Number(&f->hour) && s.Literal(':') && s.Number(&f->minute) && s.Literal(':') &&
        s.Number(&f->second) && s.Word(zone, sizeof zone);
}

/* "Sunday, 06-Nov-94 08:49:37 GMT" */
bool ReadRfc850(const char* text, DateFields* f)
{
    util::TextScanner s(text);
    Word weekday, zone;
    return s.Word(weekday, sizeof weekday) && s.Number(&f->day) && s.Literal('-') &&
        s.Word(f->month, sizeof f->month, 3) && s.Literal('-') && s.Number(&f->year) && s.Number(&f->hour) &&
        s.Literal(':') && s.Number(&f->minute) && s.Literal(':') && s.Number(&f->second) && s.Word(zone, sizeof zone);
}

/* "Sun Nov  6 08:49:37 1994" */
bool ReadAsctime(const char* text, DateFields* f)
{
    util::TextScanner s(text);
    Word weekday;
    return s.Word(weekday, sizeof weekday) && s.Word(f->month, sizeof f->month) && s.Number(&f->day) &&
        s.Number(&f->hour) && s.Literal(':') && s.Number(&f->minute) && s.Literal(':') && s.Number(&f->second) &&
        s.Number(&f->year);
}

} // namespace

struct tm* ParseDateTime(const char* text)
{
    LogTrace("\n\t@@@@@ Inside ParseDateTime() @@@@@ \n");
    if (!text)
        return nullptr;
    DateFields f{};
    long long yearsSince1900;
    if (ReadRfc1123(text, &f)) {
        yearsSince1900 = f.year - 1900;
    } else if (f = DateFields{}, ReadRfc850(text, &f)) {
        /* The two-digit year of this form stands for 19xx and is kept as
         * written; a four-digit year (as in cookie dates) is a full year. */
        yearsSince1900 = f.year >= 1900 ? f.year - 1900 : f.year;
    } else if (f = DateFields{}, ReadAsctime(text, &f)) {
        yearsSince1900 = f.year - 1900;
    } else {
        return nullptr;
    }
    int month = ParseMonth(f.month);
    if (month < 0 || yearsSince1900 < INT_MIN)
        return nullptr;
    auto* time = static_cast<struct tm*>(calloc(1, sizeof(struct tm)));
    if (!time) {
        util::LogNoBuffer();
        return nullptr;
    }
    time->tm_sec = f.second;
    time->tm_min = f.minute;
    time->tm_hour = f.hour;
    time->tm_mday = f.day;
    time->tm_mon = month;
    time->tm_year = static_cast<int>(yearsSince1900);
    return time;
}

int CompareTime(const struct tm* a, const struct tm* b)
{
    LogTrace("\n\t@@@@@ Inside CompareTime() @@@@@ \n");
    if (!a || !b)
        return 0;
    const int left[] = {a->tm_year, a->tm_mon, a->tm_mday, a->tm_hour, a->tm_min, a->tm_sec};
    const int right[] = {b->tm_year, b->tm_mon, b->tm_mday, b->tm_hour, b->tm_min, b->tm_sec};
    for (int i = 0; i < 6; ++i) {
        if (left[i] != right[i])
            return left[i] > right[i] ? 1 : 0;
    }
    return 1;
}

char* GetCurrentDateTimeString(void)
{
    PlatLocalTime now;
    PlatGetLocalTime(&now);
    char text[64];
    int length = snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", now.year, now.month, now.day, now.hour,
                          now.minute, now.second);
    return util::CopyRange(text, static_cast<size_t>(length));
}
