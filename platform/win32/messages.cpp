#include "platform/messages.h"

#include <shlwapi.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

namespace {

const DWORD kMessageFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
    FORMAT_MESSAGE_ALLOCATE_BUFFER | (FORMAT_MESSAGE_MAX_WIDTH_MASK & 0xFF);
const DWORD kNeutralLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT); /* 0x0400 */

int AnsiMessage(DWORD code, char** text, uint32_t* error)
{
    char* system = nullptr;
    DWORD length =
        FormatMessageA(kMessageFlags, nullptr, code, kNeutralLanguage, reinterpret_cast<LPSTR>(&system), 0, nullptr);
    if (length == 0 || !system)
        return PLAT_MESSAGE_NONE;
    char* copy = static_cast<char*>(malloc(static_cast<size_t>(length) + 1));
    if (!copy) {
        LocalFree(system);
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return PLAT_MESSAGE_UNCONVERTED;
    }
    memcpy(copy, system, length);
    copy[length] = '\0';
    LocalFree(system);
    *text = copy;
    return PLAT_MESSAGE_FOUND;
}

int Utf8Message(DWORD code, char** text, uint32_t* error)
{
    wchar_t* system = nullptr;
    DWORD length =
        FormatMessageW(kMessageFlags, nullptr, code, kNeutralLanguage, reinterpret_cast<LPWSTR>(&system), 0, nullptr);
    if (length == 0 || !system)
        return PLAT_MESSAGE_NONE;
    int result = PLAT_MESSAGE_UNCONVERTED;
    int size = WideCharToMultiByte(CP_UTF8, 0, system, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        *error = GetLastError();
    } else if (char* copy = static_cast<char*>(calloc(static_cast<size_t>(size) + 1, 1))) {
        if (WideCharToMultiByte(CP_UTF8, 0, system, static_cast<int>(length), copy, size, nullptr, nullptr) > 0) {
            *text = copy;
            result = PLAT_MESSAGE_FOUND;
        } else {
            *error = GetLastError();
            free(copy);
        }
    } else {
        *error = ERROR_NOT_ENOUGH_MEMORY;
    }
    LocalFree(system);
    return result;
}

} // namespace

int PlatGetSystemMessage(uint32_t code, int encoding, char** text, uint32_t* error)
{
    uint32_t ignored = 0;
    if (!error)
        error = &ignored;
    *error = 0;
    if (!text)
        return PLAT_MESSAGE_NONE;
    *text = nullptr;
    return encoding == PLAT_TEXT_ANSI ? AnsiMessage(code, text, error) : Utf8Message(code, text, error);
}

void PlatTrimBlanks(char* text)
{
    if (text)
        StrTrimA(text, " ");
}
