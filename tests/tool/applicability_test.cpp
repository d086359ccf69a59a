#include <gtest/gtest.h>

#include <string>

#include "log_capture.h"
#include "registry_file.h"
#include "runtime/registry.h"
#include "tool/applicability.h"

namespace {

using Lines = std::vector<std::string>;

// The machine and the day the seams report.
PlatOsFacts g_facts;
PlatOsStep g_step;
uint32_t g_error;
int g_year, g_month, g_day, g_dateKnown;

PlatOsStep FakeFacts(PlatOsFacts* facts, uint32_t* error)
{
    *error = g_error;
    if (g_step == PLAT_OS_OK)
        *facts = g_facts;
    return g_step;
}

int FakeDate(int* year, int* month, int* day)
{
    *year = g_year;
    *month = g_month;
    *day = g_day;
    return g_dateKnown;
}

class Applicability : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetOsFactsSource(FakeFacts);
        SetEsuDateSource(FakeDate);
        Machine(6, 1, 1);
        Day(2021, 3, 15);
    }
    void TearDown() override
    {
        SetOsFactsSource(nullptr);
        SetEsuDateSource(nullptr);
    }
    static void Machine(uint32_t major, uint32_t minor, uint16_t productType)
    {
        g_facts = PlatOsFacts{major, minor, 7601, 1, 0, productType, 0x30, 9};
        g_step = PLAT_OS_OK;
        g_error = 0;
    }
    static void Day(int year, int month, int day)
    {
        g_year = year;
        g_month = month;
        g_day = day;
        g_dateKnown = 1;
    }
};

TEST_F(Applicability, Windows7InItsSecondYearApplies)
{
    LogCapture log;
    EXPECT_EQ(GetOSKind(), OS_KIND_WINDOWS_7);
    EXPECT_EQ(GetESUYear(), 2);
    EXPECT_EQ(IsESUApplicable(), 1);
    Lines facts{"[INFO] MajorVersion : 6", "[INFO] MinorVersion : 1", "[INFO] BuildNumber : 7601",
                "[INFO] ProductType : 1",  "[INFO] EditionType : 48", "[INFO] ProcessorArchitecture : 9"};
    // GetOSKind and IsESUApplicable each log the facts once.
    Lines twice = facts;
    twice.insert(twice.end(), facts.begin(), facts.end());
    EXPECT_EQ(log.Lines(), twice);
}

TEST_F(Applicability, OsKinds)
{
    const struct {
        uint32_t major, minor;
        uint16_t type;
        int kind;
    } cases[] = {
        {6, 1, 1, OS_KIND_WINDOWS_7},   // Windows 7
        {6, 0, 1, OS_KIND_NOT_COVERED}, // Vista
        {6, 0, 3, OS_KIND_SERVER_2008}, // Server 2008
        {6, 1, 3, OS_KIND_SERVER_2008}, // Server 2008 R2
        {6, 1, 2, OS_KIND_SERVER_2008}, // domain controller
        {6, 2, 1, OS_KIND_NOT_COVERED}, // Windows 8
        {6, 2, 3, OS_KIND_NOT_COVERED}, // Server 2012
        {10, 0, 1, OS_KIND_NOT_COVERED}, {10, 0, 3, OS_KIND_NOT_COVERED},
        {5, 1, 1, OS_KIND_NOT_COVERED},  {6, 1, 0, OS_KIND_SERVER_2008}, // any non-workstation type counts as a server
    };
    for (const auto& c : cases) {
        Machine(c.major, c.minor, c.type);
        EXPECT_EQ(GetOSKind(), c.kind) << c.major << "." << c.minor << " type " << c.type;
        EXPECT_EQ(IsESUApplicable(), c.kind != OS_KIND_NOT_COVERED ? 1 : 0);
    }
}

TEST_F(Applicability, EsuYearBoundaries)
{
    const struct {
        int year, month, day, esuYear;
    } cases[] = {
        {2019, 12, 31, 0}, {2020, 1, 1, 1},   {2020, 12, 31, 1}, {2021, 1, 11, 1}, {2021, 1, 12, 2},
        {2021, 2, 1, 2},   {2021, 12, 31, 2}, {2022, 1, 10, 2},  {2022, 1, 11, 3}, {2022, 2, 5, 3},
        {2023, 1, 1, 3},   {2030, 1, 1, 3},   {9999, 12, 31, 3}, {1970, 1, 1, 0},
    };
    for (const auto& c : cases) {
        Day(c.year, c.month, c.day);
        EXPECT_EQ(GetESUYear(), c.esuYear) << c.year << "-" << c.month << "-" << c.day;
    }
    g_dateKnown = 0;
    EXPECT_EQ(GetESUYear(), 1);
}

