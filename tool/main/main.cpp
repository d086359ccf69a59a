/* esu-prereq-check: the agent's prerequisite step for ESU packages. */
#include <stdint.h>

#include "platform/process.h"
#include "tool/check.h"

int main(int argc, char** argv)
{
    int result = RunEsuPrereqCheck(argc, argv);
    PlatReportExitCode(static_cast<uint32_t>(result));
    return result;
}
