#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "fault_injection.h"
#include "log_capture.h"
#include "velmora/mem_pool.h"
#include "velmora/select_query.h"

extern "C" int SelectQueryCApiSmoke(void);

namespace {

struct QueryDeleter {
    void operator()(SelectQuery* query) const { FreeSelectQuery(query); }
};
using QueryPtr = std::unique_ptr<SelectQuery, QueryDeleter>;

bool Logged(const LogCapture& log, const std::string& text)
{
    for (const std::string& line : log.Lines())
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

template <typename Record> std::vector<Record*> Items(const LCDVector* list)
{
    std::vector<Record*> items;
    for (const LCDNode* node = list ? list->head : nullptr; node; node = node->next)
        items.push_back(static_cast<Record*>(node->data));
    return items;
}

std::vector<std::string> ColumnNames(const LCDVector* list)
{
    std::vector<std::string> names;
    for (QueryColumn* column : Items<QueryColumn>(list))
        names.push_back(std::string(column->tableName ? column->tableName : "-") + "." +
                        (column->columnName ? column->columnName : "*"));
    return names;
}

TEST(SelectQuery, CodesHaveTheirTextsAndUnknownCodesNone)
{
    const char* operators[] = {"INVALID OPERATOR", "<", ">", "<=", ">=", "=", "!=", "AND", "OR", "LIKE", "BETWEEN"};
    for (uint8_t op = 0; op <= 10; op++)
        EXPECT_STREQ(GetQueryOperatorText(op), operators[op]) << int(op);
    EXPECT_EQ(GetQueryOperatorText(11), nullptr);
    EXPECT_EQ(GetQueryOperatorText(255), nullptr);

    const char* aggregates[] = {"INVALID TYPE", "DISTINCT", "COUNT", "MIN", "MAX", "SUM", "AVG"};
    for (uint8_t code = 0; code <= 6; code++)
        EXPECT_STREQ(GetQueryAggregateName(code), aggregates[code]);
    EXPECT_EQ(GetQueryAggregateName(7), nullptr);

    EXPECT_STREQ(GetQueryJoinTypeName(0), "INNER_JOIN");
    EXPECT_STREQ(GetQueryJoinTypeName(1), "LEFT_JOIN");
    EXPECT_EQ(GetQueryJoinTypeName(2), nullptr);
}

TEST(SelectQuery, ColumnConstructorsCheckNameTypeAndAggregate)
{
    struct Case {
        const char* name;
        uint8_t type;
        uint8_t aggregate;
        bool listColumn;
        const char* refusal; // null: accepted
    } cases[] = {
        {"id", 5, 0, false, nullptr},
        {nullptr, 0, QUERY_AGGREGATE_COUNT, false, nullptr}, // COUNT(*)
        {nullptr, 5, 0, false, "Column Name is NULL"},
        {nullptr, 5, QUERY_AGGREGATE_COUNT, true, "Column Name is NULL"},
        {"id", 21, 0, false, nullptr},
        {"id", 21, 0, true, nullptr},
        {"id", 22, 0, false, "Invalid Data Type"},
        {"id", 22, 0, true, "Invalid Data Type"},
        {"id", 255, 0, false, "Invalid Data Type"},
        {"id", 5, 6, false, nullptr},
        {"id", 5, 7, false, "Invalid Aggregate Type"},
        {"id", 5, 7, true, "Invalid Aggregate Type"},
    };
    QueryPtr query(CreateSelectQuery());
    ASSERT_NE(query, nullptr);
    for (const Case& c : cases) {
        LogCapture log;
        auto create = c.listColumn ? CreateListColumn : CreateQueryColumn;
        QueryColumn* column = create("Machine", "m", c.name, "alias", 10, c.type, c.aggregate, query->pool);
        SCOPED_TRACE(std::string(c.name ? c.name : "(null)") + " type " + std::to_string(c.type) + " aggregate " +
                     std::to_string(c.aggregate) + (c.listColumn ? " list" : " select"));
        if (c.refusal) {
            EXPECT_EQ(column, nullptr);
            EXPECT_TRUE(Logged(log, c.refusal));
        } else {
            ASSERT_NE(column, nullptr);
            EXPECT_EQ(column->type, c.type);
            EXPECT_EQ(column->aggregate, c.aggregate);
            EXPECT_EQ(column->length, 10);
        }
    }
    EXPECT_EQ(CreateQueryColumn("t", nullptr, "c", nullptr, 0, 5, 0, nullptr), nullptr);
}

TEST(SelectQuery, ConstructorsCopyTheirTexts)
{
    QueryPtr query(CreateSelectQuery());
    ASSERT_NE(query, nullptr);
    char table[] = "Machine", column[] = "Name", alias[] = "m", value[] = "O'Brien";
    QueryColumn* c = CreateQueryColumn(table, alias, column, nullptr, 0, 15, 0, query->pool);
    QueryTable* t = CreateQueryTable(table, alias, query->pool);
    JoinClause* j = CreateJoinClause(table, alias, table, nullptr, 1, nullptr, nullptr, query->pool);
    QueryCondition* leaf = CreateQueryCondition(c, value, 7, QUERY_OP_EQUAL, query->pool);
    ASSERT_TRUE(c && t && j && leaf);
    memset(table, 'x', 7);
    memset(column, 'x', 4);
    memset(alias, 'x', 1);
    memset(value, 'x', 7);
    EXPECT_STREQ(c->tableName, "Machine");
    EXPECT_STREQ(c->tableAlias, "m");
    EXPECT_STREQ(c->columnName, "Name");
    EXPECT_EQ(c->columnAlias, nullptr);
    EXPECT_STREQ(t->tableName, "Machine");
    EXPECT_STREQ(j->baseTable, "Machine");
    EXPECT_EQ(j->referenceAlias, nullptr);
    EXPECT_STREQ(static_cast<char*>(leaf->value), "O'Brien");
}

TEST(SelectQuery, ColumnIsQualifiedByAliasThenTable)
{
    struct Case {
        const char* table;
        const char* alias;
        const char* qualifier;
    } cases[] = {{"Machine", "m", "m"}, {"Machine", nullptr, "Machine"}, {"Machine", "", "Machine"},
                 {nullptr, "m", "m"},   {nullptr, nullptr, nullptr},     {"", "", nullptr}};
    QueryPtr query(CreateSelectQuery());
    ASSERT_NE(query, nullptr);
    for (const Case& c : cases) {
        QueryColumn* column = CreateQueryColumn(c.table, c.alias, "id", nullptr, 0, 5, 0, query->pool);
        ASSERT_NE(column, nullptr);
        const char* qualifier = GetQueryColumnQualifier(column);
        if (c.qualifier)
            EXPECT_STREQ(qualifier, c.qualifier);
        else
            EXPECT_EQ(qualifier, nullptr);
    }
    EXPECT_EQ(GetQueryColumnQualifier(nullptr), nullptr);
}

TEST(SelectQuery, ConditionTreeLinksParentsAndCopiesBinaryValues)
{
    QueryPtr query(CreateSelectQuery());
    ASSERT_NE(query, nullptr);
    MemPool* pool = query->pool;
    QueryColumn* id = CreateQueryColumn("Machine", nullptr, "id", nullptr, 0, 5, 0, pool);
    int32_t five = 5;
    const char bytes[] = {'a', 0, 'b'};
    QueryCondition* x = CreateQueryCondition(id, &five, 4, QUERY_OP_GREATER, pool);
    QueryCondition* y = CreateQueryCondition(id, bytes, 3, QUERY_OP_EQUAL, pool);
    QueryCondition* z = CreateQueryCondition(id, nullptr, 0, QUERY_OP_NOT_EQUAL, pool);
    ASSERT_TRUE(x && y && z);
    QueryCondition* either = CreateConditionOr(x, y, pool);
    QueryCondition* root = CreateConditionAnd(either, z, pool);
    ASSERT_TRUE(either && root);
    EXPECT_EQ(SetCriteria(query.get(), root), query.get());

    EXPECT_EQ(root->op, QUERY_OP_AND);
    EXPECT_EQ(either->op, QUERY_OP_OR);
    EXPECT_EQ(root->column, nullptr);
    EXPECT_EQ(root->value, nullptr);
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(x->parent, either);
    EXPECT_EQ(y->parent, either);
    EXPECT_EQ(either->parent, root);
    EXPECT_EQ(z->parent, root);
    EXPECT_EQ(root->left, either);
    EXPECT_EQ(root->right, z);
    EXPECT_EQ(query->criteria, root);

    EXPECT_EQ(*static_cast<int32_t*>(x->value), 5);
    EXPECT_EQ(x->valueLength, 4);
    ASSERT_EQ(y->valueLength, 3);
    EXPECT_EQ(memcmp(y->value, bytes, 3), 0);
    EXPECT_EQ(static_cast<char*>(y->value)[3], '\0');
    EXPECT_EQ(z->value, nullptr);
}

TEST(SelectQuery, ConditionConstructorsRefuseWhatCannotBePrinted)
{
    QueryPtr query(CreateSelectQuery());
    ASSERT_NE(query, nullptr);
    QueryColumn* id = CreateQueryColumn("Machine", nullptr, "id", nullptr, 0, 5, 0, query->pool);
    struct Case {
        QueryColumn* column;
        const char* value;
        int32_t length;
        uint8_t op;
        const char* refusal;
    } cases[] = {
        {nullptr, "1", 1, QUERY_OP_EQUAL, "Empty Column Assigned"},
        {id, "1", 1, QUERY_OP_INVALID, "Invalid Operator"},
        {id, "1", 1, QUERY_OP_AND, "Invalid Operator"},
        {id, "1", 1, QUERY_OP_OR, "Invalid Operator"},
        {id, "1", 1, 11, "Invalid Operator"},
        {id, "1", -1, QUERY_OP_EQUAL, "Invalid Condition Value"},
        {id, nullptr, 4, QUERY_OP_EQUAL, "Invalid Condition Value"},
    };
    for (const Case& c : cases) {
        LogCapture log;
        EXPECT_EQ(CreateQueryCondition(c.column, c.value, c.length, c.op, query->pool), nullptr) << c.refusal;
        EXPECT_TRUE(Logged(log, c.refusal)) << c.refusal;
    }
    const char* accepted[] = {"1 AND 5"};
    for (uint8_t op : {1, 2, 3, 4, 5, 6, 9, 10})
        EXPECT_NE(CreateQueryCondition(id, accepted[0], 7, op, query->pool), nullptr) << int(op);

    LogCapture log;
    QueryCondition* leaf = CreateQueryCondition(id, "1", 1, QUERY_OP_EQUAL, query->pool);
    EXPECT_EQ(CreateConditionAnd(leaf, nullptr, query->pool), nullptr);
    EXPECT_EQ(CreateConditionOr(nullptr, leaf, query->pool), nullptr);
    EXPECT_EQ(leaf->parent, nullptr);
    EXPECT_TRUE(Logged(log, "Empty Condition Assigned"));
}

TEST(SelectQuery, JoinBuildersPairTheirColumns)
{
    QueryPtr query(CreateSelectQuery());
    ASSERT_NE(query, nullptr);
    MemPool* pool = query->pool;

    LCDVector* base = MakeColumnVectorForJoin(pool, "Machine", 2, "id", "site");
    LCDVector* reference = MakeColumnVectorForJoin(pool, "Disk", 2, "machineId", "site");
    ASSERT_TRUE(base && reference);
    EXPECT_EQ(ColumnNames(base), (std::vector<std::string>{"Machine.id", "Machine.site"}));
    for (QueryColumn* column : Items<QueryColumn>(base))
        EXPECT_EQ(column->type, 5);
    ASSERT_TRUE(AddJoinToQuery(query.get(), "Machine", "m", "Disk", "d", QUERY_LEFT_JOIN, base, reference));
    ASSERT_TRUE(AddNaturalJoinToQuery(query.get(), "Disk", "d", "Volume", nullptr, QUERY_INNER_JOIN, 1, "diskId"));
    // The join type is checked when the statement is generated, not here.
    ASSERT_TRUE(AddJoinToQuery(query.get(), "A", nullptr, "B", nullptr, 7, base, reference));

    auto joins = Items<JoinClause>(query->joins);
    ASSERT_EQ(joins.size(), 3u);
    EXPECT_STREQ(joins[0]->baseAlias, "m");
    EXPECT_STREQ(joins[0]->referenceTable, "Disk");
    EXPECT_EQ(joins[0]->joinType, QUERY_LEFT_JOIN);
    EXPECT_EQ(joins[0]->baseColumns, base);
    EXPECT_EQ(joins[0]->referenceColumns, reference);
    EXPECT_EQ(joins[1]->baseColumns, joins[1]->referenceColumns);
    EXPECT_EQ(ColumnNames(joins[1]->baseColumns), (std::vector<std::string>{"-.diskId"}));
    EXPECT_EQ(joins[2]->joinType, 7);

    LogCapture log;
    EXPECT_EQ(MakeColumnVectorForJoin(pool, "Machine", 2, "id", static_cast<const char*>(nullptr)), nullptr);
    EXPECT_TRUE(Logged(log, "Column Name is NULL"));
    EXPECT_FALSE(AddNaturalJoinToQuery(query.get(), "A", nullptr, "B", nullptr, 0, 0));
    EXPECT_FALSE(
        AddNaturalJoinToQuery(query.get(), "A", nullptr, "B", nullptr, 0, 1, static_cast<const char*>(nullptr)));
    EXPECT_EQ(query->joins->count, 3);

    LCDVector* names = MakeColumnVector(pool, 2, "a", "b");
    ASSERT_NE(names, nullptr);
    EXPECT_STREQ(static_cast<char*>(names->tail->data), "b");
    ASSERT_NE(MakeColumnVector(pool, 0), nullptr);
    EXPECT_EQ(MakeColumnVector(pool, -1), nullptr);
    EXPECT_EQ(MakeColumnVector(pool, 2, "a", static_cast<const char*>(nullptr)), nullptr);
}

TEST(SelectQuery, RemoveSelectColumnRemovesEveryMatchAndKeepsTheListSound)
{
    struct Case {
        const char* column;
        const char* table;
        std::vector<std::string> left;
    } cases[] = {
        // Adjacent matches, and one at the tail.
        // A column without table matches on its name alone.
        {"ID", "machine", {"Disk.id", "Disk.name"}},
        {"id", nullptr, {"Machine.id", "Machine.id", "Disk.id", "Disk.name", "Machine.id"}},
        {"name", "DISK", {"Machine.id", "Machine.id", "Disk.id", "-.id", "Machine.id"}},
        {"id", "Volume", {"Machine.id", "Machine.id", "Disk.id", "Disk.name", "Machine.id"}},
    };
    for (const Case& c : cases) {
        QueryPtr query(CreateSelectQuery());
        ASSERT_NE(query, nullptr);
        ASSERT_TRUE(CreateAndAddSelectColumn(query.get(), nullptr, nullptr, nullptr, nullptr, 0, 0, 2));
        for (auto [table, name] : {std::pair{"Machine", "id"},
                                   {"Machine", "id"},
                                   {"Disk", "id"},
                                   {nullptr, "id"},
                                   {"Disk", "name"},
                                   {"Machine", "id"}})
            ASSERT_TRUE(CreateAndAddSelectColumn(query.get(), table, nullptr, name, nullptr, 0, 5, 0));

        EXPECT_TRUE(RemoveSelectColumn(query.get(), c.column, c.table));
        std::vector<std::string> left = c.left;
        left.insert(left.begin(), "-.*");
        EXPECT_EQ(ColumnNames(query->columns), left) << c.column << " " << (c.table ? c.table : "(null)");
        EXPECT_EQ(query->columns->count, static_cast<int32_t>(left.size()));

        // The tail is still the last node: appending lands at the end.
        ASSERT_TRUE(CreateAndAddSelectColumn(query.get(), "T", nullptr, "last", nullptr, 0, 5, 0));
        EXPECT_EQ(ColumnNames(query->columns).back(), "T.last");
    }

    QueryPtr query(CreateSelectQuery());
    ASSERT_NE(query, nullptr);
    ASSERT_TRUE(CreateAndAddSelectColumn(query.get(), "Machine", nullptr, "id", nullptr, 0, 5, 0));
    LogCapture log;
    EXPECT_FALSE(RemoveSelectColumn(query.get(), "name", "Machine"));
    EXPECT_FALSE(RemoveSelectColumn(query.get(), "id", "Disk"));
    EXPECT_TRUE(Logged(log, "Invalid Column Name"));
    EXPECT_EQ(query->columns->count, 1);
    // Removing the only column leaves an empty list that takes new columns.
    EXPECT_TRUE(RemoveSelectColumn(query.get(), "id", "Machine"));
    EXPECT_EQ(query->columns->head, nullptr);
    EXPECT_EQ(query->columns->tail, nullptr);
    ASSERT_TRUE(CreateAndAddSelectColumn(query.get(), "Machine", nullptr, "os", nullptr, 0, 15, 0));
    EXPECT_EQ(ColumnNames(query->columns), (std::vector<std::string>{"Machine.os"}));
    EXPECT_FALSE(RemoveSelectColumn(nullptr, "id", nullptr));
    EXPECT_FALSE(RemoveSelectColumn(query.get(), nullptr, nullptr));
}

// Builds a query with every kind of clause; false as soon as a step fails.
// What a failed step leaves must still be freed by FreeSelectQuery.
bool BuildEverything(SelectQuery* query)
{
    MemPool* pool = query->pool;
    if (!CreateAndAddSelectColumn(query, "Machine", "m", "Name", "n", 0, 15, 0))
        return false;
    if (!CreateAndAddSelectColumn(query, nullptr, nullptr, nullptr, nullptr, 0, 0, QUERY_AGGREGATE_COUNT))
        return false;
    if (!AddQueryTable(query, CreateQueryTable("Machine", "m", pool)))
        return false;
    LCDVector* base = MakeColumnVectorForJoin(pool, "Machine", 2, "id", "site");
    LCDVector* reference = MakeColumnVectorForJoin(pool, "Disk", 2, "machineId", "site");
    if (!base || !reference || !AddJoinToQuery(query, "Machine", "m", "Disk", "d", 1, base, reference))
        return false;
    if (!AddNaturalJoinToQuery(query, "Disk", "d", "Volume", "v", 0, 2, "diskId", "site"))
        return false;
    QueryColumn* id = CreateQueryColumn("Machine", "m", "id", nullptr, 0, 5, 0, pool);
    QueryColumn* name = CreateQueryColumn("Machine", "m", "Name", nullptr, 0, 15, 0, pool);
    if (!id || !name)
        return false;
    int32_t five = 5;
    QueryCondition* a = CreateQueryCondition(id, &five, 4, QUERY_OP_GREATER, pool);
    QueryCondition* b = CreateQueryCondition(name, "x'y", 3, QUERY_OP_LIKE, pool);
    QueryCondition* c = CreateQueryCondition(id, "1 AND 9", 7, QUERY_OP_BETWEEN, pool);
    QueryCondition* either = a && b ? CreateConditionOr(a, b, pool) : nullptr;
    QueryCondition* root = either && c ? CreateConditionAnd(either, c, pool) : nullptr;
    if (!root)
        return false;
    SetCriteria(query, root);
    LCDVector* group = CreateColumnList(pool);
    QueryColumn* os = CreateListColumn("Machine", "m", "os", nullptr, 0, 15, 0, pool);
    if (!group || !os || !AddListColumn(pool, os, group))
        return false;
    GroupByClause* groupBy = CreateGroupByClause(group, nullptr, pool);
    SortClause* sort = CreateSortClause(group, 1, pool);
    if (!groupBy || !sort)
        return false;
    SetGroupBy(query, groupBy);
    SetSort(query, sort);
    LCDVector* names = MakeColumnVector(pool, 2, "a", "b");
    if (!names)
        return false;
    return RemoveSelectColumn(query, "name", "machine") == 1;
}

// Every allocation of building and freeing a query fails once in turn: each
// failure is reported, nothing crashes, and (under the leak checker) nothing
// is left behind. Pool debugging makes every pool allocation a heap
// allocation of its own, so that each one is reached.
TEST(SelectQuery, EveryAllocationFailureIsReportedAndLeaksNothing)
{
    int savedDebug = GetMemPoolDebug();
    SetMemPoolDebug(1);
    long total = ForEveryAllocationFailure([](long n, bool& fired) {
        FailingAllocations faults(n);
        SelectQuery* query = CreateSelectQuery();
        bool built = query && BuildEverything(query);
        fired = faults.fired();
        if (!fired) {
            ASSERT_TRUE(built) << n;
            EXPECT_EQ(ColumnNames(query->columns), (std::vector<std::string>{"-.*"}));
            EXPECT_EQ(query->joins->count, 2);
            EXPECT_EQ(query->criteria->left->right->op, QUERY_OP_LIKE);
            EXPECT_EQ(query->groupBy->columns, query->sort->columns);
        } else if (query) {
            EXPECT_FALSE(built) << n;
        }
        if (query) {
            // The lists hold only what was added in full.
            for (QueryColumn* column : Items<QueryColumn>(query->columns))
                EXPECT_NE(column, nullptr);
            for (JoinClause* join : Items<JoinClause>(query->joins))
                EXPECT_TRUE(join && join->baseColumns && join->referenceColumns);
        }
        FreeSelectQuery(query);
    });
    SetMemPoolDebug(savedDebug);
    EXPECT_GT(total, 30);
}

// A query's pool hangs below the root pool (so shutting the pools down
// releases forgotten queries) but takes its blocks from an allocator of its
// own: pools take no locks, and queries are built on many threads at once.
TEST(SelectQuery, PoolIsAChildOfTheRootWithItsOwnAllocator)
{
    ASSERT_EQ(InitializeMemPool(), 1);
    QueryPtr first(CreateSelectQuery());
    QueryPtr second(CreateSelectQuery());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->pool->parent, gv_rootPool);
    EXPECT_EQ(second->pool->parent, gv_rootPool);
    EXPECT_NE(first->pool->allocator, gv_rootPool->allocator);
    EXPECT_NE(first->pool->allocator, second->pool->allocator);
    first.reset();
    EXPECT_EQ(gv_rootPool->child, second->pool);
    second.reset();
    EXPECT_EQ(gv_rootPool->child, nullptr);
    TerminateMemPool();
}

TEST(SelectQuery, HeaderWorksFromC) { EXPECT_EQ(SelectQueryCApiSmoke(), 0); }

} // namespace
