#include "runtime/file_util.h"

#include "platform/file_status.h"
#include "runtime/log.h"

int IsDirectory(const char* path)
{
    LogTrace("\n\t@@@@@ Inside IsDirectory() @@@@@\n");
    return PlatIsDirectory(path);
}
