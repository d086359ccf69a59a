/* Object identifiers and IPv4 addresses held as sub-identifiers. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "runtime/conversions.h"
#include "runtime/log.h"
#include "util_internal.h"

namespace {

/* Reads one decimal component text[0..length): an optional sign (when
 * allowed) and one or more digits, nothing else, at most
 * CONVERSION_MAX_COMPONENT characters. Numbers below 0 or above 2^32 - 1
 * are no sub-identifiers and are refused too; "-0" is 0. */
bool ParseComponent(const char* text, size_t length, bool allowSign, uint32_t* value)
{
    if (length == 0 || length > CONVERSION_MAX_COMPONENT)
        return false;
    size_t i = 0;
    bool negative = false;
    if (allowSign && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == length)
        return false;
    unsigned long long number = 0; /* 19 digits cannot overflow it */
    for (; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        number = number * 10 + static_cast<unsigned>(text[i] - '0');
    }
    if (number > 0xFFFFFFFFull || (negative && number != 0))
        return false;
    *value = static_cast<uint32_t>(number);
    return true;
}

} // namespace

uint16_t GetOidLength(const char* text, int length)
{
    LogTrace("\n\t@@@@@ Inside GetOidLength() @@@@@ \n");
    size_t end = util::BoundedLength(text, length);
    unsigned dots = 0;
    for (size_t i = 0; i < end && dots < 0xFFFF; ++i)
        dots += text[i] == '.';
    return static_cast<uint16_t>(dots);
}

int IsValidOid(const char* text, int length)
{
    LogTrace("\n\t@@@@@ Inside IsValidOid() @@@@@ \n");
    if (util::BoundedLength(text, length) == 0 || text[0] != '.')
        return 0;
    return GetOidLength(text, length) > 1;
}

int IsValidIPAddress(const char* text, int length)
{
    LogTrace("\n\t@@@@@ Inside IsValidIPAddress() @@@@@ \n");
    LogTrace("len is %d\n", length);
    size_t end = util::BoundedLength(text, length);
    if (end == 0 || text[0] == '.')
        return 0;
    int dots = 0;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] != '.')
            continue;
        if (i + 1 < end && text[i + 1] == '.')
            return 0;
        ++dots;
    }
    if (dots != 3)
        return 0;
    size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        size_t stop = start;
        while (stop < end && text[stop] != '.')
            ++stop;
        /* Only the last part can be empty here ("1.2.3."); it reads as 0. An
         * address is digits and dots: signs are not accepted. */
        uint32_t value = 0;
        bool empty = stop == start;
        if (!empty && (!ParseComponent(text + start, stop - start, false, &value) || value > 255))
            return 0;
        start = stop + 1;
    }
    return 1;
}

int ConvertToOidOrIpFromString(uint32_t** out, const char* text, int isAddress)
{
    LogTrace("\n\t@@@@@ Inside ConvertToOidOrIpFromString() @@@@@ \n");
    const char* formatError = isAddress ? "Incorrect format of IpAddress\n" : "Incorrect format of OID\n";
    if (!out)
        return -1;
    *out = nullptr;
    if (!text) {
        LogError("%s", formatError);
        return -1;
    }
    size_t length = strlen(text);
    size_t dots = 0;
    for (size_t i = 0; i < length; ++i)
        dots += text[i] == '.';
    if (dots == 0 || dots > CONVERSION_MAX_SUBIDS) {
        LogError("%s", formatError);
        return -1;
    }

    /* An OID starts with its dot, an address with its first number. */
    size_t expected = isAddress ? dots + 1 : dots;
    auto* subIds = static_cast<uint32_t*>(calloc(expected + 1, sizeof(uint32_t)));
    if (!subIds) {
        util::LogNoBuffer();
        return -1;
    }
    size_t position = isAddress ? 0 : 1;
    size_t stored = 0;
    while (position <= length) {
        size_t stop = position;
        while (stop < length && text[stop] != '.')
            ++stop;
        uint32_t value;
        /* Components follow dots, so there are at most expected + 1 of
         * them; the check keeps that plain. */
        if (stored > expected || !ParseComponent(text + position, stop - position, true, &value)) {
            free(subIds);
            LogError("%s", formatError);
            return -1;
        }
        subIds[stored++] = value;
        position = stop + 1;
    }
    *out = subIds;
    return stored == expected ? static_cast<int>(expected) : 0;
}

char* ConvertToStringFromOID(const uint32_t* subIds, int32_t* length)
{
    LogTrace("\n\t@@@@@ Inside ConvertToStringFromOID() @@@@@ \n");
    if (!length || *length < 0 || (*length >= 4 && !subIds))
        return nullptr;
    size_t count = static_cast<size_t>(*length) / 4;
    size_t size = 11 * count + 1;
    auto* text = static_cast<char*>(malloc(size));
    if (!text) {
        util::LogNoBuffer();
        return nullptr;
    }
    size_t used = 0;
    text[0] = '\0';
    for (size_t i = 0; i < count; ++i) {
        LogTrace("The SubId IS %lu\n", static_cast<unsigned long>(subIds[i]));
        char part[12];
        snprintf(part, sizeof part, "%lu", static_cast<unsigned long>(subIds[i]));
        LogTrace("The String rep as SubId is %s\n", part);
        used += static_cast<size_t>(snprintf(text + used, size - used, ".%s", part));
    }
    LogTrace("The String rep as OID is %s\n", text);
    *length = static_cast<int32_t>(used);
    return text;
}

int ConvertToStringFromOid(const uint32_t* subIds, int count, char* out)
{
    LogTrace("\n\t@@@@@ Inside ConvertToStringFromOid() @@@@@ \n");
    if (!out)
        return 1;
    size_t used = 0;
    out[0] = '\0';
    for (int i = 0; subIds && i < count; ++i)
        used += static_cast<size_t>(sprintf(out + used, ".%lu", static_cast<unsigned long>(subIds[i])));
    return 1;
}

