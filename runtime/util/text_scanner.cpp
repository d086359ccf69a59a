#include "text_scanner.h"

#include <limits.h>

namespace util {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
} // namespace

void TextScanner::Blanks()
{
    while (!stuck_ && IsBlank(*at_))
        ++at_;
}

bool TextScanner::Number(int* value)
{
    Blanks();
    if (stuck_)
        return false;
    const char* p = at_;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return stuck_ = true, false;
    long long number = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        number = number * 10 + (*p - '0');
        if (number > static_cast<long long>(INT_MAX) + 1)
            return stuck_ = true, false;
    }
    if (negative)
        number = -number;
    if (number > INT_MAX)
        return stuck_ = true, false;
    *value = static_cast<int>(number);
    at_ = p;
    return true;
}

bool TextScanner::Character(char* value)
{
    if (stuck_ || *at_ == '\0')
        return stuck_ = true, false;
    *value = *at_++;
    return true;
}

bool TextScanner::Word(char* buffer, size_t capacity, size_t maxChars)
{
    Blanks();
    if (stuck_ || *at_ == '\0' || capacity == 0)
        return stuck_ = true, false;
    size_t limit = capacity - 1;
    bool cut = maxChars > 0 && maxChars < limit;
    if (cut)
        limit = maxChars;
    size_t n = 0;
    while (at_[n] != '\0' && !IsBlank(at_[n]) && n < limit)
        ++n;
    /* A field width ends the word where it is; a word that fills the whole
     * buffer and goes on is too long. */
    if (!cut && at_[n] != '\0' && !IsBlank(at_[n]))
        return stuck_ = true, false;
    for (size_t i = 0; i < n; ++i)
        buffer[i] = at_[i];
    buffer[n] = '\0';
    at_ += n;
    return true;
}

bool TextScanner::Literal(char expected)
{
    if (stuck_ || *at_ != expected)
        return stuck_ = true, false;
    ++at_;
    return true;
}

} // namespace util
