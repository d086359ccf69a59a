#include "platform/registry.h"

#include <windows.h>

namespace {

/* The platform's names for the root keys are fixed 32-bit numbers; Windows'
 * own are sign-extended on 64-bit systems, so they are translated. */
HKEY ToSystemKey(PlatHKey key)
{
    switch (reinterpret_cast<uintptr_t>(key)) {
    case 0x80000000u:
        return HKEY_CLASSES_ROOT;
    case 0x80000001u:
        return HKEY_CURRENT_USER;
    case 0x80000002u:
        return HKEY_LOCAL_MACHINE;
    case 0x80000003u:
        return HKEY_USERS;
    case 0x80000005u:
        return HKEY_CURRENT_CONFIG;
    default:
        return reinterpret_cast<HKEY>(key);
    }
}

bool IsPredefined(PlatHKey key) { return ToSystemKey(key) != reinterpret_cast<HKEY>(key); }

} // namespace

uint32_t PlatRegOpenKey(PlatHKey root, const char* subKey, PlatHKey* key)
{
    if (!key)
        return ERROR_INVALID_PARAMETER;
    *key = nullptr;
    if (!root)
        return ERROR_INVALID_HANDLE;
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExA(ToSystemKey(root), subKey, 0, KEY_QUERY_VALUE, &opened);
    if (result == ERROR_SUCCESS)
        *key = reinterpret_cast<PlatHKey>(opened);
    return static_cast<uint32_t>(result);
}

uint32_t PlatRegQueryValue(PlatHKey key, const char* name, uint32_t* type, void* data, uint32_t* size)
{
    if (!key)
        return ERROR_INVALID_HANDLE;
    DWORD systemType = 0;
    DWORD systemSize = size ? *size : 0;
    LONG result = RegQueryValueExA(ToSystemKey(key), name, nullptr, &systemType, static_cast<BYTE*>(data),
                                   size ? &systemSize : nullptr);
    if (type && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA))
        *type = systemType;
    if (size && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA))
        *size = systemSize;
    return static_cast<uint32_t>(result);
}

uint32_t PlatRegCloseKey(PlatHKey key)
{
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (IsPredefined(key))
        return ERROR_SUCCESS;
    return static_cast<uint32_t>(RegCloseKey(reinterpret_cast<HKEY>(key)));
}

const char* PlatRegFileProblem(void) { return nullptr; }
