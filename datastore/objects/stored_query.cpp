/*
 * Stored queries rebuilt from the rows of the query tables.
 *
 * Each detail row is read with one statement (all its fields at once); the
 * ids that select the rows are integers, so no text read from the database
 * is ever pasted into a statement here. Condition expressions are followed
 * with the ids on the current path remembered, so rows that refer to each
 * other in a loop end with an error line instead of recursing forever.
 */
#include "velmora/stored_query.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "runtime/log.h"
#include "table_connection.h"
#include "table_rows.h"
#include "velmora/db_provider.h"
#include "velmora/sql_statements.h"
#include "velmora/table_defn.h"

using velmora_objects::ReadTextRows;
using velmora_objects::TextRow;

namespace {

// The rows of statement, or none (a failing select leaves the part empty).
std::vector<TextRow> Rows(const char* table, const std::string& statement)
{
    auto rows = ReadTextRows(table, statement);
    return rows ? std::move(*rows) : std::vector<TextRow>{};
}

std::string Select(const char* columns, const char* table, const char* idColumn, int64_t id)
{
    return std::string("SELECT ") + columns + " FROM " + table + " WHERE " + idColumn + " = " + std::to_string(id);
}

// The ids a query's link table lists, in result order.
std::vector<int64_t> LinkedIds(const char* table, const char* idColumn, int32_t queryId)
{
    std::vector<int64_t> ids;
    for (const TextRow& row : Rows(table, Select(idColumn, table, "QUERY_ID", queryId))) {
        int64_t id = row.GetInt(idColumn, INT64_MIN);
        if (id == INT64_MIN || id < INT32_MIN || id > INT32_MAX) {
            LogError("%s of query %d is no integer; row skipped\n", idColumn, queryId);
            continue;
        }
        ids.push_back(id);
    }
    return ids;
}

// Text of an optional value, null when absent (the constructors copy it).
const char* Text(const std::optional<std::string>& value) { return value ? value->c_str() : nullptr; }

// The column's type in the dictionary; 14 (CHAR) when the table or column
// is not defined.
uint8_t DefinedType(const char* table, const char* column)
{
    uint8_t type = table && column ? GetColumnDefnType(table, column) : 0;
    return type ? type : static_cast<uint8_t>(BRI_SQL_CHAR);
}

uint8_t AggregateCode(const char* name)
{
    for (uint8_t code = 1; name && code <= QUERY_AGGREGATE_MAX_CODE; code++)
        if (std::strcmp(name, GetQueryAggregateName(code)) == 0)
            return code;
    return QUERY_AGGREGATE_NONE;
}

uint8_t OperatorCode(const char* text)
{
    for (uint8_t code = 1; text && code <= QUERY_OP_MAX_CODE; code++)
        if (std::strcmp(text, GetQueryOperatorText(code)) == 0)
            return code;
    return QUERY_OP_INVALID;
}

class QueryBuilder {
public:
    QueryBuilder(int32_t queryId, SelectQuery* query, MemPool* pool) : id_(queryId), query_(query), pool_(pool) { }

    int Build()
    {
        Columns();
        Tables();
        Joins();
        GroupBy();
        Sort();
        Condition();
        return status_;
    }

private:
    void OutOfMemory() { status_ = VELMORA_ALLOC_FAILURE; }

    void Columns()
    {
        std::vector<int64_t> ids = LinkedIds("QueryvsColumns", "COLUMN_ID", id_);
        if (ids.empty())
            LogTrace("\nNo Columns to be selected.\n");
        for (int64_t id : ids) {
            std::vector<TextRow> rows = Rows("ColumnDetails",
                                             Select("COLUMNNAME, COLUMNALIAS, TABLENAME, TABLEALIAS, FUNCTIONNAME",
                                                    "ColumnDetails", "COLUMN_ID", id));
            if (rows.empty()) {
                LogError("No ColumnDetails row for COLUMN_ID %lld of query %d\n", static_cast<long long>(id), id_);
                continue;
            }
            const TextRow& row = rows.front();
            auto column = row.Get("COLUMNNAME");
            auto table = row.Get("TABLENAME");
            auto function = row.Get("FUNCTIONNAME");
            QueryColumn* made =
                CreateQueryColumn(Text(table), Text(row.Get("TABLEALIAS")), Text(column), Text(row.Get("COLUMNALIAS")),
                                  0, DefinedType(Text(table), Text(column)), AggregateCode(Text(function)), pool_);
            if (made && !AddSelectColumn(query_, made))
                OutOfMemory();
        }
    }

