/* Result codes to texts: the system's message table first, then the
 * installer codes this program knows. */
#include "runtime/messages.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/messages.h"
#include "runtime/log.h"

namespace {

struct KnownText {
    uint32_t code;
    const char* text;
};

/* Codes of installers and of the agent's own scripts that the system has no
 * text for. Sorted by code. */
const KnownText kKnownTexts[] = {
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
     "OfficeUpdateError: You do not have sufficient privileges to complete this installation for all users "
     "of the machine. Log on as administrator and then retry this installation."},
    {17044, "OfficeUpdateError: Installer was unable to run detection for this package."},
    {17048, "OfficeUpdateError : This installation requires Windows Installer 3.1 or greater."},
    {17301, "OfficeUpdateError: General Detection error"},
    {17302, "OfficeUpdateError: Applying patch."},
    {17303, "OfficeUpdateError: Extracting file."},
    {20001, "Patch update delayed since application is used by another process"},
    {0x240006, "Patch already Installed and the changes will not be effective until the system is rebooted."},
    {0x240007, "Patch already Uninstalled and the changes will not be effective until the system is rebooted."},
};

/* Size of the buffer that receives a text from the program's table. */
const size_t kKnownTextBuffer = 4096;

/* Room for "Unknown Error. Code : -2147483648". */
thread_local char t_unknownText[48];

/* The code's log line: info for success, error for everything else. */
void LogResultLine(uint32_t code, const char* text)
{
    if (code == 0)
        LogInfo("Message : %s \n", text);
    else
        LogError("Error Code : %d , Error Message : %s \n", static_cast<int>(code), text);
}

/* The program's text copied into a zero-filled buffer of kKnownTextBuffer
 * bytes; null when it cannot be allocated. */
char* CopyKnownText(uint32_t code)
{
    char* buffer = static_cast<char*>(calloc(kKnownTextBuffer, 1));
    if (buffer)
        snprintf(buffer, kKnownTextBuffer, "%s", GetKnownErrorText(code));
    return buffer;
}

} // namespace

const char* GetKnownErrorText(uint32_t code)
{
    size_t low = 0, high = sizeof kKnownTexts / sizeof kKnownTexts[0];
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (kKnownTexts[middle].code == code)
            return kKnownTexts[middle].text;
        if (kKnownTexts[middle].code < code)
            low = middle + 1;
        else
            high = middle;
    }
    snprintf(t_unknownText, sizeof t_unknownText, "Unknown Error. Code : %d", static_cast<int>(code));
    return t_unknownText;
}

char* GetErrorMessage(uint32_t code)
{
    char* system = nullptr;
    uint32_t conversionError = 0;
    char* text;
    switch (PlatGetSystemMessage(code, PLAT_TEXT_UTF8, &system, &conversionError)) {
    case PLAT_MESSAGE_FOUND:
        text = system;
        break;
    case PLAT_MESSAGE_UNCONVERTED: {
        /* The system has a text we could not convert: say why, and go on
         * with an empty message. */
        char* reason = nullptr;
        PlatGetSystemMessage(conversionError, PLAT_TEXT_ANSI, &reason, nullptr);
        LogError(" Error Message: %s\n", reason ? reason : "");
        free(reason);
        text = static_cast<char*>(calloc(1, 1));
        break;
    }
    default:
        text = CopyKnownText(code);
        break;
    }
    /* Out of memory: the line is still worth writing. */
    LogResultLine(code, text ? text : GetKnownErrorText(code));
    return text;
}

void LogErrorMessage(uint32_t code) { free(GetErrorMessage(code)); }

int LogErrorMessageTrimmed(uint32_t code)
{
    char* system = nullptr;
    char* text = nullptr;
    if (PlatGetSystemMessage(code, PLAT_TEXT_ANSI, &system, nullptr) == PLAT_MESSAGE_FOUND) {
        /* Two bytes of room, as the text's own buffer would have. */
        size_t length = strlen(system);
        text = static_cast<char*>(calloc(length + 2, 1));
        if (text) {
            memcpy(text, system, length);
            PlatTrimBlanks(text);
        }
        free(system);
    } else {
        text = CopyKnownText(code);
    }
    LogResultLine(code, text ? text : GetKnownErrorText(code));
    free(text);
    return 0;
}
