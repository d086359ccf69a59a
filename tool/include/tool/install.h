/*
 * The tool's command line and the installation of the update package.
 *
 *   esu-prereq-check -fn <update package> -s "<installer switches>"
 *
 * Options are matched without regard to case and read in pairs; the first
 * argument in an option position that is neither option ends the reading.
 */
#ifndef TOOL_INSTALL_H
#define TOOL_INSTALL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Time limit of the installer run, in minutes. */
#define INSTALL_TIME_LIMIT_MINUTES 60

/* The values of -fn and -s, exactly as given; "" until set. They point into
 * the argument vector handed to ParseArguments, which must outlive them. */
extern const char* gv_ssuFileName;
extern const char* gv_ssuArgs;

/* Fills the two values from the program's arguments and logs each one it
 * takes. An option that stands last, without a value, is ignored (logged)
 * and ends the reading. */
void ParseArguments(int argc, char** argv);

/* "wusa.exe <file name> <switches>": a heap string the caller frees, null
 * when memory runs out. */
char* BuildInstallerCommandLine(void);

/* Runs the installer through RunInstaller and returns its result. */
int InstallUpdate(void);

#ifdef __cplusplus
}
#endif
#endif
