#include "platform/error.h"

#include <errno.h>

uint32_t PlatGetLastError(void) { return PlatErrorFromErrno(errno); }
