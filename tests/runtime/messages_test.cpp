#include <gtest/gtest.h>

#include <atomic>
#include <stdlib.h>
#include <string>
#include <thread>

#include "log_capture.h"
#include "runtime/messages.h"

namespace {

using Lines = std::vector<std::string>;

TEST(KnownErrorText, EveryTableEntryAndTheFallThrough)
{
    const struct {
        uint32_t code;
        const char* text;
    } table[] = {
        {1508, "The requested operation is successful. Changes will not be effective until the browser is rebooted."},
        {10001, "tw.db.agent.config.script.powerscript_notfound"},
        {10002, "tw.db.agent.config.run_as_admin.credentials_not_available"},
        {10003, "tw.db.agent.config.returned_zero_failure"},
        {17021, "OfficeUpdateError: Creating temp folder."},
        {17023, "OfficeUpdateError: User cancelled installation."},
        {17024, "OfficeUpdateError: Creating folder failed."},
        {17025, "OfficeUpdateError: Patch already installed."},
        {17026, "OfficeUpdateError: Patch already installed to admin installation."},
        {17027, "OfficeUpdateError: Installation source requires full file update."},
        {17028, "OfficeUpdateError: No product installed for contained patch."},
        {17029, "OfficeUpdateError: Patch failed to install."},
        {17030, "OfficeUpdateError: Invalid CIF format."},
        {17031, "OfficeUpdateError: Invalid baseline."},
        {17034, "OfficeUpdateError: Required patch does not apply to the machine."},
        {17038,
         "OfficeUpdateError: You do not have sufficient privileges to complete this installation for all "
         "users of the machine. Log on as administrator and then retry this installation."},
        {17044, "OfficeUpdateError: Installer was unable to run detection for this package."},
        {17048, "OfficeUpdateError : This installation requires Windows Installer 3.1 or greater."},
        {17301, "OfficeUpdateError: General Detection error"},
        {17302, "OfficeUpdateError: Applying patch."},
        {17303, "OfficeUpdateError: Extracting file."},
        {20001, "Patch update delayed since application is used by another process"},
        {2359302, "Patch already Installed and the changes will not be effective until the system is rebooted."},
        {2359303, "Patch already Uninstalled and the changes will not be effective until the system is rebooted."},
    };
    for (const auto& entry : table)
        EXPECT_STREQ(GetKnownErrorText(entry.code), entry.text) << entry.code;

    // Neighbours of entries, and the extremes.
    EXPECT_STREQ(GetKnownErrorText(17032), "Unknown Error. Code : 17032");
    EXPECT_STREQ(GetKnownErrorText(17022), "Unknown Error. Code : 17022");
    EXPECT_STREQ(GetKnownErrorText(0), "Unknown Error. Code : 0");
    EXPECT_STREQ(GetKnownErrorText(0x80070005u), "Unknown Error. Code : -2147024891");
    EXPECT_STREQ(GetKnownErrorText(0x80000000u), "Unknown Error. Code : -2147483648");
    EXPECT_STREQ(GetKnownErrorText(0xFFFFFFFFu), "Unknown Error. Code : -1");
}

// The main thread and the log-rotation thread both turn codes into texts:
// the unknown-code text of one must never show the other's number.
TEST(KnownErrorText, UnknownTextsOfTwoThreadsStayApart)
{
    std::atomic<int> ready{0};
    auto run = [&ready](uint32_t code, int* mismatches) {
        std::string expected = "Unknown Error. Code : " + std::to_string(code);
        ++ready;
        while (ready.load() < 2) { }
        for (int i = 0; i < 200000; ++i) {
            const char* text = GetKnownErrorText(code);
            if (expected != text)
                ++*mismatches;
        }
    };
    int first = 0, second = 0;
    std::thread other(run, 11111u, &second);
    run(22222u, &first);
    other.join();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
}

TEST(ErrorMessage, SuccessIsLoggedAtInfoWithTheSystemText)
{
    LogCapture log;
    char* text = GetErrorMessage(0);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "The operation completed successfully. ");
    free(text);
    EXPECT_EQ(log.Lines(), Lines{"[INFO] Message : The operation completed successfully.  "});
}

TEST(ErrorMessage, SystemTextWinsAndEveryOtherCodeLogsAtError)
{
    LogCapture log;
    char* known = GetErrorMessage(2);
    char* restart = GetErrorMessage(3010);
    char* installer = GetErrorMessage(2359302);
    char* unknown = GetErrorMessage(0xC0000005u);
    EXPECT_STREQ(known, "The system cannot find the file specified. ");
    EXPECT_STREQ(installer,
                 "Patch already Installed and the changes will not be effective until the system is rebooted.");
    EXPECT_STREQ(unknown, "Unknown Error. Code : -1073741819");
    free(known);
    free(restart);
    free(installer);
    free(unknown);
    EXPECT_EQ(log.Lines(),
              (Lines{"[ERROR] Error Code : 2 , Error Message : The system cannot find the file specified.  ",
                     "[ERROR] Error Code : 3010 , Error Message : The requested operation is successful. Changes will "
                     "not be effective until the system is rebooted.  ",
                     "[ERROR] Error Code : 2359302 , Error Message : Patch already Installed and the changes will not "
                     "be effective until the system is rebooted. ",
                     "[ERROR] Error Code : -1073741819 , Error Message : Unknown Error. Code : -1073741819 "}));
}

TEST(ErrorMessage, LogVariantsWriteTheSameLineTrimmedOrNot)
{
    LogCapture log;
    LogErrorMessage(5);
    EXPECT_EQ(LogErrorMessageTrimmed(5), 0);
    EXPECT_EQ(LogErrorMessageTrimmed(0), 0);
    EXPECT_EQ(LogErrorMessageTrimmed(17032), 0);
    EXPECT_EQ(log.Lines(),
              (Lines{"[ERROR] Error Code : 5 , Error Message : Access is denied.  ",
                     "[ERROR] Error Code : 5 , Error Message : Access is denied. ",
                     "[INFO] Message : The operation completed successfully. ",
                     "[ERROR] Error Code : 17032 , Error Message : Unknown Error. Code : 17032 "}));
}

TEST(ErrorMessage, WithoutALogTheTextIsStillReturned)
{
    char* text = GetErrorMessage(17025);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "OfficeUpdateError: Patch already installed.");
    free(text);
}

} // namespace
