/*
 * Conditions compiled for evaluation over many rows.
 *
 * The parsed tree is walked once, children before parents, into a postfix
 * program: a leaf pushes whether the row's value satisfies it, AND and OR
 * pop two truth values and push one. Each leaf's column is resolved and its
 * value text converted here, once per selection, and the comparison it
 * needs is fixed by the column type, so evaluating a row is a loop over the
 * steps with a stack allocated once.
 *
 * The comparisons give exactly what CompareColumnValue gives for the same
 * stored and converted values: integers widened from the bytes they have,
 * float, text byte-wise without the criteria's quotes; every other type
 * matches nothing. A NULL stored value never matches.
 */
#include <stdlib.h>
#include <string.h>

#include <string_view>

#include "store/column_type_info.h"
#include "store/comparison.h"
#include "tables_internal.h"
#include "velmora/base_alloc.h"
#include "velmora/column_types.h"
#include "velmora/string_routines.h"

// Leaves carry the parser's operator codes; the value comparisons and
// CombineTruthValues take the same numbers.
static_assert(CRITERIA_LT == BRI_OP_LESS && CRITERIA_GT == BRI_OP_GREATER && CRITERIA_LE == BRI_OP_LESS_EQUAL &&
                  CRITERIA_GE == BRI_OP_GREATER_EQUAL && CRITERIA_EQ == BRI_OP_EQUAL &&
                  CRITERIA_NE == BRI_OP_NOT_EQUAL && CRITERIA_AND == BRI_OP_AND && CRITERIA_OR == BRI_OP_OR,
              "condition and comparison operator codes differ");

