#include "platform/osinfo.h"

#include <windows.h>

namespace {

typedef BOOL(WINAPI* GetProductInfoFunction)(DWORD, DWORD, DWORD, DWORD, PDWORD);

} // namespace

PlatOsStep PlatGetOsFacts(PlatOsFacts* facts, uint32_t* error)
{
    uint32_t ignored = 0;
    if (!error)
        error = &ignored;
    *error = 0;

    /* Kept loaded: kernel32 stays mapped for the life of any process. */
    HMODULE kernel32 = LoadLibraryA("kernel32.dll");
    if (!kernel32) {
        *error = GetLastError();
        return PLAT_OS_LOAD_KERNEL32;
    }
    /* Looked up at run time: systems before Vista do not have it. */
    GetProductInfoFunction getProductInfo =
        reinterpret_cast<GetProductInfoFunction>(reinterpret_cast<void*>(GetProcAddress(kernel32, "GetProductInfo")));
    if (!getProductInfo)
        return PLAT_OS_FIND_PRODUCT_INFO;

    OSVERSIONINFOEXA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    BOOL gotVersion = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version));
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (!gotVersion) {
        *error = GetLastError();
        return PLAT_OS_VERSION;
    }

    DWORD edition = 0;
    if (!getProductInfo(version.dwMajorVersion, version.dwMinorVersion, version.wServicePackMajor,
                        version.wServicePackMinor, &edition)) {
        *error = GetLastError();
        return PLAT_OS_PRODUCT_INFO;
    }

    SYSTEM_INFO system;
    ZeroMemory(&system, sizeof system);
    GetNativeSystemInfo(&system);

    if (facts) {
        facts->majorVersion = version.dwMajorVersion;
        facts->minorVersion = version.dwMinorVersion;
        facts->buildNumber = version.dwBuildNumber;
        facts->servicePackMajor = version.wServicePackMajor;
        facts->servicePackMinor = version.wServicePackMinor;
        facts->productType = version.wProductType;
        facts->edition = edition;
        facts->processorArchitecture = system.wProcessorArchitecture;
    }
    return PLAT_OS_OK;
}
