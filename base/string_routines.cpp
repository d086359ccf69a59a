/*
 * Byte and string routines.
 */
#include "velmora/string_routines.h"

#include <stdlib.h>
#include <string.h>

#include "velmora/base_alloc.h"

namespace {

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c; }

/* -1, 0 or 1 for the null cases, 2 when both pointers are set. */
int CompareNulls(const void* first, const void* second)
{
    if (!first && !second)
        return 0;
    if (!first)
        return -1;
    if (!second)
        return 1;
    return 2;
}

int32_t BoundedLength(const char* text, int32_t limit)
{
    int32_t length = 0;
    while (length < limit && text[length])
        length++;
    return length;
}

int32_t ClampLength(size_t length) { return length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length); }

} // namespace

int32_t ConvertToInteger(const unsigned char* bytes, int32_t length)
{
    if (length > 4 || length < 0 || (!bytes && length > 0))
        return -1;
    uint32_t value = 0;
    for (int32_t i = 0; i < length; i++)
        value = (value << 8) | bytes[i];
    return static_cast<int32_t>(value);
}

void* CopyBytes(void* destination, const void* source, size_t n)
{
    if (!destination || !source)
        return nullptr;
    if (n)
        memcpy(destination, source, n);
    return destination;
}

void* FillBytes(void* destination, int value, size_t n)
{
    if (!destination)
        return nullptr;
    memset(destination, static_cast<unsigned char>(value), n);
    return destination;
}

int CompareBytes(const void* first, const void* second, size_t n)
{
    int nulls = CompareNulls(first, second);
    if (nulls != 2)
        return nulls;
    const auto* a = static_cast<const unsigned char*>(first);
    const auto* b = static_cast<const unsigned char*>(second);
    for (size_t i = 0; i < n; i++)
        if (a[i] != b[i])
            return a[i] - b[i];
    return 0;
}

void* FindByte(const void* buffer, int value, size_t n)
{
    if (!buffer)
        return nullptr;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    const auto wanted = static_cast<unsigned char>(value);
    for (size_t i = 0; i < n; i++)
        if (bytes[i] == wanted)
            return const_cast<unsigned char*>(bytes + i);
    return nullptr;
}

int StartsWith(const char* buffer, int32_t length, const char* prefix)
{
    if (!buffer || !prefix || length < 0)
        return 0;
    size_t prefixLength = strlen(prefix);
    if (prefixLength > static_cast<size_t>(length))
        return 0;
    return memcmp(buffer, prefix, prefixLength) == 0 ? 1 : 0;
}

size_t SpanChars(const char* text, const char* set)
{
    if (!text || !set)
        return 0;
    return strspn(text, set);
}

char* BreakChars(const char* text, const char* set)
{
    if (!text || !set)
        return nullptr;
    return const_cast<char*>(strpbrk(text, set));
}

int CompareNoCase(const char* first, const char* second)
{
    int nulls = CompareNulls(first, second);
    if (nulls != 2)
        return nulls;
    const auto* a = reinterpret_cast<const unsigned char*>(first);
    const auto* b = reinterpret_cast<const unsigned char*>(second);
    for (;; a++, b++) {
        int difference = Fold(*a) - Fold(*b);
        if (difference != 0 || *a == 0)
            return difference;
    }
}

int CompareBounded(const char* first, const char* second, size_t n)
{
    int nulls = CompareNulls(first, second);
    if (nulls != 2)
        return nulls;
    const auto* a = reinterpret_cast<const unsigned char*>(first);
    const auto* b = reinterpret_cast<const unsigned char*>(second);
    for (size_t i = 0; i < n; i++) {
        if (a[i] != b[i])
            return a[i] - b[i];
        if (a[i] == 0)
            break;
    }
    return 0;
}

int CompareNoCaseBounded(const char* first, const char* second, size_t n)
{
    int nulls = CompareNulls(first, second);
    if (nulls != 2)
        return nulls;
    const auto* a = reinterpret_cast<const unsigned char*>(first);
    const auto* b = reinterpret_cast<const unsigned char*>(second);
    for (size_t i = 0; i < n; i++) {
        int difference = Fold(a[i]) - Fold(b[i]);
        if (difference != 0)
            return difference;
        if (a[i] == 0)
            break;
    }
    return 0;
}

