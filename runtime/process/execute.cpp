/*
 * The process runner. Each call stands alone: optional directory change,
 * start, optional wait, optional termination, handle release, directory
 * restore.
 */
#include "runtime/process_runner.h"

#include <atomic>
#include <stdlib.h>

#include "platform/error.h"
#include "platform/process.h"
#include "runtime/log.h"
#include "runtime/messages.h"

namespace {

const uint32_t kMinuteMs = 60000;
std::atomic<uint32_t> g_minuteMs{kMinuteMs};
std::atomic<ExecuteWaitSource> g_waitSource{nullptr};

/* The calling thread's last error; a failure whose system call left no code
 * behind still must not read as success. */
uint32_t FailureCode()
{
    uint32_t code = PlatGetLastError();
    return code != 0 ? code : static_cast<uint32_t>(PLAT_ERROR_INTERNAL_ERROR);
}

/* Looks up the result's message (which also writes its log line) and hands
 * it to the caller's slot; without a slot the text is only logged. */
void SetRemarks(char** remarks, uint32_t code)
{
    char* text = GetErrorMessage(code);
    if (remarks)
        *remarks = text;
    else
        free(text);
}

/* The wait in milliseconds, bounded below the "no limit" value. */
uint32_t WaitMs(int minutes)
{
    uint64_t ms = static_cast<uint64_t>(minutes) * g_minuteMs.load();
    return ms >= PLAT_INFINITE ? PLAT_INFINITE - 1 : static_cast<uint32_t>(ms);
}

/* Waits for the child and reads its outcome; terminates it on time-out. */
uint32_t AwaitChild(PlatProcess* child, const char* commandLine, char** remarks, int minutes)
{
    ExecuteWaitSource wait = g_waitSource.load();
    uint32_t waited = (wait ? wait : PlatWaitProcess)(child, WaitMs(minutes));
    if (waited == PLAT_WAIT_FAILED) {
        uint32_t code = FailureCode();
        LogError("execute : WaitForSingleObject Failed with error code %d \n", static_cast<int>(code));
        SetRemarks(remarks, code);
        return code;
    }
    if (waited == PLAT_WAIT_TIMEOUT) {
        LogInfo("execute : Terminating the Process for application %s as time is exceeded %d Minutes \n", commandLine,
                minutes);
        SetRemarks(remarks, PLAT_ERROR_WAIT_TIMEOUT);
        if (PlatTerminateProcess(child, 0))
            LogInfo("execute : The process has been successfully terminated ..! \n");
        else
            LogError("execute : The process termination is failed with error code : %d \n",
                     static_cast<int>(PlatGetLastError()));
        return PLAT_ERROR_WAIT_TIMEOUT;
    }
    uint32_t exitCode = 0;
    if (PlatGetProcessExitCode(child, &exitCode)) {
        SetRemarks(remarks, exitCode);
        LogInfo("execute : Exit code for the application : %d \n", static_cast<int>(exitCode));
        return exitCode;
    }
    uint32_t code = FailureCode();
    LogInfo("execute : Unable to find the exit code for the application and the error code is : %d \n",
            static_cast<int>(code));
    SetRemarks(remarks, code);
    return code;
}

} // namespace

void SetExecuteMinuteMs(uint32_t milliseconds) { g_minuteMs.store(milliseconds ? milliseconds : kMinuteMs); }

void SetExecuteWaitSource(ExecuteWaitSource source) { g_waitSource.store(source); }

uint32_t execute(const char* workingDirectory, const char* commandLine, char** remarks, int timeLimitMinutes,
                 int showWindow)
{
    LogDebug("@@@@@@@@ Inside execute Method @@@@@@@@ \n");

    if (!commandLine || timeLimitMinutes < 0) {
        LogError(!commandLine ? "execute : No command line for the application \n"
                              : "execute : Negative time limit for the application \n");
        SetRemarks(remarks, PLAT_ERROR_INVALID_PARAMETER);
        return PLAT_ERROR_INVALID_PARAMETER;
    }

    char* savedDirectory = nullptr;
    if (workingDirectory) {
        savedDirectory = static_cast<char*>(malloc(EXECUTE_DIRECTORY_BUFFER));
        if (!savedDirectory) {
            SetRemarks(remarks, PLAT_ERROR_NOT_ENOUGH_MEMORY);
            return PLAT_ERROR_NOT_ENOUGH_MEMORY;
        }
        uint32_t length = PlatGetCurrentDirectory(EXECUTE_DIRECTORY_BUFFER, savedDirectory);
        if (length == 0) {
            uint32_t code = FailureCode();
            LogError("execute: Failed to get the CurrentWorkingDirectory \n");
            free(savedDirectory);
            SetRemarks(remarks, code);
            return code;
        }
        if (length >= EXECUTE_DIRECTORY_BUFFER) {
            LogError("execute : CurrentWorkingDirectory Buffer overflow. Need to allocate the length for %d chars \n",
                     static_cast<int>(length));
            free(savedDirectory);
            SetRemarks(remarks, PLAT_ERROR_INSUFFICIENT_BUFFER);
            return PLAT_ERROR_INSUFFICIENT_BUFFER;
        }
        LogInfo("execute : Current Working Directory : %s \n", savedDirectory);
        LogInfo("execute : Executing Application Source : %s \n", commandLine);
        LogInfo("execute : Set Working Directory : %s \n", workingDirectory);
        if (!PlatSetCurrentDirectory(workingDirectory)) {
            uint32_t code = FailureCode();
            LogError("execute : Failed to set the WorkingDirectory %s \n ", workingDirectory);
            free(savedDirectory);
            SetRemarks(remarks, code);
            return code;
        }
    }

    uint32_t result;
    PlatProcess* child = PlatStartProcess(commandLine, workingDirectory, showWindow);
    if (!child) {
        result = FailureCode();
        LogInfo("execute : Failed to Create the Process for the application \n");
        SetRemarks(remarks, result);
    } else {
        LogInfo("execute : Process successfully created for application %s \n", commandLine);
        if (timeLimitMinutes == 0) {
            result = 0;
            SetRemarks(remarks, 0);
        } else {
            result = AwaitChild(child, commandLine, remarks, timeLimitMinutes);
        }
    }
    PlatCloseProcess(child);

    if (savedDirectory) {
        PlatSetCurrentDirectory(savedDirectory);
        free(savedDirectory);
    }

    const char* text = remarks && *remarks ? *remarks : "";
    LogInfo("execute : Remarks from the CreateProcess is %s for the executable %s \n", text, commandLine);
    LogDebug("@@@@@@@@ End Of execute Method @@@@@@@@ \n");
    return result;
}

uint32_t RunInstaller(const char* workingDirectory, const char* commandLine, char** remarks, int timeLimitMinutes,
                      int showWindow)
{
    uint32_t result = execute(workingDirectory, commandLine, remarks, timeLimitMinutes, showWindow);
    switch (result) {
    case 0:
    case 1508:
    case 1641: /* restart initiated */
    case 3010: /* restart required */
        return 0;
    default:
        return result;
    }
}
