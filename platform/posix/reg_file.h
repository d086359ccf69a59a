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
 * larger than the emulation accepts. A file that exists but cannot be read
 * or is too large, and a missing file that TW_REGISTRY_FILE names, is noted
 * with NoteFileProblem (a missing default file is a machine without keys). */
bool ReadRegistryFile(std::string* bytes);

/* Fills `out` with the key `path` (root name and sub-keys, '\\'-separated,
 * folded with FoldCase, no empty components) as the exported text `bytes`
 * describes it. What cannot be parsed is skipped; false (and `out` empty)
 * only when the text is no registry export at all: its first non-empty line
 * is neither header. */
bool ParseRegistryText(const std::string& bytes, const std::string& path, KeySnapshot* out);

/* Notes that the registry file is unusable and why: one line naming the file,
 * without a line end. Only the first note of the process is kept, so a file
 * read by every open is reported once. Thread-safe. */
void NoteFileProblem(const char* format, ...) __attribute__((format(printf, 1, 2)));

/* The note kept by NoteFileProblem, or null when there was none. */
const char* FileProblem();

} // namespace platreg
