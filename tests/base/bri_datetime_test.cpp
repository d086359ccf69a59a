#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>

#include "platform/clock.h"
#include "runtime/log.h"
#include "temp_dir.h"
#include "velmora/bri_datetime.h"

namespace {

// The local zone is fixed, so that the calendar arithmetic (which normalises
// in local time) does not depend on the machine's zone.
class BriDateTimeTest : public ::testing::Test {
protected:
    void SetUp() override { SetZone("UTC0"); }
    void TearDown() override { PlatSetLocalTimeSource(nullptr); }

    static void SetZone(const char* zone)
    {
        setenv("TZ", zone, 1);
        tzset();
    }
};

std::string Text(BriDateTime* value)
{
    char* text = BriDateTimeToString(value);
    std::string result = text ? text : "(null)";
    free(text);
    return result;
}

// Parses text, applies the change and gives the result's text.
std::string Shift(const char* text, uint32_t amount, int unit, bool add = true)
{
    BriDateTime* value = ConvertStringToBriDateTime(text);
    if (!value)
        return "(unparsed)";
    BriDateTime* result = add ? AddToBriDateTime(value, amount, unit) : SubtractFromBriDateTime(value, amount, unit);
    std::string out = result == value ? Text(value) : "(failed) " + Text(value);
    FreeBriDateTime(value);
    return out;
}

TEST_F(BriDateTimeTest, RecordsAreSmall)
{
    EXPECT_EQ(sizeof(BriDate), 4u);
    EXPECT_EQ(sizeof(BriTime), 3u);
}

TEST_F(BriDateTimeTest, CreateAndTextForms)
{
    BriDate* date = CreateBriDate(2024, 2, 9);
    BriTime* time = CreateBriTime(7, 5, 3);
    ASSERT_NE(date, nullptr);
    ASSERT_NE(time, nullptr);
    char* dateText = BriDateToString(date);
    char* timeText = BriTimeToString(time);
    EXPECT_STREQ(dateText, "2024-02-09");
    EXPECT_STREQ(timeText, "07:05:03");
    free(dateText);
    free(timeText);

    BriDateTime value{date, nullptr, {0, 0, 0}};
    EXPECT_EQ(Text(&value), "2024-02-09");
    value.time = time;
    EXPECT_EQ(Text(&value), "2024-02-09 07:05:03");
    value.date = nullptr;
    EXPECT_EQ(Text(&value), "07:05:03");
    value.time = nullptr;
    EXPECT_EQ(Text(&value), "(null)");
    free(date);
    free(time);

    EXPECT_EQ(BriDateToString(nullptr), nullptr);
    EXPECT_EQ(BriTimeToString(nullptr), nullptr);
    EXPECT_EQ(BriDateTimeToString(nullptr), nullptr);

    BriDateTime* full = CreateBriDateTime(5, 1, 2, 3, 4, 5);
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(Text(full), "0005-01-02 03:04:05");
    EXPECT_EQ(full->reserved[0] | full->reserved[1] | full->reserved[2], 0);
    FreeBriDateTime(full);
    FreeBriDateTime(nullptr);
}

TEST_F(BriDateTimeTest, ConvertStringToBriDateTime)
{
    BriDateTime* both = ConvertStringToBriDateTime("2023-11-05 17:45:09");
    ASSERT_NE(both, nullptr);
    EXPECT_EQ(Text(both), "2023-11-05 17:45:09");
    FreeBriDateTime(both);

    BriDateTime* dateOnly = ConvertStringToBriDateTime("1999-12-31");
    ASSERT_NE(dateOnly, nullptr);
    ASSERT_NE(dateOnly->time, nullptr);
    EXPECT_EQ(Text(dateOnly), "1999-12-31 00:00:00");
    FreeBriDateTime(dateOnly);

    BriDateTime* timeOnly = ConvertStringToBriDateTime("10:30:00");
    ASSERT_NE(timeOnly, nullptr);
    ASSERT_NE(timeOnly->date, nullptr);
    EXPECT_EQ(timeOnly->date->year, 0);
    EXPECT_EQ(timeOnly->date->month, 0);
    EXPECT_EQ(timeOnly->date->day, 0);
    EXPECT_EQ(Text(timeOnly), "0000-00-00 10:30:00");
    FreeBriDateTime(timeOnly);

    EXPECT_EQ(ConvertStringToBriDateTime("20231105"), nullptr);
    EXPECT_EQ(ConvertStringToBriDateTime(nullptr), nullptr);
}

TEST_F(BriDateTimeTest, ParsersTakeWhatThePatternsRead)
{
    // No range checks; missing numbers are 0; scanning stops at a mismatch.
    BriDateTime* odd = ConvertStringToBriDateTime("2023-13-40 25:61:99");
    EXPECT_EQ(Text(odd), "2023-13-40 25:61:99");
    FreeBriDateTime(odd);
    BriDateTime* partial = ConvertStringToBriDateTime("2023-5");
    EXPECT_EQ(Text(partial), "2023-05-00 00:00:00");
    FreeBriDateTime(partial);
    BriDateTime* spaced = ConvertStringToBriDateTime(" 2023-1-2   3:4:5");
    EXPECT_EQ(Text(spaced), "2023-01-02 03:04:05");
    FreeBriDateTime(spaced);
    BriDateTime* iso = ConvertStringToBriDateTime("2023-01-02T03:04:05");
    EXPECT_EQ(Text(iso), "2023-01-02 00:00:00");
    FreeBriDateTime(iso);
    BriDateTime* huge = ConvertStringToBriDateTime("99999999999999999999-1-1");
    ASSERT_NE(huge, nullptr); // saturated, then cut to 16 bits: no undefined behaviour
    FreeBriDateTime(huge);
}

TEST_F(BriDateTimeTest, ConvertStringToBriDateOrTime)
{
    auto* date = static_cast<BriDate*>(ConvertStringToBriDateOrTime("2020-06-15"));
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(date->year, 2020);
    EXPECT_EQ(date->month, 6);
    EXPECT_EQ(date->day, 15);
    free(date);

    auto* time = static_cast<BriTime*>(ConvertStringToBriDateOrTime("23:59:58"));
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->hour, 23);
    EXPECT_EQ(time->minute, 59);
    EXPECT_EQ(time->second, 58);
    free(time);

