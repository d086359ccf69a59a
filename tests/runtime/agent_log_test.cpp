#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/clock.h"
#include "registry_file.h"
#include "runtime/agent_log.h"
#include "runtime/log.h"
#include "runtime/registry.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

// An agent installed in a temporary directory.
class AgentLog : public ::testing::Test {
protected:
    void Agent(const std::string& values)
    {
        registry.Write("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Brisoly\\Tarnwell\\TWAgent]\r\n"
                       "\"TWAgentInstallDir\"=\"" +
                       install.path() + "/\"\r\n" + values);
    }
    void TearDown() override
    {
        SetDefaultRotationPeriodMs(0);
        SetDefaultRotationSizeLimit(0);
    }
    std::string LogPath() const { return install.path() + "/logs/twprereqhandler.log"; }
    std::vector<std::string> Lines() const { return SplitLines(ReadWholeFile(LogPath())); }
    static int Count(const std::vector<std::string>& lines, const std::string& part)
    {
        int count = 0;
        for (const std::string& line : lines)
            count += line.find(part) != std::string::npos;
        return count;
    }

    TempDir install;
    RegistryFile registry;
};

TEST_F(AgentLog, LogInTheAgentsLogsFolderAppendedByALaterRun)
{
    Agent("");
    for (int run = 0; run < 2; run++) {
        EXPECT_EQ(StartAgentLog("twprereqhandler.log"), 0u);
        LogInfo("info %d\n", run);
        LogError("error %d\n", run);
        LogDebug("debug %d\n", run);
        EXPECT_EQ(StopAgentLog(), 0u);
    }
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(lines.size(), 8u);
    EXPECT_EQ(Count(lines, "[INFO] Log open time: "), 2);
    EXPECT_EQ(Count(lines, "[INFO] Log close time: "), 2);
    EXPECT_EQ(Count(lines, "[INFO] info 1"), 1);
    EXPECT_EQ(Count(lines, "[ERROR] error 0"), 1);
    EXPECT_EQ(Count(lines, "[DEBUG]"), 0); // no level in the registry: 2
    EXPECT_EQ(std::string(gv_agentInstallDir), install.path() + "/");
}

TEST_F(AgentLog, LevelZeroWritesOnlyOpenAndClose)
{
    Agent("\"TWAgentLogLevel\"=dword:00000000\r\n");
    StartAgentLog("twprereqhandler.log");
    LogInfo("info\n");
    LogError("error\n");
    StopAgentLog();
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Count(lines, "Log open time"), 1);
    EXPECT_EQ(Count(lines, "Log close time"), 1);
}

TEST_F(AgentLog, WithoutInstallDirectoryNothingIsOpened)
{
    registry.Write("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Brisoly\\Tarnwell\\TWAgent]\r\n");
    EXPECT_EQ(StartAgentLog("twprereqhandler.log"), 2u);
    EXPECT_EQ(gv_logFilePtr, nullptr);
    LogInfo("lost\n");
    EXPECT_EQ(StopAgentLog(), 0u);
    EXPECT_FALSE(fs::exists(install.path() + "/logs"));
}

TEST_F(AgentLog, FullLogIsRotatedBeforeItOpens)
{
    Agent("\"TWAgentLogLevel\"=dword:00000004\r\n");
    fs::create_directories(install.path() + "/logs");
    WriteWholeFile(LogPath(), "");
    fs::resize_file(LogPath(), 2000000);
    StartAgentLog("twprereqhandler.log");
    StopAgentLog();
    EXPECT_EQ(fs::file_size(install.path() + "/logs/twprereqhandler1.log"), 2000000u);
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u); // the first pass wrote before the log was open
    EXPECT_EQ(Count(lines, "Log open time"), 1);
}

// Passes run back to back on the timer thread while the main thread starts
// and stops the log; a stop that closed the log under a running pass would
// hand it a closed stream and a freed lock key (the sanitizer build sees it).
TEST_F(AgentLog, StopWaitsForARunningPass)
{
    Agent("\"TWAgentLogLevel\"=dword:00000004\r\n");
    SetDefaultRotationPeriodMs(1);
    SetDefaultRotationSizeLimit(1); // every pass empties the live log
    for (int round = 0; round < 30; round++) {
        fs::create_directories(install.path() + "/logs");
        std::string text(2000001, 'x');
        WriteWholeFile(LogPath(), text);
        ASSERT_EQ(StartAgentLog("twprereqhandler.log"), 0u);
        for (int i = 0; i < 20; i++)
            LogInfo("main thread line %d\n", i);
        PlatSleepMs(static_cast<unsigned>(round % 4));
        StopAgentLog();
        EXPECT_EQ(gv_logFilePtr, nullptr);
        EXPECT_EQ(gv_logConfig.lockKey, nullptr);
        // No pass runs on after the stop: nothing empties the closed log.
        PlatSleepMs(5);
        std::vector<std::string> lines = Lines();
        ASSERT_FALSE(lines.empty()) << round;
        EXPECT_NE(lines.back().find("Log close time"), std::string::npos) << round;
    }
}

} // namespace
