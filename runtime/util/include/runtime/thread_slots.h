/*
 * A table of worker-thread slots.
 *
 * A dispatcher keeps an array of slots, one per worker it has started. A
 * worker with nothing to do parks itself on its own slot (state idle); the
 * dispatcher looks for an idle slot with CheckThreadPool, hands it work and
 * wakes it (state busy). The slots are not locked: the state is written by
 * the worker and by WakeThreadSlot, and read by the dispatcher.
 */
#ifndef RUNTIME_THREAD_SLOTS_H
#define RUNTIME_THREAD_SLOTS_H

#include <stdint.h>

#include "platform/worker_thread.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Slot states. */
#define THREAD_SLOT_FREE 0
#define THREAD_SLOT_IDLE 1
#define THREAD_SLOT_BUSY 2

/* Results of CheckThreadPool. */
#define THREAD_POOL_IDLE_SLOT 1 /* *index names an idle slot */
#define THREAD_POOL_CAN_GROW 4  /* no slot is idle, a thread may be added */
#define THREAD_POOL_FULL 5      /* every slot busy and the maximum reached */

typedef struct ThreadSlot {
    signed char state;  /* THREAD_SLOT_FREE, _IDLE or _BUSY */
    PlatThread* thread; /* the worker, null while the slot is free */
} ThreadSlot;

/* The start routine of a worker; its result is the thread's exit code. */
typedef PlatThreadRoutine ThreadStartRoutine;

/* Writes its trace line; kept for the components that call it at start. */
void InitThreadInfo(void);

/* Marks every slot free. */
void ResetThreadSlots(ThreadSlot* slots, uint16_t count);

/* Marks every used slot free and closes its thread handle (the threads are
 * not stopped). */
void ReleaseThreadSlots(ThreadSlot* slots, uint16_t count);

/* A new thread running routine(argument) at once; null (logged) when it
 * cannot be created. */
PlatThread* CreateNewThread(ThreadStartRoutine routine, void* argument);

/* THREAD_POOL_IDLE_SLOT with *index set to the first idle slot; else
 * THREAD_POOL_CAN_GROW while count < maximum; else THREAD_POOL_FULL. */
int CheckThreadPool(const ThreadSlot* slots, uint16_t count, uint16_t* index, uint16_t maximum);

/* Called by a worker on its own slot: marks it idle and waits until the slot
 * is woken, then marks it busy. A wake that came first is not lost. The
 * wait is the calling thread's own, so a worker may park before its
 * dispatcher has stored the slot's handle. */
void ParkThreadSlot(ThreadSlot* slot);

/* Marks the slot busy (so that it is not handed out twice) and wakes its
 * worker. */
void WakeThreadSlot(ThreadSlot* slot);

#ifdef __cplusplus
}
#endif
#endif
