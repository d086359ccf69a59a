#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/conversions.h"

namespace {

struct FreeDeleter {
    void operator()(void* p) const { free(p); }
};
template <typename T> using Owned = std::unique_ptr<T, FreeDeleter>;

// Parses text and returns {result, sub-identifiers}.
std::pair<int, std::vector<uint32_t>> Parse(const char* text, int isAddress)
{
    uint32_t* ids = reinterpret_cast<uint32_t*>(1);
    int n = ConvertToOidOrIpFromString(&ids, text, isAddress);
    std::vector<uint32_t> values;
    if (n > 0)
        values.assign(ids, ids + n);
    if (n < 0) {
        EXPECT_EQ(ids, nullptr) << text;
    }
    free(ids);
    return {n, values};
}

TEST(Hex, DigitValuesAndOtherCharacters)
{
    EXPECT_EQ(GetHexValue('0'), 0);
    EXPECT_EQ(GetHexValue('a'), 10);
    EXPECT_EQ(GetHexValue('F'), 15);
    EXPECT_EQ(GetHexValue('g'), 'g');
    EXPECT_EQ(ConvertToDecimalFromHexa('g'), 0);
    EXPECT_EQ(ConvertToDecimalFromHexa('B'), 11);
}

TEST(Hex, PacksPairsInPlaceAndRefusesTooManyDigits)
{
    char text[] = "0aFF10zz";
    ASSERT_EQ(ConvertToHexValue(text, 6), CONVERSION_OK);
    EXPECT_EQ(memcmp(text,
                     "\x0a\xff\x10"
                     "F10zz",
                     8),
              0);

    // An odd last digit has no partner: only whole pairs, nothing read beyond.
    char odd[3] = {'1', '2', '3'};
    ASSERT_EQ(ConvertToHexValue(odd, 3), CONVERSION_OK);
    EXPECT_EQ(static_cast<unsigned char>(odd[0]), 0x12);
    EXPECT_EQ(odd[1], '2');

    std::string digits(64, 'f');
    ASSERT_EQ(ConvertToHexValue(digits.data(), 64), CONVERSION_OK);
    EXPECT_EQ(digits.substr(0, 32), std::string(32, '\xff'));
    std::string longer(65, 'f');
    EXPECT_EQ(ConvertToHexValue(longer.data(), 65), CONVERSION_INVALID_PARAMETER);
    EXPECT_EQ(longer, std::string(65, 'f'));
}

TEST(Hex, SplitsBytesIntoNibbles)
{
    const unsigned char bytes[] = {0xA5, 0x0F};
    char out[4];
    ConvertToStringFromHex(out, bytes, 2);
    EXPECT_EQ(std::vector<char>(out, out + 4), (std::vector<char>{10, 5, 0, 15}));
}

TEST(Integers, SignedUnsignedAndBoolean)
{
    int32_t values[] = {0, -1, 2147483647, static_cast<int32_t>(0x80000000u)};
    const char* texts[] = {"0", "-1", "2147483647", "-2147483648"};
    for (int i = 0; i < 4; ++i)
        EXPECT_STREQ(Owned<char>(ConvertToStringFromInteger(&values[i])).get(), texts[i]);

    uint32_t big = 4294967295u;
    int32_t length = 0;
    EXPECT_STREQ(Owned<char>(ConvertToStringFromUnsignedInteger(&big, &length)).get(), "4294967295");
    EXPECT_EQ(length, 10);

    EXPECT_STREQ(Owned<char>(ToString(&values[1], 4, 0)).get(), "-1");
    EXPECT_STREQ(Owned<char>(ToString(&values[0], 4, 1)).get(), "TRUE");
    EXPECT_STREQ(Owned<char>(ToString(nullptr, 0, 1)).get(), "FALSE");
    EXPECT_EQ(ToString(&values[0], 4, 2), nullptr);
}

TEST(Counter64, ReadsBigEndianBytesUpToNine)
{
    const unsigned char nine[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x01};
    Counter64 c{7, 7};
    ASSERT_EQ(ConvertToCounter64(&c, nine, 9), CONVERSION_OK);
    EXPECT_EQ(c.high, 0xFFFFFFFFu);
    EXPECT_EQ(c.low, 1u);

    const unsigned char three[] = {0x01, 0x02, 0x03};
    ASSERT_EQ(ConvertToCounter64(&c, three, 3), CONVERSION_OK);
    EXPECT_EQ(c.high, 0u);
    EXPECT_EQ(c.low, 0x010203u);

    // A ninth byte that is not the sign byte, or ten bytes, do not fit.
    const unsigned char bad[] = {0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ConvertToCounter64(&c, bad, 9), CONVERSION_INVALID_PARAMETER);
    EXPECT_EQ(ConvertToCounter64(&c, nine, 10), CONVERSION_INVALID_PARAMETER);
    EXPECT_EQ(c.low, 0x010203u);
}

TEST(Counter64, RoundTripsAndPrintsUnsigned)
{
    Counter64 c = ConvertToCounter64FromULongLong(0x123456789ABCDEF0ull);
    EXPECT_EQ(c.high, 0x12345678u);
    EXPECT_EQ(ConvertToULongLongFromCounter64(c.high, c.low), 0x123456789ABCDEF0ull);
    EXPECT_STREQ(Owned<char>(ConvertToStringFromCounter64(Counter64{0, 42})).get(), "42");
    // The largest counter fills the 21-byte text and is not negative.
    EXPECT_STREQ(Owned<char>(ConvertToStringFromCounter64(Counter64{0xFFFFFFFF, 0xFFFFFFFF})).get(),
                 "18446744073709551615");
}

TEST(OidText, ParsesOidsAndAddresses)
{
    EXPECT_EQ(Parse(".1.3.6.1", 0), std::make_pair(4, std::vector<uint32_t>{1, 3, 6, 1}));
    EXPECT_EQ(Parse(".4294967295.0.+7.-0", 0).second, (std::vector<uint32_t>{4294967295u, 0, 7, 0}));
    EXPECT_EQ(Parse("10.0.0.1", 1), std::make_pair(4, std::vector<uint32_t>{10, 0, 0, 1}));
    // No leading dot: the first component is skipped and the next is empty.
    EXPECT_EQ(Parse("1.3.6.1", 0).first, -1);
    // A first component of two characters leaves one value more than dots.
    EXPECT_EQ(Parse("13.6.1", 0).first, 0);
    for (const char* bad : {".1.3.x", ".1.3.+", ".1.3.", ".1..3", ".1.3.1x", ".1.-2", ".4294967296", "", "123"})
        EXPECT_EQ(Parse(bad, 0).first, -1) << bad;
    for (const char* bad : {"10..0.1", ".10.0.1", "10.0.0.", "a.b"})
        EXPECT_EQ(Parse(bad, 1).first, -1) << bad;
    EXPECT_EQ(Parse(nullptr, 0).first, -1);
}

TEST(OidText, ComponentsLongerThanNineteenCharactersAreRefused)
{
    EXPECT_EQ(Parse(".0000000000000000001", 0).second, (std::vector<uint32_t>{1})); // 19 characters
    EXPECT_EQ(Parse(".00000000000000000001", 0).first, -1);                         // 20
    std::string huge = "." + std::string(100000, '9');
    EXPECT_EQ(Parse(huge.c_str(), 0).first, -1);
    std::string manyDots(70000, '.');
    EXPECT_EQ(Parse(manyDots.c_str(), 0).first, -1);
}

TEST(OidText, Validity)
{
    EXPECT_EQ(GetOidLength(".1.3.6", 4), 2);
    EXPECT_EQ(GetOidLength(".1\0.3.", 6), 1); // stops at the terminator
    EXPECT_TRUE(IsValidOid(".1.3", 4));
    EXPECT_FALSE(IsValidOid(".1", 2));
    EXPECT_FALSE(IsValidOid("1.3.6", 5));

    for (const char* good : {"192.168.0.1", "00.0.0.0", "1.2.3.", "255.255.255.255"})
        EXPECT_TRUE(IsValidIPAddress(good, static_cast<int>(strlen(good)))) << good;
    for (const char* bad : {"256.1.1.1", ".1.2.3", "1..2.3", "1.2.3", "1.2.3.4.5", "1.2.3.x", "1.2.-1.4", "1.2.+1.4",
                            "1.2.3.00000000000000000001", ""})
        EXPECT_FALSE(IsValidIPAddress(bad, static_cast<int>(strlen(bad)))) << bad;
    EXPECT_FALSE(IsValidIPAddress(nullptr, 5));
}

TEST(OidText, WritesDottedForms)
{
    const uint32_t ids[] = {1, 3, 4294967295u, 0};
    int32_t length = 16;
    Owned<char> text(ConvertToStringFromOID(ids, &length));
    EXPECT_STREQ(text.get(), ".1.3.4294967295.0");
    EXPECT_EQ(length, 17);

    char out[OID_TEXT_SIZE(4)];
    EXPECT_EQ(ConvertToStringFromOid(ids, 4, out), 1);
    EXPECT_STREQ(out, ".1.3.4294967295.0");

    const uint32_t address[] = {9, 192, 168, 0, 1, 1000};
    char ip[IP_ADDRESS_TEXT_SIZE(4)];
    EXPECT_EQ(ConvertToIpAddressFromOid(ip, address, 1, 5), ip);
    EXPECT_STREQ(ip, "192.168.0.1");
    EXPECT_EQ(ConvertToIpAddressFromOid(ip, address, 3, 3), ip);
    EXPECT_STREQ(ip, "");
    // A value that needs more than three digits is refused, not written.
    char small[IP_ADDRESS_TEXT_SIZE(2)];
    EXPECT_EQ(ConvertToIpAddressFromOid(small, address, 4, 6), nullptr);
    EXPECT_STREQ(small, "");
}

TEST(OidText, CompareCopyAndSearch)
{
    const uint32_t a[] = {1, 3, 6}, b[] = {1, 3, 6, 1}, c[] = {1, 4}, d[] = {1, 0x80000000u};
    EXPECT_EQ(CompareOid(a, 3, b, 4), -1);
    EXPECT_EQ(CompareOid(b, 4, a, 3), 1);
    EXPECT_EQ(CompareOid(c, 2, a, 3), 1);
    EXPECT_EQ(CompareOid(a, 3, a, 3), 0);
    EXPECT_EQ(CompareOid(d, 2, c, 2), 1); // unsigned comparison

    uint32_t dest[6] = {};
    CopyOid(dest, b, 4);
    SetNOid(dest, c, 4, 2);
    EXPECT_EQ(std::vector<uint32_t>(dest, dest + 6), (std::vector<uint32_t>{1, 3, 6, 1, 1, 4}));
    EXPECT_EQ(GetNextSubId(3, dest, 6), 6u);
    EXPECT_EQ(GetNextSubId(6, dest, 6), 0u);

    uint32_t* array = nullptr;
    int count = 0;
    ASSERT_EQ(ReallocateAndSetOID(&array, &count, b, 4), CONVERSION_SUCCESS);
    ASSERT_EQ(ReallocateAndSetOID(&array, &count, c, 2), CONVERSION_SUCCESS);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(array[1], 4u);
    EXPECT_EQ(array[2], 0u);
    free(array);

    char* text = nullptr;
    ASSERT_EQ(ReallocateAndSetString(&text, "abcdef", 3), CONVERSION_SUCCESS);
    EXPECT_STREQ(text, "abc");
    free(text);
}

TEST(OidText, CharacterArrays)
{
    const uint32_t ids[] = {65, 255, 256, 66};
    char out[4];
    ConvertToCharArray(out, ids, 1, 3);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 1);
    EXPECT_EQ(out[2], 'B');
    EXPECT_EQ(out[3], 0);

