/*
 * Date and time values.
 *
 * The text parsers use a small scanner of their own that reads the
 * patterns "%d-%d-%d %d:%d:%d", "%d-%d-%d" and "%d:%d:%d" as sscanf would,
 * but saturates numbers that do not fit an int instead of leaving them
 * undefined, and behaves the same on every C library. The calendar
 * arithmetic reads the rendered text back with a strptime-equivalent reader
 * of "%Y-%m-%d %H:%M:%S" (strptime itself is not available on Windows).
 */
#include "velmora/bri_datetime.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "platform/clock.h"
#include "runtime/log.h"
#include "velmora/base_alloc.h"

namespace {

const char kDateFormat[] = "%04d-%02d-%02d";
const char kTimeFormat[] = "%02d:%02d:%02d";
const char kDateTimeFormat[] = "%04d-%02d-%02d %02d:%02d:%02d";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

/*
 * Reads text against a pattern made of "%d" conversions, blanks (any run of
 * white space, also none) and literal characters, as sscanf does: stops at
 * the first mismatch. Returns how many numbers were read; the rest of
 * values is left as it was.
 */
int ScanNumbers(const char* text, const char* pattern, int* values, int capacity)
{
    int read = 0;
    const char* p = text;
    for (const char* f = pattern; *f; f++) {
        if (f[0] == '%' && f[1] == 'd') {
            f++;
            while (IsSpace(*p))
                p++;
            bool negative = false;
            if (*p == '+' || *p == '-') {
                negative = *p == '-';
                p++;
            }
            if (!IsDigit(*p) || read >= capacity)
                return read;
            long long value = 0;
            while (IsDigit(*p)) {
                if (value <= static_cast<long long>(INT_MAX) + 1)
                    value = value * 10 + (*p - '0');
                p++;
            }
            if (negative)
                value = -value;
            if (value > INT_MAX)
                value = INT_MAX;
            if (value < INT_MIN)
                value = INT_MIN;
            values[read++] = static_cast<int>(value);
        } else if (IsSpace(*f)) {
            while (IsSpace(*p))
                p++;
        } else {
            if (*p != *f)
                return read;
            p++;
        }
    }
    return read;
}

/* strptime's reading of one number: optional white space, then 1 to
 * `digits` digits (fewer when another would exceed `high`), within
 * [low, high]. */
bool ReadField(const char** cursor, int low, int high, int digits, int* out)
{
    const char* p = *cursor;
    while (IsSpace(*p))
        p++;
    if (!IsDigit(*p))
        return false;
    int value = 0;
    do {
        value = value * 10 + (*p++ - '0');
    } while (--digits > 0 && value * 10 <= high && IsDigit(*p));
    if (value < low || value > high)
        return false;
    *cursor = p;
    *out = value;
    return true;
}

bool ReadLiteral(const char** cursor, char c)
{
    if (**cursor != c)
        return false;
    (*cursor)++;
    return true;
}

/* "%Y-%m-%d %H:%M:%S" read as glibc's strptime reads it. */
bool ParseCalendarText(const char* text, struct tm* out)
{
    const char* p = text;
    int year, month, day, hour, minute, second;
    if (!ReadField(&p, 0, 9999, 4, &year) || !ReadLiteral(&p, '-') || !ReadField(&p, 1, 12, 2, &month) ||
        !ReadLiteral(&p, '-') || !ReadField(&p, 1, 31, 2, &day))
        return false;
    while (IsSpace(*p))
        p++;
    if (!ReadField(&p, 0, 23, 2, &hour) || !ReadLiteral(&p, ':') || !ReadField(&p, 0, 59, 2, &minute) ||
        !ReadLiteral(&p, ':') || !ReadField(&p, 0, 61, 2, &second))
        return false;
    memset(out, 0, sizeof *out);
    out->tm_year = year - 1900;
    out->tm_mon = month - 1;
    out->tm_mday = day;
    out->tm_hour = hour;
    out->tm_min = minute;
    out->tm_sec = second;
    return true;
}

long long FloorDiv(long long a, long long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

/* Days since 1970-01-01 of a proleptic Gregorian date (month 1-12). */
long long DaysFromCivil(long long year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const long long era = FloorDiv(year, 400);
    const unsigned yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long days, long long* year, unsigned* month, unsigned* day)
{
    days += 719468;
    const long long era = FloorDiv(days, 146097);
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *day = doy - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<long long>(yoe) + era * 400 + (*month <= 2);
}

/* The calendar fields of *t with every overflow carried, by the Gregorian
 * calendar alone (no time zone): for times mktime cannot represent. */
void NormaliseWithoutZone(struct tm* t)
{
    long long year = static_cast<long long>(t->tm_year) + 1900 + FloorDiv(t->tm_mon, 12);
    long long month = t->tm_mon - FloorDiv(t->tm_mon, 12) * 12;
    long long days = DaysFromCivil(year, static_cast<unsigned>(month + 1), 1) + (t->tm_mday - 1LL);
    long long seconds = t->tm_hour * 3600LL + t->tm_min * 60LL + t->tm_sec;
    days += FloorDiv(seconds, 86400);
    seconds -= FloorDiv(seconds, 86400) * 86400;
    unsigned m, d;
    CivilFromDays(days, &year, &m, &d);
    t->tm_year = static_cast<int>(year - 1900);
    t->tm_mon = static_cast<int>(m) - 1;
    t->tm_mday = static_cast<int>(d);
    t->tm_hour = static_cast<int>(seconds / 3600);
    t->tm_min = static_cast<int>(seconds / 60 % 60);
    t->tm_sec = static_cast<int>(seconds % 60);
}

/* The C library's local-time normalisation; the zone-free one where mktime
 * gives up (years it cannot represent). */
void Normalise(struct tm* t)
{
    struct tm copy = *t;
    copy.tm_isdst = -1;
    copy.tm_wday = -1;
    time_t result = mktime(&copy);
    if (result == static_cast<time_t>(-1) && copy.tm_wday == -1) {
        NormaliseWithoutZone(t);
        return;
    }
    *t = copy;
}

/* Adds a signed number of days without overflowing tm_mday: whole 400-year
 * cycles (146097 days each) go to the year. */
void AddDays(struct tm* t, long long days, long long* years)
{
    *years += days / 146097 * 400;
    t->tm_mday += static_cast<int>(days % 146097);
}

BriDateTime* ShiftBriDateTime(BriDateTime* value, uint32_t amount, int unit, int sign)
{
    if (!value || !value->date || !value->time) {
        LogError("AddToBriDateTime : date or time missing\n");
        return nullptr;
    }
    char* text = BriDateTimeToString(value);
    if (!text)
        return nullptr;
    struct tm t;
    bool parsed = ParseCalendarText(text, &t);
    free(text);
    if (!parsed) {
        LogError("AddToBriDateTime : value is not a calendar date and time\n");
        return nullptr;
    }

    /* Large amounts are split into whole days (and those into 400-year
     * cycles) so that no tm field overflows an int; the split changes
     * nothing, since mktime carries overflowing fields the same way. */
    const long long a = amount;
    long long years = 0;
    switch (unit) {
    case BRI_UNIT_NANOSECONDS:
    case BRI_UNIT_MICROSECONDS:
    case BRI_UNIT_MILLISECONDS:
    case BRI_UNIT_SECONDS: {
        long long seconds = unit == BRI_UNIT_NANOSECONDS ? a / 1000000000
            : unit == BRI_UNIT_MICROSECONDS              ? a / 1000000
            : unit == BRI_UNIT_MILLISECONDS              ? a / 1000
                                                         : a;
        AddDays(&t, sign * (seconds / 86400), &years);
        t.tm_sec += static_cast<int>(sign * (seconds % 86400));
        break;
    }
    case BRI_UNIT_MINUTES:
        AddDays(&t, sign * (a / 1440), &years);
        t.tm_min += static_cast<int>(sign * (a % 1440));
        break;
    case BRI_UNIT_HOURS:
        AddDays(&t, sign * (a / 24), &years);
        t.tm_hour += static_cast<int>(sign * (a % 24));
        break;
    case BRI_UNIT_DAYS:
        AddDays(&t, sign * a, &years);
        break;
    case BRI_UNIT_WEEKS:
        AddDays(&t, sign * 7 * a, &years);
        break;
    case BRI_UNIT_MONTHS:
        years += sign * (a / 12);
        t.tm_mon += static_cast<int>(sign * (a % 12));
        break;
    default:
        break; /* only normalise */
    }
    /* Years far outside the record's range are refused before they reach
     * the int fields. */
    if (years > 1000000 || years < -1000000) {
        LogError("AddToBriDateTime : result out of range\n");
        return nullptr;
    }
    t.tm_year += static_cast<int>(years);
    Normalise(&t);

    long long year = static_cast<long long>(t.tm_year) + 1900;
    if (year < INT16_MIN || year > INT16_MAX) {
        LogError("AddToBriDateTime : result out of range\n");
        return nullptr;
    }
    value->date->year = static_cast<int16_t>(year);
    value->date->month = static_cast<uint8_t>(t.tm_mon + 1);
    value->date->day = static_cast<uint8_t>(t.tm_mday);
    value->time->hour = static_cast<uint8_t>(t.tm_hour);
    value->time->minute = static_cast<uint8_t>(t.tm_min);
    value->time->second = static_cast<uint8_t>(t.tm_sec);
    return value;
}

char* Format(const char* format, int a, int b, int c, int d = 0, int e = 0, int f = 0)
{
    char buffer[96];
    snprintf(buffer, sizeof buffer, format, a, b, c, d, e, f);
    return BriStrdup(buffer);
}

} // namespace

BriDate* CreateBriDate(int year, int month, int day)
{
    auto* date = static_cast<BriDate*>(BriCalloc(1, sizeof(BriDate)));
    if (!date) {
        LogError("BriDate creation failed");
        return nullptr;
    }
    date->year = static_cast<int16_t>(year);
    date->month = static_cast<uint8_t>(month);
    date->day = static_cast<uint8_t>(day);
    return date;
}

BriTime* CreateBriTime(int hour, int minute, int second)
{
    auto* time = static_cast<BriTime*>(BriCalloc(1, sizeof(BriTime)));
    if (!time) {
        LogError("BriTime creation failed");
        return nullptr;
    }
    time->hour = static_cast<uint8_t>(hour);
    time->minute = static_cast<uint8_t>(minute);
    time->second = static_cast<uint8_t>(second);
    return time;
}

BriDateTime* CreateBriDateTime(int year, int month, int day, int hour, int minute, int second)
{
    auto* value = static_cast<BriDateTime*>(BriCalloc(1, sizeof(BriDateTime)));
    if (value) {
        value->date = CreateBriDate(year, month, day);
        value->time = value->date ? CreateBriTime(hour, minute, second) : nullptr;
    }
    if (!value || !value->time) {
        LogError("BriDateTime creation failed");
        FreeBriDateTime(value);
        return nullptr;
    }
    return value;
}

void FreeBriDateTime(BriDateTime* value)
{
    if (!value)
        return;
    free(value->date);
    free(value->time);
    free(value);
}

char* BriDateToString(const BriDate* date)
{
    if (!date)
        return nullptr;
    return Format(kDateFormat, date->year, date->month, date->day);
}

char* BriTimeToString(const BriTime* time)
{
    if (!time)
        return nullptr;
    return Format(kTimeFormat, time->hour, time->minute, time->second);
}

char* BriDateTimeToString(const BriDateTime* value)
{
    if (!value)
        return nullptr;
    if (value->date && value->time)
        return Format(kDateTimeFormat, value->date->year, value->date->month, value->date->day, value->time->hour,
                      value->time->minute, value->time->second);
    if (value->date)
        return BriDateToString(value->date);
    if (value->time)
        return BriTimeToString(value->time);
    return nullptr;
}

namespace {

/* Reads "Y-M-D h:m:s", "Y-M-D" or "h:m:s" (told apart by '-' and ':') into
 * v[0..2] (date) and v[3..5] (time); fields not in the text stay 0.
 * Reports which parts the text has. */
void ScanDateTimeText(const char* text, int v[6], bool* hasDate, bool* hasTime)
{
    *hasDate = strchr(text, '-') != nullptr;
    *hasTime = strchr(text, ':') != nullptr;
    if (*hasDate && *hasTime)
        ScanNumbers(text, "%d-%d-%d %d:%d:%d", v, 6);
    else if (*hasDate)
        ScanNumbers(text, "%d-%d-%d", v, 3);
    else if (*hasTime)
        ScanNumbers(text, "%d:%d:%d", v + 3, 3);
}

} // namespace

BriDateTime* ConvertStringToBriDateTime(const char* text)
{
    LogTrace("Inside ConvertStringToBriDateTime \n");
    if (!text) {
        LogError("datetimeStr NULL \n");
        return nullptr;
    }
    int v[6] = {0, 0, 0, 0, 0, 0};
    bool hasDate, hasTime;
    ScanDateTimeText(text, v, &hasDate, &hasTime);
    if (!hasDate && !hasTime)
        return nullptr;
    return CreateBriDateTime(v[0], v[1], v[2], v[3], v[4], v[5]);
}

void* ConvertStringToBriDateOrTime(const char* text)
{
    LogTrace("Inside ConvertStringToBriDateTime \n");
    if (!text) {
        LogError("datetimeStr NULL \n");
        return nullptr;
    }
    int v[6] = {0, 0, 0, 0, 0, 0};
    bool hasDate, hasTime;
    ScanDateTimeText(text, v, &hasDate, &hasTime);
    if (hasDate && hasTime)
        return CreateBriDateTime(v[0], v[1], v[2], v[3], v[4], v[5]);
    if (hasDate)
        return CreateBriDate(v[0], v[1], v[2]);
    if (hasTime)
        return CreateBriTime(v[3], v[4], v[5]);
    return nullptr;
}

BriDateTime* ConvertStringToBriGenDateTime(const char* text)
{
    LogTrace("Inside ConvertStringToBriGenDateTime \n");
    if (!text) {
        LogError("datetimeStr NULL \n");
        return nullptr;
    }
    int v[6] = {0, 0, 0, 0, 0, 0};
    bool hasDate, hasTime;
    ScanDateTimeText(text, v, &hasDate, &hasTime);
    if (!hasDate && !hasTime) {
        LogError("The String is not a datetimeStr \n");
        return nullptr;
    }

    auto* value = static_cast<BriDateTime*>(BriCalloc(1, sizeof(BriDateTime)));
    if (!value) {
        LogError("BriDateTime creation failed");
        return nullptr;
    }
    if (hasDate && !(value->date = CreateBriDate(v[0], v[1], v[2]))) {
        FreeBriDateTime(value);
        return nullptr;
    }
    if (hasTime && !(value->time = CreateBriTime(v[3], v[4], v[5]))) {
        FreeBriDateTime(value);
        return nullptr;
    }
    return value;
}

int CompareBriDateTime(const BriDateTime* a, const BriDateTime* b)
{
    if (!a || !b || !a->date || !a->time || !b->date || !b->time)
        return 0;
    const int left[6] = {a->date->year, a->date->month, a->date->day, a->time->hour, a->time->minute, a->time->second};
    const int right[6] = {b->date->year, b->date->month, b->date->day, b->time->hour, b->time->minute, b->time->second};
    for (int i = 0; i < 6; i++)
        if (left[i] != right[i])
            return left[i] > right[i] ? 1 : 0;
    return 0;
}

BriDateTime* GetCurrentBriDateTime(void)
{
    PlatLocalTime now;
    PlatGetLocalTime(&now);
    auto* value = static_cast<BriDateTime*>(BriCalloc(1, sizeof(BriDateTime)));
    if (!value) {
        LogError("MEMORY ALLOCATION FAILURE FOR dateTimePtr");
        return nullptr;
    }
    value->date = CreateBriDate(now.year, now.month, now.day);
    if (!value->date) {
        LogError("CreateBriDate Failed");
        FreeBriDateTime(value);
        return nullptr;
    }
    value->time = CreateBriTime(now.hour, now.minute, now.second);
    if (!value->time) {
        LogError("CreateBriTime Failed");
        FreeBriDateTime(value);
        return nullptr;
    }
    return value;
}

BriDateTime* AddToBriDateTime(BriDateTime* value, uint32_t amount, int unit)
{
    return ShiftBriDateTime(value, amount, unit, 1);
}

BriDateTime* SubtractFromBriDateTime(BriDateTime* value, uint32_t amount, int unit)
{
    return ShiftBriDateTime(value, amount, unit, -1);
}
