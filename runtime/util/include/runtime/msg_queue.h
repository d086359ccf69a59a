/*
 * The received-message queue: an LCDVector whose nodes carry one message
 * pointer each, oldest at the head. One thread may fill it while another
 * drains it: both sides change the list under the vector's object lock.
 * The queue never owns the messages; whoever reads one frees it.
 */
#ifndef RUNTIME_MSG_QUEUE_H
#define RUNTIME_MSG_QUEUE_H

#include "velmora/lcd_vector.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Queues the message at the tail (or in order, when the vector has a
 * comparator, which also rejects an equal message). 1 when queued, else 0
 * (out of memory, rejected, or no queue); a message not queued stays with
 * the caller. */
int AddRcvdMsgToQueue(LCDVector* queue, void* message);

/* Takes the oldest message off the queue; null when the queue is empty or
 * absent. The queue stays usable after it has run empty. */
void* ReadMsgFromQueueForProcessing(LCDVector* queue);

#ifdef __cplusplus
}
#endif
#endif
