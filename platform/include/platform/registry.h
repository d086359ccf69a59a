/*
 * Reading the registry. Keys are opened for query only; nothing is written.
 *
 * Windows: RegOpenKeyExA / RegQueryValueExA, without a registry-view flag, so
 * a 32-bit program sees the 32-bit view of a 64-bit system.
 *
 * POSIX: an emulated registry held in a text file in the format that the
 * Windows registry editor exports ("Windows Registry Editor Version 5.00" in
 * UTF-16LE with a byte-order mark, or "REGEDIT4" in plain text). The file is
 * named by the environment variable TW_REGISTRY_FILE, else it is
 * /etc/twagent/registry.reg. It is read afresh by every PlatRegOpenKey, and
 * the opened key is a snapshot of that moment: changing the file or the
 * variable affects the next open, never a key that is open. A file that
 * cannot be read, or that lacks the header line, is a registry without keys;
 * a malformed line in it is skipped. Key and value names compare without
 * regard to ASCII case, as on Windows. A key exists when the file has a
 * section for it or for a key below it.
 *
 * Results are Windows system error codes on both halves: 0, 2 for a missing
 * key or value, 234 when a value does not fit the buffer, 6 for a bad handle,
 * 87 for bad arguments, 8 when memory runs out.
 */
#ifndef PLATFORM_REGISTRY_H
#define PLATFORM_REGISTRY_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* An open key or one of the predefined root keys. */
typedef struct PlatRegKey* PlatHKey;

#define PLAT_HKEY_CLASSES_ROOT ((PlatHKey)(uintptr_t)0x80000000u)
#define PLAT_HKEY_CURRENT_USER ((PlatHKey)(uintptr_t)0x80000001u)
#define PLAT_HKEY_LOCAL_MACHINE ((PlatHKey)(uintptr_t)0x80000002u)
#define PLAT_HKEY_USERS ((PlatHKey)(uintptr_t)0x80000003u)
#define PLAT_HKEY_CURRENT_CONFIG ((PlatHKey)(uintptr_t)0x80000005u)

/* Value types, numbered as on Windows. */
enum {
    PLAT_REG_NONE = 0,
    PLAT_REG_SZ = 1,
    PLAT_REG_EXPAND_SZ = 2,
    PLAT_REG_BINARY = 3,
    PLAT_REG_DWORD = 4,
    PLAT_REG_DWORD_BIG_ENDIAN = 5,
    PLAT_REG_LINK = 6,
    PLAT_REG_MULTI_SZ = 7,
    PLAT_REG_QWORD = 11
};

/* Opens `subKey` ('\\'-separated, may be null or empty for `root` itself)
 * below `root` with query access. On success *key receives a handle that
 * PlatRegCloseKey releases. */
uint32_t PlatRegOpenKey(PlatHKey root, const char* subKey, PlatHKey* key);

/*
 * Reads the value `name` of an open key (null or "" for the default value),
 * like RegQueryValueExA. `type` may be null. With `data` null, *size receives
 * the value's size in bytes. With `data`, *size gives the buffer's size: a
 * value that fits is copied and *size set to its size; a larger one gives 234
 * with *size set to the size needed and the buffer left alone. String values
 * are returned in the system's ANSI code page (UTF-8 on POSIX), with their
 * terminator if they were stored with one.
 */
uint32_t PlatRegQueryValue(PlatHKey key, const char* name, uint32_t* type, void* data, uint32_t* size);

/* Releases a key from PlatRegOpenKey; predefined keys are left alone. */
uint32_t PlatRegCloseKey(PlatHKey key);

/* Why the registry could not be read, as one line of text without a line
 * end, or null. Only the POSIX emulation has such a reason: its file exists
 * but cannot be read, is too large, or is no registry export (or the file
 * TW_REGISTRY_FILE names does not exist). The first reason of the process is
 * kept, so a program can report it once, at its end; Windows always answers
 * null. */
const char* PlatRegFileProblem(void);

#ifdef __cplusplus
}
#endif
#endif
