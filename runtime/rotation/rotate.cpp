/* The size check and the shift of numbered backups. */
#include <atomic>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

#include "names.h"
#include "platform/error.h"
#include "platform/files.h"
#include "runtime/log.h"
#include "runtime/log_rotation.h"
#include "runtime/messages.h"
#include "runtime/registry.h"

namespace {

std::atomic<LogFileSizeSource> g_sizeSource{nullptr};

/* Backup `index` of `name`; empty when memory runs out (the copy or delete
 * on it then fails and is logged like any other). */
std::string Backup(const std::string& folder, const char* name, int index)
{
    char* path = GetBackupLogName(folder.c_str(), name, index);
    std::string result = path ? path : "";
    free(path);
    return result;
}

/* Deletes a backup while shifting (one blank before the colon). */
void DeleteBackup(const std::string& path)
{
    if (PlatDeleteFile(path.c_str()))
        LogInfo("RotateSpecificLogs : The file %s was successfully deleted..:\n", path.c_str());
    else
        LogInfo("RotateSpecificLogs : Unable to delete the file %s and the error code is :%d\n", path.c_str(),
                static_cast<int>(PlatGetLastError()));
}

/* Deletes a live file of mode 0 (two blanks before the colon). */
void DeleteLiveFile(const std::string& path)
{
    if (PlatDeleteFile(path.c_str()))
        LogInfo("RotateSpecificLogs : The file %s was successfully deleted..:\n", path.c_str());
    else
        LogInfo("RotateSpecificLogs : Unable to delete the file %s and the error code is  :%d\n", path.c_str(),
                static_cast<int>(PlatGetLastError()));
}

/*
 * Copies the live file to backup 1 and empties it in place. The logger's key
 * is held from the start of the copy to the end of the emptying, so every
 * line of its writers lies wholly in the backup or wholly in the emptied
 * file: none ends up in both, none falls between the two, none is cut. The
 * writers wait for the length of one copy.
 *
 * Nothing may be logged while the key is held (the lock is not re-entrant:
 * the writer would wait for itself), so the outcome is logged afterwards.
 */
void MoveLiveFileToBackup(const std::string& live, const std::string& target)
{
    const void* key = std::atomic_ref<char*>(gv_logConfig.lockKey).load(std::memory_order_acquire);
    /* A key that cannot be locked (reported by the lock itself) leaves the
     * live file full: its lines then stand twice, but none is lost. */
    const bool locked = key && LockObject(key) == OBJECT_LOCK_HELD;
    const bool mayEmpty = !key || locked;

    const bool copied = PlatCopyFile(live.c_str(), target.c_str(), 0) != 0;
    uint32_t error = copied ? 0 : PlatGetLastError();
    bool emptied = false;
    if (copied && mayEmpty) {
        PlatFile* file =
            PlatOpenFileHandle(live.c_str(), PLAT_FILE_READ | PLAT_FILE_WRITE,
                               PLAT_SHARE_READ | PLAT_SHARE_WRITE | PLAT_SHARE_DELETE, PLAT_TRUNCATE_EXISTING);
        error = file ? 0 : PlatGetLastError();
        PlatCloseFileHandle(file);
        emptied = file != nullptr;
        /* A log opened with "w" (not appending) writes at its own offset:
         * bring it to the new end, or its next line would follow a hole of
         * zero bytes. An appending stream, or one on another file, is
         * already at its end. */
        if (emptied && key)
            if (FILE* stream = std::atomic_ref<FILE*>(gv_logFilePtr).load(std::memory_order_acquire))
                fseek(stream, 0, SEEK_END);
    }
    if (locked)
        UnlockObject(key);

    if (!copied) {
        LogInfo("RotateSpecificLogs : Copying the live file %s to %s failed with the error code %d \n", live.c_str(),
                target.c_str(), static_cast<int>(error));
        return;
    }
    LogInfo("RotateSpecificLogs : Live file %s copied to %s; it is emptied now. \n", live.c_str(), target.c_str());
    if (!mayEmpty)
        printf("RotateSpecificLogs : The file %s is not emptied as the log's lock cannot be taken \n", live.c_str());
    else if (!emptied)
        printf("RotateSpecificLogs : Unable to empty the file %s and the error code is %d \n", live.c_str(),
               static_cast<int>(error));
}

/* Mode 0 measures a closed file under an exclusive handle. False: skip the
 * name (not there, held elsewhere, or its size unknown). */
bool MeasureClosedFile(const std::string& path, uint64_t* size)
{
    PlatFile* file =
        PlatOpenFileHandle(path.c_str(), PLAT_FILE_READ | PLAT_FILE_WRITE, PLAT_SHARE_NONE, PLAT_OPEN_EXISTING);
    if (!file) {
        LogError("RotateSpecificLogs : hFile is NULL or not AVAILABLE (Errorcode : %d) for the file name %s . \n",
                 static_cast<int>(PlatGetLastError()), path.c_str());
        return false;
    }
    LogFileSizeSource measure = g_sizeSource.load();
    bool known = (measure ? measure : GetLogFileSize)(path.c_str(), size) != 0;
    if (known) {
        LogInfo("RotateSpecificLogs : Sucessfully got the %s File size = %lld \n", path.c_str(),
                static_cast<long long>(*size));
    } else {
        LogInfo("RotateSpecificLogs : The %s File size detection is failed and the error code is %d \n", path.c_str(),
                static_cast<int>(PlatGetLastError()));
        /* A file we cannot measure may still hold the only copy of its lines:
         * leave it for a later pass rather than delete it. */
        LogInfo("RotateSpecificLogs : The file %s is kept as its size is unknown \n", path.c_str());
        *size = 0;
    }
    PlatCloseFileHandle(file);
    return known;
}

/* Shifts the backups of `name` up by one and moves the live file to backup
 * 1; `count` is the number of entries that start with the base name. */
void ShiftBackups(const std::string& folder, const char* name, const std::string& live, int count, int maxFiles,
                  int mode)
{
    int i = count;
    do {
        int next = i - 1;
        std::string source = Backup(folder, name, i - 1);
        LogInfo("RotateSpecificLogs : The tempFileName1 : %s . \n", source.c_str());
        if (i >= maxFiles) {
            DeleteBackup(source);
            i = maxFiles - 1;
            next = i - 1;
            source = Backup(folder, name, maxFiles - 2);
        }
        std::string target = Backup(folder, name, i);
        LogInfo("RotateSpecificLogs : The tempFileName2 : %s . \n", target.c_str());
        if (i != 1) {
            if (!PlatCopyFile(source.c_str(), target.c_str(), 0)) {
                LogInfo("RotateSpecificLogs : CopyFile failed to move from %s to  %s and the error code is %d \n",
                        source.c_str(), target.c_str(), static_cast<int>(PlatGetLastError()));
            } else {
                LogInfo("RotateSpecificLogs : File copied from %s to  %s . \n", source.c_str(), target.c_str());
                DeleteBackup(source);
            }
        } else if (mode != 0) {
            MoveLiveFileToBackup(live, target);
        } else if (!PlatCopyFile(live.c_str(), target.c_str(), 0)) {
            LogInfo("RotateSpecificLogs : CopyFile failed to move from %s to  %s and the error code is %d \n",
                    live.c_str(), target.c_str(), static_cast<int>(PlatGetLastError()));
        } else {
            LogInfo("RotateSpecificLogs : File successfully copied from %s to  %s . \n", live.c_str(), target.c_str());
            DeleteLiveFile(live);
        }
        i = next;
    } while (i >= 1);
}

} // namespace

