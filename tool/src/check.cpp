/* The check driver: one pass from the log's opening to its closing. */
#include "tool/check.h"

#include "runtime/agent_log.h"
#include "runtime/log.h"
#include "tool/applicability.h"
#include "tool/install.h"

int RunEsuPrereqCheck(int argc, char** argv)
{
    /* Without a log the check runs all the same; the writers write nothing. */
    StartAgentLog(ESU_CHECK_LOG_NAME);
    LogInfo("Check ESU.\n");
    ParseArguments(argc, argv);

    int result;
    if (IsESUApplicable()) {
        LogInfo("ESU is applicable.\n");
        result = InstallUpdate();
    } else {
        LogInfo("ESU is not applicable.\n");
        LogInfo("Return Code: %d\n", ESU_NOT_APPLICABLE);
        result = ESU_NOT_APPLICABLE;
    }
    StopAgentLog();
    return result;
}
