#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "log_capture.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "runtime/log.h"
#include "runtime/log_rotation.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const char kLive[] = "twprereqhandler.log";

// A logs folder; files named relative to it.
class Rotation : public ::testing::Test {
protected:
    void TearDown() override { SetLogFileSizeSource(nullptr); }
    std::string At(const std::string& name) const { return logs.file(name); }
    void Put(const std::string& name, const std::string& text) const { WriteWholeFile(At(name), text); }
    std::string Get(const std::string& name) const { return ReadWholeFile(At(name)); }
    bool Has(const std::string& name) const { return fs::exists(At(name)); }
    std::string Backup(int n) const { return "twprereqhandler" + std::to_string(n) + ".log"; }
    uint32_t RotateLive(uint32_t limit = 10)
    {
        return RotateLoggerForEverRunningProcess(logs.path().c_str(), kLive, 5, limit);
    }

    TempDir logs;
};

bool Contains(const Lines& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST_F(Rotation, LiveLogRotatesFromTheLimitOn)
{
    Put(kLive, "");
    fs::resize_file(At(kLive), 1999999);
    EXPECT_EQ(CheckLogSizeReached(At(kLive).c_str(), 2000000), 0);
    EXPECT_EQ(RotateLive(2000000), 0u);
    EXPECT_FALSE(Has(Backup(1)));

    fs::resize_file(At(kLive), 2000000);
    EXPECT_EQ(CheckLogSizeReached(At(kLive).c_str(), 2000000), 1);
    EXPECT_EQ(RotateLive(2000000), 0u);
    EXPECT_EQ(fs::file_size(At(Backup(1))), 2000000u);
    EXPECT_EQ(fs::file_size(At(kLive)), 0u);
}

TEST_F(Rotation, MissingLiveFileCountsAsEmpty)
{
    LogCapture log;
    EXPECT_EQ(CheckLogSizeReached(At(kLive).c_str(), 1), 0);
    Lines lines = log.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "[ERROR] CheckLogSizeReached : Unable to get the file handle ");
    EXPECT_EQ(lines[1], "[ERROR] Error Code : 2 , Error Message : The system cannot find the file specified. ");
}

TEST_F(Rotation, OpenLogGoesOnWritingIntoTheEmptiedFile)
{
    InitLogDefaults();
    SetLogConfig(kLive, logs.path().c_str(), 2);
    ASSERT_TRUE(OpenLogFileAppend());
    LogInfo("before the rotation\n");
    EXPECT_EQ(RotateLive(), 0u);
    LogInfo("after the rotation\n");
    CloseLogFile();
    FreeLogConfig();
    std::string backup = Get(Backup(1));
    EXPECT_NE(backup.find("before the rotation"), std::string::npos);
    EXPECT_EQ(backup.find("after the rotation"), std::string::npos);
    std::string live = Get(kLive);
    EXPECT_EQ(live.find("before the rotation"), std::string::npos);
    EXPECT_NE(live.find("after the rotation"), std::string::npos);
    // Nothing but whole lines: the emptied file starts with a line.
    EXPECT_EQ(live.rfind("[ ", 0), 0u);
}

// Live file plus 0 to 4 backups, five files at most: every backup moves up
// by one, the live text lands in backup 1, backup 4 falls off.
TEST_F(Rotation, BackupsShiftUpByOne)
{
    for (int present = 0; present <= 4; present++) {
        for (int n = 1; n <= 5; n++)
            fs::remove(At(Backup(n)));
        for (int n = 1; n <= present; n++)
            Put(Backup(n), "backup " + std::to_string(n));
        Put(kLive, "live text that is long enough");
        ASSERT_EQ(RotateLive(), 0u);
        EXPECT_EQ(Get(kLive), "") << present;
        EXPECT_EQ(Get(Backup(1)), "live text that is long enough") << present;
        for (int n = 2; n <= std::min(present + 1, 4); n++)
            EXPECT_EQ(Get(Backup(n)), "backup " + std::to_string(n - 1)) << present;
        for (int n = present + 2; n <= 5; n++)
            EXPECT_FALSE(Has(Backup(n))) << present << " " << n;
    }
    EXPECT_FALSE(Has(Backup(5)));
}

