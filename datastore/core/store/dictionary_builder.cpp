/*
 * Builds a TableDefn from the tag tree of one table.
 *
 * Element names are matched exactly here (the reader matched them in any
 * case), so only the lower-case names take effect. The children of a table
 * are taken in a fixed order: an optional description, columns, then
 * primary-key and foreign-keys, each directly after the previous one.
 * Whatever stands elsewhere is reported and left out.
 *
 * A column that cannot be built drops the whole table: every later lookup
 * expects each column of a definition to be there. A column whose type or
 * size is written wrongly is still built (type 0, size -1), so that one
 * typo in a dictionary does not remove a table.
 */
#include <stdlib.h>
#include <string.h>

#include "dictionary_internal.h"
#include "runtime/log.h"
#include "velmora/base_alloc.h"
#include "velmora/string_routines.h"

namespace {

bool Is(const XmlTagInfo* record, const char* name)
{
    return record && record->tagName && strcmp(record->tagName, name) == 0;
}

/* Everything the builder has made so far; freed unless handed over. */
struct TableParts {
    LCDVector* columns = nullptr;
    ConstraintDefn* constraints = nullptr;

    ~TableParts()
    {
        if (columns) {
            for (LCDNode* node = columns->head; node; node = node->next)
                FreeColumnDefn(static_cast<ColumnDefn*>(node->data));
            FreeVector(columns);
            free(columns);
        }
        FreeConstraintDefn(constraints);
    }
};

/* A null-terminated heap copy of count texts. */
char** CopyTexts(char* const* texts, int32_t count)
{
    auto** copy = static_cast<char**>(BriCalloc(static_cast<size_t>(count) + 1, sizeof(char*)));
    if (!copy)
        return nullptr;
    for (int32_t i = 0; i < count; i++) {
        copy[i] = BriStrdup(texts[i]);
        if (!copy[i]) {
            FreeStringArray(copy, i);
            return nullptr;
        }
    }
    return copy;
}

/* The allowed values of one allowed-values element; *out stays null for an
 * empty element. */
int BuildAllowedValues(const XmlTagInfo* allowed, const char* table, const char* column, AllowedValues** out)
{
    *out = nullptr;
    char** texts = nullptr;
    uint8_t is_range = 0;
    const XmlTagInfo* child = allowed->firstChild;
    if (Is(child, "value")) {
        texts = CopyTexts(child->textValues, child->textValueCount);
    } else if (Is(child, "from")) {
        if (!Is(child->nextSibling, "to")) {
            LogError("In the allowed values attribute, 'to' tag is missing.\n");
            return VELMORA_FAILURE;
        }
        char* range[2] = {child->textValues[0], child->nextSibling->textValues[0]};
        texts = CopyTexts(range, 2);
        is_range = 1;
        child = child->nextSibling;
    } else if (Is(child, "to")) {
        LogError("In the allowed values attribute, 'from' tag is missing.\n");
        return VELMORA_FAILURE;
    } else {
        return VELMORA_SUCCESS; // no values at all
    }
    if (child->nextSibling) {
        LogError("Allowed values of column %s in table %s mix a list and a range.\n", column, table);
        FreeStringArray(texts, -1);
        return VELMORA_FAILURE;
    }
    if (!texts) {
        LogError("Cannot copy allowed values.\n");
        return VELMORA_ALLOC_FAILURE;
    }
    *out = CreateAllowedValues(texts, is_range);
    if (!*out) {
        FreeStringArray(texts, -1);
        LogError("Cannot copy allowed values.\n");
        return VELMORA_ALLOC_FAILURE;
    }
    return VELMORA_SUCCESS;
}

int BuildColumn(const XmlTagInfo* record, const char* table, ColumnDefn** out)
{
    *out = nullptr;
    const char* name = GetXmlTagAttrib(record, "name");
    if (!name) {
        LogError("A column of table %s has no name attribute.\n", table);
        return VELMORA_FAILURE;
    }
    uint8_t type = BRI_SQL_NOT_SUPPORTED_TYPE;
    const char* type_name = nullptr;
    uint8_t nullable = 1, unique = 0;
    int32_t max_size = 0;
    const char* default_text = nullptr;
    const char* generator = nullptr;
    const char* description = nullptr;
    AllowedValues* allowed = nullptr;
    int result = VELMORA_SUCCESS;
    for (const XmlTagInfo* child = record->firstChild; child && result == VELMORA_SUCCESS; child = child->nextSibling) {
        const char* text = GetXmlTagText(child);
        if (Is(child, "data-type")) {
            type_name = text;
            type = GetColumnTypeFromName(text);
        } else if (Is(child, "nullable")) {
            nullable = text && CompareNoCase(text, "true") == 0;
        } else if (Is(child, "max-size")) {
            // A size that is no number loads as -1: one typo must not cost
            // the whole table.
            max_size = ParseSizeInteger(text);
            if (max_size < 0)
                LogError("Invalid max-size %s of column %s in table %s; its maximum size is -1.\n", text ? text : "",
                         name, table);
        } else if (Is(child, "default-value")) {
            default_text = text;
        } else if (Is(child, "unique")) {
            unique = text && strcmp(text, "true") == 0;
        } else if (Is(child, "uniquevalue-generation")) {
            generator = Is(child->firstChild, "generator-name") ? GetXmlTagText(child->firstChild) : nullptr;
            if (!generator || !*generator) {
                LogError("Column %s of table %s has no generator-name.\n", name, table);
                result = VELMORA_FAILURE;
            }
        } else if (Is(child, "description")) {
            description = text;
        } else if (Is(child, "allowed-values")) {
            FreeAllowedValues(allowed);
            result = BuildAllowedValues(child, table, name, &allowed);
        } else {
            LogError("Element %s of column %s in table %s ignored.\n", child->tagName, name, table);
        }
    }
    if (result == VELMORA_SUCCESS && type == BRI_SQL_NOT_SUPPORTED_TYPE) {
        // The column stays, with type 0: its values are kept as given and
        // match no condition.
        if (type_name)
            LogError("Column data type not supported - Error while creating column definition.\n");
        LogError("Column %s of table %s: data type %s is not supported; the column has type 0.\n", name, table,
                 type_name ? type_name : "missing");
    }
    if (result != VELMORA_SUCCESS) {
        FreeAllowedValues(allowed);
        return result;
    }
    int32_t default_length = default_text ? static_cast<int32_t>(strnlen(default_text, INT32_MAX - 1)) : 0;
    *out = CreateColumnDefn(name, type, default_text, default_length, unique, generator, description, max_size,
                            nullable, allowed);
    return *out ? VELMORA_SUCCESS : VELMORA_ALLOC_FAILURE;
}

int BuildColumns(const XmlTagInfo* columns, const char* table, LCDVector* vector)
{
    for (const XmlTagInfo* child = columns->firstChild; child; child = child->nextSibling) {
        if (!Is(child, "column")) {
            LogError("Element %s in columns of table %s ignored.\n", child->tagName, table);
            continue;
        }
        ColumnDefn* column;
        int result = BuildColumn(child, table, &column);
        if (result != VELMORA_SUCCESS)
            return result;
        if (AddElementData(vector, column) != VELMORA_SUCCESS) {
            FreeColumnDefn(column);
            return VELMORA_ALLOC_FAILURE;
        }
    }
    return VELMORA_SUCCESS;
}

int BuildPrimaryKey(const XmlTagInfo* key, ConstraintDefn* constraints)
{
    int32_t count = 0;
    for (const XmlTagInfo* child = key->firstChild; child; child = child->nextSibling)
        if (Is(child, "primary-key-column"))
            count++;
    if (count == 0)
        return VELMORA_SUCCESS;
    auto** names = static_cast<char**>(BriCalloc(static_cast<size_t>(count) + 1, sizeof(char*)));
    if (!names)
        return VELMORA_ALLOC_FAILURE;
    int32_t at = 0;
    for (const XmlTagInfo* child = key->firstChild; child; child = child->nextSibling) {
        if (!Is(child, "primary-key-column"))
            continue;
        names[at] = BriStrdup(GetXmlTagText(child));
        if (!names[at]) {
            FreeStringArray(names, at);
            return VELMORA_ALLOC_FAILURE;
        }
        at++;
    }
    constraints->primaryKeys = names;
    constraints->primaryKeyCount = count;
    return VELMORA_SUCCESS;
}

int BuildForeignKey(const XmlTagInfo* key, const char* table, ConstraintDefn* constraints)
{
    const char* reference_table = GetXmlTagAttrib(key, "reference-table-name");
    if (!reference_table || !*reference_table) {
        LogError("A foreign key of table %s has no reference-table-name.\n", table);
        return VELMORA_FAILURE;
    }
    const char* bidirectional = GetXmlTagAttrib(key, "isbidirectional");
    uint8_t is_bidirectional = bidirectional && strcmp(bidirectional, "true") == 0;
    const XmlTagInfo* pairs = key->firstChild;
    if (Is(pairs, "fk-columns")) {
        pairs = pairs->firstChild;
    } else {
        LogDebug("fk-columns tag not found \n");
    }
    uint8_t cascade = 0;
    for (const XmlTagInfo* child = key->firstChild; child; child = child->nextSibling) {
        const char* text = GetXmlTagText(child);
        if (Is(child, "fk-constraints") && text && strcmp(text, "ON-DELETE-CASCADE") == 0)
            cascade = 1;
    }
    int added = 0;
    for (const XmlTagInfo* pair = pairs; pair; pair = pair->nextSibling) {
        if (!Is(pair, "fk-column"))
            continue;
        const char* local = nullptr;
        const char* reference = nullptr;
        for (const XmlTagInfo* part = pair->firstChild; part; part = part->nextSibling) {
            if (Is(part, "fk-local-column"))
                local = GetXmlTagText(part);
            else if (Is(part, "fk-reference-column"))
                reference = GetXmlTagText(part);
        }
        if (!local || !*local || !reference || !*reference) {
            LogError("A column pair of the foreign key of table %s to %s lacks a column.\n", table, reference_table);
            return VELMORA_FAILURE;
        }
        ForeignKeyDefn* defn = CreateForeignKeyDefn(local, reference, reference_table, 0, cascade, is_bidirectional);
        if (!defn)
            return VELMORA_ALLOC_FAILURE;
        int result = AddForeignKeyDefn(constraints, defn);
        if (result != VELMORA_SUCCESS) {
            FreeForeignKeyDefn(defn);
            return VELMORA_ALLOC_FAILURE;
        }
        added++;
    }
    if (added == 0) {
        LogError("The foreign key of table %s to %s has no columns.\n", table, reference_table);
        return VELMORA_FAILURE;
    }
    return VELMORA_SUCCESS;
}

} // namespace

