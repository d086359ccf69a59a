// libFuzzer entry for ParseCondition: any bytes (up to their first NUL) as
// condition text. A tree that comes back must print, parse back into the
// same text, walk and free cleanly.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "velmora/criteria.h"

namespace {

int CheckLinks(const CriteriaNode* node, void*)
{
    bool join = node->op == CRITERIA_AND || node->op == CRITERIA_OR;
    if (join && (node->left->parent != node || node->right->parent != node))
        abort();
    if (!join && (node->columnName == nullptr || node->value == nullptr))
        abort();
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    CriteriaNode* root = ParseCondition(text.c_str());
    if (root == nullptr)
        return 0;
    WalkCriteriaTree(root, CheckLinks, nullptr);
    char* printed = ToStringCriteriaTree(root);
    if (printed != nullptr) {
        std::string again = std::string(printed) + "\n";
        CriteriaNode* reparsed = ParseCondition(again.c_str());
        char* reprinted = ToStringCriteriaTree(reparsed);
        // Deep right-leaning chains print more parentheses than the stack
        // allows; anything else must come back unchanged.
        if (reparsed != nullptr && (reprinted == nullptr || strcmp(printed, reprinted) != 0))
            abort();
        free(reprinted);
        FreeCriteriaTree(reparsed);
    }
    free(printed);
    FreeCriteriaTree(root);
    return 0;
}
