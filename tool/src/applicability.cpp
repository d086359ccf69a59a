#include "runtime/log.h"
#include "tool/applicability.h"

int IsESUApplicable(void)
{
    if (GetOSKind() == OS_KIND_NOT_COVERED) {
        LogInfo("ESU not applicable to this machine.\n");
        return 0;
    }
    if (GetESUYear() == 0) {
        LogError("ESU for Windows 7 and Server 2008 R2 has been ended.\n");
        return 0;
    }
    return 1;
}
