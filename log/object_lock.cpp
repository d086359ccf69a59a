/*
 * The keyed lock keeps the held keys in a singly linked list guarded by one
 * mutex. A thread that finds its key held sleeps on a condition variable until
 * a holder of some key releases one that has waiters, then looks again. The
 * mutex is held only while the list is read or changed, never while a key is
 * held.
 *
 * Waiting on a condition variable, rather than sleeping for a growing
 * interval, keeps a long-running process as quick to hand over a key after a
 * million waits as after the first one.
 */
#include "runtime/object_lock.h"

#include <new>

#include "platform/clock.h"
#include "platform/thread.h"
#include "runtime/log.h"

namespace {

struct HeldKey {
    const void* key;
    unsigned long long serial; /* tells this holding apart from a later one at the same address */
    unsigned waiters;          /* threads sleeping until this holding ends */
    HeldKey* next;
};

struct KeyList {
    PlatMutex* mutex;
    PlatCond* released;
    HeldKey* head;
    HeldKey* tail;
    unsigned long long nextSerial;
};

KeyList g_keys;
PlatOnce g_keysOnce;

void CreateKeyList()
{
    g_keys.mutex = PlatMutexCreate();
    g_keys.released = PlatCondCreate();
}

/* The mutex is created once, at first use, by whichever thread comes first. */
bool EnsureKeyList()
{
    PlatRunOnce(&g_keysOnce, CreateKeyList);
    return g_keys.mutex != nullptr && g_keys.released != nullptr;
}

/* How often a thread that finds its key held yields and looks again before
 * it goes to sleep until the key is released. */
const unsigned kSpinsBeforeSleeping = 20;

HeldKey* FindKey(const void* key, HeldKey** previous)
{
    HeldKey* before = nullptr;
    for (HeldKey* node = g_keys.head; node; before = node, node = node->next) {
        if (node->key == key) {
            if (previous)
                *previous = before;
            return node;
        }
    }
    return nullptr;
}

} // namespace

void InitMutex(void)
{
    LogTrace("\n\t@@@@@ Inside InitMutex() @@@@@\n");
    EnsureKeyList();
}

void LockObject(const void* key)
{
    if (!EnsureKeyList())
        return; /* without a mutex there is nothing to lock with */

    unsigned spins = 0;
    PlatMutexLock(g_keys.mutex);
    for (;;) {
        HeldKey* holder = FindKey(key, nullptr);
        if (!holder) {
            auto* node = new (std::nothrow) HeldKey{key, ++g_keys.nextSerial, 0, nullptr};
            if (node) {
                if (g_keys.tail)
                    g_keys.tail->next = node;
                else
                    g_keys.head = node;
                g_keys.tail = node;
                break;
            }
            /* No memory for the node: try again shortly, as for a busy key. */
            PlatMutexUnlock(g_keys.mutex);
            PlatSleepMs(1);
            PlatMutexLock(g_keys.mutex);
            continue;
        }
        /* Keys are held briefly (one log line), so a few yields usually
         * outlast the holder and are cheaper than sleeping and being woken. */
        if (spins < kSpinsBeforeSleeping) {
            spins++;
            PlatMutexUnlock(g_keys.mutex);
            PlatSleepMs(0);
            PlatMutexLock(g_keys.mutex);
            continue;
        }
        const unsigned long long serial = holder->serial;
        holder->waiters++;
        PlatCondWait(g_keys.released, g_keys.mutex);
        /* After a spurious wake-up the same holding is still there and this
         * thread stops counting as its waiter; once released, the node is
         * gone (another thread may hold the key anew, under a new serial). */
        if (HeldKey* now = FindKey(key, nullptr); now && now->serial == serial)
            now->waiters--;
    }
    PlatMutexUnlock(g_keys.mutex);
}

int UnlockObject(const void* key)
{
    if (!EnsureKeyList())
        return OBJECT_LOCK_NOT_HELD;

    PlatMutexLock(g_keys.mutex);
    HeldKey* previous = nullptr;
    HeldKey* node = FindKey(key, &previous);
    if (!node) {
        PlatMutexUnlock(g_keys.mutex);
        return OBJECT_LOCK_NOT_HELD;
    }
    if (previous)
        previous->next = node->next;
    else
        g_keys.head = node->next;
    if (g_keys.tail == node)
        g_keys.tail = previous;
    const bool wake = node->waiters > 0;
    delete node;
    if (wake)
        PlatCondBroadcast(g_keys.released);
    PlatMutexUnlock(g_keys.mutex);
    return OBJECT_LOCK_RELEASED;
}