    auto* both = static_cast<BriDateTime*>(ConvertStringToBriDateOrTime("2020-06-15 01:02:03"));
    ASSERT_NE(both, nullptr);
    EXPECT_EQ(Text(both), "2020-06-15 01:02:03");
    FreeBriDateTime(both);

    EXPECT_EQ(ConvertStringToBriDateOrTime("none"), nullptr);
    EXPECT_EQ(ConvertStringToBriDateOrTime(nullptr), nullptr);
}

TEST_F(BriDateTimeTest, ConvertStringToBriGenDateTimeKeepsOnlyThePartsPresent)
{
    BriDateTime* date = ConvertStringToBriGenDateTime("2024-02-29");
    ASSERT_NE(date, nullptr);
    EXPECT_NE(date->date, nullptr);
    EXPECT_EQ(date->time, nullptr);
    EXPECT_EQ(Text(date), "2024-02-29");
    FreeBriDateTime(date);

    BriDateTime* time = ConvertStringToBriGenDateTime("08:00:01");
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->date, nullptr);
    EXPECT_EQ(Text(time), "08:00:01");
    FreeBriDateTime(time);

    BriDateTime* both = ConvertStringToBriGenDateTime("2024-02-29 08:00:01");
    EXPECT_EQ(Text(both), "2024-02-29 08:00:01");
    FreeBriDateTime(both);

    EXPECT_EQ(ConvertStringToBriGenDateTime("tomorrow"), nullptr);
    EXPECT_EQ(ConvertStringToBriGenDateTime(nullptr), nullptr);
}

TEST_F(BriDateTimeTest, ParsersLogAsThePartSays)
{
    TempDir dir;
    ASSERT_TRUE(InitLogDefaults());
    ASSERT_TRUE(SetLogConfig("dates.log", dir.path().c_str(), 4));
    ASSERT_TRUE(OpenLogFile());
    EXPECT_EQ(ConvertStringToBriDateTime(nullptr), nullptr);
    EXPECT_EQ(ConvertStringToBriGenDateTime("plain"), nullptr);
    CloseLogFile();
    FreeLogConfig();
    std::string log = ReadWholeFile(dir.file("dates.log"));
    EXPECT_NE(log.find("[TRACE] Inside ConvertStringToBriDateTime \n"), std::string::npos);
    EXPECT_NE(log.find("[ERROR] datetimeStr NULL \n"), std::string::npos);
    EXPECT_NE(log.find("[TRACE] Inside ConvertStringToBriGenDateTime \n"), std::string::npos);
    EXPECT_NE(log.find("[ERROR] The String is not a datetimeStr \n"), std::string::npos);
}

