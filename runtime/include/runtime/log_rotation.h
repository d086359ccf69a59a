/*
 * Log rotation: keeps a live log below a size limit by shifting numbered
 * backups up by one, copying the live file to backup 1 and emptying it in
 * place, so that a process can go on writing to the file it holds open.
 *
 * Backups of "twprereqhandler.log" are twprereqhandler1.log,
 * twprereqhandler2.log, ... in the same folder: the base name is the text
 * before the first ".log" of the live name; a name without ".log" is its own
 * base name (backups of "agent.txt" are agent.txt1.log, ...).
 *
 * A check runs once at start-up and then on a one-shot timer that each check
 * re-arms when it has finished.
 */
#ifndef RUNTIME_LOG_ROTATION_H
#define RUNTIME_LOG_ROTATION_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LOG_ROTATION_DEFAULT_FILE_NAME "computer.log"
#define LOG_ROTATION_DEFAULT_MAX_FILES 5
#define LOG_ROTATION_DEFAULT_SIZE_LIMIT 2000000u
#define LOG_ROTATION_DEFAULT_PERIOD_MS 900000u /* 15 minutes */

/* One record per rotated log; the timer callback receives it. */
typedef struct LogRotationSettings {
    char* fileName;         /* live log file */
    char* folder;           /* its directory, also that of the backups */
    int32_t maxFiles;       /* live file plus at most maxFiles - 1 backups */
    uint32_t sizeLimit;     /* bytes; the live file rotates when it reaches this size */
    uint32_t timerPeriodMs; /* delay between checks */
    int32_t openMode;       /* for the logger: 2 empties the log at open, else append */
    uint8_t timerEnabled;   /* whether checks repeat on the timer */
} LogRotationSettings;

/* A record with the defaults; the folder is the agent's install directory
 * followed by "logs" (read from the registry when not loaded yet, empty when
 * it cannot be read). Null when memory runs out. */
LogRotationSettings* CreateLogRotationSettings(void);
void FreeLogRotationSettings(LogRotationSettings* settings);

/* Seams: the timer period and the size limit that new records get; 0
 * restores the default. */
void SetDefaultRotationPeriodMs(uint32_t milliseconds);
void SetDefaultRotationSizeLimit(uint32_t bytes);

/* With the timer enabled: creates the rotation timer queue and runs the
 * first check, which arms the timer. Otherwise one check. The record must
 * outlive the rotation. */
void StartLogRotation(LogRotationSettings* settings);

/* Deletes the rotation timer queue (waiting for a check that runs at that
 * moment) and keeps later timers from checking. Returns 0, or the system
 * error of deleting the queue; a check cannot be running afterwards either
 * way. */
uint32_t StopLogRotation(void);

/* One check, then arms the next: 0, or the system error of arming it. */
uint32_t LoggerTimerMethod(LogRotationSettings* settings);

/* The timer callback; `settings` is the record. */
void LoggerTimerRoutine(void* settings, int fired);

/* Rotates folder/name (folder null: the agent's logs folder) when its size
 * has reached the limit: the result of RotateSpecificLogs, or 0. */
uint32_t RotateLoggerForEverRunningProcess(const char* folder, const char* fileName, int maxFiles, uint32_t sizeLimit);

/* 1 when the file's size is at least `sizeLimit`, else 0 (also when it
 * cannot be read, which counts as size 0). */
int CheckLogSizeReached(const char* path, uint32_t sizeLimit);

/*
 * Rotates each file of the ";"-separated `names` (cut in place) in `folder`
 * (null: the agent's logs folder, read from the registry). Mode 1 rotates
 * every name and empties the live file; mode 0 measures each closed file,
 * rotates those larger than the limit and deletes the live file after its
 * copy. Returns 0, or the registry error when the folder could not be read.
 */
uint32_t RotateSpecificLogs(const char* folder, char* names, int maxFiles, uint32_t sizeLimit, int mode);

/* Number of entries of `folder` whose name starts with `baseName` (without
 * regard to case), or -1 when none is found or the search fails. */
int FindNoOfRepeatedFileNames(const char* folder, const char* baseName);

/* "<folder><separator><base name><index>.log" in a heap string the caller
 * frees; null when memory runs out or an argument is null. */
char* GetBackupLogName(const char* folder, const char* fileName, int index);

/* The file's size without data access, so an exclusive handle held
 * elsewhere does not block it: 1, or 0 (null arguments, open or size
 * failure, with the last error set). */
int GetLogFileSize(const char* path, uint64_t* size);

/* Seam: how RotateSpecificLogs measures a file in mode 0, answering as
 * GetLogFileSize does; null restores it. */
typedef int (*LogFileSizeSource)(const char* path, uint64_t* size);
void SetLogFileSizeSource(LogFileSizeSource source);

#ifdef __cplusplus
}
#endif
#endif
