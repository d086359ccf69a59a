/*
 * Column type names and the conversions from text to column values.
 *
 * Values are flat blocks allocated one byte longer than their length and
 * terminated with 0 (see velmora/column_types.h for the forms). Every
 * allocation goes through BriMalloc so that tests can fail any of them.
 */
#include <stdio.h>
#include <string.h>

#include "runtime/log.h"
#include "velmora/base_alloc.h"
#include "velmora/column_types.h"
#include "velmora/string_routines.h"

namespace {

struct TypeName {
    const char* name;
    uint8_t code;
};

const TypeName kTypeNames[] = {
    {"BRI_SQL_NOT_SUPPORTED_TYPE", BRI_SQL_NOT_SUPPORTED_TYPE},
    {"BRI_SQL_TINYINT", BRI_SQL_TINYINT},
    {"BRI_SQL_UNSIGNED_TINYINT", BRI_SQL_UNSIGNED_TINYINT},
    {"BRI_SQL_SMALLINT", BRI_SQL_SMALLINT},
    {"BRI_SQL_UNSIGNED_SMALLINT", BRI_SQL_UNSIGNED_SMALLINT},
    {"BRI_SQL_INT", BRI_SQL_INT},
    {"INTEGER", BRI_SQL_INT},
    {"LONG", BRI_SQL_INT},
    {"BRI_SQL_UNSIGNED_INT", BRI_SQL_UNSIGNED_INT},
    {"BIGINT", BRI_SQL_BIGINT},
    {"BRI_SQL_UNSIGNED_LONG_INT", BRI_SQL_UNSIGNED_LONG_INT},
    {"BRI_SQL_FLOAT", BRI_SQL_FLOAT},
    {"FLOAT", BRI_SQL_FLOAT},
    {"BRI_SQL_DOUBLE", BRI_SQL_DOUBLE},
    {"BRI_SQL_REAL", BRI_SQL_REAL},
    {"BRI_SQL_DECIMAL", BRI_SQL_DECIMAL},
    {"BRI_SQL_NUMERIC", BRI_SQL_NUMERIC},
    {"BRI_SQL_CHAR", BRI_SQL_CHAR},
    {"CHAR", BRI_SQL_VARCHAR},
    {"NCHAR", BRI_SQL_VARCHAR},
    {"BRI_SQL_DATE", BRI_SQL_DATE},
    {"DATE", BRI_SQL_DATE},
    {"BRI_SQL_TIME", BRI_SQL_TIME},
    {"TIME", BRI_SQL_TIME},
    {"BRI_SQL_DATETIME", BRI_SQL_DATETIME},
    {"DATETIME", BRI_SQL_DATETIME},
    {"TIMESTAMP", BRI_SQL_DATETIME},
    {"BOOLEAN", BRI_SQL_BOOLEAN},
    {"BRI_SQL_BLOB", BRI_SQL_BLOB},
    {"BLOB", BRI_SQL_BLOB},
    {"BRI_SQL_CLOB", BRI_SQL_CLOB},
    {"CLOB", BRI_SQL_CLOB},
    {"BRI_SQL_TEXT", BRI_SQL_TEXT},
    {"TEXT", BRI_SQL_TEXT},
};

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
    switch (type) {
    case BRI_SQL_DATE:
        *length = BRI_DATE_VALUE_LENGTH;
        return NewValue(&flat.date, BRI_DATE_VALUE_LENGTH);
    case BRI_SQL_TIME:
        *length = BRI_TIME_VALUE_LENGTH;
        return NewValue(&flat.time, BRI_TIME_VALUE_LENGTH);
    default:
        *length = BRI_DATETIME_VALUE_LENGTH;
        return NewValue(&flat, BRI_DATETIME_VALUE_LENGTH);
    }
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

} // namespace