void SetLogFileSizeSource(LogFileSizeSource source) { g_sizeSource.store(source); }

int CheckLogSizeReached(const char* path, uint32_t sizeLimit)
{
    uint64_t size = 0;
    PlatFile* file = path
        ? PlatOpenFileHandle(path, PLAT_FILE_READ | PLAT_FILE_WRITE,
                             PLAT_SHARE_READ | PLAT_SHARE_WRITE | PLAT_SHARE_DELETE, PLAT_OPEN_EXISTING)
        : nullptr;
    if (!file) {
        uint32_t error = path ? PlatGetLastError() : static_cast<uint32_t>(PLAT_ERROR_INVALID_PARAMETER);
        LogError("CheckLogSizeReached : Unable to get the file handle \n");
        LogErrorMessageTrimmed(error);
    } else {
        if (!PlatGetFileSize(file, &size)) {
            LogError("CheckLogSizeReached : Error occurred in getting the size %d \n",
                     static_cast<int>(PlatGetLastError()));
            size = 0;
        }
        PlatCloseFileHandle(file);
    }
    LogInfo("CheckLogSizeReached : The log file size of %s is given by %ld \n", path ? path : "",
            static_cast<long>(static_cast<int32_t>(size)));
    if (size >= sizeLimit) {
        LogInfo("CheckLogSizeReached : The size is greater than the given size .........\n");
        return 1;
    }
    LogDebug("CheckLogSizeReached : The size is less the required size \n");
    return 0;
}