char* SubString(const char* text, const char* pattern)
{
    if (!text || !pattern)
        return nullptr;
    return const_cast<char*>(strstr(text, pattern));
}

int FindSubString(const char* text, const char* pattern) { return SubString(text, pattern) ? 1 : 0; }

int32_t GetIndex(const char* text, char c, int32_t n)
{
    if (!text)
        return -1;
    for (int32_t i = 0; i < n && text[i]; i++)
        if (text[i] == c)
            return i;
    return -1;
}

int32_t CopyStringBounded(char* destination, const char* source, int32_t size)
{
    if (!source)
        source = "";
    int32_t sourceLength = ClampLength(strlen(source));
    if (!destination || size <= 0)
        return sourceLength;
    int32_t copied = sourceLength < size - 1 ? sourceLength : size - 1;
    memcpy(destination, source, static_cast<size_t>(copied));
    destination[copied] = '\0';
    return sourceLength;
}

int32_t AppendStringBounded(char* destination, const char* source, int32_t size)
{
    if (!source)
        source = "";
    int32_t sourceLength = ClampLength(strlen(source));
    if (!destination || size <= 0)
        return sourceLength;
    int32_t used = BoundedLength(destination, size);
    if (used == size) /* destination holds no terminator within size */
        return size + sourceLength;
    int32_t room = size - 1 - used;
    int32_t copied = sourceLength < room ? sourceLength : room;
    memcpy(destination + used, source, static_cast<size_t>(copied));
    destination[used + copied] = '\0';
    return used + sourceLength;
}

int SplitString(const char* buffer, int32_t length, char separator, char*** pieces, int32_t** lengths, int32_t* count)
{
    if (pieces)
        *pieces = nullptr;
    if (lengths)
        *lengths = nullptr;
    if (count)
        *count = 0;
    if (!buffer || !pieces || !lengths || !count || length < 0)
        return VELMORA_FAILURE;

    int32_t n = 1;
    for (int32_t i = 0; i < length; i++)
        if (buffer[i] == separator)
            n++;

    auto** array = static_cast<char**>(BriCalloc(static_cast<size_t>(n) + 1, sizeof(char*)));
    auto* sizes = static_cast<int32_t*>(BriCalloc(static_cast<size_t>(n), sizeof(int32_t)));
    if (!array || !sizes) {
        free(array);
        free(sizes);
        return VELMORA_ALLOC_FAILURE;
    }
    int32_t start = 0;
    for (int32_t piece = 0; piece < n; piece++) {
        int32_t end = start;
        while (end < length && buffer[end] != separator)
            end++;
        int32_t size = end - start;
        char* text = static_cast<char*>(BriMalloc(static_cast<size_t>(size) + 1));
        if (!text) {
            FreeStringArray(array, piece);
            free(sizes);
            return VELMORA_ALLOC_FAILURE;
        }
        memcpy(text, buffer + start, static_cast<size_t>(size));
        text[size] = '\0';
        array[piece] = text;
        sizes[piece] = size;
        start = end + 1;
    }
    *pieces = array;
    *lengths = sizes;
    *count = n;
    return VELMORA_SUCCESS;
}

int IsStringMatched(const char* bytes, int32_t length, const char* list)
{
    if (!bytes || !list || length < 0)
        return 0;
    const char* item = list;
    for (;;) {
        const char* end = strchr(item, ',');
        size_t itemLength = end ? static_cast<size_t>(end - item) : strlen(item);
        if (itemLength == static_cast<size_t>(length) && memcmp(item, bytes, itemLength) == 0)
            return 1;
        if (!end)
            return 0;
        item = end + 1;
    }
}

void FreeStringArray(char** array, int32_t count)
{
    if (!array)
        return;
    if (count < 0) {
        for (char** entry = array; *entry; entry++)
            free(*entry);
    } else {
        for (int32_t i = 0; i < count; i++)
            free(array[i]);
    }
    free(array);
}
