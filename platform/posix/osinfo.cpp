/* The version facts of the emulated Windows machine, from its registry. */
#include "platform/osinfo.h"

#include <stdlib.h>
#include <string.h>
#include <string>
#include <strings.h>
#include <sys/utsname.h>

#include "platform/error.h"
#include "platform/registry.h"
#include "reg_file.h"

namespace {

const char kVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char kProductOptionsKey[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

struct Edition {
    const char* id;
    uint32_t product;
};

/* EditionID texts and the PRODUCT_* numbers GetProductInfo gives for them. */
const Edition kEditions[] = {
    {"Ultimate", 0x01},
    {"HomeBasic", 0x02},
    {"HomePremium", 0x03},
    {"Enterprise", 0x04},
    {"HomeBasicN", 0x05},
    {"Business", 0x06},
    {"ServerStandard", 0x07},
    {"ServerDatacenter", 0x08},
    {"ServerSBSStandard", 0x09},
    {"ServerEnterprise", 0x0A},
    {"Starter", 0x0B},
    {"ServerDatacenterCore", 0x0C},
    {"ServerStandardCore", 0x0D},
    {"ServerEnterpriseCore", 0x0E},
    {"ServerEnterpriseIA64", 0x0F},
    {"BusinessN", 0x10},
    {"ServerWeb", 0x11},
    {"ServerHPC", 0x12},
    {"ServerHomeStandard", 0x13},
    {"HomePremiumN", 0x1A},
    {"EnterpriseN", 0x1B},
    {"UltimateN", 0x1C},
    {"ServerWebCore", 0x1D},
    {"StarterN", 0x2F},
    {"Professional", 0x30},
    {"ProfessionalN", 0x31},
    {"ServerStandardEval", 0x4F},
    {"ServerDatacenterEval", 0x50},
    {"CoreN", 0x62},
    {"CoreCountrySpecific", 0x63},
    {"CoreSingleLanguage", 0x64},
    {"Core", 0x65},
    {"Education", 0x79},
    {"EducationN", 0x7A},
    {"EnterpriseS", 0x7D},
    {"EnterpriseSN", 0x7E},
    {"ProfessionalWorkstation", 0xA1},
};

/* A zero-terminated copy of a value of any type; 2 when it is missing. */
uint32_t ReadText(PlatHKey key, const char* name, std::string* out)
{
    uint32_t size = 0;
    uint32_t result = PlatRegQueryValue(key, name, nullptr, nullptr, &size);
    if (result != PLAT_ERROR_SUCCESS)
        return result;
    std::string buffer(static_cast<size_t>(size) + 1, '\0');
    result = PlatRegQueryValue(key, name, nullptr, &buffer[0], &size);
    if (result != PLAT_ERROR_SUCCESS)
        return result;
    out->assign(buffer.c_str());
    return PLAT_ERROR_SUCCESS;
}

/* A 32-bit number stored as REG_DWORD. */
bool ReadNumber(PlatHKey key, const char* name, uint32_t* out)
{
    uint32_t type = 0;
    unsigned char bytes[4];
    uint32_t size = sizeof bytes;
    if (PlatRegQueryValue(key, name, &type, bytes, &size) != PLAT_ERROR_SUCCESS || type != PLAT_REG_DWORD || size != 4)
        return false;
    *out = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return true;
}

/* Parses a decimal number of at most 9 digits filling `text` from `*pos`
 * up to a stop character or the end. */
bool ParseDecimal(const std::string& text, size_t* pos, uint32_t* out)
{
    size_t start = *pos;
    uint32_t value = 0;
    while (*pos < text.size() && text[*pos] >= '0' && text[*pos] <= '9' && *pos - start < 9)
        value = value * 10 + static_cast<uint32_t>(text[(*pos)++] - '0');
    *out = value;
    return *pos > start;
}

struct Version {
    uint32_t major = 0, minor = 0, build = 0;
    uint16_t spMajor = 0, spMinor = 0;
    uint16_t productType = 0;
};

/* The version record of GetVersionExA. */
uint32_t ReadVersion(PlatHKey versionKey, Version* version)
{
    uint32_t major = 0, minor = 0;
    if (!(ReadNumber(versionKey, "CurrentMajorVersionNumber", &major) &&
          ReadNumber(versionKey, "CurrentMinorVersionNumber", &minor))) {
        std::string text;
        uint32_t result = ReadText(versionKey, "CurrentVersion", &text);
        if (result != PLAT_ERROR_SUCCESS)
            return result;
        size_t pos = 0;
        if (!ParseDecimal(text, &pos, &major) || pos >= text.size() || text[pos] != '.')
            return PLAT_ERROR_INVALID_DATA;
        ++pos;
        if (!ParseDecimal(text, &pos, &minor) || pos != text.size())
            return PLAT_ERROR_INVALID_DATA;
    }
    version->major = major;
    version->minor = minor;

    std::string build;
    if (ReadText(versionKey, "CurrentBuildNumber", &build) == PLAT_ERROR_SUCCESS) {
        size_t pos = 0;
        ParseDecimal(build, &pos, &version->build);
    }
    std::string servicePack;
    if (ReadText(versionKey, "CSDVersion", &servicePack) == PLAT_ERROR_SUCCESS) {
        size_t at = servicePack.find_last_of(' ');
        size_t pos = at == std::string::npos ? 0 : at + 1;
        uint32_t number = 0;
        if (ParseDecimal(servicePack, &pos, &number))
            version->spMajor = static_cast<uint16_t>(number);
    }

    PlatHKey options = nullptr;
    uint32_t result = PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, kProductOptionsKey, &options);
    if (result != PLAT_ERROR_SUCCESS)
        return result;
    std::string productType;
    result = ReadText(options, "ProductType", &productType);
    PlatRegCloseKey(options);
    if (result != PLAT_ERROR_SUCCESS)
        return result;
    if (strcasecmp(productType.c_str(), "WinNT") == 0)
        version->productType = PLAT_VER_NT_WORKSTATION;
    else if (strcasecmp(productType.c_str(), "LanmanNT") == 0)
        version->productType = PLAT_VER_NT_DOMAIN_CONTROLLER;
    else if (strcasecmp(productType.c_str(), "ServerNT") == 0)
        version->productType = PLAT_VER_NT_SERVER;
    else
        return PLAT_ERROR_INVALID_DATA;
    return PLAT_ERROR_SUCCESS;
}

uint32_t ReadEdition(PlatHKey versionKey, uint32_t* edition)
{
    std::string id;
    uint32_t result = ReadText(versionKey, "EditionID", &id);
    if (result != PLAT_ERROR_SUCCESS)
        return result;
    *edition = 0; /* PRODUCT_UNDEFINED */
    for (const Edition& known : kEditions)
        if (strcasecmp(id.c_str(), known.id) == 0)
            *edition = known.product;
    return PLAT_ERROR_SUCCESS;
}

uint16_t NativeArchitecture()
{
    struct utsname names;
    if (uname(&names) != 0)
        return PLAT_PROCESSOR_ARCHITECTURE_UNKNOWN;
    const char* machine = names.machine;
    if (strcmp(machine, "x86_64") == 0 || strcmp(machine, "amd64") == 0)
        return PLAT_PROCESSOR_ARCHITECTURE_AMD64;
    if (strcmp(machine, "aarch64") == 0 || strcmp(machine, "arm64") == 0)
        return PLAT_PROCESSOR_ARCHITECTURE_ARM64;
    if (strncmp(machine, "arm", 3) == 0)
        return PLAT_PROCESSOR_ARCHITECTURE_ARM;
    if (strcmp(machine, "ia64") == 0)
        return PLAT_PROCESSOR_ARCHITECTURE_IA64;
    if (machine[0] == 'i' && strcmp(machine + 2, "86") == 0)
        return PLAT_PROCESSOR_ARCHITECTURE_INTEL;
    return PLAT_PROCESSOR_ARCHITECTURE_UNKNOWN;
}

PlatOsStep ReadFacts(PlatOsFacts* facts, uint32_t* error)
{
    std::string bytes;
    if (!platreg::ReadRegistryFile(&bytes)) {
        *error = PLAT_ERROR_MOD_NOT_FOUND;
        return PLAT_OS_LOAD_KERNEL32;
    }

    PlatHKey versionKey = nullptr;
    uint32_t result = PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, kVersionKey, &versionKey);
    if (result != PLAT_ERROR_SUCCESS) {
        *error = result;
        return PLAT_OS_VERSION;
    }
    Version version;
    result = ReadVersion(versionKey, &version);
    /* GetProductInfo is looked up before the version is queried; the
     * emulation needs the version to know whether the function exists. */
    if (result == PLAT_ERROR_SUCCESS && version.major < 6) {
        PlatRegCloseKey(versionKey);
        return PLAT_OS_FIND_PRODUCT_INFO;
    }
    if (result != PLAT_ERROR_SUCCESS) {
        PlatRegCloseKey(versionKey);
        *error = result;
        return PLAT_OS_VERSION;
    }
    uint32_t edition = 0;
    result = ReadEdition(versionKey, &edition);
    PlatRegCloseKey(versionKey);
    if (result != PLAT_ERROR_SUCCESS) {
        *error = result;
        return PLAT_OS_PRODUCT_INFO;
    }

    if (facts) {
        facts->majorVersion = version.major;
        facts->minorVersion = version.minor;
        facts->buildNumber = version.build;
        facts->servicePackMajor = version.spMajor;
        facts->servicePackMinor = version.spMinor;
        facts->productType = version.productType;
        facts->edition = edition;
        facts->processorArchitecture = NativeArchitecture();
    }
    return PLAT_OS_OK;
}

} // namespace

PlatOsStep PlatGetOsFacts(PlatOsFacts* facts, uint32_t* error)
{
    uint32_t ignored = 0;
    if (!error)
        error = &ignored;
    *error = 0;
    try {
        return ReadFacts(facts, error);
    } catch (...) {
        *error = PLAT_ERROR_NOT_ENOUGH_MEMORY;
        return PLAT_OS_VERSION;
    }
}
