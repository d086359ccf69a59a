/*
 * The list file datadictionary.txt and the loading of the files it names.
 *
 * The list is read token by token (white space separates names); a name is
 * at most kMaxNameLength bytes, longer ones are reported and skipped, so a
 * damaged list cannot make the loader build unbounded paths.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "dictionary_internal.h"
#include "runtime/log.h"
#include "velmora/base_alloc.h"

namespace {

#ifdef _WIN32
const char kRelativeDataDir[] = "..\\data\\";
const char kSeparator[] = "\\";
#else
const char kRelativeDataDir[] = "../data/";
const char kSeparator[] = "/";
#endif

constexpr size_t kMaxNameLength = 4096;

bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

/* The next whitespace-separated token into buffer (kMaxNameLength + 1
 * bytes). 1 for a token, 0 at the end of the file, -1 for a token that is
 * too long (skipped). */
int ReadToken(FILE* file, char* buffer)
{
    int c;
    do {
        c = getc(file);
    } while (c != EOF && IsBlank(c));
    if (c == EOF)
        return 0;
    size_t size = 0;
    bool too_long = false;
    for (; c != EOF && !IsBlank(c); c = getc(file)) {
        if (size < kMaxNameLength)
            buffer[size++] = static_cast<char>(c);
        else
            too_long = true;
    }
    buffer[size] = '\0';
    return too_long ? -1 : 1;
}

/* A new string: first, second and third joined. */
char* Join(const char* first, const char* second, const char* third)
{
    size_t a = strlen(first), b = strlen(second), c = strlen(third);
    auto* path = static_cast<char*>(BriMalloc(a + b + c + 1));
    if (!path)
        return nullptr;
    memcpy(path, first, a);
    memcpy(path + a, second, b);
    memcpy(path + a + b, third, c);
    path[a + b + c] = '\0';
    return path;
}

/* Loads every file the open list names; each file's path is prefix +
 * separator + name. */
void LoadListedFiles(FILE* list, const char* listPath, const char* prefix, const char* separator)
{
    auto* name = static_cast<char*>(BriMalloc(kMaxNameLength + 1));
    if (!name) {
        LogError("MEMORY_ALLOCATION_FAILURE\n");
        return;
    }
    int token;
    while ((token = ReadToken(list, name)) != 0) {
        if (token < 0) {
            LogError("A file name in %s is longer than %u bytes and is skipped.\n", listPath,
                     static_cast<unsigned>(kMaxNameLength));
            continue;
        }
        char* path = Join(prefix, separator, name);
        if (!path) {
            LogError("MEMORY_ALLOCATION_FAILURE\n");
            continue;
        }
        LogDebug("Opening %s\n", path);
        LoadDataDictFromXMLFile(path);
        free(path);
    }
    free(name);
}

} // namespace

extern "C" int LoadDataDictFromXMLFile(const char* path)
{
    if (!path)
        return VELMORA_FAILURE;
    return XmlDataParser(path);
}

extern "C" int LoadAllDataDictFiles(void)
{
    char* relative = Join(kRelativeDataDir, "", DATA_DICT_LIST_FILE);
    if (!relative) {
        LogError("MEMORY_ALLOCATION_FAILURE\n");
        return VELMORA_ALLOC_FAILURE;
    }
    FILE* list = fopen(relative, "r");
    if (list) {
        // Names are relative to the data directory next to the working one.
        LoadListedFiles(list, relative, kRelativeDataDir, "");
        fclose(list);
        free(relative);
        return VELMORA_SUCCESS;
    }
    free(relative);
    char* data_dir = gv_velmoraRoot ? Join(gv_velmoraRoot, "/", "data") : nullptr;
    char* list_path = data_dir ? Join(data_dir, "/", DATA_DICT_LIST_FILE) : nullptr;
    if (list_path) {
        LogDebug("Opening %s\n", list_path);
        list = fopen(list_path, "r");
    }
    if (!list) {
        LogError("Cannot open DataDictionary File.\n");
        free(data_dir);
        free(list_path);
        return VELMORA_FAILURE;
    }
    LoadListedFiles(list, list_path, data_dir, "/");
    fclose(list);
    free(data_dir);
    free(list_path);
    return VELMORA_SUCCESS;
}

extern "C" int LoadDataDictFiles(const char* directory)
{
    if (!directory)
        return VELMORA_FAILURE;
    char* list_path = Join(directory, kSeparator, DATA_DICT_LIST_FILE);
    if (!list_path)
        return VELMORA_ALLOC_FAILURE;
    FILE* list = fopen(list_path, "r");
    if (!list) {
        free(list_path);
        return VELMORA_FAILURE;
    }
    LoadListedFiles(list, list_path, directory, kSeparator);
    fclose(list);
    free(list_path);
    return VELMORA_SUCCESS;
}
