/*
 * Readers of stored column values: text forms and comparisons.
 *
 * Integer values arrive 1, 2, 4 or 8 bytes long depending on which
 * converter made them, so every reader here widens from the value's own
 * length and never reads past it (see velmora/column_types.h).
 */
#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include <cstddef>
#include <new>
#include <string>
#include <string_view>

#include "velmora/base_alloc.h"
#include "velmora/column_types.h"
#include "column_type_info.h"
#include "comparison.h"

namespace {

using velmora::ColumnType;
using velmora::ValueKind;

/* Which parts a DATE, TIME or DATETIME value of this length holds. */
bool SplitDateTimeValue(const void* value, int32_t length, uint8_t type, BriDate* date, BriTime* time, bool* has_date,
                        bool* has_time)
{
    *has_date = *has_time = false;
    if (!value)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(value);
    if (length == BRI_DATE_VALUE_LENGTH) {
        memcpy(date, bytes, sizeof *date);
        *has_date = true;
    } else if (length == BRI_TIME_VALUE_LENGTH) {
        memcpy(time, bytes, sizeof *time);
        *has_time = true;
    } else if (length >= BRI_DATE_VALUE_LENGTH + BRI_TIME_VALUE_LENGTH) {
        memcpy(date, bytes, sizeof *date);
        memcpy(time, bytes + offsetof(BriDateTimeValue, time), sizeof *time);
        *has_date = *has_time = true;
    } else {
        return false;
    }
    if (ColumnType(type).kind == ValueKind::Date)
        *has_time = false;
    if (ColumnType(type).kind == ValueKind::Time)
        *has_date = false;
    return *has_date || *has_time;
}

/* The text of a value, or false when the type has none (code 0, codes
 * above 22, a date or time value of an unusable length). */
bool ValueText(const void* value, int32_t length, uint8_t type, std::string& out)
{
    char number[64];
    if (length < 0)
        length = 0;
    const velmora::ColumnTypeInfo& info = ColumnType(type);
    switch (info.kind) {
    case ValueKind::Integer: {
        int64_t integer = ColumnValueToInt64(value, length, type);
        if (info.fullWidth == 8 && info.isSigned)
            snprintf(number, sizeof number, "%" PRId64, integer);
        else if (info.fullWidth == 8)
            snprintf(number, sizeof number, "%" PRIu64, static_cast<uint64_t>(integer));
        else if (info.isSigned)
            snprintf(number, sizeof number, "%d", static_cast<int32_t>(integer));
        else
            snprintf(number, sizeof number, "%u", static_cast<uint32_t>(integer));
        out = number;
        return true;
    }
    case ValueKind::Floating: {
        double real = 0;
        if (info.fullWidth == 8 && length >= 8) {
            memcpy(&real, value, 8);
        } else if (length >= 4) {
            float single;
            memcpy(&single, value, 4);
            real = single;
        }
        // "%f" of a large double runs to over 300 digits: ask for the size.
        int size = snprintf(nullptr, 0, "%f", real);
        if (size < 0)
            return false;
        out.resize(static_cast<size_t>(size) + 1);
        snprintf(out.data(), out.size(), "%f", real);
        out.resize(static_cast<size_t>(size));
        return true;
    }
    case ValueKind::Character:
        out.assign(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), length));
        return true;
    case ValueKind::Decimal:
    case ValueKind::Binary:
        out.assign(static_cast<const char*>(value), static_cast<size_t>(length));
        return true;
    case ValueKind::Date:
    case ValueKind::Time:
    case ValueKind::DateTime: {
        BriDate date{};
        BriTime time{};
        bool has_date, has_time;
        if (!SplitDateTimeValue(value, length, type, &date, &time, &has_date, &has_time))
            return false;
        char text[64];
        if (has_date && has_time)
            snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", date.year, date.month, date.day, time.hour,
                     time.minute, time.second);
        else if (has_date)
            snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
        else
            snprintf(text, sizeof text, "%02d:%02d:%02d", time.hour, time.minute, time.second);
        out = text;
        return true;
    }
    case ValueKind::Boolean:
        out = length >= 1 && *static_cast<const unsigned char*>(value) == 1 ? "'t'" : "'f'";
        return true;
    case ValueKind::Unknown:
    case ValueKind::Unsupported:
        return false;
    }
    return false;
}

/* The text bytes of a value for comparison: up to its terminator or its
 * length. For the criteria side, the surrounding quotes are dropped. */
std::string_view TextOf(const void* value, int32_t length, bool strip_quotes)
{
    const char* text = static_cast<const char*>(value);
    size_t size = strnlen(text, length < 0 ? 0 : static_cast<size_t>(length));
    if (strip_quotes && size >= 2 && (text[0] == '\'' || text[0] == '"') && text[size - 1] == text[0])
        return std::string_view(text + 1, size - 2);
    return std::string_view(text, size);
}

} // namespace

