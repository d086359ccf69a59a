#include <gtest/gtest.h>

#include <set>
#include <stdio.h>
#include <string>
#include <sys/stat.h>

#include "platform/error.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace {

TEST(FileHandleTest, ShareModesKeepExclusiveAndSharedOpensApart)
{
    TempDir dir;
    std::string log = dir.file("agent.log");
    WriteWholeFile(log, "0123456789");

    // A log stream open: an exclusive open is refused, a shared one is not.
    FILE* stream = PlatOpenFile(log.c_str(), "a+");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(PlatOpenFileHandle(log.c_str(), PLAT_FILE_READ | PLAT_FILE_WRITE, PLAT_SHARE_NONE, PLAT_OPEN_EXISTING),
              nullptr);
    EXPECT_EQ(PlatGetLastError(), 32u);
    PlatFile* shared = PlatOpenFileHandle(log.c_str(), PLAT_FILE_READ | PLAT_FILE_WRITE,
                                          PLAT_SHARE_READ | PLAT_SHARE_WRITE | PLAT_SHARE_DELETE, PLAT_OPEN_EXISTING);
    EXPECT_NE(shared, nullptr);
    PlatCloseFileHandle(shared);
    fclose(stream);

    // An exclusive handle keeps data opens out but not a metadata open.
    PlatFile* exclusive =
        PlatOpenFileHandle(log.c_str(), PLAT_FILE_READ | PLAT_FILE_WRITE, PLAT_SHARE_NONE, PLAT_OPEN_EXISTING);
    ASSERT_NE(exclusive, nullptr);
    EXPECT_EQ(PlatOpenFile(log.c_str(), "a+"), nullptr);
    EXPECT_EQ(PlatCopyFile(log.c_str(), dir.file("copy.log").c_str(), 0), 0);
    EXPECT_EQ(PlatGetLastError(), 32u);
    PlatFile* control = PlatOpenFileHandle(log.c_str(), PLAT_FILE_READ_CONTROL, PLAT_SHARE_NONE, PLAT_OPEN_EXISTING);
    ASSERT_NE(control, nullptr);
    uint64_t size = 0;
    EXPECT_TRUE(PlatGetFileSize(control, &size));
    EXPECT_EQ(size, 10u);
    PlatCloseFileHandle(control);
    PlatCloseFileHandle(exclusive);

    EXPECT_TRUE(PlatCopyFile(log.c_str(), dir.file("copy.log").c_str(), 0));
}

TEST(FileHandleTest, RefusedLogOpenLeavesTheFileAlone)
{
    TempDir dir;
    std::string log = dir.file("agent.log");
    WriteWholeFile(log, "0123456789");

    // Held exclusively elsewhere: opening it to be emptied fails and the
    // content stays.
    PlatFile* exclusive =
        PlatOpenFileHandle(log.c_str(), PLAT_FILE_READ | PLAT_FILE_WRITE, PLAT_SHARE_NONE, PLAT_OPEN_EXISTING);
    ASSERT_NE(exclusive, nullptr);
    EXPECT_EQ(PlatOpenFile(log.c_str(), "w"), nullptr);
    EXPECT_EQ(PlatOpenFile(log.c_str(), "w+"), nullptr);
    EXPECT_EQ(ReadWholeFile(log), "0123456789");
    PlatCloseFileHandle(exclusive);

    // Once free, "w" empties it and "w" creates a missing file.
    FILE* stream = PlatOpenFile(log.c_str(), "w");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(ReadWholeFile(log), "");
    fputs("new", stream);
    fclose(stream);
    EXPECT_EQ(ReadWholeFile(log), "new");
    stream = PlatOpenFile(dir.file("fresh.log").c_str(), "w+");
    ASSERT_NE(stream, nullptr);
    fclose(stream);
    EXPECT_EQ(ReadWholeFile(dir.file("fresh.log")), "");
}

