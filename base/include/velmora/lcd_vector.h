/*
 * LCDVector: the data store's one list type.
 *
 * A singly linked list of nodes {data, next}. The vector owns its nodes,
 * never the data they point at: freeing a vector or deleting an element
 * frees nodes only, and the owner of the element data frees it itself.
 * Nodes are heap blocks that the C library's free releases; a caller that
 * builds a node itself for AddElement or InsertElementAt allocates it with
 * malloc (or BriMalloc), because the vector frees it with free.
 *
 * With a comparator the vector is ordered: AddElement places each element by
 * binary search and rejects an element that compares equal to one already
 * present. InsertElementAt ignores the comparator (it inserts by position).
 *
 * Locking: every operation except GetNthElement holds the process-wide
 * object lock keyed on the vector's address (LockObject) while it
 * runs, so operations on one vector exclude each other; operations on
 * different vectors do not. Code that changes the list directly (for example
 * the runtime's received-message queue) takes the same lock. The lock is not
 * re-entrant: never call an operation on a vector whose lock the calling
 * thread holds. Element data is not guarded by the vector's lock.
 *
 * Every operation writes a trace line naming itself through LogTrace.
 *
 * Results: 1 (VELMORA_SUCCESS) for success, 0 (VELMORA_FAILURE) for failure,
 * 99 (VELMORA_ALLOC_FAILURE) for an allocation failure where stated. A null
 * vector or node is a failure (or a null result), never a crash.
 */
#ifndef VELMORA_LCD_VECTOR_H
#define VELMORA_LCD_VECTOR_H

#include <stdint.h>

#include "velmora/result.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct LCDNode {
    void* data;           /* the element; not owned by the vector */
    struct LCDNode* next; /* following node, null at the tail */
} LCDNode;

/* Compares the node being added with a node of the vector: negative when the
 * new element sorts before the existing one, zero when they are equal (the
 * new one is rejected), positive when it sorts after. */
typedef signed char (*LCDComparator)(const LCDNode* newNode, const LCDNode* existingNode);

typedef struct LCDVector {
    LCDNode* head;            /* first node, null when empty */
    int32_t count;            /* number of nodes */
    LCDNode* tail;            /* last node */
    LCDComparator comparator; /* null: AddElement appends */
} LCDVector;

/* head and tail null, count 0, comparator stored (null for an unordered
 * vector). Any nodes the vector held are forgotten, not freed. */
void InitVector(LCDVector* vector, LCDComparator comparator);

/* A new zeroed vector without comparator, released by the caller with
 * FreeVector and then free. Null (and the error line
 * "MEMORY_ALLOCATION_FAILURE\n") when it cannot be allocated. */
LCDVector* CreateVector(void);

/* A new vector without comparator holding, in order, a NUL-terminated heap
 * copy of each element read as a string (a null element stays null). The
 * caller frees the copies and the vector. Null for a null vector (error line
 * "Cannot clone vector.  Vector is NULL.\n") and when any allocation fails,
 * in which case nothing is left allocated. */
LCDVector* CloneVector(LCDVector* vector);

/* Frees every node; count 0, head and tail null. The comparator stays, and
 * so does the vector record itself. Element data is untouched. */
void FreeVector(LCDVector* vector);

/* Adds a node the caller allocated: appended
 * without comparator, placed in order with one. 1 on success; 0 when the
 * comparator finds an equal element, which leaves the vector unchanged and
 * the node with the caller, or for null arguments. */
int AddElement(LCDVector* vector, LCDNode* node);

/* Allocates a node for data and adds it with AddElement. 1 on success; 0 when
 * the node cannot be allocated or AddElement rejects it (the node is then
 * freed; the data stays with the caller). */
int AddElementData(LCDVector* vector, void* data);

/* Inserts a node the caller allocated so that it ends at position index:
 * 0 inserts at the head, count appends. 0 when index < 0 or index > count
 * (nothing changes and the node stays with the caller). */
int InsertElementAt(LCDVector* vector, LCDNode* node, int32_t index);

/* Unlinks and frees the node (found by identity), count - 1. Returns 0 only
 * when the vector is empty (or an argument is null); a node that is not in
 * a non-empty vector leaves the vector unchanged, is not freed, and the call
 * still returns 1: failure is reserved for an empty vector. */
int DeleteElement(LCDVector* vector, LCDNode* node);

/* Unlinks and frees the node at index (0 <= index < count); 0 otherwise. */
int DeleteElementAt(LCDVector* vector, int32_t index);

/* The node at index, or null when index is out of range. */
LCDNode* ElementAt(LCDVector* vector, int32_t index);

/* The node n links after start (after head when start is null), without
 * taking the lock: for callers that already walk the vector. Null when
 * n < 0, n >= count, the vector is empty, or the walk runs off the end. */
LCDNode* GetNthElement(LCDVector* vector, int32_t n, LCDNode* start);

/* Adds every element of source to destination, in source order, with new
 * nodes through AddElement (an ordered destination stays ordered), then frees
 * the source's nodes: source ends empty and its element data is referenced by
 * destination. An element that an ordered destination rejects as a duplicate
 * is dropped from both (its data is referenced by neither vector any more).
 * All new nodes are allocated before anything changes: 99 when one cannot
 * be, and then both vectors are left as they were. 1 on success; 0 for null
 * arguments or when destination and source are the same vector. */
int MergeVector(LCDVector* destination, LCDVector* source);

/* Removes (and frees) the first node whose data pointer equals data; 0 when
 * there is none. */
int DeleteLCDVector(LCDVector* vector, void* data);

#ifdef __cplusplus
}
#endif
#endif
