#include "util_internal.h"

#include <stdlib.h>
#include <string.h>

#include "runtime/log.h"

namespace util {

char* CopyRange(const char* text, size_t length)
{
    auto* copy = static_cast<char*>(malloc(length + 1));
    if (!copy) {
        LogNoBuffer();
        return nullptr;
    }
    if (length)
        memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

void LogNoBuffer() { LogError("Unable to allocate buffer !!! \n"); }

size_t BoundedLength(const char* text, int limit)
{
    if (!text || limit <= 0)
        return 0;
    return strnlen(text, static_cast<size_t>(limit));
}

} // namespace util
