#include <gtest/gtest.h>

#include <string>

#include "platform/registry.h"
#include "registry_file.h"

namespace {

const char kAgent[] = "Software\\Brisoly\\Tarnwell\\TWAgent";

struct Read {
    uint32_t result;
    uint32_t type;
    std::string bytes;
};

// Opens `path` below HKLM and reads `name` with a buffer of the right size.
Read ReadValue(const char* path, const char* name)
{
    Read read{0, 0xFFFF, ""};
    PlatHKey key = nullptr;
    read.result = PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, path, &key);
    if (read.result != 0)
        return read;
    uint32_t size = 0;
    read.result = PlatRegQueryValue(key, name, &read.type, nullptr, &size);
    if (read.result == 0) {
        read.bytes.assign(size, '?');
        read.result = PlatRegQueryValue(key, name, &read.type, read.bytes.data(), &size);
        read.bytes.resize(size);
    }
    PlatRegCloseKey(key);
    return read;
}

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

TEST(Registry, ReadsRegedit4Values)
{
    RegistryFile file("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brisoly\\Tarnwell\\TWAgent]\r\n"
                      "\"TWAgentInstallDir\"=\"C:\\\\Program Files\\\\Agent\\\\\"\r\n"
                      "\"Quoted\"=\"say \\\"hi\\\"\"\r\n"
                      "\"TWAgentLogLevel\"=dword:0000000a\r\n"
                      "@=\"default\"\r\n"
                      "\"Bin\"=hex:01,02,ff\r\n"
                      "\"Multi\"=hex(7):61,00,62,00,00\r\n"
                      "\"Empty\"=\"\"\r\n");
    Read dir = ReadValue(kAgent, "TWAgentInstallDir");
    EXPECT_EQ(dir.result, 0u);
    EXPECT_EQ(dir.type, (uint32_t)PLAT_REG_SZ);
    EXPECT_EQ(dir.bytes, Sz("C:\\Program Files\\Agent\\"));
    EXPECT_EQ(ReadValue(kAgent, "Quoted").bytes, Sz("say \"hi\""));
    Read level = ReadValue(kAgent, "TWAgentLogLevel");
    EXPECT_EQ(level.type, (uint32_t)PLAT_REG_DWORD);
    EXPECT_EQ(level.bytes, std::string("\x0a\0\0\0", 4));
    EXPECT_EQ(ReadValue(kAgent, nullptr).bytes, Sz("default"));
    EXPECT_EQ(ReadValue(kAgent, "").bytes, Sz("default"));
    EXPECT_EQ(ReadValue(kAgent, "Bin").bytes, "\x01\x02\xff");
    Read multi = ReadValue(kAgent, "Multi");
    EXPECT_EQ(multi.type, 7u);
    EXPECT_EQ(multi.bytes, std::string("a\0b\0\0", 5)); // REGEDIT4: bytes as written
    EXPECT_EQ(ReadValue(kAgent, "Empty").bytes, Sz(""));
}

TEST(Registry, ReadsUtf16Version5Exports)
{
    RegistryFile file;
    file.Write(RegistryFile::Utf16("Windows Registry Editor Version 5.00\r\n\r\n"
                                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brisoly\\Tarnwell\\TWAgent]\r\n"
                                   "\"TWAgentInstallDir\"=\"C:\\\\Agent\\\\\"\r\n"
                                   "\"Name\"=\"Gr\xC3\xBC\xC3\x9F"
                                   "e\"\r\n"
                                   // string types in hex are UTF-16LE in version 5
                                   "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                                   "\"Raw\"=hex(2):41,00,42,00\r\n"
                                   "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"));
    EXPECT_EQ(ReadValue(kAgent, "TWAgentInstallDir").bytes, Sz("C:\\Agent\\"));
    EXPECT_EQ(ReadValue(kAgent, "Name").bytes,
              Sz("Gr\xC3\xBC\xC3\x9F"
                 "e"));
    Read expand = ReadValue(kAgent, "Expand");
    EXPECT_EQ(expand.type, 2u);
    EXPECT_EQ(expand.bytes, Sz("%A%"));
    EXPECT_EQ(ReadValue(kAgent, "Raw").bytes, "AB"); // no terminator stored, none added
    Read big = ReadValue(kAgent, "Big");
    EXPECT_EQ(big.type, 11u);
    EXPECT_EQ(big.bytes.size(), 8u);
}

TEST(Registry, NamesCompareWithoutCaseAndParentsExist)
{
    RegistryFile file("[hkey_local_machine\\SOFTWARE\\BRISOLY\\tarnwell\\TWAGENT]\n"
                      "\"twagentloglevel\"=dword:00000003\n");
    EXPECT_EQ(ReadValue("software\\brisoly\\Tarnwell\\TWAgent", "TWAgentLogLevel").result, 0u);
    PlatHKey key = nullptr;
    ASSERT_EQ(PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, "Software\\Brisoly", &key), 0u);
    uint32_t size = 0;
    EXPECT_EQ(PlatRegQueryValue(key, "TWAgentLogLevel", nullptr, nullptr, &size), 2u);
    // A key opened below an open key.
    PlatHKey child = nullptr;
    EXPECT_EQ(PlatRegOpenKey(key, "Tarnwell\\TWAgent", &child), 0u);
    PlatRegCloseKey(child);
    PlatRegCloseKey(key);
    EXPECT_EQ(PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, "Software\\Brisol", &key), 2u);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(PlatRegOpenKey(PLAT_HKEY_CURRENT_USER, "Software\\Brisoly", &key), 2u);
}

