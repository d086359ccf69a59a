/* Reading the options and running the installer with them. */
#include "tool/install.h"

#include <stdlib.h>
#include <string.h>

#include "runtime/log.h"
#include "runtime/process_runner.h"

const char* gv_ssuFileName = "";
const char* gv_ssuArgs = "";

namespace {

/* ASCII letters compare without regard to case, as the agent writes them. */
bool IsOption(const char* argument, const char* option)
{
    for (;; argument++, option++) {
        char a = *argument, b = *option;
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (a != b)
            return false;
        if (!a)
            return true;
    }
}

} // namespace

void ParseArguments(int argc, char** argv)
{
    if (!argv)
        return;
    for (int i = 1; i < argc && argv[i]; i += 2) {
        const char** slot;
        if (IsOption(argv[i], "-s"))
            slot = &gv_ssuArgs;
        else if (IsOption(argv[i], "-fn"))
            slot = &gv_ssuFileName;
        else
            return;
        if (i + 1 >= argc || !argv[i + 1]) {
            LogInfo("Option %s has no value; ignored.\n", argv[i]);
            return;
        }
        *slot = argv[i + 1];
        if (slot == &gv_ssuArgs)
            LogInfo("SSU args: %s\n", gv_ssuArgs);
        else
            LogInfo("SSU Filename: %s\n", gv_ssuFileName);
    }
}

char* BuildInstallerCommandLine(void)
{
    static const char kProgram[] = "wusa.exe ";
    size_t nameLength = strlen(gv_ssuFileName);
    size_t argsLength = strlen(gv_ssuArgs);
    size_t size = sizeof kProgram - 1 + nameLength + 1 + argsLength + 1;
    char* commandLine = static_cast<char*>(malloc(size));
    if (!commandLine)
        return nullptr;
    char* at = commandLine;
    memcpy(at, kProgram, sizeof kProgram - 1);
    at += sizeof kProgram - 1;
    memcpy(at, gv_ssuFileName, nameLength);
    at += nameLength;
    *at++ = ' ';
    memcpy(at, gv_ssuArgs, argsLength + 1);
    return commandLine;
}

int InstallUpdate(void)
{
    char* commandLine = BuildInstallerCommandLine();
    if (!commandLine) {
        LogError("InstallUpdate : Unable to allocate the command line \n");
        return 8; /* not enough memory */
    }
    LogInfo("Command line args: %s\n", commandLine);
    char* remarks = nullptr;
    uint32_t result = RunInstaller(nullptr, commandLine, &remarks, INSTALL_TIME_LIMIT_MINUTES, 0);
    free(remarks);
    free(commandLine);
    return static_cast<int>(result);
}
