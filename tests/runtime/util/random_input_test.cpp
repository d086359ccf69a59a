// Random and mutated input for the parsers, run in the normal suite (and
// under the sanitizers in their build): no crash, no read past the input,
// and the results agree with each other. Every input lives in a heap block
// of exactly its size, so that a read past it is caught.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <random>
#include <string>

#include "runtime/conversions.h"
#include "runtime/text.h"

namespace {

class Input {
public:
    explicit Input(const std::string& text) : data_(static_cast<char*>(malloc(text.size() + 1)))
    {
        memcpy(data_, text.c_str(), text.size() + 1);
    }
    ~Input() { free(data_); }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    char* get() const { return data_; }
    int size() const { return static_cast<int>(strlen(data_)); }

private:
    char* data_;
};

class RandomText {
public:
    explicit RandomText(unsigned seed) : engine_(seed) { }

    std::string Next()
    {
        static const char* const kPieces[] = {".",
                                              "..",
                                              "0",
                                              "1",
                                              "9",
                                              "255",
                                              "256",
                                              "4294967295",
                                              "4294967296",
                                              "-",
                                              "+",
                                              ",",
                                              ":",
                                              " ",
                                              "  ",
                                              "Nov",
                                              "nOV",
                                              "Sun,",
                                              "GMT",
                                              "1994",
                                              "94",
                                              "x",
                                              "99999999999999999999",
                                              "\xff",
                                              "\t"};
        std::string text;
        int parts = static_cast<int>(engine_() % 24);
        for (int i = 0; i < parts; ++i) {
            if (engine_() % 5 == 0)
                text += static_cast<char>(1 + engine_() % 255);
            else
                text += kPieces[engine_() % (sizeof kPieces / sizeof kPieces[0])];
        }
        return text;
    }

    unsigned Below(unsigned n) { return static_cast<unsigned>(engine_() % n); }

private:
    std::mt19937 engine_;
};

void CheckOidParsing(const Input& in)
{
    for (int isAddress = 0; isAddress < 2; ++isAddress) {
        uint32_t* ids = nullptr;
        int n = ConvertToOidOrIpFromString(&ids, in.get(), isAddress);
        ASSERT_GE(n, -1);
        if (n < 0) {
            ASSERT_EQ(ids, nullptr);
            continue;
        }
        if (n > 0 && !isAddress) {
            // The text form of the parsed OID parses to the same values.
            char* text = static_cast<char*>(malloc(OID_TEXT_SIZE(n)));
            ConvertToStringFromOid(ids, n, text);
            uint32_t* again = nullptr;
            ASSERT_EQ(ConvertToOidOrIpFromString(&again, text, 0), n) << text;
            EXPECT_EQ(CompareOid(ids, n, again, n), 0);
            free(again);
            free(text);
        }
        free(ids);
    }
    if (IsValidIPAddress(in.get(), in.size())) {
        uint32_t* ids = nullptr;
        int n = ConvertToOidOrIpFromString(&ids, in.get(), 1);
        // "1.2.3." passes the test but is no four-number text.
        if (in.get()[in.size() - 1] != '.') {
            ASSERT_EQ(n, 4) << in.get();
            for (int i = 0; i < 4; ++i)
                EXPECT_LE(ids[i], 255u);
            char text[IP_ADDRESS_TEXT_SIZE(4)];
            EXPECT_NE(ConvertToIpAddressFromOid(text, ids, 0, 4), nullptr);
        }
        free(ids);
    }
    GetOidLength(in.get(), in.size() + 5); // a length past the text stops at its end
    IsValidOid(in.get(), in.size() + 5);
}

void CheckDates(const Input& in)
{
    int32_t count = -1;
    unsigned char* octets = ConvertToDateTimeFromString(in.get(), &count);
    if (octets) {
        ASSERT_TRUE(count == 8 || count == 11);
        int32_t length = count;
        char* text = ConvertToStringFromDateTime(octets, &length);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(static_cast<size_t>(length), strlen(text));
        if (count == 8 || octets[8] == '+' || octets[8] == '-') {
            int32_t again = 0;
            unsigned char* reread = ConvertToDateTimeFromString(text, &again);
            ASSERT_NE(reread, nullptr) << text;
            ASSERT_EQ(again, count);
            EXPECT_EQ(memcmp(reread, octets, static_cast<size_t>(count)), 0) << text;
            free(reread);
        }
        free(text);
        free(octets);
    } else {
        EXPECT_EQ(count, -1);
    }
    if (struct tm* t = ParseDateTime(in.get())) {
        EXPECT_GE(t->tm_mon, 0);
        EXPECT_LE(t->tm_mon, 11);
        free(t);
    }
}

void CheckText(const Input& in, const Input& pattern)
{
    int count = CountSubStrings(in.get(), pattern.get());
    ASSERT_GE(count, 0);
    char** pieces = SplitAtSubString(in.get(), pattern.get());
    ASSERT_NE(pieces, nullptr);
    std::string joined;
    int n = 0;
    for (; pieces[n]; ++n) {
        if (n)
            joined += pattern.get();
        joined += pieces[n];
    }
    EXPECT_EQ(n, count + 1);
    EXPECT_EQ(joined, in.get());
    for (int i = 0; count > 0 && i < n; ++i)
        free(pieces[i]);
    free(pieces);

    char* removed = RemoveAllSubStrings(in.get(), pattern.get());
    EXPECT_EQ(strlen(removed), strlen(in.get()) - static_cast<size_t>(count) * strlen(pattern.get()));
    free(removed);
    free(GetTextAfter(in.get(), pattern.get()));
    free(GetTextBefore(in.get(), pattern.get()));
    char* last = GetTextAfterLast(in.get(), pattern.get());
    if (last != in.get())
        free(last);
    free(RemoveFirstSubString(in.get(), pattern.get()));
    free(RemoveLastSubString(in.get(), pattern.get()));
    free(TrimChar(in.get(), '.'));
    char* cursor = nullptr;
    for (char* t = TokenizeString(in.get(), pattern.get(), &cursor); t;
         t = TokenizeString(nullptr, pattern.get(), &cursor))
        EXPECT_NE(*t, '\0');
}

void CheckHex(RandomText& random)
{
    int length = static_cast<int>(random.Below(70));
    char* digits = static_cast<char*>(malloc(static_cast<size_t>(length) + 1));
    for (int i = 0; i < length; ++i)
        digits[i] = "0123456789abcdefABCDEFxz"[random.Below(24)];
    int result = ConvertToHexValue(digits, length);
    EXPECT_EQ(result, length <= CONVERSION_MAX_HEX_DIGITS ? CONVERSION_OK : CONVERSION_INVALID_PARAMETER);
    free(digits);
}

TEST(RandomInput, ParsersHoldTheirBounds)
{
    RandomText random(20240305u);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int rounds = 0;
    for (; rounds < 200000 && std::chrono::steady_clock::now() < deadline; ++rounds) {
        Input in(random.Next());
        CheckOidParsing(in);
        CheckDates(in);
        std::string patternText = random.Next().substr(0, 1 + random.Below(3));
        Input pattern(patternText);
        Input copy(in.get());
        CheckText(copy, pattern);
        CheckHex(random);
        if (HasFatalFailure())
            return;
    }
    EXPECT_GT(rounds, 1000);
}

} // namespace
