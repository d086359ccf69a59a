/*
 * Registry readers and the agent's settings.
 *
 * All reads open their key with query access only; nothing is written. The
 * readers keep no state and may run on any thread. Results are 0 or a system
 * error code (2 for a missing key or value); failures are logged, but only
 * once a log is open.
 */
#ifndef RUNTIME_REGISTRY_H
#define RUNTIME_REGISTRY_H

#include <stdint.h>

#include "platform/registry.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The agent's key below HKEY_LOCAL_MACHINE; components build further
 * sub-key paths below it. */
#define TW_AGENT_KEY "Software\\Brisoly\\Tarnwell\\TWAgent"
extern const char* const gv_agentKey;

/* The agent's installation directory, with its trailing separator; an owned
 * heap string kept for the life of the process, null until set by the
 * agent's start-up. */
extern char* gv_agentInstallDir;

/* The agent's event switch; 1 until read. */
extern uint32_t gv_eventEnabled;

/*
 * Reads a value of at most 4 bytes into *out, whatever its stored type; a
 * longer value fails with 234. On failure *out keeps what it held, so
 * callers preset it or replace it with their default.
 */
uint32_t ReadDwordRegistryData(PlatHKey root, const char* path, const char* name, uint32_t* out);

/*
 * Reads a value's bytes, whatever its type, into a new heap string in *out
 * that always ends in a zero, also when the stored string lacks one. *out is
 * null when the key or the value's size cannot be read; once the buffer is
 * allocated it is handed over even if reading into it fails, and the caller
 * frees it in every case.
 */
uint32_t ReadRegSZ(PlatHKey root, const char* path, const char* name, char** out);

/* ReadRegSZ of "TWAgentInstallDir" below the agent key. */
uint32_t ReadAgentInstallDir(char** out);

/* Reads "TWEventEnabled" below the agent key into *flag; 1 when it cannot
 * be read. Always returns 0. */
uint32_t ReadEventEnabledFlag(uint32_t* flag);

#ifdef __cplusplus
}
#endif
#endif
