/*
 * The keyed lock keeps one record per held key in a list guarded by one
 * mutex. A thread that finds its key held yields a few times, then queues on
 * that key and sleeps on a condition variable of its own. A release hands
 * the key straight to the first thread in its queue and wakes that thread
 * alone: waiters of other keys sleep on, and a thread that has waited cannot
 * be overtaken for ever by busy holders that release and lock again (a
 * rotation pass against the log's writers). The mutex is held only while
 * the list is read or changed, never while a key is held.
 *
 * Released records are kept on a short spare list, so that the logger,
 * which locks once per line, allocates nothing in the steady state.
 */
#include "runtime/object_lock.h"

#include <atomic>
#include <new>
#include <stdio.h>

#include "object_lock_probe.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "runtime/log.h"

namespace {

/* A thread asleep until a key is handed to it. */
struct Waiter {
    PlatCond* wake;
    bool granted; /* the key is now this thread's */
    Waiter* next;
};

/* A held key and the threads queued for it. */
struct KeyRecord {
    const void* key;
    Waiter* first; /* oldest first */
    Waiter* last;
    KeyRecord* next;
};

/* Each thread's condition variable, made the first time it has to sleep. */
struct ThreadWake {
    PlatCond* cond = nullptr;
    ~ThreadWake() { PlatCondDestroy(cond); }
};
thread_local ThreadWake t_wake;

std::atomic<PlatMutex* (*)(void)> g_mutexSource{PlatMutexCreate};
std::atomic<PlatMutex*> g_mutex{nullptr};
std::atomic<bool> g_unavailableReported{false};

/* Read and changed only under g_mutex. */
KeyRecord* g_head; /* held keys; new keys go to the tail */
KeyRecord* g_tail;
KeyRecord* g_spare; /* released records kept for reuse */
unsigned g_spareCount;
ObjectLockCounters g_counters;

/* Records kept for reuse; more than a handful of keys are rarely held at
 * once. */
const unsigned kMaxSpareRecords = 8;

/* How often a thread that finds its key held yields and looks again before
 * it goes to sleep. Keys are mostly held for one log line, which a few
 * yields outlast more cheaply than a sleep and a wake-up. */
const unsigned kSpinsBeforeSleeping = 20;

/* The mutex, created at first use by whichever thread comes first. A failed
 * creation is tried again at the next use. */
PlatMutex* TableMutex()
{
    PlatMutex* mutex = g_mutex.load(std::memory_order_acquire);
    if (mutex)
        return mutex;
    PlatMutex* made = g_mutexSource.load()();
    if (!made)
        return nullptr;
    if (!g_mutex.compare_exchange_strong(mutex, made, std::memory_order_acq_rel, std::memory_order_acquire)) {
        PlatMutexDestroy(made); /* another thread was quicker */
        return mutex;
    }
    return made;
}

/* Once per process: a lock that cannot lock must not pass unnoticed. The
 * log line goes through a writer, whose own LockObject fails quietly now. */
void ReportUnavailable()
{
    if (g_unavailableReported.exchange(true))
        return;
    fprintf(stderr, "LockObject : the mutex of the object lock cannot be created; nothing is locked\n");
    LogError("LockObject : the mutex of the object lock cannot be created; nothing is locked \n");
}

KeyRecord* Find(const void* key, KeyRecord** previous)
{
    KeyRecord* before = nullptr;
    for (KeyRecord* record = g_head; record; before = record, record = record->next) {
        if (record->key == key) {
            *previous = before;
            return record;
        }
    }
    return nullptr;
}

/* Appends a record for `key`; false when memory runs out. */
bool AddHeld(const void* key)
{
    KeyRecord* record = g_spare;
    if (record) {
        g_spare = record->next;
        g_spareCount--;
    } else {
        record = new (std::nothrow) KeyRecord{};
        if (!record)
            return false;
    }
    *record = KeyRecord{key, nullptr, nullptr, nullptr};
    if (g_tail)
        g_tail->next = record;
    else
        g_head = record;
    g_tail = record;
    return true;
}

void Remove(KeyRecord* record, KeyRecord* previous)
{
    if (previous)
        previous->next = record->next;
    else
        g_head = record->next;
    if (g_tail == record)
        g_tail = previous;
    if (g_spareCount < kMaxSpareRecords) {
        record->next = g_spare;
        g_spare = record;
        g_spareCount++;
        return;
    }
    delete record;
}

/* Drops the mutex for a moment so that the holder can go on. */
void Pause(PlatMutex* mutex, unsigned milliseconds)
{
    PlatMutexUnlock(mutex);
    PlatSleepMs(milliseconds);
    PlatMutexLock(mutex);
}

/* Queues the calling thread on `record` and sleeps until the key is handed
 * over; false, without waiting, when the thread has no condition variable. */
bool SleepUntilGranted(KeyRecord* record, PlatMutex* mutex)
{
    if (!t_wake.cond)
        t_wake.cond = PlatCondCreate();
    if (!t_wake.cond)
        return false;
    Waiter me{t_wake.cond, false, nullptr};
    if (record->last)
        record->last->next = &me;
    else
        record->first = &me;
    record->last = &me;
    g_counters.sleeps++;
    /* The record cannot go away meanwhile: it is held until the release
     * that dequeues this waiter. */
    while (!me.granted) {
        PlatCondWait(me.wake, mutex);
        g_counters.wakeUps++;
    }
    return true;
}

} // namespace

