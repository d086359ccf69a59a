/*
 * Internal: the statement writer and the literal rules shared by the four
 * dialects.
 */
#pragma once

#include <stdint.h>

#include "velmora/column_types.h"
#include "velmora/table_defn.h"
#include "velmora/text_buffer.h"

namespace velmora_sql {

/* A TextBuffer with a sticky result: after the first failed append the
 * later ones do nothing, so a generator writes its pieces and checks once.
 * Frees the buffer unless the text was taken. */
class SqlWriter {
public:
    SqlWriter(int32_t capacity, int32_t step) { status_ = CreateTextBuffer(&buffer_, capacity, step); }
    ~SqlWriter() { FreeTextBuffer(buffer_); }
    SqlWriter(const SqlWriter&) = delete;
    SqlWriter& operator=(const SqlWriter&) = delete;

    bool created() const { return buffer_ != nullptr; }
    bool ok() const { return status_ == VELMORA_SUCCESS; }
    int status() const { return status_; }
    /* Marks the text as unusable (a value without text form, bad input). */
    void Fail()
    {
        if (ok())
            status_ = VELMORA_FAILURE;
    }
    /* Marks the text as lost for want of memory. */
    void OutOfMemory()
    {
        if (ok())
            status_ = VELMORA_ALLOC_FAILURE;
    }

    SqlWriter& Add(const char* text);
    SqlWriter& Add(const char* bytes, int32_t length);
    SqlWriter& Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    /* count bytes to fill at the end of the text, or null after a failure;
     * the text grows by count at once. */
    char* Extend(int32_t count);

    const char* text() const { return buffer_ ? buffer_->text : ""; }
    int32_t length() const { return buffer_ ? buffer_->length : 0; }
    /* The text as a heap string of its own length (a copy), or null. */
    char* Copy() const;
    /* The buffer's own block, handed over (no copy), or null. */
    char* Take();

private:
    TextBuffer* buffer_ = nullptr;
    int status_ = VELMORA_FAILURE;
};

/* Where a value is written: the literal of a boolean differs between an
 * insert, an update's set list and a comparison in some dialects. */
enum class ValuePlace { Insert, Set, Compare };

/* What distinguishes the dialects in literals. */
struct LiteralRules {
    bool escapeBackslash;      /* MySQL reads \ in a literal as an escape */
    const char* boolInsert[2]; /* false, true */
    const char* boolSet[2];
    const char* boolCompare[2];
};

/* Types written between quotes: character, date, time, date-time, BLOB,
 * CLOB and TEXT. (CLOB holds raw text too; unquoted it would be SQL.) */
bool IsQuotedType(uint8_t type);

/* Appends text (length bytes up to its first NUL) between single quotes,
 * doubling every quote and, when asked, every backslash. */
void AppendQuoted(SqlWriter& out, const char* text, int32_t length, bool escapeBackslash);

/* Appends the literal of a value of the given type: NULL for a null value;
 * quoted types quoted and escaped (dates in their text form); booleans by
 * the rules and the place; numbers in their text form, which must read as
 * a number (decimal text that does not, and NaN or infinity, are refused).
 * false (and the writer failed) when the value has no literal: unknown
 * types, short date values, refused numbers; the writer also fails when
 * memory runs out. */
bool AppendLiteral(SqlWriter& out, const LiteralRules& rules, ValuePlace place, const void* value, int32_t length,
                   uint8_t type);

/* 1 when name is one of the definition's primary-key columns
 * (case-insensitive). */
bool IsPrimaryKeyColumn(const TableDefn* definition, const char* name);

} // namespace velmora_sql