TEST_F(Applicability, ReasonsAreLogged)
{
    Machine(10, 0, 1);
    {
        LogCapture log;
        EXPECT_EQ(IsESUApplicable(), 0);
        Lines lines = log.Lines();
        ASSERT_EQ(lines.size(), 7u);
        EXPECT_EQ(lines.back(), "[INFO] ESU not applicable to this machine.");
    }
    Machine(6, 0, 3);
    Day(2019, 12, 31);
    {
        LogCapture log;
        EXPECT_EQ(IsESUApplicable(), 0);
        Lines lines = log.Lines();
        ASSERT_EQ(lines.size(), 7u);
        EXPECT_EQ(lines.back(), "[ERROR] ESU for Windows 7 and Server 2008 R2 has been ended.");
    }
}

TEST_F(Applicability, FailedFactsAreLoggedAndMakeTheUpdateNotApply)
{
    const struct {
        PlatOsStep step;
        uint32_t error;
        const char* line;
    } cases[] = {
        {PLAT_OS_LOAD_KERNEL32, 126, "[ERROR] Failed to load kernel32.dll with error code : 126"},
        {PLAT_OS_FIND_PRODUCT_INFO, 0, "[ERROR] Failed to get address of GetProductInfo"},
        {PLAT_OS_VERSION, 87, "[ERROR] Failed to get OSVersionInfo with error code : 87"},
        {PLAT_OS_PRODUCT_INFO, 5, "[ERROR] Failed to get edition type with error code : 5"},
    };
    for (const auto& c : cases) {
        LogCapture log;
        g_step = c.step;
        g_error = c.error;
        uint32_t major = 3, minor = 3, build = 3, edition = 3;
        uint16_t type = 3, arch = 3;
        EXPECT_EQ(GetOSInformation(&major, &minor, &build, &type, &edition, &arch, 1), 1);
        EXPECT_EQ(major + minor + build + edition + type + arch, 18u); // untouched
        EXPECT_EQ(IsESUApplicable(), 0);
        EXPECT_EQ(log.Lines(), (Lines{c.line, c.line, "[INFO] ESU not applicable to this machine."}));
    }
}

TEST_F(Applicability, UnlicensedEditionPrintsSigned)
{
    g_facts.edition = 0xABCDABCDu;
    LogCapture log;
    uint32_t major, minor, build, edition;
    uint16_t type, arch;
    EXPECT_EQ(GetOSInformation(&major, &minor, &build, &type, &edition, &arch, 0), 0);
    EXPECT_EQ(edition, 0xABCDABCDu);
    EXPECT_TRUE(log.Lines().empty()); // no log flag, no lines
    GetOSKind();
    EXPECT_EQ(log.Lines()[4], "[INFO] EditionType : -1412584499");
}

// The real sources: the emulated machine of the registry file and the clock.
TEST(ApplicabilityOnEmulatedMachine, ServerFromTheRegistryFile)
{
    RegistryFile file("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
                      "\"CurrentVersion\"=\"6.1\"\n\"CurrentBuildNumber\"=\"7601\"\n\"EditionID\"=\"ServerStandard\"\n"
                      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions]\n"
                      "\"ProductType\"=\"ServerNT\"\n");
    EXPECT_EQ(GetOSKind(), OS_KIND_SERVER_2008);
    int year = GetESUYear();
    EXPECT_GE(year, 1); // today lies within the coverage
    EXPECT_EQ(IsESUApplicable(), 1);
}

} // namespace

namespace {

// The example machines stay what their names say.
TEST(ApplicabilityOnEmulatedMachine, ExampleMachines)
{
    const struct {
        const char* file;
        int kind;
    } machines[] = {
        {"windows7-workstation.reg", OS_KIND_WINDOWS_7},
        {"server2008r2.reg", OS_KIND_SERVER_2008},
        {"windows10.reg", OS_KIND_NOT_COVERED},
    };
    for (const auto& machine : machines) {
        std::string path = std::string(TW_EXAMPLE_MACHINES) + "/" + machine.file;
        setenv("TW_REGISTRY_FILE", path.c_str(), 1);
        EXPECT_EQ(GetOSKind(), machine.kind) << machine.file;
        uint32_t major = 0, minor = 0, build = 0, edition = 0;
        uint16_t type = 0, arch = 0;
        EXPECT_EQ(GetOSInformation(&major, &minor, &build, &type, &edition, &arch, 0), 0) << machine.file;
        EXPECT_NE(edition, 0u) << machine.file;
        char* dir = nullptr;
        EXPECT_EQ(ReadAgentInstallDir(&dir), 0u) << machine.file;
        EXPECT_STREQ(dir, "/opt/twagent/");
        free(dir);
    }
    unsetenv("TW_REGISTRY_FILE");
}

} // namespace