extern "C" int64_t ColumnValueToInt64(const void* value, int32_t length, uint8_t type)
{
    const velmora::ColumnTypeInfo& info = ColumnType(type);
    if (!value || info.kind != ValueKind::Integer)
        return 0;
    return velmora::WidenInteger(value, length, info.fullWidth, info.isSigned);
}

extern "C" BriDateTime* BriDateTimeValueToRecord(const void* value, int32_t length, uint8_t type)
{
    if (!velmora::IsDateOrTime(ColumnType(type).kind))
        return nullptr;
    BriDate date{};
    BriTime time{};
    bool has_date, has_time;
    if (!SplitDateTimeValue(value, length, type, &date, &time, &has_date, &has_time))
        return nullptr;
    auto* record = static_cast<BriDateTime*>(BriCalloc(1, sizeof(BriDateTime)));
    if (!record)
        return nullptr;
    if (has_date) {
        record->date = static_cast<BriDate*>(BriMalloc(sizeof(BriDate)));
        if (!record->date) {
            FreeBriDateTime(record);
            return nullptr;
        }
        *record->date = date;
    }
    if (has_time) {
        record->time = static_cast<BriTime*>(BriMalloc(sizeof(BriTime)));
        if (!record->time) {
            FreeBriDateTime(record);
            return nullptr;
        }
        *record->time = time;
    }
    return record;
}

extern "C" char* ColumnValueToString(const void* value, int32_t length, uint8_t type)
{
    if (!value)
        return BriStrdup("NULL");
    try {
        std::string text;
        if (!ValueText(value, length, type, text))
            return nullptr;
        auto* copy = static_cast<char*>(BriMalloc(text.size() + 1));
        if (!copy)
            return nullptr;
        memcpy(copy, text.data(), text.size());
        copy[text.size()] = '\0';
        return copy;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

extern "C" char* ColumnValueToPoolString(const void* value, int32_t length, uint8_t type, MemPool* pool)
{
    if (!pool)
        return nullptr;
    char* copy = nullptr;
    if (!value) {
        PoolStrdup(&copy, "NULL", pool);
        return copy;
    }
    if (type >= BRI_SQL_DATE && type != BRI_SQL_BOOLEAN)
        return nullptr;
    try {
        std::string text;
        if (!ValueText(value, length, type, text))
            return nullptr;
        // PoolMemdup terminates the copy, so embedded bytes stay intact.
        void* out = nullptr;
        if (PoolMemdup(&out, text.data(), text.size(), pool) != VELMORA_SUCCESS)
            return nullptr;
        return static_cast<char*>(out);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

extern "C" int CompareColumnValue(const void* stored, int32_t storedLength, const void* criteria,
                                  int32_t criteriaLength, uint8_t op, uint8_t type)
{
    if (op < BRI_OP_LESS || op > BRI_OP_NOT_EQUAL)
        return 0;
    switch (ColumnType(type).ordering) {
    case velmora::Ordering::Signed32:
        if (!stored || !criteria)
            return 0;
        return velmora::ComparisonHolds(static_cast<int32_t>(ColumnValueToInt64(stored, storedLength, type)),
                                        static_cast<int32_t>(ColumnValueToInt64(criteria, criteriaLength, type)), op);
    case velmora::Ordering::Unsigned32:
        if (!stored || !criteria)
            return 0;
        return velmora::ComparisonHolds(static_cast<uint32_t>(ColumnValueToInt64(stored, storedLength, type)),
                                        static_cast<uint32_t>(ColumnValueToInt64(criteria, criteriaLength, type)), op);
    case velmora::Ordering::Signed64:
        if (!stored || !criteria)
            return 0;
        return velmora::ComparisonHolds(ColumnValueToInt64(stored, storedLength, type),
                                        ColumnValueToInt64(criteria, criteriaLength, type), op);
    case velmora::Ordering::Float: {
        if (!stored || !criteria || storedLength < 4 || criteriaLength < 4)
            return 0;
        float left, right;
        memcpy(&left, stored, 4);
        memcpy(&right, criteria, 4);
        return velmora::ComparisonHolds(left, right, op);
    }
    case velmora::Ordering::Text: {
        // A null side orders before any text.
        int order;
        if (!stored || !criteria)
            order = (stored ? 1 : 0) - (criteria ? 1 : 0);
        else
            order = TextOf(stored, storedLength, false).compare(TextOf(criteria, criteriaLength, true));
        return velmora::ComparisonHolds(order, 0, op);
    }
    case velmora::Ordering::None:
        return 0;
    }
    return 0;
}

extern "C" int CombineTruthValues(int left, int right, uint8_t op)
{
    if (op == BRI_OP_AND)
        return left && right;
    if (op == BRI_OP_OR)
        return left || right;
    return 0;
}
