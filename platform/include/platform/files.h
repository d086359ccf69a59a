/* Files and directories. Paths are narrow strings in the system's code page. */
#ifndef PLATFORM_FILES_H
#define PLATFORM_FILES_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* errno-style results of PlatMakeDirectory, the same numbers on both halves. */
enum {
    PLAT_ENOENT = 2,  /* a parent directory is missing */
    PLAT_EACCES = 13, /* no permission */
    PLAT_EEXIST = 17, /* the path exists already */
    PLAT_ENOTDIR = 20 /* a component of the path is a file */
};

/* Creates one directory with default security: 0, or an errno number
 * (PLAT_EEXIST, PLAT_ENOENT, ...) that describes the failure. */
int PlatMakeDirectory(const char* path);

/* Opens a buffered stream with a C library mode ("w", "a+", "r", ...). Other
 * processes may read, write and delete the file while it is open. Null on
 * failure. */
FILE* PlatOpenFile(const char* path, const char* mode);

#ifdef __cplusplus
}
#endif
#endif
