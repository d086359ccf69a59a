// Every table of the example dictionary, and tables written here with every
// column type each dialect creates, go through create, insert, find,
// update and delete with the generated statements on each engine, and what
// the engine then holds is read back and compared.
#include <algorithm>

#include "engine_sql.h"
#include "velmora/data_dictionary.h"
#include "velmora/string_routines.h"

namespace sql_engines {
namespace {

using namespace sql_fixture;

const char* const kHostile[] = {"O'Brien", R"(back\slash \' \\)", "x'); drop table Machine; --"};

// A text of the column's size at most, full of quotes and backslashes;
// `v` at the front keeps the texts of different rows apart.
std::string SampleText(const ColumnDefn& column, int v)
{
    std::string text = std::to_string(v) + " " + kHostile[v % 3];
    if (column.type == BRI_SQL_TEXT || column.type == BRI_SQL_BLOB || column.type == BRI_SQL_CLOB) {
        for (int i = 0; i < 12; i++)
            text += std::string("\n\tGr\xC3\xBC\xC3\x9F"
                                "e \xE2\x82\xAC ") +
                kHostile[(v + i) % 3];
        return text;
    }
    if (column.maxSize > 0 && text.size() > static_cast<size_t>(column.maxSize))
        text.resize(static_cast<size_t>(column.maxSize));
    return text;
}

bool IsKeyColumn(const TableDefn* table, const ColumnDefn& column)
{
    for (int32_t i = 0; i < table->constraints->primaryKeyCount; i++)
        if (CompareNoCase(table->constraints->primaryKeys[i], column.name) == 0)
            return true;
    return false;
}

bool IsForeignKeyColumn(const TableDefn* table, const ColumnDefn& column)
{
    for (const LCDNode* node = table->constraints->foreignKeys ? table->constraints->foreignKeys->head : nullptr; node;
         node = node->next)
        if (CompareNoCase(static_cast<const ForeignKeyDefn*>(node->data)->localColumn, column.name) == 0)
            return true;
    return false;
}

// The value of a column in row `row` (0..2): variant 0 is inserted,
// variant 1 replaces it in the update. Key and foreign-key columns keep
// their value (row + 1 for integers), so rows of different tables refer
// to each other row by row.
Value SampleValue(const TableDefn* table, const ColumnDefn& column, int row, int variant)
{
    bool fixed = IsKeyColumn(table, column) || IsForeignKeyColumn(table, column);
    int v = row + 3 * (fixed ? 0 : variant), w = v % 6;
    static const char* const kFloats[] = {"2.5", "-0.125", "1024.75", "3.25", "-7.5", "0.5"};
    static const char* const kDoubles[] = {"12345.0625", "-0.0078125", "1e+15", "0", "-98765.5", "1.5"};
    switch (column.type) {
    case BRI_SQL_TINYINT:
        return std::to_string(v * 20 - 50);
    case BRI_SQL_UNSIGNED_TINYINT:
        return std::to_string(200 + v);
    case BRI_SQL_SMALLINT:
        return std::to_string(-30000 + v);
    case BRI_SQL_UNSIGNED_SMALLINT:
        return std::to_string(60000 + v);
    case BRI_SQL_INT:
        return std::to_string(fixed ? row + 1 : 1000 + v);
    case BRI_SQL_UNSIGNED_INT:
        return std::to_string(4000000000LL + v);
    case BRI_SQL_BIGINT:
        return std::to_string(-5000000000LL * (v + 1));
    case BRI_SQL_UNSIGNED_LONG_INT:
        return std::to_string(9000000000000000000ULL + v);
    case BRI_SQL_FLOAT:
    case BRI_SQL_REAL:
        return kFloats[w];
    case BRI_SQL_DOUBLE:
        return kDoubles[w];
    case BRI_SQL_DATE:
        return "2024-02-2" + std::to_string(w + 3);
    case BRI_SQL_TIME:
        return "23:59:0" + std::to_string(w);
    case BRI_SQL_DATETIME:
        return "2024-01-02 03:04:0" + std::to_string(w);
    case BRI_SQL_BOOLEAN:
        return v % 2 ? "false" : "true";
    default:
        return SampleText(column, v);
    }
}

std::vector<Value> SampleRow(const TableDefn* table, int row, int variant)
{
    std::vector<Value> texts;
    for (const ColumnDefn* column : ColumnsOf(table))
        texts.push_back(SampleValue(table, *column, row, variant));
    return texts;
}

std::vector<const RowObject*> Plain(const std::vector<RowPtr>& rows, size_t from = 0)
{
    std::vector<const RowObject*> plain;
    for (size_t i = from; i < rows.size(); i++)
        plain.push_back(rows[i].get());
    return plain;
}

// A leaf comparing the column with the row's value, qualified by nothing.
// A query column takes type codes up to 21: a long text column (22) is
// compared as the character text it holds.
QueryCondition* ValueLeaf(SelectQuery* q, const ColumnDefn& column, const RowObject* row, int index)
{
    uint8_t type = column.type == BRI_SQL_TEXT ? uint8_t{BRI_SQL_VARCHAR} : column.type;
    QueryCondition* leaf = Leaf(q, Col(q, column.name, type), QUERY_OP_EQUAL, row->values[index], row->lengths[index]);
    EXPECT_TRUE(leaf) << column.name;
    return leaf;
}

class RoundTrip : public SqlOnEngine {
protected:
    // The key columns of the rows the select finds, in normal form, sorted.
    std::vector<std::vector<std::string>> Found(const TableDefn* table, SelectQuery* q)
    {
        std::vector<const ColumnDefn*> keys;
        for (const ColumnDefn* column : ColumnsOf(table))
            if (IsKeyColumn(table, *column)) {
                CreateAndAddSelectColumn(q, nullptr, nullptr, column->name, nullptr, 0, column->type, 0);
                keys.push_back(column);
            }
        FromTable(q, table->name);
        std::vector<std::vector<std::string>> found;
        for (const auto& row : SelectRows(q)) {
            std::vector<std::string> normal;
            for (size_t i = 0; i < row.size() && i < keys.size(); i++)
                normal.push_back(Normal(keys[i]->type, row[i]));
            found.push_back(normal);
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    // The key columns of rows, as Found gives them.
    static std::vector<std::vector<std::string>> Keys(const TableDefn* table, std::vector<const RowObject*> rows)
    {
        std::vector<std::vector<std::string>> keys;
        std::vector<const ColumnDefn*> columns = ColumnsOf(table);
        for (const RowObject* row : rows) {
            std::vector<std::string> key;
            for (size_t i = 0; i < columns.size(); i++)
                if (IsKeyColumn(table, *columns[i]))
                    key.push_back(NormalOfValue(columns[i]->type, row->values[i], row->lengths[i]));
            keys.push_back(key);
        }
        std::sort(keys.begin(), keys.end());
        return keys;
    }

    // Row i is found by the AND of every column compared with its value,
    // and by the tree (c1 = v1 OR c1 = w1) AND (c2 = v2 OR c2 = w2) ...,
    // where w is the next row's value: that tree finds exactly the rows
    // whose every value is one of the two, and reads otherwise without its
    // parentheses.
    void FindEachRow(const TableDefn* table, const std::vector<RowPtr>& rows)
    {
        std::vector<const ColumnDefn*> columns = ColumnsOf(table);
        for (size_t i = 0; i < rows.size(); i++) {
            SCOPED_TRACE(std::string(table->name) + " row " + std::to_string(i));
            const RowObject* row = rows[i].get();
            const RowObject* next = rows[(i + 1) % rows.size()].get();
            QueryPtr all(CreateSelectQuery());
            QueryPtr either(CreateSelectQuery());
            QueryCondition* allTree = nullptr;
            QueryCondition* eitherTree = nullptr;
            for (size_t c = 0; c < columns.size(); c++) {
                int index = static_cast<int>(c);
                QueryCondition* leaf = ValueLeaf(all.get(), *columns[c], row, index);
                allTree = allTree ? CreateConditionAnd(allTree, leaf, all->pool) : leaf;
                QueryCondition* pair =
                    CreateConditionOr(ValueLeaf(either.get(), *columns[c], row, index),
                                      ValueLeaf(either.get(), *columns[c], next, index), either->pool);
                eitherTree = eitherTree ? CreateConditionAnd(eitherTree, pair, either->pool) : pair;
            }
            SetCriteria(all.get(), allTree);
            EXPECT_EQ(Found(table, all.get()), Keys(table, {row}));

            std::vector<const RowObject*> expected;
            std::vector<std::string> mine = NormalRow(table, row), theirs = NormalRow(table, next);
            for (const RowPtr& other : rows) {
                std::vector<std::string> values = NormalRow(table, other.get());
                bool match = true;
                for (size_t c = 0; c < values.size(); c++)
                    match = match && (values[c] == mine[c] || values[c] == theirs[c]);
                if (match)
                    expected.push_back(other.get());
            }
            SetCriteria(either.get(), eitherTree);
            EXPECT_EQ(Found(table, either.get()), Keys(table, expected));
        }
    }

    // Creates the tables, inserts three rows in each, finds each row,
    // updates every row (row 1's nullable columns to NULL) and deletes row
    // 0 of each table, children first; after each step the tables hold
    // exactly the rows they should.
    void CreateInsertFindUpdateDelete(const std::vector<const TableDefn*>& tables)
    {
        std::vector<std::vector<RowPtr>> inserted(tables.size());
        std::vector<std::vector<RowPtr>>& updated = updated_;
        updated.clear();
        updated.resize(tables.size());
        for (const TableDefn* table : tables)
            ASSERT_TRUE(Run(dialect().create(table->name)));
        for (size_t t = 0; t < tables.size(); t++) {
            for (int i = 0; i < 3; i++) {
                inserted[t].push_back(MakeRow(tables[t], SampleRow(tables[t], i, 0)));
                ASSERT_TRUE(Run(dialect().insert(tables[t]->name, inserted[t].back().get())));
            }
            EXPECT_EQ(Contents(tables[t]), Expected(tables[t], Plain(inserted[t]))) << tables[t]->name;
        }
        for (size_t t = 0; t < tables.size(); t++)
            FindEachRow(tables[t], inserted[t]);
        for (size_t t = 0; t < tables.size(); t++) {
            std::vector<const ColumnDefn*> columns = ColumnsOf(tables[t]);
            for (int i = 0; i < 3; i++) {
                std::vector<Value> texts = SampleRow(tables[t], i, 1);
                for (size_t c = 0; c < columns.size() && i == 1; c++)
                    if (columns[c]->nullable && !IsKeyColumn(tables[t], *columns[c]))
                        texts[c] = std::nullopt;
                updated[t].push_back(MakeRow(tables[t], texts));
                ASSERT_TRUE(Run(dialect().update(tables[t]->name, updated[t].back().get())));
            }
            EXPECT_EQ(Contents(tables[t]), Expected(tables[t], Plain(updated[t]))) << tables[t]->name;
        }
        for (size_t t = tables.size(); t-- > 0;) {
            ASSERT_TRUE(Run(dialect().remove(tables[t]->name, updated[t][0].get())));
            EXPECT_EQ(Contents(tables[t]), Expected(tables[t], Plain(updated[t], 1))) << tables[t]->name;
        }
    }

    // Per table, the rows of the update (row 0 deleted since).
    std::vector<std::vector<RowPtr>> updated_;
};

TEST_P(RoundTrip, ExampleDictionary)
{
    ASSERT_EQ(LoadDataDictFiles(TW_EXAMPLE_DATA_DIR), VELMORA_SUCCESS);
    std::vector<const TableDefn*> tables;
    // The files list parents before the tables that refer to them.
    for (const LCDNode* node = GetTableDefnVector()->head; node; node = node->next)
        tables.push_back(static_cast<const TableDefn*>(node->data));
    ASSERT_EQ(tables.size(), 21u); // the inventory and the stored-query tables
    CreateInsertFindUpdateDelete(tables);
}

// Every column type the dialect creates, under a composite key whose text
// part is hostile, with defaults, NOT NULL and UNIQUE.
TableDefn* DefineAllTypes(Engine engine)
{
    std::vector<ColumnSpec> columns = {
        {"k1", BRI_SQL_INT, nullptr, 0, false},
        {"k2", BRI_SQL_VARCHAR, nullptr, 40, false},
        {"c1", BRI_SQL_TINYINT, "-7"},
        {"c2", BRI_SQL_UNSIGNED_TINYINT},
        {"c3", BRI_SQL_SMALLINT},
        {"c4", BRI_SQL_UNSIGNED_SMALLINT},
        {"c5", BRI_SQL_INT, "42"},
        {"c6", BRI_SQL_UNSIGNED_INT, "4000000001"},
        {"c7", BRI_SQL_BIGINT, "-5000000001"},
        {"c8", BRI_SQL_UNSIGNED_LONG_INT},
        {"c9", BRI_SQL_FLOAT, "2.5"},
        {"c10", BRI_SQL_DOUBLE},
        {"c11", BRI_SQL_REAL},
        {"c14", BRI_SQL_CHAR, R"(O'Brien\)", 40, false},
        {"c15", BRI_SQL_VARCHAR, nullptr, 40, true, true},
        {"c16", BRI_SQL_DATE},
        {"c17", BRI_SQL_TIME},
        {"c18", BRI_SQL_DATETIME},
        {"c19", BRI_SQL_BOOLEAN, "TRUE", 40, false},
        {"c19f", BRI_SQL_BOOLEAN, "FALSE"},
        {"c22", BRI_SQL_TEXT, nullptr, 0},
    };
    if (engine == Engine::mariadb) {
        // Only MySQL's create-table has a column type for these.
        columns.push_back({"c20", BRI_SQL_BLOB, nullptr, 0});
        columns.push_back({"c21", BRI_SQL_CLOB, nullptr, 0});
    }
    return Define("AllTypes", columns, {"k1", "k2"});
}

TEST_P(RoundTrip, EveryColumnTypeKeysDefaultsAndConstraints)
{
    TableDefn* table = DefineAllTypes(engine());
    CreateInsertFindUpdateDelete({table});
    if (HasFatalFailure())
        return;
    // Rows 1 and 2 are left. A row naming only its key and unique column
    // takes every default the definition declares, and NULL elsewhere.
    std::vector<RowPtr> rows;
    rows.push_back(std::move(updated_[0][1]));
    rows.push_back(std::move(updated_[0][2]));
    ASSERT_TRUE(db().Execute("INSERT INTO AllTypes (k1, k2, c15) VALUES (7, " + Literal("x'y") + ", 'dflt')"))
        << db().LastError();
    std::vector<Value> defaults;
    for (const ColumnDefn* column : ColumnsOf(table))
        defaults.push_back(column->defaultValue
                               ? Value(NormalOfValue(column->type, column->defaultValue, column->defaultLength))
                               : std::nullopt);
    defaults[0] = "7", defaults[1] = "x'y", defaults[14] = "dflt";
    // Booleans read back in normal form; MakeRow wants the words.
    for (size_t c = 0; c < defaults.size(); c++)
        if (defaults[c] && ColumnsOf(table)[c]->type == BRI_SQL_BOOLEAN)
            defaults[c] = *defaults[c] == "1" ? "true" : "false";
    rows.push_back(MakeRow(table, defaults));
    const auto holds = Expected(table, Plain(rows));
    EXPECT_EQ(Contents(table), holds);

    // What the constraints forbid, the engine refuses, and nothing changes:
    // a NULL in a NOT NULL column, a second row with the same unique value,
    // a second row with the same composite key.
    std::vector<Value> texts = SampleRow(table, 9, 0);
    texts[13] = std::nullopt;
    EXPECT_TRUE(Refused(dialect().insert("AllTypes", MakeRow(table, texts).get())));
    texts = SampleRow(table, 9, 0);
    texts[14] = "dflt";
    EXPECT_TRUE(Refused(dialect().insert("AllTypes", MakeRow(table, texts).get())));
    texts = SampleRow(table, 9, 0);
    texts[0] = "7", texts[1] = "x'y";
    EXPECT_TRUE(Refused(dialect().insert("AllTypes", MakeRow(table, texts).get())));
    EXPECT_EQ(Contents(table), holds);
}

// Foreign keys to one table on one column and on two: the generator groups
// the entries into two keys, the engine enforces both, and deleting a
// parent row removes the rows that refer to it.
TEST_P(RoundTrip, ForeignKeysOnOneAndTwoColumnsCascade)
{
    const TableDefn* parent = Define("Parent",
                                     {{"a", BRI_SQL_INT, nullptr, 0, false, true},
                                      {"b", BRI_SQL_VARCHAR, nullptr, 40, false},
                                      {"note", BRI_SQL_VARCHAR, kHostile[2], 40}},
                                     {"a", "b"});
    const TableDefn* child = Define("Child",
                                    {{"id", BRI_SQL_INT, nullptr, 0, false},
                                     {"c", BRI_SQL_INT},
                                     {"pa", BRI_SQL_INT},
                                     {"pb", BRI_SQL_VARCHAR, nullptr, 40}},
                                    {"id"}, {{"c", "a", "Parent"}, {"pa", "a", "Parent"}, {"pb", "b", "Parent"}});
    ASSERT_TRUE(Run(dialect().create("Parent")));
    ASSERT_TRUE(Run(dialect().create("Child")));
    std::vector<RowPtr> parents, children;
    parents.push_back(MakeRow(parent, {"1", kHostile[0], kHostile[1]}));
    parents.push_back(MakeRow(parent, {"2", kHostile[2], std::nullopt}));
    for (const RowPtr& row : parents)
        ASSERT_TRUE(Run(dialect().insert("Parent", row.get())));
    children.push_back(MakeRow(child, {"1", "1", "1", kHostile[0]}));
    children.push_back(MakeRow(child, {"2", "2", "2", kHostile[2]}));
    children.push_back(MakeRow(child, {"3", "1", "2", kHostile[2]}));
    children.push_back(MakeRow(child, {"4", std::nullopt, std::nullopt, std::nullopt}));
    for (const RowPtr& row : children)
        ASSERT_TRUE(Run(dialect().insert("Child", row.get())));
    // A missing parent on either key is refused.
    EXPECT_TRUE(Refused(dialect().insert("Child", MakeRow(child, {"9", "3", std::nullopt, std::nullopt}).get())));
    EXPECT_TRUE(Refused(dialect().insert("Child", MakeRow(child, {"9", "1", "1", kHostile[2]}).get())));
    EXPECT_EQ(Contents(child), Expected(child, Plain(children)));

    ASSERT_TRUE(Run(dialect().remove("Parent", parents[0].get())));
    EXPECT_EQ(Contents(parent), Expected(parent, Plain(parents, 1)));
    EXPECT_EQ(Contents(child), Expected(child, {children[1].get(), children[3].get()}));
}

// The texts that break naive SQL are data in every clause: in a text key
// (update and delete conditions), in values, in a default, in conditions;
// stored and read back byte for byte, and the table they name lives on.
TEST_P(RoundTrip, HostileTextsAreData)
{
    const TableDefn* machine = Define("Machine", {{"Id", BRI_SQL_INT, nullptr, 0, false}}, {"Id"});
    const TableDefn* tags = Define("Tag",
                                   {{"Name", BRI_SQL_VARCHAR, nullptr, 80, false},
                                    {"Label", BRI_SQL_VARCHAR, kHostile[1], 80},
                                    {"Note", BRI_SQL_TEXT, nullptr, 0}},
                                   {"Name"});
    ASSERT_TRUE(Run(dialect().create("Machine")));
    ASSERT_TRUE(Run(dialect().create("Tag")));
    RowPtr only = MakeRow(machine, {"1"});
    ASSERT_TRUE(Run(dialect().insert("Machine", only.get())));

    const std::vector<std::string> texts = {kHostile[0], kHostile[1], kHostile[2], "", "line\nbreak\ttab \xE2\x82\xAC",
                                            "%_*?"};
    std::vector<RowPtr> rows;
    for (const std::string& text : texts) {
        rows.push_back(MakeRow(tags, {text, text, text + text}));
        ASSERT_TRUE(Run(dialect().insert("Tag", rows.back().get())));
    }
    EXPECT_EQ(Contents(tags), Expected(tags, Plain(rows)));
    for (size_t i = 0; i < texts.size(); i++) {
        SCOPED_TRACE("text " + std::to_string(i));
        // Found by the text, and by the text as both bounds of a BETWEEN.
        for (uint8_t op : {QUERY_OP_EQUAL, QUERY_OP_BETWEEN}) {
            QueryPtr q(CreateSelectQuery());
            CreateAndAddSelectColumn(q.get(), nullptr, nullptr, "Note", nullptr, 0, BRI_SQL_VARCHAR, 0);
            FromTable(q.get(), "Tag");
            std::string value = texts[i];
            if (op == QUERY_OP_BETWEEN) {
                std::string quoted = "'";
                for (char c : texts[i])
                    quoted += c == '\'' ? std::string("''") : std::string(1, c);
                quoted += "'";
                value = quoted + " and " + quoted;
            }
            SetCriteria(q.get(), TextLeaf(q.get(), "Label", op, value.c_str()));
            EXPECT_EQ(SelectRows(q.get()), (Rows{{texts[i] + texts[i]}}));
        }
    }
    // Each row changed, its key the text itself.
    for (size_t i = 0; i < texts.size(); i++) {
        RowPtr changed = MakeRow(tags, {texts[i], texts[(i + 1) % texts.size()], std::nullopt});
        ASSERT_TRUE(Run(dialect().update("Tag", changed.get())));
        rows[i] = std::move(changed);
    }
    EXPECT_EQ(Contents(tags), Expected(tags, Plain(rows)));
    // A row that names only its key takes the hostile default.
    ASSERT_TRUE(db().Execute("INSERT INTO Tag (Name) VALUES ('dflt')")) << db().LastError();
    rows.push_back(MakeRow(tags, {"dflt", kHostile[1], std::nullopt}));
    EXPECT_EQ(Contents(tags), Expected(tags, Plain(rows)));
    for (size_t i = 0; i < texts.size(); i++)
        ASSERT_TRUE(Run(dialect().remove("Tag", rows[i].get())));
    EXPECT_EQ(Contents(tags), Expected(tags, Plain(rows, texts.size())));
    EXPECT_EQ(Contents(machine), Expected(machine, {only.get()}));
}

TW_INSTANTIATE_ENGINE_TESTS(RoundTrip);

} // namespace
} // namespace sql_engines
