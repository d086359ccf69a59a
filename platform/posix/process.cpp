#include "platform/process.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <new>
#include <poll.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "command_line.h"
#include "platform/clock.h"
#include "platform/error.h"

extern char** environ;

struct PlatProcess {
    pid_t pid;
    int pidfd;              /* -1 where the kernel has no process descriptors */
    bool reaped;            /* waitpid has collected the child */
    int status;             /* its wait status once reaped */
    bool terminated;        /* PlatTerminateProcess ended it */
    uint32_t terminateCode; /* the code it was ended with */
    std::string exitCodeFile;
};

namespace {

const char kExitCodeVariable[] = "TW_EXIT_CODE_FILE";

bool IsExecutableFile(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

/* Finds the program as Windows would look for it on PATH: the name as given
 * and, when it has no extension, with ".exe" added. Empty when not found. */
std::string FindProgram(const std::string& name)
{
    std::vector<std::string> candidates{name};
    size_t lastSlash = name.find_last_of('/');
    std::string base = lastSlash == std::string::npos ? name : name.substr(lastSlash + 1);
    if (base.find('.') == std::string::npos)
        candidates.push_back(std::string(name).append(".exe"));

    if (name.find('/') != std::string::npos) {
        for (const std::string& candidate : candidates)
            if (IsExecutableFile(candidate))
                return candidate;
        return {};
    }
    const char* path = getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        size_t end = dirs.find(':', start);
        std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (dir.empty())
            dir.push_back('.'); /* an empty entry names the current directory */
        for (const std::string& candidate : candidates) {
            std::string full = dir;
            full.append("/").append(candidate);
            if (IsExecutableFile(full))
                return full;
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}

/* Collects the child if it has ended; true when it has. */
bool Reap(PlatProcess* process, bool block)
{
    if (process->reaped)
        return true;
    int status = 0;
    pid_t got;
    do
        got = waitpid(process->pid, &status, block ? 0 : WNOHANG);
    while (got < 0 && errno == EINTR);
    if (got == process->pid) {
        process->reaped = true;
        process->status = status;
        return true;
    }
    return false;
}

/* The full exit code the child wrote, if it wrote one. */
bool ReadExitCodeFile(const std::string& path, uint32_t* code)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[32];
    ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    if (got <= 0)
        return false;
    text[got] = '\0';
    char* end = nullptr;
    errno = 0;
    unsigned long long value = strtoull(text, &end, 0);
    if (end == text || errno != 0 || value > 0xFFFFFFFFull)
        return false;
    *code = static_cast<uint32_t>(value);
    return true;
}

} // namespace

PlatProcess* PlatStartProcess(const char* commandLine, const char* workingDirectory, int /*showWindow*/)
{
    if (!commandLine) {
        PlatSetLastError(PLAT_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<std::string> args = plat::SplitCommandLine(commandLine);
    if (args.empty() || args[0].empty()) {
        PlatSetLastError(PLAT_ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    std::string program = FindProgram(args[0]);
    if (program.empty()) {
        PlatSetLastError(PLAT_ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    if (workingDirectory) {
        struct stat info;
        if (stat(workingDirectory, &info) != 0 || !S_ISDIR(info.st_mode)) {
            PlatSetLastError(PLAT_ERROR_DIRECTORY);
            return nullptr;
        }
    }

    auto* process = new (std::nothrow) PlatProcess{};
    if (!process) {
        PlatSetLastError(PLAT_ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    process->pidfd = -1;

    /* A private file for the child's full exit code. */
    const char* tmp = getenv("TMPDIR");
    std::string pattern(tmp && *tmp ? tmp : "/tmp");
    pattern.append("/tw-exit-XXXXXX");
    int codeFd = mkstemp(pattern.data());
    if (codeFd >= 0) {
        close(codeFd);
        process->exitCodeFile = pattern;
    }

    std::vector<std::string> envStrings;
    for (char** entry = environ; entry && *entry; entry++)
        if (strncmp(*entry, kExitCodeVariable, sizeof kExitCodeVariable - 1) != 0 ||
            (*entry)[sizeof kExitCodeVariable - 1] != '=')
            envStrings.emplace_back(*entry);
    if (!process->exitCodeFile.empty())
        envStrings.push_back(std::string(kExitCodeVariable).append("=").append(process->exitCodeFile));
    std::vector<char*> envp;
    for (std::string& text : envStrings)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (std::string& text : args)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    /* No window and no inherited handles: the standard streams go to
     * /dev/null and every other descriptor stays behind. */
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (workingDirectory)
        posix_spawn_file_actions_addchdir_np(&actions, workingDirectory);

    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        if (!process->exitCodeFile.empty())
            unlink(process->exitCodeFile.c_str());
        delete process;
        PlatSetLastError(rc == ENOEXEC ? static_cast<uint32_t>(PLAT_ERROR_BAD_EXE_FORMAT) : PlatErrorFromErrno(rc));
        return nullptr;
    }
    process->pid = pid;
    process->pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    return process;
}

uint32_t PlatWaitProcess(PlatProcess* process, uint32_t milliseconds)
{
    if (!process) {
        PlatSetLastError(PLAT_ERROR_INVALID_HANDLE);
        return PLAT_WAIT_FAILED;
    }
    if (Reap(process, false))
        return PLAT_WAIT_OBJECT_0;
    if (milliseconds == PLAT_INFINITE) {
        Reap(process, true);
        return PLAT_WAIT_OBJECT_0;
    }

    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    unsigned pause = 1; /* polling interval where there is no process descriptor */
    for (;;) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        uint64_t elapsed = static_cast<uint64_t>(now.tv_sec - start.tv_sec) * 1000u +
            static_cast<uint64_t>((now.tv_nsec - start.tv_nsec) / 1000000);
        if (elapsed >= milliseconds)
            return Reap(process, false) ? PLAT_WAIT_OBJECT_0 : PLAT_WAIT_TIMEOUT;
        uint64_t remaining = milliseconds - elapsed;
        if (process->pidfd >= 0) {
            struct pollfd ready = {process->pidfd, POLLIN, 0};
            int slice = static_cast<int>(remaining > INT_MAX ? INT_MAX : remaining);
            int rc = poll(&ready, 1, slice);
            if (rc < 0 && errno != EINTR) {
                PlatSetLastError(PlatErrorFromErrno(errno));
                return PLAT_WAIT_FAILED;
            }
        } else {
            PlatSleepMs(static_cast<unsigned>(remaining < pause ? remaining : pause));
            if (pause < 50)
                pause *= 2;
        }
        if (Reap(process, false))
            return PLAT_WAIT_OBJECT_0;
    }
}

int PlatTerminateProcess(PlatProcess* process, uint32_t exitCode)
{
    if (!process) {
        PlatSetLastError(PLAT_ERROR_INVALID_HANDLE);
        return 0;
    }
    if (process->reaped) {
        PlatSetLastError(PLAT_ERROR_ACCESS_DENIED); /* as Windows answers for an ended process */
        return 0;
    }
    if (kill(process->pid, SIGKILL) != 0) {
        PlatSetLastError(PlatErrorFromErrno(errno));
        return 0;
    }
    process->terminated = true;
    process->terminateCode = exitCode;
    return 1;
}

int PlatGetProcessExitCode(PlatProcess* process, uint32_t* exitCode)
{
    if (!process || !exitCode) {
        PlatSetLastError(PLAT_ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!Reap(process, false)) {
        *exitCode = PLAT_STILL_ACTIVE;
        return 1;
    }
    if (process->terminated) {
        *exitCode = process->terminateCode;
        return 1;
    }
    uint32_t written = 0;
    if (!process->exitCodeFile.empty() && ReadExitCodeFile(process->exitCodeFile, &written)) {
        *exitCode = written;
        return 1;
    }
    if (WIFEXITED(process->status))
        *exitCode = static_cast<uint32_t>(WEXITSTATUS(process->status));
    else if (WIFSIGNALED(process->status))
        *exitCode = 128u + static_cast<uint32_t>(WTERMSIG(process->status));
    else
        *exitCode = 1;
    return 1;
}

void PlatCloseProcess(PlatProcess* process)
{
    if (!process)
        return;
    Reap(process, false); /* a child still running is left to run on */
    if (process->pidfd >= 0)
        close(process->pidfd);
    if (!process->exitCodeFile.empty())
        unlink(process->exitCodeFile.c_str());
    delete process;
}

uint32_t PlatGetCurrentDirectory(uint32_t size, char* buffer)
{
    std::vector<char> path(PATH_MAX + 1);
    while (!getcwd(path.data(), path.size())) {
        if (errno != ERANGE || path.size() > (1u << 20)) {
            PlatSetLastError(PlatErrorFromErrno(errno));
            return 0;
        }
        path.resize(path.size() * 2);
    }
    size_t length = strlen(path.data());
    if (!buffer || length + 1 > size)
        return static_cast<uint32_t>(length + 1);
    memcpy(buffer, path.data(), length + 1);
    return static_cast<uint32_t>(length);
}

int PlatSetCurrentDirectory(const char* path)
{
    if (!path) {
        PlatSetLastError(PLAT_ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (chdir(path) != 0) {
        PlatSetLastError(errno == ENOENT ? static_cast<uint32_t>(PLAT_ERROR_FILE_NOT_FOUND)
                                         : PlatErrorFromErrno(errno));
        return 0;
    }
    return 1;
}

void PlatReportExitCode(uint32_t code)
{
    const char* path = getenv(kExitCodeVariable);
    if (!path || !*path)
        return;
    int fd = open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return;
    char text[16];
    int length = snprintf(text, sizeof text, "%u\n", code);
    if (length > 0 && write(fd, text, static_cast<size_t>(length)) < 0) {
        /* The parent then falls back on the 8-bit status. */
    }
    close(fd);
}