    void Tables()
    {
        std::vector<int64_t> ids = LinkedIds("QueryvsTables", "TABLE_ID", id_);
        if (ids.empty())
            LogTrace("\nNo Tables to be selected\n");
        for (int64_t id : ids) {
            std::vector<TextRow> rows =
                Rows("TableDetails", Select("TABLENAME, TABLEALIAS", "TableDetails", "TABLE_ID", id));
            if (rows.empty() || !rows.front().Get("TABLENAME")) {
                LogError("No TableDetails row for TABLE_ID %lld of query %d\n", static_cast<long long>(id), id_);
                continue;
            }
            auto alias = rows.front().Get("TABLEALIAS");
            if (alias)
                LogTrace("\nTable Alias = %s\n", alias->c_str());
            QueryTable* table = CreateQueryTable(Text(rows.front().Get("TABLENAME")), Text(alias), pool_);
            if (!table || !AddQueryTable(query_, table))
                OutOfMemory();
        }
    }

    // One column of a join, group-by or sort list; null when it cannot be
    // made (logged by the constructor).
    QueryColumn* ListColumn(const char* table, const char* alias, const char* column)
    {
        return CreateListColumn(table, alias, column, nullptr, 0, DefinedType(table, column), 0, pool_);
    }

    LCDVector* SingleColumnList(QueryColumn* column)
    {
        LCDVector* list = CreateColumnList(pool_);
        if (!list || !AddListColumn(pool_, column, list)) {
            OutOfMemory();
            return nullptr;
        }
        return list;
    }

    void Joins()
    {
        std::vector<int64_t> ids = LinkedIds("QueryvsJoins", "JOIN_ID", id_);
        if (ids.empty())
            LogTrace("\nNo Join details\n");
        for (int64_t id : ids) {
            std::vector<TextRow> rows = Rows(
                "JoinDetails",
                Select("BASETABLENAME, BASETABLEALIAS, REFTABLENAME, REFTABLEALIAS, BASETABLECOLUMN, REFTABLECOLUMN, "
                       "JOINTYPE",
                       "JoinDetails", "JOIN_ID", id));
            if (rows.empty()) {
                LogError("No JoinDetails row for JOIN_ID %lld of query %d\n", static_cast<long long>(id), id_);
                continue;
            }
            const TextRow& row = rows.front();
            auto base = row.Get("BASETABLENAME"), baseAlias = row.Get("BASETABLEALIAS");
            auto reference = row.Get("REFTABLENAME"), referenceAlias = row.Get("REFTABLEALIAS");
            auto type = row.Get("JOINTYPE");
            uint8_t joinType = 0xff; // refused by the generators, so a bad row cannot pass unseen
            if (type && *type == "INNER_JOIN")
                joinType = QUERY_INNER_JOIN;
            else if (type && *type == "LEFT_JOIN")
                joinType = QUERY_LEFT_JOIN;
            else
                LogError("Join %lld of query %d has the unknown JOINTYPE %s\n", static_cast<long long>(id), id_,
                         type ? type->c_str() : "NULL");
            QueryColumn* baseColumn = ListColumn(Text(base), Text(baseAlias), Text(row.Get("BASETABLECOLUMN")));
            QueryColumn* referenceColumn =
                ListColumn(Text(reference), Text(referenceAlias), Text(row.Get("REFTABLECOLUMN")));
            if (!baseColumn || !referenceColumn) {
                LogError("Join %lld of query %d lacks a column; join skipped\n", static_cast<long long>(id), id_);
                continue;
            }
            LCDVector* baseColumns = SingleColumnList(baseColumn);
            LCDVector* referenceColumns = SingleColumnList(referenceColumn);
            JoinClause* join = baseColumns && referenceColumns
                ? CreateJoinClause(Text(base), Text(baseAlias), Text(reference), Text(referenceAlias), joinType,
                                   baseColumns, referenceColumns, pool_)
                : nullptr;
            if (!join || !AddJoinClause(query_, join))
                OutOfMemory();
        }
    }

    // The columns of a group-by or sort list; the last row read is kept
    // for the sort direction.
    LCDVector* ColumnList(const char* link, const char* idColumn, const char* details, const char* fields,
                          std::optional<TextRow>* last)
    {
        std::vector<int64_t> ids = LinkedIds(link, idColumn, id_);
        if (ids.empty())
            return nullptr;
        LCDVector* list = CreateColumnList(pool_);
        if (!list) {
            OutOfMemory();
            return nullptr;
        }
        for (int64_t id : ids) {
            std::vector<TextRow> rows = Rows(details, Select(fields, details, idColumn, id));
            if (rows.empty()) {
                LogError("No %s row for %s %lld of query %d\n", details, idColumn, static_cast<long long>(id), id_);
                continue;
            }
            QueryColumn* column =
                ListColumn(Text(rows.front().Get("TABLENAME")), nullptr, Text(rows.front().Get("COLUMNNAME")));
            if (!column)
                continue;
            if (!AddListColumn(pool_, column, list))
                OutOfMemory();
            if (last)
                *last = rows.front();
        }
        return list->count ? list : nullptr;
    }

