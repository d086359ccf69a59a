#include "platform/error.h"

#include <errno.h>

/* Codes that no errno expresses (18 no more files, 258 wait time-out) are
 * kept per thread; errno then holds a value that no C library call sets, so
 * a later failing call, which sets errno, supersedes the stored code. */
static const int kStoredCodeErrno = 0x5457; /* no errno is this large */
static thread_local uint32_t t_storedCode;

void PlatSetLastError(uint32_t code)
{
    t_storedCode = code;
    errno = kStoredCodeErrno;
}

uint32_t PlatGetLastError(void)
{
    if (errno == kStoredCodeErrno)
        return t_storedCode;
    return PlatErrorFromErrno(errno);
}
