#include <gtest/gtest.h>

#include <filesystem>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "log_capture.h"
#include "platform/error.h"
#include "runtime/process_runner.h"

namespace {

using Lines = std::vector<std::string>;

// A folder first on PATH with stand-in programs; the log at debug level.
class Runner : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* path = getenv("PATH");
        savedPath = path ? path : "";
        setenv("PATH", (bin.path() + ":" + savedPath).c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PATH", savedPath.c_str(), 1);
        SetExecuteMinuteMs(0);
        SetExecuteWaitSource(nullptr);
    }
    void Script(const std::string& name, const std::string& body)
    {
        std::string file = bin.file(name);
        WriteWholeFile(file, "#!/bin/sh\n" + body + "\n");
        chmod(file.c_str(), 0755);
    }
    // A program that ends with a full 32-bit code.
    void Exits(const std::string& name, uint32_t code)
    {
        Script(name, "echo " + std::to_string(code) + " > \"$TW_EXIT_CODE_FILE\"; exit 1");
    }

    TempDir bin;
    std::string savedPath;
};

std::string Cwd()
{
    char buffer[8192];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

TEST_F(Runner, ChildExitCodeAndItsMessageInOrder)
{
    Exits("wusa.exe", 3010);
    LogCapture log;
    char* remarks = nullptr;
    EXPECT_EQ(execute(nullptr, "wusa.exe a.msu /quiet", &remarks, 1, 0), 3010u);
    const std::string text =
        "The requested operation is successful. Changes will not be effective until the system is rebooted. ";
    ASSERT_NE(remarks, nullptr);
    EXPECT_EQ(std::string(remarks), text);
    free(remarks);
    EXPECT_EQ(log.Lines(),
              (Lines{"[DEBUG] @@@@@@@@ Inside execute Method @@@@@@@@ ",
                     "[INFO] execute : Process successfully created for application wusa.exe a.msu /quiet ",
                     "[ERROR] Error Code : 3010 , Error Message : " + text + " ",
                     "[INFO] execute : Exit code for the application : 3010 ",
                     "[INFO] execute : Remarks from the CreateProcess is " + text +
                         " for the executable wusa.exe a.msu /quiet ",
                     "[DEBUG] @@@@@@@@ End Of execute Method @@@@@@@@ "}));
}

TEST_F(Runner, InstallerFoldsItsSuccessCodesOnly)
{
    const uint32_t folded[] = {0, 1508, 1641, 3010};
    for (uint32_t code : folded) {
        Exits("inst", code);
        char* remarks = nullptr;
        EXPECT_EQ(RunInstaller(nullptr, "inst", &remarks, 1, 0), 0u) << code;
        free(remarks);
    }
    const uint32_t kept[] = {1, 5, 1603, 2359302, 0x80070005u};
    for (uint32_t code : kept) {
        Exits("inst", code);
        char* remarks = nullptr;
        EXPECT_EQ(RunInstaller(nullptr, "inst", &remarks, 1, 0), code);
        free(remarks);
    }
}

TEST_F(Runner, ChildBeyondTheLimitIsTerminatedWith258)
{
    SetExecuteMinuteMs(300);
    Script("slow", "sleep 20");
    LogCapture log;
    char* remarks = nullptr;
    EXPECT_EQ(RunInstaller(nullptr, "slow x", &remarks, 1, 0), 258u);
    ASSERT_NE(remarks, nullptr);
    EXPECT_EQ(std::string(remarks), "The wait operation timed out. ");
    free(remarks);
    Lines lines = log.Lines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[2],
              "[INFO] execute : Terminating the Process for application slow x as time is exceeded 1 Minutes ");
    EXPECT_EQ(lines[3], "[ERROR] Error Code : 258 , Error Message : The wait operation timed out.  ");
    EXPECT_EQ(lines[4], "[INFO] execute : The process has been successfully terminated ..! ");
}

TEST_F(Runner, MissingProgramGivesFileNotFoundWithoutWaiting)
{
    LogCapture log;
    char* remarks = nullptr;
    EXPECT_EQ(execute(nullptr, "no-such-installer.exe /q", &remarks, 1, 0), 2u);
    EXPECT_EQ(std::string(remarks ? remarks : ""), "The system cannot find the file specified. ");
    free(remarks);
    Lines lines = log.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "[INFO] execute : Failed to Create the Process for the application ");
    EXPECT_EQ(lines[2], "[ERROR] Error Code : 2 , Error Message : The system cannot find the file specified.  ");
}

TEST_F(Runner, LimitZeroLeavesTheChildRunning)
{
    Script("bg", "sleep 1; echo done > \"" + bin.file("done") + "\"");
    LogCapture log;
    char* remarks = nullptr;
    EXPECT_EQ(execute(nullptr, "bg", &remarks, 0, 0), 0u);
    free(remarks);
    EXPECT_EQ(log.Lines()[2], "[INFO] Message : The operation completed successfully.  ");
    EXPECT_EQ(ReadWholeFile(bin.file("done")), "");
}

