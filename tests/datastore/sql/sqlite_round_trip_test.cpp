// The SQLite dialect's statements run on SQLite itself (in memory): values
// that try to be SQL are stored and read back byte for byte, selects find
// exactly the row they describe, and random condition trees select the rows
// that an evaluation of the tree in memory selects.
#include <sqlite3.h>

#include <array>
#include <functional>
#include <random>

#include "sql_fixture.h"

using namespace sql_fixture;

namespace {

class SqliteRoundTrip : public SqlTest {
protected:
    void SetUp() override
    {
        SqlTest::SetUp();
        ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    }
    void TearDown() override
    {
        sqlite3_close(db_);
        SqlTest::TearDown();
    }
    // Runs a generated statement (freed here); false with the engine's message.
    ::testing::AssertionResult Run(char* statement)
    {
        std::string text = Take(statement);
        char* error = nullptr;
        if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error) == SQLITE_OK)
            return ::testing::AssertionSuccess();
        auto failure = ::testing::AssertionFailure() << (error ? error : "?") << " in: " << text;
        sqlite3_free(error);
        return failure;
    }
    // The first column of every row the statement returns, as text.
    std::vector<std::string> Column(const std::string& statement)
    {
        std::vector<std::string> values;
        sqlite3_stmt* prepared = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_, statement.c_str(), -1, &prepared, nullptr), SQLITE_OK) << statement;
        while (prepared && sqlite3_step(prepared) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(prepared, 0);
            values.emplace_back(text ? reinterpret_cast<const char*>(text) : "<NULL>",
                                static_cast<size_t>(sqlite3_column_bytes(prepared, 0)));
        }
        sqlite3_finalize(prepared);
        return values;
    }
    sqlite3* db_ = nullptr;
};

TEST_F(SqliteRoundTrip, HostileValuesAreStoredFoundChangedAndRemoved)
{
    TableDefn* table = Define("Machine",
                              {{"Id", BRI_SQL_INT},
                               {"Name", BRI_SQL_VARCHAR},
                               {"Active", BRI_SQL_BOOLEAN},
                               {"Seen", BRI_SQL_DATETIME},
                               {"Qty", BRI_SQL_BIGINT}},
                              {"Id"});
    ASSERT_TRUE(Run(SqliteGenCreateQuery("Machine")));
    const char* names[] = {"O'Brien", R"(back\slash)", "x'); drop table Machine; --"};
    std::vector<RowPtr> rows;
    for (int i = 0; i < 3; i++) {
        std::string id = std::to_string(i + 1);
        rows.push_back(
            Row(table, {id.c_str(), names[i], i % 2 ? "false" : "true", "2024-01-02 03:04:05", "5000000000"}));
        ASSERT_TRUE(Run(SqliteGenInsertQuery("Machine", rows.back().get())));
    }
    EXPECT_EQ(Column("select Name from Machine order by Id"), std::vector<std::string>(names, names + 3));

    for (int i = 0; i < 3; i++) {
        // Every column compared with the row's value finds this row only.
        const RowObject* row = rows[i].get();
        QueryPtr q(CreateSelectQuery());
        CreateAndAddSelectColumn(q.get(), nullptr, nullptr, "Id", nullptr, 0, BRI_SQL_INT, 0);
        FromTable(q.get(), "Machine");
        QueryCondition* tree = nullptr;
        int index = 0;
        for (const LCDNode* node = table->columns->head; node; node = node->next, index++) {
            const auto* column = static_cast<const ColumnDefn*>(node->data);
            QueryCondition* leaf = Leaf(q.get(), Col(q.get(), column->name, column->type), QUERY_OP_EQUAL,
                                        row->values[index], row->lengths[index]);
            tree = tree ? CreateConditionAnd(tree, leaf, q->pool) : leaf;
        }
        SetCriteria(q.get(), tree);
        EXPECT_EQ(Column(Take(SqliteGenSelectQuery(q.get()))), std::vector<std::string>{std::to_string(i + 1)});
    }

    // Change the first row's name and flag, then remove the third row.
    RowPtr changed = Row(table, {"1", R"(new'name\)", "false", "2024-01-02 03:04:05", "7"});
    ASSERT_TRUE(Run(SqliteGenUpdateQuery("Machine", changed.get())));
    EXPECT_EQ(Column("select Name || '|' || Active || '|' || Qty from Machine where Id = 1"),
              std::vector<std::string>{R"(new'name\|0|7)"});
    ASSERT_TRUE(Run(SqliteGenDeleteQuery("Machine", rows[2].get())));
    EXPECT_EQ(Column("select Id from Machine order by Id"), (std::vector<std::string>{"1", "2"}));
}

