/*
 * logdemo: writes a few lines at every level into a log file.
 *
 *   logdemo <directory> [level]
 *
 * The file is <directory>/velmora.log, emptied first. Prints the file's path.
 */
#include <stdio.h>
#include <stdlib.h>

#include "runtime/log.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: logdemo <directory> [level]\n");
        return 2;
    }
    int level = argc > 2 ? atoi(argv[2]) : 4;
    if (!InitLogDefaults() || !SetLogConfig(LOG_DEFAULT_FILE_NAME, argv[1], level)) {
        fprintf(stderr, "logdemo: out of memory\n");
        return 1;
    }
    InitMutex();
    if (!OpenLogFile()) {
        fprintf(stderr, "logdemo: cannot open %s\n", gv_logConfig.fullPath ? gv_logConfig.fullPath : argv[1]);
        return 1;
    }
    LogInfo("Check ESU.\n");
    LogError("An error line with a number: %d\n", 1603);
    LogDebug("A debug line with a 64-bit value: %lld\n", 1234567890123LL);
    LogTrace("A trace line with a text: %s\n", "done");
    printf("%s\n", gv_logConfig.fullPath);
    CloseLogFile();
    FreeLogConfig();
    return 0;
}
