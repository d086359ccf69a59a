/*
 * LCDVector. Each public operation takes the vector's object lock
 * and then works through the unlocked helpers below, so that an operation
 * built from others (AddElementData, MergeVector, CloneVector) never locks
 * the same key twice.
 */
#include "velmora/lcd_vector.h"

#include <stdlib.h>

#include "runtime/log.h"
#include "runtime/object_lock.h"
#include "velmora/base_alloc.h"

namespace {

/* Holds one vector's object lock for a scope. */
class VectorLock {
public:
    explicit VectorLock(const LCDVector* vector) : key_(vector) { LockObject(key_); }
    ~VectorLock() { UnlockObject(key_); }
    VectorLock(const VectorLock&) = delete;
    VectorLock& operator=(const VectorLock&) = delete;

private:
    const void* key_;
};

/* Code outside this file (the runtime's received-message queue) may take the head
 * away without touching tail; a vector without head counts as empty. */
bool IsEmpty(const LCDVector* vector) { return vector->head == nullptr || vector->count <= 0; }

void InitUnlocked(LCDVector* vector, LCDComparator comparator)
{
    vector->head = nullptr;
    vector->count = 0;
    vector->tail = nullptr;
    vector->comparator = comparator;
}

void FreeNodesUnlocked(LCDVector* vector)
{
    LCDNode* node = vector->head;
    while (node) {
        LCDNode* next = node->next;
        free(node);
        node = next;
    }
    vector->head = nullptr;
    vector->tail = nullptr;
    vector->count = 0;
}

void Append(LCDVector* vector, LCDNode* node)
{
    node->next = nullptr;
    if (IsEmpty(vector)) {
        vector->head = node;
        vector->count = 0;
    } else {
        vector->tail->next = node;
    }
    vector->tail = node;
    vector->count++;
}

/* The ordered or plain insert: binary search over the linked nodes. */
int AddUnlocked(LCDVector* vector, LCDNode* node)
{
    node->next = nullptr;
    if (IsEmpty(vector)) {
        vector->head = node;
        vector->tail = node;
        vector->count = 1;
        return VELMORA_SUCCESS;
    }
    LCDComparator compare = vector->comparator;
    if (!compare) {
        Append(vector, node);
        return VELMORA_SUCCESS;
    }

    /* Binary search over positions [a, b): lower is the node at a. */
    LCDNode* lower = vector->head;
    int32_t a = 0;
    int32_t b = vector->count;
    LCDNode* upper = nullptr;
    while (b - a != 1) {
        int32_t step = (b - a + 1) / 2;
        LCDNode* probe = lower;
        for (int32_t i = 0; i < step && probe; i++)
            probe = probe->next;
        if (!probe) {
            /* count claims more nodes than the links hold: search the part
             * that exists. */
            b = a + step;
            continue;
        }
        signed char order = compare(node, probe);
        if (order > 0) {
            lower = probe;
            a += step;
        } else if (order < 0) {
            upper = probe;
            b = a + step;
        } else {
            return VELMORA_FAILURE;
        }
    }

    signed char order = compare(node, lower);
    if (order == 0)
        return VELMORA_FAILURE;
    if (order < 0) {
        node->next = vector->head;
        vector->head = node;
    } else {
        if (!upper)
            upper = lower->next;
        if (upper) {
            if (compare(node, upper) < 0) {
                node->next = upper;
                lower->next = node;
            } else {
                node->next = upper->next;
                upper->next = node;
            }
        } else {
            lower->next = node;
        }
    }
    if (!node->next)
        vector->tail = node;
    vector->count++;
    return VELMORA_SUCCESS;
}

/* Unlinks the node after previous (the head when previous is null). */
void UnlinkAfter(LCDVector* vector, LCDNode* previous, LCDNode* node)
{
    if (previous)
        previous->next = node->next;
    else
        vector->head = node->next;
    if (vector->tail == node || !node->next)
        vector->tail = previous;
    vector->count--;
    if (vector->count <= 0 || !vector->head) {
        vector->head = nullptr;
        vector->tail = nullptr;
        vector->count = 0;
    }
    free(node);
}

LCDNode* NodeAt(const LCDVector* vector, int32_t index)
{
    if (IsEmpty(vector) || index < 0 || index >= vector->count)
        return nullptr;
    LCDNode* node = vector->head;
    for (int32_t i = 0; i < index && node; i++)
        node = node->next;
    return node;
}

} // namespace