// A random tree over columns a, b, c, and its value for one row.
struct Node {
    int op; // QUERY_OP_AND, QUERY_OP_OR, or a comparison
    int column = 0, value = 0;
    std::unique_ptr<Node> left, right;
};

std::unique_ptr<Node> RandomTree(std::mt19937& random, int depth)
{
    auto node = std::make_unique<Node>();
    if (depth == 0 || random() % 3 == 0) {
        node->op = QUERY_OP_LESS + static_cast<int>(random() % 6);
        node->column = static_cast<int>(random() % 3);
        node->value = static_cast<int>(random() % 5);
        return node;
    }
    node->op = random() % 2 ? QUERY_OP_AND : QUERY_OP_OR;
    node->left = RandomTree(random, depth - 1);
    node->right = RandomTree(random, depth - 1);
    return node;
}

bool Evaluate(const Node& node, const int* row)
{
    if (node.op == QUERY_OP_AND)
        return Evaluate(*node.left, row) && Evaluate(*node.right, row);
    if (node.op == QUERY_OP_OR)
        return Evaluate(*node.left, row) || Evaluate(*node.right, row);
    int v = row[node.column];
    switch (node.op) {
    case QUERY_OP_LESS:
        return v < node.value;
    case QUERY_OP_GREATER:
        return v > node.value;
    case QUERY_OP_LESS_EQUAL:
        return v <= node.value;
    case QUERY_OP_GREATER_EQUAL:
        return v >= node.value;
    case QUERY_OP_EQUAL:
        return v == node.value;
    default:
        return v != node.value;
    }
}

QueryCondition* Build(SelectQuery* q, const Node& node)
{
    if (node.op == QUERY_OP_AND)
        return CreateConditionAnd(Build(q, *node.left), Build(q, *node.right), q->pool);
    if (node.op == QUERY_OP_OR)
        return CreateConditionOr(Build(q, *node.left), Build(q, *node.right), q->pool);
    const char* names[] = {"a", "b", "c"};
    return IntLeaf(q, names[node.column], static_cast<uint8_t>(node.op), node.value);
}

TEST_F(SqliteRoundTrip, RandomConditionTreesSelectTheRowsOfTheTree)
{
    Define("R", {{"id", BRI_SQL_INT}, {"a", BRI_SQL_INT}, {"b", BRI_SQL_INT}, {"c", BRI_SQL_INT}}, {"id"});
    ASSERT_TRUE(Run(SqliteGenCreateQuery("R")));
    std::mt19937 random(12);
    std::vector<std::array<int, 3>> data;
    for (int id = 0; id < 40; id++) {
        data.push_back(
            {static_cast<int>(random() % 5), static_cast<int>(random() % 5), static_cast<int>(random() % 5)});
        std::string statement = "insert into R values(" + std::to_string(id) + "," + std::to_string(data[id][0]) + "," +
            std::to_string(data[id][1]) + "," + std::to_string(data[id][2]) + ")";
        ASSERT_TRUE(Run(strdup(statement.c_str())));
    }
    for (int round = 0; round < 300; round++) {
        std::unique_ptr<Node> tree = RandomTree(random, 4);
        QueryPtr q(CreateSelectQuery());
        CreateAndAddSelectColumn(q.get(), nullptr, nullptr, "id", nullptr, 0, BRI_SQL_INT, 0);
        FromTable(q.get(), "R");
        SetCriteria(q.get(), Build(q.get(), *tree));
        SetSort(q.get(), CreateSortClause(Columns(q.get(), {Col(q.get(), "id")}), 1, q->pool));
        std::string statement = Take(SqliteGenSelectQuery(q.get()));
        std::vector<std::string> expected;
        for (int id = 0; id < 40; id++)
            if (Evaluate(*tree, data[id].data()))
                expected.push_back(std::to_string(id));
        ASSERT_EQ(Column(statement), expected) << statement;
    }
}

} // namespace