    void GroupBy()
    {
        LCDVector* columns = ColumnList("QueryvsGB", "GB_ID", "GroupByDetails", "TABLENAME, COLUMNNAME", nullptr);
        if (!columns) {
            LogTrace("\nNo GroupBy details\n");
            return;
        }
        GroupByClause* clause = CreateGroupByClause(columns, nullptr, pool_);
        if (!clause || !SetGroupBy(query_, clause))
            OutOfMemory();
    }

    // Ascending unless SORTTYPE's first byte says 0: an integer column
    // holding 0, or a text beginning with '0' (the digit as stored text).
    static uint8_t Ascending(const std::optional<TextRow>& row)
    {
        auto type = row ? row->Get("SORTTYPE") : std::nullopt;
        if (!type || type->empty())
            return 1;
        return (*type)[0] != '0';
    }

    void Sort()
    {
        std::optional<TextRow> last;
        LCDVector* columns =
            ColumnList("QueryvsSort", "SORT_ID", "SortDetails", "TABLENAME, COLUMNNAME, SORTTYPE", &last);
        if (!columns) {
            LogTrace("\nNo Sort details\n");
            return;
        }
        SortClause* clause = CreateSortClause(columns, Ascending(last), pool_);
        if (!clause || !SetSort(query_, clause))
            OutOfMemory();
    }

    // The tree of expression id; null for no node. path holds the boolean
    // ids being built above this one.
    QueryCondition* Expression(int64_t id, std::vector<int64_t>& path)
    {
        if (failed_)
            return nullptr;
        for (int64_t above : path)
            if (above == id) {
                LogError("BuildStoredQuery : expression %lld of query %d contains itself; condition dropped\n",
                         static_cast<long long>(id), id_);
                failed_ = true;
                return nullptr;
            }
        if (path.size() >= STORED_QUERY_MAX_DEPTH) {
            LogError("BuildStoredQuery : condition of query %d nests deeper than %d; condition dropped\n", id_,
                     STORED_QUERY_MAX_DEPTH);
            failed_ = true;
            return nullptr;
        }
        std::vector<TextRow> booleans = Rows("BooleanExp", Select("*", "BooleanExp", "B_ID", id));
        if (!booleans.empty()) {
            const TextRow& row = booleans.front();
            path.push_back(id);
            QueryCondition* left = Expression(row.GetInt("LEXPRESSION", INT64_MIN), path);
            QueryCondition* right = Expression(row.GetInt("REXPRESSION", INT64_MIN), path);
            path.pop_back();
            if (failed_ || !left || !right)
                return nullptr;
            auto op = row.Get("OPERATOR");
            return op && *op == "AND" ? CreateConditionAnd(left, right, pool_) : CreateConditionOr(left, right, pool_);
        }
        std::vector<TextRow> relations = Rows("RelationalExp", Select("*", "RelationalExp", "R_ID", id));
        if (relations.empty()) {
            LogTrace("\nInvalid ID\n");
            return nullptr;
        }
        const TextRow& row = relations.front();
        auto column = row.Get("LIDENTIFIER");
        auto value = row.Get("RIDENTIFIER");
        QueryColumn* leftColumn =
            CreateQueryColumn(nullptr, nullptr, Text(column), nullptr, 0, BRI_SQL_VARCHAR, QUERY_AGGREGATE_NONE, pool_);
        if (!leftColumn)
            return nullptr;
        return CreateQueryCondition(leftColumn, Text(value), value ? static_cast<int32_t>(value->size()) : 0,
                                    OperatorCode(Text(row.Get("OPERATOR"))), pool_);
    }

    void Condition()
    {
        std::vector<int64_t> roots = LinkedIds("QueryvsCriteria", "B_ID", id_);
        if (roots.empty())
            return;
        std::vector<int64_t> path;
        QueryCondition* root = Expression(roots.front(), path);
        if (root)
            SetCriteria(query_, root);
    }

