#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>

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

// A log opened by appending, and one opened by emptying: after the
// rotation both go on at the start of the emptied file.
class RotationOfOpenLog : public Rotation, public ::testing::WithParamInterface<int (*)(void)> { };

INSTANTIATE_TEST_SUITE_P(OpenModes, RotationOfOpenLog, ::testing::Values(OpenLogFileAppend, OpenLogFile),
                         [](const auto& info) { return info.index == 0 ? "Append" : "Empty"; });

TEST_P(RotationOfOpenLog, OpenLogGoesOnWritingIntoTheEmptiedFile)
{
    InitLogDefaults();
    SetLogConfig(kLive, logs.path().c_str(), 2);
    ASSERT_TRUE(GetParam()());
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

// Two threads write numbered lines while passes rotate the live log. Every
// line must stand exactly once in the backups and the live log together,
// whole: none lost between the copy and the emptying, none cut at the end
// of a backup.
TEST_P(RotationOfOpenLog, BusyWritersLoseNoLineToRotation)
{
    const int kWriters = 2;
    const int kLines = 1200;
    // Each writer writes at most this many lines from the start of one pass
    // to the start of the next, so that passes come often whatever the
    // scheduler does; and a pass starts once half of that has been written,
    // so that writers are under way while it copies.
    const int kLinesPerPass = 150;
    // Every 16th line is longer than a stream buffer and reaches the file in
    // several writes, where a copy that does not wait for the writers can
    // cut it.
    auto padding = [](int line) { return line % 16 == 0 ? 6000 : 50; };
    InitLogDefaults();
    SetLogConfig(kLive, logs.path().c_str(), 1);
    ASSERT_TRUE(GetParam()());
    fs::create_directory(At("saved"));

    std::atomic<int> passes{0};
    std::atomic<int> linesSincePass{0};
    std::atomic<int> running{kWriters};
    std::vector<std::thread> writers;
    for (int t = 0; t < kWriters; t++) {
        writers.emplace_back([&, t] {
            const std::string text(6000, 'x');
            int seenPass = -1, firstOfPass = 0;
            for (int i = 0; i < kLines; i++) {
                for (;;) {
                    if (int pass = passes.load(); pass != seenPass) {
                        seenPass = pass;
                        firstOfPass = i;
                    }
                    if (i - firstOfPass < kLinesPerPass)
                        break;
                    std::this_thread::yield();
                }
                LogInfo("writer %d line %d %.*s\n", t, i, padding(i), text.c_str());
                linesSincePass++;
            }
            running--;
        });
    }
    while (running.load() > 0) {
        if (linesSincePass.load() < kLinesPerPass / 2) {
            std::this_thread::yield();
            continue;
        }
        linesSincePass = 0;
        int pass = ++passes;
        // A limit of one byte: every pass rotates. Backup 1 is then moved
        // aside, out of the count, so that every pass is as short as the
        // first and nothing falls off the end.
        ASSERT_EQ(RotateLoggerForEverRunningProcess(logs.path().c_str(), kLive, 5, 1), 0u);
        fs::rename(At(Backup(1)), At("saved/" + std::to_string(pass)));
    }
    for (auto& writer : writers)
        writer.join();
    CloseLogFile();
    FreeLogConfig();
    EXPECT_GE(passes.load(), kLines / kLinesPerPass - 1);

    const std::regex whole(R"(\[ \d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} \] \[ \d+ \] \[[A-Z]+\] .*)");
    const std::regex numbered(R"(.* \[INFO\] writer (\d) line (\d+) (x*))");
    std::vector<std::vector<int>> seen(kWriters, std::vector<int>(kLines, 0));
    std::vector<std::string> files = {kLive};
    for (int n = 1; n <= passes.load(); n++)
        files.push_back("saved/" + std::to_string(n));
    for (const std::string& file : files) {
        std::string text = Get(file);
        ASSERT_TRUE(text.empty() || text.back() == '\n') << file << " ends inside a line";
        for (const std::string& line : SplitLines(text)) {
            // The rotation's banners begin with a line break of their own.
            bool banner = line.empty() || line.rfind(" @@@", 0) == 0;
            ASSERT_TRUE(banner || std::regex_match(line, whole)) << file << ": " << line.substr(0, 200);
            std::smatch match;
            if (!std::regex_match(line, match, numbered))
                continue;
            int t = std::stoi(match[1]);
            int i = std::stoi(match[2]);
            ASSERT_LT(i, kLines);
            ASSERT_EQ(match[3].length(), padding(i)) << file << ": writer " << t << " line " << i << " is cut";
            seen[t][i]++;
        }
    }
    for (int t = 0; t < kWriters; t++)
        for (int i = 0; i < kLines; i++)
            ASSERT_EQ(seen[t][i], 1) << "writer " << t << " line " << i;
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
    EXPECT_TRUE(Contains(lines,
                         "[INFO] RotateSpecificLogs : The return Value from FindNumberOfRepeatedFileNames "
                         "method is : 5 "));
    std::string folder = logs.path() + "/";
    EXPECT_TRUE(Contains(
        lines, "[INFO] RotateSpecificLogs : The file " + folder + "/" + Backup(4) + " was successfully deleted..:"));
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
    EXPECT_TRUE(Contains(log.Lines(),
                         "[ERROR] RotateSpecificLogs : hFile is NULL or not AVAILABLE (Errorcode : 32) "
                         "for the file name " +
                             At("a.log") + " . "));
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
    EXPECT_TRUE(
        Contains(lines, "[DEBUG] LoggerTimerMethod : Registered the TimerRoutime callback in next 15 minutes . "));
}

} // namespace
