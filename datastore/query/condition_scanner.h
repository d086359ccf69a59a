// Splits condition text into tokens, longest match first. Private to the
// parser; the token texts point into the caller's string.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace velmora::query {

enum class Token : uint8_t {
    End, // the string's terminating NUL
    Name,
    Value,
    Comparison, // op holds CRITERIA_LT .. CRITERIA_NE
    And,
    Or,
    LeftParen,
    RightParen,
    LineEnd,
    Invalid, // a character that starts no token
};

struct Lexeme {
    Token kind;
    uint8_t op;
    const char* text;
    size_t length;
};

class ConditionScanner {
public:
    explicit ConditionScanner(const char* text) : next_(text) { }
    Lexeme Next();

private:
    const char* next_;
};

} // namespace velmora::query
