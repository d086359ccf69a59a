/*
 * Select statements from a SelectQuery, in any dialect, and the pieces of
 * a select (select list, joins, table list, condition, group by, sort) as
 * text in the query's pool.
 *
 * The condition is printed as the tree groups it: every AND/OR node's text
 * is parenthesised, so (x = 1 OR y = 2) AND z = 3 does not reach the
 * engine as x = 1 OR (y = 2 AND z = 3). The walk keeps its own stack, so a
 * deep tree cannot exhaust the C stack.
 */
#include <stdlib.h>
#include <string.h>

#include <new>
#include <string>
#include <vector>

#include "dialect_style.h"
#include "runtime/log.h"
#include "velmora/string_routines.h"

namespace velmora_sql {

namespace {

/* Deeper trees than this are refused rather than walked (a cycle in a
 * hand-built tree would otherwise never end). */
constexpr size_t kMaxConditionDepth = 100000;

bool Present(const char* text) { return text && *text; }

/* Qualifier + "." + column name; fallback qualifies an unqualified column
 * (joins). */
void WriteQualifiedColumn(SqlWriter& out, const QueryColumn& column, const char* fallback = nullptr)
{
    const char* qualifier = GetQueryColumnQualifier(&column);
    if (!qualifier && Present(fallback))
        qualifier = fallback;
    if (qualifier)
        out.Add(qualifier).Add(".");
    out.Add(column.columnName ? column.columnName : "");
}

const QueryColumn* ColumnAt(const LCDNode* node) { return static_cast<const QueryColumn*>(node->data); }

bool WriteColumns(SqlWriter& out, LCDVector* columns)
{
    for (const LCDNode* node = columns->head; node; node = node->next) {
        const QueryColumn* column = ColumnAt(node);
        if (!column)
            continue;
        if (column->aggregate != QUERY_AGGREGATE_NONE) {
            const char* name = GetQueryAggregateName(column->aggregate);
            if (!name) {
                LogError("\nInvalid Aggregate Type\n");
                return false;
            }
            out.Add(" ").Add(name).Add("(");
            if (column->columnName)
                WriteQualifiedColumn(out, *column);
            else
                out.Add("*");
            out.Add(")");
        } else {
            if (!column->columnName) {
                LogError("\nColumn Name is NULL\n");
                return false;
            }
            WriteQualifiedColumn(out, *column);
            if (Present(column->columnAlias))
                out.Add(" as ").Add(column->columnAlias).Add(" ");
        }
        out.Add(node->next ? "," : " \n");
    }
    return true;
}

bool WriteJoins(SqlWriter& out, const DialectStyle& style, LCDVector* joins)
{
    bool first = true;
    for (const LCDNode* node = joins->head; node; node = node->next) {
        const auto* join = static_cast<const JoinClause*>(node->data);
        if (!join)
            continue;
        if (!join->baseTable || !join->referenceTable) {
            LogError("\nNo Tables To Be Selected\n");
            return false;
        }
        if (first) {
            out.Add(" ").Add(join->baseTable).Add(" ");
            if (Present(join->baseAlias))
                out.Format(style.joinAlias, join->baseAlias);
        }
        first = false;
        if (join->joinType == QUERY_INNER_JOIN) {
            out.Add(" inner join ");
        } else if (join->joinType == QUERY_LEFT_JOIN) {
            out.Add(" left join ");
        } else {
            LogError("Invalid Join Type\n");
            return false;
        }
        out.Add(" ").Add(join->referenceTable).Add(" ");
        if (Present(join->referenceAlias))
            out.Format(style.joinAlias, join->referenceAlias);
        LCDVector* base = join->baseColumns;
        LCDVector* reference = join->referenceColumns;
        if (!base || !reference || base->count == 0 || reference->count == 0)
            continue;
        if (base->count != reference->count) {
            LogError("Join Columns Do Not Pair Up\n");
            return false;
        }
        const char* baseQualifier = Present(join->baseAlias) ? join->baseAlias : join->baseTable;
        const char* referenceQualifier = Present(join->referenceAlias) ? join->referenceAlias : join->referenceTable;
        out.Add(" on ");
        const LCDNode* right = reference->head;
        for (const LCDNode* left = base->head; left && right; left = left->next, right = right->next) {
            const QueryColumn* leftColumn = ColumnAt(left);
            const QueryColumn* rightColumn = ColumnAt(right);
            if (!leftColumn || !rightColumn || !leftColumn->columnName || !rightColumn->columnName) {
                LogError("\nColumn Name is NULL\n");
                return false;
            }
            if (left != base->head)
                out.Add(" and ");
            WriteQualifiedColumn(out, *leftColumn, baseQualifier);
            out.Add(" = ");
            WriteQualifiedColumn(out, *rightColumn, referenceQualifier);
        }
        out.Add(" ");
    }
    return true;
}

bool WriteTableList(SqlWriter& out, const DialectStyle& style, LCDVector* tables)
{
    for (const LCDNode* node = tables->head; node; node = node->next) {
        const auto* table = static_cast<const QueryTable*>(node->data);
        if (!table || !table->tableName) {
            LogError("\nNo Tables To Be Selected\n");
            return false;
        }
        out.Add(table->tableName);
        if (Present(table->alias))
            out.Format(style.tableAlias, table->alias);
        out.Add(node->next ? ", " : "\n");
    }
    return true;
}

/* Removes the quotes around a bound and undoubles the quotes inside. */
std::string Unquote(std::string bound)
{
    if (bound.size() >= 2 && bound.front() == '\'' && bound.back() == '\'') {
        std::string plain;
        for (size_t i = 1; i + 1 < bound.size(); i++) {
            plain += bound[i];
            if (bound[i] == '\'' && i + 2 < bound.size() && bound[i + 1] == '\'')
                i++;
        }
        return plain;
    }
    return bound;
}

std::string Trim(const std::string& text)
{
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return "";
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

/* A BETWEEN value holds both bounds and the word "and" between them. Each
 * bound is written as a literal of the column's type, so that the text
 * stays data: "1 and 5", "'a' and 'b''c'". false when it does not split into
 * two bounds that are literals of the type. */
bool WriteBetweenValue(SqlWriter& out, const DialectStyle& style, const QueryCondition& leaf)
{
    const char* text = static_cast<const char*>(leaf.value);
    size_t size = text && leaf.valueLength > 0 ? strnlen(text, static_cast<size_t>(leaf.valueLength)) : 0;
    std::string value(text ? text : "", size);
    // The word "and" outside quotes, with a blank on each side.
    size_t split = std::string::npos;
    bool quoted = false;
    for (size_t i = 0; i < value.size(); i++) {
        if (value[i] == '\'')
            quoted = !quoted;
        else if (!quoted && i + 5 <= value.size() && (value[i] == ' ' || value[i] == '\t') &&
                 CompareNoCaseBounded(value.c_str() + i + 1, "and", 3) == 0 &&
                 (value[i + 4] == ' ' || value[i + 4] == '\t')) {
            split = i;
            break;
        }
    }
    if (split == std::string::npos)
        return false;
    std::string bounds[2] = {Unquote(Trim(value.substr(0, split))), Unquote(Trim(value.substr(split + 5)))};
    uint8_t type = leaf.column->type;
    out.Add(" ");
    for (int i = 0; i < 2; i++) {
        if (i)
            out.Add(" and ");
        if (IsQuotedType(type)) {
            AppendQuoted(out, bounds[i].c_str(), static_cast<int32_t>(bounds[i].size()),
                         style.literals.escapeBackslash);
            continue;
        }
        // Numbers must read as numbers: the converter would read "5x" as 0.
        const std::string& b = bounds[i];
        if (type <= BRI_SQL_UNSIGNED_LONG_INT || (type >= BRI_SQL_FLOAT && type <= BRI_SQL_NUMERIC)) {
            size_t start = b.size() && (b[0] == '+' || b[0] == '-') ? 1 : 0;
            if (start == b.size() || b.find_first_not_of("0123456789.eE+-", start) != std::string::npos) {
                out.Fail();
                return false;
            }
        }
        int32_t length = static_cast<int32_t>(b.size());
        void* bound = ConvertStringToColumnValue(b.c_str(), &length, type);
        if (!bound) {
            // Only a boolean bound can be refused here; the rest lacks memory.
            if (type == BRI_SQL_BOOLEAN || type == BRI_SQL_NOT_SUPPORTED_TYPE || type > BRI_SQL_MAX_TYPE)
                out.Fail();
            else
                out.OutOfMemory();
            return false;
        }
        bool written = AppendLiteral(out, style.literals, ValuePlace::Compare, bound, length, type);
        free(bound);
        if (!written)
            return false;
    }
    out.Add(" ");
    return out.ok();
}

bool WriteLeaf(SqlWriter& out, const DialectStyle& style, const QueryCondition& leaf)
{
    const QueryColumn* column = leaf.column;
    const char* op = GetQueryOperatorText(leaf.op);
    if (!op || leaf.op == QUERY_OP_INVALID || leaf.op == QUERY_OP_AND || leaf.op == QUERY_OP_OR) {
        LogError("\nInvalid Operator\n");
        return false;
    }
    const char* qualifier = GetQueryColumnQualifier(column);
    if (qualifier)
        out.Add(" ").Add(qualifier).Add(".");
    out.Add(column->columnName ? column->columnName : "").Add(" ").Add(op).Add(" ");
    if (!column->columnName)
        return true;
    if (leaf.op == QUERY_OP_BETWEEN) {
        if (!WriteBetweenValue(out, style, leaf)) {
            if (out.status() != VELMORA_ALLOC_FAILURE)
                LogError("Unsupported Datatype Used in Query generation.\n");
            return false;
        }
        return true;
    }
    out.Add(" ");
    if (!AppendLiteral(out, style.literals, ValuePlace::Compare, leaf.value, leaf.valueLength, column->type)) {
        if (out.status() != VELMORA_ALLOC_FAILURE)
            LogError("Unsupported Datatype Used in Query generation.\n");
        return false;
    }
    out.Add(" ");
    return true;
}

bool WriteCondition(SqlWriter& out, const DialectStyle& style, const QueryCondition* root)
{
    struct Frame {
        const QueryCondition* node;
        int stage; // 0: not started, 1: left done, 2: right done
    };
    std::vector<Frame> stack{{root, 0}};
    while (!stack.empty() && out.ok()) {
        Frame& frame = stack.back();
        const QueryCondition* node = frame.node;
        if (!node) {
            LogError("\nEmpty Condition Assigned\n");
            return false;
        }
        bool junction = node->op == QUERY_OP_AND || node->op == QUERY_OP_OR;
        if (!junction) {
            if (!node->column) {
                LogError("\nEmpty Column Assigned\n");
                return false;
            }
            if (!WriteLeaf(out, style, *node))
                return false;
            stack.pop_back();
            continue;
        }
        if (stack.size() > kMaxConditionDepth) {
            LogError("Condition Too Deep\n");
            return false;
        }
        switch (frame.stage++) {
        case 0:
            out.Add("(");
            stack.push_back({node->left, 0});
            break;
        case 1:
            out.Add(" ").Add(GetQueryOperatorText(node->op)).Add(" ");
            stack.push_back({node->right, 0});
            break;
        default:
            out.Add(")");
            stack.pop_back();
            break;
        }
    }
    return out.ok();
}

bool WriteHaving(SqlWriter& out, const DialectStyle& style, const QueryCondition& having)
{
    const QueryColumn* column = having.column;
    if (!column) {
        LogError("\nEmpty Column Assigned\n");
        return false;
    }
    const char* op = GetQueryOperatorText(having.op);
    if (!op || having.op == QUERY_OP_INVALID || having.op == QUERY_OP_AND || having.op == QUERY_OP_OR) {
        LogError("\nInvalid Operator\n");
        return false;
    }
    out.Add("having ");
    if (column->aggregate != QUERY_AGGREGATE_NONE) {
        const char* name = GetQueryAggregateName(column->aggregate);
        if (!name) {
            LogError("\nInvalid Aggregate Type\n");
            return false;
        }
        out.Add(" ").Add(name).Add("(");
        if (column->columnName)
            WriteQualifiedColumn(out, *column);
        else
            out.Add("*");
        out.Add(") ");
    } else if (column->columnName) {
        // A plain grouped column needs no function around it.
        WriteQualifiedColumn(out, *column);
        out.Add(" ");
    } else {
        LogError("\nColumn Name is NULL\n");
        return false;
    }
    out.Add(" ").Add(op).Add("  ");
    if (!AppendLiteral(out, style.literals, ValuePlace::Compare, having.value, having.valueLength, column->type)) {
        if (out.status() != VELMORA_ALLOC_FAILURE)
            LogError("Unsupported Datatype Used in Query generation.\n");
        return false;
    }
    out.Add(" ");
    return true;
}

bool WriteGroupBy(SqlWriter& out, const DialectStyle& style, const GroupByClause& groupBy)
{
    if (groupBy.columns && groupBy.columns->count > 0) {
        out.Add("group by ");
        for (const LCDNode* node = groupBy.columns->head; node; node = node->next) {
            const QueryColumn* column = ColumnAt(node);
            if (!column || (!column->columnName && !Present(column->columnAlias))) {
                LogError("\nColumn Name is NULL\n");
                return false;
            }
            if (Present(column->columnAlias)) {
                out.Add(column->columnAlias);
            } else {
                // Qualified as in the select list: a table that has an
                // alias in the query is known only by it.
                WriteQualifiedColumn(out, *column);
            }
            out.Add(node->next ? "," : "\n");
        }
    }
    if (groupBy.having)
        return WriteHaving(out, style, *groupBy.having);
    return true;
}

bool WriteSort(SqlWriter& out, const SortClause& sort)
{
    if (!sort.columns || sort.columns->count == 0)
        return true;
    out.Add("order by ");
    for (const LCDNode* node = sort.columns->head; node; node = node->next) {
        const QueryColumn* column = ColumnAt(node);
        if (!column || !column->columnName) {
            LogError("\nColumn Name is NULL\n");
            return false;
        }
        WriteQualifiedColumn(out, *column);
        // The clause's one direction holds for every column; SQL gives a
        // column without its own direction the ascending order.
        out.Add(node->next ? (sort.ascending ? " asc," : " desc,") : " ");
    }
    out.Add(sort.ascending ? " asc " : " desc ");
    return true;
}

bool HasItems(const LCDVector* list) { return list && list->count > 0; }

bool WriteSelect(SqlWriter& out, const DialectStyle& style, SelectQuery& query)
{
    out.Add("select ");
    if (style.paging == Paging::FirstSkip) {
        if (query.limit)
            out.Format("first %d ", query.limit);
        if (query.offset)
            out.Format("skip %d ", query.offset);
    }
    if (HasItems(query.columns)) {
        if (!WriteColumns(out, query.columns))
            return false;
        out.Add("from ");
    } else {
        out.Add(style.paging == Paging::FirstSkip && (query.limit || query.offset) ? " * from " : "* from ");
    }
    bool joins = HasItems(query.joins), tables = HasItems(query.tables);
    if (!joins && !tables) {
        LogError("\nNo Tables To Be Selected\n");
        return false;
    }
    if (joins && !WriteJoins(out, style, query.joins))
        return false;
    if (tables) {
        if (joins)
            out.Add(",");
        if (!WriteTableList(out, style, query.tables))
            return false;
    }
    if (query.criteria) {
        out.Add("where ");
        if (!WriteCondition(out, style, query.criteria))
            return false;
    }
    if (query.groupBy && !WriteGroupBy(out, style, *query.groupBy))
        return false;
    if (query.sort && !WriteSort(out, *query.sort))
        return false;
    if (query.limit && style.paging == Paging::LimitCommaOffset) {
        out.Add("limit");
        if (query.offset)
            out.Format(" %d ,", query.offset);
        out.Format(" %d", query.limit);
    } else if (query.limit && style.paging == Paging::LimitThenOffset) {
        out.Format("limit %d", query.limit);
        if (query.offset)
            out.Format(" offset %d", query.offset);
    }
    return out.ok();
}

/* The writer's text copied into pool, or null. */
char* ToPool(const SqlWriter& out, MemPool* pool)
{
    if (!out.ok())
        return nullptr;
    void* copy = nullptr;
    if (PoolMemdup(&copy, out.text(), static_cast<size_t>(out.length()), pool) != VELMORA_SUCCESS)
        return nullptr;
    return static_cast<char*>(copy);
}

/* Runs write into a fresh select-sized writer and hands its text to pool. */
template <typename Write> char* PoolPiece(const DialectStyle& style, MemPool* pool, const char* piece, Write write)
{
    LogDebug("@@@@@@@@@@@ - INSIDE %s%s - @@@@@@@@@@@@@\n", style.prefix, piece);
    if (!pool)
        return nullptr;
    try {
        SqlWriter out(TEXT_BUFFER_SQL_CAPACITY, TEXT_BUFFER_SQL_STEP);
        if (!out.created() || !write(out))
            return nullptr;
        return ToPool(out, pool);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

} // namespace

char* GenerateSelect(const DialectStyle& style, SelectQuery* query)
{
    LogDebug("@@@@@@@@@@@ - INSIDE %sGenSelectQuery - @@@@@@@@@@@@@\n", style.prefix);
    if (!query) {
        LogError("\nNo Tables To Be Selected\n");
        return nullptr;
    }
    try {
        SqlWriter out(TEXT_BUFFER_SQL_CAPACITY, TEXT_BUFFER_SQL_STEP);
        if (!out.created() || !WriteSelect(out, style, *query))
            return nullptr;
        char* copy = out.Copy();
        if (!copy) {
            LogError("@@@ Query String Copy falied @@@\n");
            return nullptr;
        }
        LogDebug("\nSelect Query constructed is\n%s\n", copy);
        return copy;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

char* ColumnsPiece(const DialectStyle& style, LCDVector* columns, MemPool* pool)
{
    return PoolPiece(style, pool, "GenerateColumnsStr",
                     [&](SqlWriter& out) { return columns && WriteColumns(out, columns); });
}

char* JoinsPiece(const DialectStyle& style, LCDVector* joins, MemPool* pool)
{
    return PoolPiece(style, pool, "GenerateJoinsStr",
                     [&](SqlWriter& out) { return joins && WriteJoins(out, style, joins); });
}

char* TableListPiece(const DialectStyle& style, LCDVector* tables, MemPool* pool)
{
    return PoolPiece(style, pool, "GenerateTableListStr",
                     [&](SqlWriter& out) { return tables && WriteTableList(out, style, tables); });
}

char* CriteriaPiece(const DialectStyle& style, QueryCondition* criteria, MemPool* pool)
{
    return PoolPiece(style, pool, "GenerateCriteriaStr",
                     [&](SqlWriter& out) { return criteria && WriteCondition(out, style, criteria); });
}

char* GroupByPiece(const DialectStyle& style, GroupByClause* groupBy, MemPool* pool)
{
    return PoolPiece(style, pool, "GenerateGroupByStr",
                     [&](SqlWriter& out) { return groupBy && WriteGroupBy(out, style, *groupBy); });
}

char* SortPiece(const DialectStyle& style, SortClause* sort, MemPool* pool)
{
    return PoolPiece(style, pool, "GenerateSortColumnStr",
                     [&](SqlWriter& out) { return sort && WriteSort(out, *sort); });
}

} // namespace velmora_sql
