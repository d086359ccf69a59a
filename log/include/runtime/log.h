/*
 * The process-wide text log.
 *
 * One open file per process, four printf-style writers (one per level tag),
 * a numeric level that filters them, and an open and a close line that frame
 * each period during which the file is open. Every line reads
 *
 *   [ 2024-03-05 09:04:07:045 ] [ 5120 ] [INFO] Check ESU.
 *
 * Writers may run on any thread; a line is written whole under the object
 * lock keyed on the logger's lock key. The writers add no line break: every
 * message supplies its own.
 */
#ifndef RUNTIME_LOG_H
#define RUNTIME_LOG_H

#include <stdio.h>

#include "runtime/object_lock.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TW_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define TW_PRINTF_FORMAT(fmt, args)
#endif

/* The logger's configuration; one record in static storage. */
typedef struct LogConfig {
    char* fileName;      /* name of the log file without directory */
    char* directory;     /* directory that receives the file, or null */
    unsigned char level; /* 0 silences the writers; 1 info, 2 error, 3 debug, 4 trace */
    char* fullPath;      /* composed when the file is opened */
    char* lockKey;       /* 1-byte block whose address serialises the writers; null: nothing is written */
} LogConfig;

extern LogConfig gv_logConfig;

/* The open log stream; null while no log is open. Whether it is set is the
 * one test of whether a log is open. */
extern FILE* gv_logFilePtr;

/* Root directory of the data-store library, set by its start-up; the logger
 * places the library's log in its "logs" folder. Null when not set. It lives
 * here, not with the store's start-up, because the logger must read it. */
extern char* gv_velmoraRoot;

/* Default name, used when nothing else is configured. */
#define LOG_DEFAULT_FILE_NAME "velmora.log"
#define LOG_DEFAULT_LEVEL 3

/* First configuration step of a process: the default name, a new lock key,
 * level 3. When a log is already open only the level is reset to 3. */
int InitLogDefaults(void);

/* Replace name and directory with copies and store the low 8 bits of level.
 * False when a copy cannot be allocated. */
int SetLogConfig(const char* fileName, const char* directory, int level);
int SetLogFileName(const char* fileName);
int SetLogDirectory(const char* directory);
void SetLogLevel(int level);

/* Open the configured file, creating its directory, and write the open line.
 * OpenLogFile empties an existing file, OpenLogFileAppend appends to it.
 * A second open while a log is open is a no-op that returns true. */
int OpenLogFile(void);
int OpenLogFileAppend(void);

/* Adopt a stream opened elsewhere as the log. False for a null stream. */
int SetLogFilePtr(FILE* stream);

int LogInfo(const char* format, ...) TW_PRINTF_FORMAT(1, 2);
int LogError(const char* format, ...) TW_PRINTF_FORMAT(1, 2);
int LogDebug(const char* format, ...) TW_PRINTF_FORMAT(1, 2);
int LogTrace(const char* format, ...) TW_PRINTF_FORMAT(1, 2);

/* Write the close line and close the stream. The configuration and the lock
 * key stay for a later open. */
void CloseLogFile(void);

/* Release name, directory, path and lock key. */
void FreeLogConfig(void);

/* The local time as "YYYY-MM-DD hh:mm:ss:mmm" in a heap string the caller
 * frees; null when it cannot be allocated. */
char* GetLogTimeStamp(void);

/* Create one directory: 0, or the errno number of the failure (17 when it
 * exists, 2 when its parent is missing). */
int MakeDirectory(const char* path);

/* Create a directory and any missing parents ('/' separates components):
 * 0 when created, 1 when it existed already, else an errno value. */
int MakeDirectoryTree(const char* path);

#ifdef __cplusplus
}
#endif
#endif