TEST(FileHandleTest, MissingFilesAndFoldersAreToldApart)
{
    TempDir dir;
    EXPECT_EQ(PlatOpenFileHandle(dir.file("none.log").c_str(), PLAT_FILE_READ, PLAT_SHARE_READ, PLAT_OPEN_EXISTING),
              nullptr);
    EXPECT_EQ(PlatGetLastError(), 2u);
    EXPECT_EQ(PlatOpenFileHandle(dir.file("no/none.log").c_str(), PLAT_FILE_READ, PLAT_SHARE_READ, PLAT_OPEN_EXISTING),
              nullptr);
    EXPECT_EQ(PlatGetLastError(), 3u);
    EXPECT_EQ(PlatCopyFile(dir.file("none.log").c_str(), dir.file("b.log").c_str(), 0), 0);
    EXPECT_EQ(PlatGetLastError(), 2u);
    EXPECT_EQ(PlatDeleteFile(dir.file("none.log").c_str()), 0);
    EXPECT_EQ(PlatGetLastError(), 2u);
}

TEST(FileHandleTest, TruncateEmptiesInPlaceAndCopyOverwrites)
{
    TempDir dir;
    std::string live = dir.file("live.log");
    std::string backup = dir.file("live1.log");
    WriteWholeFile(live, "new content");
    WriteWholeFile(backup, "an older and longer content");
    EXPECT_EQ(PlatCopyFile(live.c_str(), backup.c_str(), 1), 0);
    EXPECT_EQ(PlatGetLastError(), 80u);
    EXPECT_TRUE(PlatCopyFile(live.c_str(), backup.c_str(), 0));
    EXPECT_EQ(ReadWholeFile(backup), "new content");

    // A writer that keeps its stream open sees the file emptied under it and
    // appends at the new end.
    FILE* writer = PlatOpenFile(live.c_str(), "a+");
    ASSERT_NE(writer, nullptr);
    PlatFile* truncate =
        PlatOpenFileHandle(live.c_str(), PLAT_FILE_READ | PLAT_FILE_WRITE,
                           PLAT_SHARE_READ | PLAT_SHARE_WRITE | PLAT_SHARE_DELETE, PLAT_TRUNCATE_EXISTING);
    ASSERT_NE(truncate, nullptr);
    PlatCloseFileHandle(truncate);
    fputs("after\n", writer);
    fclose(writer);
    EXPECT_EQ(ReadWholeFile(live), "after\n");

    EXPECT_EQ(PlatOpenFileHandle(live.c_str(), PLAT_FILE_READ, PLAT_SHARE_READ, PLAT_TRUNCATE_EXISTING), nullptr);
    EXPECT_EQ(PlatGetLastError(), 87u);
    EXPECT_TRUE(PlatDeleteFile(backup.c_str()));
    struct stat info;
    EXPECT_NE(stat(backup.c_str(), &info), 0);
}

std::set<std::string> FindAll(const std::string& pattern, uint32_t* error)
{
    std::set<std::string> names;
    PlatFindData data;
    PlatFind* find = PlatFindFirstFile(pattern.c_str(), &data);
    if (!find) {
        *error = PlatGetLastError();
        return names;
    }
    do
        names.insert(data.name);
    while (PlatFindNextFile(find, &data));
    *error = PlatGetLastError();
    PlatFindClose(find);
    return names;
}

TEST(FindFileTest, PrefixSearchIgnoresCaseAndCountsFoldersToo)
{
    TempDir dir;
    for (const char* name : {"twprereqhandler.log", "TWPrereqHandler1.log", "twprereqhandler2.log", "twprereq.txt",
                             "other.log", "twprereqhandlerX"})
        WriteWholeFile(dir.file(name), "x");
    mkdir(dir.file("twprereqhandler.d").c_str(), 0755);

    uint32_t error = 0;
    EXPECT_EQ(FindAll(dir.file("twprereqhandler*.*"), &error),
              (std::set<std::string>{"twprereqhandler.log", "TWPrereqHandler1.log", "twprereqhandler2.log",
                                     "twprereqhandlerX", "twprereqhandler.d"}));
    EXPECT_EQ(error, 18u);
    EXPECT_EQ(FindAll(dir.file("twprereqhandler?.log"), &error),
              (std::set<std::string>{"TWPrereqHandler1.log", "twprereqhandler2.log"}));
    EXPECT_EQ(FindAll(dir.file("nothing*.*"), &error), std::set<std::string>{});
    EXPECT_EQ(error, 2u);
    EXPECT_EQ(FindAll(dir.file("missing/x*.*"), &error), std::set<std::string>{});
    EXPECT_EQ(error, 3u);
}

} // namespace