    uint32_t dest[3] = {9, 9, 9};
    CopyStringToOid(dest, "A\x80");
    EXPECT_EQ(dest[0], 65u);
    EXPECT_EQ(dest[1], 0xFFFFFF80u);
    EXPECT_EQ(dest[2], 9u);
    const unsigned char bytes[] = {0x80};
    CopyStringToOID(dest, bytes, 1);
    EXPECT_EQ(dest[0], 0x80u);
}

TEST(DateAndTime, OctetsToTextBothForms)
{
    const unsigned char octets[] = {0x07, 0xE7, 0x02, 0x0F, 0x02, 0x07, 0x0B, 0x05, '+', 0x05, 0x1E};
    int32_t count = 8;
    EXPECT_STREQ(Owned<char>(ConvertToStringFromDateTime(octets, &count)).get(), "2023-2-15,2:7:11.5");
    EXPECT_EQ(count, 18);
    count = 11;
    EXPECT_STREQ(Owned<char>(ConvertToStringFromDateTime(octets, &count)).get(), "2023-2-15,2:7:11.5,+5:30");
    EXPECT_EQ(count, 24);
    // Counts that would read past the value are refused.
    for (int32_t bad : {0, 7, 9, 10}) {
        count = bad;
        EXPECT_EQ(ConvertToStringFromDateTime(octets, &count), nullptr);
        EXPECT_EQ(count, bad);
    }
    const unsigned char widest[] = {0xFF, 0xFF, 255, 255, 255, 255, 255, 255, '-', 255, 255};
    count = 11;
    EXPECT_STREQ(Owned<char>(ConvertToStringFromDateTime(widest, &count)).get(),
                 "65535-255-255,255:255:255.255,-255:255");
}

