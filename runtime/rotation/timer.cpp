/*
 * The rotation's settings record and its timer. Each check arms the next
 * one-shot timer when it has finished, so two checks never overlap.
 *
 * A pass on the timer thread writes through the logger and takes its lock
 * key; shutting the log down underneath it would hand it a closed stream
 * and a freed key. Every timer pass therefore runs under g_passGuard, and
 * StopLogRotation, after deleting the queue, takes the guard once and
 * clears the active record: a pass that was running has ended by then, and
 * a timer that still fires (one armed on the system's default queue when no
 * queue of our own could be made) finds its record inactive and does
 * nothing.
 */
#include <atomic>
#include <stdlib.h>
#include <string.h>

#include "platform/error.h"
#include "platform/thread.h"
#include "platform/timer_queue.h"
#include "runtime/log.h"
#include "runtime/log_rotation.h"
#include "runtime/messages.h"
#include "runtime/registry.h"

namespace {

std::atomic<uint32_t> g_defaultPeriodMs{LOG_ROTATION_DEFAULT_PERIOD_MS};
std::atomic<uint32_t> g_defaultSizeLimit{LOG_ROTATION_DEFAULT_SIZE_LIMIT};

PlatTimerQueue* g_timerQueue; /* the rotation's queue; null: none, or the default queue */
PlatTimer* g_lastTimer;       /* the most recently armed timer */

PlatOnce g_guardOnce;
PlatMutex* g_passGuard;
/* The record whose timers may check; null once stopped. Read and written
 * under g_passGuard. A timer compares its context with it and never touches
 * a record that is no longer active. */
const LogRotationSettings* g_activeSettings;

void CreateGuard() { g_passGuard = PlatMutexCreate(); }

PlatMutex* Guard()
{
    PlatRunOnce(&g_guardOnce, CreateGuard);
    return g_passGuard;
}

char* CopyText(const char* text)
{
    size_t size = strlen(text) + 1;
    char* copy = static_cast<char*>(malloc(size));
    if (copy)
        memcpy(copy, text, size);
    return copy;
}

} // namespace

void SetDefaultRotationPeriodMs(uint32_t milliseconds)
{
    g_defaultPeriodMs.store(milliseconds ? milliseconds : LOG_ROTATION_DEFAULT_PERIOD_MS);
}

void SetDefaultRotationSizeLimit(uint32_t bytes)
{
    g_defaultSizeLimit.store(bytes ? bytes : LOG_ROTATION_DEFAULT_SIZE_LIMIT);
}

LogRotationSettings* CreateLogRotationSettings(void)
{
    auto* settings = static_cast<LogRotationSettings*>(calloc(1, sizeof(LogRotationSettings)));
    if (!settings)
        return nullptr;
    if (!gv_agentInstallDir) {
        char* installDir = nullptr;
        if (ReadAgentInstallDir(&installDir) == 0)
            gv_agentInstallDir = installDir;
        else
            free(installDir);
    }
    const char* installDir = gv_agentInstallDir ? gv_agentInstallDir : "";
    size_t folderSize = strlen(installDir) + sizeof "logs";
    settings->folder = static_cast<char*>(malloc(folderSize));
    settings->fileName = CopyText(LOG_ROTATION_DEFAULT_FILE_NAME);
    if (!settings->folder || !settings->fileName) {
        FreeLogRotationSettings(settings);
        return nullptr;
    }
    memcpy(settings->folder, installDir, folderSize - sizeof "logs");
    memcpy(settings->folder + folderSize - sizeof "logs", "logs", sizeof "logs");
    settings->maxFiles = LOG_ROTATION_DEFAULT_MAX_FILES;
    settings->sizeLimit = g_defaultSizeLimit.load();
    settings->timerPeriodMs = g_defaultPeriodMs.load();
    settings->openMode = 1;
    settings->timerEnabled = 1;
    return settings;
}