    int32_t id_;
    SelectQuery* query_;
    MemPool* pool_;
    int status_ = VELMORA_SUCCESS;
    bool failed_ = false;
};

using QueryHolder = std::unique_ptr<SelectQuery, decltype(&FreeSelectQuery)>;

// The condition text of expression id (see GetStoredQueryCriteriaText).
bool CriteriaText(int64_t id, std::vector<int64_t>& path, std::string& out, int32_t queryId)
{
    for (int64_t above : path)
        if (above == id) {
            LogError("PrintCriteriaOfStoredQuery : expression %lld of query %d contains itself\n",
                     static_cast<long long>(id), queryId);
            return false;
        }
    if (path.size() >= STORED_QUERY_MAX_DEPTH) {
        LogError("PrintCriteriaOfStoredQuery : condition of query %d nests deeper than %d\n", queryId,
                 STORED_QUERY_MAX_DEPTH);
        return false;
    }
    std::vector<TextRow> booleans = Rows("BooleanExp", Select("*", "BooleanExp", "B_ID", id));
    if (!booleans.empty()) {
        const TextRow& row = booleans.front();
        path.push_back(id);
        bool ok = CriteriaText(row.GetInt("LEXPRESSION", INT64_MIN), path, out, queryId);
        out += row.Get("OPERATOR").value_or("");
        ok = ok && CriteriaText(row.GetInt("REXPRESSION", INT64_MIN), path, out, queryId);
        path.pop_back();
        return ok;
    }
    std::vector<TextRow> relations = Rows("RelationalExp", Select("*", "RelationalExp", "R_ID", id));
    if (relations.empty()) {
        LogTrace("\nInvalid ID\n");
        return true;
    }
    const TextRow& row = relations.front();
    out += row.Get("LIDENTIFIER").value_or("") + row.Get("OPERATOR").value_or("") + row.Get("RIDENTIFIER").value_or("");
    return true;
}

} // namespace

extern "C" {

int BuildStoredQuery(int32_t queryId, SelectQuery* query, MemPool* pool)
{
    LogTrace("@@@ Inside BuildStoredQuery @@@\n");
    if (!query || !pool) {
        LogError("BuildStoredQuery : query or pool is NULL\n");
        return VELMORA_FAILURE;
    }
    return QueryBuilder(queryId, query, pool).Build();
}

char* GetStoredQueryStatement(int32_t queryId)
{
    QueryHolder query(CreateSelectQuery(), &FreeSelectQuery);
    if (!query)
        return nullptr;
    if (BuildStoredQuery(queryId, query.get(), query->pool) != VELMORA_SUCCESS)
        return nullptr;
    return GenerateSelectQuery(query.get());
}

int GenerateStoredQuery(int32_t queryId)
{
    char* statement = GetStoredQueryStatement(queryId);
    std::free(statement);
    return statement ? VELMORA_SUCCESS : VELMORA_FAILURE;
}

int RunAllStoredQueries(void)
{
    LogTrace("@@@ Inside RunAllStoredQueries @@@\n");
    auto ids = ReadTextRows("QueryDetails", "SELECT QUERY_ID FROM QueryDetails");
    if (!ids) {
        LogError("Query failed\n");
        return VELMORA_FAILURE;
    }
    int result = VELMORA_SUCCESS;
    for (const TextRow& row : *ids) {
        int64_t id = row.GetInt("QUERY_ID", INT64_MIN);
        if (id < INT32_MIN || id > INT32_MAX) {
            LogError("RunAllStoredQueries : QUERY_ID is no integer\n");
            result = VELMORA_FAILURE;
            continue;
        }
        QueryHolder query(CreateSelectQuery(), &FreeSelectQuery);
        if (!query || BuildStoredQuery(static_cast<int32_t>(id), query.get(), query->pool) != VELMORA_SUCCESS) {
            result = VELMORA_FAILURE;
            continue;
        }
        std::unique_ptr<char, decltype(&std::free)> statement(GenerateSelectQuery(query.get()), &std::free);
        // The connection of the first table, as the generator chose its dialect.
        const char* table = nullptr;
        if (query->tables->head)
            table = static_cast<QueryTable*>(query->tables->head->data)->tableName;
        else if (query->joins->head)
            table = static_cast<JoinClause*>(query->joins->head->data)->baseTable;
        velmora_objects::TableConnection holder;
        if (!statement || !table || !holder.ForLoading(table)) {
            LogError("RunAllStoredQueries : stored query %lld cannot be run\n", static_cast<long long>(id));
            result = VELMORA_FAILURE;
            continue;
        }
        DBResultSet* rows = ExecuteQuery(holder.connection(), statement.get());
        if (!rows) {
            LogError("RunAllStoredQueries : stored query %lld failed: %s\n", static_cast<long long>(id),
                     statement.get());
            result = VELMORA_FAILURE;
        }
        FreeDBResultSet(rows);
    }
    return result;
}

char* GetStoredQueryCriteriaText(int32_t queryId)
{
    std::vector<int64_t> roots = LinkedIds("QueryvsCriteria", "B_ID", queryId);
    std::string text;
    std::vector<int64_t> path;
    if (!roots.empty() && !CriteriaText(roots.front(), path, text, queryId))
        return nullptr;
    return strdup(text.c_str());
}

void PrintCriteriaOfStoredQuery(int32_t queryId, MemPool* pool)
{
    LogTrace("@@@ Inside PrintCriteriaOfStoredQuery @@@\n");
    if (!pool)
        return;
    char* text = GetStoredQueryCriteriaText(queryId);
    if (text)
        LogTrace("\n%s\n", text);
    std::free(text);
}

} // extern "C"
