#include "platform/thread.h"

#include <new>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

/* Asking the kernel is a system call; a thread's id never changes, so each
 * thread asks once. */
unsigned long PlatCurrentThreadId(void)
{
    thread_local unsigned long id = static_cast<unsigned long>(syscall(SYS_gettid));
    return id;
}

/* PlatOnce is zero-initialised by its owner, and a zeroed pthread_once_t is
 * not guaranteed to mean "not yet run"; so the record is used as a small
 * state machine of its own: 0 not run, 1 running, 2 done. */
void PlatRunOnce(PlatOnce* once, void (*init)(void))
{
    auto* state = reinterpret_cast<long*>(&once->state[0]);
    if (__atomic_load_n(state, __ATOMIC_ACQUIRE) == 2)
        return; /* the common case, and a plain load: no write to the shared line */
    long expected = 0;
    if (__atomic_compare_exchange_n(state, &expected, 1L, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        init();
        __atomic_store_n(state, 2L, __ATOMIC_RELEASE);
        return;
    }
    while (__atomic_load_n(state, __ATOMIC_ACQUIRE) != 2)
        sched_yield();
}

struct PlatMutex {
    pthread_mutex_t handle;
};

struct PlatCond {
    pthread_cond_t handle;
};

PlatMutex* PlatMutexCreate(void)
{
    auto* mutex = new (std::nothrow) PlatMutex;
    if (mutex && pthread_mutex_init(&mutex->handle, nullptr) != 0) {
        delete mutex;
        return nullptr;
    }
    return mutex;
}

void PlatMutexDestroy(PlatMutex* mutex)
{
    if (!mutex)
        return;
    pthread_mutex_destroy(&mutex->handle);
    delete mutex;
}

void PlatMutexLock(PlatMutex* mutex) { pthread_mutex_lock(&mutex->handle); }
void PlatMutexUnlock(PlatMutex* mutex) { pthread_mutex_unlock(&mutex->handle); }

PlatCond* PlatCondCreate(void)
{
    auto* cond = new (std::nothrow) PlatCond;
    if (cond && pthread_cond_init(&cond->handle, nullptr) != 0) {
        delete cond;
        return nullptr;
    }
    return cond;
}

void PlatCondDestroy(PlatCond* cond)
{
    if (!cond)
        return;
    pthread_cond_destroy(&cond->handle);
    delete cond;
}

void PlatCondWait(PlatCond* cond, PlatMutex* mutex) { pthread_cond_wait(&cond->handle, &mutex->handle); }
void PlatCondBroadcast(PlatCond* cond) { pthread_cond_broadcast(&cond->handle); }
void PlatCondSignal(PlatCond* cond) { pthread_cond_signal(&cond->handle); }

/* glibc's PTHREAD_MUTEX_INITIALIZER is all zero bytes (a default mutex), so
 * a zeroed record is an initialised mutex; tests/platform checks that. */
static_assert(sizeof(pthread_mutex_t) <= sizeof(PlatStaticMutex), "PlatStaticMutex too small for pthread_mutex_t");
void PlatStaticMutexLock(PlatStaticMutex* mutex) { pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(mutex)); }
void PlatStaticMutexUnlock(PlatStaticMutex* mutex) { pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(mutex)); }
