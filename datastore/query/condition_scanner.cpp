#include "condition_scanner.h"

#include "velmora/criteria.h"

namespace velmora::query {
namespace {

// ASCII classes by hand: <ctype.h> depends on the locale and is undefined
// for negative chars, and bytes above 127 must start no token.
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsNameChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }

} // namespace

Lexeme ConditionScanner::Next()
{
    const char* p = next_;
    while (*p == ' ' || *p == '\t')
        p++;

    const char* start = p;
    Token kind = Token::Invalid;
    uint8_t op = 0;
    char c = *p;
    if (c == '\0') {
        kind = Token::End;
    } else if (IsDigit(c)) {
        while (IsDigit(*p))
            p++;
        // A point belongs to the number only with digits on both sides.
        if (*p == '.' && IsDigit(p[1])) {
            p += 2;
            while (IsDigit(*p))
                p++;
        }
        kind = Token::Value;
    } else if (IsLetter(c)) {
        while (IsNameChar(*p))
            p++;
        size_t length = (size_t)(p - start);
        kind = Token::Name;
        if (length == 3 && start[0] == 'a' && start[1] == 'n' && start[2] == 'd')
            kind = Token::And;
        else if (length == 2 && start[0] == 'o' && start[1] == 'r')
            kind = Token::Or;
    } else if (c == '\'') {
        const char* close = p + 1;
        while (*close != '\0' && *close != '\'')
            close++;
        // An unterminated quote is no string: the quote itself is invalid.
        if (*close == '\'') {
            p = close + 1;
            kind = Token::Value;
        } else {
            p++;
        }
    } else {
        p++;
        switch (c) {
        case '<':
            kind = Token::Comparison;
            op = CRITERIA_LT;
            if (*p == '=') {
                p++;
                op = CRITERIA_LE;
            }
            break;
        case '>':
            kind = Token::Comparison;
            op = CRITERIA_GT;
            if (*p == '=') {
                p++;
                op = CRITERIA_GE;
            }
            break;
        case '=':
            kind = Token::Comparison;
            op = CRITERIA_EQ;
            break;
        case '!':
            if (*p == '=') {
                p++;
                kind = Token::Comparison;
                op = CRITERIA_NE;
            }
            break;
        case '(':
            kind = Token::LeftParen;
            break;
        case ')':
            kind = Token::RightParen;
            break;
        case '\n':
            kind = Token::LineEnd;
            break;
        default:
            break;
        }
    }
    next_ = p;
    return Lexeme{kind, op, start, (size_t)(p - start)};
}

} // namespace velmora::query
