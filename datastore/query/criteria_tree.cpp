// Freeing, walking and printing CriteriaNode trees, all without recursion:
// a tree can be thousands of levels deep.
#include <stdlib.h>
#include <string.h>

#include "velmora/base_alloc.h"
#include "velmora/criteria.h"

// The key holds its own address, so that LockObject(gv_criteriaLock) and
// LockObject(&gv_criteriaLock) take the same lock.
extern "C" const void* const gv_criteriaLock = &gv_criteriaLock;

namespace {

bool IsJoin(const CriteriaNode* node) { return node->op == CRITERIA_AND || node->op == CRITERIA_OR; }

const char* OperatorText(uint8_t op)
{
    static const char* const kText[] = {"?", "<", ">", "<=", ">=", "=", "!=", "and", "or"};
    return op < sizeof kText / sizeof kText[0] ? kText[op] : "?";
}

// The first node of the subtree in children-first order.
const CriteriaNode* FirstPostOrder(const CriteriaNode* node)
{
    while (node->left != nullptr || node->right != nullptr)
        node = node->left != nullptr ? node->left : node->right;
    return node;
}

// Writes the text of the tree into out (when not null) and returns its
// length. The walk follows parent links: down-left, across, back up.
size_t RenderTree(const CriteriaNode* root, char* out)
{
    size_t length = 0;
    auto put = [&](const char* text) {
        size_t n = text == nullptr ? 0 : strlen(text);
        if (out != nullptr && n > 0)
            memcpy(out + length, text, n);
        length += n;
    };

    const CriteriaNode* node = root;
    const CriteriaNode* from = nullptr; // the child we came back up from
    while (node != nullptr) {
        const CriteriaNode* next = nullptr;
        if (!IsJoin(node)) {
            put(node->columnName);
            put(" ");
            put(OperatorText(node->op));
            put(" ");
            put(node->value);
        } else {
            // 0: arrived from above, 1: back from the left, 2: back from the right
            int phase = from == nullptr ? 0 : from == node->left ? 1 : 2;
            if (phase == 0) {
                put("(");
                next = node->left;
                phase = 1;
            }
            if (next == nullptr && phase == 1) {
                put(" ");
                put(OperatorText(node->op));
                put(" ");
                next = node->right;
                phase = 2;
            }
            if (next == nullptr)
                put(")");
        }
        if (next != nullptr) {
            from = nullptr;
            node = next;
        } else {
            from = node;
            node = node == root ? nullptr : node->parent;
        }
    }
    return length;
}

} // namespace

extern "C" void FreeCriteriaTree(CriteriaNode* root)
{
    if (root == nullptr)
        return;
    if (root->parent != nullptr) {
        if (root->parent->left == root)
            root->parent->left = nullptr;
        if (root->parent->right == root)
            root->parent->right = nullptr;
    }
    // Rotate left children up until the node has none, then free it and go
    // on with its right child: constant memory, parent links unused.
    CriteriaNode* node = root;
    while (node != nullptr) {
        if (node->left != nullptr) {
            CriteriaNode* left = node->left;
            node->left = left->right;
            left->right = node;
            node = left;
        } else {
            CriteriaNode* right = node->right;
            free(node->columnName);
            free(node->value);
            free(node);
            node = right;
        }
    }
}

extern "C" int WalkCriteriaTree(const CriteriaNode* root, CriteriaVisitor visit, void* context)
{
    if (visit == nullptr)
        return 0;
    if (root == nullptr)
        return 1;
    const CriteriaNode* node = FirstPostOrder(root);
    for (;;) {
        if (!visit(node, context))
            return 0;
        if (node == root)
            return 1;
        const CriteriaNode* parent = node->parent;
        if (parent->left == node && parent->right != nullptr)
            node = FirstPostOrder(parent->right);
        else
            node = parent;
    }
}

extern "C" char* ToStringCriteriaTree(const CriteriaNode* root)
{
    if (root == nullptr)
        return nullptr;
    size_t length = RenderTree(root, nullptr);
    char* text = static_cast<char*>(BriMalloc(length + 1));
    if (text == nullptr)
        return nullptr;
    RenderTree(root, text);
    text[length] = '\0';
    return text;
}