uint32_t RotateLoggerForEverRunningProcess(const char* folder, const char* fileName, int maxFiles, uint32_t sizeLimit)
{
    if (!fileName)
        return 0;
    std::string folderWithSeparator;
    if (folder) {
        folderWithSeparator = folder;
        folderWithSeparator.append(PLAT_PATH_SEPARATOR);
    } else {
        folderWithSeparator = gv_agentInstallDir ? gv_agentInstallDir : "";
        folderWithSeparator.append("logs" PLAT_PATH_SEPARATOR);
    }
    std::string path = folderWithSeparator + fileName;
    LogInfo("RotateLoggerForEverRunningProcess : cSfileName : %s \n", path.c_str());
    if (CheckLogSizeReached(path.c_str(), sizeLimit) != 1)
        return 0;
    /* The list is cut in place: hand it a copy of the caller's name. */
    std::string names = fileName;
    return RotateSpecificLogs(folderWithSeparator.c_str(), names.data(), maxFiles, sizeLimit, 1);
}

uint32_t RotateSpecificLogs(const char* folder, char* names, int maxFiles, uint32_t sizeLimit, int mode)
{
    LogInfo("\n @@@@@@@@@@@@@@@Inside RotateSpecificLogs Method @@@@@@@@@@@@@\n");
    std::string logsFolder;
    if (folder) {
        logsFolder = folder;
    } else {
        char* installDir = nullptr;
        uint32_t error = ReadAgentInstallDir(&installDir);
        if (error != 0) {
            free(installDir);
            printf("RotateSpecificLogs : Unable to get the agent installed directory %d \n", static_cast<int>(error));
            return error;
        }
        logsFolder = std::string(installDir ? installDir : "") + "logs" PLAT_PATH_SEPARATOR;
        free(installDir);
    }
    /* Fewer than one file would make the shift's arithmetic run below the
     * smallest index. */
    if (maxFiles < 1)
        maxFiles = 1;

    char* cursor = names;
    while (cursor && *cursor) {
        char* name = cursor;
        char* end = strchr(cursor, ';');
        if (end) {
            *end = '\0';
            cursor = end + 1;
        } else {
            cursor = nullptr;
        }
        if (!*name)
            continue;

        LogInfo("RotateSpecificLogs : Log File Name : %s\n", name);
        std::string live = rotation::JoinPath(logsFolder, name);
        uint64_t size = 0;
        if (mode == 0 && !MeasureClosedFile(live, &size))
            continue;
        if (!(size > sizeLimit || mode == 1))
            continue;

        int count = FindNoOfRepeatedFileNames(logsFolder.c_str(), rotation::BaseName(name).c_str());
        LogInfo("RotateSpecificLogs : The return Value from FindNumberOfRepeatedFileNames method is : %d \n", count);
        ShiftBackups(logsFolder, name, live, count, maxFiles, mode);
    }
    LogInfo("\n @@@@@@@@@@@@@@@ End of RotateSpecificLogs Method with error code %d @@@@@@@@@@@@@\n", 0);
    return 0;
}
