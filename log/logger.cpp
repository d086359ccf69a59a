/*
 * The process-wide logger: configuration, open and close lines, and the four
 * level writers.
 */
#include "runtime/log.h"

#include <atomic>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/thread.h"

LogConfig gv_logConfig;
FILE* gv_logFilePtr;
char* gv_velmoraRoot;

namespace {

/* The stream, the level and the lock key are read by writers on any thread
 * (the rotation timer's among them) while the main thread opens, configures
 * and closes the log; they are read and written as atomics. The stream is
 * published last, once the open line is written, so a writer that sees it
 * sees the rest of the configuration too. */
template <typename T> T LoadShared(T& member) { return std::atomic_ref<T>(member).load(std::memory_order_acquire); }
template <typename T> void StoreShared(T& member, T value)
{
    std::atomic_ref<T>(member).store(value, std::memory_order_release);
}

/* Where a log goes when neither a directory nor the library root is set:
 * one level up from the current directory. */
const char kFallbackLogDirectory[] = "../logs";

/* Length of "2024-03-05 09:04:07:045". */
const size_t kTimeStampLength = 23;

char* CopyText(const char* text)
{
    if (!text)
        return nullptr;
    size_t size = strlen(text) + 1;
    char* copy = static_cast<char*>(malloc(size));
    if (copy)
        memcpy(copy, text, size);
    return copy;
}

/* Replaces *member with a copy of text; false when the copy fails, leaving
 * the member empty. A null text clears the member. */
bool ReplaceText(char** member, const char* text)
{
    free(*member);
    *member = nullptr;
    if (!text)
        return true;
    *member = CopyText(text);
    return *member != nullptr;
}

/* "path/name", or null when it cannot be allocated. */
char* JoinPath(const char* directory, const char* name)
{
    size_t size = strlen(directory) + 1 + strlen(name) + 1;
    char* path = static_cast<char*>(malloc(size));
    if (path)
        snprintf(path, size, "%s/%s", directory, name);
    return path;
}

/* Writes `value` as exactly `digits` decimal digits, keeping the low ones. */
char* PutDigits(char* out, unsigned value, int digits)
{
    for (int i = digits - 1; i >= 0; i--) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + digits;
}

/* "2024-03-05 09:04:07:045" into out[kTimeStampLength + 1]. Fields within
 * their ranges print as the format "%d-%02d-%02d %02d:%02d:%02d:%03d" would;
 * out-of-range fields are left to snprintf, bounded by the buffer. */
void FormatTimeStamp(char* out)
{
    PlatLocalTime now;
    PlatGetLocalTime(&now);
    if (now.year < 1000 || now.year > 9999 || now.month < 0 || now.month > 99 || now.day < 0 || now.day > 99 ||
        now.hour < 0 || now.hour > 99 || now.minute < 0 || now.minute > 99 || now.second < 0 || now.second > 99 ||
        now.millisecond < 0 || now.millisecond > 999) {
        snprintf(out, kTimeStampLength + 1, "%d-%02d-%02d %02d:%02d:%02d:%03d", now.year, now.month, now.day, now.hour,
                 now.minute, now.second, now.millisecond);
        return;
    }
    char* p = PutDigits(out, static_cast<unsigned>(now.year), 4);
    *p++ = '-';
    p = PutDigits(p, static_cast<unsigned>(now.month), 2);
    *p++ = '-';
    p = PutDigits(p, static_cast<unsigned>(now.day), 2);
    *p++ = ' ';
    p = PutDigits(p, static_cast<unsigned>(now.hour), 2);
    *p++ = ':';
    p = PutDigits(p, static_cast<unsigned>(now.minute), 2);
    *p++ = ':';
    p = PutDigits(p, static_cast<unsigned>(now.second), 2);
    *p++ = ':';
    p = PutDigits(p, static_cast<unsigned>(now.millisecond), 3);
    *p = '\0';
}

/* Writes `value` in decimal, as "%d" would; returns the end. */
char* PutInteger(char* out, int value)
{
    char digits[12];
    int count = 0;
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0)
        *out++ = '-';
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

/* Writes "[ <time> ] [ <thread> ] <tag> " followed by the message. The line
 * is composed on the stack and handed to the stream in one piece, so that
 * it costs one stream call besides the flush and no allocation; a message
 * too long for the buffer follows its prefix in a second call. */
void WriteLine(FILE* stream, const char* tag, const char* format, va_list args)
{
    char line[1024];
    char* p = line;
    *p++ = '[';
    *p++ = ' ';
    FormatTimeStamp(p);
    p += strlen(p);
    memcpy(p, " ] [ ", 5);
    p = PutInteger(p + 5, static_cast<int>(PlatCurrentThreadId()));
    memcpy(p, " ] ", 3);
    p += 3;
    size_t tagLength = strlen(tag); /* one of the four tags */
    memcpy(p, tag, tagLength);
    p += tagLength;
    *p++ = ' ';
    const size_t prefixLength = static_cast<size_t>(p - line);
    const size_t room = sizeof line - prefixLength;

    va_list copy;
    va_copy(copy, args);
    int length = vsnprintf(p, room, format, copy);
    va_end(copy);
    if (length >= 0 && static_cast<size_t>(length) < room) {
        fwrite(line, 1, prefixLength + static_cast<size_t>(length), stream);
    } else {
        fwrite(line, 1, prefixLength, stream);
        vfprintf(stream, format, args);
    }
    fflush(stream);
}

void WriteUnlockedLine(FILE* stream, const char* tag, const char* format, ...) TW_PRINTF_FORMAT(3, 4);
void WriteUnlockedLine(FILE* stream, const char* tag, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteLine(stream, tag, format, args);
    va_end(args);
}

int WriteLevel(int threshold, const char* tag, const char* format, va_list args)
{
    if (!LoadShared(gv_logFilePtr))
        return 0;
    unsigned level = LoadShared(gv_logConfig.level);
    if (level == 0 || level < static_cast<unsigned>(threshold))
        return 0;
    const void* key = LoadShared(gv_logConfig.lockKey);
    if (!key)
        return 0;
    /* A lock that cannot be taken has been reported; the line is still
     * written rather than lost. */
    bool locked = LockObject(key) == OBJECT_LOCK_HELD;
    /* The log may have been closed while this thread waited for the key. */
    if (FILE* stream = LoadShared(gv_logFilePtr))
        WriteLine(stream, tag, format, args);
    if (locked)
        UnlockObject(key);
    return 0;
}

int OpenWithMode(const char* mode)
{
    if (LoadShared(gv_logFilePtr)) {
        LogTrace("gv_logFilePtr already Set\n");
        return 1;
    }
    if (!gv_logConfig.fileName)
        return 0;

    char* path;
    if (gv_logConfig.directory) {
        MakeDirectoryTree(gv_logConfig.directory);
        path = JoinPath(gv_logConfig.directory, gv_logConfig.fileName);
    } else if (gv_velmoraRoot) {
        char* logs = JoinPath(gv_velmoraRoot, "logs");
        if (!logs)
            return 0;
        MakeDirectoryTree(logs);
        path = JoinPath(logs, gv_logConfig.fileName);
        free(logs);
    } else {
        MakeDirectory(kFallbackLogDirectory);
        path = JoinPath(kFallbackLogDirectory, gv_logConfig.fileName);
    }
    if (!path)
        return 0;
    free(gv_logConfig.fullPath);
    gv_logConfig.fullPath = path;

    /* Under the key, when there is one: a rotation pass on the timer thread
     * may be copying and emptying this very file. The open line is written
     * before the stream is published, so no writer comes between. */
    const void* key = LoadShared(gv_logConfig.lockKey);
    const bool locked = key && LockObject(key) == OBJECT_LOCK_HELD;
    FILE* stream = PlatOpenFile(path, mode);
    if (stream) {
        char* stamp = GetLogTimeStamp();
        WriteUnlockedLine(stream, "[INFO]", "Log open time: %s\n", stamp ? stamp : "(null)");
        free(stamp);
        StoreShared(gv_logFilePtr, stream);
    }
    if (locked)
        UnlockObject(key);
    return stream ? 1 : 0;
}

} // namespace

