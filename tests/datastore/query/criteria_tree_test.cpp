#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "fault_injection.h"
#include "runtime/object_lock.h"
#include "tree_text.h"
#include "velmora/criteria.h"

extern "C" int CriteriaCApiSmoke(void);

namespace {

std::string Label(const CriteriaNode* node)
{
    if (node->op == CRITERIA_AND)
        return "and";
    if (node->op == CRITERIA_OR)
        return "or";
    return node->columnName;
}

int Record(const CriteriaNode* node, void* context)
{
    static_cast<std::vector<std::string>*>(context)->push_back(Label(node));
    return 1;
}

TEST(WalkCriteriaTree, VisitsChildrenBeforeTheirParent)
{
    CriteriaNode* root = ParseCondition("(a = 1 or b = 2) and (c = 3 and d = 4 or e = 5)\n");
    ASSERT_NE(root, nullptr);
    std::vector<std::string> order;
    EXPECT_EQ(WalkCriteriaTree(root, Record, &order), 1);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "or", "c", "d", "e", "or", "and", "and"}));

    // A subtree is walked on its own, without climbing above it.
    order.clear();
    EXPECT_EQ(WalkCriteriaTree(root->left, Record, &order), 1);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "or"}));

    int visits = 0;
    auto stopAtThird = [](const CriteriaNode*, void* context) { return ++*static_cast<int*>(context) < 3 ? 1 : 0; };
    EXPECT_EQ(WalkCriteriaTree(root, stopAtThird, &visits), 0);
    EXPECT_EQ(visits, 3);

    EXPECT_EQ(WalkCriteriaTree(root, nullptr, nullptr), 0);
    EXPECT_EQ(WalkCriteriaTree(nullptr, Record, &order), 1);
    FreeCriteriaTree(root);
}

TEST(FreeCriteriaTree, FreeingASubtreeUnhooksItFromItsParent)
{
    CriteriaNode* root = ParseCondition("a = 1 and (b = 2 or c = 3)\n");
    ASSERT_NE(root, nullptr);
    FreeCriteriaTree(root->right);
    EXPECT_EQ(root->right, nullptr);
    char* text = ToStringCriteriaTree(root);
    EXPECT_STREQ(text, "(a = 1 and )"); // a missing child prints as nothing
    free(text);
    free(root->left->columnName);
    root->left->columnName = nullptr;
    text = ToStringCriteriaTree(root);
    EXPECT_STREQ(text, "( = 1 and )");
    free(text);
    FreeCriteriaTree(root);
    FreeCriteriaTree(nullptr);
    EXPECT_EQ(ToStringCriteriaTree(nullptr), nullptr);
}

// Parentheses on the left build trees that lean left, chains lean right:
// both far deeper than any recursion would like.
TEST(CriteriaTree, DeepTreesOfEitherShapeAreWalkedPrintedAndFreed)
{
    const size_t n = 4000;
    std::string leftDeep = Repeat("(", n) + "a = 1";
    std::string expected = Repeat("(", n) + "a = 1";
    for (size_t i = 0; i < n; i++) {
        leftDeep += " or b = 2)";
        expected += " or b = 2)";
    }
    std::string rightDeep = "a = 1" + Repeat(" and b = 2", n) + "\n";

    for (const std::string& text : {leftDeep + "\n", rightDeep}) {
        CriteriaNode* root = ParseCondition(text.c_str());
        ASSERT_NE(root, nullptr);
        long count = 0;
        auto counter = [](const CriteriaNode*, void* context) {
            ++*static_cast<long*>(context);
            return 1;
        };
        EXPECT_EQ(WalkCriteriaTree(root, counter, &count), 1);
        EXPECT_EQ(count, (long)(2 * n + 1));
        char* printed = ToStringCriteriaTree(root);
        ASSERT_NE(printed, nullptr);
        if (text == leftDeep + "\n") {
            EXPECT_EQ(printed, expected);
            EXPECT_EQ(Parsed(std::string(printed) + "\n"), printed);
        }
        free(printed);
        FreeCriteriaTree(root);
    }
}

TEST(ToStringCriteriaTree, AFailedAllocationGivesNull)
{
    CriteriaNode* root = ParseCondition("a = 1 or b = 2\n");
    ASSERT_NE(root, nullptr);
    {
        FailingAllocations faults(1);
        EXPECT_EQ(ToStringCriteriaTree(root), nullptr);
        EXPECT_TRUE(faults.fired());
    }
    FreeCriteriaTree(root);
}

TEST(CriteriaLock, TheKeyAndItsAddressAreOneLock)
{
    EXPECT_EQ(gv_criteriaLock, static_cast<const void*>(&gv_criteriaLock));
    LockObject(gv_criteriaLock);
    EXPECT_EQ(UnlockObject(&gv_criteriaLock), OBJECT_LOCK_RELEASED);
}

TEST(CriteriaCApi, UsableFromC) { EXPECT_EQ(CriteriaCApiSmoke(), 0); }

} // namespace