extern "C" uint8_t GetColumnTypeFromName(const char* name)
{
    if (!name) {
        LogError("Column data type not supported - Error while creating column definition.\n");
        return BRI_SQL_NOT_SUPPORTED_TYPE;
    }
    for (const TypeName& entry : kTypeNames)
        if (CompareNoCase(name, entry.name) == 0)
            return entry.code;
    return BRI_SQL_NOT_SUPPORTED_TYPE;
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
    void* made = nullptr;
    int32_t made_length = 0;
    switch (type) {
    case BRI_SQL_TINYINT:
    case BRI_SQL_UNSIGNED_TINYINT:
    case BRI_SQL_SMALLINT:
    case BRI_SQL_UNSIGNED_SMALLINT:
    case BRI_SQL_INT:
    case BRI_SQL_UNSIGNED_INT: {
        int32_t number = ParseStrictInt32(text);
        made_length = 4;
        made = NewValue(&number, 4);
        break;
    }
    case BRI_SQL_BIGINT:
    case BRI_SQL_UNSIGNED_LONG_INT: {
        int64_t number = ParseStrictInt64(text);
        made_length = 8;
        made = NewValue(&number, 8);
        break;
    }
    case BRI_SQL_FLOAT:
    case BRI_SQL_REAL: {
        float number = static_cast<float>(ParseStrictDouble(text));
        made_length = 4;
        made = NewValue(&number, 4);
        break;
    }
    case BRI_SQL_DOUBLE: {
        double number = ParseStrictDouble(text);
        made_length = 8;
        made = NewValue(&number, 8);
        break;
    }
    case BRI_SQL_DECIMAL:
    case BRI_SQL_NUMERIC:
    case BRI_SQL_CHAR:
    case BRI_SQL_VARCHAR:
    case BRI_SQL_BLOB:
    case BRI_SQL_CLOB:
    case BRI_SQL_TEXT: {
        size_t size = strlen(text);
        if (size > INT32_MAX - 1)
            return VELMORA_FAILURE;
        made_length = static_cast<int32_t>(size);
        made = NewValue(text, size);
        break;
    }
    case BRI_SQL_DATE:
    case BRI_SQL_TIME:
    case BRI_SQL_DATETIME: {
        int status;
        made = DateTimeValueFromText(text, type, &made_length, &status);
        if (!made)
            return status;
        break;
    }
    case BRI_SQL_BOOLEAN: {
        unsigned char flag = CompareNoCase(text, "false") == 0 ? 0 : 1;
        made_length = 1;
        made = NewValue(&flag, 1);
        break;
    }
    default:
        return VELMORA_FAILURE;
    }
    if (!made)
        return VELMORA_ALLOC_FAILURE;
    *value = made;
    *length = made_length;
    return VELMORA_SUCCESS;
}

extern "C" void* ConvertStringToColumnValue(const char* text, int32_t* length, uint8_t type)
{
    if (!text || !length)
        return nullptr;
    switch (type) {
    case BRI_SQL_NOT_SUPPORTED_TYPE:
    case BRI_SQL_DECIMAL:
    case BRI_SQL_NUMERIC:
    case BRI_SQL_BLOB:
    case BRI_SQL_CLOB:
        if (*length < 0)
            return nullptr;
        return NewValue(text, static_cast<size_t>(*length));
    case BRI_SQL_TINYINT:
    case BRI_SQL_UNSIGNED_TINYINT: {
        // Only the type's width is kept: the low-order byte of the parse.
        uint8_t number = static_cast<uint8_t>(ParseStrictInt32(text));
        *length = 1;
        return NewValue(&number, 1);
    }
    case BRI_SQL_SMALLINT:
    case BRI_SQL_UNSIGNED_SMALLINT: {
        uint16_t number = static_cast<uint16_t>(ParseStrictInt32(text));
        *length = 2;
        return NewValue(&number, 2);
    }
    case BRI_SQL_INT:
    case BRI_SQL_UNSIGNED_INT: {
        int32_t number = ParseStrictInt32(text);
        *length = 4;
        return NewValue(&number, 4);
    }
    case BRI_SQL_BIGINT:
    case BRI_SQL_UNSIGNED_LONG_INT: {
        int64_t number = ParseStrictInt64(text);
        *length = 8;
        return NewValue(&number, 8);
    }
    case BRI_SQL_FLOAT:
    case BRI_SQL_REAL: {
        float number = static_cast<float>(ParseStrictDouble(text));
        *length = 4;
        return NewValue(&number, 4);
    }
    case BRI_SQL_DOUBLE: {
        double number = ParseStrictDouble(text);
        *length = 8;
        return NewValue(&number, 8);
    }
    case BRI_SQL_CHAR:
    case BRI_SQL_VARCHAR:
    case BRI_SQL_TEXT: {
        size_t size = strlen(text);
        if (size > INT32_MAX - 1)
            return nullptr;
        *length = static_cast<int32_t>(size);
        return NewValue(text, size);
    }
    case BRI_SQL_DATE:
    case BRI_SQL_TIME:
    case BRI_SQL_DATETIME: {
        int32_t made_length = 0;
        int status;
        void* made = DateTimeValueFromText(text, type, &made_length, &status);
        if (made)
            *length = made_length;
        return made;
    }
    case BRI_SQL_BOOLEAN: {
        unsigned char flag;
        if (CompareNoCase(text, "TRUE") == 0)
            flag = 1;
        else if (CompareNoCase(text, "FALSE") == 0)
            flag = 0;
        else
            return nullptr;
        *length = 1;
        return NewValue(&flag, 1);
    }
    default:
        return nullptr;
    }
}

extern "C" void* BriDateTimeRecordToValue(const BriDateTime* record, uint8_t type, int32_t* length)
{
    if (!record || !length || type < BRI_SQL_DATE || type > BRI_SQL_DATETIME)
        return nullptr;
    int32_t made_length = 0;
    void* made = FlattenDateTime(record, type, &made_length);
    if (made)
        *length = made_length;
    return made;
}
