/*
 * Worker threads: start, park and wake, wait for the end, release.
 *
 * A worker parks itself when it has nothing to do and its dispatcher wakes
 * it when work arrives. A wake is remembered until the worker parks, so a
 * dispatcher that wakes a worker a moment before the worker has parked does
 * not leave it asleep for ever. Several wakes before one park count as one.
 */
#ifndef PLATFORM_WORKER_THREAD_H
#define PLATFORM_WORKER_THREAD_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PlatThread PlatThread;

/* The routine a new thread runs; its result becomes the thread's exit code. */
typedef unsigned (*PlatThreadRoutine)(void* argument);

/* Starts a thread that runs routine(argument) at once, with the default
 * security and stack size. Null when the system cannot create it. */
PlatThread* PlatThreadStart(PlatThreadRoutine routine, void* argument);

/* Blocks the calling thread until it is woken by PlatThreadWake, or returns
 * at once when a wake is already pending. The worker parks itself: it needs
 * no handle, so it may park before its starter has stored the handle. A
 * thread not started by PlatThreadStart returns at once. */
void PlatThreadPark(void);

/* Wakes `thread` from PlatThreadPark, or lets its next park return at once. */
void PlatThreadWake(PlatThread* thread);

/* Waits at most `milliseconds` for the thread's routine to return:
 * 0 when it has returned, 258 (wait timeout) when it still runs. */
unsigned PlatThreadWait(PlatThread* thread, unsigned milliseconds);

/* Releases the handle. The thread itself runs on (or stays parked) and
 * releases its own resources when its routine returns. */
void PlatThreadClose(PlatThread* thread);

#ifdef __cplusplus
}
#endif
#endif