int InitLogDefaults(void)
{
    FILE* open = LoadShared(gv_logFilePtr);
    if (!open && !gv_logConfig.fileName) {
        gv_logConfig.fileName = CopyText(LOG_DEFAULT_FILE_NAME);
        if (!gv_logConfig.fileName)
            return 0;
        free(LoadShared(gv_logConfig.lockKey));
        StoreShared(gv_logConfig.lockKey, static_cast<char*>(calloc(1, 1)));
        free(gv_logConfig.directory);
        gv_logConfig.directory = nullptr;
        free(gv_logConfig.fullPath);
        gv_logConfig.fullPath = nullptr;
        StoreShared(gv_logConfig.level, static_cast<unsigned char>(LOG_DEFAULT_LEVEL));
        return 1;
    }
    if (open)
        StoreShared(gv_logConfig.level, static_cast<unsigned char>(LOG_DEFAULT_LEVEL));
    return 1;
}

int SetLogConfig(const char* fileName, const char* directory, int level)
{
    /* Both members are released before either copy is made, so a failed copy
     * leaves that member empty rather than stale. */
    free(gv_logConfig.directory);
    gv_logConfig.directory = nullptr;
    if (!ReplaceText(&gv_logConfig.fileName, fileName))
        return 0;
    if (!ReplaceText(&gv_logConfig.directory, directory))
        return 0;
    StoreShared(gv_logConfig.level, static_cast<unsigned char>(level & 0xFF));
    return 1;
}

