/* The check driver: the whole run of esu-prereq-check. */
#ifndef TOOL_CHECK_H
#define TOOL_CHECK_H

#ifdef __cplusplus
extern "C" {
#endif

/* Exit code when the update does not apply to this machine. */
#define ESU_NOT_APPLICABLE 50023

/* The tool's log file, in the agent's logs folder. */
#define ESU_CHECK_LOG_NAME "twprereqhandler.log"

/* Opens the log, reads the options, decides applicability, installs the
 * package when it applies, closes the log. Returns the exit code: 50023
 * when the update does not apply, else the installation's result. */
int RunEsuPrereqCheck(int argc, char** argv);

#ifdef __cplusplus
}
#endif
#endif
