// A bounded reader of the fixed date patterns, in the manner of sscanf:
// white space in a pattern matches any run of white space (also none),
// numbers and words skip the white space before them, a character does not.
// Unlike sscanf it never writes past a word buffer and a number that does not
// fit an int is a failed field, not undefined behaviour.
#pragma once

#include <stddef.h>

namespace util {

class TextScanner {
public:
    explicit TextScanner(const char* text) : at_(text) { }

    // Each reader returns false, and leaves the scanner stuck, when the
    // field cannot be read; a stuck scanner reads nothing more.
    bool Number(int* value);
    bool Character(char* value);
    // A run of up to `capacity - 1` non-blank characters (fewer when
    // `maxChars` is smaller); a longer word fails.
    bool Word(char* buffer, size_t capacity, size_t maxChars = 0);
    bool Literal(char expected);
    void Blanks();

private:
    const char* at_;
    bool stuck_ = false;
};

} // namespace util
