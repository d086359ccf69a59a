/*
 * Update, insert and delete statements for one row of a table, keyed by the
 * table's primary key, in any dialect.
 *
 * Each value is written straight into the statement as a literal of its
 * column's type (sql_writer.h): quoted and escaped text, numbers that read
 * as numbers, booleans as the dialect's column holds them. No value is
 * turned into a separate string first, so a statement is one buffer and a
 * handful of appends per column.
 */
#include <stdlib.h>

#include "dialect_style.h"
#include "runtime/log.h"
#include "velmora/table_defn.h"

namespace velmora_sql {

namespace {

const char kUnsupported[] = "Unsupported Datatype Used in Query generation.\n";
const char kNoMemory[] = "MEMORY_ALLOCATION_FAILURE - Cannot generate insert query.\n";

/* The definition of a table that has columns, or null. */
const TableDefn* UsableDefinition(const char* tableName)
{
    const TableDefn* definition = GetTableDefnByName(tableName);
    if (!definition || !definition->columns || definition->columns->count == 0)
        return nullptr;
    return definition;
}

/* Logs why a writer's text was lost and gives null. */
char* Refuse(const SqlWriter& out)
{
    LogError("%s", out.status() == VELMORA_ALLOC_FAILURE ? kNoMemory : kUnsupported);
    return nullptr;
}

/* The column's value and length in the row; a column of the row array that
 * has no definition stands at index. */
struct ColumnSlot {
    const ColumnDefn* column;
    const void* value;
    int32_t length;
};

/* Calls visit(slot) for each column of the definition, in order. */
template <typename Visit> void ForEachColumn(const TableDefn* definition, const RowObject* row, Visit visit)
{
    int32_t index = 0;
    for (const LCDNode* node = definition->columns->head; node; node = node->next, index++) {
        const auto* column = static_cast<const ColumnDefn*>(node->data);
        if (!column)
            continue;
        visit(ColumnSlot{column, row->values[index], row->lengths[index]});
    }
}

bool RowUsable(const RowObject* row) { return row && row->values && row->lengths; }

} // namespace

char* GenerateUpdate(const DialectStyle& style, const char* tableName, const RowObject* row)
{
    if (style.traceRowStatements)
        LogDebug("@@@ Inside %sGenUpdateQuery @@@\n", style.prefix);
    const TableDefn* definition = UsableDefinition(tableName);
    if (!definition || !RowUsable(row))
        return nullptr;
    SqlWriter out(TEXT_BUFFER_DEFAULT_CAPACITY, TEXT_BUFFER_DEFAULT_STEP);
    if (!out.created()) {
        LogError("%s", kNoMemory);
        return nullptr;
    }
    out.Add("update ").Add(tableName).Add(" set ");
    // Set list first, then the key terms in a second pass: one buffer.
    bool firstSet = true;
    ForEachColumn(definition, row, [&](const ColumnSlot& slot) {
        if (!out.ok() || IsPrimaryKeyColumn(definition, slot.column->name))
            return;
        out.Add(firstSet ? "" : ",").Add(slot.column->name).Add("=");
        AppendLiteral(out, style.literals, ValuePlace::Set, slot.value, slot.length, slot.column->type);
        firstSet = false;
    });
    int32_t keyTerms = 0;
    ForEachColumn(definition, row, [&](const ColumnSlot& slot) {
        if (!out.ok() || !IsPrimaryKeyColumn(definition, slot.column->name))
            return;
        LogDebug("@@@ Update Query has Primary Key in Set clause @@@\n");
        // A NULL key value is no term: "key=NULL" would match nothing.
        if (!slot.value)
            return;
        out.Add(keyTerms == 0 ? " where " : " and ").Add(slot.column->name).Add("=");
        AppendLiteral(out, style.literals, ValuePlace::Compare, slot.value, slot.length, slot.column->type);
        keyTerms++;
    });
    if (!out.ok())
        return Refuse(out);
    if (firstSet) {
        // Every column is a key column: there is nothing to set.
        LogError("No Columns To Be Updated in %s\n", tableName);
        return nullptr;
    }
    if (keyTerms == 0 && definition->constraints && definition->constraints->primaryKeyCount > 0) {
        // Without any key term the update would change every row.
        LogError("No Primary Key Value To Update %s\n", tableName);
        return nullptr;
    }
    LogDebug(style.updateLog, out.text());
    return out.Take();
}

char* GenerateInsert(const DialectStyle& style, const char* tableName, const RowObject* row)
{
    if (style.traceRowStatements)
        LogDebug("@@@ Inside %sGenInsertQuery @@@\n", style.prefix);
    const TableDefn* definition = UsableDefinition(tableName);
    if (!definition || !RowUsable(row))
        return nullptr;
    SqlWriter out(TEXT_BUFFER_DEFAULT_CAPACITY, TEXT_BUFFER_DEFAULT_STEP);
    if (!out.created()) {
        LogError("%s", kNoMemory);
        return nullptr;
    }
    out.Add("insert into  ").Add(tableName).Add(" values(");
    bool first = true;
    ForEachColumn(definition, row, [&](const ColumnSlot& slot) {
        if (!first)
            out.Add(",");
        AppendLiteral(out, style.literals, ValuePlace::Insert, slot.value, slot.length, slot.column->type);
        first = false;
    });
    out.Add(style.insertClose);
    if (!out.ok())
        return Refuse(out);
    if (style.logInsert)
        LogDebug("Insert query is @@@%s\n", out.text());
    return out.Take();
}

char* GenerateDelete(const DialectStyle& style, const char* tableName, const RowObject* row)
{
    if (style.traceRowStatements)
        LogDebug("@@@ Inside %sGenDeleteQuery @@@\n", style.prefix);
    const TableDefn* definition = UsableDefinition(tableName);
    if (!definition || !RowUsable(row))
        return nullptr;
    SqlWriter out(TEXT_BUFFER_DEFAULT_CAPACITY, TEXT_BUFFER_DEFAULT_STEP);
    if (!out.created()) {
        LogError("%s", kNoMemory);
        return nullptr;
    }
    out.Add("delete from ").Add(tableName).Add(" ");
    int32_t keyTerms = 0;
    ForEachColumn(definition, row, [&](const ColumnSlot& slot) {
        if (!out.ok() || !IsPrimaryKeyColumn(definition, slot.column->name))
            return;
        out.Add(keyTerms == 0 ? " where " : " and ").Add(slot.column->name).Add("=");
        AppendLiteral(out, style.literals, ValuePlace::Compare, slot.value, slot.length, slot.column->type);
        keyTerms++;
    });
    if (!out.ok())
        return Refuse(out);
    LogDebug("Delete query is @@@%s\n", out.text());
    return out.Take();
}

} // namespace velmora_sql