TEST_F(BriDateTimeTest, CompareIsStrictlyLater)
{
    BriDateTime* a = CreateBriDateTime(2023, 5, 1, 12, 0, 0);
    BriDateTime* b = CreateBriDateTime(2023, 5, 1, 12, 0, 0);
    EXPECT_EQ(CompareBriDateTime(a, b), 0);
    EXPECT_EQ(CompareBriDateTime(b, a), 0);
    b->time->second = 1;
    EXPECT_EQ(CompareBriDateTime(b, a), 1);
    EXPECT_EQ(CompareBriDateTime(a, b), 0);
    // An earlier field decides before a later one.
    a->date->year = 2024;
    a->time->hour = 0;
    EXPECT_EQ(CompareBriDateTime(a, b), 1);
    EXPECT_EQ(CompareBriDateTime(b, a), 0);
    a->date->year = 2023;
    a->date->month = 4;
    a->date->day = 30;
    EXPECT_EQ(CompareBriDateTime(b, a), 1);
    EXPECT_EQ(CompareBriDateTime(a, nullptr), 0);
    EXPECT_EQ(CompareBriDateTime(nullptr, a), 0);
    FreeBriDateTime(a);
    FreeBriDateTime(b);
}

void FixedClock(PlatLocalTime* out) { *out = PlatLocalTime{2024, 3, 5, 9, 4, 7, 45}; }

TEST_F(BriDateTimeTest, CurrentTimeComesFromTheLocalClock)
{
    PlatSetLocalTimeSource(FixedClock);
    BriDateTime* now = GetCurrentBriDateTime();
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(Text(now), "2024-03-05 09:04:07");
    FreeBriDateTime(now);

    PlatSetLocalTimeSource(nullptr);
    now = GetCurrentBriDateTime();
    ASSERT_NE(now, nullptr);
    EXPECT_GE(now->date->year, 2024);
    FreeBriDateTime(now);
}

TEST_F(BriDateTimeTest, OneMonthAfterJanuaryThirtyFirst)
{
    EXPECT_EQ(Shift("2023-01-31 00:00:00", 1, BRI_UNIT_MONTHS), "2023-03-03 00:00:00");
    EXPECT_EQ(Shift("2024-01-31 00:00:00", 1, BRI_UNIT_MONTHS), "2024-03-02 00:00:00"); // leap year
}

TEST_F(BriDateTimeTest, FifteenHundredMillisecondsAddOneSecond)
{
    EXPECT_EQ(Shift("2023-06-01 10:00:00", 1500, BRI_UNIT_MILLISECONDS), "2023-06-01 10:00:01");
    EXPECT_EQ(Shift("2023-06-01 10:00:00", 999, BRI_UNIT_MILLISECONDS), "2023-06-01 10:00:00");
}

TEST_F(BriDateTimeTest, EveryUnit)
{
    const char* start = "2023-12-31 23:59:59";
    EXPECT_EQ(Shift(start, 2999999999u, BRI_UNIT_NANOSECONDS), "2024-01-01 00:00:01");
    EXPECT_EQ(Shift(start, 1000000, BRI_UNIT_MICROSECONDS), "2024-01-01 00:00:00");
    EXPECT_EQ(Shift(start, 1000, BRI_UNIT_MILLISECONDS), "2024-01-01 00:00:00");
    EXPECT_EQ(Shift(start, 61, BRI_UNIT_SECONDS), "2024-01-01 00:01:00");
    EXPECT_EQ(Shift(start, 1, BRI_UNIT_MINUTES), "2024-01-01 00:00:59");
    EXPECT_EQ(Shift(start, 25, BRI_UNIT_HOURS), "2024-01-02 00:59:59");
    EXPECT_EQ(Shift(start, 60, BRI_UNIT_DAYS), "2024-02-29 23:59:59");
    EXPECT_EQ(Shift(start, 2, BRI_UNIT_WEEKS), "2024-01-14 23:59:59");
    EXPECT_EQ(Shift(start, 14, BRI_UNIT_MONTHS), "2025-03-03 23:59:59"); // 2025-02-31 carries into March
}

TEST_F(BriDateTimeTest, Subtraction)
{
    EXPECT_EQ(Shift("2024-03-01 00:00:00", 1, BRI_UNIT_SECONDS, false), "2024-02-29 23:59:59");
    EXPECT_EQ(Shift("2024-03-31 12:00:00", 1, BRI_UNIT_MONTHS, false), "2024-03-02 12:00:00");
    EXPECT_EQ(Shift("2024-01-01 00:00:00", 13, BRI_UNIT_MONTHS, false), "2022-12-01 00:00:00");
    EXPECT_EQ(Shift("2024-01-01 00:30:00", 90, BRI_UNIT_MINUTES, false), "2023-12-31 23:00:00");
    EXPECT_EQ(Shift("2024-01-08 00:00:00", 1, BRI_UNIT_WEEKS, false), "2024-01-01 00:00:00");
    EXPECT_EQ(Shift("1970-01-01 00:00:00", 1, BRI_UNIT_DAYS, false), "1969-12-31 00:00:00");
}

