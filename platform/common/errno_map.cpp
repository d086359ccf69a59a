/* errno to Windows system error codes. Both halves carry it: the C library
 * reports errno on Windows too (fopen, _wspawn). */
#include "platform/error.h"

#include <errno.h>

uint32_t PlatErrorFromErrno(int errnum)
{
    switch (errnum) {
    case 0:
        return PLAT_ERROR_SUCCESS;
    case ENOENT:
        return PLAT_ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return PLAT_ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return PLAT_ERROR_ACCESS_DENIED;
    case EBADF:
        return PLAT_ERROR_INVALID_HANDLE;
    case ENOMEM:
    case EAGAIN:
        return PLAT_ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
        return 4; /* ERROR_TOO_MANY_OPEN_FILES */
    case EEXIST:
        return PLAT_ERROR_ALREADY_EXISTS;
    case EINVAL:
        return PLAT_ERROR_INVALID_PARAMETER;
    case ENOSPC:
        return 112; /* ERROR_DISK_FULL */
    case EROFS:
        return 19; /* ERROR_WRITE_PROTECT */
    case ENAMETOOLONG:
    case E2BIG:
        return 206; /* ERROR_FILENAME_EXCED_RANGE */
    case ENOTEMPTY:
        return 145; /* ERROR_DIR_NOT_EMPTY */
    case EBUSY:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
        return PLAT_ERROR_SHARING_VIOLATION;
    case ENOEXEC:
        return PLAT_ERROR_BAD_EXE_FORMAT;
    case ENOSYS:
        return 120; /* ERROR_CALL_NOT_IMPLEMENTED */
#ifdef ETIMEDOUT
    case ETIMEDOUT:
        return 1460; /* ERROR_TIMEOUT */
#endif
    case EINTR:
        return 995; /* ERROR_OPERATION_ABORTED */
    default:
        return PLAT_ERROR_INTERNAL_ERROR;
    }
}
