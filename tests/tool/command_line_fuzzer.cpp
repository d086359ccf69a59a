// libFuzzer entry for the tool's command line: the input, cut at its NUL
// bytes, is the argument list after the program name. The options read must
// be arguments as given, the installer's command line must be "wusa.exe
// <file> <switches>" built from them, and splitting that line as the process
// runner does must give the program name first. Every line the tool logs is
// formatted, into nowhere.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "runtime/log.h"
#include "tool/install.h"

namespace {

bool IsOneOf(const char* value, const std::vector<char*>& argv)
{
    if (*value == '\0')
        return true;
    for (char* argument : argv)
        if (argument == value)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool logOpen = [] {
        InitLogDefaults();
        SetLogLevel(4);
        return SetLogFilePtr(fopen("/dev/null", "w")) != 0;
    }();
    (void)logOpen;

    // Each argument in its own block of exactly its size.
    std::vector<std::string> pieces{"esu-prereq-check"};
    std::string piece;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\0') {
            pieces.push_back(piece);
            piece.clear();
        } else {
            piece.push_back(static_cast<char>(data[i]));
        }
    }
    if (size > 0)
        pieces.push_back(piece);
    std::vector<char*> argv;
    for (const std::string& text : pieces) {
        char* copy = static_cast<char*>(malloc(text.size() + 1));
        memcpy(copy, text.c_str(), text.size() + 1);
        argv.push_back(copy);
    }
    argv.push_back(nullptr);

    gv_ssuFileName = "";
    gv_ssuArgs = "";
    ParseArguments(static_cast<int>(argv.size() - 1), argv.data());
    if (!IsOneOf(gv_ssuFileName, argv) || !IsOneOf(gv_ssuArgs, argv))
        abort();

    char* commandLine = BuildInstallerCommandLine();
    if (!commandLine)
        abort();
    if (std::string(commandLine) != std::string("wusa.exe ") + gv_ssuFileName + " " + gv_ssuArgs)
        abort();
    std::vector<std::string> split = plat::SplitCommandLine(commandLine);
    if (split.empty() || split[0] != "wusa.exe")
        abort();
    free(commandLine);

    gv_ssuFileName = "";
    gv_ssuArgs = "";
    for (char* argument : argv)
        free(argument);
    return 0;
}
