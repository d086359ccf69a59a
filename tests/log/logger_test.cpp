#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/clock.h"
#include "platform/thread.h"
#include "runtime/log.h"
#include "temp_dir.h"

namespace {

void FixedClock(PlatLocalTime* out) { *out = PlatLocalTime{2024, 3, 5, 9, 4, 7, 45}; }

std::string Prefix(const char* tag)
{
    return "[ 2024-03-05 09:04:07:045 ] [ " + std::to_string(PlatCurrentThreadId()) + " ] " + tag + " ";
}

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override { PlatSetLocalTimeSource(FixedClock); }
    void TearDown() override
    {
        CloseLogFile();
        FreeLogConfig();
        gv_velmoraRoot = nullptr;
        PlatSetLocalTimeSource(nullptr);
    }

    // Configures the log in the temporary directory at `level` and opens it.
    void Open(int level)
    {
        ASSERT_TRUE(InitLogDefaults());
        ASSERT_TRUE(SetLogConfig("test.log", dir.path().c_str(), level));
        ASSERT_TRUE(OpenLogFile());
    }

    std::string Contents() { return ReadWholeFile(dir.file("test.log")); }

    TempDir dir;
};

TEST_F(LoggerTest, LinesAreWrittenByteForByte)
{
    Open(3);
    LogInfo("Check ESU.\n");
    LogError("execute : Exit code for the application : %d \n", 3010);
    CloseLogFile();

    EXPECT_EQ(Contents(),
              Prefix("[INFO]") + "Log open time: 2024-03-05 09:04:07:045\n" + Prefix("[INFO]") + "Check ESU.\n" +
                  Prefix("[ERROR]") + "execute : Exit code for the application : 3010 \n" + Prefix("[INFO]") +
                  "Log close time: 2024-03-05 09:04:07:045\n");
    EXPECT_EQ(std::string(gv_logConfig.fullPath), dir.file("test.log"));
}

TEST_F(LoggerTest, TimeStampPadsEveryField)
{
    PlatSetLocalTimeSource([](PlatLocalTime* out) { *out = PlatLocalTime{2024, 2, 1, 7, 5, 9, 4}; });
    char* stamp = GetLogTimeStamp();
    ASSERT_NE(stamp, nullptr);
    EXPECT_STREQ(stamp, "2024-02-01 07:05:09:004");
    free(stamp);
}

TEST_F(LoggerTest, TimeStampOfAHostileClockStaysInItsBuffer)
{
    PlatSetLocalTimeSource([](PlatLocalTime* out) { *out = PlatLocalTime{-2147483647, -1, 99999, 0, 0, 0, 1000000}; });
    char* stamp = GetLogTimeStamp();
    ASSERT_NE(stamp, nullptr);
    EXPECT_EQ(strlen(stamp), 23u);
    free(stamp);
}

// Which tags each configured level lets through. Only the low 8 bits of the
// configured number count, and anything above 4 behaves as 4.
struct LevelCase {
    int level;
    const char* expectedTags;
};

void PrintTo(const LevelCase& c, std::ostream* os) { *os << "level " << c.level; }

class LoggerLevelTest : public LoggerTest, public ::testing::WithParamInterface<LevelCase> { };

TEST_P(LoggerLevelTest, WritersFollowTheLevelTable)
{
    Open(GetParam().level);
    LogInfo("i\n");
    LogError("e\n");
    LogDebug("d\n");
    LogTrace("t\n");
    CloseLogFile();

    std::string tags;
    for (const std::string& line : SplitLines(Contents())) {
        if (line.find("Log open time") != std::string::npos || line.find("Log close time") != std::string::npos)
            continue;
        tags += line.substr(line.size() - 1);
    }
    EXPECT_EQ(tags, GetParam().expectedTags);
    // Open and close lines are written at every level.
    EXPECT_NE(Contents().find("Log open time"), std::string::npos);
    EXPECT_NE(Contents().find("Log close time"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Levels, LoggerLevelTest,
                         ::testing::Values(LevelCase{0, ""}, LevelCase{1, "i"}, LevelCase{2, "ie"}, LevelCase{3, "ied"},
                                           LevelCase{4, "iedt"}, LevelCase{255, "iedt"}, LevelCase{256, ""},
                                           LevelCase{260, "iedt"}, LevelCase{257, "i"}),
                         [](const auto& info) { return "Level" + std::to_string(info.param.level); });

TEST_F(LoggerTest, SecondOpenIsANoOpThatLeavesATraceLine)
{
    Open(4);
    LogInfo("first\n");
    EXPECT_TRUE(OpenLogFile()); // would empty the file if it reopened it
    EXPECT_TRUE(OpenLogFileAppend());
    CloseLogFile();

    std::vector<std::string> lines = SplitLines(Contents());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], Prefix("[INFO]") + "Log open time: 2024-03-05 09:04:07:045");
    EXPECT_EQ(lines[1], Prefix("[INFO]") + "first");
    EXPECT_EQ(lines[2], Prefix("[TRACE]") + "gv_logFilePtr already Set");
    EXPECT_EQ(lines[3], Prefix("[TRACE]") + "gv_logFilePtr already Set");
}

