/*
 * Strict number parsers for column values, defaults and sizes.
 *
 * Text comes from hand-written dictionaries, XML table data and condition
 * text, so the parsers accept exactly one shape and nothing around it: a
 * number with trailing junk ("12a") is not a number. Unparsable text reads
 * as 0 for values (an absent number, not an error) and -1 for sizes.
 */
#include "velmora/column_types.h"

#include <charconv>
#include <cstring>
#include <limits>

namespace {

/* Reads [sign] digits into magnitude; false on any other shape or when the
 * magnitude exceeds limit. */
bool ParseSignedMagnitude(const char* text, bool& negative, unsigned long long& magnitude, unsigned long long limit)
{
    if (!text)
        return false;
    const char* p = text;
    negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        p++;
    }
    if (*p < '0' || *p > '9')
        return false;
    magnitude = 0;
    for (; *p; p++) {
        if (*p < '0' || *p > '9')
            return false;
        unsigned digit = static_cast<unsigned>(*p - '0');
        if (magnitude > (limit - digit) / 10)
            return false;
        magnitude = magnitude * 10 + digit;
    }
    return true;
}

} // namespace

extern "C" int32_t ParseStrictInt32(const char* text)
{
    bool negative;
    unsigned long long magnitude;
    if (!ParseSignedMagnitude(text, negative, magnitude, std::numeric_limits<uint32_t>::max()))
        return 0;
    if (negative) {
        if (magnitude > 2147483648ull)
            return 0;
        return static_cast<int32_t>(-static_cast<long long>(magnitude));
    }
    // Above INT32_MAX: the low 32 bits, which an unsigned column reads back.
    return static_cast<int32_t>(static_cast<uint32_t>(magnitude));
}

extern "C" int64_t ParseStrictInt64(const char* text)
{
    bool negative;
    unsigned long long magnitude;
    if (!ParseSignedMagnitude(text, negative, magnitude, std::numeric_limits<uint64_t>::max()))
        return 0;
    if (negative) {
        if (magnitude > 9223372036854775808ull)
            return 0;
        return static_cast<int64_t>(0 - magnitude);
    }
    return static_cast<int64_t>(magnitude);
}

extern "C" double ParseStrictDouble(const char* text)
{
    if (!text)
        return 0;
    const char* p = text;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        p++;
    }
    const char* start = p;
    size_t digits = 0;
    while (*p >= '0' && *p <= '9') {
        p++;
        digits++;
    }
    if (*p == '.') {
        p++;
        while (*p >= '0' && *p <= '9') {
            p++;
            digits++;
        }
    }
    if (digits == 0 || *p != '\0')
        return 0;
    // from_chars ignores the locale and accepts no leading '+'.
    double value = 0;
    auto result = std::from_chars(start, p, value, std::chars_format::fixed);
    if (result.ec != std::errc() || result.ptr != p)
        return 0;
    return negative ? -value : value;
}

extern "C" int32_t ParseSizeInteger(const char* text)
{
    bool negative;
    unsigned long long magnitude;
    if (!ParseSignedMagnitude(text, negative, magnitude, 2147483648ull))
        return -1;
    if (negative)
        return static_cast<int32_t>(-static_cast<long long>(magnitude));
    if (magnitude > 2147483647ull)
        return -1;
    return static_cast<int32_t>(magnitude);
}
