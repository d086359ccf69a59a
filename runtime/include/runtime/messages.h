/*
 * Result messages: any result code (an installer's exit code, a system error
 * code) turned into one line of text for the log and for the caller.
 *
 * The system's own text wins whenever the system has one; the program's
 * table of installer codes answers only for codes the system does not know,
 * and every other code reads "Unknown Error. Code : %d". A result of 0 is
 * logged at info level, every other result at error level, including the
 * codes that installers use for success with a restart (3010, 1641).
 */
#ifndef RUNTIME_MESSAGES_H
#define RUNTIME_MESSAGES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The program's text for `code`, or "Unknown Error. Code : %d" with the code
 * as a signed number. The text is not to be changed or freed; the unknown
 * text lives in storage of the calling thread and holds until that thread's
 * next call. */
const char* GetKnownErrorText(uint32_t code);

/* The message for `code` in a heap string (UTF-8) the caller frees, and the
 * code's log line. Null only when memory runs out (the line is still
 * written). */
char* GetErrorMessage(uint32_t code);

/* Writes the code's log line through GetErrorMessage. */
void LogErrorMessage(uint32_t code);

/* Writes the code's log line with the system's text in the ANSI code page,
 * trimmed of blanks at both ends. Returns 0. */
int LogErrorMessageTrimmed(uint32_t code);

#ifdef __cplusplus
}
#endif
#endif
