/*
 * A park waits on an auto-reset event of the thread's record rather than
 * suspending the thread: a resume that reaches a thread before it has
 * suspended itself is lost, and the worker would then sleep for ever with
 * work waiting. The event keeps a wake until the worker parks.
 *
 * The record is shared by the handle and the running thread: whichever lets
 * go last frees it, so a handle may be closed while its thread is parked.
 */
#include "platform/worker_thread.h"

#include <new>
#include <process.h>
#include <windows.h>

struct PlatThread {
    HANDLE handle;
    HANDLE wake; /* auto-reset event */
    LONG references;
    PlatThreadRoutine routine;
    void* argument;
};

static void Release(PlatThread* thread)
{
    if (InterlockedDecrement(&thread->references) != 0)
        return;
    CloseHandle(thread->wake);
    delete thread;
}

/* The record of the calling thread, for its parks. */
static thread_local PlatThread* t_self = nullptr;

static unsigned __stdcall Run(void* parameter)
{
    auto* thread = static_cast<PlatThread*>(parameter);
    t_self = thread;
    unsigned result = thread->routine(thread->argument);
    Release(thread);
    return result;
}

PlatThread* PlatThreadStart(PlatThreadRoutine routine, void* argument)
{
    if (!routine)
        return nullptr;
    auto* thread = new (std::nothrow) PlatThread;
    if (!thread)
        return nullptr;
    thread->references = 2;
    thread->routine = routine;
    thread->argument = argument;
    thread->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!thread->wake) {
        delete thread;
        return nullptr;
    }
    /* The C runtime's start routine, so that the thread's C library state is
     * set up and released with it. */
    uintptr_t handle = _beginthreadex(nullptr, 0, Run, thread, 0, nullptr);
    if (handle == 0) {
        CloseHandle(thread->wake);
        delete thread;
        return nullptr;
    }
    thread->handle = reinterpret_cast<HANDLE>(handle);
    return thread;
}

void PlatThreadPark(void)
{
    if (PlatThread* thread = t_self)
        WaitForSingleObject(thread->wake, INFINITE);
}

void PlatThreadWake(PlatThread* thread)
{
    if (thread)
        SetEvent(thread->wake);
}

unsigned PlatThreadWait(PlatThread* thread, unsigned milliseconds)
{
    if (!thread)
        return 0;
    return WaitForSingleObject(thread->handle, milliseconds) == WAIT_OBJECT_0 ? 0 : WAIT_TIMEOUT;
}

void PlatThreadClose(PlatThread* thread)
{
    if (!thread)
        return;
    CloseHandle(thread->handle);
    Release(thread);
}