void InitVector(LCDVector* vector, LCDComparator comparator)
{
    LogTrace("@@@ Inside InitVector @@@\n");
    if (!vector)
        return;
    VectorLock lock(vector);
    InitUnlocked(vector, comparator);
}

LCDVector* CreateVector(void)
{
    LogTrace("@@@ Inside CreateVector @@@\n");
    auto* vector = static_cast<LCDVector*>(BriCalloc(1, sizeof(LCDVector)));
    if (!vector) {
        LogError("MEMORY_ALLOCATION_FAILURE\n");
        return nullptr;
    }
    InitVector(vector, nullptr);
    return vector;
}

LCDVector* CloneVector(LCDVector* vector)
{
    LogTrace("@@@ Inside CloneVector @@@\n");
    if (!vector) {
        LogError("Cannot clone vector.  Vector is NULL.\n");
        return nullptr;
    }
    LCDVector* clone = CreateVector();
    if (!clone)
        return nullptr;

    bool failed = false;
    {
        VectorLock lock(vector);
        for (LCDNode* node = IsEmpty(vector) ? nullptr : vector->head; node; node = node->next) {
            char* copy = nullptr;
            if (node->data) {
                copy = BriStrdup(static_cast<const char*>(node->data));
                if (!copy) {
                    failed = true;
                    break;
                }
            }
            auto* added = static_cast<LCDNode*>(BriMalloc(sizeof(LCDNode)));
            if (!added) {
                free(copy);
                failed = true;
                break;
            }
            added->data = copy;
            Append(clone, added);
        }
    }
    if (failed) {
        LogError("CloneVector : MEMORY_ALLOCATION_FAILURE\n");
        for (LCDNode* node = clone->head; node; node = node->next)
            free(node->data);
        FreeNodesUnlocked(clone);
        free(clone);
        return nullptr;
    }
    return clone;
}

void FreeVector(LCDVector* vector)
{
    LogTrace("@@@ Inside FreeVector @@@\n");
    if (!vector)
        return;
    VectorLock lock(vector);
    FreeNodesUnlocked(vector);
}

int AddElement(LCDVector* vector, LCDNode* node)
{
    LogTrace("@@@ Inside AddElement @@@\n");
    if (!vector || !node)
        return VELMORA_FAILURE;
    VectorLock lock(vector);
    return AddUnlocked(vector, node);
}

int AddElementData(LCDVector* vector, void* data)
{
    LogTrace("@@@ Inside AddElementData @@@\n");
    if (!vector)
        return VELMORA_FAILURE;
    auto* node = static_cast<LCDNode*>(BriMalloc(sizeof(LCDNode)));
    if (!node) {
        LogError("AddElementData : MEMORY_ALLOCATION_FAILURE\n");
        return VELMORA_FAILURE;
    }
    node->data = data;
    node->next = nullptr;
    int result;
    {
        VectorLock lock(vector);
        result = AddUnlocked(vector, node);
    }
    if (result != VELMORA_SUCCESS)
        free(node);
    return result;
}

int InsertElementAt(LCDVector* vector, LCDNode* node, int32_t index)
{
    LogTrace("@@@ Inside InsertElementAt @@@\n");
    if (!vector || !node)
        return VELMORA_FAILURE;
    VectorLock lock(vector);
    int32_t count = IsEmpty(vector) ? 0 : vector->count;
    if (index < 0 || index > count)
        return VELMORA_FAILURE;
    if (index == count) {
        Append(vector, node);
    } else if (index == 0) {
        node->next = vector->head;
        vector->head = node;
        vector->count++;
    } else {
        LCDNode* previous = NodeAt(vector, index - 1);
        if (!previous)
            return VELMORA_FAILURE;
        node->next = previous->next;
        previous->next = node;
        if (!node->next)
            vector->tail = node;
        vector->count++;
    }
    return VELMORA_SUCCESS;
}