TEST_F(Runner, WorkingDirectoryIsTheChildsAndIsRestored)
{
    TempDir work;
    Script("where", "pwd > \"" + bin.file("pwd") + "\"");
    std::string before = Cwd();
    LogCapture log;
    char* remarks = nullptr;
    EXPECT_EQ(execute(work.path().c_str(), "where", &remarks, 1, 0), 0u);
    free(remarks);
    EXPECT_EQ(ReadWholeFile(bin.file("pwd")), work.path() + "\n");
    EXPECT_EQ(Cwd(), before);
    Lines lines = log.Lines();
    EXPECT_EQ(lines[1], "[INFO] execute : Current Working Directory : " + before + " ");
    EXPECT_EQ(lines[2], "[INFO] execute : Executing Application Source : where ");
    EXPECT_EQ(lines[3], "[INFO] execute : Set Working Directory : " + work.path() + " ");

    // A directory that does not exist: nothing starts, the directory stays.
    remarks = nullptr;
    uint32_t code = execute((work.path() + "/missing").c_str(), "where", &remarks, 1, 0);
    EXPECT_EQ(code, 2u);
    ASSERT_NE(remarks, nullptr);
    free(remarks);
    EXPECT_EQ(Cwd(), before);
}

TEST_F(Runner, WithoutWorkingDirectoryNoDirectoryLines)
{
    Exits("quiet", 0);
    LogCapture log;
    char* remarks = nullptr;
    execute(nullptr, "quiet", &remarks, 1, 0);
    free(remarks);
    for (const std::string& line : log.Lines())
        EXPECT_EQ(line.find("Directory"), std::string::npos) << line;
}

uint32_t FailedWait(PlatProcess*, uint32_t)
{
    PlatSetLastError(PLAT_ERROR_INVALID_HANDLE);
    return PLAT_WAIT_FAILED;
}

uint32_t FailedWaitWithoutCode(PlatProcess*, uint32_t)
{
    PlatSetLastError(0);
    return PLAT_WAIT_FAILED;
}

TEST_F(Runner, FailedWaitIsNeverSuccess)
{
    Exits("inst", 0);
    SetExecuteWaitSource(FailedWait);
    LogCapture log;
    char* remarks = nullptr;
    EXPECT_EQ(RunInstaller(nullptr, "inst", &remarks, 1, 0), 6u);
    EXPECT_EQ(std::string(remarks ? remarks : ""), "The handle is invalid. ");
    free(remarks);
    EXPECT_EQ(log.Lines()[2], "[ERROR] execute : WaitForSingleObject Failed with error code 6 ");

    SetExecuteWaitSource(FailedWaitWithoutCode);
    remarks = nullptr;
    EXPECT_EQ(RunInstaller(nullptr, "inst", &remarks, 1, 0), 1359u);
    free(remarks);
}

TEST_F(Runner, BadArgumentsStartNothing)
{
    LogCapture log;
    char* remarks = nullptr;
    EXPECT_EQ(execute(nullptr, nullptr, &remarks, 1, 0), 87u);
    EXPECT_EQ(std::string(remarks ? remarks : ""), "The parameter is incorrect. ");
    free(remarks);
    Script("marker", "touch \"" + bin.file("ran") + "\"");
    remarks = nullptr;
    EXPECT_EQ(execute(nullptr, "marker", &remarks, -1, 0), 87u);
    free(remarks);
    // Without a remarks slot the message is only logged.
    EXPECT_EQ(execute(nullptr, nullptr, nullptr, 1, 0), 87u);
    EXPECT_FALSE(std::filesystem::exists(bin.file("ran")));
}

TEST_F(Runner, CurrentDirectoryLongerThanTheBufferStartsNothing)
{
    TempDir deep;
    std::string before = Cwd();
    ASSERT_EQ(chdir(deep.path().c_str()), 0);
    std::string component(200, 'd');
    for (int i = 0; i < 22; i++) {
        ASSERT_EQ(mkdir(component.c_str(), 0755), 0);
        ASSERT_EQ(chdir(component.c_str()), 0);
    }
    Script("marker", "touch \"" + bin.file("ran") + "\"");
    LogCapture log;
    char* remarks = nullptr;
    uint32_t code = execute("/", "marker", &remarks, 1, 0);
    ASSERT_EQ(chdir(before.c_str()), 0);
    EXPECT_EQ(code, 122u);
    EXPECT_EQ(std::string(remarks ? remarks : ""), "The data area passed to a system call is too small. ");
    free(remarks);
    EXPECT_FALSE(std::filesystem::exists(bin.file("ran")));
    Lines lines = log.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind("[ERROR] execute : CurrentWorkingDirectory Buffer overflow. Need to allocate the "
                             "length for ",
                             0),
              0u)
        << lines[1];
}

} // namespace
