/*
 * Selection conditions: the CriteriaNode tree and the condition text parser.
 *
 * A condition such as
 *
 *     id > 5 and (name = 'x' or qty <= 3)
 *
 * becomes a binary tree. A leaf compares one column with one literal value;
 * an inner node joins its two subtrees with AND or OR. The caller resolves
 * the column names (columnIndex, columnType) and evaluates the tree.
 *
 * The language, line by line (every condition ends with a line end):
 *
 *     condition : name comparison value
 *               | value comparison name
 *               | condition and condition
 *               | condition or condition
 *               | ( condition )
 *
 * - value: digits, digits.digits, or a single-quoted string without quotes
 *   inside ('' included). Its text is kept as written, quotes included.
 * - name: a letter followed by letters, digits and underscores. Upper-case
 *   AND and OR, and words such as LIKE, are names.
 * - and, or: lower case only. Both have the same precedence and group to
 *   the right: "a and b or c" reads "a and (b or c)".
 * - comparison: < > <= >= = != ("<>" and "==" are two tokens each, and so
 *   a syntax error).
 * - blanks (space, tab) are skipped; the newline ends a condition. Any other
 *   character (a minus sign, a point outside a number, '*', '"', a carriage
 *   return, any byte above 127) fails the parse.
 *
 * Nesting is bounded: the parser's stack starts with room for
 * CRITERIA_STACK_INITIAL entries, doubles when full and fails the parse
 * rather than grow past CRITERIA_STACK_LIMIT entries. Every parenthesis
 * still open and every "condition and" / "condition or" still waiting for
 * its right side takes one or two entries, so about 5000 chained
 * comparisons or 9995 nested parentheses fit. Nothing in this header
 * recurses, so deep trees cannot exhaust the C stack.
 */
#ifndef VELMORA_CRITERIA_H
#define VELMORA_CRITERIA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* CriteriaNode.op */
#define CRITERIA_LT 1 /* <  */
#define CRITERIA_GT 2 /* >  */
#define CRITERIA_LE 3 /* <= */
#define CRITERIA_GE 4 /* >= */
#define CRITERIA_EQ 5 /* =  */
#define CRITERIA_NE 6 /* != */
#define CRITERIA_AND 7
#define CRITERIA_OR 8

#define CRITERIA_STACK_INITIAL 200
#define CRITERIA_STACK_LIMIT 10000

/* One node of a parsed condition. A leaf has a column name and a value text
 * and op 1 to 6; it always reads "column op value" (a condition written
 * value first, "5 < x", is stored as x > 5). An inner node has neither
 * string, op 7 (AND) or 8 (OR), and both children. columnIndex and
 * columnType start at 0 and belong to whoever evaluates the tree. The root's
 * parent is null; every child's parent is the node that holds it. */
typedef struct CriteriaNode {
    char* columnName;
    char* value;
    uint8_t op;
    uint8_t columnIndex;
    uint8_t columnType;
    struct CriteriaNode* left;
    struct CriteriaNode* right;
    struct CriteriaNode* parent;
} CriteriaNode;

/* The process-wide lock key that serialises the parsing and evaluation of
 * conditions: LockObject(gv_criteriaLock) ... UnlockObject(gv_criteriaLock).
 * It holds its own address, so &gv_criteriaLock is the same key. The parser
 * itself keeps no shared state; the lock is for the trees' users. */
extern const void* const gv_criteriaLock;

/* Parses condition text into a new tree, or returns null.
 *
 * The text must end with a line end (callers append "\n" to the condition
 * they were given). Several lines are parsed in turn and the tree of the
 * last one is returned (the others are freed). Null is returned for a null
 * or empty text (blanks only included), a syntax error (a missing line end,
 * an empty line), a character that belongs to no token, nesting beyond the
 * stack limit and a failed allocation (the only case that writes a log
 * line); nothing is left allocated then.
 *
 * Reentrant: it reads only `text` and allocates only the tree (and, for
 * deeply nested text, a larger stack). Allocations go through BriMalloc and
 * BriCalloc; free the tree with FreeCriteriaTree. */
CriteriaNode* ParseCondition(const char* text);

/* Frees `root`, everything below it and their strings. When root has a
 * parent, the parent's link to it is cleared. Null is ignored. Works on
 * trees of any depth and shape without recursion, parent links unused. */
void FreeCriteriaTree(CriteriaNode* root);

/* Calls visit(node, context) for every node of the tree below and including
 * root, children before their parent, left before right: the order in which
 * an evaluation needs the results. Stops as soon as visit returns 0.
 * Returns 1 when every node was visited (also for a null root), 0 when visit
 * stopped the walk or is null. Needs no memory; relies on the parent links
 * being right, as ParseCondition sets them. */
typedef int (*CriteriaVisitor)(const CriteriaNode* node, void* context);
int WalkCriteriaTree(const CriteriaNode* root, CriteriaVisitor visit, void* context);

/* The tree as condition text, for logs and tests: a leaf as "x = 5", an
 * inner node as "(left and right)", e.g. "(a = 1 and (b = 2 or c = 3))".
 * With a line end the text parses back into the same tree, as long as its
 * parentheses stay within the parser's stack limit. A heap string
 * that the caller frees; null for a null root or a failed allocation.
 * Relies on the parent links as WalkCriteriaTree does. */
char* ToStringCriteriaTree(const CriteriaNode* root);

#ifdef __cplusplus
}
#endif
#endif
