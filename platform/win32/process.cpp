#include "platform/process.h"

#include <new>
#include <string.h>
#include <windows.h>

#include "platform/error.h"

struct PlatProcess {
    PROCESS_INFORMATION info;
};

PlatProcess* PlatStartProcess(const char* commandLine, const char* workingDirectory, int showWindow)
{
    if (!commandLine) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    /* CreateProcessA may write into the command line: hand it a copy. */
    size_t length = strlen(commandLine);
    char* writable = new (std::nothrow) char[length + 1];
    auto* process = new (std::nothrow) PlatProcess{};
    if (!writable || !process) {
        delete[] writable;
        delete process;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    memcpy(writable, commandLine, length + 1);

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (showWindow) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
    }
    BOOL started =
        CreateProcessA(nullptr, writable, nullptr, nullptr, FALSE, CREATE_NO_WINDOW | CREATE_DEFAULT_ERROR_MODE,
                       nullptr, workingDirectory, &startup, &process->info);
    DWORD error = GetLastError();
    delete[] writable;
    if (!started) {
        delete process;
        SetLastError(error);
        return nullptr;
    }
    return process;
}

uint32_t PlatWaitProcess(PlatProcess* process, uint32_t milliseconds)
{
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return PLAT_WAIT_FAILED;
    }
    return WaitForSingleObject(process->info.hProcess, milliseconds);
}

int PlatTerminateProcess(PlatProcess* process, uint32_t exitCode)
{
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return TerminateProcess(process->info.hProcess, exitCode) ? 1 : 0;
}

int PlatGetProcessExitCode(PlatProcess* process, uint32_t* exitCode)
{
    if (!process || !exitCode) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process->info.hProcess, &code))
        return 0;
    *exitCode = code;
    return 1;
}

void PlatCloseProcess(PlatProcess* process)
{
    if (!process)
        return;
    if (process->info.hThread)
        CloseHandle(process->info.hThread);
    if (process->info.hProcess)
        CloseHandle(process->info.hProcess);
    delete process;
}

uint32_t PlatGetCurrentDirectory(uint32_t size, char* buffer) { return GetCurrentDirectoryA(size, buffer); }

int PlatSetCurrentDirectory(const char* path) { return SetCurrentDirectoryA(path) ? 1 : 0; }

void PlatReportExitCode(uint32_t /*code*/) { }
