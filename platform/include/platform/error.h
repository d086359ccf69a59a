/* Windows system error codes: the one currency of failures on both halves.
 * The POSIX half translates errno into the code Windows reports for the
 * same situation. */
#ifndef PLATFORM_ERROR_H
#define PLATFORM_ERROR_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The codes this system names in its own logic. */
enum {
    PLAT_ERROR_SUCCESS = 0,
    PLAT_ERROR_FILE_NOT_FOUND = 2,
    PLAT_ERROR_PATH_NOT_FOUND = 3,
    PLAT_ERROR_ACCESS_DENIED = 5,
    PLAT_ERROR_INVALID_HANDLE = 6,
    PLAT_ERROR_NOT_ENOUGH_MEMORY = 8,
    PLAT_ERROR_INVALID_DATA = 13,
    PLAT_ERROR_NO_MORE_FILES = 18,
    PLAT_ERROR_SHARING_VIOLATION = 32,
    PLAT_ERROR_INVALID_PARAMETER = 87,
    PLAT_ERROR_INSUFFICIENT_BUFFER = 122,
    PLAT_ERROR_MOD_NOT_FOUND = 126,
    PLAT_ERROR_PROC_NOT_FOUND = 127,
    PLAT_ERROR_BAD_PATHNAME = 161,
    PLAT_ERROR_ALREADY_EXISTS = 183,
    PLAT_ERROR_BAD_EXE_FORMAT = 193,
    PLAT_ERROR_DIRECTORY = 267, /* the directory name is invalid */
    PLAT_ERROR_MORE_DATA = 234,
    PLAT_ERROR_WAIT_TIMEOUT = 258,
    PLAT_ERROR_MR_MID_NOT_FOUND = 317,
    PLAT_ERROR_NO_UNICODE_TRANSLATION = 1113,
    PLAT_ERROR_INTERNAL_ERROR = 1359
};

/* The code of the calling thread's last failed system call: GetLastError()
 * on Windows, errno translated by PlatErrorFromErrno on POSIX. */
uint32_t PlatGetLastError(void);

/* Sets the calling thread's last error, as SetLastError does; the next
 * failing system call replaces it. */
void PlatSetLastError(uint32_t code);

/* The Windows code for a C library errno value; codes without a closer
 * counterpart become PLAT_ERROR_INTERNAL_ERROR. 0 stays 0. */
uint32_t PlatErrorFromErrno(int errnum);

#ifdef __cplusplus
}
#endif
#endif
