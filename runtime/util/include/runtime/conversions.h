/*
 * Conversions between management values and their text forms: hexadecimal
 * digits, integers, 64-bit counters, object identifiers (OIDs), IPv4
 * addresses held as sub-identifiers, DateAndTime octets (RFC 2579) and the
 * date forms of HTTP (RFC 2616).
 *
 * Nothing here keeps state. Texts and arrays handed back are malloc'ed and
 * released by the caller with free. The text parsers take input from the
 * network and from files: every component and word has a length bound, and
 * longer input is refused, never copied past a buffer.
 */
#ifndef RUNTIME_CONVERSIONS_H
#define RUNTIME_CONVERSIONS_H

#include <stdint.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of the routines that return 0 or a system error code. */
#define CONVERSION_OK 0
#define CONVERSION_INVALID_PARAMETER 87

/* Result of the routines that report an allocation failure. */
#define CONVERSION_SUCCESS 1
#define CONVERSION_NO_MEMORY 99

/* Longest decimal component (OID or address part) and word (date parts)
 * that the parsers accept. */
#define CONVERSION_MAX_COMPONENT 19

/* Most hex digits ConvertToHexValue packs in one call. */
#define CONVERSION_MAX_HEX_DIGITS 64

/* Most sub-identifiers ConvertToOidOrIpFromString accepts in one text. */
#define CONVERSION_MAX_SUBIDS 65535

/* Buffer sizes for the routines that write into the caller's buffer:
 * ConvertToStringFromOid needs up to 11 bytes per sub-identifier (a dot and
 * ten digits) plus the terminator; ConvertToIpAddressFromOid 4 per value
 * (three digits and a dot or the terminator), at least 1. */
#define OID_TEXT_SIZE(count) (11 * (count) + 1)
#define IP_ADDRESS_TEXT_SIZE(count) ((count) > 0 ? 4 * (count) : 1)

/* A 64-bit counter as two 32-bit halves, high half first. */
typedef struct Counter64 {
    uint32_t high;
    uint32_t low;
} Counter64;

/* ---- Hexadecimal ---- */

/* '0'-'9' give 0-9, 'A'-'F' and 'a'-'f' give 10-15; any other character is
 * returned unchanged. */
char GetHexValue(char character);

/* As GetHexValue, but any other character gives 0. */
char ConvertToDecimalFromHexa(char character);

/* Packs each pair of hex digits of text[0..length) into one byte, high digit
 * first, and writes the length / 2 bytes over the start of the text. An odd
 * last digit has no partner and is not packed (nothing beyond `length` is
 * read). At most CONVERSION_MAX_HEX_DIGITS digits: a longer text, a negative
 * length or a null text is refused with CONVERSION_INVALID_PARAMETER and left
 * as it is; otherwise CONVERSION_OK. */
int ConvertToHexValue(char* text, int length);

/* Writes two output bytes per input byte: its high and its low nibble as
 * values 0-15 (not characters), no terminator. `out` holds 2 * count bytes. */
void ConvertToStringFromHex(char* out, const unsigned char* bytes, int count);

/* ---- Integers and counters ---- */

/* Decimal text of *value, '-' for negative values; null for a null value. */
char* ConvertToStringFromInteger(const int32_t* value);

/* Decimal text of *value; the digit count is stored in *length. */
char* ConvertToStringFromUnsignedInteger(const uint32_t* value, int32_t* length);

/* kind 0: ConvertToStringFromInteger of the value; kind 1: "TRUE" when
 * `value` itself is not null, else "FALSE"; any other kind: null. */
char* ToString(const void* value, int32_t length, int kind);

Counter64 ConvertToCounter64FromULongLong(uint64_t value);
uint64_t ConvertToULongLongFromCounter64(uint32_t high, uint32_t low);

/* Reads a big-endian unsigned integer of up to 8 bytes into *out; 9 bytes
 * are accepted when the first is 0 (the sign byte of an encoded value of 2^63
 * or more). The last min(count, 4) bytes form the low half. More bytes, a
 * nonzero ninth byte or a negative count: CONVERSION_INVALID_PARAMETER and
 * *out unchanged; otherwise CONVERSION_OK. */
int ConvertToCounter64(Counter64* out, const unsigned char* bytes, int count);

/* The counter's value in unsigned decimal, in a 21-byte text. */
char* ConvertToStringFromCounter64(Counter64 value);

/* ---- OIDs and addresses ---- */

/* Number of '.' among the first `length` characters (stopping early at a
 * terminator); at most 65535. */
