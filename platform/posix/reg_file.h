/* The emulated registry's file: reading and parsing the exported text.
 * Private to the POSIX half. */
#pragma once

#include <map>
#include <stdint.h>
#include <string>

namespace platreg {

struct Value {
    uint32_t type = 0;
    std::string data; /* the bytes RegQueryValueExA would hand out */
};

/* What the file says about one key. Value names are upper-cased. */
struct KeySnapshot {
    bool exists = false;
    std::map<std::string, Value> values;
};

/* Upper-cases ASCII letters; other bytes are left as they are. */
std::string FoldCase(const std::string& text);

/* The file to read: $TW_REGISTRY_FILE, else /etc/twagent/registry.reg. */
std::string RegistryFilePath();

/* Reads the whole file into `bytes`; false when it cannot be read or is
 * larger than the emulation accepts. */
bool ReadRegistryFile(std::string* bytes);

/* Fills `out` with the key `path` (root name and sub-keys, '\\'-separated,
 * folded with FoldCase, no empty components) as the exported text `bytes`
 * describes it. Never fails: what cannot be parsed is skipped. */
void ParseRegistryText(const std::string& bytes, const std::string& path, KeySnapshot* out);

} // namespace platreg