TEST_F(LoggerTest, AppendKeepsEarlierPeriodsAndTruncateEmptiesThem)
{
    Open(3);
    LogInfo("one\n");
    CloseLogFile();
    ASSERT_TRUE(OpenLogFileAppend()); // the kept configuration serves again
    LogInfo("two\n");
    CloseLogFile();
    std::string text = Contents();
    EXPECT_NE(text.find("one"), std::string::npos);
    EXPECT_NE(text.find("two"), std::string::npos);
    EXPECT_EQ(SplitLines(text).size(), 6u);

    ASSERT_TRUE(OpenLogFile());
    CloseLogFile();
    EXPECT_EQ(SplitLines(Contents()).size(), 2u);
}

TEST_F(LoggerTest, WithoutDirectoryTheLogGoesOneLevelUp)
{
    std::string work = dir.file("work");
    ASSERT_EQ(MakeDirectory(work.c_str()), 0);
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(work);

    ASSERT_TRUE(InitLogDefaults());
    bool opened = OpenLogFileAppend();
    std::filesystem::current_path(previous);
    ASSERT_TRUE(opened);
    EXPECT_STREQ(gv_logConfig.fullPath, "../logs/velmora.log");
    CloseLogFile();
    EXPECT_NE(ReadWholeFile(dir.file("logs/velmora.log")).find("Log open time"), std::string::npos);
}

TEST_F(LoggerTest, FallbackCreatesOnlyOneLevel)
{
    // The current directory's parent has been removed: "../logs" cannot be
    // made, and the open fails without creating anything else.
    std::string gone = dir.file("gone");
    std::string work = gone + "/work";
    ASSERT_EQ(MakeDirectoryTree(work.c_str()), 0);
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(work);
    std::filesystem::remove_all(gone);

    ASSERT_TRUE(InitLogDefaults());
    bool opened = OpenLogFile();
    std::filesystem::current_path(previous);
    EXPECT_FALSE(opened);
    EXPECT_EQ(gv_logFilePtr, nullptr);
    EXPECT_FALSE(std::filesystem::exists(gone));
}

TEST_F(LoggerTest, LibraryRootPlacesTheLogInItsLogsFolder)
{
    std::string root = dir.file("lib/root");
    gv_velmoraRoot = root.data();
    ASSERT_TRUE(InitLogDefaults());
    ASSERT_TRUE(OpenLogFileAppend());
    EXPECT_EQ(std::string(gv_logConfig.fullPath), root + "/logs/velmora.log");
    CloseLogFile();
    EXPECT_TRUE(std::filesystem::exists(root + "/logs/velmora.log"));
}

TEST_F(LoggerTest, OpenFailsWhenTheDirectoryCannotBeMade)
{
    WriteWholeFile(dir.file("plainfile"), "x");
    ASSERT_TRUE(InitLogDefaults());
    ASSERT_TRUE(SetLogConfig("a.log", dir.file("plainfile/sub").c_str(), 3));
    EXPECT_FALSE(OpenLogFile());
    EXPECT_EQ(gv_logFilePtr, nullptr);
    LogInfo("goes nowhere\n"); // and does not crash
}

TEST_F(LoggerTest, WritersOutsideTheOpenStateWriteNothingAndDoNotBlock)
{
    // Before any configuration.
    LogInfo("before init\n");
    LogTrace("before init\n");

    // Configured but closed.
    ASSERT_TRUE(InitLogDefaults());
    ASSERT_TRUE(SetLogConfig("test.log", dir.path().c_str(), 4));
    LogError("while closed\n");

    // An open stream but no lock key (after FreeLogConfig): silent.
    FILE* stream = fopen(dir.file("adopted.log").c_str(), "w");
    ASSERT_NE(stream, nullptr);
    FreeLogConfig();
    ASSERT_TRUE(SetLogFilePtr(stream));
    LogInfo("after free\n");
    gv_logFilePtr = nullptr;
    fclose(stream);

    EXPECT_EQ(ReadWholeFile(dir.file("adopted.log")), "");
    EXPECT_FALSE(std::filesystem::exists(dir.file("test.log")));
}

