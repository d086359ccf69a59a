/*
 * factsdemo: prints what the tool would learn about this machine: the
 * operating-system facts, the agent's registry settings, a few result
 * messages and the applicability decision. The smoke test of the registry,
 * OS-facts and message services on both platform halves.
 */
#include <stdio.h>
#include <stdlib.h>

#include "runtime/messages.h"
#include "runtime/registry.h"
#include "tool/applicability.h"

int main(void)
{
    PlatOsFacts facts = {};
    uint32_t error = 0;
    PlatOsStep step = PlatGetOsFacts(&facts, &error);
    printf("facts: step %d error %u version %u.%u build %u sp %u.%u type %u edition %u arch %u\n",
           static_cast<int>(step), error, facts.majorVersion, facts.minorVersion, facts.buildNumber,
           facts.servicePackMajor, facts.servicePackMinor, facts.productType, facts.edition,
           facts.processorArchitecture);

    char* dir = nullptr;
    uint32_t result = ReadAgentInstallDir(&dir);
    printf("TWAgentInstallDir: %u [%s]\n", result, dir ? dir : "");
    free(dir);
    uint32_t level = 2;
    result = ReadDwordRegistryData(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "TWAgentLogLevel", &level);
    printf("TWAgentLogLevel: %u %u\n", result, level);
    uint32_t flag = 0;
    ReadEventEnabledFlag(&flag);
    printf("TWEventEnabled: %u\n", flag);

    const uint32_t codes[] = {0, 2, 3010, 2359302, 0x80000000u};
    for (uint32_t code : codes) {
        char* text = GetErrorMessage(code);
        printf("message %u: [%s]\n", code, text ? text : "(null)");
        free(text);
    }

    printf("kind %d year %d applicable %d\n", GetOSKind(), GetESUYear(), IsESUApplicable());
    return 0;
}
