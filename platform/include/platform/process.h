/*
 * Child processes and the current directory.
 *
 * A child is started from one command line whose first token names the
 * program, without a console window and without inheriting handles. The
 * POSIX half splits the command line as Windows does (blanks separate,
 * double quotes group, backslashes escape only before a quote) and looks the
 * program up on PATH when its name holds no '/', so a test can put its own
 * program first on PATH. The child's standard streams read and write
 * /dev/null there, as a windowless Windows child has no console.
 *
 * Windows exit codes are 32-bit, POSIX ones 8-bit. On POSIX a child may hand
 * its full code back by writing it, in decimal, into the file named by the
 * environment variable TW_EXIT_CODE_FILE, which the runner sets for it; a
 * child that does not gets its 8-bit status as its code.
 *
 * Failures set the calling thread's last error (platform/error.h).
 */
#ifndef PLATFORM_PROCESS_H
#define PLATFORM_PROCESS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PlatProcess PlatProcess;

/* Exit code of a child that is still running. */
#define PLAT_STILL_ACTIVE 259u
/* Wait without limit. */
#define PLAT_INFINITE 0xFFFFFFFFu

/* Results of PlatWaitProcess. */
#define PLAT_WAIT_OBJECT_0 0u
#define PLAT_WAIT_TIMEOUT 258u
#define PLAT_WAIT_FAILED 0xFFFFFFFFu

/*
 * Starts `commandLine`; `workingDirectory` (may be null) becomes the child's
 * starting directory. A non-zero `showWindow` asks for a normal window (the
 * POSIX half has none to show). Returns the child, or null with the last
 * error set (2 when the program is not found).
 */
PlatProcess* PlatStartProcess(const char* commandLine, const char* workingDirectory, int showWindow);

/* Waits for the child to end for at most `milliseconds`: PLAT_WAIT_OBJECT_0,
 * PLAT_WAIT_TIMEOUT, or PLAT_WAIT_FAILED with the last error set. */
uint32_t PlatWaitProcess(PlatProcess* process, uint32_t milliseconds);

/* Ends the child at once with `exitCode`; returns 1, or 0 with the last
 * error set. Does not wait for it to be gone. */
int PlatTerminateProcess(PlatProcess* process, uint32_t exitCode);

/* The child's exit code, PLAT_STILL_ACTIVE while it runs. Returns 1, or 0
 * with the last error set. */
int PlatGetProcessExitCode(PlatProcess* process, uint32_t* exitCode);

/* Releases the handles; a running child runs on. Null is allowed. */
void PlatCloseProcess(PlatProcess* process);

/*
 * The current directory into buffer[size], as GetCurrentDirectoryA reports
 * it: the length without terminator on success; the size needed, terminator
 * included, when the buffer is too small (buffer then untouched); 0 on
 * failure with the last error set.
 */
uint32_t PlatGetCurrentDirectory(uint32_t size, char* buffer);

/* Makes `path` the current directory: 1, or 0 with the last error set. */
int PlatSetCurrentDirectory(const char* path);

#ifdef __cplusplus
}
#endif
#endif