uint16_t GetOidLength(const char* text, int length);

/* True when the text starts with '.' and holds more than one '.'. */
int IsValidOid(const char* text, int length);

/* True for four decimal numbers 0-255 separated by dots; an empty last
 * number reads as 0 (so "1.2.3." passes). */
int IsValidIPAddress(const char* text, int length);

/* Parses ".1.3.6.1" (isAddress 0) or "10.0.0.1" (isAddress nonzero) into a
 * new array stored in *out: the number of sub-identifiers; 0 when their
 * number does not match the dots (*out then holds the array); -1 for a
 * malformed text (*out then holds nothing to free). Each component is a
 * decimal number 0 to 4294967295 of at most CONVERSION_MAX_COMPONENT
 * characters, optionally signed with '+' (or '-' for zero). */
int ConvertToOidOrIpFromString(uint32_t** out, const char* text, int isAddress);

/* Dotted text of *length / 4 sub-identifiers; the text length is stored back
 * into *length. */
char* ConvertToStringFromOID(const uint32_t* subIds, int32_t* length);

/* Writes the dotted text of `count` sub-identifiers into `out`, which holds
 * OID_TEXT_SIZE(count) bytes; returns 1. */
int ConvertToStringFromOid(const uint32_t* subIds, int count, char* out);

/* Writes subIds[first..end) as "a.b.c.d" into `out`, which holds
 * IP_ADDRESS_TEXT_SIZE(end - first) bytes; returns out. A value above 999
 * does not fit: `out` is left empty and null is returned. */
char* ConvertToIpAddressFromOid(char* out, const uint32_t* subIds, int first, int end);

/* 1, 0 or -1 as a is greater than, equal to or less than b, sub-identifier
 * by sub-identifier; a longer OID with the same start is greater. */
int8_t CompareOid(const uint32_t* a, int countA, const uint32_t* b, int countB);

void CopyOid(uint32_t* destination, const uint32_t* source, int count);
void SetNOid(uint32_t* destination, const uint32_t* source, int start, int count);

/* The first sub-identifier greater than value, or 0. */
uint32_t GetNextSubId(uint32_t value, const uint32_t* subIds, int count);

/* Replaces *array by a copy of count sub-identifiers (plus one zero entry)
 * and stores count: 1, 99 when out of memory, 0 for bad arguments. */
int ReallocateAndSetOID(uint32_t** array, int* arrayCount, const uint32_t* source, int count);

/* Replaces *text by a terminated copy of `length` bytes: 1, 99 when out of
 * memory, 0 for bad arguments. */
int ReallocateAndSetString(char** text, const void* source, int length);

/* out[i] = subIds[start + i] modulo 255, terminated: `out` holds length + 1
 * bytes. */
void ConvertToCharArray(char* out, const uint32_t* subIds, int start, int length);

/* One sub-identifier per character, taken as signed (bytes above 127 become
 * large values); the terminator is not copied. */
void CopyStringToOid(uint32_t* destination, const char* text);

/* One sub-identifier per byte, taken as unsigned. */
void CopyStringToOID(uint32_t* destination, const unsigned char* bytes, int length);

/* Debug lines of bytes and sub-identifiers. */
void PrintStream(const unsigned char* bytes, int count, const char* format);
void PrintOid(const uint32_t* subIds, int count);

/* ---- Dates and times ---- */

/* Text of 8 DateAndTime octets ("2023-2-15,2:7:11.5") or of 11 (with
 * ",+5:30"); the text length is stored back into *count. A count of 11 or
 * more reads 11 octets; counts other than 8 below 11 are refused (null). */
char* ConvertToStringFromDateTime(const unsigned char* octets, int32_t* count);

/* DateAndTime octets (8 or 11, stored in *count) from the text form; null
 * for any other text, *count unchanged. */
unsigned char* ConvertToDateTimeFromString(const char* text, int32_t* count);

/* Reads the three HTTP date forms ("Sun, 06 Nov 1994 08:49:37 GMT",
 * "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994") into a new
 * zeroed broken-down time; null when none matches. */
struct tm* ParseDateTime(const char* text);

/* "Jan" to "Dec" in any case give 0 to 11, anything else -1. */
int ParseMonth(const char* name);

/* 1 when a is at or after b, else 0 (also when either is null). */
int CompareTime(const struct tm* a, const struct tm* b);

/* The local date and time now as "YYYY-MM-DD hh:mm:ss". */
char* GetCurrentDateTimeString(void);

#ifdef __cplusplus
}
#endif
#endif
