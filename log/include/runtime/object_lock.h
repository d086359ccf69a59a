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

/* Results of UnlockObject. */
#define OBJECT_LOCK_RELEASED 4
#define OBJECT_LOCK_NOT_HELD 2

/* Makes sure the lock's mutex exists and logs a trace line. The mutex is
 * also created on first use, so calling this is optional. */
void InitMutex(void);

/* Returns once the calling thread holds `key`. */
void LockObject(const void* key);

/* Releases `key`: OBJECT_LOCK_RELEASED (4), or OBJECT_LOCK_NOT_HELD (2) when
 * nobody held it. */
int UnlockObject(const void* key);

#ifdef __cplusplus
}
#endif
#endif
