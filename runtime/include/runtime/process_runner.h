/*
 * The process runner: starts one program from a command line, optionally in
 * a given working directory, waits for it under a time limit counted in
 * minutes, terminates it when the limit runs out, and reports the result as
 * a code and as a text (the remarks). Every step goes to the log.
 */
#ifndef RUNTIME_PROCESS_RUNNER_H
#define RUNTIME_PROCESS_RUNNER_H

#include <stdint.h>

#include "platform/process.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Size of the buffer that saves the current directory around a call with a
 * working directory. */
#define EXECUTE_DIRECTORY_BUFFER 4096

/*
 * Runs `commandLine` (its first token names the program) without a console
 * window and without inherited handles. `workingDirectory` (may be null)
 * becomes the current directory for the duration of the call and the child's
 * starting directory. `timeLimitMinutes` 0 starts the child and leaves it
 * running; a negative limit is refused with 87 before anything starts.
 *
 * Returns the child's exit code; 258 when it ran out of time and was
 * terminated; otherwise the system error code of the step that failed,
 * never 0 for a failure. *remarks (when `remarks` is not null) receives a
 * heap string with the result's message, which the caller frees; a text the
 * slot held before is not released.
 *
 * Refused before anything starts: no command line (87), a current directory
 * longer than EXECUTE_DIRECTORY_BUFFER (122).
 */
uint32_t execute(const char* workingDirectory, const char* commandLine, char** remarks, int timeLimitMinutes,
                 int showWindow);

/* execute, with the installer codes that mean success (1508, 1641 restart
 * initiated, 3010 restart required) folded into 0. */
uint32_t RunInstaller(const char* workingDirectory, const char* commandLine, char** remarks, int timeLimitMinutes,
                      int showWindow);

/* Seam: how many milliseconds make one minute of the time limit; 0 restores
 * 60000. Lets a test see a time-out within a second. */
void SetExecuteMinuteMs(uint32_t milliseconds);

/* Seam: the wait for the child, answering as PlatWaitProcess does; null
 * restores it. Lets a test see a wait that fails. */
typedef uint32_t (*ExecuteWaitSource)(PlatProcess* process, uint32_t milliseconds);
void SetExecuteWaitSource(ExecuteWaitSource source);

#ifdef __cplusplus
}
#endif
#endif
