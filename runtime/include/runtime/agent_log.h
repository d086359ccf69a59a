/*
 * Start-up and shut-down of an agent process's log: the log goes to the
 * "logs" folder below the agent's installation directory (from the
 * registry), is rotated at start-up and then on a timer, and is written at
 * the level the registry configures.
 */
#ifndef RUNTIME_AGENT_LOG_H
#define RUNTIME_AGENT_LOG_H

#include <stdint.h>

#include "runtime/log_rotation.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Level used when "TWAgentLogLevel" cannot be read: information and errors. */
#define AGENT_LOG_DEFAULT_LEVEL 2

/* The rotation record of the agent log, kept for the life of the process
 * (the rotation timer uses it); null before the first StartAgentLog. */
extern LogRotationSettings* gv_logRotationSettings;

/*
 * Reads the install directory into gv_agentInstallDir, makes a first
 * rotation pass, arms the rotation timer and opens "<install dir>logs/<name>"
 * for appending. Returns 0, or the registry error when the install directory
 * cannot be read (then nothing else happens and the log stays closed), or 8
 * when memory runs out. A log that cannot be opened is not an error here:
 * the writers then write nothing.
 */
uint32_t StartAgentLog(const char* fileName);

/* Configures and opens the log: 0, or 13 on any failure. Open mode 2
 * empties the file, any other mode appends. */
uint32_t InitAgentLogger(const char* fileName, const char* directory, int openMode);

/* Stops the rotation (waiting for a pass that is running), then writes the
 * close line, closes the log and frees its configuration. Returns 0. */
uint32_t StopAgentLog(void);

#ifdef __cplusplus
}
#endif
#endif
