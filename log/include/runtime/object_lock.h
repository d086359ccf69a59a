/*
 * The process-wide keyed lock.
 *
 * Any address can serve as a key; nothing is stored at it. A key is held by
 * at most one thread at a time. The lock is not re-entrant: a thread that
 * locks a key it already holds waits for ever.
 */
#ifndef RUNTIME_OBJECT_LOCK_H
#define RUNTIME_OBJECT_LOCK_H

#ifdef __cplusplus
extern "C" {
#endif

/* Results of LockObject. */
#define OBJECT_LOCK_HELD 1
#define OBJECT_LOCK_UNAVAILABLE 0

/* Results of UnlockObject. */
#define OBJECT_LOCK_RELEASED 4
#define OBJECT_LOCK_NOT_HELD 2

/* Makes sure the lock's mutex exists and logs a trace line. The mutex is
 * also created on first use, so calling this is optional. */
void InitMutex(void);

/* Returns OBJECT_LOCK_HELD once the calling thread holds `key`. Returns
 * OBJECT_LOCK_UNAVAILABLE at once, without holding anything, when the lock's
 * mutex cannot be created; that is reported on standard error and in the
 * log the first time it happens. */
int LockObject(const void* key);

/* Releases `key`: OBJECT_LOCK_RELEASED (4), or OBJECT_LOCK_NOT_HELD (2) when
 * nobody held it. Only threads waiting for `key` are woken. */
int UnlockObject(const void* key);

#ifdef __cplusplus
}
#endif
#endif
