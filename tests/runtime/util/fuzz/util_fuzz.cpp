// libFuzzer entry: every parser of the conversions and text routines on one
// input, held in a block of exactly its size.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "runtime/conversions.h"
#include "runtime/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    char* text = static_cast<char*>(malloc(size + 1));
    memcpy(text, data, size);
    text[size] = '\0';
    int length = static_cast<int>(strlen(text));

    for (int isAddress = 0; isAddress < 2; ++isAddress) {
        uint32_t* ids = nullptr;
        ConvertToOidOrIpFromString(&ids, text, isAddress);
        free(ids);
    }
    IsValidIPAddress(text, length);
    IsValidOid(text, length);
    int32_t count = 0;
    if (unsigned char* octets = ConvertToDateTimeFromString(text, &count)) {
        free(ConvertToStringFromDateTime(octets, &count));
        free(octets);
    }
    free(ParseDateTime(text));
    ParseMonth(text);

    // The first byte (if any) as the pattern, the rest as the text.
    if (length > 1) {
        char pattern[2] = {text[0], '\0'};
        const char* rest = text + 1;
        char** pieces = SplitAtSubString(rest, pattern);
        for (int i = 0; pieces && pieces[i] && CountSubStrings(rest, pattern) > 0; ++i)
            free(pieces[i]);
        free(pieces);
        free(RemoveAllSubStrings(rest, pattern));
        free(GetTextAfter(rest, pattern));
        free(TrimChar(rest, pattern[0]));
    }
    if (size <= CONVERSION_MAX_HEX_DIGITS)
        ConvertToHexValue(text, static_cast<int>(size));
    free(text);
    return 0;
}
