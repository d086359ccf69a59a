#include "platform/thread.h"

#include <new>
#include <windows.h>

unsigned long PlatCurrentThreadId(void) { return GetCurrentThreadId(); }

/* A zeroed record is INIT_ONCE_STATIC_INIT. */
static_assert(sizeof(INIT_ONCE) <= sizeof(PlatOnce), "PlatOnce too small for INIT_ONCE");

static BOOL CALLBACK RunInit(PINIT_ONCE, PVOID parameter, PVOID*)
{
    reinterpret_cast<void (*)(void)>(parameter)();
    return TRUE;
}

void PlatRunOnce(PlatOnce* once, void (*init)(void))
{
    InitOnceExecuteOnce(reinterpret_cast<PINIT_ONCE>(once), RunInit, reinterpret_cast<PVOID>(init), nullptr);
}

/* Slim reader/writer locks and condition variables exist from Vista and
 * Server 2008 on, the oldest systems the agent runs on. */
struct PlatMutex {
    SRWLOCK handle;
};

struct PlatCond {
    CONDITION_VARIABLE handle;
};

PlatMutex* PlatMutexCreate(void)
{
    auto* mutex = new (std::nothrow) PlatMutex;
    if (mutex)
        InitializeSRWLock(&mutex->handle);
    return mutex;
}

void PlatMutexDestroy(PlatMutex* mutex) { delete mutex; }
void PlatMutexLock(PlatMutex* mutex) { AcquireSRWLockExclusive(&mutex->handle); }
void PlatMutexUnlock(PlatMutex* mutex) { ReleaseSRWLockExclusive(&mutex->handle); }

PlatCond* PlatCondCreate(void)
{
    auto* cond = new (std::nothrow) PlatCond;
    if (cond)
        InitializeConditionVariable(&cond->handle);
    return cond;
}

void PlatCondDestroy(PlatCond* cond) { delete cond; }

void PlatCondWait(PlatCond* cond, PlatMutex* mutex)
{
    SleepConditionVariableSRW(&cond->handle, &mutex->handle, INFINITE, 0);
}

void PlatCondBroadcast(PlatCond* cond) { WakeAllConditionVariable(&cond->handle); }
void PlatCondSignal(PlatCond* cond) { WakeConditionVariable(&cond->handle); }

/* A zeroed SRWLOCK is SRWLOCK_INIT. */
static_assert(sizeof(SRWLOCK) <= sizeof(PlatStaticMutex), "PlatStaticMutex too small for SRWLOCK");
void PlatStaticMutexLock(PlatStaticMutex* mutex) { AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(mutex)); }
void PlatStaticMutexUnlock(PlatStaticMutex* mutex) { ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(mutex)); }
