#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>

#include "log_capture.h"
#include "registry_file.h"
#include "runtime/registry.h"

namespace {

using Lines = std::vector<std::string>;

std::string AgentKey(const std::string& values)
{
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brisoly\\Tarnwell\\TWAgent]\n" + values;
}

TEST(RegistryReaders, AgentKeyAbsent)
{
    RegistryFile file("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"TWEventEnabled\"=dword:00000000\n");
    LogCapture log;
    uint32_t level = 2;
    EXPECT_EQ(ReadDwordRegistryData(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "TWAgentLogLevel", &level), 2u);
    EXPECT_EQ(level, 2u);
    char* dir = reinterpret_cast<char*>(1);
    EXPECT_EQ(ReadAgentInstallDir(&dir), 2u);
    EXPECT_EQ(dir, nullptr);
    uint32_t flag = 0;
    EXPECT_EQ(ReadEventEnabledFlag(&flag), 0u);
    EXPECT_EQ(flag, 1u);
    EXPECT_EQ(log.Lines(),
              (Lines{"[DEBUG] ReadDwordRegistryData:  value  TWAgentLogLevel Not found: 2 ",
                     "[ERROR] ReadRegSZ: Error while opening registry key Software\\Brisoly\\Tarnwell\\TWAgent ,and "
                     "the error is  2 ",
                     "[DEBUG] ReadDwordRegistryData:  value  TWEventEnabled Not found: 2 "}));
}

TEST(RegistryReaders, ValuesAreReadWhateverTheirType)
{
    RegistryFile file(AgentKey("\"TWAgentInstallDir\"=\"C:\\\\Agent\\\\\"\n"
                               "\"TWAgentLogLevel\"=dword:00000004\n"
                               "\"TWEventEnabled\"=dword:00000000\n"
                               "\"Four\"=\"abc\"\n"
                               "\"Five\"=\"abcd\"\n"
                               "\"Short\"=hex:07,01\n"
                               "\"Empty\"=\"\"\n"
                               "\"Unterminated\"=hex(1):41,42,43\n"
                               "\"Number\"=dword:00000102\n"));
    LogCapture log;
    uint32_t value = 0;
    EXPECT_EQ(ReadDwordRegistryData(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "TWAgentLogLevel", &value), 0u);
    EXPECT_EQ(value, 4u);
    uint32_t flag = 7;
    ReadEventEnabledFlag(&flag);
    EXPECT_EQ(flag, 0u);

    // A 4-byte string becomes a number without complaint; a 5-byte one does
    // not fit and the output keeps its value.
    EXPECT_EQ(ReadDwordRegistryData(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "Four", &value), 0u);
    EXPECT_EQ(value, 0x00636261u);
    value = 2;
    EXPECT_EQ(ReadDwordRegistryData(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "Five", &value), 234u);
    EXPECT_EQ(value, 2u);
    value = 0xAAAAAAAAu;
    EXPECT_EQ(ReadDwordRegistryData(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "Short", &value), 0u);
    EXPECT_EQ(value, 0xAAAA0107u);

    char* text = nullptr;
    EXPECT_EQ(ReadAgentInstallDir(&text), 0u);
    EXPECT_STREQ(text, "C:\\Agent\\");
    free(text);
    EXPECT_EQ(ReadRegSZ(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "Empty", &text), 0u);
    EXPECT_STREQ(text, "");
    free(text);
    EXPECT_EQ(ReadRegSZ(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "Unterminated", &text), 0u);
    EXPECT_STREQ(text, "ABC");
    free(text);
    EXPECT_EQ(ReadRegSZ(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "Number", &text), 0u);
    EXPECT_EQ(std::string(text, 2), "\x02\x01");
    free(text);

    EXPECT_EQ(log.Lines(), Lines{"[ERROR] ReadDwordRegistryData: Error while reading DWORD value of Five : 234 "});
}

TEST(RegistryReaders, MissingValueOfAnExistingKey)
{
    RegistryFile file(AgentKey("\"Other\"=\"x\"\n"));
    LogCapture log;
    char* text = reinterpret_cast<char*>(1);
    EXPECT_EQ(ReadRegSZ(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "TWAgentInstallDir", &text), 2u);
    EXPECT_EQ(text, nullptr);
    uint32_t value = 9;
    EXPECT_EQ(ReadDwordRegistryData(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "TWAgentLogLevel", &value), 2u);
    EXPECT_EQ(value, 9u);
    // The size query of ReadRegSZ fails silently; the number reader's miss is
    // a debug line.
    EXPECT_EQ(log.Lines(), Lines{"[DEBUG] ReadDwordRegistryData:  value  TWAgentLogLevel Not found: 2 "});
}

TEST(RegistryReaders, BadArgumentsAreRefused)
{
    RegistryFile file(AgentKey("\"A\"=\"x\"\n"));
    EXPECT_EQ(ReadDwordRegistryData(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "A", nullptr), 87u);
    EXPECT_EQ(ReadRegSZ(PLAT_HKEY_LOCAL_MACHINE, gv_agentKey, "A", nullptr), 87u);
    char* text = nullptr;
    EXPECT_EQ(ReadRegSZ(nullptr, gv_agentKey, "A", &text), 6u);
    EXPECT_EQ(ReadEventEnabledFlag(nullptr), 0u);
    EXPECT_EQ(gv_eventEnabled, 1u);
    EXPECT_STREQ(gv_agentKey, "Software\\Brisoly\\Tarnwell\\TWAgent");
}

} // namespace
