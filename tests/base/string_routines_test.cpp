#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "velmora/string_routines.h"

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(StringRoutinesTest, ConvertToIntegerReadsBigEndian)
{
    const unsigned char bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(ConvertToInteger(bytes, 0), 0);
    EXPECT_EQ(ConvertToInteger(bytes, 1), 1);
    EXPECT_EQ(ConvertToInteger(bytes, 2), 0x0102);
    EXPECT_EQ(ConvertToInteger(bytes, 4), 0x01020304);
    EXPECT_EQ(ConvertToInteger(bytes, 5), -1);
    const unsigned char high[] = {0xFF, 0xFF, 0xFF, 0xFE};
    EXPECT_EQ(ConvertToInteger(high, 4), -2);
    EXPECT_EQ(ConvertToInteger(high, 2), 0xFFFF);
    EXPECT_EQ(ConvertToInteger(nullptr, 2), -1);
    EXPECT_EQ(ConvertToInteger(bytes, -1), -1);
}

TEST(StringRoutinesTest, CopyFillCompareFindBytes)
{
    char buffer[8] = "abcdefg";
    char target[8] = {};
    EXPECT_EQ(CopyBytes(target, buffer, 8), target);
    EXPECT_STREQ(target, "abcdefg");
    EXPECT_EQ(CopyBytes(nullptr, buffer, 3), nullptr);
    EXPECT_EQ(CopyBytes(target, nullptr, 3), nullptr);

    EXPECT_EQ(FillBytes(target, 'x', 3), target);
    EXPECT_STREQ(target, "xxxdefg");
    EXPECT_EQ(FillBytes(target, 0x141, 1), target); // cut to a byte
    EXPECT_EQ(target[0], 'A');
    EXPECT_EQ(FillBytes(nullptr, 0, 1), nullptr);

    EXPECT_EQ(CompareBytes(nullptr, nullptr, 3), 0);
    EXPECT_EQ(CompareBytes(nullptr, buffer, 3), -1);
    EXPECT_EQ(CompareBytes(buffer, nullptr, 3), 1);
    EXPECT_EQ(CompareBytes("abc", "abd", 3), 'c' - 'd');
    EXPECT_EQ(CompareBytes("abc", "abd", 2), 0);
    EXPECT_EQ(CompareBytes("a\xFF", "a\x01", 2), 0xFF - 0x01); // unsigned bytes
    EXPECT_EQ(CompareBytes("a\0b", "a\0c", 3), 'b' - 'c');     // not stopped by NUL

    const char data[] = "hello\0world";
    EXPECT_EQ(FindByte(data, 'w', sizeof data), data + 6);
    EXPECT_EQ(FindByte(data, 'w', 6), nullptr);
    EXPECT_EQ(FindByte(nullptr, 'w', 6), nullptr);
}

TEST(StringRoutinesTest, StartsWith)
{
    EXPECT_EQ(StartsWith("prefix-rest", 11, "prefix"), 1);
    EXPECT_EQ(StartsWith("prefix-rest", 6, "prefix"), 1);
    EXPECT_EQ(StartsWith("prefix-rest", 5, "prefix"), 0); // the buffer is shorter
    EXPECT_EQ(StartsWith("prefax", 6, "prefix"), 0);
    EXPECT_EQ(StartsWith("abc", 3, ""), 1);
    EXPECT_EQ(StartsWith(nullptr, 3, "a"), 0);
    EXPECT_EQ(StartsWith("abc", 3, nullptr), 0);
    EXPECT_EQ(StartsWith("abc", -1, "a"), 0);
}

TEST(StringRoutinesTest, SpanAndBreak)
{
    EXPECT_EQ(SpanChars("  \tword", " \t"), 3u);
    EXPECT_EQ(SpanChars("word", " "), 0u);
    EXPECT_EQ(SpanChars(nullptr, " "), 0u);
    const char* text = "name=value;x";
    EXPECT_EQ(BreakChars(text, ";="), text + 4);
    EXPECT_EQ(BreakChars(text, "#"), nullptr);
    EXPECT_EQ(BreakChars(nullptr, "#"), nullptr);
}

