/* The operating system's version facts and what kind of system they make. */
#include <atomic>

#include "runtime/log.h"
#include "tool/applicability.h"

namespace {

std::atomic<OsFactsSource> g_osFactsSource{nullptr};

} // namespace

void SetOsFactsSource(OsFactsSource source) { g_osFactsSource.store(source); }

int GetOSInformation(uint32_t* majorVersion, uint32_t* minorVersion, uint32_t* buildNumber, uint16_t* productType,
                     uint32_t* edition, uint16_t* processorArchitecture, int log)
{
    OsFactsSource source = g_osFactsSource.load();
    if (!source)
        source = PlatGetOsFacts;
    PlatOsFacts facts = {};
    uint32_t error = 0;
    switch (source(&facts, &error)) {
    case PLAT_OS_OK:
        break;
    case PLAT_OS_LOAD_KERNEL32:
        LogError("Failed to load kernel32.dll with error code : %d\n", static_cast<int>(error));
        return 1;
    case PLAT_OS_FIND_PRODUCT_INFO:
        LogError("Failed to get address of GetProductInfo\n");
        return 1;
    case PLAT_OS_VERSION:
        LogError("Failed to get OSVersionInfo with error code : %d\n", static_cast<int>(error));
        return 1;
    case PLAT_OS_PRODUCT_INFO:
    default:
        LogError("Failed to get edition type with error code : %d\n", static_cast<int>(error));
        return 1;
    }

    if (majorVersion)
        *majorVersion = facts.majorVersion;
    if (minorVersion)
        *minorVersion = facts.minorVersion;
    if (buildNumber)
        *buildNumber = facts.buildNumber;
    if (productType)
        *productType = facts.productType;
    if (edition)
        *edition = facts.edition;
    if (processorArchitecture)
        *processorArchitecture = facts.processorArchitecture;

    if (log) {
        LogInfo("MajorVersion : %lu\n", static_cast<unsigned long>(facts.majorVersion));
        LogInfo("MinorVersion : %lu\n", static_cast<unsigned long>(facts.minorVersion));
        LogInfo("BuildNumber : %lu\n", static_cast<unsigned long>(facts.buildNumber));
        LogInfo("ProductType : %ld\n", static_cast<long>(facts.productType));
        /* As a signed number: PRODUCT_UNLICENSED (0xABCDABCD) prints negative. */
        LogInfo("EditionType : %ld\n", static_cast<long>(static_cast<int32_t>(facts.edition)));
        LogInfo("ProcessorArchitecture : %ld\n", static_cast<long>(facts.processorArchitecture));
    }
    return 0;
}

int ClassifyOSKind(uint32_t majorVersion, uint32_t minorVersion, uint16_t productType)
{
    if (productType == PLAT_VER_NT_WORKSTATION)
        return majorVersion == 6 && minorVersion == 1 ? OS_KIND_WINDOWS_7 : OS_KIND_NOT_COVERED;
    return majorVersion == 6 && (minorVersion == 0 || minorVersion == 1) ? OS_KIND_SERVER_2008 : OS_KIND_NOT_COVERED;
}

int GetOSKind(void)
{
    uint32_t major = 0, minor = 0, build = 0, edition = 0;
    uint16_t productType = 0, architecture = 0;
    /* A failure leaves every fact at 0: not covered. */
    GetOSInformation(&major, &minor, &build, &productType, &edition, &architecture, 1);
    return ClassifyOSKind(major, minor, productType);
}
