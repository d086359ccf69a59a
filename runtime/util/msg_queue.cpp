/* The received-message queue on LCDVector. */
#include "runtime/msg_queue.h"

#include <stdlib.h>

#include "runtime/log.h"
#include "runtime/object_lock.h"

int AddRcvdMsgToQueue(LCDVector* queue, void* message)
{
    LogTrace("\n\t@@@@@ Inside AddRcvdMsgToQueue() @@@@@\n");
    if (!queue)
        return 0;
    /* The vector frees its nodes with free, so the node comes from malloc. */
    auto* node = static_cast<LCDNode*>(malloc(sizeof(LCDNode)));
    if (!node) {
        LogError("Buffer allocation is failed !!!\n");
        return 0;
    }
    node->data = message;
    node->next = nullptr;
    int added = AddElement(queue, node);
    if (added != VELMORA_SUCCESS)
        free(node);
    return added;
}

void* ReadMsgFromQueueForProcessing(LCDVector* queue)
{
    LogTrace("\n\t@@@@@ Inside ReadMsgFromQueueForProcessing() @@@@@\n");
    void* message = nullptr;
    LockObject(queue);
    if (queue && queue->count > 0 && queue->head) {
        LCDNode* node = queue->head;
        queue->head = node->next;
        /* With the last message gone the tail must not point at the freed
         * node: the next append starts the list afresh. */
        if (!queue->head)
            queue->tail = nullptr;
        --queue->count;
        message = node->data;
        free(node);
    }
    UnlockObject(queue);
    return message;
}