TEST(StringRoutinesTest, CompareNoCase)
{
    EXPECT_EQ(CompareNoCase(nullptr, nullptr), 0);
    EXPECT_EQ(CompareNoCase(nullptr, "a"), -1);
    EXPECT_EQ(CompareNoCase("a", nullptr), 1);
    EXPECT_EQ(CompareNoCase("TableDefn", "tabledefn"), 0);
    EXPECT_EQ(CompareNoCase("abc", "ABD"), 'c' - 'd');
    EXPECT_EQ(CompareNoCase("ab", "abc"), -'c');
    EXPECT_EQ(CompareNoCase("[", "a"), '[' - 'a');         // '[' is not a letter: 'A' would fold
    EXPECT_EQ(CompareNoCase("\xC9", "\xE9"), 0xC9 - 0xE9); // no folding beyond ASCII
}

TEST(StringRoutinesTest, BoundedCompares)
{
    EXPECT_EQ(CompareBounded("abcdef", "abcxyz", 3), 0);
    EXPECT_LT(CompareBounded("abcdef", "abcxyz", 4), 0);
    EXPECT_EQ(CompareBounded("ab", "ab", 10), 0); // stops at the terminator
    EXPECT_EQ(Sign(CompareBounded("ab", "abc", 10)), -1);
    EXPECT_EQ(CompareBounded("Ab", "ab", 2), 'A' - 'a');
    EXPECT_EQ(CompareBounded(nullptr, "a", 1), -1);
    EXPECT_EQ(CompareBounded("anything", "else", 0), 0);

    EXPECT_EQ(CompareNoCaseBounded("ABCdef", "abcXYZ", 3), 0);
    EXPECT_EQ(Sign(CompareNoCaseBounded("ABCdef", "abcXYZ", 4)), -1);
    EXPECT_EQ(CompareNoCaseBounded("ab", "AB", 10), 0);
    EXPECT_EQ(CompareNoCaseBounded("a", nullptr, 1), 1);
}

TEST(StringRoutinesTest, SubStringFindSubStringGetIndex)
{
    const char* text = "select * from t";
    EXPECT_EQ(SubString(text, "from"), text + 9);
    EXPECT_EQ(SubString(text, "where"), nullptr);
    EXPECT_EQ(SubString(text, ""), text);
    EXPECT_EQ(SubString(nullptr, "a"), nullptr);
    EXPECT_EQ(FindSubString(text, "* f"), 1);
    EXPECT_EQ(FindSubString(text, "F"), 0);
    EXPECT_EQ(FindSubString(text, nullptr), 0);

    EXPECT_EQ(GetIndex("a,b,c", ',', 5), 1);
    EXPECT_EQ(GetIndex("a,b,c", ',', 1), -1);
    EXPECT_EQ(GetIndex("abc", 'x', 3), -1);
    EXPECT_EQ(GetIndex("ab", 'x', 100), -1); // stops at the terminator
    EXPECT_EQ(GetIndex(nullptr, 'x', 3), -1);
}

