#include "platform/files.h"

#include <new>
#include <share.h>
#include <string.h>
#include <windows.h>

/* Maps the system error of a failed CreateDirectoryA to the errno number
 * that the C library would report for it. */
static int ErrnoFromSystemError(DWORD error)
{
    switch (error) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return PLAT_EEXIST;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return PLAT_ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return PLAT_EACCES;
    case ERROR_DIRECTORY:
        return PLAT_ENOTDIR;
    default:
        return PLAT_EACCES;
    }
}

int PlatMakeDirectory(const char* path)
{
    if (!path || !*path)
        return PLAT_ENOENT;
    return CreateDirectoryA(path, nullptr) ? 0 : ErrnoFromSystemError(GetLastError());
}

FILE* PlatOpenFile(const char* path, const char* mode)
{
    if (!path || !mode)
        return nullptr;
    /* Shared for reading and writing, so that log rotation and people with an
     * editor can look at a file the agent keeps open. */
    return _fsopen(path, mode, _SH_DENYNO);
}

struct PlatFile {
    HANDLE handle;
};

PlatFile* PlatOpenFileHandle(const char* path, uint32_t access, uint32_t share, uint32_t disposition)
{
    DWORD desired = 0;
    if (access & PLAT_FILE_READ)
        desired |= GENERIC_READ;
    if (access & PLAT_FILE_WRITE)
        desired |= GENERIC_WRITE;
    if (access & PLAT_FILE_READ_CONTROL)
        desired |= READ_CONTROL;
    DWORD shareMode = 0;
    if (share & PLAT_SHARE_READ)
        shareMode |= FILE_SHARE_READ;
    if (share & PLAT_SHARE_WRITE)
        shareMode |= FILE_SHARE_WRITE;
    if (share & PLAT_SHARE_DELETE)
        shareMode |= FILE_SHARE_DELETE;
    DWORD how = disposition == PLAT_TRUNCATE_EXISTING ? TRUNCATE_EXISTING : OPEN_EXISTING;
    HANDLE handle = CreateFileA(path, desired, shareMode, nullptr, how,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    auto* file = new (std::nothrow) PlatFile{handle};
    if (!file) {
        CloseHandle(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return file;
}

int PlatGetFileSize(PlatFile* file, uint64_t* size)
{
    if (!file || !size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    LARGE_INTEGER value;
    if (!GetFileSizeEx(file->handle, &value))
        return 0;
    *size = static_cast<uint64_t>(value.QuadPart);
    return 1;
}

void PlatCloseFileHandle(PlatFile* file)
{
    if (!file)
        return;
    CloseHandle(file->handle);
    delete file;
}

int PlatCopyFile(const char* source, const char* destination, int failIfExists)
{
    return CopyFileA(source, destination, failIfExists ? TRUE : FALSE) ? 1 : 0;
}

int PlatDeleteFile(const char* path) { return DeleteFileA(path) ? 1 : 0; }

struct PlatFind {
    HANDLE handle;
};

static void CopyFindData(const WIN32_FIND_DATAA& found, PlatFindData* data)
{
    strncpy(data->name, found.cFileName, sizeof data->name - 1);
    data->name[sizeof data->name - 1] = '\0';
    data->isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

PlatFind* PlatFindFirstFile(const char* pattern, PlatFindData* data)
{
    if (!pattern || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    WIN32_FIND_DATAA found;
    HANDLE handle = FindFirstFileA(pattern, &found);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    auto* find = new (std::nothrow) PlatFind{handle};
    if (!find) {
        FindClose(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    CopyFindData(found, data);
    return find;
}

int PlatFindNextFile(PlatFind* find, PlatFindData* data)
{
    if (!find || !data) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    WIN32_FIND_DATAA found;
    if (!FindNextFileA(find->handle, &found))
        return 0;
    CopyFindData(found, data);
    return 1;
}

void PlatFindClose(PlatFind* find)
{
    if (!find)
        return;
    FindClose(find->handle);
    delete find;
}
