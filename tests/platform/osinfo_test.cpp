#include <gtest/gtest.h>

#include <string>

#include "platform/osinfo.h"
#include "registry_file.h"

namespace {

std::string Machine(const std::string& version, const std::string& productType, const std::string& extra = "")
{
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n" + version + extra +
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions]\n" + productType;
}

const char kWin7[] = "\"CurrentVersion\"=\"6.1\"\n\"CurrentBuildNumber\"=\"7601\"\n"
                     "\"CSDVersion\"=\"Service Pack 1\"\n\"EditionID\"=\"Professional\"\n";

TEST(OsFacts, EmulatedWindows7)
{
    RegistryFile file(Machine(kWin7, "\"ProductType\"=\"WinNT\"\n"));
    PlatOsFacts facts = {};
    uint32_t error = 99;
    ASSERT_EQ(PlatGetOsFacts(&facts, &error), PLAT_OS_OK);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(facts.majorVersion, 6u);
    EXPECT_EQ(facts.minorVersion, 1u);
    EXPECT_EQ(facts.buildNumber, 7601u);
    EXPECT_EQ(facts.servicePackMajor, 1);
    EXPECT_EQ(facts.productType, PLAT_VER_NT_WORKSTATION);
    EXPECT_EQ(facts.edition, 0x30u); // PRODUCT_PROFESSIONAL
    EXPECT_NE(facts.processorArchitecture, PLAT_PROCESSOR_ARCHITECTURE_UNKNOWN);
}

TEST(OsFacts, ServerTypesAndNumericVersionsOfWindows10)
{
    RegistryFile file(Machine("\"CurrentVersion\"=\"6.3\"\n\"CurrentMajorVersionNumber\"=dword:0000000a\n"
                              "\"CurrentMinorVersionNumber\"=dword:00000000\n\"EditionID\"=\"ServerDatacenter\"\n",
                              "\"ProductType\"=\"LanmanNT\"\n"));
    PlatOsFacts facts = {};
    ASSERT_EQ(PlatGetOsFacts(&facts, nullptr), PLAT_OS_OK);
    EXPECT_EQ(facts.majorVersion, 10u);
    EXPECT_EQ(facts.minorVersion, 0u);
    EXPECT_EQ(facts.productType, PLAT_VER_NT_DOMAIN_CONTROLLER);
    EXPECT_EQ(facts.edition, 8u);
}

// Each step that can fail on Windows fails on the emulated machine too, and
// leaves the facts alone.
TEST(OsFacts, EveryStepCanFail)
{
    struct Case {
        std::string body;
        PlatOsStep step;
        uint32_t error;
    } cases[] = {
        {"", PLAT_OS_VERSION, 2},
        {Machine("\"CurrentVersion\"=\"5.2\"\n\"EditionID\"=\"ServerStandard\"\n", "\"ProductType\"=\"ServerNT\"\n"),
         PLAT_OS_FIND_PRODUCT_INFO, 0},
        {Machine("\"CurrentVersion\"=\"six\"\n", "\"ProductType\"=\"WinNT\"\n"), PLAT_OS_VERSION, 13},
        {Machine(kWin7, ""), PLAT_OS_VERSION, 2},
        {Machine(kWin7, "\"ProductType\"=\"Toaster\"\n"), PLAT_OS_VERSION, 13},
        {Machine("\"CurrentVersion\"=\"6.1\"\n", "\"ProductType\"=\"WinNT\"\n"), PLAT_OS_PRODUCT_INFO, 2},
    };
    for (const Case& c : cases) {
        RegistryFile file(c.body);
        PlatOsFacts facts = {};
        facts.majorVersion = 77;
        uint32_t error = 99;
        EXPECT_EQ(PlatGetOsFacts(&facts, &error), c.step) << c.body;
        EXPECT_EQ(error, c.error) << c.body;
        EXPECT_EQ(facts.majorVersion, 77u);
    }
    RegistryFile file;
    setenv("TW_REGISTRY_FILE", (file.path() + ".missing").c_str(), 1);
    uint32_t error = 0;
    EXPECT_EQ(PlatGetOsFacts(nullptr, &error), PLAT_OS_LOAD_KERNEL32);
    EXPECT_EQ(error, 126u);
}

TEST(OsFacts, UnknownEditionIsUndefined)
{
    RegistryFile file(
        Machine("\"CurrentVersion\"=\"6.0\"\n\"EditionID\"=\"Galactic\"\n", "\"ProductType\"=\"ServerNT\"\n"));
    PlatOsFacts facts = {};
    facts.edition = 5;
    ASSERT_EQ(PlatGetOsFacts(&facts, nullptr), PLAT_OS_OK);
    EXPECT_EQ(facts.edition, 0u);
    EXPECT_EQ(facts.buildNumber, 0u);
}

} // namespace
