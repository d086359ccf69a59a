/* The agent's settings below its own registry key. */
#include "runtime/registry.h"

const char* const gv_agentKey = TW_AGENT_KEY;
char* gv_agentInstallDir = nullptr;
uint32_t gv_eventEnabled = 1;

uint32_t ReadAgentInstallDir(char** out)
{
    return ReadRegSZ(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "TWAgentInstallDir", out);
}

uint32_t ReadEventEnabledFlag(uint32_t* flag)
{
    if (flag && ReadDwordRegistryData(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "TWEventEnabled", flag) != 0)
        *flag = 1;
    return 0;
}
