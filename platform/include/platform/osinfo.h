/*
 * The operating system's version facts, read in the steps Windows offers
 * them: kernel32.dll is loaded, GetProductInfo is looked up in it at run time
 * (older systems lack it), the extended version record is queried, the
 * edition is asked for with the version and service-pack level, and the
 * native processor architecture is read.
 *
 * The POSIX half emulates a Windows machine from the registry of
 * platform/registry.h, at the places where Windows keeps these facts:
 *
 *   HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion
 *     CurrentVersion "6.1" (or the numbers CurrentMajorVersionNumber and
 *     CurrentMinorVersionNumber, which take precedence), CurrentBuildNumber,
 *     CSDVersion "Service Pack 1", EditionID "Professional"
 *   HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions
 *     ProductType "WinNT" (workstation), "LanmanNT" (domain controller),
 *     "ServerNT" (server)
 *
 * and the architecture from uname. Each step can fail, as on Windows:
 *   - no readable registry file: no system to load kernel32 from (126);
 *   - a version below 6: GetProductInfo does not exist (127);
 *   - CurrentVersion or ProductType missing or unreadable: the version query
 *     fails (2 when missing, 13 when malformed): a machine without them is
 *     no Windows;
 *   - EditionID missing: the edition query fails (2). An EditionID that is
 *     not known gives edition 0 (undefined), as Windows does.
 */
#ifndef PLATFORM_OSINFO_H
#define PLATFORM_OSINFO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The step that failed; 0 when all facts were read. */
typedef enum PlatOsStep {
    PLAT_OS_OK = 0,
    PLAT_OS_LOAD_KERNEL32 = 1,     /* LoadLibraryA("kernel32.dll") */
    PLAT_OS_FIND_PRODUCT_INFO = 2, /* GetProcAddress(..., "GetProductInfo"); no error code */
    PLAT_OS_VERSION = 3,           /* GetVersionExA */
    PLAT_OS_PRODUCT_INFO = 4       /* GetProductInfo returned false */
} PlatOsStep;

typedef struct PlatOsFacts {
    uint32_t majorVersion;
    uint32_t minorVersion;
    uint32_t buildNumber;
    uint16_t servicePackMajor;
    uint16_t servicePackMinor;
    uint16_t productType;           /* 1 workstation, 2 domain controller, 3 server */
    uint32_t edition;               /* a PRODUCT_* number of GetProductInfo */
    uint16_t processorArchitecture; /* a PROCESSOR_ARCHITECTURE_* number */
} PlatOsFacts;

/* Product types. */
#define PLAT_VER_NT_WORKSTATION 1
#define PLAT_VER_NT_DOMAIN_CONTROLLER 2
#define PLAT_VER_NT_SERVER 3

/* Processor architectures. */
#define PLAT_PROCESSOR_ARCHITECTURE_INTEL 0
#define PLAT_PROCESSOR_ARCHITECTURE_ARM 5
#define PLAT_PROCESSOR_ARCHITECTURE_IA64 6
#define PLAT_PROCESSOR_ARCHITECTURE_AMD64 9
#define PLAT_PROCESSOR_ARCHITECTURE_ARM64 12
#define PLAT_PROCESSOR_ARCHITECTURE_UNKNOWN 0xFFFF

/*
 * Reads all facts into *facts. Returns the step that failed (PLAT_OS_OK when
 * none did); *error then holds the system error code of the failure (0 for
 * PLAT_OS_FIND_PRODUCT_INFO). On failure *facts is left as it was.
 */
PlatOsStep PlatGetOsFacts(PlatOsFacts* facts, uint32_t* error);

#ifdef __cplusplus
}
#endif
#endif