void FreeLogRotationSettings(LogRotationSettings* settings)
{
    if (!settings)
        return;
    free(settings->fileName);
    free(settings->folder);
    free(settings);
}

void StartLogRotation(LogRotationSettings* settings)
{
    if (!settings)
        return;
    PlatMutex* guard = Guard();
    if (guard)
        PlatMutexLock(guard);
    g_activeSettings = settings;
    if (guard)
        PlatMutexUnlock(guard);

    if (!settings->timerEnabled) {
        RotateLoggerForEverRunningProcess(settings->folder, settings->fileName, settings->maxFiles,
                                          settings->sizeLimit);
        return;
    }
    g_timerQueue = PlatCreateTimerQueue();
    if (g_timerQueue) {
        LogInfo("ServiceMain : TimerQueue is created successfully \n");
    } else {
        uint32_t error = PlatGetLastError();
        LogError("ServiceMain : CreateTimerQueue is failed due to following error !! \n");
        LogErrorMessage(error);
    }
    /* Under the guard, so that a first timer that fires at once waits until
     * its handle is recorded and then releases the right one. */
    if (guard)
        PlatMutexLock(guard);
    LoggerTimerMethod(settings);
    if (guard)
        PlatMutexUnlock(guard);
}

uint32_t StopLogRotation(void)
{
    uint32_t result = 0;
    bool hadQueue = g_timerQueue != nullptr;
    if (g_timerQueue) {
        /* Cancels the pending timer and waits for a running pass. */
        if (!PlatDeleteTimerQueue(g_timerQueue)) {
            result = PlatGetLastError();
            if (result == 0)
                result = PLAT_ERROR_INTERNAL_ERROR;
        }
        g_timerQueue = nullptr;
    }
    PlatMutex* guard = Guard();
    if (guard)
        PlatMutexLock(guard);
    g_activeSettings = nullptr;
    /* A timer on the default queue outlives us: cancel it. */
    if (g_lastTimer && !hadQueue)
        PlatDeleteTimer(nullptr, g_lastTimer);
    g_lastTimer = nullptr;
    if (guard)
        PlatMutexUnlock(guard);
    return result;
}

uint32_t LoggerTimerMethod(LogRotationSettings* settings)
{
    if (!settings)
        return PLAT_ERROR_INVALID_PARAMETER;
    RotateLoggerForEverRunningProcess(settings->folder, settings->fileName, settings->maxFiles, settings->sizeLimit);
    PlatTimer* timer = PlatCreateTimer(g_timerQueue, LoggerTimerRoutine, settings, settings->timerPeriodMs, 0);
    if (!timer) {
        uint32_t error = PlatGetLastError();
        if (error == 0)
            error = PLAT_ERROR_INTERNAL_ERROR;
        LogError("LoggerTimerMethod : CreateTimerQueueTimer failed due to following error \n");
        LogErrorMessage(error);
        return error;
    }
    g_lastTimer = timer;
    LogDebug("LoggerTimerMethod : Registered the TimerRoutime callback in next %d minutes . \n",
             static_cast<int>(settings->timerPeriodMs / 60000));
    return 0;
}

void LoggerTimerRoutine(void* settings, int /*fired*/)
{
    PlatMutex* guard = Guard();
    if (guard)
        PlatMutexLock(guard);
    if (settings && settings == g_activeSettings) {
        /* The one-shot timer that fired is spent; release it before arming
         * its successor, so a long-running process does not pile them up. */
        if (g_lastTimer) {
            PlatDeleteTimer(g_timerQueue, g_lastTimer);
            g_lastTimer = nullptr;
        }
        LogInfo("LoggerTimerRoutine : Inside LoggerTimerRoutine Method\n");
        LoggerTimerMethod(static_cast<LogRotationSettings*>(settings));
        LogInfo("LoggerTimerRoutine : End of LoggerTimerRoutine Method\n");
    }
    if (guard)
        PlatMutexUnlock(guard);
}
