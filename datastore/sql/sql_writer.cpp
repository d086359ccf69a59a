/*
 * The statement writer and the literal rules (see sql_writer.h).
 */
#include "sql_writer.h"

#include <inttypes.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "velmora/base_alloc.h"
#include "velmora/string_routines.h"

namespace velmora_sql {

SqlWriter& SqlWriter::Add(const char* text)
{
    if (ok())
        status_ = AppendTextBuffer(buffer_, text);
    return *this;
}

SqlWriter& SqlWriter::Add(const char* bytes, int32_t length)
{
    if (ok())
        status_ = AppendTextBufferBytes(buffer_, bytes, length);
    return *this;
}

SqlWriter& SqlWriter::Format(const char* format, ...)
{
    if (!ok())
        return *this;
    va_list arguments;
    va_start(arguments, format);
    status_ = AppendTextBufferFormatV(buffer_, format, arguments);
    va_end(arguments);
    return *this;
}

char* SqlWriter::Extend(int32_t count)
{
    if (!ok())
        return nullptr;
    status_ = ReserveTextBuffer(buffer_, count);
    if (!ok())
        return nullptr;
    char* at = buffer_->text + buffer_->length;
    buffer_->length += count;
    buffer_->text[buffer_->length] = '\0';
    return at;
}

char* SqlWriter::Copy() const
{
    if (!ok())
        return nullptr;
    auto* copy = static_cast<char*>(BriMalloc(static_cast<size_t>(buffer_->length) + 1));
    if (copy)
        memcpy(copy, buffer_->text, static_cast<size_t>(buffer_->length) + 1);
    return copy;
}

char* SqlWriter::Take()
{
    if (!ok())
        return nullptr;
    char* text = DetachTextBuffer(buffer_);
    buffer_ = nullptr;
    return text;
}

bool IsQuotedType(uint8_t type)
{
    switch (type) {
    case BRI_SQL_CHAR:
    case BRI_SQL_VARCHAR:
    case BRI_SQL_DATE:
    case BRI_SQL_TIME:
    case BRI_SQL_DATETIME:
    case BRI_SQL_BLOB:
    case BRI_SQL_CLOB:
    case BRI_SQL_TEXT:
        return true;
    default:
        return false;
    }
}

void AppendQuoted(SqlWriter& out, const char* text, int32_t length, bool escapeBackslash)
{
    size_t size = text && length > 0 ? strnlen(text, static_cast<size_t>(length)) : 0;
    // Count first, then write once: a value of any size is one growth.
    size_t extra = 0;
    for (size_t i = 0; i < size; i++)
        extra += text[i] == '\'' || (escapeBackslash && text[i] == '\\');
    size_t total = size + extra + 2;
    if (total >= INT32_MAX) {
        out.OutOfMemory();
        return;
    }
    char* at = out.Extend(static_cast<int32_t>(total));
    if (!at)
        return;
    *at++ = '\'';
    if (extra == 0) {
        memcpy(at, text, size);
        at += size;
    } else {
        for (size_t i = 0; i < size; i++) {
            char c = text[i];
            if (c == '\'' || (escapeBackslash && c == '\\'))
                *at++ = c;
            *at++ = c;
        }
    }
    *at = '\'';
}

namespace {

/* Digits with an optional sign, fraction and exponent: what every engine
 * reads as a number and nothing else. */
bool IsNumberText(const char* text, size_t size)
{
    size_t i = 0;
    if (i < size && (text[i] == '+' || text[i] == '-'))
        i++;
    size_t digits = 0;
    while (i < size && text[i] >= '0' && text[i] <= '9')
        i++, digits++;
    if (i < size && text[i] == '.') {
        i++;
        while (i < size && text[i] >= '0' && text[i] <= '9')
            i++, digits++;
    }
    if (digits == 0)
        return false;
    if (i < size && (text[i] == 'e' || text[i] == 'E')) {
        i++;
        if (i < size && (text[i] == '+' || text[i] == '-'))
            i++;
        size_t exponent = 0;
        while (i < size && text[i] >= '0' && text[i] <= '9')
            i++, exponent++;
        if (exponent == 0)
            return false;
    }
    return i == size;
}

/* The value's text from the store's converter, written through write. */
template <typename Write>
bool WithValueText(SqlWriter& out, const void* value, int32_t length, uint8_t type, Write write)
{
    char* text = ColumnValueToString(value, length, type);
    if (!text) {
        // Unknown types and unusable date values have no text; the rest
        // only lacks memory.
        if (type == BRI_SQL_NOT_SUPPORTED_TYPE || type > BRI_SQL_MAX_TYPE ||
            (type >= BRI_SQL_DATE && type <= BRI_SQL_DATETIME))
            out.Fail();
        else
            out.OutOfMemory();
        return false;
    }
    bool written = write(text);
    free(text);
    return written;
}

} // namespace

bool AppendLiteral(SqlWriter& out, const LiteralRules& rules, ValuePlace place, const void* value, int32_t length,
                   uint8_t type)
{
    if (!out.ok())
        return false;
    if (!value) {
        out.Add("NULL");
        return out.ok();
    }
    if (length < 0)
        length = 0;
    switch (type) {
    case BRI_SQL_CHAR:
    case BRI_SQL_VARCHAR:
    case BRI_SQL_TEXT:
    case BRI_SQL_BLOB:
    case BRI_SQL_CLOB:
        AppendQuoted(out, static_cast<const char*>(value), length, rules.escapeBackslash);
        return out.ok();
    case BRI_SQL_DATE:
    case BRI_SQL_TIME:
    case BRI_SQL_DATETIME:
        return WithValueText(out, value, length, type, [&](const char* text) {
            AppendQuoted(out, text, INT32_MAX, rules.escapeBackslash);
            return out.ok();
        });
    case BRI_SQL_BOOLEAN: {
        bool truth = length >= 1 && *static_cast<const unsigned char*>(value) == 1;
        const char* const* texts = place == ValuePlace::Insert ? rules.boolInsert
            : place == ValuePlace::Set                         ? rules.boolSet
                                                               : rules.boolCompare;
        out.Add(texts[truth ? 1 : 0]);
        return out.ok();
    }
    case BRI_SQL_TINYINT:
    case BRI_SQL_SMALLINT:
    case BRI_SQL_INT:
        out.Format("%d", static_cast<int32_t>(ColumnValueToInt64(value, length, type)));
        return out.ok();
    case BRI_SQL_UNSIGNED_TINYINT:
    case BRI_SQL_UNSIGNED_SMALLINT:
    case BRI_SQL_UNSIGNED_INT:
        out.Format("%u", static_cast<uint32_t>(ColumnValueToInt64(value, length, type)));
        return out.ok();
    case BRI_SQL_BIGINT:
        out.Format("%" PRId64, ColumnValueToInt64(value, length, type));
        return out.ok();
    case BRI_SQL_UNSIGNED_LONG_INT:
        out.Format("%" PRIu64, static_cast<uint64_t>(ColumnValueToInt64(value, length, type)));
        return out.ok();
    case BRI_SQL_FLOAT:
    case BRI_SQL_DOUBLE:
    case BRI_SQL_REAL:
    case BRI_SQL_DECIMAL:
    case BRI_SQL_NUMERIC:
        // Written bare, so the text must be a number: decimal text is the
        // caller's, and "nan" or "inf" would read as column names.
        return WithValueText(out, value, length, type, [&](const char* text) {
            if (!IsNumberText(text, strlen(text))) {
                out.Fail();
                return false;
            }
            out.Add(text);
            return out.ok();
        });
    default:
        out.Fail();
        return false;
    }
}

bool IsPrimaryKeyColumn(const TableDefn* definition, const char* name)
{
    const ConstraintDefn* constraints = definition ? definition->constraints : nullptr;
    if (!constraints || !name || !constraints->primaryKeys)
        return false;
    for (int32_t i = 0; i < constraints->primaryKeyCount; i++) {
        const char* key = constraints->primaryKeys[i];
        if (key && CompareNoCase(key, name) == 0)
            return true;
    }
    return false;
}

} // namespace velmora_sql
