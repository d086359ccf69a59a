/*
 * Byte and string routines of the data store, which the library
 * calls instead of the C library's. None of them takes a lock or keeps state.
 *
 * Null arguments never crash: each routine states what it gives for them.
 * Comparisons return the difference of the first differing bytes read as
 * unsigned chars (so "a" < "\xE9"), and order a null argument before any
 * string: both null -> 0, first null -> -1, second null -> 1.
 *
 * Strings and arrays handed to the caller are heap blocks that the caller
 * releases with free (or FreeStringArray for arrays of strings).
 */
#ifndef VELMORA_STRING_ROUTINES_H
#define VELMORA_STRING_ROUTINES_H

#include <stddef.h>
#include <stdint.h>

#include "velmora/result.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The big-endian number in bytes[0..length): {0x01, 0x02} -> 258, four
 * bytes may give a negative number. -1 when length > 4, length < 0 or bytes
 * is null with length > 0; 0 for length 0. */
int32_t ConvertToInteger(const unsigned char* bytes, int32_t length);

/* Copies n bytes (the ranges must not overlap); returns destination, or null
 * (copying nothing) when either pointer is null. */
void* CopyBytes(void* destination, const void* source, size_t n);

/* Sets n bytes to (unsigned char)value; returns destination (null for null). */
void* FillBytes(void* destination, int value, size_t n);

/* Compares n bytes: 0 when equal (also for n == 0), else the difference of
 * the first differing bytes; nulls as described above. */
int CompareBytes(const void* first, const void* second, size_t n);

/* The first byte equal to (unsigned char)value within n bytes, or null. */
void* FindByte(const void* buffer, int value, size_t n);

/* Prefix test: 1 when buffer (length bytes, not necessarily terminated)
 * starts with the NUL-terminated prefix, else 0. An empty prefix is a prefix
 * of every buffer; null arguments or a negative length give 0. */
int StartsWith(const char* buffer, int32_t length, const char* prefix);

/* Span: the length of the initial part of text made only of characters of
 * set (0 for null arguments). */
size_t SpanChars(const char* text, const char* set);

/* Break: the first character of text that is in set, or null (also for null
 * arguments). */
char* BreakChars(const char* text, const char* set);

/* Case-insensitive comparison: ASCII letters are folded to lower case, other
 * bytes compare as they are; the result is the difference of the first
 * unequal folded characters (0 when the strings are equal). */
int CompareNoCase(const char* first, const char* second);

/* Case-sensitive comparison of at most n characters, stopping after a
 * terminator (the strncmp rules). */
int CompareBounded(const char* first, const char* second, size_t n);

/* Case-insensitive ordering (as CompareNoCase) over at most n characters. */
int CompareNoCaseBounded(const char* first, const char* second, size_t n);

/* The first occurrence of pattern in text, or null (also for null
 * arguments). An empty pattern occurs at the start of text. */
char* SubString(const char* text, const char* pattern);

/* 1 when pattern occurs in text, else 0. */
int FindSubString(const char* text, const char* pattern);

/* The index of the first c within the first n characters of text (the
 * search also stops at the terminator), or -1. */
int32_t GetIndex(const char* text, char c, int32_t n);

/* Copies at most size - 1 characters of source into destination and
 * terminates it; returns strlen(source), so a result >= size means the copy
 * was cut. size <= 0 copies nothing. A null source counts as "", a null
 * destination copies nothing. */
int32_t CopyStringBounded(char* destination, const char* source, int32_t size);

/* Appends source to the string in destination so that the result, with its
 * terminator, fits in size bytes; returns strlen(destination) (at most size)
 * + strlen(source), so a result >= size means the text was cut. size <= 0
 * appends nothing. Nulls as for CopyStringBounded. */
int32_t AppendStringBounded(char* destination, const char* source, int32_t size);

/* Splits buffer[0..length) at every separator into count = separators + 1
 * new NUL-terminated pieces (empty pieces are kept: "a,,b" gives "a", "",
 * "b"; an empty buffer gives one empty piece). *pieces receives the array of
 * pieces, ended by an extra null entry; *lengths the array of their lengths.
 * The caller releases them with FreeStringArray(*pieces, *count) and
 * free(*lengths). 1 on success; 99 when an allocation fails (nothing stays
 * allocated); 0 for null arguments or a negative length. On failure the
 * outputs are null and 0. */
int SplitString(const char* buffer, int32_t length, char separator, char*** pieces, int32_t** lengths, int32_t* count);

/* 1 when bytes[0..length) equals one of the comma-separated items of list
 * exactly (no blanks are trimmed; an empty item matches length 0), else 0. */
int IsStringMatched(const char* bytes, int32_t length, const char* list);

/* Frees the first count strings of array (null entries are skipped) and the
 * array itself. A negative count frees up to the array's null entry. */
void FreeStringArray(char** array, int32_t count);

#ifdef __cplusplus
}
#endif
#endif
