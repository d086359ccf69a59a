#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/file_util.h"
#include "runtime/key_scrambler.h"
#include "runtime/text.h"
#include "temp_dir.h"

namespace {

// The text a routine handed back, freed; "<null>" for none.
std::string Take(char* text)
{
    if (!text)
        return "<null>";
    std::string copy = text;
    free(text);
    return copy;
}

TEST(Search, CountsAndFindsWithoutOverlap)
{
    EXPECT_EQ(CountSubStrings("aab", "ab"), 1);
    EXPECT_EQ(CountSubStrings("aaa", "aa"), 1);
    EXPECT_EQ(CountSubStrings("abc", ""), 0);
    EXPECT_EQ(CountSubStrings(nullptr, "a"), -1);
    EXPECT_EQ(FindFirstSubString("x.l.log", ".log"), 3);
    EXPECT_EQ(FindFirstSubString("abc", "zz"), 0);
    EXPECT_EQ(FindLastSubString("a.b.c", "."), 3);
    EXPECT_EQ(FindLastSubString("aaa", "aa"), 0);
    EXPECT_EQ(FindLastSubString("abc", "zz"), -1);
}

TEST(Search, TextBeforeAndAfter)
{
    EXPECT_EQ(Take(GetTextAfter("a=b", "=")), "b");
    EXPECT_EQ(Take(GetTextBefore("abc", "=")), "");
    EXPECT_EQ(Take(GetTextBefore("k=v=w", "=")), "k");
    // Without a match the position reads 0 and the pattern's length is skipped.
    EXPECT_EQ(Take(GetTextAfter("abcdef", "==")), "cdef");
    // A text shorter than the pattern does not read past its end.
    EXPECT_EQ(Take(GetTextAfter("ab", "=====")), "");
    EXPECT_EQ(Take(GetTextAfterLast("a/b/c", "/")), "c");
    EXPECT_EQ(Take(GetTextAfterLast("a/b/", "/")), "");
    const char* none = "abc";
    EXPECT_EQ(GetTextAfterLast(none, "/"), none);
    EXPECT_EQ(GetTextBefore(nullptr, "="), nullptr);
}

TEST(Split, PiecesBetweenOccurrences)
{
    char** pieces = SplitAtSubString("a::b::c", "::");
    ASSERT_NE(pieces, nullptr);
    std::vector<std::string> got;
    for (char** p = pieces; *p; ++p) {
        got.push_back(*p);
        free(*p);
    }
    free(pieces);
    EXPECT_EQ(got, (std::vector<std::string>{"a", "b", "c"}));

    pieces = SplitAtSubString("::x::", "::");
    ASSERT_NE(pieces, nullptr);
    EXPECT_STREQ(pieces[0], "");
    EXPECT_STREQ(pieces[1], "x");
    EXPECT_STREQ(pieces[2], "");
    EXPECT_EQ(pieces[3], nullptr);
    for (int i = 0; i < 3; ++i)
        free(pieces[i]);
    free(pieces);

    const char* text = "abc";
    pieces = SplitAtSubString(text, "::");
    ASSERT_NE(pieces, nullptr);
    EXPECT_EQ(pieces[0], text);
    EXPECT_EQ(pieces[1], nullptr);
    free(pieces);
}

TEST(Remove, OccurrencesAndCharacterClasses)
{
    EXPECT_EQ(Take(RemoveFirstSubString("abc", "x")), "<null>");
    EXPECT_EQ(Take(RemoveFirstSubString("a-b-c", "-")), "ab-c");
    EXPECT_EQ(Take(RemoveLastSubString("a-b-c", "-")), "a-bc");
    EXPECT_EQ(Take(RemoveLastSubString("abc", "-")), "<null>");
    EXPECT_EQ(Take(RemoveAllSubStrings("a-b-c", "-")), "abc");
    EXPECT_EQ(Take(RemoveAllSubStrings("aaaa", "aa")), "");
    EXPECT_EQ(Take(KeepLetters("a1-B\xe9z")), "aBz");
    EXPECT_EQ(Take(KeepLettersAndDigits("a1-B_9")), "a1B9");
    EXPECT_EQ(Take(RemoveLettersAndDigits("a1-B_9")), "-_");
    EXPECT_EQ(Take(ToLowerCase("AbC-1")), "abc-1");
    EXPECT_EQ(Take(ToUpperCase("AbC-1\xe9")), "ABC-1\xe9");
}

TEST(Trim, LeadingTrailingAndBoth)
{
    EXPECT_EQ(Take(TrimLeadingChar("//ab/", '/')), "ab/");
    EXPECT_EQ(Take(TrimLeadingChar("", '/')), "<null>");
    EXPECT_EQ(Take(TrimTrailingChar("x", '/')), "<null>");
    EXPECT_EQ(Take(TrimTrailingChar("", '/')), "<null>");
    EXPECT_EQ(Take(TrimTrailingChar("ab//", '/')), "ab");
    EXPECT_EQ(Take(TrimTrailingChar("//", '/')), "");
    EXPECT_EQ(Take(TrimChar("  a b  ", ' ')), "a b");
    EXPECT_EQ(Take(TrimChar("/x", '/')), "<null>");
}

TEST(Tokenize, WalksTokensAndModifiesTheText)
{
    char text[] = ",,a,bb;;c,";
    char* cursor = nullptr;
    std::vector<std::string> tokens;
    for (char* t = TokenizeString(text, ",;", &cursor); t; t = TokenizeString(nullptr, ",;", &cursor))
        tokens.push_back(t);
    EXPECT_EQ(tokens, (std::vector<std::string>{"a", "bb", "c"}));
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(text[3], '\0');
    EXPECT_EQ(TokenizeString(nullptr, ",", &cursor), nullptr);

    char single[] = "word";
    EXPECT_STREQ(TokenizeString(single, " ", &cursor), "word");
    EXPECT_EQ(cursor, nullptr);
}

TEST(Scrambler, MasksAndRoundTrip)
{
    struct Case {
        int key;
        unsigned char mask;
    } cases[] = {{250, 4}, {246, 255}, {0, 9}, {-9, 0}, {2147483647, static_cast<unsigned char>(-2147483640 & 0xFF)}};
    for (const Case& c : cases) {
        unsigned char buffer[] = {0x00, 0xFF, 0x5A};
        EXPECT_EQ(EncryptDecryptKey(buffer, 3, c.key), 3);
        EXPECT_EQ(buffer[0], c.mask) << c.key;
        EXPECT_EQ(buffer[1], 0xFF ^ c.mask) << c.key;
        EncryptDecryptKey(buffer, 3, c.key);
        EXPECT_EQ(buffer[2], 0x5A);
    }
    EXPECT_EQ(EncryptDecryptKey(nullptr, 3, 1), 0);
}

TEST(Directory, OnlyExistingDirectories)
{
    TempDir dir;
    WriteWholeFile(dir.file("plain"), "x");
    EXPECT_TRUE(IsDirectory(dir.path().c_str()));
    EXPECT_FALSE(IsDirectory(dir.file("plain").c_str()));
    EXPECT_FALSE(IsDirectory(dir.file("missing").c_str()));
    EXPECT_FALSE(IsDirectory(nullptr));
}

} // namespace