TEST(DateAndTime, TextToOctets)
{
    int32_t count = 0;
    Owned<unsigned char> octets(ConvertToDateTimeFromString("2023-2-15,2:7:11.5,+5:30", &count));
    ASSERT_NE(octets, nullptr);
    ASSERT_EQ(count, 11);
    EXPECT_EQ(memcmp(octets.get(), "\x07\xE7\x02\x0F\x02\x07\x0B\x05\x2B\x05\x1E", 11), 0);

    octets.reset(ConvertToDateTimeFromString("2023-2-15,2:7:11.5", &count));
    ASSERT_NE(octets, nullptr);
    EXPECT_EQ(count, 8);
    EXPECT_EQ(memcmp(octets.get(), "\x07\xE7\x02\x0F\x02\x07\x0B\x05", 8), 0);

    count = 3;
    for (const char* bad : {"2023-2-15,2:7", "2023-2-15,2:7:11.5,+5", "", "x", "2023-2-15,2:7:99999999999.5"})
        EXPECT_EQ(ConvertToDateTimeFromString(bad, &count), nullptr) << bad;
    EXPECT_EQ(count, 3);
}

TEST(HttpDate, ThreeFormsGiveTheSameTime)
{
    for (const char* text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                             "Sun Nov  6 08:49:37 1994", "Sun, 06-Nov-1994 08:49:37 GMT"}) {
        Owned<struct tm> t(ParseDateTime(text));
        ASSERT_NE(t, nullptr) << text;
        EXPECT_EQ(t->tm_year, 94) << text;
        EXPECT_EQ(t->tm_mon, 10);
        EXPECT_EQ(t->tm_mday, 6);
        EXPECT_EQ(t->tm_hour, 8);
        EXPECT_EQ(t->tm_min, 49);
        EXPECT_EQ(t->tm_sec, 37);
        EXPECT_EQ(t->tm_wday, 0);
    }
    for (const char* bad :
         {"Sun, 06 Xyz 1994 08:49:37 GMT", "Sun Nov 6 08:49:37", "",
          "Sundayyyyyyyyyyyyyyyyyyyy, 06 Nov 1994 08:49:37 GMT", "Sun, 06 Nov 1994 08:49:37 GMTTTTTTTTTTTTTTTTTTTTTT"})
        EXPECT_EQ(ParseDateTime(bad), nullptr) << bad;
}

TEST(HttpDate, MonthsAndOrdering)
{
    EXPECT_EQ(ParseMonth("jan"), 0);
    EXPECT_EQ(ParseMonth("DEC"), 11);
    EXPECT_EQ(ParseMonth("December"), -1);
    EXPECT_EQ(ParseMonth("Ja"), -1);

    struct tm a = {}, b = {};
    a.tm_year = b.tm_year = 94;
    a.tm_sec = 1;
    EXPECT_EQ(CompareTime(&a, &b), 1);
    EXPECT_EQ(CompareTime(&b, &a), 0);
    EXPECT_EQ(CompareTime(&a, &a), 1);
    b.tm_mon = 1;
    EXPECT_EQ(CompareTime(&a, &b), 0);
    EXPECT_EQ(CompareTime(nullptr, &b), 0);
}

TEST(HttpDate, CurrentTimeText)
{
    Owned<char> now(GetCurrentDateTimeString());
    ASSERT_NE(now, nullptr);
    ASSERT_EQ(strlen(now.get()), 19u);
    EXPECT_EQ(now.get()[4], '-');
    EXPECT_EQ(now.get()[10], ' ');
}

} // namespace
