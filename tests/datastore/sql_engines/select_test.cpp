// Generated selects on each engine: joins (inner, left, aliases, two of
// them), grouping with having, sorting both ways, paging, LIKE and BETWEEN
// on the example dictionary's tables; and random AND/OR trees, whose rows
// must be the rows an evaluation of the tree in memory selects.
#include <random>

#include "engine_sql.h"
#include "velmora/data_dictionary.h"

namespace sql_engines {
namespace {

using namespace sql_fixture;
using tw::engines::Row;

constexpr Value kNull = std::nullopt;

class Selects : public SqlOnEngine {
protected:
    // Sites, machines and their software; site 3 has no machine, machines
    // 2, 4 and 5 no software.
    void SetUp() override
    {
        SqlOnEngine::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(LoadDataDictFiles(TW_EXAMPLE_DATA_DIR), VELMORA_SUCCESS);
        for (const char* table : {"Site", "Machine", "InstalledSoftware"})
            ASSERT_TRUE(Run(dialect().create(table)));
        Insert("Site", {{"1", "North", kNull, kNull}, {"2", "South", kNull, kNull}, {"3", "O'Brien's", kNull, kNull}});
        const char* machines[][4] = {{"1", "1", "alpha", "100"},
                                     {"2", "1", "beta", "200"},
                                     {"3", "2", "gamma", "300"},
                                     {"4", "2", "delta", "400"},
                                     {"5", "1", "eps", "500"}};
        std::vector<std::vector<Value>> rows;
        for (const auto& m : machines)
            rows.push_back({m[0], m[1], m[2], kNull, kNull, "WinNT", kNull, m[3], kNull, "true"});
        Insert("Machine", rows);
        Insert("InstalledSoftware",
               {{"1", "P1", kNull, kNull, kNull, kNull, "0"},
                {"1", "P2", kNull, kNull, kNull, kNull, "0"},
                {"3", "P1", kNull, kNull, kNull, kNull, "0"}});
    }

    void Insert(const char* table, const std::vector<std::vector<Value>>& rows)
    {
        for (const auto& texts : rows)
            ASSERT_TRUE(Run(dialect().insert(table, MakeRow(GetTableDefnByName(table), texts).get())));
    }

    // A column of a table under its alias, for select, join, group and sort
    // lists; an aggregate column may have no name (COUNT(*)).
    QueryColumn* Aliased(SelectQuery* q, const char* table, const char* alias, const char* column,
                         uint8_t type = BRI_SQL_INT, uint8_t aggregate = QUERY_AGGREGATE_NONE)
    {
        return CreateQueryColumn(table, alias, column, nullptr, 0, type, aggregate, q->pool);
    }

    void Select(SelectQuery* q, std::initializer_list<QueryColumn*> columns)
    {
        for (QueryColumn* column : columns)
            ASSERT_EQ(AddSelectColumn(q, column), VELMORA_SUCCESS);
    }

    void Sort(SelectQuery* q, std::initializer_list<QueryColumn*> columns, bool ascending)
    {
        SetSort(q, CreateSortClause(Columns(q, columns), ascending ? 1 : 0, q->pool));
    }

