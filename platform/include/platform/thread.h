/* Thread identity, one-time initialisation, mutexes and condition variables. */
#ifndef PLATFORM_THREAD_H
#define PLATFORM_THREAD_H

#ifdef __cplusplus
extern "C" {
#endif

/* The system's id of the calling thread (a Windows thread id, a Linux tid). */
unsigned long PlatCurrentThreadId(void);

/* Runs `init` exactly once per `once` record, whichever thread gets there
 * first; other callers wait until it has finished. Zero-initialise the record. */
typedef struct PlatOnce {
    void* state[2];
} PlatOnce;
void PlatRunOnce(PlatOnce* once, void (*init)(void));

/* A non-recursive mutex and a condition variable that waits on it. Both
 * return null when the system cannot create them. */
typedef struct PlatMutex PlatMutex;
typedef struct PlatCond PlatCond;

PlatMutex* PlatMutexCreate(void);
void PlatMutexDestroy(PlatMutex* mutex);
void PlatMutexLock(PlatMutex* mutex);
void PlatMutexUnlock(PlatMutex* mutex);

PlatCond* PlatCondCreate(void);
void PlatCondDestroy(PlatCond* cond);
/* Releases `mutex`, waits for a broadcast (or a spurious wake-up) and takes
 * `mutex` again before returning. */
void PlatCondWait(PlatCond* cond, PlatMutex* mutex);
void PlatCondBroadcast(PlatCond* cond);
/* Wakes at least one thread waiting on `cond`, if any waits. */
void PlatCondSignal(PlatCond* cond);

/* A process-wide mutex that needs no creation, so taking it cannot fail: a
 * zero-initialised record (a file-scope variable) is an unlocked mutex. It
 * is never destroyed. Not recursive. */
typedef struct PlatStaticMutex {
    void* state[8];
} PlatStaticMutex;
void PlatStaticMutexLock(PlatStaticMutex* mutex);
void PlatStaticMutexUnlock(PlatStaticMutex* mutex);

#ifdef __cplusplus
}

/* A PlatStaticMutex for std::lock_guard and std::unique_lock: a file-scope
 * `PlatGlobalMutex g_lock;` is constant-initialised, ready before any
 * constructor runs. (The Windows builds' C++ library has no std::mutex.) */
struct PlatGlobalMutex {
    PlatStaticMutex record{};
    void lock() { PlatStaticMutexLock(&record); }
    void unlock() { PlatStaticMutexUnlock(&record); }
};
#endif
#endif
