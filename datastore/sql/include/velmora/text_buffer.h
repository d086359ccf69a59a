/*
 * TextBuffer: a growable text that the SQL generators build statements in.
 *
 * The text is always NUL-terminated and lives in a heap block of
 * capacity + 1 bytes. When an append does not fit, the capacity grows by
 * the smallest multiple of the growth step that makes it fit, and the old
 * text is copied into the new block. A single append of any size therefore
 * costs one growth at most: a value of a megabyte is copied once, not once
 * per step.
 *
 * Every allocation goes through BriMalloc/BriCalloc (velmora/base_alloc.h),
 * so tests can fail any of them.
 *
 * Results: 1 (VELMORA_SUCCESS), 0 (VELMORA_FAILURE) for bad arguments,
 * 99 (VELMORA_ALLOC_FAILURE) when memory runs out or the text would pass
 * INT32_MAX bytes. A failed append leaves the text as it was.
 */
#ifndef VELMORA_TEXT_BUFFER_H
#define VELMORA_TEXT_BUFFER_H

#include <stdarg.h>
#include <stdint.h>

#include "velmora/result.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Capacity and step of a buffer for a select or create-table statement. */
#define TEXT_BUFFER_SQL_CAPACITY 512
#define TEXT_BUFFER_SQL_STEP 512
/* Capacity and step of the default buffer (row statements). */
#define TEXT_BUFFER_DEFAULT_CAPACITY 10000
#define TEXT_BUFFER_DEFAULT_STEP 1000

typedef struct TextBuffer {
    int32_t length;   /* bytes of text, without the terminator */
    char* text;       /* capacity + 1 bytes, NUL-terminated */
    int32_t capacity; /* bytes of text that fit without growing */
    int32_t step;     /* growth step */
} TextBuffer;

/* A new empty buffer with a zeroed text of capacity + 1 bytes, in *buffer.
 * 1; 99 when it cannot be allocated; 0 for a null out pointer, a negative
 * capacity or a step below 1 (*buffer is null on failure). */
int CreateTextBuffer(TextBuffer** buffer, int32_t capacity, int32_t step);

/* Frees the text and the record; a null buffer is ignored. */
void FreeTextBuffer(TextBuffer* buffer);

/* Appends a NUL-terminated text / length bytes of text (which must not
 * contain NUL bytes the caller wants kept as text). 1, 99, or 0 for null
 * arguments or a negative length. */
int AppendTextBuffer(TextBuffer* buffer, const char* text);
int AppendTextBufferBytes(TextBuffer* buffer, const char* bytes, int32_t length);

/* Appends printf-style text of any length. 1, 99, or 0 for null arguments
 * and format errors. */
int AppendTextBufferFormat(TextBuffer* buffer, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
int AppendTextBufferFormatV(TextBuffer* buffer, const char* format, va_list arguments);

/* Makes room for length more bytes (by the growth rule) without writing
 * them: afterwards text + length .. text + length + count is writable and
 * the caller adds count to length and terminates the text. 1, 99, 0. */
int ReserveTextBuffer(TextBuffer* buffer, int32_t count);

/* Hands the text to the caller (released with free) and frees the record.
 * Null for a null buffer. */
char* DetachTextBuffer(TextBuffer* buffer);

#ifdef __cplusplus
}
#endif
#endif
