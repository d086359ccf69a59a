#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>
#include <string>

#include "platform/error.h"
#include "platform/messages.h"

namespace {

std::string Message(uint32_t code, int* result)
{
    char* text = nullptr;
    *result = PlatGetSystemMessage(code, PLAT_TEXT_UTF8, &text, nullptr);
    std::string copy = text ? text : "<none>";
    free(text);
    return copy;
}

// The emulated message table gives Windows' words, each text ending in the
// blank that a one-line FormatMessage leaves.
TEST(SystemMessages, WindowsTextsForKnownCodesAndNoneForOthers)
{
    int result;
    EXPECT_EQ(Message(0, &result), "The operation completed successfully. ");
    EXPECT_EQ(result, PLAT_MESSAGE_FOUND);
    EXPECT_EQ(Message(2, &result), "The system cannot find the file specified. ");
    EXPECT_EQ(Message(3010, &result),
              "The requested operation is successful. Changes will not be effective until the system is rebooted. ");
    for (uint32_t code : {1u, 3u, 5u, 6u, 18u, 32u, 87u, 122u, 183u, 234u, 258u, 1223u, 1603u, 1618u, 1641u}) {
        Message(code, &result);
        EXPECT_EQ(result, PLAT_MESSAGE_FOUND) << code;
    }
    for (uint32_t code : {1508u, 17032u, 2359302u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(Message(code, &result), "<none>") << code;
        EXPECT_EQ(result, PLAT_MESSAGE_NONE);
    }
}

TEST(SystemMessages, TrimRemovesBlanksOnly)
{
    char text[] = "  Access is denied. \t ";
    PlatTrimBlanks(text);
    EXPECT_STREQ(text, "Access is denied. \t");
    char blanks[] = "   ";
    PlatTrimBlanks(blanks);
    EXPECT_STREQ(blanks, "");
    PlatTrimBlanks(nullptr);
}

TEST(SystemMessages, ErrnoBecomesTheWindowsCode)
{
    EXPECT_EQ(PlatErrorFromErrno(0), 0u);
    EXPECT_EQ(PlatErrorFromErrno(ENOENT), 2u);
    EXPECT_EQ(PlatErrorFromErrno(ENOTDIR), 3u);
    EXPECT_EQ(PlatErrorFromErrno(EACCES), 5u);
    EXPECT_EQ(PlatErrorFromErrno(ENOMEM), 8u);
    EXPECT_EQ(PlatErrorFromErrno(EINVAL), 87u);
    EXPECT_EQ(PlatErrorFromErrno(EEXIST), 183u);
    EXPECT_EQ(PlatErrorFromErrno(ENOEXEC), 193u);
    EXPECT_EQ(PlatErrorFromErrno(EDOM), 1359u);
    // Every mapped code has a text, so a mapped failure never logs as unknown.
    for (int errnum = 1; errnum < 134; ++errnum) {
        char* text = nullptr;
        EXPECT_EQ(PlatGetSystemMessage(PlatErrorFromErrno(errnum), PLAT_TEXT_ANSI, &text, nullptr), PLAT_MESSAGE_FOUND)
            << errnum;
        free(text);
    }
}

} // namespace
