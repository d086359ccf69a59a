/*
 * The Windows message table, as far as this system meets it. The texts are
 * those Windows prints for an English neutral language; FormatMessage with a
 * maximum line width turns each text's closing line break into one blank,
 * which is appended here in the same way.
 */
#include "platform/messages.h"

#include <stdlib.h>
#include <string.h>

#include "platform/error.h"

namespace {

struct SystemText {
    uint32_t code;
    const char* text;
};

/* Sorted by code. */
const SystemText kSystemTexts[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough storage is available to process this command."},
    {13, "The data is invalid."},
    {14, "Not enough storage is available to complete this operation."},
    {18, "There are no more files."},
    {19, "The media is write protected."},
    {32, "The process cannot access the file because it is being used by another process."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {120, "This function is not supported on this system."},
    {122, "The data area passed to a system call is too small."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {145, "The directory is not empty."},
    {161, "The specified path is invalid."},
    {183, "Cannot create a file when that file already exists."},
    {193, "%1 is not a valid Win32 application."},
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {258, "The wait operation timed out."},
    {259, "No more data is available."},
    {267, "The directory name is invalid."},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2."},
    {995, "The I/O operation has been aborted because of either a thread exit or an application request."},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page."},
    {1223, "The operation was canceled by the user."},
    {1359, "An internal error occurred."},
    {1460, "This operation returned because the timeout period expired."},
    {1603, "Fatal error during installation."},
    {1618,
     "Another installation is already in progress. Complete that installation before proceeding with this "
     "install."},
    {1641,
     "The requested operation completed successfully. The system will be restarted so the changes can take "
     "effect."},
    {3010, "The requested operation is successful. Changes will not be effective until the system is rebooted."},
};

const char* FindSystemText(uint32_t code)
{
    size_t low = 0, high = sizeof kSystemTexts / sizeof kSystemTexts[0];
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (kSystemTexts[middle].code == code)
            return kSystemTexts[middle].text;
        if (kSystemTexts[middle].code < code)
            low = middle + 1;
        else
            high = middle;
    }
    return nullptr;
}

} // namespace

int PlatGetSystemMessage(uint32_t code, int encoding, char** text, uint32_t* error)
{
    (void)encoding; /* the texts are ASCII: the same bytes in both encodings */
    if (error)
        *error = 0;
    if (!text)
        return PLAT_MESSAGE_NONE;
    *text = nullptr;
    const char* found = FindSystemText(code);
    if (!found)
        return PLAT_MESSAGE_NONE;
    size_t length = strlen(found);
    char* copy = static_cast<char*>(malloc(length + 2));
    if (!copy) {
        if (error)
            *error = PLAT_ERROR_NOT_ENOUGH_MEMORY;
        return PLAT_MESSAGE_UNCONVERTED;
    }
    memcpy(copy, found, length);
    copy[length] = ' ';
    copy[length + 1] = '\0';
    *text = copy;
    return PLAT_MESSAGE_FOUND;
}

void PlatTrimBlanks(char* text)
{
    if (!text)
        return;
    size_t start = 0;
    while (text[start] == ' ')
        ++start;
    size_t end = strlen(text + start) + start;
    while (end > start && text[end - 1] == ' ')
        --end;
    memmove(text, text + start, end - start);
    text[end - start] = '\0';
}
