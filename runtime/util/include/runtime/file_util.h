/* File-system questions of the agent components. */
#ifndef RUNTIME_FILE_UTIL_H
#define RUNTIME_FILE_UTIL_H

#ifdef __cplusplus
extern "C" {
#endif

/* True when the path exists and is a directory; false otherwise, also when
 * the path cannot be queried. */
int IsDirectory(const char* path);

#ifdef __cplusplus
}
#endif
#endif