namespace velmora_tables {

namespace {

using velmora::Ordering;
using velmora::WidenInteger;

struct Builder {
    ConditionProgram::Step* steps;
    int32_t used;
    const TableDefn* table;
    int32_t columnCount;
    int status;
};

} // namespace

struct ConditionProgram::Step {
    uint8_t op;       /* 1-6 a leaf; 7, 8 AND, OR */
    Ordering compare; /* leaves */
    uint8_t operands; /* inner nodes: bit 0 left present, bit 1 right present */
    int32_t column;   /* leaves: position in the row */
    int64_t number;   /* Signed32, Unsigned32, Signed64 */
    float real;       /* Float */
    const char* text; /* Text: the criteria without its quotes */
    size_t textLength;
    void* converted; /* owned */
};

namespace {

int CountNode(const CriteriaNode*, void* context)
{
    ++*static_cast<int32_t*>(context);
    return 1;
}

int CompileLeaf(ConditionProgram::Step* step, const CriteriaNode* node, const TableDefn* table, int32_t columnCount)
{
    uint8_t type = 0;
    int32_t column = FindColumn(TABLE_KIND_TABLE, table, nullptr, node->columnName, &type);
    // A column defined after the table was created has no value in its rows.
    if (column >= columnCount)
        column = -1;
    step->compare = column < 0 ? Ordering::None : velmora::ColumnType(type).ordering;
    step->column = column;
    if (step->compare == Ordering::None || !node->value)
        return VELMORA_SUCCESS;
    int32_t length = 0;
    step->converted = ConvertStringToColumnValue(node->value, &length, type);
    // For these types a value text only fails to convert for lack of memory.
    if (!step->converted)
        return VELMORA_ALLOC_FAILURE;
    switch (step->compare) {
    case Ordering::Signed32:
    case Ordering::Unsigned32:
    case Ordering::Signed64:
        step->number = ColumnValueToInt64(step->converted, length, type);
        break;
    case Ordering::Float:
        memcpy(&step->real, step->converted, sizeof step->real);
        break;
    case Ordering::Text: {
        const char* text = static_cast<const char*>(step->converted);
        size_t size = strnlen(text, static_cast<size_t>(length));
        if (size >= 2 && (text[0] == '\'' || text[0] == '"') && text[size - 1] == text[0]) {
            text++;
            size -= 2;
        }
        step->text = text;
        step->textLength = size;
        break;
    }
    default:
        break;
    }
    return VELMORA_SUCCESS;
}

int AddStep(const CriteriaNode* node, void* context)
{
    auto* builder = static_cast<Builder*>(context);
    ConditionProgram::Step* step = &builder->steps[builder->used++];
    step->op = node->op;
    step->column = -1;
    if (node->op == CRITERIA_AND || node->op == CRITERIA_OR || node->left || node->right) {
        step->operands = static_cast<uint8_t>((node->left ? 1 : 0) | (node->right ? 2 : 0));
        return 1;
    }
    builder->status = CompileLeaf(step, node, builder->table, builder->columnCount);
    return builder->status == VELMORA_SUCCESS;
}

inline bool LeafHolds(const ConditionProgram::Step& step, const RowObject* row)
{
    // An unknown column (position -1) or a type without ordering.
    if (step.compare == Ordering::None)
        return false;
    const void* value = row->values[step.column];
    if (!value)
        return false;
    int32_t length = row->lengths[step.column];
    switch (step.compare) {
    case Ordering::Signed32:
        return velmora::ComparisonHolds(static_cast<int32_t>(WidenInteger(value, length, 4, true)),
                                        static_cast<int32_t>(step.number), step.op);
    case Ordering::Unsigned32:
        return velmora::ComparisonHolds(static_cast<uint32_t>(WidenInteger(value, length, 4, false)),
                                        static_cast<uint32_t>(step.number), step.op);
    case Ordering::Signed64:
        return velmora::ComparisonHolds(WidenInteger(value, length, 8, true), step.number, step.op);
    case Ordering::Float: {
        if (length < 4)
            return false;
        float real;
        memcpy(&real, value, sizeof real);
        return velmora::ComparisonHolds(real, step.real, step.op);
    }
    case Ordering::Text: {
        const char* text = static_cast<const char*>(value);
        std::string_view stored(text, strnlen(text, length < 0 ? 0 : static_cast<size_t>(length)));
        return velmora::ComparisonHolds(stored.compare(std::string_view(step.text, step.textLength)), 0, step.op);
    }
    default:
        return false;
    }
}

} // namespace

ConditionProgram::~ConditionProgram()
{
    for (int32_t i = 0; i < count_; i++)
        free(steps_[i].converted);
    free(steps_);
    free(stack_);
}

int ConditionProgram::Compile(const CriteriaNode* root, const TableDefn* table, int32_t columnCount)
{
    int32_t nodes = 0;
    WalkCriteriaTree(root, CountNode, &nodes);
    if (nodes == 0)
        return VELMORA_FAILURE;
    steps_ = static_cast<Step*>(BriCalloc(static_cast<size_t>(nodes), sizeof(Step)));
    stack_ = static_cast<uint8_t*>(BriMalloc(static_cast<size_t>(nodes)));
    if (!steps_ || !stack_)
        return VELMORA_ALLOC_FAILURE;
    count_ = nodes; // the destructor frees whatever was converted so far
    Builder builder{steps_, 0, table, columnCount, VELMORA_SUCCESS};
    WalkCriteriaTree(root, AddStep, &builder);
    return builder.status;
}

bool ConditionProgram::Matches(const RowObject* row) const
{
    int32_t top = 0;
    for (int32_t i = 0; i < count_; i++) {
        const Step& step = steps_[i];
        if (step.op == CRITERIA_AND || step.op == CRITERIA_OR || step.operands) {
            // An absent child counts as true.
            bool right = (step.operands & 2) ? stack_[--top] != 0 : true;
            bool left = (step.operands & 1) ? stack_[--top] != 0 : true;
            bool result = step.op == CRITERIA_AND ? (left && right) : step.op == CRITERIA_OR ? (left || right) : false;
            stack_[top++] = result;
        } else {
            stack_[top++] = LeafHolds(step, row);
        }
    }
    return top > 0 && stack_[top - 1] != 0;
}

CriteriaNode* ParseConditionText(const char* condition)
{
    size_t size = strlen(condition);
    auto* text = static_cast<char*>(BriMalloc(size + 2));
    if (!text)
        return nullptr;
    memcpy(text, condition, size);
    text[size] = '\n';
    text[size + 1] = '\0';
    CriteriaNode* root = ParseCondition(text);
    free(text);
    return root;
}

} // namespace velmora_tables
