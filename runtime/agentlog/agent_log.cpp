/* The agent log's start-up and shut-down. */
#include "runtime/agent_log.h"

#include <stdlib.h>
#include <string.h>

#include "platform/error.h"
#include "runtime/log.h"
#include "runtime/messages.h"
#include "runtime/object_lock.h"
#include "runtime/registry.h"

LogRotationSettings* gv_logRotationSettings;

namespace {

const uint32_t kLoggerFailure = PLAT_ERROR_INVALID_DATA; /* 13 */

} // namespace

uint32_t StartAgentLog(const char* fileName)
{
    char* installDir = nullptr;
    uint32_t error = ReadAgentInstallDir(&installDir);
    if (error != 0) {
        free(installDir);
        return error;
    }
    free(gv_agentInstallDir);
    gv_agentInstallDir = installDir;

    /* A second start-up replaces the rotation of the first. */
    if (gv_logRotationSettings) {
        StopLogRotation();
        FreeLogRotationSettings(gv_logRotationSettings);
        gv_logRotationSettings = nullptr;
    }
    LogRotationSettings* settings = CreateLogRotationSettings();
    char* name = fileName ? static_cast<char*>(malloc(strlen(fileName) + 1)) : nullptr;
    if (!settings || (fileName && !name)) {
        FreeLogRotationSettings(settings);
        free(name);
        return PLAT_ERROR_NOT_ENOUGH_MEMORY;
    }
    if (name) {
        memcpy(name, fileName, strlen(fileName) + 1);
        free(settings->fileName);
        settings->fileName = name;
    }
    gv_logRotationSettings = settings;

    /* The logger's lock key exists before the first pass, so that every
     * pass, the timer's too, serialises its copy and emptying of the live
     * log with the opening of the log that follows. InitAgentLogger's own
     * InitLogDefaults then finds the name set and changes nothing. */
    InitMutex();
    InitLogDefaults();
    StartLogRotation(settings);
    InitAgentLogger(settings->fileName, settings->folder, settings->openMode);
    return 0;
}

uint32_t InitAgentLogger(const char* fileName, const char* directory, int openMode)
{
    InitMutex();
    ReadEventEnabledFlag(&gv_eventEnabled);
    if (!InitLogDefaults())
        return kLoggerFailure;
    uint32_t level = AGENT_LOG_DEFAULT_LEVEL;
    if (ReadDwordRegistryData(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "TWAgentLogLevel", &level) != 0)
        level = AGENT_LOG_DEFAULT_LEVEL;
    if (!SetLogConfig(fileName, directory, static_cast<int>(level)))
        return kLoggerFailure;
    int opened = openMode == 2 ? OpenLogFile() : OpenLogFileAppend();
    return opened ? 0 : kLoggerFailure;
}

uint32_t StopAgentLog(void)
{
    uint32_t error = StopLogRotation();
    if (error != 0) {
        LogError("ServiceMain : DeleteTimerQueue is failed due to following error !! \n");
        LogErrorMessage(error);
    }
    CloseLogFile();
    FreeLogConfig();
    return 0;
}
