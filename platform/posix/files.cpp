#include "platform/files.h"

#include <errno.h>
#include <sys/stat.h>

/* Linux errno numbers are the numbers the callers expect (2, 13, 17, 20),
 * so they pass through unchanged. */
int PlatMakeDirectory(const char* path)
{
    if (!path || !*path)
        return PLAT_ENOENT;
    return mkdir(path, 0777) == 0 ? 0 : errno;
}

FILE* PlatOpenFile(const char* path, const char* mode)
{
    if (!path || !mode)
        return nullptr;
    return fopen(path, mode);
}
