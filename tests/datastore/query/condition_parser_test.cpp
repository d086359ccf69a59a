#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "fault_injection.h"
#include "log_capture.h"
#include "tree_text.h"
#include "velmora/criteria.h"

namespace {

struct TreeDeleter {
    void operator()(CriteriaNode* root) const { FreeCriteriaTree(root); }
};
using Tree = std::unique_ptr<CriteriaNode, TreeDeleter>;

TEST(ParseCondition, OneComparisonGivesOneLeaf)
{
    Tree leaf(ParseCondition("x = 5\n"));
    ASSERT_NE(leaf, nullptr);
    EXPECT_STREQ(leaf->columnName, "x");
    EXPECT_STREQ(leaf->value, "5");
    EXPECT_EQ(leaf->op, CRITERIA_EQ);
    EXPECT_EQ(leaf->columnIndex, 0);
    EXPECT_EQ(leaf->columnType, 0);
    EXPECT_EQ(leaf->left, nullptr);
    EXPECT_EQ(leaf->right, nullptr);
    EXPECT_EQ(leaf->parent, nullptr);

    // The codes that stored queries and evaluators rely on.
    const char* kOps[] = {"x < 5\n", "x > 5\n", "x <= 5\n",          "x >= 5\n",
                          "x=5\n",   "x!=5\n",  "x = 1 and y = 2\n", "x = 1 or y = 2\n"};
    for (int code = 1; code <= 8; code++) {
        Tree t(ParseCondition(kOps[code - 1]));
        ASSERT_NE(t, nullptr) << kOps[code - 1];
        EXPECT_EQ(t->op, code) << kOps[code - 1];
    }
}

TEST(ParseCondition, ValuesKeepTheirTextAsWritten)
{
    EXPECT_EQ(Parsed("name = 'x y'\n"), "name = 'x y'");
    EXPECT_EQ(Parsed("name = ''\n"), "name = ''");
    EXPECT_EQ(Parsed("qty >= 0012.500\n"), "qty >= 0012.500");
    EXPECT_EQ(Parsed("Col_2b\t=\t'-5 * \"x\"'  \n"), "Col_2b = '-5 * \"x\"'");
    // A quoted value may hold a line end; only a quote ends it.
    EXPECT_EQ(Parsed("note = 'a\nb'\n"), "note = 'a\nb'");
}

TEST(ParseCondition, ValueFirstIsStoredColumnFirstWithTheMirroredOperator)
{
    EXPECT_EQ(Parsed("5 < x\n"), "x > 5");
    EXPECT_EQ(Parsed("5 > x\n"), "x < 5");
    EXPECT_EQ(Parsed("5 <= x\n"), "x >= 5");
    EXPECT_EQ(Parsed("5 >= x\n"), "x <= 5");
    EXPECT_EQ(Parsed("'a' = name\n"), "name = 'a'");
    EXPECT_EQ(Parsed("1.5 != x\n"), "x != 1.5");
}

TEST(ParseCondition, AndAndOrGroupToTheRight)
{
    EXPECT_EQ(Parsed("a = 1 and b = 2 or c = 3\n"), "(a = 1 and (b = 2 or c = 3))");
    EXPECT_EQ(Parsed("a = 1 or b = 2 and c = 3\n"), "(a = 1 or (b = 2 and c = 3))");
    EXPECT_EQ(Parsed("a = 1 and b = 2 and c = 3\n"), "(a = 1 and (b = 2 and c = 3))");
    EXPECT_EQ(Parsed("(a = 1 and b = 2) or c = 3\n"), "((a = 1 and b = 2) or c = 3)");
    EXPECT_EQ(Parsed("((x = 5))\n"), "x = 5");
    EXPECT_EQ(Parsed("id > 5 and (name = 'x' or qty <= 3)\n"), "(id > 5 and (name = 'x' or qty <= 3))");

    // The links themselves, not only the printed form.
    Tree root(ParseCondition("a = 1 and b = 2 or c = 3\n"));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->op, CRITERIA_AND);
    EXPECT_EQ(root->columnName, nullptr);
    EXPECT_EQ(root->value, nullptr);
    ASSERT_NE(root->right, nullptr);
    EXPECT_EQ(root->right->op, CRITERIA_OR);
    EXPECT_EQ(root->left->parent, root.get());
    EXPECT_EQ(root->right->parent, root.get());
    EXPECT_EQ(root->right->left->parent, root->right);
    EXPECT_STREQ(root->right->right->columnName, "c");
}

TEST(ParseCondition, KeywordsAreLowerCaseWholeWords)
{
    EXPECT_EQ(Parsed("a = 1 AND b = 2\n"), "null");
    EXPECT_EQ(Parsed("a = 1 Or b = 2\n"), "null");
    EXPECT_EQ(Parsed("name LIKE 'x'\n"), "null");
    EXPECT_EQ(Parsed("AND = 1\n"), "AND = 1");
    EXPECT_EQ(Parsed("andy = 1 or or_2 = 2\n"), "(andy = 1 or or_2 = 2)");
    EXPECT_EQ(Parsed("and = 1\n"), "null");
}