int BuildTableDefnFromTags(const XmlTagInfo* table)
{
    if (!table)
        return VELMORA_FAILURE;
    const char* name = GetXmlTagAttrib(table, "name");
    if (!name || !*name) {
        LogError("A table without a name attribute is skipped.\n");
        return VELMORA_FAILURE;
    }
    TableParts parts;
    parts.columns = CreateVector();
    parts.constraints = CreateConstraintDefn(nullptr, 0, nullptr);
    if (!parts.columns || !parts.constraints)
        return VELMORA_ALLOC_FAILURE;

    const XmlTagInfo* child = table->firstChild;
    const char* description = nullptr;
    if (Is(child, "description")) {
        description = GetXmlTagText(child);
        child = child->nextSibling;
    }
    int result = VELMORA_SUCCESS;
    if (Is(child, "columns")) {
        result = BuildColumns(child, name, parts.columns);
        child = child->nextSibling;
    }
    if (result == VELMORA_SUCCESS && Is(child, "primary-key")) {
        result = BuildPrimaryKey(child, parts.constraints);
        child = child->nextSibling;
    }
    if (result == VELMORA_SUCCESS && Is(child, "foreign-keys")) {
        for (const XmlTagInfo* key = child->firstChild; key && result == VELMORA_SUCCESS; key = key->nextSibling)
            if (Is(key, "foreign-key"))
                result = BuildForeignKey(key, name, parts.constraints);
        child = child->nextSibling;
    }
    if (result != VELMORA_SUCCESS) {
        LogError("Table %s is not loaded.\n", name);
        return result;
    }
    for (; child; child = child->nextSibling)
        LogError("Element %s of table %s is out of place and ignored.\n", child->tagName, name);

    TableDefn* definition = CreateTableDefn(name, description, parts.columns, parts.constraints);
    if (!definition)
        return VELMORA_ALLOC_FAILURE;
    parts.columns = nullptr;
    parts.constraints = nullptr;
    if (AddTableDefn(definition) != VELMORA_SUCCESS) {
        FreeTableDefn(definition);
        return VELMORA_ALLOC_FAILURE;
    }
    LogTrace("\t@@@@ Loaded Table definition Successfully @@@@\n");
    return VELMORA_SUCCESS;
}
