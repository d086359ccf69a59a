/* The two generic registry readers every agent component uses. */
#include "runtime/registry.h"

#include <stdlib.h>

#include "platform/error.h"
#include "runtime/log.h"

namespace {

/* Extra zero bytes after a string value: they terminate it even when it was
 * stored without its terminator (and for a wide terminator as well). */
const uint32_t kTerminatorRoom = 5;

const char* Printable(const char* text) { return text ? text : "(null)"; }

} // namespace

uint32_t ReadDwordRegistryData(PlatHKey root, const char* path, const char* name, uint32_t* out)
{
    if (!out)
        return PLAT_ERROR_INVALID_PARAMETER;
    PlatHKey key = nullptr;
    uint32_t result = PlatRegOpenKey(root, path, &key);
    if (result == PLAT_ERROR_FILE_NOT_FOUND) {
        /* The message names the value although the key is what is missing:
         * for the caller both mean "not configured". */
        LogDebug("ReadDwordRegistryData:  value  %s Not found: %d \n", Printable(name), PLAT_ERROR_FILE_NOT_FOUND);
        return result;
    }
    if (result != PLAT_ERROR_SUCCESS) {
        LogError("ReadDwordRegistryData: Error while opening registry key %s,and the errorcode is : %d \n",
                 Printable(path), static_cast<int>(result));
        return result;
    }
    uint32_t size = sizeof *out;
    result = PlatRegQueryValue(key, name, nullptr, out, &size);
    if (result == PLAT_ERROR_FILE_NOT_FOUND)
        LogDebug("ReadDwordRegistryData:  value  %s Not found: %d \n", Printable(name), PLAT_ERROR_FILE_NOT_FOUND);
    else if (result != PLAT_ERROR_SUCCESS)
        LogError("ReadDwordRegistryData: Error while reading DWORD value of %s : %d \n", Printable(name),
                 static_cast<int>(result));
    PlatRegCloseKey(key);
    return result;
}

uint32_t ReadRegSZ(PlatHKey root, const char* path, const char* name, char** out)
{
    if (!out)
        return PLAT_ERROR_INVALID_PARAMETER;
    *out = nullptr;
    PlatHKey key = nullptr;
    uint32_t result = PlatRegOpenKey(root, path, &key);
    if (result != PLAT_ERROR_SUCCESS) {
        LogError("ReadRegSZ: Error while opening registry key %s ,and the error is  %d \n", Printable(path),
                 static_cast<int>(result));
        return result;
    }
    uint32_t size = 0;
    result = PlatRegQueryValue(key, name, nullptr, nullptr, &size);
    if (result != PLAT_ERROR_SUCCESS) {
        PlatRegCloseKey(key);
        return result;
    }
    /* A value close to 4 GB cannot take its terminator room. */
    if (size > UINT32_MAX - kTerminatorRoom || static_cast<uint64_t>(size) + kTerminatorRoom > SIZE_MAX) {
        PlatRegCloseKey(key);
        LogError("ReadRegSZ: Error while reading DWORD value! %d \n", PLAT_ERROR_NOT_ENOUGH_MEMORY);
        return PLAT_ERROR_NOT_ENOUGH_MEMORY;
    }
    char* buffer = static_cast<char*>(calloc(static_cast<size_t>(size) + kTerminatorRoom, 1));
    if (!buffer) {
        PlatRegCloseKey(key);
        LogError("ReadRegSZ: Error while reading DWORD value! %d \n", PLAT_ERROR_NOT_ENOUGH_MEMORY);
        return PLAT_ERROR_NOT_ENOUGH_MEMORY;
    }
    *out = buffer;
    /* Only the reported size is offered, so the terminator room stays zero
     * even if the value grew in between (the read then fails with 234). */
    result = PlatRegQueryValue(key, name, nullptr, buffer, &size);
    if (result != PLAT_ERROR_SUCCESS)
        LogError("ReadRegSZ: Error while reading DWORD value! %d \n", static_cast<int>(result));
    PlatRegCloseKey(key);
    return result;
}
