/*
 * Shared by the in-memory table sources: column lookups over either kind of
 * definition, the registry's lookup, unlinking rows, and the compiled form
 * of a selection condition.
 */
#ifndef VELMORA_TABLES_INTERNAL_H
#define VELMORA_TABLES_INTERNAL_H

#include <stdint.h>

#include "velmora/criteria.h"
#include "velmora/table_data.h"

namespace velmora_tables {

/* Name and type of a column of a table or view definition. */
struct ColumnInfo {
    const char* name;
    uint8_t type;
};

/* Walks the columns of whichever definition a table or result has. */
class ColumnWalk {
public:
    ColumnWalk(uint8_t kind, const TableDefn* table, const CustomViewDefn* view);
    /* The next column, false at the end. */
    bool Next(ColumnInfo* info);

private:
    LCDNode* node_;
    bool view_;
};

/* Position (0-based) of the column named name, case-insensitively, or -1. */
int32_t FindColumn(uint8_t kind, const TableDefn* table, const CustomViewDefn* view, const char* name,
                   uint8_t* type = nullptr);
/* The column at a 0-based position; false when out of range. */
bool ColumnAt(uint8_t kind, const TableDefn* table, const CustomViewDefn* view, int32_t index, ColumnInfo* info);

/* Unlinks row from the table's list given the row before it (null for the
 * first row), keeping lastRow right. */
void UnlinkRow(TableData* table, RowObject* previous, RowObject* row);

/* A heap copy of length bytes of source plus a terminating 0 (BriMalloc);
 * null on failure. */
void* CopyValue(const void* source, int32_t length);

/* A parsed condition turned into a postfix program over column positions,
 * with each leaf's value converted once: evaluating a row needs neither
 * allocation nor recursion. */
class ConditionProgram {
public:
    ConditionProgram() = default;
    ~ConditionProgram();
    ConditionProgram(const ConditionProgram&) = delete;
    ConditionProgram& operator=(const ConditionProgram&) = delete;

    /* Compiles root against a table definition whose rows hold
     * columnCount values (a column past them matches nothing): 1, or 99 on
     * allocation failure. */
    int Compile(const CriteriaNode* root, const TableDefn* table, int32_t columnCount);
    /* Whether row satisfies the condition. */
    bool Matches(const RowObject* row) const;

    struct Step;

private:
    Step* steps_ = nullptr;
    int32_t count_ = 0;
    uint8_t* stack_ = nullptr;
};

/* Appends node to a singly linked list held as first and last (rows of a
 * table, references of a result). When last was not kept, because code
 * outside linked nodes into first by hand, the end is found once. */
template <typename Node> void AppendToList(Node*& first, Node*& last, Node* node)
{
    node->next = nullptr;
    if (!last && first) {
        for (last = first; last->next; last = last->next) { }
    }
    if (last)
        last->next = node;
    else
        first = node;
    last = node;
}

/* Parses condition text (a line end is appended) while the caller holds
 * gv_criteriaLock. Null when it does not parse or memory runs out. */
CriteriaNode* ParseConditionText(const char* condition);

/* The rows of table that condition selects (every row for a null
 * condition), with *status 1, or null with *status 0 (the condition does
 * not parse, or it is set on a view or a table without columns) or 99 (no
 * memory). Takes gv_criteriaLock while it parses and evaluates. */
ResultData* RunSelection(TableData* table, const char* condition, int* status);

} // namespace velmora_tables

#endif