    LCDVector* On(SelectQuery* q, const char* column) { return Columns(q, {Col(q, column)}); }
};

TEST_P(Selects, JoinsWithAliasesInnerLeftAndTwo)
{
    {
        SCOPED_TRACE("inner join, sorted ascending");
        QueryPtr q(CreateSelectQuery());
        Select(q.get(), {Aliased(q.get(), "Machine", "m", "HostName"), Aliased(q.get(), "Site", "s", "SiteName")});
        AddJoinToQuery(q.get(), "Machine", "m", "Site", "s", QUERY_INNER_JOIN, On(q.get(), "SiteId"),
                       On(q.get(), "SiteId"));
        Sort(q.get(), {Aliased(q.get(), "Machine", "m", "HostName")}, true);
        EXPECT_EQ(
            SelectRows(q.get()),
            (Rows{{"alpha", "North"}, {"beta", "North"}, {"delta", "South"}, {"eps", "North"}, {"gamma", "South"}}));
    }
    {
        SCOPED_TRACE("left join");
        QueryPtr q(CreateSelectQuery());
        Select(
            q.get(),
            {Aliased(q.get(), "Machine", "m", "MachineId"), Aliased(q.get(), "InstalledSoftware", "i", "ProductCode")});
        AddJoinToQuery(q.get(), "Machine", "m", "InstalledSoftware", "i", QUERY_LEFT_JOIN, On(q.get(), "MachineId"),
                       On(q.get(), "MachineId"));
        Sort(q.get(),
             {Aliased(q.get(), "Machine", "m", "MachineId"), Aliased(q.get(), "InstalledSoftware", "i", "ProductCode")},
             true);
        EXPECT_EQ(SelectRows(q.get()),
                  (Rows{{"1", "P1"}, {"1", "P2"}, {"2", kNull}, {"3", "P1"}, {"4", kNull}, {"5", kNull}}));
    }
    {
        SCOPED_TRACE("two inner joins, sorted descending");
        QueryPtr q(CreateSelectQuery());
        Select(q.get(),
               {Aliased(q.get(), "Site", "s", "SiteName"), Aliased(q.get(), "Machine", "m", "HostName"),
                Aliased(q.get(), "InstalledSoftware", "i", "ProductCode")});
        AddJoinToQuery(q.get(), "Site", "s", "Machine", "m", QUERY_INNER_JOIN, On(q.get(), "SiteId"),
                       On(q.get(), "SiteId"));
        AddJoinToQuery(q.get(), "Machine", "m", "InstalledSoftware", "i", QUERY_INNER_JOIN, On(q.get(), "MachineId"),
                       On(q.get(), "MachineId"));
        Sort(q.get(),
             {Aliased(q.get(), "InstalledSoftware", "i", "ProductCode"), Aliased(q.get(), "Machine", "m", "HostName")},
             false);
        EXPECT_EQ(SelectRows(q.get()),
                  (Rows{{"North", "alpha", "P2"}, {"South", "gamma", "P1"}, {"North", "alpha", "P1"}}));
    }
    {
        SCOPED_TRACE("two left joins");
        QueryPtr q(CreateSelectQuery());
        Select(q.get(),
               {Aliased(q.get(), "Site", "s", "SiteName"), Aliased(q.get(), "Machine", "m", "HostName"),
                Aliased(q.get(), "InstalledSoftware", "i", "ProductCode")});
        AddJoinToQuery(q.get(), "Site", "s", "Machine", "m", QUERY_LEFT_JOIN, On(q.get(), "SiteId"),
                       On(q.get(), "SiteId"));
        AddJoinToQuery(q.get(), "Machine", "m", "InstalledSoftware", "i", QUERY_LEFT_JOIN, On(q.get(), "MachineId"),
                       On(q.get(), "MachineId"));
        Sort(q.get(),
             {Aliased(q.get(), "Site", "s", "SiteId"), Aliased(q.get(), "Machine", "m", "MachineId"),
              Aliased(q.get(), "InstalledSoftware", "i", "ProductCode")},
             true);
        EXPECT_EQ(SelectRows(q.get()),
                  (Rows{{"North", "alpha", "P1"},
                        {"North", "alpha", "P2"},
                        {"North", "beta", kNull},
                        {"North", "eps", kNull},
                        {"South", "gamma", "P1"},
                        {"South", "delta", kNull},
                        {"O'Brien's", kNull, kNull}}));
    }
}

TEST_P(Selects, GroupByWithHaving)
{
    {
        SCOPED_TRACE("count");
        QueryPtr q(CreateSelectQuery());
        Select(q.get(),
               {Aliased(q.get(), "Machine", "m", "SiteId"),
                Aliased(q.get(), nullptr, nullptr, nullptr, BRI_SQL_INT, QUERY_AGGREGATE_COUNT)});
        FromTable(q.get(), "Machine", "m");
        int32_t two = 2;
        SetGroupBy(q.get(),
                   CreateGroupByClause(
                       Columns(q.get(), {Aliased(q.get(), "Machine", "m", "SiteId")}),
                       Leaf(q.get(), Aliased(q.get(), nullptr, nullptr, nullptr, BRI_SQL_INT, QUERY_AGGREGATE_COUNT),
                            QUERY_OP_GREATER, &two, 4),
                       q->pool));
        EXPECT_EQ(SelectRows(q.get()), (Rows{{"1", "3"}}));
    }
    {
        SCOPED_TRACE("sum, sorted descending");
        QueryPtr q(CreateSelectQuery());
        Select(q.get(),
               {Aliased(q.get(), "Machine", "m", "SiteId"),
                Aliased(q.get(), "Machine", "m", "MemoryMB", BRI_SQL_BIGINT, QUERY_AGGREGATE_SUM)});
        FromTable(q.get(), "Machine", "m");
        int64_t least = 700;
        SetGroupBy(q.get(),
                   CreateGroupByClause(
                       Columns(q.get(), {Aliased(q.get(), "Machine", "m", "SiteId")}),
                       Leaf(q.get(), Aliased(q.get(), "Machine", "m", "MemoryMB", BRI_SQL_BIGINT, QUERY_AGGREGATE_SUM),
                            QUERY_OP_GREATER_EQUAL, &least, 8),
                       q->pool));
        Sort(q.get(), {Aliased(q.get(), "Machine", "m", "SiteId")}, false);
        EXPECT_EQ(SelectRows(q.get()), (Rows{{"2", "700"}, {"1", "800"}}));
    }
    {
        SCOPED_TRACE("having a quoted text, no aliases");
        QueryPtr q(CreateSelectQuery());
        Select(q.get(),
               {Aliased(q.get(), "Site", nullptr, "SiteName", BRI_SQL_VARCHAR),
                Aliased(q.get(), nullptr, nullptr, nullptr, BRI_SQL_INT, QUERY_AGGREGATE_COUNT)});
        FromTable(q.get(), "Site");
        const char* name = "O'Brien's";
        SetGroupBy(
            q.get(),
            CreateGroupByClause(
                Columns(q.get(), {Aliased(q.get(), "Site", nullptr, "SiteName", BRI_SQL_VARCHAR)}),
                Leaf(q.get(), Aliased(q.get(), "Site", nullptr, "SiteName", BRI_SQL_VARCHAR, QUERY_AGGREGATE_MAX),
                     QUERY_OP_EQUAL, name, static_cast<int32_t>(strlen(name))),
                q->pool));
        EXPECT_EQ(SelectRows(q.get()), (Rows{{"O'Brien's", "1"}}));
    }
}

TEST_P(Selects, SortPagingLikeAndBetween)
{
    {
        SCOPED_TRACE("sorted descending by another column");
        QueryPtr q(CreateSelectQuery());
        Select(q.get(), {Aliased(q.get(), "Machine", "m", "HostName")});
        FromTable(q.get(), "Machine", "m");
        Sort(q.get(), {Aliased(q.get(), "Machine", "m", "MemoryMB")}, false);
        EXPECT_EQ(SelectRows(q.get()), (Rows{{"eps"}, {"delta"}, {"gamma"}, {"beta"}, {"alpha"}}));
    }
    struct Page {
        int32_t limit, offset;
        bool ascending;
        Rows rows;
    };
    const Page pages[] = {
        {2, 1, true, {{"2"}, {"3"}}},
        {2, 4, true, {{"5"}}},
        {3, 0, true, {{"1"}, {"2"}, {"3"}}},
        {2, 1, false, {{"4"}, {"3"}}},
        {10, 0, false, {{"5"}, {"4"}, {"3"}, {"2"}, {"1"}}},
        {1, 5, true, {}},
    };
    for (const Page& page : pages) {
        SCOPED_TRACE("limit " + std::to_string(page.limit) + " offset " + std::to_string(page.offset));
        QueryPtr q(CreateSelectQuery());
        Select(q.get(), {Aliased(q.get(), "Machine", "m", "MachineId")});
        FromTable(q.get(), "Machine", "m");
        Sort(q.get(), {Aliased(q.get(), "Machine", "m", "MachineId")}, page.ascending);
        q->limit = page.limit;
        q->offset = page.offset;
        EXPECT_EQ(SelectRows(q.get()), page.rows);
    }
    {
        SCOPED_TRACE("like a quoted prefix");
        QueryPtr q(CreateSelectQuery());
        Select(q.get(), {Aliased(q.get(), "Site", "s", "SiteId")});
        FromTable(q.get(), "Site", "s");
        SetCriteria(q.get(), TextLeaf(q.get(), "SiteName", QUERY_OP_LIKE, "O'Brien%"));
        EXPECT_EQ(SelectRows(q.get()), (Rows{{"3"}}));
    }
    {
        SCOPED_TRACE("between numbers, qualified by the alias");
        QueryPtr q(CreateSelectQuery());
        Select(q.get(), {Aliased(q.get(), "Machine", "m", "MachineId")});
        FromTable(q.get(), "Machine", "m");
        const char* range = "200 and 400";
        SetCriteria(q.get(),
                    Leaf(q.get(), Aliased(q.get(), "Machine", "m", "MemoryMB", BRI_SQL_BIGINT), QUERY_OP_BETWEEN, range,
                         static_cast<int32_t>(strlen(range))));
        Sort(q.get(), {Aliased(q.get(), "Machine", "m", "MachineId")}, true);
        EXPECT_EQ(SelectRows(q.get()), (Rows{{"2"}, {"3"}, {"4"}}));
    }
}

TW_INSTANTIATE_ENGINE_TESTS(Selects);

// --- Random condition trees ------------------------------------------------

// Rows of R: an integer, a text, a date and a boolean. Texts are lower-case
// letters only, so that every engine's collation orders them as bytes.
struct RRow {
    int a;
    std::string b;
    int day; // of 2024-03
    bool d;
};

const char* const kTexts[] = {"a", "b", "c", "cc", "d"};

struct Node {
    uint8_t op;
    int column = 0; // 0 a, 1 b, 2 c (date), 3 d (boolean)
    int value = 0;  // a, index into kTexts, day, truth
    std::unique_ptr<Node> left, right;
};

std::unique_ptr<Node> RandomTree(std::mt19937& random, int depth)
{
    auto node = std::make_unique<Node>();
    if (depth == 0 || random() % 3 == 0) {
        node->column = static_cast<int>(random() % 4);
        // Booleans are compared for equality only.
        node->op =
            static_cast<uint8_t>(node->column == 3 ? QUERY_OP_EQUAL + random() % 2 : QUERY_OP_LESS + random() % 6);
        node->value = static_cast<int>(node->column == 3 ? random() % 2 : 1 + random() % 5);
        return node;
    }
    node->op = random() % 2 ? QUERY_OP_AND : QUERY_OP_OR;
    node->left = RandomTree(random, depth - 1);
    node->right = RandomTree(random, depth - 1);
    return node;
}

template <typename T> bool Compare(const T& stored, uint8_t op, const T& value)
{
    switch (op) {
    case QUERY_OP_LESS:
        return stored < value;
    case QUERY_OP_GREATER:
        return stored > value;
    case QUERY_OP_LESS_EQUAL:
        return stored <= value;
    case QUERY_OP_GREATER_EQUAL:
        return stored >= value;
    case QUERY_OP_EQUAL:
        return stored == value;
    default:
        return stored != value;
    }
}

bool Evaluate(const Node& node, const RRow& row)
{
    if (node.op == QUERY_OP_AND)
        return Evaluate(*node.left, row) && Evaluate(*node.right, row);
    if (node.op == QUERY_OP_OR)
        return Evaluate(*node.left, row) || Evaluate(*node.right, row);
    switch (node.column) {
    case 0:
        return Compare(row.a, node.op, node.value);
    case 1:
        return Compare(row.b, node.op, std::string(kTexts[node.value - 1]));
    case 2:
        return Compare(row.day, node.op, node.value);
    default:
        return Compare(row.d, node.op, node.value == 1);
    }
}

std::string DateText(int day) { return "2024-03-0" + std::to_string(day); }

// The tree as query conditions; every other leaf qualified by the alias.
QueryCondition* Build(SelectQuery* q, const Node& node, int* leaves)
{
    if (node.op == QUERY_OP_AND || node.op == QUERY_OP_OR) {
        QueryCondition* left = Build(q, *node.left, leaves);
        QueryCondition* right = Build(q, *node.right, leaves);
        return node.op == QUERY_OP_AND ? CreateConditionAnd(left, right, q->pool)
                                       : CreateConditionOr(left, right, q->pool);
    }
    static const char* const names[] = {"a", "b", "c", "d"};
    static const uint8_t types[] = {BRI_SQL_INT, BRI_SQL_VARCHAR, BRI_SQL_DATE, BRI_SQL_BOOLEAN};
    const char* alias = (*leaves)++ % 2 ? "r" : nullptr;
    QueryColumn* column =
        CreateListColumn(nullptr, alias, names[node.column], nullptr, 0, types[node.column], 0, q->pool);
    std::string text = node.column == 0 ? std::to_string(node.value)
        : node.column == 1              ? kTexts[node.value - 1]
        : node.column == 2              ? DateText(node.value)
                                        : (node.value ? "true" : "false");
    void* value = nullptr;
    int32_t length = 0;
    EXPECT_EQ(AllocateAndCopyColumnValue(&value, &length, types[node.column], text.c_str()), VELMORA_SUCCESS);
    QueryCondition* leaf = CreateQueryCondition(column, value, length, node.op, q->pool);
    free(value);
    return leaf;
}

class RandomTrees : public SqlOnEngine { };

TEST_P(RandomTrees, SelectTheRowsTheTreeSelects)
{
    const TableDefn* table = Define("R",
                                    {{"id", BRI_SQL_INT, nullptr, 0, false},
                                     {"a", BRI_SQL_INT},
                                     {"b", BRI_SQL_VARCHAR, nullptr, 10},
                                     {"c", BRI_SQL_DATE},
                                     {"d", BRI_SQL_BOOLEAN}},
                                    {"id"});
    ASSERT_TRUE(Run(dialect().create("R")));
    std::mt19937 random(20240301);
    std::vector<RRow> data;
    for (int id = 0; id < 30; id++) {
        RRow row{1 + static_cast<int>(random() % 5), kTexts[random() % 5], 1 + static_cast<int>(random() % 5),
                 random() % 2 == 1};
        data.push_back(row);
        ASSERT_TRUE(Run(dialect().insert(
            "R",
            MakeRow(table,
                    {std::to_string(id), std::to_string(row.a), row.b, DateText(row.day), row.d ? "true" : "false"})
                .get())));
    }
    for (int round = 0; round < 60; round++) {
        std::unique_ptr<Node> tree = RandomTree(random, 4);
        QueryPtr q(CreateSelectQuery());
        CreateAndAddSelectColumn(q.get(), nullptr, "r", "id", nullptr, 0, BRI_SQL_INT, 0);
        FromTable(q.get(), "R", "r");
        int leaves = 0;
        SetCriteria(q.get(), Build(q.get(), *tree, &leaves));
        SetSort(q.get(),
                CreateSortClause(Columns(q.get(), {Col(q.get(), "id", BRI_SQL_INT, nullptr, "r")}), 1, q->pool));
        Rows expected;
        for (int id = 0; id < 30; id++)
            if (Evaluate(*tree, data[id]))
                expected.push_back({std::to_string(id)});
        Rows found;
        ASSERT_TRUE(Select(dialect().select(q.get()), &found)) << "round " << round;
        ASSERT_EQ(found, expected) << "round " << round << ": " << Take(dialect().select(q.get()));
    }
}

TW_INSTANTIATE_ENGINE_TESTS(RandomTrees);

} // namespace
} // namespace sql_engines
