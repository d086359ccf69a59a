#include "platform/files.h"

#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <new>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"

/* Linux errno numbers are the numbers the callers expect (2, 13, 17, 20),
 * so they pass through unchanged. */
int PlatMakeDirectory(const char* path)
{
    if (!path || !*path)
        return PLAT_ENOENT;
    return mkdir(path, 0777) == 0 ? 0 : errno;
}

namespace {

/* Windows tells a missing file (2) from a missing folder on the way (3). */
void SetMissingPathError(const char* path)
{
    std::string parent(path);
    size_t slash = parent.find_last_of('/');
    if (slash == std::string::npos) {
        PlatSetLastError(PLAT_ERROR_FILE_NOT_FOUND);
        return;
    }
    parent.resize(slash == 0 ? 1 : slash);
    struct stat info;
    bool folderExists = stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    PlatSetLastError(folderExists ? PLAT_ERROR_FILE_NOT_FOUND : PLAT_ERROR_PATH_NOT_FOUND);
}

void SetErrorFromErrno(int errnum, const char* path)
{
    if (errnum == ENOENT && path)
        SetMissingPathError(path);
    else
        PlatSetLastError(PlatErrorFromErrno(errnum));
}

/* Takes the share lock of a handle: exclusive for one that shares nothing,
 * shared otherwise. False (sharing violation) when another handle's lock
 * is in the way. */
bool TakeShareLock(int fd, uint32_t share)
{
    int operation = (share == PLAT_SHARE_NONE ? LOCK_EX : LOCK_SH) | LOCK_NB;
    while (flock(fd, operation) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            PlatSetLastError(PLAT_ERROR_SHARING_VIOLATION);
        else
            PlatSetLastError(PlatErrorFromErrno(errno));
        return false;
    }
    return true;
}

} // namespace

FILE* PlatOpenFile(const char* path, const char* mode)
{
    if (!path || !mode)
        return nullptr;
    if (mode[0] == 'w') {
        /* Emptying waits until the share lock is ours: a file held
         * exclusively elsewhere must keep its content when the open fails,
         * as on Windows. */
        int fd = open(path, (strchr(mode, '+') ? O_RDWR : O_WRONLY) | O_CREAT, 0666);
        if (fd < 0)
            return nullptr;
        if (!TakeShareLock(fd, PLAT_SHARE_READ | PLAT_SHARE_WRITE)) {
            close(fd);
            errno = EBUSY;
            return nullptr;
        }
        FILE* stream = ftruncate(fd, 0) == 0 ? fdopen(fd, mode) : nullptr;
        if (!stream) {
            int errnum = errno;
            close(fd);
            errno = errnum;
        }
        return stream;
    }
    FILE* stream = fopen(path, mode);
    if (stream && !TakeShareLock(fileno(stream), PLAT_SHARE_READ | PLAT_SHARE_WRITE)) {
        fclose(stream);
        errno = EBUSY;
        return nullptr;
    }
    return stream;
}

struct PlatFile {
    int fd;
};

PlatFile* PlatOpenFileHandle(const char* path, uint32_t access, uint32_t share, uint32_t disposition)
{
    if (!path || (disposition != PLAT_OPEN_EXISTING && disposition != PLAT_TRUNCATE_EXISTING) ||
        (disposition == PLAT_TRUNCATE_EXISTING && !(access & PLAT_FILE_WRITE))) {
        PlatSetLastError(PLAT_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const bool dataAccess = (access & (PLAT_FILE_READ | PLAT_FILE_WRITE)) != 0;
    int flags = O_CLOEXEC;
    if ((access & PLAT_FILE_READ) && (access & PLAT_FILE_WRITE))
        flags |= O_RDWR;
    else if (access & PLAT_FILE_WRITE)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;

    int fd;
    do
        fd = open(path, flags);
    while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno == EISDIR) /* folders open for metadata */
        fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetErrorFromErrno(errno, path);
        return nullptr;
    }
    if (dataAccess && !TakeShareLock(fd, share)) {
        uint32_t error = PlatGetLastError();
        close(fd);
        PlatSetLastError(error);
        return nullptr;
    }
    if (disposition == PLAT_TRUNCATE_EXISTING && ftruncate(fd, 0) != 0) {
        int errnum = errno;
        close(fd);
        SetErrorFromErrno(errnum, nullptr);
        return nullptr;
    }
    auto* file = new (std::nothrow) PlatFile{fd};
    if (!file) {
        close(fd);
        PlatSetLastError(PLAT_ERROR_NOT_ENOUGH_MEMORY);
    }
    return file;
}

