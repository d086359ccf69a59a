/* The condition parser's header compiles as C and its API works from C. */
#include <stdlib.h>
#include <string.h>

#include "runtime/object_lock.h"
#include "velmora/criteria.h"

static int CountLeaves(const CriteriaNode* node, void* context)
{
    if (node->op != CRITERIA_AND && node->op != CRITERIA_OR)
        ++*(int*)context;
    return 1;
}

/* 0 when everything behaves; otherwise the number of the failed step. */
int CriteriaCApiSmoke(void)
{
    CriteriaNode* root;
    char* text;
    int leaves = 0;

    LockObject(gv_criteriaLock);
    root = ParseCondition("id > 5 and (name = 'x' or qty <= 3)\n");
    UnlockObject(gv_criteriaLock);
    if (root == NULL || root->op != CRITERIA_AND || root->right->op != CRITERIA_OR)
        return 1;
    if (WalkCriteriaTree(root, CountLeaves, &leaves) != 1 || leaves != 3)
        return 2;
    text = ToStringCriteriaTree(root);
    if (text == NULL || strcmp(text, "(id > 5 and (name = 'x' or qty <= 3))") != 0)
        return 3;
    free(text);
    FreeCriteriaTree(root);
    return 0;
}