char* ConvertToIpAddressFromOid(char* out, const uint32_t* subIds, int first, int end)
{
    LogTrace("\n\t@@@@@ Inside ConvertToIpAddressFromOid() @@@@@ \n");
    if (!out)
        return nullptr;
    out[0] = '\0';
    if (!subIds || first < 0 || end <= first)
        return out;
    /* The caller's buffer holds three digits and a separator per value;
     * a larger value is no address part and would not fit. */
    for (int i = first; i < end; ++i) {
        if (subIds[i] > 999) {
            LogError("ConvertToIpAddressFromOid: %lu is not an address part\n", static_cast<unsigned long>(subIds[i]));
            return nullptr;
        }
    }
    size_t used = 0;
    for (int i = first; i < end; ++i)
        used += static_cast<size_t>(sprintf(out + used, i + 1 < end ? "%u." : "%u", static_cast<unsigned>(subIds[i])));
    return out;
}

int8_t CompareOid(const uint32_t* a, int countA, const uint32_t* b, int countB)
{
    LogTrace("\n\t@@@@@ Inside CompareOid() @@@@@ \n");
    if (countA < 0 || !a)
        countA = 0;
    if (countB < 0 || !b)
        countB = 0;
    int shorter = countA < countB ? countA : countB;
    for (int i = 0; i < shorter; ++i) {
        if (a[i] != b[i])
            return a[i] > b[i] ? 1 : -1;
    }
    if (countA == countB)
        return 0;
    return countA > countB ? 1 : -1;
}

void CopyOid(uint32_t* destination, const uint32_t* source, int count)
{
    LogTrace("\n\t@@@@@ Inside CopyOid() @@@@@ \n");
    if (destination && source && count > 0)
        memmove(destination, source, static_cast<size_t>(count) * sizeof(uint32_t));
}

void SetNOid(uint32_t* destination, const uint32_t* source, int start, int count)
{
    LogTrace("\n\t@@@@@ Inside SetNOid() @@@@@ \n");
    if (destination && source && start >= 0 && count > 0)
        memmove(destination + start, source, static_cast<size_t>(count) * sizeof(uint32_t));
}

uint32_t GetNextSubId(uint32_t value, const uint32_t* subIds, int count)
{
    LogTrace("\n\t@@@@@ Inside GetNextSubId() @@@@@ \n");
    for (int i = 0; subIds && i < count; ++i) {
        if (subIds[i] > value)
            return subIds[i];
    }
    return 0;
}

int ReallocateAndSetOID(uint32_t** array, int* arrayCount, const uint32_t* source, int count)
{
    LogTrace("\n\t@@@@@ Inside ReallocateAndSetOID() @@@@@ \n");
    if (!array || !arrayCount || count < 0 || (count > 0 && !source))
        return 0;
    free(*array);
    *array = static_cast<uint32_t*>(calloc(static_cast<size_t>(count) + 1, sizeof(uint32_t)));
    if (!*array) {
        *arrayCount = 0;
        LogError("Unable to allocate memory");
        return CONVERSION_NO_MEMORY;
    }
    if (count)
        memcpy(*array, source, static_cast<size_t>(count) * sizeof(uint32_t));
    *arrayCount = count;
    return CONVERSION_SUCCESS;
}

int ReallocateAndSetString(char** text, const void* source, int length)
{
    LogTrace("\n\t@@@@@ Inside ReallocateAndSetString() @@@@@ \n");
    if (!text || length < 0 || (length > 0 && !source))
        return 0;
    free(*text);
    *text = static_cast<char*>(malloc(static_cast<size_t>(length) + 1));
    if (!*text) {
        LogError("Unable to allocate memory\n");
        return CONVERSION_NO_MEMORY;
    }
    if (length)
        memcpy(*text, source, static_cast<size_t>(length));
    (*text)[length] = '\0';
    return CONVERSION_SUCCESS;
}

void ConvertToCharArray(char* out, const uint32_t* subIds, int start, int length)
{
    LogTrace("\n\t@@@@@ Inside ConvertToCharArray() @@@@@ \n");
    if (!out)
        return;
    int i = 0;
    for (; subIds && start >= 0 && i < length; ++i)
        out[i] = static_cast<char>(subIds[start + i] % 255);
    out[i] = '\0';
}

void CopyStringToOid(uint32_t* destination, const char* text)
{
    LogTrace("\n\t@@@@@ Inside CopyStringToOid() @@@@@ \n");
    if (!destination || !text)
        return;
    for (size_t i = 0; text[i]; ++i)
        destination[i] = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(text[i])));
}

void CopyStringToOID(uint32_t* destination, const unsigned char* bytes, int length)
{
    LogTrace("\n\t@@@@@ Inside CopyStringToOID() @@@@@ \n");
    for (int i = 0; destination && bytes && i < length; ++i)
        destination[i] = bytes[i];
}

void PrintStream(const unsigned char* bytes, int count, const char* format)
{
    LogTrace("\n\t@@@@@ Inside PrintStream() @@@@@ \n");
    if (!bytes || !format)
        return;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    for (int i = 0; i < count; ++i)
        LogDebug(format, bytes[i]);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    LogDebug("\n");
}

void PrintOid(const uint32_t* subIds, int count)
{
    LogTrace("\n\t@@@@@ Inside PrintOid() @@@@@ \n");
    for (int i = 0; subIds && i < count; ++i)
        LogDebug("%lu\t", static_cast<unsigned long>(subIds[i]));
    LogDebug("\n");
}
