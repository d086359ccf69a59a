/*
 * Timer queues over one worker thread per queue. The timers of a queue sit in
 * one list, pending or not, until they are deleted: a one-shot timer that has
 * fired stays a valid handle, as on Windows.
 */
#include "platform/timer_queue.h"

#include <errno.h>
#include <new>
#include <pthread.h>
#include <time.h>

#include "platform/error.h"
#include "platform/thread.h"

struct PlatTimer {
    PlatTimerCallback callback;
    void* context;
    struct timespec due;
    uint32_t periodMs;
    bool pending; /* waiting to fire */
    bool deleted; /* deleted while its callback ran; freed after it */
    PlatTimer* next;
};

struct PlatTimerQueue {
    pthread_mutex_t mutex;
    pthread_cond_t changed; /* on CLOCK_MONOTONIC */
    pthread_t worker;
    PlatTimer* timers;
    PlatTimer* running; /* whose callback runs now, or null */
    bool stopping;
};

namespace {

void AddMs(struct timespec* at, uint32_t ms)
{
    at->tv_sec += ms / 1000;
    at->tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (at->tv_nsec >= 1000000000L) {
        at->tv_sec++;
        at->tv_nsec -= 1000000000L;
    }
}

bool Earlier(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

void Unlink(PlatTimerQueue* queue, PlatTimer* timer)
{
    for (PlatTimer** link = &queue->timers; *link; link = &(*link)->next) {
        if (*link == timer) {
            *link = timer->next;
            return;
        }
    }
}

void* Worker(void* argument)
{
    auto* queue = static_cast<PlatTimerQueue*>(argument);
    pthread_mutex_lock(&queue->mutex);
    while (!queue->stopping) {
        PlatTimer* next = nullptr;
        for (PlatTimer* timer = queue->timers; timer; timer = timer->next)
            if (timer->pending && (!next || Earlier(timer->due, next->due)))
                next = timer;
        if (!next) {
            pthread_cond_wait(&queue->changed, &queue->mutex);
            continue;
        }
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (Earlier(now, next->due)) {
            /* The deadline is copied: the wait lets go of the mutex, and the
             * timer may be deleted and freed while it lasts. */
            struct timespec due = next->due;
            pthread_cond_timedwait(&queue->changed, &queue->mutex, &due);
            continue;
        }
        if (next->periodMs) {
            next->due = now;
            AddMs(&next->due, next->periodMs);
        } else {
            next->pending = false;
        }
        queue->running = next;
        pthread_mutex_unlock(&queue->mutex);
        next->callback(next->context, 1);
        pthread_mutex_lock(&queue->mutex);
        queue->running = nullptr;
        if (next->deleted) {
            Unlink(queue, next);
            delete next;
        }
        pthread_cond_broadcast(&queue->changed);
    }
    pthread_mutex_unlock(&queue->mutex);
    return nullptr;
}

PlatTimerQueue* g_defaultQueue;
PlatOnce g_defaultQueueOnce;

void CreateDefaultQueue() { g_defaultQueue = PlatCreateTimerQueue(); }

} // namespace

PlatTimerQueue* PlatCreateTimerQueue(void)
{
    auto* queue = new (std::nothrow) PlatTimerQueue{};
    if (!queue) {
        PlatSetLastError(PLAT_ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_mutex_init(&queue->mutex, nullptr);
    pthread_cond_init(&queue->changed, &attributes);
    pthread_condattr_destroy(&attributes);
    int rc = pthread_create(&queue->worker, nullptr, Worker, queue);
    if (rc != 0) {
        pthread_cond_destroy(&queue->changed);
        pthread_mutex_destroy(&queue->mutex);
        delete queue;
        PlatSetLastError(PlatErrorFromErrno(rc));
        return nullptr;
    }
    return queue;
}

PlatTimer* PlatCreateTimer(PlatTimerQueue* queue, PlatTimerCallback callback, void* context, uint32_t dueMs,
                           uint32_t periodMs)
{
    if (!callback) {
        PlatSetLastError(PLAT_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!queue) {
        PlatRunOnce(&g_defaultQueueOnce, CreateDefaultQueue);
        queue = g_defaultQueue;
        if (!queue) {
            PlatSetLastError(PLAT_ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    auto* timer = new (std::nothrow) PlatTimer{};
    if (!timer) {
        PlatSetLastError(PLAT_ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    timer->callback = callback;
    timer->context = context;
    timer->periodMs = periodMs;
    timer->pending = true;
    clock_gettime(CLOCK_MONOTONIC, &timer->due);
    AddMs(&timer->due, dueMs);

    pthread_mutex_lock(&queue->mutex);
    timer->next = queue->timers;
    queue->timers = timer;
    pthread_cond_broadcast(&queue->changed);
    pthread_mutex_unlock(&queue->mutex);
    return timer;
}

int PlatDeleteTimer(PlatTimerQueue* queue, PlatTimer* timer)
{
    if (!queue) {
        PlatRunOnce(&g_defaultQueueOnce, CreateDefaultQueue);
        queue = g_defaultQueue;
    }
    if (!queue || !timer) {
        PlatSetLastError(PLAT_ERROR_INVALID_HANDLE);
        return 0;
    }
    pthread_mutex_lock(&queue->mutex);
    timer->pending = false;
    if (queue->running == timer) {
        timer->deleted = true; /* the worker frees it once the callback returns */
    } else {
        Unlink(queue, timer);
        delete timer;
    }
    pthread_mutex_unlock(&queue->mutex);
    return 1;
}

int PlatDeleteTimerQueue(PlatTimerQueue* queue)
{
    if (!queue || queue == g_defaultQueue) {
        PlatSetLastError(PLAT_ERROR_INVALID_HANDLE);
        return 0;
    }
    if (pthread_equal(pthread_self(), queue->worker)) {
        /* Waiting for the running callback from inside it would never end. */
        PlatSetLastError(PLAT_ERROR_INVALID_PARAMETER);
        return 0;
    }
    pthread_mutex_lock(&queue->mutex);
    queue->stopping = true;
    pthread_cond_broadcast(&queue->changed);
    pthread_mutex_unlock(&queue->mutex);
    pthread_join(queue->worker, nullptr); /* returns once a running callback has */

    for (PlatTimer* timer = queue->timers; timer;) {
        PlatTimer* next = timer->next;
        delete timer;
        timer = next;
    }
    pthread_cond_destroy(&queue->changed);
    pthread_mutex_destroy(&queue->mutex);
    delete queue;
    return 1;
}