TEST_F(LoggerTest, InitDefaultsWhileOpenOnlyResetsTheLevel)
{
    Open(1);
    std::string pathBefore = gv_logConfig.fullPath;
    ASSERT_TRUE(InitLogDefaults());
    EXPECT_EQ(gv_logConfig.level, 3);
    EXPECT_STREQ(gv_logConfig.fileName, "test.log");
    EXPECT_EQ(pathBefore, gv_logConfig.fullPath);
    EXPECT_TRUE(OpenLogFileAppend()); // finds the log open
    LogDebug("library line\n");
    CloseLogFile();
    EXPECT_NE(Contents().find("library line"), std::string::npos);
}

TEST_F(LoggerTest, SettersRefuseNullAndAdoptedStreamIsTheLog)
{
    EXPECT_FALSE(SetLogFileName(nullptr));
    EXPECT_FALSE(SetLogDirectory(nullptr));
    EXPECT_FALSE(SetLogFilePtr(nullptr));
    ASSERT_TRUE(InitLogDefaults());
    EXPECT_STREQ(gv_logConfig.fileName, LOG_DEFAULT_FILE_NAME);
    EXPECT_TRUE(SetLogFileName("x.log"));
    EXPECT_TRUE(SetLogDirectory(dir.path().c_str()));
    SetLogLevel(0x104);
    EXPECT_EQ(gv_logConfig.level, 4);

    FILE* stream = fopen(dir.file("adopted.log").c_str(), "w");
    ASSERT_TRUE(SetLogFilePtr(stream));
    LogInfo("adopted %d\n", 7);
    CloseLogFile();
    EXPECT_EQ(ReadWholeFile(dir.file("adopted.log")),
              Prefix("[INFO]") + "adopted 7\n" + Prefix("[INFO]") + "Log close time: 2024-03-05 09:04:07:045\n");
}

TEST(MakeDirectoryTest, TreeCreatesTheChainAndReportsAnExistingOne)
{
    TempDir dir;
    std::string deep = dir.file("a/b/logs");
    EXPECT_EQ(MakeDirectory(deep.c_str()), 2);
    EXPECT_EQ(MakeDirectoryTree(deep.c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_EQ(MakeDirectoryTree(deep.c_str()), 1);
    EXPECT_EQ(MakeDirectory(deep.c_str()), 17);
    EXPECT_EQ(MakeDirectoryTree((dir.file("c//d///")).c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("c/d")));
}

TEST(MakeDirectoryTest, TreeStopsAtAFileOrAPathWithoutParent)
{
    TempDir dir;
    WriteWholeFile(dir.file("file"), "x");
    EXPECT_EQ(MakeDirectoryTree(dir.file("file/x/y").c_str()), 20);
    EXPECT_EQ(MakeDirectoryTree(""), 2);
    EXPECT_EQ(MakeDirectoryTree(nullptr), 2);
}

// Several threads write thousands of lines each; every line must arrive
// whole, well formed, and none may be lost.
TEST_F(LoggerTest, ConcurrentWritersNeverInterleaveOrLoseLines)
{
    PlatSetLocalTimeSource(nullptr);
    Open(3);
    const int kThreads = 4;
    const int kLines = 5000;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; t++) {
        writers.emplace_back([t] {
            for (int i = 0; i < kLines; i++)
                LogInfo(
                    "writer %d line %d of a message long enough to span several buffer fills %s\n", t, i,
                    "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx");
        });
    }
    for (auto& writer : writers)
        writer.join();
    CloseLogFile();

    const std::regex shape(
        R"(\[ \d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} \] \[ \d+ \] \[INFO\] writer (\d) line (\d+) of a message long enough to span several buffer fills x{93})");
    std::vector<std::vector<bool>> seen(kThreads, std::vector<bool>(kLines, false));
    std::vector<std::string> lines = SplitLines(Contents());
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines + 2));
    for (size_t n = 1; n + 1 < lines.size(); n++) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[n], match, shape)) << "line " << n << ": " << lines[n];
        int t = std::stoi(match[1]);
        int i = std::stoi(match[2]);
        ASSERT_FALSE(seen[t][i]) << "duplicate line " << lines[n];
        seen[t][i] = true;
    }
}

// Closing the log while another thread keeps writing must neither crash
// nor write into the closed stream.
TEST_F(LoggerTest, CloseWhileAnotherThreadWritesIsSafe)
{
    Open(3);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        while (!stop.load())
            LogInfo("still writing\n");
    });
    usleep(2000);
    CloseLogFile();
    stop = true;
    writer.join();
    std::vector<std::string> lines = SplitLines(Contents());
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("Log close time"), std::string::npos);
}

} // namespace