TEST_F(Rotation, FullSetDeletesTheOldestFirst)
{
    for (int n = 1; n <= 4; n++)
        Put(Backup(n), "backup " + std::to_string(n));
    Put(kLive, "live text that is long enough");
    LogCapture log;
    ASSERT_EQ(RotateLive(), 0u);
    Lines lines = log.Lines();
    EXPECT_TRUE(Contains(lines, "[INFO] RotateSpecificLogs : The return Value from FindNumberOfRepeatedFileNames "
                                "method is : 5 "));
    std::string folder = logs.path() + "/";
    EXPECT_TRUE(Contains(lines, "[INFO] RotateSpecificLogs : The file " + folder + "/" + Backup(4) +
                                    " was successfully deleted..:"));
}

TEST_F(Rotation, ForeignFileWithThePrefixCostsOneFailedStep)
{
    Put("twprereqhandler.txt", "not a log");
    Put(Backup(1), "backup 1");
    Put(kLive, "live text that is long enough");
    LogCapture log;
    ASSERT_EQ(RotateLive(), 0u);
    EXPECT_EQ(Get("twprereqhandler.txt"), "not a log");
    EXPECT_EQ(Get(Backup(1)), "live text that is long enough");
    EXPECT_EQ(Get(Backup(2)), "backup 1");
    EXPECT_FALSE(Has(Backup(3)));
    bool failedCopy = false;
    for (const std::string& line : log.Lines())
        failedCopy |= line.find("CopyFile failed to move from") != std::string::npos &&
                      line.find(Backup(2) + " to") != std::string::npos;
    EXPECT_TRUE(failedCopy);
}

TEST_F(Rotation, ClosedFilesRotateOnlyAboveTheLimit)
{
    Put("a.log", std::string(10, 'a'));
    Put("b.log", std::string(11, 'b'));
    char names[] = "a.log;b.log";
    EXPECT_EQ(RotateSpecificLogs(logs.path().c_str(), names, 5, 10, 0), 0u);
    EXPECT_EQ(Get("a.log"), std::string(10, 'a'));
    EXPECT_FALSE(Has("a1.log"));
    EXPECT_FALSE(Has("b.log")); // mode 0 deletes the live file after its copy
    EXPECT_EQ(Get("b1.log"), std::string(11, 'b'));
}

TEST_F(Rotation, ClosedFileHeldElsewhereIsSkipped)
{
    Put("a.log", std::string(20, 'a'));
    PlatFile* held = PlatOpenFileHandle(At("a.log").c_str(), PLAT_FILE_READ, PLAT_SHARE_NONE, PLAT_OPEN_EXISTING);
    ASSERT_NE(held, nullptr);
    LogCapture log;
    char names[] = "a.log";
    EXPECT_EQ(RotateSpecificLogs(logs.path().c_str(), names, 5, 10, 0), 0u);
    PlatCloseFileHandle(held);
    EXPECT_EQ(Get("a.log"), std::string(20, 'a'));
    EXPECT_FALSE(Has("a1.log"));
    EXPECT_TRUE(Contains(log.Lines(), "[ERROR] RotateSpecificLogs : hFile is NULL or not AVAILABLE (Errorcode : 32) "
                                      "for the file name " + At("a.log") + " . "));
}

int SizeUnknown(const char*, uint64_t* size)
{
    *size = 0;
    PlatSetLastError(PLAT_ERROR_ACCESS_DENIED);
    return 0;
}

TEST_F(Rotation, ClosedFileOfUnknownSizeIsKept)
{
    Put("a.log", std::string(20, 'a'));
    SetLogFileSizeSource(SizeUnknown);
    char names[] = "a.log";
    EXPECT_EQ(RotateSpecificLogs(logs.path().c_str(), names, 5, 10, 0), 0u);
    EXPECT_EQ(Get("a.log"), std::string(20, 'a'));
    EXPECT_FALSE(Has("a1.log"));
}

