// Selections on random rows with random conditions, against a reference
// evaluation that does what a plain reading of the rules does: walk the
// parsed tree recursively for every row, convert the leaf's value text for
// every row and compare with CompareColumnValue.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tables_fixture.h"
#include "velmora/criteria.h"
#include "velmora/string_routines.h"

using namespace tables_fixture;

namespace {

struct Col {
    const char* name;
    uint8_t type;
};
const Col kColumns[] = {{"Id", BRI_SQL_INT},        {"Small", BRI_SQL_SMALLINT},     {"Tiny", BRI_SQL_UNSIGNED_TINYINT},
                        {"Big", BRI_SQL_BIGINT},    {"Count", BRI_SQL_UNSIGNED_INT}, {"Ratio", BRI_SQL_FLOAT},
                        {"Label", BRI_SQL_VARCHAR}, {"Day", BRI_SQL_DATE},           {"Flag", BRI_SQL_BOOLEAN}};
const int kColumnCount = sizeof kColumns / sizeof kColumns[0];

bool ReferenceLeaf(const CriteriaNode* leaf, const RowObject* row)
{
    for (int i = 0; i < kColumnCount; i++) {
        if (CompareNoCase(kColumns[i].name, leaf->columnName) != 0)
            continue;
        if (!row->values[i])
            return false;
        int32_t length = 0;
        void* criteria = ConvertStringToColumnValue(leaf->value, &length, kColumns[i].type);
        bool holds = CompareColumnValue(row->values[i], row->lengths[i], criteria, length, leaf->op, kColumns[i].type);
        free(criteria);
        return holds;
    }
    return false;
}

bool Reference(const CriteriaNode* node, const RowObject* row)
{
    if (!node)
        return true;
    if (node->columnName)
        return ReferenceLeaf(node, row);
    return CombineTruthValues(Reference(node->left, row), Reference(node->right, row), node->op);
}

class Generator {
public:
    explicit Generator(unsigned seed) : random_(seed) { }

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    std::string Number() { return std::to_string(Pick(2) ? Pick(12) : Pick(70000)); }
    std::string Text() { return std::string(1, static_cast<char>('a' + Pick(4))) + (Pick(2) ? "x" : ""); }

    // A value text for a column of this type; null now and then.
    const char* Value(uint8_t type, std::string& out)
    {
        if (Pick(8) == 0)
            return nullptr;
        switch (type) {
        case BRI_SQL_FLOAT:
            out = std::to_string(Pick(5)) + (Pick(2) ? ".5" : "");
            break;
        case BRI_SQL_VARCHAR:
            out = Text();
            break;
        case BRI_SQL_DATE:
            out = "2023-01-0" + std::to_string(1 + Pick(3));
            break;
        case BRI_SQL_BOOLEAN:
            out = Pick(2) ? "true" : "false";
            break;
        default:
            out = Number();
        }
        return out.c_str();
    }

    std::string Leaf()
    {
        static const char* const ops[] = {"<", ">", "<=", ">=", "=", "!="};
        std::string column = Pick(10) == 0 ? "Unknown" : kColumns[Pick(kColumnCount)].name;
        if (Pick(3) == 0) // names match case-insensitively
            for (char& c : column)
                c = static_cast<char>(Pick(2) ? toupper(c) : tolower(c));
        std::string value = Pick(3) == 0 ? "'" + Text() + "'" : Number();
        if (Pick(3) == 0 && value[0] != '\'')
            value += ".5";
        std::string op = ops[Pick(6)];
        return Pick(5) == 0 ? value + " " + op + " " + column : column + " " + op + " " + value;
    }

    std::string Condition(int depth)
    {
        if (depth == 0 || Pick(3) == 0)
            return Leaf();
        std::string joined = Condition(depth - 1) + (Pick(2) ? " and " : " or ") + Condition(depth - 1);
        return Pick(2) ? "(" + joined + ")" : joined;
    }

private:
    std::mt19937 random_;
};

class SelectionRandomTest : public TablesTest { };

TEST_F(SelectionRandomTest, SelectionsAgreeWithTheReferenceEvaluation)
{
    LCDVector* columns = CreateVector();
    for (const Col& col : kColumns)
        AddElementData(columns, Column(col.name, col.type));
    ASSERT_EQ(AddTableDefn(CreateTableDefn("Random", nullptr, columns, nullptr)), VELMORA_SUCCESS);
    ASSERT_EQ(CreateTable("Random"), VELMORA_SUCCESS);

    Generator gen(20240611);
    std::vector<RowObject*> rows;
    for (int r = 0; r < 300; r++) {
        auto** values = static_cast<void**>(calloc(kColumnCount, sizeof(void*)));
        auto* lengths = static_cast<int32_t*>(calloc(kColumnCount, sizeof(int32_t)));
        for (int i = 0; i < kColumnCount; i++) {
            std::string text;
            const char* value = gen.Value(kColumns[i].type, text);
            if (!value)
                continue;
            // Both converters, so that integers arrive 1, 2 and 4 bytes wide.
            if (gen.Pick(2)) {
                values[i] = ConvertStringToColumnValue(value, &lengths[i], kColumns[i].type);
            } else {
                ASSERT_NE(AllocateAndCopyColumnValue(&values[i], &lengths[i], kColumns[i].type, value),
                          VELMORA_FAILURE);
            }
        }
        RowObject* row = CreateNewRowObject(values, lengths);
        rows.push_back(row);
        ASSERT_EQ(AddNewRow("Random", row), VELMORA_SUCCESS);
    }

    int conditions = 0, nonEmpty = 0;
    for (int c = 0; c < 600; c++) {
        std::string text = gen.Condition(1 + gen.Pick(4));
        CriteriaNode* tree = ParseCondition((text + "\n").c_str());
        ResultData* result = SelectRows("Random", text.c_str());
        ASSERT_EQ(result != nullptr, tree != nullptr) << text;
        if (!tree)
            continue;
        std::vector<RowObject*> expected, actual;
        for (RowObject* row : rows)
            if (Reference(tree, row))
                expected.push_back(row);
        while (RowObject* row = GotoNextRowObject(result))
            actual.push_back(row);
        EXPECT_EQ(actual, expected) << text;
        conditions++;
        nonEmpty += !expected.empty() && expected.size() < rows.size();
        FreeCriteriaTree(tree);
        FreeResultData(result);
    }
    EXPECT_GT(conditions, 500);
    EXPECT_GT(nonEmpty, 150); // the conditions do discriminate
}

} // namespace
