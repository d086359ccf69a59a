/*
 * What the keyed lock did, for the lock's own tests: how often a key was
 * found held, how often a thread went to sleep for one and woke again, who
 * sleeps on a key now, and a way to make its mutex impossible to create.
 */
#pragma once

#include "platform/thread.h"

struct ObjectLockCounters {
    unsigned long long contended; /* LockObject calls that found their key held */
    unsigned long long sleeps;    /* waits begun on a key's condition variable */
    unsigned long long wakeUps;   /* waits that returned */
};

ObjectLockCounters ReadObjectLockCounters();

/* Threads asleep until `key` is released. */
unsigned ObjectLockSleepers(const void* key);

/* Replaces the routine that creates the lock's mutex. False, changing
 * nothing, once the mutex exists. */
bool SetObjectLockMutexSource(PlatMutex* (*source)(void));
