/* esu-prereq-check: the agent's prerequisite step for ESU packages. */
#include <stdint.h>
#include <stdio.h>

#include "platform/process.h"
#include "platform/registry.h"
#include "tool/check.h"

int main(int argc, char** argv)
{
    int result = RunEsuPrereqCheck(argc, argv);
    /* Without a readable registry there is no agent key and so no log; the
     * reason would otherwise go unsaid behind a 50023. */
    if (const char* problem = PlatRegFileProblem())
        fprintf(stderr, "esu-prereq-check: %s\n", problem);
    PlatReportExitCode(static_cast<uint32_t>(result));
    return result;
}
