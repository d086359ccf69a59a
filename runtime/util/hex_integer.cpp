/* Hex digits, integers and 64-bit counters. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "runtime/conversions.h"
#include "runtime/log.h"
#include "util_internal.h"

char GetHexValue(char character)
{
    LogTrace("\n\t@@@@@ Inside GetHexValue() @@@@@ \n");
    if (character >= '0' && character <= '9')
        return static_cast<char>(character - '0');
    if (character >= 'A' && character <= 'F')
        return static_cast<char>(character - 'A' + 10);
    if (character >= 'a' && character <= 'f')
        return static_cast<char>(character - 'a' + 10);
    return character;
}

char ConvertToDecimalFromHexa(char character)
{
    LogTrace("\n\t@@@@@ Inside ConvertToDecimalFromHexa() @@@@@ \n");
    bool digit = (character >= '0' && character <= '9') || (character >= 'A' && character <= 'F') ||
        (character >= 'a' && character <= 'f');
    return digit ? GetHexValue(character) : 0;
}

int ConvertToHexValue(char* text, int length)
{
    LogTrace("\n\t@@@@@ Inside ConvertToHexValue() @@@@@ \n");
    if (!text || length < 0 || length > CONVERSION_MAX_HEX_DIGITS) {
        LogError("ConvertToHexValue: refused a text of %d hex digits (at most %d)\n", length,
                 CONVERSION_MAX_HEX_DIGITS);
        return CONVERSION_INVALID_PARAMETER;
    }
    /* Packed in a buffer of its own first, since the bytes go over the digits
     * that are still to be read. Only whole pairs are packed: an odd last
     * digit would need the character after the text. */
    unsigned char packed[CONVERSION_MAX_HEX_DIGITS / 2];
    int bytes = length / 2;
    for (int i = 0; i < bytes; ++i) {
        auto high = static_cast<unsigned char>(GetHexValue(text[2 * i]));
        auto low = static_cast<unsigned char>(GetHexValue(text[2 * i + 1]));
        packed[i] = static_cast<unsigned char>((high << 4) + low);
    }
    if (bytes)
        memcpy(text, packed, static_cast<size_t>(bytes));
    return CONVERSION_OK;
}

void ConvertToStringFromHex(char* out, const unsigned char* bytes, int count)
{
    LogTrace("\n\t@@@@@ Inside ConvertToStringFromHex() @@@@@ \n");
    if (!out || !bytes)
        return;
    for (int i = 0; i < count; ++i) {
        out[2 * i] = static_cast<char>(bytes[i] >> 4);
        out[2 * i + 1] = static_cast<char>(bytes[i] & 0x0F);
    }
}

char* ConvertToStringFromInteger(const int32_t* value)
{
    LogTrace("\n\t@@@@@ Inside ConvertToStringFromInteger() @@@@@ \n");
    if (!value)
        return nullptr;
    auto* text = static_cast<char*>(malloc(20));
    if (!text) {
        util::LogNoBuffer();
        return nullptr;
    }
    /* The magnitude is taken unsigned: negating INT32_MIN as a signed value
     * overflows. */
    uint32_t magnitude = *value < 0 ? 0u - static_cast<uint32_t>(*value) : static_cast<uint32_t>(*value);
    snprintf(text, 20, "%s%lu", *value < 0 ? "-" : "", static_cast<unsigned long>(magnitude));
    LogTrace("The string is %s\n", text);
    return text;
}

char* ConvertToStringFromUnsignedInteger(const uint32_t* value, int32_t* length)
{
    LogTrace("\n\t@@@@@ Inside ConvertToStringFromUnsignedInteger() @@@@@ \n");
    if (!value)
        return nullptr;
    LogTrace("The value is %lu\n", static_cast<unsigned long>(*value));
    auto* text = static_cast<char*>(malloc(20));
    if (!text) {
        util::LogNoBuffer();
        return nullptr;
    }
    int digits = snprintf(text, 20, "%lu", static_cast<unsigned long>(*value));
    if (length)
        *length = digits;
    LogTrace("The string is %s\n", text);
    return text;
}

char* ToString(const void* value, int32_t length, int kind)
{
    (void)length;
    LogTrace("\n\t@@@@@ Inside ToString() @@@@@ \n");
    if (kind == 0)
        return ConvertToStringFromInteger(static_cast<const int32_t*>(value));
    if (kind != 1)
        return nullptr;
    auto* text = static_cast<char*>(malloc(6));
    if (!text) {
        util::LogNoBuffer();
        return nullptr;
    }
    strcpy(text, value ? "TRUE" : "FALSE");
    return text;
}

Counter64 ConvertToCounter64FromULongLong(uint64_t value)
{
    LogTrace("\n\t@@@@@ Inside ConvertToCounter64FromULongLong() @@@@@ \n");
    return Counter64{static_cast<uint32_t>(value >> 32), static_cast<uint32_t>(value)};
}

uint64_t ConvertToULongLongFromCounter64(uint32_t high, uint32_t low)
{
    LogTrace("\n\t@@@@@ Inside ConvertToULongLongFromCounter64() @@@@@ \n");
    return (static_cast<uint64_t>(high) << 32) | low;
}

int ConvertToCounter64(Counter64* out, const unsigned char* bytes, int count)
{
    LogTrace("\n\t@@@@@ Inside ConvertToCounter64() @@@@@ \n");
    if (!out || count < 0 || count > 9 || (count > 0 && !bytes) || (count == 9 && bytes[0] != 0)) {
        LogError("ConvertToCounter64: refused %d bytes\n", count);
        return CONVERSION_INVALID_PARAMETER;
    }
    if (count == 9) {
        ++bytes;
        --count;
    }
    uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    out->high = static_cast<uint32_t>(value >> 32);
    out->low = static_cast<uint32_t>(value);
    return CONVERSION_OK;
}

/* A Counter64 is unsigned: printed signed, values from 2^63 on would read as
 * negative counts. Its largest value has 20 digits, so 21 bytes still hold
 * it. */
char* ConvertToStringFromCounter64(Counter64 value)
{
    auto* text = static_cast<char*>(malloc(21));
    if (!text) {
        util::LogNoBuffer();
        return nullptr;
    }
    unsigned long long whole = (static_cast<unsigned long long>(value.high) << 32) | value.low;
    snprintf(text, 21, "%llu", whole);
    LogDebug("The String is : %s\n", text);
    return text;
}
