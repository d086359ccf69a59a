#include "platform/file_status.h"

#include <sys/stat.h>

int PlatIsDirectory(const char* path)
{
    struct stat status;
    if (!path || stat(path, &status) != 0)
        return 0;
    return S_ISDIR(status.st_mode) ? 1 : 0;
}