TEST_F(BriDateTimeTest, OtherUnitsOnlyNormalise)
{
    EXPECT_EQ(Shift("2023-04-31 10:00:00", 5, 0), "2023-05-01 10:00:00");
    EXPECT_EQ(Shift("2023-12-31 23:59:60", 5, 42), "2024-01-01 00:00:00"); // leap second field
    EXPECT_EQ(Shift("2023-06-15 10:00:00", 5, 10), "2023-06-15 10:00:00");
}

TEST_F(BriDateTimeTest, LargeAmountsCarryWithoutOverflow)
{
    EXPECT_EQ(Shift("2000-01-01 00:00:00", 4294967295u, BRI_UNIT_SECONDS), "2136-02-07 06:28:15");
    EXPECT_EQ(Shift("2000-01-01 00:00:00", 146097, BRI_UNIT_DAYS), "2400-01-01 00:00:00");
    EXPECT_EQ(Shift("2000-01-01 00:00:00", 4294967295u, BRI_UNIT_MINUTES), "10166-02-15 04:15:00");
    EXPECT_EQ(Shift("2000-01-01 00:00:00", 4294967295u, BRI_UNIT_DAYS), "(failed) 2000-01-01 00:00:00");
    EXPECT_EQ(Shift("2000-01-01 00:00:00", 4294967295u, BRI_UNIT_WEEKS), "(failed) 2000-01-01 00:00:00");
    EXPECT_EQ(Shift("2000-01-01 00:00:00", 4294967295u, BRI_UNIT_MONTHS), "(failed) 2000-01-01 00:00:00");
    // Years beyond the record's 16 bits are refused.
    EXPECT_EQ(Shift("2000-01-01 00:00:00", 12 * 30000, BRI_UNIT_MONTHS), "32000-01-01 00:00:00");
    EXPECT_EQ(Shift("2000-01-01 00:00:00", 12 * 40000, BRI_UNIT_MONTHS), "(failed) 2000-01-01 00:00:00");
    EXPECT_EQ(Shift("2000-01-01 00:00:00", 12 * 40000, BRI_UNIT_MONTHS, false), "(failed) 2000-01-01 00:00:00");
}

TEST_F(BriDateTimeTest, FarYearsAreNormalisedByTheCalendar)
{
    EXPECT_EQ(Shift("0001-03-01 00:00:00", 1, BRI_UNIT_DAYS, false), "0001-02-28 00:00:00");
    EXPECT_EQ(Shift("1600-02-28 00:00:00", 1, BRI_UNIT_DAYS), "1600-02-29 00:00:00");
    EXPECT_EQ(Shift("9999-12-31 23:59:59", 1, BRI_UNIT_SECONDS), "10000-01-01 00:00:00");
}

TEST_F(BriDateTimeTest, ValuesThatDoNotParseAreLeftAlone)
{
    // A time-only text has the date 0000-00-00: month 0 does not parse.
    EXPECT_EQ(Shift("10:30:00", 1, BRI_UNIT_SECONDS), "(failed) 0000-00-00 10:30:00");
    EXPECT_EQ(Shift("2023-01-01 24:00:00", 1, BRI_UNIT_SECONDS), "(failed) 2023-01-01 24:00:00");
    BriDateTime* dateOnly = ConvertStringToBriGenDateTime("2023-01-01");
    EXPECT_EQ(AddToBriDateTime(dateOnly, 1, BRI_UNIT_DAYS), nullptr); // both parts are needed
    FreeBriDateTime(dateOnly);
    EXPECT_EQ(AddToBriDateTime(nullptr, 1, BRI_UNIT_DAYS), nullptr);
    EXPECT_EQ(SubtractFromBriDateTime(nullptr, 1, BRI_UNIT_DAYS), nullptr);
}

// In a zone with daylight saving, adding days keeps the wall-clock time
// across the change (mktime decides the offset), and a time in the hour
// that the spring change skips is moved on by mktime.
TEST_F(BriDateTimeTest, DaylightSavingIsDecidedByMktime)
{
    SetZone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(Shift("2023-03-25 12:00:00", 1, BRI_UNIT_DAYS), "2023-03-26 12:00:00");
    EXPECT_EQ(Shift("2023-03-25 12:00:00", 24, BRI_UNIT_HOURS), "2023-03-26 12:00:00");
    EXPECT_EQ(Shift("2023-10-28 12:00:00", 1, BRI_UNIT_DAYS), "2023-10-29 12:00:00");
    EXPECT_EQ(Shift("2023-03-26 01:30:00", 1, BRI_UNIT_HOURS), "2023-03-26 03:30:00");
    EXPECT_EQ(Shift("2023-07-01 12:00:00", 0, BRI_UNIT_SECONDS), "2023-07-01 12:00:00");
}

} // namespace