void InitMutex(void)
{
    LogTrace("\n\t@@@@@ Inside InitMutex() @@@@@\n");
    if (!TableMutex())
        ReportUnavailable();
}

int LockObject(const void* key)
{
    PlatMutex* mutex = TableMutex();
    if (!mutex) {
        ReportUnavailable();
        return OBJECT_LOCK_UNAVAILABLE;
    }
    unsigned spins = 0;
    PlatMutexLock(mutex);
    for (;;) {
        KeyRecord* previous;
        KeyRecord* record = Find(key, &previous);
        if (!record) {
            if (AddHeld(key))
                break;
            Pause(mutex, 1); /* no memory for the record: as busy, try again */
            continue;
        }
        if (spins == 0)
            g_counters.contended++;
        if (spins < kSpinsBeforeSleeping) {
            spins++;
            Pause(mutex, 0);
            continue;
        }
        if (SleepUntilGranted(record, mutex))
            break;
        Pause(mutex, 1); /* cannot sleep: look again later */
    }
    PlatMutexUnlock(mutex);
    return OBJECT_LOCK_HELD;
}

int UnlockObject(const void* key)
{
    PlatMutex* mutex = TableMutex();
    if (!mutex)
        return OBJECT_LOCK_NOT_HELD;
    PlatMutexLock(mutex);
    KeyRecord* previous;
    KeyRecord* record = Find(key, &previous);
    if (!record) {
        PlatMutexUnlock(mutex);
        return OBJECT_LOCK_NOT_HELD;
    }
    if (Waiter* next = record->first) {
        /* The key stays held: it passes to the oldest waiter. */
        record->first = next->next;
        if (!record->first)
            record->last = nullptr;
        next->granted = true;
        PlatCondSignal(next->wake);
    } else {
        Remove(record, previous);
    }
    PlatMutexUnlock(mutex);
    return OBJECT_LOCK_RELEASED;
}

ObjectLockCounters ReadObjectLockCounters()
{
    PlatMutex* mutex = TableMutex();
    if (!mutex)
        return ObjectLockCounters{};
    PlatMutexLock(mutex);
    ObjectLockCounters counters = g_counters;
    PlatMutexUnlock(mutex);
    return counters;
}

unsigned ObjectLockSleepers(const void* key)
{
    PlatMutex* mutex = TableMutex();
    if (!mutex)
        return 0;
    PlatMutexLock(mutex);
    KeyRecord* previous;
    unsigned sleepers = 0;
    if (KeyRecord* record = Find(key, &previous))
        for (Waiter* waiter = record->first; waiter; waiter = waiter->next)
            sleepers++;
    PlatMutexUnlock(mutex);
    return sleepers;
}

bool SetObjectLockMutexSource(PlatMutex* (*source)(void))
{
    if (g_mutex.load())
        return false;
    g_mutexSource.store(source ? source : PlatMutexCreate);
    return true;
}
