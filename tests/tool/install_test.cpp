#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>
#include <vector>

#include "log_capture.h"
#include "tool/install.h"

namespace {

using Lines = std::vector<std::string>;

// Parses exactly these arguments after the program name. The vector holds
// no terminating null, so reading past its end is a fault the sanitizer
// build sees.
struct Parsed {
    std::string commandLine;
    Lines log;
};

Parsed Parse(std::vector<std::string> arguments)
{
    gv_ssuFileName = "";
    gv_ssuArgs = "";
    arguments.insert(arguments.begin(), "esu-prereq-check");
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    Parsed parsed;
    {
        LogCapture log;
        ParseArguments(static_cast<int>(argv.size()), argv.data());
        char* commandLine = BuildInstallerCommandLine();
        parsed.commandLine = commandLine ? commandLine : "(null)";
        free(commandLine);
        parsed.log = log.Lines();
    }
    gv_ssuFileName = "";
    gv_ssuArgs = "";
    return parsed;
}

TEST(ParseArguments, BothOptionsInEitherOrder)
{
    Parsed p = Parse({"-fn", "C:\\pkg\\update.msu", "-s", "/quiet /norestart"});
    EXPECT_EQ(p.commandLine, "wusa.exe C:\\pkg\\update.msu /quiet /norestart");
    EXPECT_EQ(p.log, (Lines{"[INFO] SSU Filename: C:\\pkg\\update.msu", "[INFO] SSU args: /quiet /norestart"}));

    p = Parse({"-s", "/quiet /norestart", "-fn", "C:\\pkg\\update.msu"});
    EXPECT_EQ(p.commandLine, "wusa.exe C:\\pkg\\update.msu /quiet /norestart");
    EXPECT_EQ(p.log, (Lines{"[INFO] SSU args: /quiet /norestart", "[INFO] SSU Filename: C:\\pkg\\update.msu"}));

    p = Parse({"-FN", "u.msu", "-S", "/q"});
    EXPECT_EQ(p.commandLine, "wusa.exe u.msu /q");
}

TEST(ParseArguments, MissingOptionsLeaveEmptyValues)
{
    EXPECT_EQ(Parse({}).commandLine, "wusa.exe  ");
    EXPECT_EQ(Parse({"-fn", "update.msu"}).commandLine, "wusa.exe update.msu ");
}

TEST(ParseArguments, UnknownOptionEndsTheReading)
{
    Parsed p = Parse({"-x", "1", "-fn", "update.msu"});
    EXPECT_EQ(p.commandLine, "wusa.exe  ");
    EXPECT_TRUE(p.log.empty());
    // A value is never examined, even when it looks like an option.
    p = Parse({"-fn", "-s", "-s", "-fn"});
    EXPECT_EQ(p.commandLine, "wusa.exe -s -fn");
}

TEST(ParseArguments, RepeatedOptionReplacesAndBothAreLogged)
{
    Parsed p = Parse({"-fn", "a.msu", "-fn", "b.msu"});
    EXPECT_EQ(p.commandLine, "wusa.exe b.msu ");
    EXPECT_EQ(p.log, (Lines{"[INFO] SSU Filename: a.msu", "[INFO] SSU Filename: b.msu"}));
}

TEST(ParseArguments, LastOptionWithoutValueIsIgnored)
{
    Parsed p = Parse({"-fn", "u.msu", "-s"});
    EXPECT_EQ(p.commandLine, "wusa.exe u.msu ");
    EXPECT_EQ(p.log, (Lines{"[INFO] SSU Filename: u.msu", "[INFO] Option -s has no value; ignored."}));
    EXPECT_EQ(Parse({"-fn"}).commandLine, "wusa.exe  ");
    // A vector that ends early with a null is not read past it either.
    char program[] = "tool", option[] = "-fn";
    char* argv[] = {program, option, nullptr};
    ParseArguments(5, argv);
    EXPECT_STREQ(gv_ssuFileName, "");
    ParseArguments(3, nullptr);
}

TEST(ParseArguments, PercentSignsPassUnchanged)
{
    Parsed p = Parse({"-s", "/quiet /log:%TEMP%\\%s%d.evtx"});
    EXPECT_EQ(p.commandLine, "wusa.exe  /quiet /log:%TEMP%\\%s%d.evtx");
    EXPECT_EQ(p.log, (Lines{"[INFO] SSU args: /quiet /log:%TEMP%\\%s%d.evtx"}));
}

} // namespace
