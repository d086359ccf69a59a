// libFuzzer entry for the emulated registry: the input is the registry file.
// The keys the tool reads are opened through the public calls, every value
// the file gives them is read back (size first, then into a buffer of exactly
// that size, then into one a byte too small, which must stay untouched), and
// the OS facts and the agent's registry readers run on the same file.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/osinfo.h"
#include "platform/registry.h"
#include "reg_file.h"
#include "runtime/registry.h"

namespace {

const char* const kKeys[] = {
    "",
    "SOFTWARE",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
    "SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
    "Software\\Brisoly\\Tarnwell\\TWAgent",
};

std::string RegistryFile()
{
    static std::string path;
    if (path.empty()) {
        char dir[] = "/tmp/tw-reg-fuzz.XXXXXX";
        if (!mkdtemp(dir))
            abort();
        path = std::string(dir) + "/machine.reg";
        setenv("TW_REGISTRY_FILE", path.c_str(), 1);
    }
    return path;
}

void ReadBack(PlatHKey key, const std::string& name)
{
    uint32_t type = 0, size = 0;
    if (PlatRegQueryValue(key, name.c_str(), &type, nullptr, &size) != PLAT_ERROR_SUCCESS)
        abort(); // the parser listed it, so the key has it
    std::vector<unsigned char> buffer(size + 1, 0xA5);
    uint32_t given = size;
    if (PlatRegQueryValue(key, name.c_str(), nullptr, buffer.data(), &given) != PLAT_ERROR_SUCCESS || given != size)
        abort();
    if (buffer[size] != 0xA5)
        abort(); // wrote past the size it reported
    if (size == 0)
        return;
    std::vector<unsigned char> small(size, 0x5A);
    given = size - 1;
    if (PlatRegQueryValue(key, name.c_str(), nullptr, small.data(), &given) != PLAT_ERROR_MORE_DATA || given != size)
        abort();
    for (unsigned char c : small)
        if (c != 0x5A)
            abort(); // a value that does not fit leaves the buffer alone
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = RegistryFile();
    FILE* file = fopen(path.c_str(), "wb");
    if (!file || fwrite(data, 1, size, file) != size || fclose(file) != 0)
        abort();
    std::string bytes(reinterpret_cast<const char*>(data), size);

    for (const char* subKey : kKeys) {
        PlatHKey key = nullptr;
        if (PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, subKey, &key) != PLAT_ERROR_SUCCESS)
            continue;
        std::string folded = "HKEY_LOCAL_MACHINE";
        if (*subKey)
            folded += "\\" + platreg::FoldCase(subKey);
        platreg::KeySnapshot snapshot;
        platreg::ParseRegistryText(bytes, folded, &snapshot);
        for (const auto& value : snapshot.values)
            if (value.first.find('\0') == std::string::npos) // a C name cannot say these
                ReadBack(key, value.first);
        PlatRegCloseKey(key);
    }

    PlatOsFacts facts;
    uint32_t error = 0;
    PlatGetOsFacts(&facts, &error);
    char* text = nullptr;
    if (ReadAgentInstallDir(&text) == PLAT_ERROR_SUCCESS && text == nullptr)
        abort();
    free(text);
    text = nullptr;
    ReadRegSZ(PLAT_HKEY_LOCAL_MACHINE, kKeys[2], "CurrentVersion", &text);
    free(text);
    uint32_t number = 0;
    ReadDwordRegistryData(PLAT_HKEY_LOCAL_MACHINE, kKeys[4], "TWAgentLogLevel", &number);
    ReadEventEnabledFlag(&number);
    return 0;
}
