/* Files and directories. Paths are narrow strings in the system's code page. */
#ifndef PLATFORM_FILES_H
#define PLATFORM_FILES_H

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* errno-style results of PlatMakeDirectory, the same numbers on both halves. */
enum {
    PLAT_ENOENT = 2,  /* a parent directory is missing */
    PLAT_EACCES = 13, /* no permission */
    PLAT_EEXIST = 17, /* the path exists already */
    PLAT_ENOTDIR = 20 /* a component of the path is a file */
};

/* Creates one directory with default security: 0, or an errno number
 * (PLAT_EEXIST, PLAT_ENOENT, ...) that describes the failure. */
int PlatMakeDirectory(const char* path);

/* Opens a buffered stream with a C library mode ("w", "a+", "r", ...). Others
 * may read and write the file while it is open (not open it exclusively).
 * Null on failure. */
FILE* PlatOpenFile(const char* path, const char* mode);

/* The separator of path components: '\\' on Windows, '/' on POSIX. */
#ifdef _WIN32
#define PLAT_PATH_SEPARATOR "\\"
#else
#define PLAT_PATH_SEPARATOR "/"
#endif

/*
 * File handles with Windows' access and share modes. The POSIX half keeps
 * share modes with advisory whole-file locks (flock): a handle that shares
 * nothing holds an exclusive lock, any other handle with data access a shared
 * one, so an exclusive open fails while others hold the file and the other
 * way round, across processes too. Handles without data access take no lock,
 * as on Windows, where an exclusive handle does not keep them out. Deleting
 * is not checked against share modes on POSIX.
 *
 * Failures set the calling thread's last error (platform/error.h): 2 file not
 * found, 3 path not found, 32 sharing violation, 5 access denied, ...
 */
typedef struct PlatFile PlatFile;

/* Access. */
#define PLAT_FILE_READ 0x1u
#define PLAT_FILE_WRITE 0x2u
#define PLAT_FILE_READ_CONTROL 0x4u /* metadata only, no data access */

/* What others may do while the handle is open. */
#define PLAT_SHARE_NONE 0x0u
#define PLAT_SHARE_READ 0x1u
#define PLAT_SHARE_WRITE 0x2u
#define PLAT_SHARE_DELETE 0x4u

/* What to do with the file; both fail for a file that does not exist. */
#define PLAT_OPEN_EXISTING 3u
#define PLAT_TRUNCATE_EXISTING 5u /* empties it in place; needs write access */

/* Opens an existing file; null with the last error set. Directories open
 * too (for metadata), as with backup semantics on Windows. */
PlatFile* PlatOpenFileHandle(const char* path, uint32_t access, uint32_t share, uint32_t disposition);

/* The file's size in bytes: 1, or 0 with the last error set. */
int PlatGetFileSize(PlatFile* file, uint64_t* size);

/* Releases the handle (and its share lock). Null is allowed. */
void PlatCloseFileHandle(PlatFile* file);

/* Copies source to destination, replacing it unless failIfExists. Returns 1,
 * or 0 with the last error set; a failed copy leaves the source alone. */
int PlatCopyFile(const char* source, const char* destination, int failIfExists);

/* Deletes a file: 1, or 0 with the last error set. */
int PlatDeleteFile(const char* path);

/*
 * Directory search with a pattern of the form "<folder><separator><name>",
 * where the name may hold '*' (any run) and '?' (one character), compared
 * without regard to case, as the Windows file system does. "*.*" matches
 * every name, with or without a dot.
 */
#define PLAT_MAX_PATH 260

typedef struct PlatFindData {
    char name[PLAT_MAX_PATH]; /* entry name without folder */
    int isDirectory;
} PlatFindData;

typedef struct PlatFind PlatFind;

/* The first match into *data; null with the last error set (2 when nothing
 * matches, 3 when the folder does not exist). */
PlatFind* PlatFindFirstFile(const char* pattern, PlatFindData* data);

/* The next match: 1, or 0 with the last error set (18 after the last). */
int PlatFindNextFile(PlatFind* find, PlatFindData* data);

void PlatFindClose(PlatFind* find);

#ifdef __cplusplus
}
#endif
#endif
