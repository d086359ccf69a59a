#include "platform/files.h"

#include <share.h>
#include <windows.h>

/* Maps the system error of a failed CreateDirectoryA to the errno number
 * that the C library would report for it. */
static int ErrnoFromSystemError(DWORD error)
{
    switch (error) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return PLAT_EEXIST;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return PLAT_ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return PLAT_EACCES;
    case ERROR_DIRECTORY:
        return PLAT_ENOTDIR;
    default:
        return PLAT_EACCES;
    }
}

int PlatMakeDirectory(const char* path)
{
    if (!path || !*path)
        return PLAT_ENOENT;
    return CreateDirectoryA(path, nullptr) ? 0 : ErrnoFromSystemError(GetLastError());
}

FILE* PlatOpenFile(const char* path, const char* mode)
{
    if (!path || !mode)
        return nullptr;
    /* Shared for reading and writing, so that log rotation and people with an
     * editor can look at a file the agent keeps open. */
    return _fsopen(path, mode, _SH_DENYNO);
}
