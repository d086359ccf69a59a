/* What a path names on the file system. */
#ifndef PLATFORM_FILE_STATUS_H
#define PLATFORM_FILE_STATUS_H

#ifdef __cplusplus
extern "C" {
#endif

/* True when `path` exists and is a directory; false when it is anything else,
 * does not exist or cannot be queried. */
int PlatIsDirectory(const char* path);

#ifdef __cplusplus
}
#endif
#endif
