/*
 * POSIX threads cannot be suspended from outside, so a park is a wait on a
 * condition variable of the thread's own record, and a wake sets a flag and
 * signals it. The flag makes a wake that comes before the park count.
 *
 * The record is shared by the handle and the running thread: whichever lets
 * go last frees it, so a handle may be closed while its thread is parked or
 * still running, and the thread is never joined (it is detached at start).
 */
#include "platform/worker_thread.h"

#include <errno.h>
#include <new>
#include <pthread.h>
#include <time.h>

struct PlatThread {
    pthread_mutex_t mutex;
    pthread_cond_t changed; /* a wake, or the routine's end */
    bool wakePending;
    bool finished;
    int references; /* the handle and the running thread */
    PlatThreadRoutine routine;
    void* argument;
};

static void Release(PlatThread* thread)
{
    pthread_mutex_lock(&thread->mutex);
    bool last = --thread->references == 0;
    pthread_mutex_unlock(&thread->mutex);
    if (!last)
        return;
    pthread_cond_destroy(&thread->changed);
    pthread_mutex_destroy(&thread->mutex);
    delete thread;
}

/* The record of the calling thread, for its parks. */
static thread_local PlatThread* t_self = nullptr;

static void* Run(void* parameter)
{
    auto* thread = static_cast<PlatThread*>(parameter);
    t_self = thread;
    thread->routine(thread->argument);
    pthread_mutex_lock(&thread->mutex);
    thread->finished = true;
    pthread_cond_broadcast(&thread->changed);
    pthread_mutex_unlock(&thread->mutex);
    Release(thread);
    return nullptr;
}

PlatThread* PlatThreadStart(PlatThreadRoutine routine, void* argument)
{
    if (!routine)
        return nullptr;
    auto* thread = new (std::nothrow) PlatThread;
    if (!thread)
        return nullptr;
    thread->wakePending = false;
    thread->finished = false;
    thread->references = 2;
    thread->routine = routine;
    thread->argument = argument;
    if (pthread_mutex_init(&thread->mutex, nullptr) != 0) {
        delete thread;
        return nullptr;
    }
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    int failed = pthread_cond_init(&thread->changed, &attributes);
    pthread_condattr_destroy(&attributes);
    if (failed) {
        pthread_mutex_destroy(&thread->mutex);
        delete thread;
        return nullptr;
    }
    pthread_t id;
    if (pthread_create(&id, nullptr, Run, thread) != 0) {
        pthread_cond_destroy(&thread->changed);
        pthread_mutex_destroy(&thread->mutex);
        delete thread;
        return nullptr;
    }
    pthread_detach(id);
    return thread;
}

void PlatThreadPark(void)
{
    PlatThread* thread = t_self;
    if (!thread)
        return;
    pthread_mutex_lock(&thread->mutex);
    while (!thread->wakePending)
        pthread_cond_wait(&thread->changed, &thread->mutex);
    thread->wakePending = false;
    pthread_mutex_unlock(&thread->mutex);
}

void PlatThreadWake(PlatThread* thread)
{
    if (!thread)
        return;
    pthread_mutex_lock(&thread->mutex);
    thread->wakePending = true;
    pthread_cond_broadcast(&thread->changed);
    pthread_mutex_unlock(&thread->mutex);
}

unsigned PlatThreadWait(PlatThread* thread, unsigned milliseconds)
{
    if (!thread)
        return 0;
    struct timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&thread->mutex);
    int result = 0;
    while (!thread->finished && result != ETIMEDOUT)
        result = pthread_cond_timedwait(&thread->changed, &thread->mutex, &deadline);
    bool finished = thread->finished;
    pthread_mutex_unlock(&thread->mutex);
    return finished ? 0 : 258;
}

void PlatThreadClose(PlatThread* thread)
{
    if (thread)
        Release(thread);
}
