/*
 * Column type names and the conversions from text to column values.
 *
 * Values are flat blocks allocated one byte longer than their length and
 * terminated with 0 (see velmora/column_types.h for the forms). Every
 * allocation goes through BriMalloc so that tests can fail any of them.
 */
#include <stdio.h>
#include <string.h>

#include "column_type_info.h"
#include "runtime/log.h"
#include "velmora/base_alloc.h"
#include "velmora/column_types.h"
#include "velmora/string_routines.h"

namespace {

using velmora::ColumnType;
using velmora::ValueKind;

/* A zero-terminated block holding length bytes of source. */
void* NewValue(const void* source, size_t length)
{
    auto* block = static_cast<unsigned char*>(BriMalloc(length + 1));
    if (!block)
        return nullptr;
    if (length)
        memcpy(block, source, length);
    block[length] = 0;
    return block;
}

/* An integer value holding the low-order width bytes (1, 2, 4 or 8) of
 * number. */
void* NewInteger(int64_t number, int32_t width)
{
    switch (width) {
    case 1: {
        auto narrow = static_cast<uint8_t>(number);
        return NewValue(&narrow, 1);
    }
    case 2: {
        auto narrow = static_cast<uint16_t>(number);
        return NewValue(&narrow, 2);
    }
    case 4: {
        auto narrow = static_cast<uint32_t>(number);
        return NewValue(&narrow, 4);
    }
    default:
        return NewValue(&number, 8);
    }
}

/* A number value of an integer or floating type, width bytes wide: the
 * integer parsers read 32 bits for widths up to 4 and 64 bits for 8; the
 * floating types are a float (4) or a double (8). */
void* NewNumber(const char* text, const velmora::ColumnTypeInfo& info, int32_t width)
{
    if (info.kind == ValueKind::Floating) {
        if (width == 8) {
            double number = ParseStrictDouble(text);
            return NewValue(&number, 8);
        }
        float number = static_cast<float>(ParseStrictDouble(text));
        return NewValue(&number, 4);
    }
    return NewInteger(width == 8 ? ParseStrictInt64(text) : ParseStrictInt32(text), width);
}

/* Whether text is short enough for a value length (an int32 that leaves
 * room for the terminator). */
bool FitsValueLength(size_t size) { return size <= INT32_MAX - 1; }

/* The flat DATE, TIME or DATETIME value of a BriDateTime record whose
 * missing parts read as zero. */
void* FlattenDateTime(const BriDateTime* record, uint8_t type, int32_t* length)
{
    BriDateTimeValue flat;
    memset(&flat, 0, sizeof flat);
    if (record->date)
        flat.date = *record->date;
    if (record->time)
        flat.time = *record->time;
    // A DATE value is the date part, a TIME value the time part; a
    // DATETIME value is both.
    const void* part = &flat;
    if (ColumnType(type).kind == ValueKind::Date)
        part = &flat.date;
    else if (ColumnType(type).kind == ValueKind::Time)
        part = &flat.time;
    *length = ColumnType(type).width;
    return NewValue(part, static_cast<size_t>(*length));
}

bool HasDateOrTimeSeparator(const char* text) { return strchr(text, '-') || strchr(text, ':'); }

/* DATE, TIME or DATETIME value of text; status 0 for text without '-' or
 * ':', 99 for an allocation failure. */
void* DateTimeValueFromText(const char* text, uint8_t type, int32_t* length, int* status)
{
    *status = VELMORA_FAILURE;
    if (!HasDateOrTimeSeparator(text))
        return nullptr;
    BriDateTime* record = ConvertStringToBriDateTime(text);
    if (!record) {
        *status = VELMORA_ALLOC_FAILURE;
        return nullptr;
    }
    void* value = FlattenDateTime(record, type, length);
    FreeBriDateTime(record);
    *status = value ? VELMORA_SUCCESS : VELMORA_ALLOC_FAILURE;
    return value;
}

/* The two converters from text share their rules but for these: the
 * narrow one (ConvertStringToColumnValue, for defaults, criteria and
 * database results) keeps only the type's width of a number, takes code 0,
 * decimal and binary values as the given bytes, fails for codes above
 * 22, and reads a boolean only from TRUE or FALSE; the full one
 * (AllocateAndCopyColumnValue, for rows) makes the type's full width,
 * copies decimal and binary text up to its terminator, stores nothing for
 * code 0 and codes above 22, and reads any boolean text but "false" as
 * true. */
enum class Converter { Narrow, Full };

/* The value of type from text into *value and *length; given is the byte
 * count for values taken as given. 1 (a null *value when nothing is
 * stored), 0 for text that is no value of the type, 99 when memory runs
 * out. */
int MakeValue(Converter converter, const char* text, int32_t given, uint8_t type, void** value, int32_t* length)
{
    *value = nullptr;
    const velmora::ColumnTypeInfo& info = ColumnType(type);
    bool narrow = converter == Converter::Narrow;
    void* made = nullptr;
    int32_t made_length = 0;
    switch (info.kind) {
    case ValueKind::Unknown:
    case ValueKind::Unsupported:
        if (!narrow) {
            // A column of a type the dictionary did not know holds NULL.
            LogTrace("AllocateAndCopyColumnValue : type %d stores no value\n", type);
            return VELMORA_SUCCESS;
        }
        if (info.kind == ValueKind::Unknown)
            return VELMORA_FAILURE;
        [[fallthrough]];
    case ValueKind::Decimal:
    case ValueKind::Binary:
        if (narrow) {
            if (given < 0)
                return VELMORA_FAILURE;
            made_length = given;
            made = NewValue(text, static_cast<size_t>(made_length));
            break;
        }
        [[fallthrough]];
    case ValueKind::Character: {
        size_t size = strlen(text);
        if (!FitsValueLength(size))
            return VELMORA_FAILURE;
        made_length = static_cast<int32_t>(size);
        made = NewValue(text, size);
        break;
    }
    case ValueKind::Integer:
    case ValueKind::Floating:
        made_length = narrow ? info.width : info.fullWidth;
        made = NewNumber(text, info, made_length);
        break;
    case ValueKind::Date:
    case ValueKind::Time:
    case ValueKind::DateTime: {
        int status;
        made = DateTimeValueFromText(text, type, &made_length, &status);
        if (!made)
            return status;
        break;
    }
    case ValueKind::Boolean: {
        unsigned char flag = 1;
        if (CompareNoCase(text, "FALSE") == 0)
            flag = 0;
        else if (narrow && CompareNoCase(text, "TRUE") != 0)
            return VELMORA_FAILURE;
        made_length = 1;
        made = NewValue(&flag, 1);
        break;
    }
    }
    if (!made)
        return VELMORA_ALLOC_FAILURE;
    *value = made;
    *length = made_length;
    return VELMORA_SUCCESS;
}

} // namespace

