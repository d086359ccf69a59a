/*
 * Timer queues over the system's own. Each timer carries the caller's
 * callback and context in a small record that the system's callback reads;
 * the records live until their queue is deleted, so a record is never freed
 * while the system may still be about to call through it.
 */
#include "platform/timer_queue.h"

#include <new>
#include <windows.h>

#include "platform/error.h"

struct PlatTimer {
    PlatTimerCallback callback;
    void* context;
    HANDLE handle;
    PlatTimer* next;
};

struct PlatTimerQueue {
    HANDLE handle;
    CRITICAL_SECTION lock;
    PlatTimer* timers;
};

namespace {

/* Records of timers armed on the default queue, which is never deleted. */
PlatTimerQueue g_defaultQueue;
INIT_ONCE g_defaultOnce = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK InitDefaultQueue(PINIT_ONCE, PVOID, PVOID*)
{
    InitializeCriticalSection(&g_defaultQueue.lock);
    return TRUE;
}

PlatTimerQueue* Records(PlatTimerQueue* queue)
{
    if (queue)
        return queue;
    InitOnceExecuteOnce(&g_defaultOnce, InitDefaultQueue, nullptr, nullptr);
    return &g_defaultQueue;
}

VOID CALLBACK Fire(PVOID parameter, BOOLEAN fired)
{
    auto* timer = static_cast<PlatTimer*>(parameter);
    timer->callback(timer->context, fired ? 1 : 0);
}

} // namespace

PlatTimerQueue* PlatCreateTimerQueue(void)
{
    auto* queue = new (std::nothrow) PlatTimerQueue{};
    if (!queue) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    queue->handle = CreateTimerQueue();
    if (!queue->handle) {
        DWORD error = GetLastError();
        delete queue;
        SetLastError(error);
        return nullptr;
    }
    InitializeCriticalSection(&queue->lock);
    return queue;
}

PlatTimer* PlatCreateTimer(PlatTimerQueue* queue, PlatTimerCallback callback, void* context, uint32_t dueMs,
                           uint32_t periodMs)
{
    if (!callback) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    PlatTimerQueue* records = Records(queue);
    auto* timer = new (std::nothrow) PlatTimer{callback, context, nullptr, nullptr};
    if (!timer) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    EnterCriticalSection(&records->lock);
    timer->next = records->timers;
    records->timers = timer;
    LeaveCriticalSection(&records->lock);
    if (!CreateTimerQueueTimer(&timer->handle, queue ? queue->handle : nullptr, Fire, timer, dueMs, periodMs,
                               WT_EXECUTEDEFAULT))
        return nullptr; /* the record stays with the queue, unused */
    return timer;
}

int PlatDeleteTimer(PlatTimerQueue* queue, PlatTimer* timer)
{
    if (!timer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    /* No completion event: return at once, also from the timer's own
     * callback; the system then reports ERROR_IO_PENDING, which is fine. */
    if (!DeleteTimerQueueTimer(queue ? queue->handle : nullptr, timer->handle, nullptr) &&
        GetLastError() != ERROR_IO_PENDING)
        return 0;
    return 1;
}

int PlatDeleteTimerQueue(PlatTimerQueue* queue)
{
    if (!queue) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    /* INVALID_HANDLE_VALUE: wait for running callbacks to return. */
    if (!DeleteTimerQueueEx(queue->handle, INVALID_HANDLE_VALUE))
        return 0;
    for (PlatTimer* timer = queue->timers; timer;) {
        PlatTimer* next = timer->next;
        delete timer;
        timer = next;
    }
    DeleteCriticalSection(&queue->lock);
    delete queue;
    return 1;
}
