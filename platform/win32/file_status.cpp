#include "platform/file_status.h"

#include <windows.h>

int PlatIsDirectory(const char* path)
{
    if (!path)
        return 0;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}