extern "C" uint8_t GetColumnTypeFromName(const char* name)
{
    if (!name) {
        LogError("Column data type not supported - Error while creating column definition.\n");
        return BRI_SQL_NOT_SUPPORTED_TYPE;
    }
    return velmora::ColumnTypeCodeOfName(name);
}

extern "C" int AllocateAndCopyColumnValue(void** value, int32_t* length, uint8_t type, const char* text)
{
    if (!value || !length)
        return VELMORA_FAILURE;
    *value = nullptr;
    *length = 0;
    if (!text) {
        LogTrace("value parameter in AllocateAndCopyColumnValue is NULL \n");
        return VELMORA_FAILURE;
    }
    return MakeValue(Converter::Full, text, 0, type, value, length);
}

int velmora::ConvertTextToValue(const char* text, int32_t* length, uint8_t type, void** value)
{
    *value = nullptr;
    if (!text || !length)
        return VELMORA_FAILURE;
    return MakeValue(Converter::Narrow, text, *length, type, value, length);
}

extern "C" void* ConvertStringToColumnValue(const char* text, int32_t* length, uint8_t type)
{
    void* value;
    velmora::ConvertTextToValue(text, length, type, &value);
    return value;
}

extern "C" void* BriDateTimeRecordToValue(const BriDateTime* record, uint8_t type, int32_t* length)
{
    if (!record || !length || !velmora::IsDateOrTime(ColumnType(type).kind))
        return nullptr;
    int32_t made_length = 0;
    void* made = FlattenDateTime(record, type, &made_length);
    if (made)
        *length = made_length;
    return made;
}
