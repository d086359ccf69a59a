/*
 * Definition records: creation and release, field by field.
 *
 * Creation copies strings through BriMalloc and undoes everything it did
 * when one allocation fails, so a failed call leaves nothing behind.
 */
#include <stdlib.h>
#include <string.h>

#include "column_type_info.h"
#include "runtime/log.h"
#include "velmora/base_alloc.h"
#include "velmora/string_routines.h"
#include "velmora/table_defn.h"

namespace {

/* A copy of an optional string: true when text is null (copy stays null)
 * or the copy succeeded. */
bool CopyOptional(const char* text, char** copy)
{
    *copy = nullptr;
    if (!text)
        return true;
    *copy = BriStrdup(text);
    return *copy != nullptr;
}

} // namespace

extern "C" AllowedValues* CreateAllowedValues(char** values, uint8_t isRange)
{
    if (!values)
        return nullptr;
    if (isRange && (!values[0] || !values[1] || values[2]))
        return nullptr;
    auto* record = static_cast<AllowedValues*>(BriCalloc(1, sizeof(AllowedValues)));
    if (!record)
        return nullptr;
    record->values = values;
    record->isRange = isRange ? 1 : 0;
    return record;
}

extern "C" void FreeAllowedValues(AllowedValues* values)
{
    if (!values)
        return;
    FreeStringArray(values->values, -1);
    free(values);
}

extern "C" ColumnDefn* CreateColumnDefn(const char* name, uint8_t type, const char* defaultText, int32_t defaultLength,
                                        uint8_t unique, const char* generatorName, const char* description,
                                        int32_t maxSize, uint8_t nullable, AllowedValues* allowedValues)
{
    if (!name) {
        FreeAllowedValues(allowedValues);
        return nullptr;
    }
    auto* column = static_cast<ColumnDefn*>(BriCalloc(1, sizeof(ColumnDefn)));
    if (!column) {
        FreeAllowedValues(allowedValues);
        return nullptr;
    }
    column->allowedValues = allowedValues;
    column->name = BriStrdup(name);
    if (!column->name || !CopyOptional(generatorName, &column->generatorName) ||
        !CopyOptional(description, &column->description)) {
        FreeColumnDefn(column);
        return nullptr;
    }
    if ((type == BRI_SQL_CHAR || type == BRI_SQL_VARCHAR) && maxSize >= BRI_SQL_LONG_TEXT_SIZE)
        type = BRI_SQL_TEXT;
    column->type = type;
    column->unique = unique;
    column->maxSize = maxSize;
    column->nullable = nullable;
    if (defaultText) {
        int32_t length = defaultLength;
        int converted = velmora::ConvertTextToValue(defaultText, &length, type, &column->defaultValue);
        if (converted == VELMORA_ALLOC_FAILURE) {
            FreeColumnDefn(column);
            return nullptr;
        }
        if (converted == VELMORA_SUCCESS)
            column->defaultLength = length;
        else
            LogError("Default value %s of column %s is not a value of type %d; the column has no default.\n",
                     defaultText, name, type);
    }
    return column;
}

extern "C" void FreeColumnDefn(ColumnDefn* column)
{
    if (!column)
        return;
    free(column->name);
    free(column->defaultValue);
    free(column->generatorName);
    free(column->description);
    FreeAllowedValues(column->allowedValues);
    free(column);
}

extern "C" ForeignKeyDefn* CreateForeignKeyDefn(const char* localColumn, const char* referenceColumn,
                                                const char* referenceTable, uint8_t reserved, uint8_t onDeleteCascade,
                                                uint8_t isBidirectional)
{
    if (!localColumn || !referenceColumn || !referenceTable)
        return nullptr;
    auto* key = static_cast<ForeignKeyDefn*>(BriCalloc(1, sizeof(ForeignKeyDefn)));
    if (!key)
        return nullptr;
    key->localColumn = BriStrdup(localColumn);
    key->referenceColumn = BriStrdup(referenceColumn);
    key->referenceTable = BriStrdup(referenceTable);
    if (!key->localColumn || !key->referenceColumn || !key->referenceTable) {
        FreeForeignKeyDefn(key);
        return nullptr;
    }
    key->reserved = reserved;
    key->onDeleteCascade = onDeleteCascade;
    key->isBidirectional = isBidirectional;
    return key;
}

