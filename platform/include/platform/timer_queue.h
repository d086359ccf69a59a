/*
 * Timer queues: one-shot (or periodic) callbacks on a worker thread.
 *
 * Deleting a queue cancels its pending timers and waits until a callback
 * that is running at that moment has returned, so the caller may free what
 * the callbacks use afterwards. A callback must not delete its own queue.
 *
 * Failures set the calling thread's last error (platform/error.h).
 */
#ifndef PLATFORM_TIMER_QUEUE_H
#define PLATFORM_TIMER_QUEUE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PlatTimerQueue PlatTimerQueue;
typedef struct PlatTimer PlatTimer;

/* `fired` is 1 for a timer, as Windows passes TRUE. */
typedef void (*PlatTimerCallback)(void* context, int fired);

/* A new queue, or null with the last error set. */
PlatTimerQueue* PlatCreateTimerQueue(void);

/*
 * Arms a timer on `queue` (null: the process's default queue) that calls
 * `callback(context, 1)` after `dueMs` and then every `periodMs` (0: once).
 * Returns the timer, or null with the last error set. The timer belongs to
 * its queue and is released with it, or earlier by PlatDeleteTimer.
 */
PlatTimer* PlatCreateTimer(PlatTimerQueue* queue, PlatTimerCallback callback, void* context, uint32_t dueMs,
                           uint32_t periodMs);

/* Cancels a timer that has not fired and releases it without waiting for a
 * running callback; a callback may delete its own timer. Returns 1, or 0
 * with the last error set. */
int PlatDeleteTimer(PlatTimerQueue* queue, PlatTimer* timer);

/* Cancels every pending timer, waits for a running callback, frees the
 * queue. Returns 1, or 0 with the last error set. */
int PlatDeleteTimerQueue(PlatTimerQueue* queue);

#ifdef __cplusplus
}
#endif
#endif
