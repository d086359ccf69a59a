/*
 * The growable statement text (see velmora/text_buffer.h).
 */
#include "velmora/text_buffer.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "velmora/base_alloc.h"

extern "C" int CreateTextBuffer(TextBuffer** buffer, int32_t capacity, int32_t step)
{
    if (!buffer)
        return VELMORA_FAILURE;
    *buffer = nullptr;
    if (capacity < 0 || capacity == INT32_MAX || step < 1)
        return VELMORA_FAILURE;
    auto* record = static_cast<TextBuffer*>(BriCalloc(1, sizeof(TextBuffer)));
    if (!record)
        return VELMORA_ALLOC_FAILURE;
    record->text = static_cast<char*>(BriCalloc(static_cast<size_t>(capacity) + 1, 1));
    if (!record->text) {
        free(record);
        return VELMORA_ALLOC_FAILURE;
    }
    record->capacity = capacity;
    record->step = step;
    *buffer = record;
    return VELMORA_SUCCESS;
}

extern "C" void FreeTextBuffer(TextBuffer* buffer)
{
    if (!buffer)
        return;
    free(buffer->text);
    free(buffer);
}

extern "C" int ReserveTextBuffer(TextBuffer* buffer, int32_t count)
{
    if (!buffer || !buffer->text || count < 0)
        return VELMORA_FAILURE;
    int64_t needed = static_cast<int64_t>(buffer->length) + count;
    if (needed <= buffer->capacity)
        return VELMORA_SUCCESS;
    // One byte stays for the terminator, so the text tops out below INT32_MAX.
    if (needed >= INT32_MAX)
        return VELMORA_ALLOC_FAILURE;
    // The smallest k with capacity + k * step >= needed.
    int64_t step = buffer->step > 0 ? buffer->step : 1;
    int64_t steps = (needed - buffer->capacity + step - 1) / step;
    int64_t capacity = buffer->capacity + steps * step;
    if (capacity >= INT32_MAX)
        capacity = INT32_MAX - 1;
    auto* text = static_cast<char*>(BriMalloc(static_cast<size_t>(capacity) + 1));
    if (!text)
        return VELMORA_ALLOC_FAILURE;
    memcpy(text, buffer->text, static_cast<size_t>(buffer->length) + 1);
    free(buffer->text);
    buffer->text = text;
    buffer->capacity = static_cast<int32_t>(capacity);
    return VELMORA_SUCCESS;
}

extern "C" int AppendTextBufferBytes(TextBuffer* buffer, const char* bytes, int32_t length)
{
    if (!buffer || !bytes || length < 0)
        return VELMORA_FAILURE;
    int result = ReserveTextBuffer(buffer, length);
    if (result != VELMORA_SUCCESS)
        return result;
    memcpy(buffer->text + buffer->length, bytes, static_cast<size_t>(length));
    buffer->length += length;
    buffer->text[buffer->length] = '\0';
    return VELMORA_SUCCESS;
}

extern "C" int AppendTextBuffer(TextBuffer* buffer, const char* text)
{
    if (!text)
        return VELMORA_FAILURE;
    size_t length = strlen(text);
    if (length >= INT32_MAX)
        return VELMORA_ALLOC_FAILURE;
    return AppendTextBufferBytes(buffer, text, static_cast<int32_t>(length));
}

extern "C" int AppendTextBufferFormatV(TextBuffer* buffer, const char* format, va_list arguments)
{
    if (!buffer || !buffer->text || !format)
        return VELMORA_FAILURE;
    // First try the room that is already there; most pieces fit.
    va_list copy;
    va_copy(copy, arguments);
    size_t room = static_cast<size_t>(buffer->capacity - buffer->length) + 1;
    int size = vsnprintf(buffer->text + buffer->length, room, format, copy);
    va_end(copy);
    if (size < 0) {
        buffer->text[buffer->length] = '\0';
        return VELMORA_FAILURE;
    }
    if (static_cast<size_t>(size) < room) {
        buffer->length += size;
        return VELMORA_SUCCESS;
    }
    buffer->text[buffer->length] = '\0';
    int result = ReserveTextBuffer(buffer, size);
    if (result != VELMORA_SUCCESS)
        return result;
    vsnprintf(buffer->text + buffer->length, static_cast<size_t>(size) + 1, format, arguments);
    buffer->length += size;
    return VELMORA_SUCCESS;
}

extern "C" int AppendTextBufferFormat(TextBuffer* buffer, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int result = AppendTextBufferFormatV(buffer, format, arguments);
    va_end(arguments);
    return result;
}

extern "C" char* DetachTextBuffer(TextBuffer* buffer)
{
    if (!buffer)
        return nullptr;
    char* text = buffer->text;
    free(buffer);
    return text;
}