TEST(StringRoutinesTest, CopyStringBounded)
{
    char buffer[6];
    EXPECT_EQ(CopyStringBounded(buffer, "abc", sizeof buffer), 3);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(CopyStringBounded(buffer, "abcdefgh", sizeof buffer), 8); // cut
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(CopyStringBounded(buffer, "abcde", sizeof buffer), 5); // fits exactly
    EXPECT_STREQ(buffer, "abcde");
    memcpy(buffer, "zzzzz", 6);
    EXPECT_EQ(CopyStringBounded(buffer, "abc", 0), 3);
    EXPECT_STREQ(buffer, "zzzzz");
    EXPECT_EQ(CopyStringBounded(buffer, "abc", -4), 3);
    EXPECT_EQ(CopyStringBounded(buffer, "abc", 1), 3);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(CopyStringBounded(buffer, nullptr, 6), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(CopyStringBounded(nullptr, "abc", 6), 3);
}

TEST(StringRoutinesTest, AppendStringBounded)
{
    char buffer[8] = "ab";
    EXPECT_EQ(AppendStringBounded(buffer, "cd", sizeof buffer), 4);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(AppendStringBounded(buffer, "efghij", sizeof buffer), 10); // cut
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(AppendStringBounded(buffer, "x", sizeof buffer), 8); // full already
    EXPECT_STREQ(buffer, "abcdefg");
    // A destination without terminator within size is left alone.
    char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(AppendStringBounded(unterminated, "xy", 4), 6);
    EXPECT_EQ(memcmp(unterminated, "abcd", 4), 0);
    EXPECT_EQ(AppendStringBounded(buffer, "xy", 0), 2);
    EXPECT_EQ(AppendStringBounded(buffer, nullptr, sizeof buffer), 7);
}

TEST(StringRoutinesTest, SplitString)
{
    char** pieces = nullptr;
    int32_t* lengths = nullptr;
    int32_t count = 0;
    const char text[] = "a,bc,,d";
    ASSERT_EQ(SplitString(text, 7, ',', &pieces, &lengths, &count), 1);
    ASSERT_EQ(count, 4);
    EXPECT_STREQ(pieces[0], "a");
    EXPECT_STREQ(pieces[1], "bc");
    EXPECT_STREQ(pieces[2], "");
    EXPECT_STREQ(pieces[3], "d");
    EXPECT_EQ(pieces[4], nullptr);
    EXPECT_EQ(lengths[1], 2);
    EXPECT_EQ(lengths[2], 0);
    FreeStringArray(pieces, count);
    free(lengths);

    // The length bounds the buffer: no terminator is needed.
    const char unterminated[] = {'x', ';', 'y', ';', 'z'};
    ASSERT_EQ(SplitString(unterminated, 4, ';', &pieces, &lengths, &count), 1);
    ASSERT_EQ(count, 3);
    EXPECT_STREQ(pieces[2], "");
    FreeStringArray(pieces, -1); // up to the null entry
    free(lengths);

    ASSERT_EQ(SplitString("", 0, ',', &pieces, &lengths, &count), 1);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(pieces[0], "");
    FreeStringArray(pieces, count);
    free(lengths);

    ASSERT_EQ(SplitString(",", 1, ',', &pieces, &lengths, &count), 1);
    EXPECT_EQ(count, 2);
    FreeStringArray(pieces, count);
    free(lengths);

    EXPECT_EQ(SplitString(nullptr, 1, ',', &pieces, &lengths, &count), 0);
    EXPECT_EQ(pieces, nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(SplitString("a", -1, ',', &pieces, &lengths, &count), 0);
    EXPECT_EQ(SplitString("a", 1, ',', nullptr, &lengths, &count), 0);
}

TEST(StringRoutinesTest, IsStringMatched)
{
    const char* list = "MYSQL,PGSQL,FIREBIRD,SQLITE";
    EXPECT_EQ(IsStringMatched("PGSQL", 5, list), 1);
    EXPECT_EQ(IsStringMatched("SQLITE", 6, list), 1);
    EXPECT_EQ(IsStringMatched("MYSQL", 5, list), 1);
    EXPECT_EQ(IsStringMatched("PGSQLX", 5, list), 1); // the length decides
    EXPECT_EQ(IsStringMatched("PGSQ", 4, list), 0);
    EXPECT_EQ(IsStringMatched("pgsql", 5, list), 0);
    EXPECT_EQ(IsStringMatched("", 0, "a,,b"), 1);
    EXPECT_EQ(IsStringMatched("", 0, "a,b"), 0);
    EXPECT_EQ(IsStringMatched(" a", 2, "a, a"), 1); // no trimming
    EXPECT_EQ(IsStringMatched(nullptr, 0, list), 0);
    EXPECT_EQ(IsStringMatched("a", 1, nullptr), 0);
}

TEST(StringRoutinesTest, FreeStringArray)
{
    char** array = static_cast<char**>(calloc(4, sizeof(char*)));
    array[0] = strdup("a");
    array[2] = strdup("c"); // a null entry in the middle is skipped
    FreeStringArray(array, 3);
    FreeStringArray(nullptr, 3);
}

} // namespace

extern "C" int BaseCApiSmoke(void);

TEST(CApiTest, TheHeadersWorkFromC) { EXPECT_EQ(BaseCApiSmoke(), 0); }