TEST(ParseCondition, MalformedTextGivesNull)
{
    const char* kBad[] = {
        "x = -5\n", // a minus sign starts no token
        "-5 = x\n",
        "x = 5", // no line end
        "\n",    // an empty condition
        "x = 5\n\n",
        "x = 5\n y = 6", // the last line has no end
        "x <> 5\n",
        "x == 5\n",
        "x = 5.\n",
        "x = .5\n",
        "x = 1.2.3\n",
        "x = 'abc\n", // unterminated quote
        "x = 'it''s'\n",
        "x = \"a\"\n",
        "x = 5\r\n",
        "x = 5 *\n",
        "x ! 5\n",
        "x = y\n",
        "5 = 5\n",
        "x 5\n",
        "x =\n",
        "= 5\n",
        "x\n",
        "5\n",
        "(x = 5\n",
        "x = 5)\n",
        "()\n",
        "(x) = 5\n",
        "x = (5)\n",
        "x = 5 and\n",
        "and x = 5\n",
        "x = 5 and or y = 6\n",
        "x = 5 y = 6\n",
        "caf\xC3\xA9 = 1\n",
        "x = 5 \x80\n",
        "_x = 1\n",
        "9x = 1\n",
    };
    for (const char* text : kBad)
        EXPECT_EQ(Parsed(text), "null") << "text: " << text;
    EXPECT_EQ(ParseCondition(nullptr), nullptr);
}

TEST(ParseCondition, NoConditionIsNullAndBlanksAreSkipped)
{
    EXPECT_EQ(Parsed(""), "null");
    EXPECT_EQ(Parsed(" \t "), "null");
    EXPECT_EQ(Parsed("  \t( x\t=  5 )and y=6 \n"), "(x = 5 and y = 6)");
}

TEST(ParseCondition, SeveralLinesGiveTheLastLinesTree)
{
    // The earlier lines' trees are freed (the leak checker would say so).
    EXPECT_EQ(Parsed("a = 1 and b = 2\nc = 3\n"), "c = 3");
    EXPECT_EQ(Parsed("a = 1\nb = 2 or (c = 3 and d = 4)\n"), "(b = 2 or (c = 3 and d = 4))");
    EXPECT_EQ(Parsed("a = 1\nb = ?\n"), "null");
}

// The stack holds Start, Input, one entry per open parenthesis and, at its
// deepest, name comparison value: n + 5 entries for n parentheses.
TEST(ParseCondition, NestedParenthesesUpToTheStackLimit)
{
    const size_t most = CRITERIA_STACK_LIMIT - 5;
    EXPECT_EQ(Parsed(Repeat("(", most) + "x = 5" + Repeat(")", most) + "\n"), "x = 5");
    EXPECT_EQ(Parsed(Repeat("(", most + 1) + "x = 5" + Repeat(")", most + 1) + "\n"), "null");
    EXPECT_EQ(Parsed(Repeat("(", 20000) + "x = 5" + Repeat(")", 20000) + "\n"), "null");
    // Every size the stack grows through.
    for (size_t n : {194, 195, 196, 200, 395, 396, 800, 3200, 6400})
        EXPECT_EQ(Parsed(Repeat("(", n) + "x = 5" + Repeat(")", n) + "\n"), "x = 5") << n;
}

// A right-grouped chain keeps "condition and" waiting for each comparison:
// 2k + 3 entries for k comparisons.
TEST(ParseCondition, LongChainsUpToTheStackLimit)
{
    const size_t most = (CRITERIA_STACK_LIMIT - 3) / 2;
    std::string chain = "a = 1" + Repeat(" and a = 1", most - 1) + "\n";
    Tree root(ParseCondition(chain.c_str()));
    ASSERT_NE(root, nullptr);
    size_t depth = 0;
    for (const CriteriaNode* n = root.get(); n != nullptr; n = n->right)
        depth++;
    EXPECT_EQ(depth, most);

    EXPECT_EQ(Parsed("a = 1" + Repeat(" or a = 1", most) + "\n"), "null");
    EXPECT_EQ(Parsed(Repeat("a = 1 and ", 1000000) + "a = 1\n"), "null");
}

TEST(ParseCondition, EveryFailedAllocationGivesNullAndLeavesNothing)
{
    for (std::string text : {std::string("id > 5 and (name = 'x' or qty <= 3)\na = 1 or 2 < b\n"),
                             Repeat("(", 500) + "x = 5" + Repeat(")", 500) + "\n"}) {
        std::string expected = Parsed(text);
        long total = ForEveryAllocationFailure([&](long n, bool& fired) {
            FailingAllocations faults(n);
            CriteriaNode* root = ParseCondition(text.c_str());
            fired = faults.fired();
            if (fired) {
                EXPECT_EQ(root, nullptr) << "allocation " << n;
            }
            FreeCriteriaTree(root);
        });
        EXPECT_GT(total, 0);
        EXPECT_EQ(Parsed(text), expected);
    }
}

TEST(ParseCondition, OnlyAFailedAllocationIsLogged)
{
    LogCapture log;
    EXPECT_EQ(Parsed("x = -5\n"), "null");
    EXPECT_EQ(Parsed(Repeat("(", 20000) + "x = 5\n"), "null");
    {
        FailingAllocations faults(1);
        EXPECT_EQ(ParseCondition("x = 5\n"), nullptr);
    }
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[ERROR] ParseCondition : memory allocation failed"});
}

} // namespace