TEST_F(Rotation, NamesAndCounts)
{
    auto name = [&](const char* file, int index) {
        char* text = GetBackupLogName("/d", file, index);
        std::string result = text ? text : "(null)";
        free(text);
        return result;
    };
    EXPECT_EQ(name("twprereqhandler.log", 3), "/d/twprereqhandler3.log");
    EXPECT_EQ(name("a.log.old", 1), "/d/a1.log");
    EXPECT_EQ(name("agent.txt", 2), "/d/agent.txt2.log");
    EXPECT_EQ(name("a.log", -1), "/d/a-1.log");
    EXPECT_EQ(GetBackupLogName(nullptr, "a.log", 1), nullptr);

    EXPECT_EQ(FindNoOfRepeatedFileNames(logs.path().c_str(), "twprereqhandler"), -1);
    Put(kLive, "x");
    Put("TWPREREQHANDLER2.LOG", "x");
    fs::create_directory(At("twprereqhandler-dir"));
    Put("other.log", "x");
    EXPECT_EQ(FindNoOfRepeatedFileNames(logs.path().c_str(), "twprereqhandler"), 3);
    EXPECT_EQ(FindNoOfRepeatedFileNames((logs.path() + "/missing").c_str(), "twprereqhandler"), -1);

    uint64_t size = 7;
    EXPECT_TRUE(GetLogFileSize(At(kLive).c_str(), &size));
    EXPECT_EQ(size, 1u);
    EXPECT_FALSE(GetLogFileSize(At("none.log").c_str(), &size));
    EXPECT_FALSE(GetLogFileSize(nullptr, &size));
}

// A hostile logs folder: hundreds of entries with the prefix, some of them
// directories; the shift must end and only touch backup names.
TEST_F(Rotation, CrowdedFolderEnds)
{
    for (int n = 0; n < 300; n++)
        Put("twprereqhandler-junk" + std::to_string(n), "x");
    fs::create_directory(At(Backup(3)));
    Put(kLive, "live text that is long enough");
    EXPECT_EQ(RotateLive(), 0u);
    EXPECT_EQ(Get(Backup(1)), "live text that is long enough");
    EXPECT_TRUE(fs::is_directory(At(Backup(3))));
    EXPECT_TRUE(Has("twprereqhandler-junk299"));
}

TEST_F(Rotation, TimerRearmsAfterEachPass)
{
    LogCapture log;
    LogRotationSettings* settings = CreateLogRotationSettings();
    ASSERT_NE(settings, nullptr);
    free(settings->folder);
    settings->folder = strdup(logs.path().c_str());
    settings->timerPeriodMs = 50;
    settings->sizeLimit = 10;
    Put(kLive, "");
    free(settings->fileName);
    settings->fileName = strdup(kLive);

    StartLogRotation(settings);
    int rotated = 0;
    for (int i = 0; i < 200 && rotated < 3; i++) {
        if (Get(kLive).empty()) {
            Put(kLive, "live text " + std::to_string(rotated) + " that is long enough");
            rotated++;
        }
        PlatSleepMs(10);
    }
    PlatSleepMs(200);
    EXPECT_EQ(StopLogRotation(), 0u);
    EXPECT_EQ(rotated, 3);
    EXPECT_EQ(Get(Backup(1)), "live text 2 that is long enough");
    EXPECT_EQ(Get(Backup(2)), "live text 1 that is long enough");

    // Stopped: no further pass.
    Put(kLive, "live text after the stop, long enough");
    PlatSleepMs(200);
    EXPECT_EQ(Get(kLive), "live text after the stop, long enough");
    size_t passes = 0;
    for (const std::string& line : log.Lines())
        passes += line == "[INFO] LoggerTimerRoutine : Inside LoggerTimerRoutine Method";
    EXPECT_GE(passes, 3u);
    FreeLogRotationSettings(settings);
}

TEST_F(Rotation, DefaultPeriodIsAnnouncedInMinutes)
{
    LogCapture log;
    LogRotationSettings* settings = CreateLogRotationSettings();
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->timerPeriodMs, 900000u);
    EXPECT_EQ(settings->maxFiles, 5);
    EXPECT_EQ(settings->sizeLimit, 2000000u);
    EXPECT_EQ(std::string(settings->fileName), "computer.log");
    StartLogRotation(settings);
    StopLogRotation();
    FreeLogRotationSettings(settings);
    Lines lines = log.Lines();
    EXPECT_TRUE(Contains(lines, "[INFO] ServiceMain : TimerQueue is created successfully "));
    EXPECT_TRUE(Contains(lines, "[DEBUG] LoggerTimerMethod : Registered the TimerRoutime callback in next 15 minutes . "));
}

} // namespace