extern "C" void FreeForeignKeyDefn(ForeignKeyDefn* key)
{
    if (!key)
        return;
    free(key->localColumn);
    free(key->referenceColumn);
    free(key->referenceTable);
    free(key);
}

extern "C" ConstraintDefn* CreateConstraintDefn(char** primaryKeys, int32_t primaryKeyCount, LCDVector* foreignKeys)
{
    if (primaryKeyCount < 0 || (primaryKeyCount > 0 && !primaryKeys))
        return nullptr;
    auto* constraints = static_cast<ConstraintDefn*>(BriCalloc(1, sizeof(ConstraintDefn)));
    if (!constraints)
        return nullptr;
    constraints->primaryKeys = primaryKeys;
    constraints->primaryKeyCount = primaryKeyCount;
    constraints->foreignKeys = foreignKeys;
    return constraints;
}

extern "C" int AddForeignKeyDefn(ConstraintDefn* constraints, ForeignKeyDefn* key)
{
    if (!constraints || !key)
        return VELMORA_FAILURE;
    bool created = false;
    if (!constraints->foreignKeys) {
        constraints->foreignKeys = CreateVector();
        if (!constraints->foreignKeys)
            return VELMORA_ALLOC_FAILURE;
        created = true;
    }
    if (AddElementData(constraints->foreignKeys, key) != VELMORA_SUCCESS) {
        if (created) {
            free(constraints->foreignKeys);
            constraints->foreignKeys = nullptr;
        }
        return VELMORA_ALLOC_FAILURE;
    }
    return VELMORA_SUCCESS;
}

extern "C" void FreeConstraintDefn(ConstraintDefn* constraints)
{
    if (!constraints)
        return;
    FreeStringArray(constraints->primaryKeys, constraints->primaryKeyCount);
    if (constraints->foreignKeys) {
        for (LCDNode* node = constraints->foreignKeys->head; node; node = node->next)
            FreeForeignKeyDefn(static_cast<ForeignKeyDefn*>(node->data));
        FreeVector(constraints->foreignKeys);
        free(constraints->foreignKeys);
    }
    free(constraints);
}

extern "C" TableDefn* CreateTableDefn(const char* name, const char* description, LCDVector* columns,
                                      ConstraintDefn* constraints)
{
    if (!name)
        return nullptr;
    auto* table = static_cast<TableDefn*>(BriCalloc(1, sizeof(TableDefn)));
    if (!table)
        return nullptr;
    table->name = BriStrdup(name);
    bool ok = table->name && CopyOptional(description, &table->description);
    LCDVector* own_columns = nullptr;
    ConstraintDefn* own_constraints = nullptr;
    if (ok && !columns) {
        own_columns = CreateVector();
        ok = own_columns != nullptr;
    }
    if (ok && !constraints) {
        own_constraints = CreateConstraintDefn(nullptr, 0, nullptr);
        ok = own_constraints != nullptr;
    }
    if (!ok) {
        free(own_columns);
        free(table->name);
        free(table->description);
        free(table);
        return nullptr;
    }
    table->columns = columns ? columns : own_columns;
    table->constraints = constraints ? constraints : own_constraints;
    return table;
}

extern "C" void FreeTableDefn(TableDefn* table)
{
    if (!table)
        return;
    free(table->name);
    free(table->description);
    if (table->columns) {
        for (LCDNode* node = table->columns->head; node; node = node->next)
            FreeColumnDefn(static_cast<ColumnDefn*>(node->data));
        FreeVector(table->columns);
        free(table->columns);
    }
    FreeConstraintDefn(table->constraints);
    free(table);
}