int DeleteElement(LCDVector* vector, LCDNode* node)
{
    LogTrace("@@@ Inside DeleteElement @@@\n");
    if (!vector || !node)
        return VELMORA_FAILURE;
    VectorLock lock(vector);
    if (IsEmpty(vector))
        return VELMORA_FAILURE;
    LCDNode* previous = nullptr;
    for (LCDNode* current = vector->head; current; previous = current, current = current->next) {
        if (current == node) {
            UnlinkAfter(vector, previous, current);
            break;
        }
    }
    return VELMORA_SUCCESS;
}

int DeleteElementAt(LCDVector* vector, int32_t index)
{
    LogTrace("@@@ Inside DeleteElementAt @@@\n");
    if (!vector)
        return VELMORA_FAILURE;
    VectorLock lock(vector);
    if (IsEmpty(vector) || index < 0 || index >= vector->count)
        return VELMORA_FAILURE;
    LCDNode* previous = index > 0 ? NodeAt(vector, index - 1) : nullptr;
    LCDNode* node = previous ? previous->next : vector->head;
    if (!node || (index > 0 && !previous))
        return VELMORA_FAILURE;
    UnlinkAfter(vector, previous, node);
    return VELMORA_SUCCESS;
}

LCDNode* ElementAt(LCDVector* vector, int32_t index)
{
    LogTrace("@@@ Inside ElementAt @@@\n");
    if (!vector)
        return nullptr;
    VectorLock lock(vector);
    return NodeAt(vector, index);
}

LCDNode* GetNthElement(LCDVector* vector, int32_t n, LCDNode* start)
{
    LogTrace("@@@ Inside GetNthElement @@@\n");
    if (!vector || IsEmpty(vector) || n < 0 || n >= vector->count)
        return nullptr;
    LCDNode* node = start ? start : vector->head;
    for (int32_t i = 0; i < n && node; i++)
        node = node->next;
    return node;
}

int MergeVector(LCDVector* destination, LCDVector* source)
{
    LogTrace("@@@ Inside MergeVector @@@\n");
    if (!destination || !source || destination == source)
        return VELMORA_FAILURE;

    /* Two keys, always taken in address order, so that two merges in
     * opposite directions cannot wait for each other. */
    LCDVector* first = destination < source ? destination : source;
    LCDVector* second = destination < source ? source : destination;
    VectorLock firstLock(first);
    VectorLock secondLock(second);

    int32_t count = IsEmpty(source) ? 0 : source->count;
    /* Every new node first, so that a failed allocation changes nothing. */
    LCDNode* fresh = nullptr;
    int32_t made = 0;
    for (; made < count; made++) {
        auto* node = static_cast<LCDNode*>(BriMalloc(sizeof(LCDNode)));
        if (!node)
            break;
        node->next = fresh;
        fresh = node;
    }
    if (made < count) {
        while (fresh) {
            LCDNode* next = fresh->next;
            free(fresh);
            fresh = next;
        }
        LogError("MergeVector : MEMORY_ALLOCATION_FAILURE\n");
        return VELMORA_ALLOC_FAILURE;
    }

    for (LCDNode* element = count ? source->head : nullptr; element && fresh; element = element->next) {
        LCDNode* node = fresh;
        fresh = fresh->next;
        node->data = element->data;
        if (AddUnlocked(destination, node) != VELMORA_SUCCESS)
            free(node); /* a duplicate in an ordered destination */
    }
    while (fresh) { /* only when count overstated the links */
        LCDNode* next = fresh->next;
        free(fresh);
        fresh = next;
    }
    FreeNodesUnlocked(source);
    return VELMORA_SUCCESS;
}

int DeleteLCDVector(LCDVector* vector, void* data)
{
    LogTrace("@@@ Inside DeleteLCDVector @@@\n");
    if (!vector)
        return VELMORA_FAILURE;
    VectorLock lock(vector);
    if (IsEmpty(vector))
        return VELMORA_FAILURE;
    LCDNode* previous = nullptr;
    for (LCDNode* node = vector->head; node; previous = node, node = node->next) {
        if (node->data == data) {
            UnlinkAfter(vector, previous, node);
            return VELMORA_SUCCESS;
        }
    }
    return VELMORA_FAILURE;
}