int SetLogFileName(const char* fileName)
{
    if (!fileName)
        return 0;
    return ReplaceText(&gv_logConfig.fileName, fileName);
}

int SetLogDirectory(const char* directory)
{
    if (!directory)
        return 0;
    return ReplaceText(&gv_logConfig.directory, directory);
}

void SetLogLevel(int level) { StoreShared(gv_logConfig.level, static_cast<unsigned char>(level & 0xFF)); }

int OpenLogFile(void) { return OpenWithMode("w"); }
int OpenLogFileAppend(void) { return OpenWithMode("a+"); }

int SetLogFilePtr(FILE* stream)
{
    if (!stream)
        return 0;
    StoreShared(gv_logFilePtr, stream);
    return 1;
}

int LogInfo(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = WriteLevel(1, "[INFO]", format, args);
    va_end(args);
    return result;
}

int LogError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = WriteLevel(2, "[ERROR]", format, args);
    va_end(args);
    return result;
}

int LogDebug(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = WriteLevel(3, "[DEBUG]", format, args);
    va_end(args);
    return result;
}

int LogTrace(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = WriteLevel(4, "[TRACE]", format, args);
    va_end(args);
    return result;
}

void CloseLogFile(void)
{
    if (!LoadShared(gv_logFilePtr))
        return;
    /* Writers on other threads (the rotation timer) may be between their
     * check of the stream and their write; holding the key while closing
     * keeps them from writing into a closed stream. */
    const void* key = LoadShared(gv_logConfig.lockKey);
    bool locked = key && LockObject(key) == OBJECT_LOCK_HELD;
    FILE* stream = LoadShared(gv_logFilePtr);
    StoreShared(gv_logFilePtr, static_cast<FILE*>(nullptr));
    if (!stream) {
        /* Closed by another thread meanwhile. */
        if (locked)
            UnlockObject(key);
        return;
    }
    char* stamp = GetLogTimeStamp();
    WriteUnlockedLine(stream, "[INFO]", "Log close time: %s\n", stamp ? stamp : "(null)");
    free(stamp);
    fclose(stream);
    if (locked)
        UnlockObject(key);
}

void FreeLogConfig(void)
{
    free(gv_logConfig.fileName);
    gv_logConfig.fileName = nullptr;
    free(gv_logConfig.directory);
    gv_logConfig.directory = nullptr;
    free(gv_logConfig.fullPath);
    gv_logConfig.fullPath = nullptr;
    char* key = LoadShared(gv_logConfig.lockKey);
    StoreShared(gv_logConfig.lockKey, static_cast<char*>(nullptr));
    free(key);
}

char* GetLogTimeStamp(void)
{
    char* stamp = static_cast<char*>(malloc(kTimeStampLength + 1));
    if (stamp)
        FormatTimeStamp(stamp);
    return stamp;
}

int MakeDirectory(const char* path) { return PlatMakeDirectory(path); }

int MakeDirectoryTree(const char* path)
{
    if (!path)
        return PLAT_ENOENT;
    int result = MakeDirectory(path);
    if (result == PLAT_EEXIST)
        return 1;
    if (result != PLAT_ENOENT)
        return result;

    /* The parent: trailing '/' removed, then cut before the last '/'. */
    size_t end = strlen(path);
    while (end > 0 && path[end - 1] == '/')
        end--;
    while (end > 0 && path[end - 1] != '/')
        end--;
    if (end == 0)
        return PLAT_ENOENT; /* no '/' left: no parent to create */
    while (end > 1 && path[end - 1] == '/')
        end--;

    char* parent = static_cast<char*>(malloc(end + 1));
    if (!parent)
        return PLAT_ENOENT;
    memcpy(parent, path, end);
    parent[end] = '\0';
    result = MakeDirectoryTree(parent);
    free(parent);
    if (result == 0)
        result = MakeDirectory(path);
    return result;
}
