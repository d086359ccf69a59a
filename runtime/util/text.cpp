/* Searching, cutting, splitting, trimming and filtering narrow strings. */
#include "runtime/text.h"

#include <stdlib.h>
#include <string.h>

#include "runtime/log.h"
#include "util_internal.h"

namespace {

/* The next occurrence of pattern at or after `from`, or null. */
const char* Next(const char* from, const char* pattern) { return *pattern ? strstr(from, pattern) : nullptr; }

/* Where the last occurrence of the left-to-right scan starts, or null. */
const char* Last(const char* text, const char* pattern)
{
    const char* last = nullptr;
    size_t step = strlen(pattern);
    for (const char* hit = Next(text, pattern); hit; hit = Next(hit + step, pattern))
        last = hit;
    return last;
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

/* Copy of text without text[at..at + length). */
char* CopyWithout(const char* text, size_t at, size_t length)
{
    size_t total = strlen(text);
    char* copy = util::CopyRange(text, total - length);
    if (copy)
        memcpy(copy + at, text + at + length, total - at - length);
    return copy;
}

template <typename Keep> char* Filter(const char* text, Keep keep)
{
    if (!text)
        return nullptr;
    char* copy = util::CopyRange(text, strlen(text));
    if (!copy)
        return nullptr;
    size_t out = 0;
    for (const char* p = text; *p; ++p) {
        if (keep(*p))
            copy[out++] = *p;
    }
    copy[out] = '\0';
    return copy;
}

template <typename Map> char* MapCopy(const char* text, Map map)
{
    if (!text)
        return nullptr;
    char* copy = util::CopyRange(text, strlen(text));
    for (size_t i = 0; copy && copy[i]; ++i)
        copy[i] = map(copy[i]);
    return copy;
}

} // namespace

int CountSubStrings(const char* text, const char* pattern)
{
    if (!text || !pattern)
        return -1;
    int count = 0;
    size_t step = strlen(pattern);
    for (const char* hit = Next(text, pattern); hit; hit = Next(hit + step, pattern))
        ++count;
    return count;
}

int FindFirstSubString(const char* text, const char* pattern)
{
    if (!text || !pattern)
        return -1;
    const char* hit = Next(text, pattern);
    return hit ? static_cast<int>(hit - text) : 0;
}

int FindLastSubString(const char* text, const char* pattern)
{
    if (!text || !pattern)
        return -1;
    const char* hit = Last(text, pattern);
    return hit ? static_cast<int>(hit - text) : -1;
}

char* GetTextBefore(const char* text, const char* pattern)
{
    if (!text || !pattern)
        return nullptr;
    const char* hit = Next(text, pattern);
    return util::CopyRange(text, hit ? static_cast<size_t>(hit - text) : 0);
}

char* GetTextAfter(const char* text, const char* pattern)
{
    if (!text || !pattern)
        return nullptr;
    size_t length = strlen(text);
    size_t step = strlen(pattern);
    const char* hit = Next(text, pattern);
    /* Without a match the position reads 0 and the pattern's length is
     * skipped all the same; a text shorter than the pattern gives an empty
     * text rather than a read past its end. */
    size_t from = hit ? static_cast<size_t>(hit - text) + step : (step < length ? step : length);
    return util::CopyRange(text + from, length - from);
}

char* GetTextAfterLast(const char* text, const char* pattern)
{
    if (!text || !pattern)
        return nullptr;
    const char* hit = Last(text, pattern);
    if (!hit)
        return const_cast<char*>(text);
    const char* rest = hit + strlen(pattern);
    return util::CopyRange(rest, strlen(rest));
}

char** SplitAtSubString(const char* text, const char* pattern)
{
    if (!text || !pattern)
        return nullptr;
    size_t pieces = static_cast<size_t>(CountSubStrings(text, pattern)) + 1;
    auto** result = static_cast<char**>(calloc(pieces + 1, sizeof(char*)));
    if (!result) {
        util::LogNoBuffer();
        return nullptr;
    }
    if (pieces == 1) {
        result[0] = const_cast<char*>(text);
        return result;
    }
    size_t step = strlen(pattern);
    const char* rest = text;
    for (size_t i = 0; i < pieces; ++i) {
        const char* hit = i + 1 < pieces ? Next(rest, pattern) : nullptr;
        size_t length = hit ? static_cast<size_t>(hit - rest) : strlen(rest);
        result[i] = util::CopyRange(rest, length);
        if (!result[i]) {
            for (size_t j = 0; j < i; ++j)
                free(result[j]);
            free(result);
            return nullptr;
        }
        if (hit)
            rest = hit + step;
    }
    return result;
}

char* RemoveAllSubStrings(const char* text, const char* pattern)
{
    if (!text || !pattern)
        return nullptr;
    char* copy = util::CopyRange(text, strlen(text));
    if (!copy)
        return nullptr;
    size_t step = strlen(pattern);
    size_t out = 0;
    const char* rest = text;
    for (const char* hit = Next(rest, pattern); hit; hit = Next(rest, pattern)) {
        memcpy(copy + out, rest, static_cast<size_t>(hit - rest));
        out += static_cast<size_t>(hit - rest);
        rest = hit + step;
    }
    strcpy(copy + out, rest);
    return copy;
}

char* RemoveFirstSubString(const char* text, const char* pattern)
{
    if (!text || !pattern)
        return nullptr;
    const char* hit = Next(text, pattern);
    return hit ? CopyWithout(text, static_cast<size_t>(hit - text), strlen(pattern)) : nullptr;
}

char* RemoveLastSubString(const char* text, const char* pattern)
{
    if (!text || !pattern)
        return nullptr;
    const char* hit = Last(text, pattern);
    return hit ? CopyWithout(text, static_cast<size_t>(hit - text), strlen(pattern)) : nullptr;
}

char* KeepLetters(const char* text)
{
    return Filter(text, [](char c) { return IsLetter(c); });
}

char* KeepLettersAndDigits(const char* text)
{
    return Filter(text, [](char c) { return IsLetter(c) || IsDigit(c); });
}

char* RemoveLettersAndDigits(const char* text)
{
    return Filter(text, [](char c) { return !IsLetter(c) && !IsDigit(c); });
}

char* TrimLeadingChar(const char* text, char character)
{
    if (!text || !*text)
        return nullptr;
    while (*text && *text == character)
        ++text;
    return util::CopyRange(text, strlen(text));
}

char* TrimTrailingChar(const char* text, char character)
{
    if (!text)
        return nullptr;
    size_t length = strlen(text);
    if (length <= 1)
        return nullptr;
    while (length > 0 && text[length - 1] == character)
        --length;
    return util::CopyRange(text, length);
}

char* TrimChar(const char* text, char character)
{
    char* leading = TrimLeadingChar(text, character);
    if (!leading)
        return nullptr;
    char* result = TrimTrailingChar(leading, character);
    free(leading);
    return result;
}

char* TokenizeString(char* text, const char* delimiters, char** cursor)
{
    if (!delimiters || !cursor)
        return nullptr;
    char* at = text ? text : *cursor;
    if (!at)
        return nullptr;
    at += strspn(at, delimiters);
    if (!*at) {
        *cursor = nullptr;
        return nullptr;
    }
    char* end = at + strcspn(at, delimiters);
    if (*end) {
        *end = '\0';
        *cursor = end + 1;
    } else {
        *cursor = nullptr;
    }
    return at;
}

char* ToLowerCase(const char* text)
{
    return MapCopy(text, [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
}

char* ToUpperCase(const char* text)
{
    return MapCopy(text, [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
}
