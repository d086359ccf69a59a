#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "fault_injection.h"
#include "log_capture.h"
#include "velmora/column_types.h"

namespace {

// A converter's result, freed at the end of the scope.
struct Value {
    void* data = nullptr;
    int32_t length = 0;
    ~Value() { free(data); }
};

Value Convert(const char* text, uint8_t type, int32_t length = 0)
{
    Value value;
    value.length = length;
    value.data = ConvertStringToColumnValue(text, &value.length, type);
    return value;
}

Value Allocate(const char* text, uint8_t type)
{
    Value value;
    EXPECT_EQ(AllocateAndCopyColumnValue(&value.data, &value.length, type, text), VELMORA_SUCCESS) << text;
    return value;
}

std::string Text(const void* data, int32_t length, uint8_t type)
{
    char* text = ColumnValueToString(data, length, type);
    std::string result = text ? text : "(null)";
    free(text);
    return result;
}

std::string Text(const Value& value, uint8_t type) { return Text(value.data, value.length, type); }

TEST(NumberParsers, AcceptOnlyTheWholeNumber)
{
    EXPECT_EQ(ParseStrictInt32("12a"), 0);
    EXPECT_EQ(ParseStrictInt32("-7"), -7);
    EXPECT_EQ(ParseStrictInt32("+42"), 42);
    EXPECT_EQ(ParseStrictInt32(" 1"), 0);
    EXPECT_EQ(ParseStrictInt32(""), 0);
    EXPECT_EQ(ParseStrictInt32("-"), 0);
    EXPECT_EQ(ParseStrictInt32(nullptr), 0);
    EXPECT_EQ(ParseStrictInt32("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseStrictInt32("-2147483649"), 0);
    // Unsigned 32-bit numbers keep their bits; larger ones are not numbers.
    EXPECT_EQ(static_cast<uint32_t>(ParseStrictInt32("4294967295")), 4294967295u);
    EXPECT_EQ(ParseStrictInt32("4294967296"), 0);
    EXPECT_EQ(ParseStrictInt32("99999999999999999999999"), 0);

    EXPECT_EQ(ParseStrictInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(static_cast<uint64_t>(ParseStrictInt64("18446744073709551615")), UINT64_MAX);
    EXPECT_EQ(ParseStrictInt64("18446744073709551616"), 0);
    EXPECT_EQ(ParseStrictInt64("5x"), 0);

    EXPECT_DOUBLE_EQ(ParseStrictDouble("+3.25"), 3.25);
    EXPECT_DOUBLE_EQ(ParseStrictDouble("-0.5"), -0.5);
    EXPECT_DOUBLE_EQ(ParseStrictDouble("7"), 7);
    EXPECT_DOUBLE_EQ(ParseStrictDouble(".5"), 0.5);
    EXPECT_DOUBLE_EQ(ParseStrictDouble("1e5"), 0);
    EXPECT_DOUBLE_EQ(ParseStrictDouble("3.25 "), 0);
    EXPECT_DOUBLE_EQ(ParseStrictDouble("."), 0);
    EXPECT_DOUBLE_EQ(ParseStrictDouble("1.2.3"), 0);

    EXPECT_EQ(ParseSizeInteger("300"), 300);
    EXPECT_EQ(ParseSizeInteger("-4"), -4);
    EXPECT_EQ(ParseSizeInteger("abc"), -1);
    EXPECT_EQ(ParseSizeInteger("12 "), -1);
    EXPECT_EQ(ParseSizeInteger(""), -1);
    EXPECT_EQ(ParseSizeInteger("2147483648"), -1);
    EXPECT_EQ(ParseSizeInteger(nullptr), -1);
}

TEST(ColumnTypeNames, AliasesAndUnknownNames)
{
    EXPECT_EQ(GetColumnTypeFromName("TIMESTAMP"), BRI_SQL_DATETIME);
    EXPECT_EQ(GetColumnTypeFromName("datetime"), BRI_SQL_DATETIME);
    EXPECT_EQ(GetColumnTypeFromName("NCHAR"), BRI_SQL_VARCHAR);
    EXPECT_EQ(GetColumnTypeFromName("char"), BRI_SQL_VARCHAR);
    EXPECT_EQ(GetColumnTypeFromName("BRI_SQL_CHAR"), BRI_SQL_CHAR);
    EXPECT_EQ(GetColumnTypeFromName("Integer"), BRI_SQL_INT);
    EXPECT_EQ(GetColumnTypeFromName("BIGINT"), BRI_SQL_BIGINT);
    EXPECT_EQ(GetColumnTypeFromName("bri_sql_unsigned_long_int"), BRI_SQL_UNSIGNED_LONG_INT);
    EXPECT_EQ(GetColumnTypeFromName("VARCHAR"), BRI_SQL_NOT_SUPPORTED_TYPE);
    EXPECT_EQ(GetColumnTypeFromName("INT "), BRI_SQL_NOT_SUPPORTED_TYPE);

    LogCapture log;
    EXPECT_EQ(GetColumnTypeFromName(nullptr), BRI_SQL_NOT_SUPPORTED_TYPE);
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0], "[ERROR] Column data type not supported - Error while creating column definition.");
}

TEST(ColumnTypeFacts, AgreeWithTheParserAndTheConverters)
{
    // Per code: a sample text, the width of the value made from it (0: the
    // text's own length) and whether statements quote it.
    struct Row {
        const char* sample;
        int32_t width;
        bool quoted;
    };
    const Row kRows[] = {
        {"x", 0, false},
        {"-1", 1, false},
        {"1", 1, false},
        {"-1", 2, false},
        {"1", 2, false},
        {"-1", 4, false},
        {"1", 4, false},
        {"-1", 8, false},
        {"1", 8, false},
        {"1.5", 4, false},
        {"1.5", 8, false},
        {"1.5", 4, false},
        {"1.50", 0, false},
        {"1.5", 0, false},
        {"abc", 0, true},
        {"abc", 0, true},
        {"2024-01-02", 4, true},
        {"10:11:12", 3, true},
        {"2024-01-02 10:11:12", 11, true},
        {"true", 1, false},
        {"ab", 0, true},
        {"ab", 0, false},
        {"abc", 0, true},
    };
    static_assert(sizeof kRows / sizeof *kRows == BRI_SQL_MAX_TYPE + 1);
    for (int code = 0; code <= BRI_SQL_MAX_TYPE; code++) {
        auto type = static_cast<uint8_t>(code);
        const Row& row = kRows[code];
        const char* name = GetColumnTypeName(type);
        ASSERT_NE(name, nullptr) << code;
        EXPECT_EQ(GetColumnTypeFromName(name), type) << name;
        EXPECT_EQ(GetColumnTypeWidth(type), row.width) << name;
        EXPECT_EQ(IsColumnTypeQuotedInSql(type), row.quoted ? 1 : 0) << name;
        auto text_length = static_cast<int32_t>(strlen(row.sample));
        Value value = Convert(row.sample, type, text_length);
        ASSERT_NE(value.data, nullptr) << name;
        EXPECT_EQ(value.length, row.width ? row.width : text_length) << name;
    }
    EXPECT_STREQ(GetColumnTypeName(BRI_SQL_VARCHAR), "CHAR");
    EXPECT_STREQ(GetColumnTypeName(BRI_SQL_BIGINT), "BIGINT");
    for (uint8_t unknown : {23, 255}) {
        EXPECT_EQ(GetColumnTypeName(unknown), nullptr);
        EXPECT_EQ(GetColumnTypeWidth(unknown), 0);
        EXPECT_EQ(IsColumnTypeQuotedInSql(unknown), 0);
    }
}

TEST(ColumnValues, IntegerWidthsAreWidenedFromTheirLength)
{
    // The width table keeps the low-order bytes; readers widen from the
    // length, so a 1-byte value is never read as 4 bytes (ASan would see it).
    Value tiny = Convert("-5", BRI_SQL_TINYINT);
    EXPECT_EQ(tiny.length, 1);
    EXPECT_EQ(Text(tiny, BRI_SQL_TINYINT), "-5");
    Value wrapped = Convert("300", BRI_SQL_TINYINT);
    EXPECT_EQ(Text(wrapped, BRI_SQL_TINYINT), "44");
    Value utiny = Convert("255", BRI_SQL_UNSIGNED_TINYINT);
    EXPECT_EQ(Text(utiny, BRI_SQL_UNSIGNED_TINYINT), "255");
    Value small = Convert("-2", BRI_SQL_SMALLINT);
    EXPECT_EQ(small.length, 2);
    EXPECT_EQ(Text(small, BRI_SQL_SMALLINT), "-2");
    Value usmall = Convert("65535", BRI_SQL_UNSIGNED_SMALLINT);
    EXPECT_EQ(Text(usmall, BRI_SQL_UNSIGNED_SMALLINT), "65535");
    Value uint = Convert("4294967295", BRI_SQL_UNSIGNED_INT);
    EXPECT_EQ(Text(uint, BRI_SQL_UNSIGNED_INT), "4294967295");
    Value big = Convert("-9000000000", BRI_SQL_BIGINT);
    EXPECT_EQ(big.length, 8);
    EXPECT_EQ(Text(big, BRI_SQL_BIGINT), "-9000000000");
    Value ubig = Convert("18446744073709551615", BRI_SQL_UNSIGNED_LONG_INT);
    EXPECT_EQ(Text(ubig, BRI_SQL_UNSIGNED_LONG_INT), "18446744073709551615");
    EXPECT_EQ(Text(Convert("12a", BRI_SQL_INT), BRI_SQL_INT), "0");

    // AllocateAndCopyColumnValue makes 4-byte values for the same types;
    // both forms compare equal.
    Value four = Allocate("-5", BRI_SQL_TINYINT);
    EXPECT_EQ(four.length, 4);
    EXPECT_EQ(Text(four, BRI_SQL_TINYINT), "-5");
    EXPECT_TRUE(CompareColumnValue(tiny.data, tiny.length, four.data, four.length, BRI_OP_EQUAL, BRI_SQL_TINYINT));
    EXPECT_TRUE(CompareColumnValue(four.data, four.length, small.data, small.length, BRI_OP_LESS, BRI_SQL_SMALLINT));

    // Lengths that are no integer width read their leading bytes only.
    unsigned char three[4] = {0x01, 0x01, 0x7f, 0};
    EXPECT_EQ(ColumnValueToInt64(three, 3, BRI_SQL_INT), 0x0101);
    EXPECT_EQ(ColumnValueToInt64(three, 0, BRI_SQL_INT), 0);
}

TEST(ColumnValues, FloatsTextAndBooleans)
{
    Value real = Convert("+3.25", BRI_SQL_FLOAT);
    EXPECT_EQ(real.length, 4);
    EXPECT_EQ(Text(real, BRI_SQL_FLOAT), "3.250000");
    Value dbl = Convert("-0.125", BRI_SQL_DOUBLE);
    EXPECT_EQ(dbl.length, 8);
    EXPECT_EQ(Text(dbl, BRI_SQL_DOUBLE), "-0.125000");
    // "%f" of a huge double is long: it is not cut.
    double huge = 1e300;
    EXPECT_EQ(Text(&huge, 8, BRI_SQL_DOUBLE).size(), 301u + 7u);

    Value text = Convert("hello", BRI_SQL_VARCHAR);
    EXPECT_EQ(text.length, 5);
    EXPECT_STREQ(static_cast<char*>(text.data), "hello");
    // Bytes types take the given length, terminated.
    Value blob = Convert("ab\0cd", BRI_SQL_BLOB, 5);
    ASSERT_EQ(blob.length, 5);
    EXPECT_EQ(memcmp(blob.data, "ab\0cd\0", 6), 0);
    int32_t negative = -1;
    EXPECT_EQ(ConvertStringToColumnValue("x", &negative, BRI_SQL_BLOB), nullptr);

    EXPECT_EQ(Convert("yes", BRI_SQL_BOOLEAN).data, nullptr);
    Value yes = Allocate("yes", BRI_SQL_BOOLEAN);
    EXPECT_EQ(*static_cast<unsigned char*>(yes.data), 1);
    Value no = Convert("False", BRI_SQL_BOOLEAN);
    ASSERT_NE(no.data, nullptr);
    EXPECT_EQ(Text(no, BRI_SQL_BOOLEAN), "'f'");
    EXPECT_EQ(Text(Convert("TRUE", BRI_SQL_BOOLEAN), BRI_SQL_BOOLEAN), "'t'");
    EXPECT_EQ(Text(Allocate("FALSE", BRI_SQL_BOOLEAN), BRI_SQL_BOOLEAN), "'f'");

    EXPECT_EQ(Text(nullptr, 0, BRI_SQL_INT), "NULL");
    EXPECT_EQ(Text(text.data, text.length, BRI_SQL_NOT_SUPPORTED_TYPE), "(null)");
    EXPECT_EQ(Convert("1", 23).data, nullptr);
}

TEST(ColumnValues, AllocateStoresEveryType)
{
    // REAL, DECIMAL, NUMERIC, BLOB and CLOB keep their value rather than
    // silently storing nothing.
    Value real = Allocate("1.5", BRI_SQL_REAL);
    EXPECT_EQ(real.length, 4);
    EXPECT_EQ(Text(real, BRI_SQL_REAL), "1.500000");
    for (uint8_t type : {BRI_SQL_DECIMAL, BRI_SQL_NUMERIC, BRI_SQL_BLOB, BRI_SQL_CLOB}) {
        Value bytes = Allocate("12.50", type);
        EXPECT_EQ(bytes.length, 5);
        EXPECT_EQ(Text(bytes, type), "12.50");
    }
    // Code 0 and unknown codes store nothing, and that is no failure: a
    // column whose type the dictionary did not know holds NULL.
    LogCapture log;
    for (uint8_t type : {uint8_t{BRI_SQL_NOT_SUPPORTED_TYPE}, uint8_t{BRI_SQL_MAX_TYPE + 1}, uint8_t{255}}) {
        void* value = reinterpret_cast<void*>(1);
        int32_t length = 7;
        EXPECT_EQ(AllocateAndCopyColumnValue(&value, &length, type, "x"), VELMORA_SUCCESS) << int{type};
        EXPECT_EQ(value, nullptr);
        EXPECT_EQ(length, 0);
        EXPECT_EQ(log.Lines().back(),
                  "[TRACE] AllocateAndCopyColumnValue : type " + std::to_string(type) + " stores no value");
    }
    void* value = nullptr;
    int32_t length = 0;
    EXPECT_EQ(AllocateAndCopyColumnValue(&value, &length, BRI_SQL_INT, nullptr), VELMORA_FAILURE);
    EXPECT_EQ(log.Lines().back(), "[TRACE] value parameter in AllocateAndCopyColumnValue is NULL ");
}

TEST(ColumnValues, DatesHaveOneFormWhicheverConverterMadeThem)
{
    for (bool allocate : {false, true}) {
        Value date = allocate ? Allocate("2024-03-05", BRI_SQL_DATE) : Convert("2024-03-05", BRI_SQL_DATE);
        EXPECT_EQ(date.length, 4);
        EXPECT_EQ(Text(date, BRI_SQL_DATE), "2024-03-05");
        Value time = allocate ? Allocate("10:30:00", BRI_SQL_TIME) : Convert("10:30:00", BRI_SQL_TIME);
        EXPECT_EQ(time.length, 3);
        EXPECT_EQ(Text(time, BRI_SQL_TIME), "10:30:00");
        Value both = allocate ? Allocate("2023-01-31 23:59:58", BRI_SQL_DATETIME)
                              : Convert("2023-01-31 23:59:58", BRI_SQL_DATETIME);
        EXPECT_EQ(both.length, 11);
        EXPECT_EQ(Text(both, BRI_SQL_DATETIME), "2023-01-31 23:59:58");
        // A date-time text in a DATE column keeps the date.
        Value cut =
            allocate ? Allocate("2023-01-31 23:59:58", BRI_SQL_DATE) : Convert("2023-01-31 23:59:58", BRI_SQL_DATE);
        EXPECT_EQ(Text(cut, BRI_SQL_DATE), "2023-01-31");
        Value time_only = Convert("10:30:00", BRI_SQL_DATETIME);
        EXPECT_EQ(Text(time_only, BRI_SQL_DATETIME), "0000-00-00 10:30:00");
    }
    EXPECT_EQ(Convert("20240305", BRI_SQL_DATE).data, nullptr);
    Value none;
    EXPECT_EQ(AllocateAndCopyColumnValue(&none.data, &none.length, BRI_SQL_DATE, "soon"), VELMORA_FAILURE);

    // Values are flat: a byte copy is a complete, independent value.
    Value both = Convert("2024-12-31 08:00:01", BRI_SQL_DATETIME);
    void* copy = malloc(both.length + 1);
    memcpy(copy, both.data, both.length + 1);
    EXPECT_EQ(Text(copy, both.length, BRI_SQL_DATETIME), "2024-12-31 08:00:01");
    free(copy);

    BriDateTime* record = BriDateTimeValueToRecord(both.data, both.length, BRI_SQL_DATETIME);
    ASSERT_NE(record, nullptr);
    char* text = BriDateTimeToString(record);
    EXPECT_STREQ(text, "2024-12-31 08:00:01");
    free(text);
    int32_t length = 0;
    void* time = BriDateTimeRecordToValue(record, BRI_SQL_TIME, &length);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(Text(time, length, BRI_SQL_TIME), "08:00:01");
    free(time);
    FreeBriDateTime(record);
    // A value too short for its type renders as nothing, not as garbage.
    EXPECT_EQ(Text(both.data, 2, BRI_SQL_DATE), "(null)");
    EXPECT_EQ(BriDateTimeValueToRecord(both.data, 2, BRI_SQL_DATETIME), nullptr);
}

TEST(ColumnValues, PoolStringsStopAtDates)
{
    MemPool* pool = nullptr;
    ASSERT_EQ(CreateMemPool(&pool, nullptr, nullptr), VELMORA_SUCCESS);
    Value number = Convert("-12", BRI_SQL_SMALLINT);
    EXPECT_STREQ(ColumnValueToPoolString(number.data, number.length, BRI_SQL_SMALLINT, pool), "-12");
    Value flag = Convert("true", BRI_SQL_BOOLEAN);
    EXPECT_STREQ(ColumnValueToPoolString(flag.data, flag.length, BRI_SQL_BOOLEAN, pool), "'t'");
    EXPECT_STREQ(ColumnValueToPoolString(nullptr, 0, BRI_SQL_INT, pool), "NULL");
    Value date = Convert("2024-01-01", BRI_SQL_DATE);
    EXPECT_EQ(ColumnValueToPoolString(date.data, date.length, BRI_SQL_DATE, pool), nullptr);
    Value text = Convert("abc", BRI_SQL_TEXT);
    EXPECT_EQ(ColumnValueToPoolString(text.data, text.length, BRI_SQL_TEXT, pool), nullptr);
    Value name = Convert("abc", BRI_SQL_VARCHAR);
    EXPECT_STREQ(ColumnValueToPoolString(name.data, name.length, BRI_SQL_VARCHAR, pool), "abc");
    DestroyMemPool(pool);
}

struct Comparison {
    uint8_t type;
    const char* stored;
    uint8_t op;
    const char* criteria;
    bool expected;
};

TEST(CompareColumnValue, ByType)
{
    const Comparison cases[] = {
        {BRI_SQL_INT, "-1", BRI_OP_LESS, "1", true},
        {BRI_SQL_INT, "5", BRI_OP_GREATER_EQUAL, "5", true},
        {BRI_SQL_INT, "5", BRI_OP_NOT_EQUAL, "5", false},
        {BRI_SQL_UNSIGNED_INT, "4294967295", BRI_OP_GREATER, "1", true}, // unsigned, not -1
        {BRI_SQL_UNSIGNED_TINYINT, "200", BRI_OP_GREATER, "100", true},
        {BRI_SQL_TINYINT, "-100", BRI_OP_LESS, "100", true},
        {BRI_SQL_BIGINT, "-9000000000", BRI_OP_LESS, "1", true},
        {BRI_SQL_FLOAT, "2.5", BRI_OP_LESS_EQUAL, "2.5", true},
        {BRI_SQL_FLOAT, "2.5", BRI_OP_GREATER, "3", false},
        {BRI_SQL_VARCHAR, "abc", BRI_OP_EQUAL, "'abc'", true},
        {BRI_SQL_VARCHAR, "abc", BRI_OP_LESS, "'abd'", true},
        {BRI_SQL_VARCHAR, "ABC", BRI_OP_EQUAL, "'abc'", false}, // case-sensitive
        {BRI_SQL_CHAR, "ab", BRI_OP_LESS, "'abc'", true},
        {BRI_SQL_TEXT, "", BRI_OP_EQUAL, "''", true},
        {BRI_SQL_TEXT, "12", BRI_OP_EQUAL, "12", true}, // unquoted text is taken whole
        // Types without a comparison are never true.
        {BRI_SQL_DOUBLE, "1", BRI_OP_LESS, "2", false},
        {BRI_SQL_DATE, "2020-01-01", BRI_OP_LESS, "2021-01-01", false},
        {BRI_SQL_UNSIGNED_LONG_INT, "1", BRI_OP_EQUAL, "1", false},
        {BRI_SQL_BOOLEAN, "TRUE", BRI_OP_EQUAL, "TRUE", false},
    };
    for (const Comparison& c : cases) {
        Value stored = Convert(c.stored, c.type);
        Value criteria = Convert(c.criteria, c.type);
        EXPECT_EQ(CompareColumnValue(stored.data, stored.length, criteria.data, criteria.length, c.op, c.type),
                  c.expected)
            << int(c.type) << " " << c.stored << " op " << int(c.op) << " " << c.criteria;
    }
    Value text = Convert("'x'", BRI_SQL_VARCHAR);
    EXPECT_TRUE(CompareColumnValue(nullptr, 0, text.data, text.length, BRI_OP_LESS, BRI_SQL_VARCHAR));
    EXPECT_FALSE(CompareColumnValue(nullptr, 0, text.data, text.length, BRI_OP_EQUAL, BRI_SQL_VARCHAR));
    EXPECT_FALSE(CompareColumnValue(nullptr, 0, text.data, text.length, BRI_OP_LESS, BRI_SQL_INT));
    EXPECT_FALSE(CompareColumnValue(text.data, text.length, text.data, text.length, BRI_OP_AND, BRI_SQL_VARCHAR));

    EXPECT_EQ(CombineTruthValues(1, 0, BRI_OP_AND), 0);
    EXPECT_EQ(CombineTruthValues(1, 0, BRI_OP_OR), 1);
    EXPECT_EQ(CombineTruthValues(1, 1, BRI_OP_EQUAL), 0);
}

TEST(ColumnValues, AllocationFailuresAreReported)
{
    for (uint8_t type : {BRI_SQL_INT, BRI_SQL_VARCHAR, BRI_SQL_DATETIME, BRI_SQL_BOOLEAN}) {
        ForEveryAllocationFailure([&](long n, bool& fired) {
            FailingAllocations faults(n);
            void* value = nullptr;
            int32_t length = 0;
            int result = AllocateAndCopyColumnValue(&value, &length, type, "2024-01-01 10:00:00");
            if (faults.fired()) {
                EXPECT_EQ(result, VELMORA_ALLOC_FAILURE);
                EXPECT_EQ(value, nullptr);
            }
            free(value);
            int32_t converted_length = 0;
            free(ConvertStringToColumnValue("2024-01-01 10:00:00", &converted_length, type));
            char* text = ColumnValueToString("x", 1, BRI_SQL_VARCHAR);
            free(text);
            fired = faults.fired();
        });
    }
}

} // namespace
