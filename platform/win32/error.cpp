#include "platform/error.h"

#include <windows.h>

uint32_t PlatGetLastError(void) { return GetLastError(); }
void PlatSetLastError(uint32_t code) { SetLastError(code); }
