/* Backup names, the prefix count of the logs folder, and file sizes. */
#include "names.h"

#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/error.h"
#include "platform/files.h"
#include "runtime/log.h"
#include "runtime/log_rotation.h"
#include "runtime/messages.h"

namespace rotation {

std::string JoinPath(const std::string& folder, const std::string& name)
{
    std::string path = folder;
    path.append(PLAT_PATH_SEPARATOR).append(name);
    return path;
}

std::string BaseName(const std::string& name)
{
    size_t at = name.find(".log");
    return at == std::string::npos ? name : name.substr(0, at);
}

} // namespace rotation

char* GetBackupLogName(const char* folder, const char* fileName, int index)
{
    if (!folder || !fileName)
        return nullptr;
    std::string name = rotation::BaseName(fileName);
    name.append(std::to_string(index)).append(".log");
    std::string path = rotation::JoinPath(folder, name);
    char* copy = static_cast<char*>(malloc(path.size() + 1));
    if (copy)
        memcpy(copy, path.c_str(), path.size() + 1);
    return copy;
}

int GetLogFileSize(const char* path, uint64_t* size)
{
    if (!path || !size) {
        PlatSetLastError(PLAT_ERROR_INVALID_PARAMETER);
        return 0;
    }
    *size = 0;
    PlatFile* file = PlatOpenFileHandle(path, PLAT_FILE_READ_CONTROL,
                                        PLAT_SHARE_READ | PLAT_SHARE_WRITE | PLAT_SHARE_DELETE, PLAT_OPEN_EXISTING);
    if (!file)
        return 0;
    int got = PlatGetFileSize(file, size);
    uint32_t error = PlatGetLastError();
    PlatCloseFileHandle(file);
    if (!got)
        PlatSetLastError(error);
    return got;
}

int FindNoOfRepeatedFileNames(const char* folder, const char* baseName)
{
    LogDebug("@@@@@@@@@@@@Inside FindNoOfRepeatedFileNames Method @@@@@@@@@\n");
    if (!folder || !baseName) {
        LogError("FindNumberOfRepeatedFileNames : Unable to find the files/folder.\n");
        return -1;
    }
    std::string pattern = rotation::JoinPath(folder, std::string(baseName) + "*.*");
    LogInfo("FindNoOfRepeatedFileNames : Successfully allocated szFormattedPath and the value is %s  .\n",
            pattern.c_str());

    PlatFindData entry;
    PlatFind* find = PlatFindFirstFile(pattern.c_str(), &entry);
    uint32_t error = find ? 0 : PlatGetLastError();
    /* A failed search is the invalid handle value, -1, as Windows shows it. */
    LogInfo("FindNoOfRepeatedFileNames : Successfully finded out first file  %d  .\n",
            find ? static_cast<int>(reinterpret_cast<intptr_t>(find)) : -1);

    int count;
    if (!find) {
        LogErrorMessage(error);
        LogError("FindNumberOfRepeatedFileNames : Unable to find the files/folder.\n");
        count = -1;
    } else {
        count = 0;
        do {
            if (count < INT_MAX)
                count++;
            LogInfo("FindNoOfRepeatedFileNames : after memset of szSrcPath is  %s  .\n",
                    rotation::JoinPath(folder, entry.name).c_str());
        } while (PlatFindNextFile(find, &entry));
        error = PlatGetLastError();
        PlatFindClose(find);
        if (error != PLAT_ERROR_NO_MORE_FILES) {
            LogErrorMessage(error);
            LogError("FindNumberOfRepeatedFileNames : Couldn't find next file :%d\n", static_cast<int>(error));
            count = -1;
        }
    }
    LogInfo("FindNoOfRepeatedFileNames : Going to Free the allocated memory in this method.\n");
    LogDebug("@@@@@@@@@@@@End of FindNoOfRepeatedFileNames Method with return value of No of file count : %d\t  "
             "@@@@@@@@@\n",
             count);
    return count;
}