int PlatGetFileSize(PlatFile* file, uint64_t* size)
{
    struct stat info;
    if (!file || !size) {
        PlatSetLastError(PLAT_ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (fstat(file->fd, &info) != 0) {
        SetErrorFromErrno(errno, nullptr);
        return 0;
    }
    *size = S_ISDIR(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size);
    return 1;
}

void PlatCloseFileHandle(PlatFile* file)
{
    if (!file)
        return;
    close(file->fd); /* releases the share lock with it */
    delete file;
}

int PlatCopyFile(const char* source, const char* destination, int failIfExists)
{
    if (!source || !destination) {
        PlatSetLastError(PLAT_ERROR_INVALID_PARAMETER);
        return 0;
    }
    int in = open(source, O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        SetErrorFromErrno(errno, source);
        return 0;
    }
    struct stat info;
    if (fstat(in, &info) != 0) {
        SetErrorFromErrno(errno, nullptr);
        close(in);
        return 0;
    }
    if (S_ISDIR(info.st_mode)) {
        close(in);
        PlatSetLastError(PLAT_ERROR_ACCESS_DENIED);
        return 0;
    }
    if (!TakeShareLock(in, PLAT_SHARE_READ | PLAT_SHARE_WRITE)) {
        uint32_t error = PlatGetLastError();
        close(in);
        PlatSetLastError(error);
        return 0;
    }
    int outFlags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : 0);
    int out = open(destination, outFlags, info.st_mode & 0777);
    if (out < 0) {
        int errnum = errno;
        close(in);
        if (errnum == EEXIST)
            PlatSetLastError(80); /* ERROR_FILE_EXISTS */
        else
            SetErrorFromErrno(errnum, destination);
        return 0;
    }
    /* Truncate only once the destination is ours to write, so that a
     * destination held exclusively elsewhere keeps its content. */
    if (!TakeShareLock(out, PLAT_SHARE_READ) || ftruncate(out, 0) != 0) {
        uint32_t error = PlatGetLastError();
        close(in);
        close(out);
        PlatSetLastError(error);
        return 0;
    }
    char buffer[65536];
    for (;;) {
        ssize_t got = read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got < 0) {
                int errnum = errno;
                close(in);
                close(out);
                SetErrorFromErrno(errnum, nullptr);
                return 0;
            }
            break;
        }
        for (ssize_t done = 0; done < got;) {
            ssize_t put = write(out, buffer + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0) {
                int errnum = errno;
                close(in);
                close(out);
                SetErrorFromErrno(errnum, nullptr);
                return 0;
            }
            done += put;
        }
    }
    close(in);
    if (close(out) != 0) {
        SetErrorFromErrno(errno, nullptr);
        return 0;
    }
    return 1;
}

int PlatDeleteFile(const char* path)
{
    if (!path) {
        PlatSetLastError(PLAT_ERROR_INVALID_PARAMETER);
        return 0;
    }
    struct stat info;
    if (lstat(path, &info) == 0 && S_ISDIR(info.st_mode)) {
        PlatSetLastError(PLAT_ERROR_ACCESS_DENIED);
        return 0;
    }
    if (unlink(path) != 0) {
        SetErrorFromErrno(errno, path);
        return 0;
    }
    return 1;
}

/* ---- directory search ---- */

struct PlatFind {
    DIR* dir;
    std::string folder;
    std::string pattern; /* name part, wildcards kept */
};

namespace {

/* Matches name against pattern with '*' and '?', ignoring ASCII case. */
bool WildcardMatch(const char* pattern, const char* name)
{
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name) {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' ||
                   tolower(static_cast<unsigned char>(*pattern)) == tolower(static_cast<unsigned char>(*name))) {
            pattern++;
            name++;
        } else if (starPattern) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        pattern++;
    return *pattern == '\0';
}

/* Windows lets "x*.*" match "x" too: a final ".*" may match nothing. */
bool NameMatches(const std::string& pattern, const char* name)
{
    if (WildcardMatch(pattern.c_str(), name))
        return true;
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0)
        return WildcardMatch(pattern.substr(0, pattern.size() - 2).c_str(), name);
    return false;
}

/* The next entry of the search that matches; false at the end. */
bool NextMatch(PlatFind* find, PlatFindData* data)
{
    errno = 0;
    while (struct dirent* entry = readdir(find->dir)) {
        if (!NameMatches(find->pattern, entry->d_name))
            continue;
        size_t length = strlen(entry->d_name);
        if (length >= sizeof data->name)
            continue; /* longer than any Windows name; cannot be handed out */
        memcpy(data->name, entry->d_name, length + 1);
        std::string full = find->folder + "/" + entry->d_name;
        struct stat info;
        data->isDirectory = stat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        return true;
    }
    if (errno != 0)
        PlatSetLastError(PlatErrorFromErrno(errno));
    else
        PlatSetLastError(PLAT_ERROR_NO_MORE_FILES);
    return false;
}

} // namespace

PlatFind* PlatFindFirstFile(const char* pattern, PlatFindData* data)
{
    if (!pattern || !data) {
        PlatSetLastError(PLAT_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string whole(pattern);
    size_t slash = whole.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : whole.substr(0, slash == 0 ? 1 : slash);
    std::string name = slash == std::string::npos ? whole : whole.substr(slash + 1);
    if (name.empty()) {
        PlatSetLastError(PLAT_ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        PlatSetLastError(errno == ENOENT || errno == ENOTDIR ? static_cast<uint32_t>(PLAT_ERROR_PATH_NOT_FOUND)
                                                             : PlatErrorFromErrno(errno));
        return nullptr;
    }
    auto* find = new (std::nothrow) PlatFind{dir, folder, name};
    if (!find) {
        closedir(dir);
        PlatSetLastError(PLAT_ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!NextMatch(find, data)) {
        uint32_t error = PlatGetLastError();
        PlatFindClose(find);
        PlatSetLastError(error == PLAT_ERROR_NO_MORE_FILES ? static_cast<uint32_t>(PLAT_ERROR_FILE_NOT_FOUND) : error);
        return nullptr;
    }
    return find;
}

int PlatFindNextFile(PlatFind* find, PlatFindData* data)
{
    if (!find || !data) {
        PlatSetLastError(PLAT_ERROR_INVALID_HANDLE);
        return 0;
    }
    return NextMatch(find, data) ? 1 : 0;
}

void PlatFindClose(PlatFind* find)
{
    if (!find)
        return;
    closedir(find->dir);
    delete find;
}
