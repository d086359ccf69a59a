/* The emulated registry: a key handle is a snapshot of one key, taken from
 * the registry file when the key is opened. */
#include "platform/registry.h"

#include <new>
#include <string.h>

#include "platform/error.h"
#include "reg_file.h"

struct PlatRegKey {
    std::string path; /* folded, e.g. "HKEY_LOCAL_MACHINE\SOFTWARE" */
    platreg::KeySnapshot snapshot;
};

namespace {

const char* PredefinedName(PlatHKey key)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(key);
    switch (value) {
    case 0x80000000u:
        return "HKEY_CLASSES_ROOT";
    case 0x80000001u:
        return "HKEY_CURRENT_USER";
    case 0x80000002u:
        return "HKEY_LOCAL_MACHINE";
    case 0x80000003u:
        return "HKEY_USERS";
    case 0x80000005u:
        return "HKEY_CURRENT_CONFIG";
    default:
        return nullptr;
    }
}

/* Appends the non-empty components of `subKey` to `path`, folded. */
void AppendSubKey(std::string* path, const char* subKey)
{
    std::string folded = platreg::FoldCase(subKey ? subKey : "");
    size_t start = 0;
    while (start <= folded.size()) {
        size_t end = folded.find('\\', start);
        if (end == std::string::npos)
            end = folded.size();
        if (end > start) {
            *path += '\\';
            path->append(folded, start, end - start);
        }
        start = end + 1;
    }
}

uint32_t OpenKey(PlatHKey root, const char* subKey, PlatHKey* key)
{
    std::string path;
    if (const char* name = PredefinedName(root))
        path = name;
    else
        path = root->path;
    size_t rootLength = path.size();
    AppendSubKey(&path, subKey);

    PlatRegKey* opened = new PlatRegKey;
    opened->path = path;
    std::string bytes;
    if (platreg::ReadRegistryFile(&bytes) && !platreg::ParseRegistryText(bytes, path, &opened->snapshot))
        platreg::NoteFileProblem("registry file %s is not a registry export (its first line is neither \"%s\" "
                                 "nor \"%s\"); the machine has no registry keys",
                                 platreg::RegistryFilePath().c_str(), "Windows Registry Editor Version 5.00",
                                 "REGEDIT4");
    /* Opening a key again (no sub-key) always works, as on Windows: the root
     * keys exist without a file, and an open key stays valid after its
     * file changes. */
    if (path.size() == rootLength)
        opened->snapshot.exists = true;
    if (!opened->snapshot.exists) {
        delete opened;
        return PLAT_ERROR_FILE_NOT_FOUND;
    }
    *key = opened;
    return PLAT_ERROR_SUCCESS;
}

} // namespace

uint32_t PlatRegOpenKey(PlatHKey root, const char* subKey, PlatHKey* key)
{
    if (!key)
        return PLAT_ERROR_INVALID_PARAMETER;
    *key = nullptr;
    if (!root)
        return PLAT_ERROR_INVALID_HANDLE;
    try {
        return OpenKey(root, subKey, key);
    } catch (const std::bad_alloc&) {
        return PLAT_ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return PLAT_ERROR_INTERNAL_ERROR;
    }
}

uint32_t PlatRegQueryValue(PlatHKey key, const char* name, uint32_t* type, void* data, uint32_t* size)
{
    if (!key)
        return PLAT_ERROR_INVALID_HANDLE;
    if (PredefinedName(key)) {
        /* Windows reads values of a root key directly: open, read, close. */
        PlatHKey opened = nullptr;
        uint32_t result = PlatRegOpenKey(key, nullptr, &opened);
        if (result != PLAT_ERROR_SUCCESS)
            return result;
        result = PlatRegQueryValue(opened, name, type, data, size);
        PlatRegCloseKey(opened);
        return result;
    }
    if (data && !size)
        return PLAT_ERROR_INVALID_PARAMETER;
    try {
        auto found = key->snapshot.values.find(platreg::FoldCase(name ? name : ""));
        if (found == key->snapshot.values.end())
            return PLAT_ERROR_FILE_NOT_FOUND;
        const platreg::Value& value = found->second;
        if (value.data.size() > UINT32_MAX)
            return PLAT_ERROR_INVALID_DATA;
        uint32_t needed = static_cast<uint32_t>(value.data.size());
        if (type)
            *type = value.type;
        if (data) {
            if (*size < needed) {
                *size = needed;
                return PLAT_ERROR_MORE_DATA;
            }
            memcpy(data, value.data.data(), needed);
        }
        if (size)
            *size = needed;
        return PLAT_ERROR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return PLAT_ERROR_NOT_ENOUGH_MEMORY;
    }
}

uint32_t PlatRegCloseKey(PlatHKey key)
{
    if (!key)
        return PLAT_ERROR_INVALID_HANDLE;
    if (!PredefinedName(key))
        delete key;
    return PLAT_ERROR_SUCCESS;
}

const char* PlatRegFileProblem(void) { return platreg::FileProblem(); }