TEST(Registry, MissingAndTooLargeValuesGiveWindowsCodes)
{
    RegistryFile file("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brisoly\\Tarnwell\\TWAgent]\n"
                      "\"Five\"=\"abcd\"\n");
    EXPECT_EQ(ReadValue(kAgent, "Nothing").result, 2u);
    EXPECT_EQ(ReadValue("Software\\Nobody", "Five").result, 2u);

    PlatHKey key = nullptr;
    ASSERT_EQ(PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, kAgent, &key), 0u);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    uint32_t size = sizeof buffer;
    EXPECT_EQ(PlatRegQueryValue(key, "Five", nullptr, buffer, &size), 234u);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::string(buffer, 4), "xxxx"); // untouched
    EXPECT_EQ(PlatRegQueryValue(key, "Five", nullptr, buffer, nullptr), 87u);
    PlatRegCloseKey(key);
}

TEST(Registry, HexContinuationsCommentsAndGarbage)
{
    RegistryFile file("; a comment\n"
                      "\"Orphan\"=\"before any key\"\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brisoly\\Tarnwell\\TWAgent]\n"
                      "\"Long\"=hex:01,02,\\\n"
                      "  03,04,\\\n"
                      "  05\n"
                      "\"After\"=dword:00000001\n"
                      "this is no registry line\n"
                      "\"BadDword\"=dword:123456789\n"
                      "\"BadHex\"=hex:zz,01\n"
                      "\"Unclosed\"=\"text\n"
                      "\"Trailing\"=\"text\" junk\n"
                      "\"NoEquals\" \"x\"\n"
                      "[HKEY_NOWHERE\\Software]\n"
                      "\"Lost\"=\"in a bad section\"\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brisoly\\Tarnwell\\TWAgent\n"
                      "\"Also\"=\"after an unclosed section\"\n");
    EXPECT_EQ(ReadValue(kAgent, "Long").bytes, "\x01\x02\x03\x04\x05");
    EXPECT_EQ(ReadValue(kAgent, "After").result, 0u);
    for (const char* name : {"Orphan", "BadDword", "BadHex", "Unclosed", "Trailing", "NoEquals", "Lost", "Also"})
        EXPECT_EQ(ReadValue(kAgent, name).result, 2u) << name;
}

TEST(Registry, DeletionsApplyInOrder)
{
    RegistryFile file("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone\\Child]\n"
                      "\"A\"=\"1\"\n"
                      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]\n"
                      "\"A\"=\"1\"\n"
                      "\"B\"=\"2\"\n"
                      "\"A\"=-\n"
                      "\"B\"=\"3\"\n");
    EXPECT_EQ(ReadValue("SOFTWARE\\Gone\\Child", "A").result, 2u);
    EXPECT_EQ(ReadValue("SOFTWARE\\Gone", nullptr).result, 2u);
    EXPECT_EQ(ReadValue("SOFTWARE\\Kept", "A").result, 2u);
    EXPECT_EQ(ReadValue("SOFTWARE\\Kept", "B").bytes, Sz("3"));
}

TEST(Registry, UnreadableOrHeaderlessFileHasNoKeys)
{
    RegistryFile file;
    file.Write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"A\"=\"1\"\n");
    EXPECT_EQ(ReadValue("SOFTWARE\\X", "A").result, 2u);
    setenv("TW_REGISTRY_FILE", (file.path() + ".missing").c_str(), 1);
    EXPECT_EQ(ReadValue("SOFTWARE\\X", "A").result, 2u);
    // The root key itself always opens.
    PlatHKey key = nullptr;
    EXPECT_EQ(PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, nullptr, &key), 0u);
    PlatRegCloseKey(key);
    file.Write(std::string("\xFF\xFE", 2) + "\x01"); // an odd byte after the mark
    EXPECT_EQ(ReadValue("SOFTWARE\\X", "A").result, 2u);
}

TEST(Registry, FileIsReadAtOpenAndAnOpenKeyKeepsItsSnapshot)
{
    RegistryFile file("[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"A\"=\"1\"\n");
    PlatHKey key = nullptr;
    ASSERT_EQ(PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, "SOFTWARE\\X", &key), 0u);
    file.Write("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"A\"=\"22\"\n");
    uint32_t size = 0;
    EXPECT_EQ(PlatRegQueryValue(key, "A", nullptr, nullptr, &size), 0u);
    EXPECT_EQ(size, 2u);
    PlatRegCloseKey(key);
    EXPECT_EQ(ReadValue("SOFTWARE\\X", "A").bytes, Sz("22"));
}

} // namespace

namespace {

// Hostile files: random mixtures of the characters the parser cares about,
// in both encodings, must neither crash nor invent the key.
TEST(Registry, RandomGarbageIsSurvived)
{
    const char alphabet[] = "[]\"\\@=-,:;hexdword()0123456789abcdefABCDEF \t\r\n\xFF\xFE\x00";
    unsigned state = 12345;
    auto next = [&state]() { return state = state * 1103515245u + 12345u; };
    RegistryFile file;
    for (int round = 0; round < 200; ++round) {
        std::string body = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fuzz]\n";
        for (int i = 0; i < 2000; ++i)
            body.push_back(alphabet[(next() >> 16) % (sizeof alphabet - 1)]);
        std::string text = "REGEDIT4\n" + body;
        file.Write(round % 2 ? RegistryFile::Utf16("Windows Registry Editor Version 5.00\n") + body : text);
        for (const char* name : {"", "a", "x"})
            ReadValue("SOFTWARE\\Fuzz", name);
        EXPECT_EQ(ReadValue("SOFTWARE\\Nowhere", "a").result, 2u);
    }
}

TEST(Registry, OversizedFileIsUnreadable)
{
    RegistryFile file;
    std::string text = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"A\"=\"1\"\n";
    text.append(17u * 1024 * 1024, ';');
    file.Write(text);
    EXPECT_EQ(ReadValue("SOFTWARE\\X", "A").result, 2u);
}

} // namespace
