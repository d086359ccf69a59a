/*
 * Date and time values: the records that DATE, TIME and DATETIME
 * columns hold, their text forms, parsing, comparison, the current time and
 * calendar arithmetic.
 *
 * Text forms: date "%04d-%02d-%02d", time "%02d:%02d:%02d", date and time
 * "%04d-%02d-%02d %02d:%02d:%02d".
 *
 * Records are heap blocks: BriDate and BriTime are released with free, a
 * BriDateTime (which owns its two parts) with FreeBriDateTime. Strings from
 * the ...ToString routines are released with free.
 *
 * The parsers do not check ranges: they store whatever numbers their
 * patterns read (cut to the field's width), missing numbers read as 0.
 */
#ifndef VELMORA_BRI_DATETIME_H
#define VELMORA_BRI_DATETIME_H

#include <stdint.h>

#include "velmora/result.h"

#ifdef __cplusplus
extern "C" {
#endif

/* 4 bytes. */
typedef struct BriDate {
    int16_t year;
    uint8_t month; /* 1-12 */
    uint8_t day;
} BriDate;

/* 3 bytes. */
typedef struct BriTime {
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
} BriTime;

/* Owns both parts; either may be null. */
typedef struct BriDateTime {
    BriDate* date;
    BriTime* time;
    uint8_t reserved[3]; /* always 0 */
} BriDateTime;

/* The nominal value length of a BriDateTime column value (4 + 3 + 4 on the
 * 32-bit target; the record is larger where pointers are). */
#define BRI_DATETIME_VALUE_LENGTH 11
#define BRI_DATE_VALUE_LENGTH 4
#define BRI_TIME_VALUE_LENGTH 3

/* Units of AddToBriDateTime and SubtractFromBriDateTime. */
enum {
    BRI_UNIT_NANOSECONDS = 1,  /* seconds change by amount / 1000000000 */
    BRI_UNIT_MICROSECONDS = 2, /* seconds change by amount / 1000000 */
    BRI_UNIT_MILLISECONDS = 3, /* seconds change by amount / 1000 */
    BRI_UNIT_SECONDS = 4,
    BRI_UNIT_MINUTES = 5,
    BRI_UNIT_HOURS = 6,
    BRI_UNIT_DAYS = 7,
    BRI_UNIT_WEEKS = 8,
    BRI_UNIT_MONTHS = 9
};

/* New records, or null with the error line "BriDate creation failed",
 * "BriTime creation failed" or "BriDateTime creation failed". The numbers
 * are stored cut to the fields' widths, without range checks. */
BriDate* CreateBriDate(int year, int month, int day);
BriTime* CreateBriTime(int hour, int minute, int second);
BriDateTime* CreateBriDateTime(int year, int month, int day, int hour, int minute, int second);

/* Frees both parts and the record; null is ignored. */
void FreeBriDateTime(BriDateTime* value);

/* New strings in the text forms; null for a null record (or when the string
 * cannot be allocated). BriDateTimeToString gives the full form when both
 * parts are present, the date form when only the date is, the time form when
 * only the time is, and null when neither. */
char* BriDateToString(const BriDate* date);
char* BriTimeToString(const BriTime* time);
char* BriDateTimeToString(const BriDateTime* value);

/* A BriDateTime with both parts: text with '-' and ':' is read with
 * "%d-%d-%d %d:%d:%d"; with only '-' with "%d-%d-%d" and the time 00:00:00;
 * with only ':' with "%d:%d:%d" and the date 0000-00-00. Null for text with
 * neither, for null text ("datetimeStr NULL \n") and on allocation failure. */
BriDateTime* ConvertStringToBriDateTime(const char* text);

/* As ConvertStringToBriDateTime, but a date-only text yields a BriDate and a
 * time-only text a BriTime (text with both yields a BriDateTime). The result
 * is one of the three records; the caller knows which from the text (or
 * tests it with strchr) and frees it accordingly. */
void* ConvertStringToBriDateOrTime(const char* text);

/* A BriDateTime with only the parts present in the text (date for '-',
 * time for ':'). Null with "The String is not a datetimeStr \n" when the
 * text has neither. */
BriDateTime* ConvertStringToBriGenDateTime(const char* text);

/* 1 when a is strictly later than b (year, month, day, hour, minute, second
 * compared in that order); 0 otherwise and when either value or any of
 * their parts is null. */
int CompareBriDateTime(const BriDateTime* a, const BriDateTime* b);

/* The local date and time now (the platform clock), or null with
 * "MEMORY ALLOCATION FAILURE FOR dateTimePtr", "CreateBriDate Failed" or
 * "CreateBriTime Failed". */
BriDateTime* GetCurrentBriDateTime(void);

/* Calendar arithmetic in place: the value is rendered in the full text form,
 * parsed back into calendar fields ("%Y-%m-%d %H:%M:%S", as strptime reads
 * it), changed by amount in unit (see the enum; any other unit only
 * normalises) and normalised by the C library's mktime in the local time
 * zone (overflowing fields carry into the next; daylight saving is decided
 * by mktime). Returns value, or null, leaving value unchanged, when value
 * or one of its parts is null, the text does not parse (year outside
 * 0-9999, month 0, ...) or the result's year does not fit the record. Where
 * mktime cannot represent the time, the fields are normalised by the
 * proleptic Gregorian calendar alone. */
BriDateTime* AddToBriDateTime(BriDateTime* value, uint32_t amount, int unit);
BriDateTime* SubtractFromBriDateTime(BriDateTime* value, uint32_t amount, int unit);

#ifdef __cplusplus
}
#endif
#endif
