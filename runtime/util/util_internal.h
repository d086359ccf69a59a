// Helpers shared by the utility routines; not part of the public API.
#pragma once

#include <stddef.h>

namespace util {

// A new terminated copy of text[0..length); null (logged) when out of memory.
char* CopyRange(const char* text, size_t length);

// The allocation failure line of the conversions.
void LogNoBuffer();

// Length of text, but at most `limit` characters: never reads past a
// terminator or past `limit`.
size_t BoundedLength(const char* text, int limit);

} // namespace util
