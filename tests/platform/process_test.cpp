#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>
#include <sys/stat.h>

#include "platform/error.h"
#include "platform/process.h"
#include "temp_dir.h"

namespace {

// Each test gets a folder first on PATH holding stand-in programs.
class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* path = getenv("PATH");
        savedPath = path ? path : "";
        setenv("PATH", (dir.path() + ":" + savedPath).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", savedPath.c_str(), 1); }

    void Script(const std::string& name, const std::string& body)
    {
        std::string file = dir.file(name);
        WriteWholeFile(file, "#!/bin/sh\n" + body + "\n");
        chmod(file.c_str(), 0755);
    }

    uint32_t RunToEnd(const std::string& commandLine)
    {
        PlatProcess* process = PlatStartProcess(commandLine.c_str(), nullptr, 0);
        EXPECT_NE(process, nullptr) << commandLine;
        if (!process)
            return 0xDEADBEEF;
        EXPECT_EQ(PlatWaitProcess(process, 10000), PLAT_WAIT_OBJECT_0);
        uint32_t code = 0;
        EXPECT_TRUE(PlatGetProcessExitCode(process, &code));
        PlatCloseProcess(process);
        return code;
    }

    TempDir dir;
    std::string savedPath;
};

TEST_F(ProcessTest, FindsTheProgramOnPathAndPassesItsArguments)
{
    Script("wusa.exe", "printf '%s|' \"$@\" > \"" + dir.file("args") + "\"");
    EXPECT_EQ(RunToEnd("wusa.exe \"C:\\u\\kb 1.msu\" /quiet /norestart"), 0u);
    EXPECT_EQ(ReadWholeFile(dir.file("args")), "C:\\u\\kb 1.msu|/quiet|/norestart|");
}

TEST_F(ProcessTest, ExeIsAddedToANameWithoutExtension)
{
    Script("wusa.exe", "exit 7");
    EXPECT_EQ(RunToEnd("wusa /x"), 7u);
}

TEST_F(ProcessTest, ExitCodesBeyondEightBitsComeThroughTheCodeFile)
{
    Script("installer", "echo 2359302 > \"$TW_EXIT_CODE_FILE\"; exit 6");
    EXPECT_EQ(RunToEnd("installer"), 2359302u);
    Script("plain", "exit 194");
    EXPECT_EQ(RunToEnd("plain"), 194u);
    // Garbage in the code file is ignored in favour of the status.
    Script("garbage", "echo nonsense > \"$TW_EXIT_CODE_FILE\"; exit 3");
    EXPECT_EQ(RunToEnd("garbage"), 3u);
}

TEST_F(ProcessTest, MissingProgramFailsWithFileNotFound)
{
    EXPECT_EQ(PlatStartProcess("no-such-program-here.exe /a", nullptr, 0), nullptr);
    EXPECT_EQ(PlatGetLastError(), 2u);
    EXPECT_EQ(PlatStartProcess("", nullptr, 0), nullptr);
    EXPECT_EQ(PlatGetLastError(), 2u);
    EXPECT_EQ(PlatStartProcess(nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(PlatGetLastError(), 87u);
    // Not executable.
    WriteWholeFile(dir.file("data.exe"), "x");
    EXPECT_EQ(PlatStartProcess("data.exe", nullptr, 0), nullptr);
}

TEST_F(ProcessTest, TimeOutThenTerminateReportsTheGivenCode)
{
    Script("sleeper", "sleep 30");
    PlatProcess* process = PlatStartProcess("sleeper", nullptr, 0);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(PlatWaitProcess(process, 100), PLAT_WAIT_TIMEOUT);
    uint32_t code = 0;
    EXPECT_TRUE(PlatGetProcessExitCode(process, &code));
    EXPECT_EQ(code, PLAT_STILL_ACTIVE);
    EXPECT_TRUE(PlatTerminateProcess(process, 0));
    EXPECT_EQ(PlatWaitProcess(process, 10000), PLAT_WAIT_OBJECT_0);
    EXPECT_TRUE(PlatGetProcessExitCode(process, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(PlatTerminateProcess(process, 0)); // already gone
    PlatCloseProcess(process);
}

TEST_F(ProcessTest, WorkingDirectoryIsTheChildsStart)
{
    Script("where", "pwd > \"" + dir.file("cwd") + "\"");
    std::string sub = dir.file("sub");
    mkdir(sub.c_str(), 0755);
    PlatProcess* process = PlatStartProcess("where", sub.c_str(), 1);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(PlatWaitProcess(process, PLAT_INFINITE), PLAT_WAIT_OBJECT_0);
    PlatCloseProcess(process);
    EXPECT_EQ(ReadWholeFile(dir.file("cwd")), sub + "\n");

    EXPECT_EQ(PlatStartProcess("where", dir.file("missing").c_str(), 0), nullptr);
    EXPECT_EQ(PlatGetLastError(), 267u);
}

TEST(CurrentDirectoryTest, ReportsLengthOrNeededSize)
{
    TempDir dir;
    char saved[4096];
    ASSERT_GT(PlatGetCurrentDirectory(sizeof saved, saved), 0u);
    ASSERT_TRUE(PlatSetCurrentDirectory(dir.path().c_str()));
    char buffer[4096];
    uint32_t length = PlatGetCurrentDirectory(sizeof buffer, buffer);
    EXPECT_EQ(length, dir.path().size());
    EXPECT_EQ(std::string(buffer), dir.path());
    char tiny[4] = "abc";
    EXPECT_EQ(PlatGetCurrentDirectory(sizeof tiny, tiny), dir.path().size() + 1);
    EXPECT_STREQ(tiny, "abc");
    EXPECT_FALSE(PlatSetCurrentDirectory(dir.file("missing").c_str()));
    EXPECT_EQ(PlatGetLastError(), 2u);
    ASSERT_TRUE(PlatSetCurrentDirectory(saved));
}

} // namespace
