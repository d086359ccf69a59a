/*
 * The data-source map and the connection parameters: their records, the
 * process-wide lists and the readers of dsn_table_map.txt and
 * connparams.txt.
 *
 * The lists are LCDVectors whose nodes the vector allocates; operations
 * that walk or unlink take the vector's object lock themselves and never
 * call a vector operation while holding it (the lock is not re-entrant).
 */
#include "velmora/connection_files.h"

#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "runtime/log.h"
#include "runtime/object_lock.h"
#include "velmora/base_alloc.h"
#include "velmora/string_routines.h"

extern "C" {
LCDVector gv_dataSourceMap;
LCDVector gv_connParams;
uint8_t gv_dsnMapValid;
uint8_t gv_defaultDBType;
}

namespace {

constexpr const char* kDBTypeNames[DB_TYPE_COUNT] = {"MYSQL", "PGSQL", "FIREBIRD", "SQLITE"};

/* Longest word either file may hold (table, connection, DSN, user, ...);
 * a longer one makes its entry unusable rather than cut short. */
constexpr size_t kMaxTokenLength = 1024;
/* Longest connparams.txt line: ten words and the connection string fit
 * many times over; anything longer is not a connection entry. */
constexpr size_t kMaxLineLength = 16 * 1024;

std::atomic<DSNMapProviderLoader> g_providerLoader{nullptr};

class ListLock {
public:
    explicit ListLock(const LCDVector* list) : key_(list) { LockObject(key_); }
    ~ListLock() { UnlockObject(key_); }
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;

private:
    const void* key_;
};

/* The first element for which match holds, or null; under the list's lock. */
template <typename Entry, typename Match> Entry* FindFirst(LCDVector* list, Match match)
{
    ListLock lock(list);
    for (LCDNode* node = list->head; node; node = node->next) {
        auto* entry = static_cast<Entry*>(node->data);
        if (entry && match(entry))
            return entry;
    }
    return nullptr;
}

/* Unlinks (and frees) the node of the first element for which match holds
 * and returns that element, or null; under the list's lock. */
template <typename Entry, typename Match> Entry* UnlinkFirst(LCDVector* list, Match match)
{
    ListLock lock(list);
    LCDNode* previous = nullptr;
    for (LCDNode* node = list->head; node; previous = node, node = node->next) {
        auto* entry = static_cast<Entry*>(node->data);
        if (!entry || !match(entry))
            continue;
        if (previous)
            previous->next = node->next;
        else
            list->head = node->next;
        if (list->tail == node)
            list->tail = previous;
        list->count--;
        free(node);
        return entry;
    }
    return nullptr;
}

/* Empties the list under its lock and returns its former nodes. */
LCDNode* TakeAll(LCDVector* list)
{
    ListLock lock(list);
    LCDNode* nodes = list->head;
    list->head = nullptr;
    list->tail = nullptr;
    list->count = 0;
    return nodes;
}

template <typename Entry> void FreeNodesAndEntries(LCDNode* node, void (*freeEntry)(Entry*))
{
    while (node) {
        LCDNode* next = node->next;
        freeEntry(static_cast<Entry*>(node->data));
        free(node);
        node = next;
    }
}

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

/* Opens path, else "<root>/data/<fileName>". */
File OpenDataFile(const char* path, const char* fileName)
{
    if (path) {
        File file(fopen(path, "rb"));
        if (file)
            return file;
    }
    if (!gv_velmoraRoot)
        return nullptr;
    std::string fallback = std::string(gv_velmoraRoot) + "/data/" + fileName;
    LogDebug("Opening %s\n", fallback.c_str());
    return File(fopen(fallback.c_str(), "rb"));
}

bool IsSeparator(int c) { return c == '\0' || isspace(static_cast<unsigned char>(c)); }

/* The next whitespace-separated word of the file into word; false at the
 * end of the file. *tooLong is set when the word was longer than
 * kMaxTokenLength (word then holds only its start). */
bool ReadWord(FILE* file, std::string& word, bool* tooLong)
{
    word.clear();
    *tooLong = false;
    int c;
    while ((c = getc(file)) != EOF && IsSeparator(c)) { }
    if (c == EOF)
        return false;
    do {
        if (word.size() < kMaxTokenLength)
            word.push_back(static_cast<char>(c));
        else
            *tooLong = true;
    } while ((c = getc(file)) != EOF && !IsSeparator(c));
    return true;
}

/* The next line of the file without its "\n" or "\r\n"; false at the end.
 * *tooLong is set (and line cut) when it exceeds kMaxLineLength. */
bool ReadLine(FILE* file, std::string& line, bool* tooLong)
{
    line.clear();
    *tooLong = false;
    int c = getc(file);
    if (c == EOF)
        return false;
    for (; c != EOF && c != '\n'; c = getc(file)) {
        if (line.size() < kMaxLineLength)
            line.push_back(static_cast<char>(c));
        else
            *tooLong = true;
    }
    if (!*tooLong && !line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

/* A decimal 16-bit integer, the whole text; false otherwise. */
bool ParseInt16(const std::string& text, int16_t* number)
{
    if (text.empty())
        return false;
    size_t start = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (start == text.size())
        return false;
    for (size_t i = start; i < text.size(); i++)
        if (!isdigit(static_cast<unsigned char>(text[i])))
            return false;
    long value = strtol(text.c_str(), nullptr, 10);
    if (value < INT16_MIN || value > INT16_MAX)
        return false;
    *number = static_cast<int16_t>(value);
    return true;
}

bool IsWordSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

/* One connparams.txt line split into its ten words and what follows them.
 * Returns null on success, else why the line is unusable. */
const char* SplitConnParamsLine(const std::string& line, std::vector<std::string>& words, std::string& rest)
{
    if (line.find('\0') != std::string::npos)
        return "it holds a NUL byte";
    size_t position = 0;
    words.clear();
    while (words.size() < 10) {
        while (position < line.size() && IsWordSeparator(line[position]))
            position++;
        if (position == line.size())
            return "it holds fewer than ten words";
        size_t end = position;
        while (end < line.size() && !IsWordSeparator(line[end]))
            end++;
        if (end - position > kMaxTokenLength)
            return "a word is too long";
        words.emplace_back(line, position, end - position);
        position = end;
    }
    /* The character after the tenth word separates it from the connection
     * string and is not part of it. */
    rest = position < line.size() ? line.substr(position + 1) : std::string();
    return nullptr;
}

bool IsBlank(const std::string& line)
{
    for (char c : line)
        if (!IsWordSeparator(c))
            return false;
    return true;
}

} // namespace

extern "C" {

/* --- Data-source map ------------------------------------------------------ */

DataSourceMapEntry* CreateDataSourceMapEntry(const char* tableName, const char* connectionName)
{
    if (!tableName || !connectionName)
        return nullptr;
    auto* entry = static_cast<DataSourceMapEntry*>(BriCalloc(1, sizeof(DataSourceMapEntry)));
    if (!entry)
        return nullptr;
    entry->tableName = BriStrdup(tableName);
    entry->connectionName = BriStrdup(connectionName);
    if (!entry->tableName || !entry->connectionName) {
        FreeDataSourceMapEntry(entry);
        return nullptr;
    }
    return entry;
}

void FreeDataSourceMapEntry(DataSourceMapEntry* entry)
{
    if (!entry)
        return;
    free(entry->tableName);
    free(entry->connectionName);
    free(entry);
}

int AddDataSourceMapEntry(DataSourceMapEntry* entry)
{
    if (!entry)
        return VELMORA_FAILURE;
    return AddElementData(&gv_dataSourceMap, entry) == VELMORA_SUCCESS ? VELMORA_SUCCESS : VELMORA_ALLOC_FAILURE;
}

int DeleteDataSourceMapEntry(const char* tableName)
{
    if (!tableName)
        return VELMORA_FAILURE;
    DataSourceMapEntry* entry = UnlinkFirst<DataSourceMapEntry>(&gv_dataSourceMap, [&](DataSourceMapEntry* e) {
        return e->tableName && CompareNoCase(e->tableName, tableName) == 0;
    });
    if (!entry)
        return VELMORA_FAILURE;
    FreeDataSourceMapEntry(entry);
    return VELMORA_SUCCESS;
}

DataSourceMapEntry* GetDataSourceMapEntry(const char* tableName)
{
    if (!tableName)
        return nullptr;
    return FindFirst<DataSourceMapEntry>(&gv_dataSourceMap, [&](DataSourceMapEntry* e) {
        return e->tableName && CompareNoCase(e->tableName, tableName) == 0;
    });
}

void FreeAllDataSourceMapEntries(void) { FreeNodesAndEntries(TakeAll(&gv_dataSourceMap), FreeDataSourceMapEntry); }

int LoadDataSourceMapEntryFromFile(const char* path)
{
    File file = OpenDataFile(path, "dsn_table_map.txt");
    if (!file) {
        LogError("Cannot open DataSourceMap Entry File.\n");
        return VELMORA_FAILURE;
    }
    std::string table, connection;
    bool tableTooLong = false, connectionTooLong = false;
    while (ReadWord(file.get(), table, &tableTooLong) && ReadWord(file.get(), connection, &connectionTooLong)) {
        if (tableTooLong || connectionTooLong) {
            LogError("LoadDataSourceMapEntryFromFile: A name longer than %d characters, pair skipped.\n",
                     static_cast<int>(kMaxTokenLength));
            continue;
        }
        DataSourceMapEntry* entry = CreateDataSourceMapEntry(table.c_str(), connection.c_str());
        if (!entry) {
            LogError("LoadDataSourceMapEntryFromFile: MEMORY_ALLOCATION_FAILURE\n");
            return VELMORA_ALLOC_FAILURE;
        }
        if (AddDataSourceMapEntry(entry) != VELMORA_SUCCESS) {
            FreeDataSourceMapEntry(entry);
            LogError("LoadDataSourceMapEntryFromFile: MEMORY_ALLOCATION_FAILURE\n");
            return VELMORA_ALLOC_FAILURE;
        }
    }
    return VELMORA_SUCCESS;
}

/* --- Connection parameters ------------------------------------------------ */

ConnParamsEntry* CreateConnParamsEntry(const char* name, int16_t number, const char* dsn, const char* userId,
                                       const char* password, int32_t reserved, const char* connectionName,
                                       uint8_t useConnectionString, const char* connectionString,
                                       const char* providerName, const char* databaseType)
{
    if (!connectionName)
        return nullptr;
    auto* entry = static_cast<ConnParamsEntry*>(BriCalloc(1, sizeof(ConnParamsEntry)));
    if (!entry)
        return nullptr;
    entry->number = number;
    entry->reserved = reserved;
    entry->useConnectionString = useConnectionString;
    struct {
        char** field;
        const char* text;
    } copies[] = {{&entry->name, name},
                  {&entry->dsn, dsn},
                  {&entry->userId, userId},
                  {&entry->password, password},
                  {&entry->connectionName, connectionName},
                  {&entry->connectionString, connectionString},
                  {&entry->providerName, providerName},
                  {&entry->databaseType, databaseType}};
    for (auto& copy : copies) {
        if (!copy.text)
            continue;
        *copy.field = BriStrdup(copy.text);
        if (!*copy.field) {
            FreeConnParamsEntry(entry);
            return nullptr;
        }
    }
    return entry;
}

void FreeConnParamsEntry(ConnParamsEntry* entry)
{
    if (!entry)
        return;
    free(entry->name);
    free(entry->dsn);
    free(entry->userId);
    free(entry->password);
    free(entry->connectionName);
    free(entry->connectionString);
    free(entry->providerName);
    free(entry->databaseType);
    free(entry);
}

int AddConnParamsEntry(ConnParamsEntry* entry)
{
    if (!entry)
        return VELMORA_FAILURE;
    return AddElementData(&gv_connParams, entry) == VELMORA_SUCCESS ? VELMORA_SUCCESS : VELMORA_ALLOC_FAILURE;
}

int RemoveConnParamsEntry(const char* connectionName)
{
    if (!connectionName)
        return VELMORA_FAILURE;
    ConnParamsEntry* entry = UnlinkFirst<ConnParamsEntry>(&gv_connParams, [&](ConnParamsEntry* e) {
        return e->connectionName && strcmp(e->connectionName, connectionName) == 0;
    });
    if (!entry)
        return VELMORA_FAILURE;
    FreeConnParamsEntry(entry);
    return VELMORA_SUCCESS;
}

ConnParamsEntry* GetConnParams(const char* connectionName)
{
    if (!connectionName)
        return nullptr;
    return FindFirst<ConnParamsEntry>(&gv_connParams, [&](ConnParamsEntry* e) {
        return e->connectionName && strcmp(e->connectionName, connectionName) == 0;
    });
}

const char* GetDefaultConnectionName(void)
{
    const char* name = nullptr;
    {
        ListLock lock(&gv_connParams);
        if (gv_connParams.head && gv_connParams.head->data)
            name = static_cast<ConnParamsEntry*>(gv_connParams.head->data)->connectionName;
    }
    if (!name)
        LogError("Connection Name IS NULL\n");
    return name;
}

void FreeAllConnParamsEntries(void) { FreeNodesAndEntries(TakeAll(&gv_connParams), FreeConnParamsEntry); }

int LoadConnParamsEntryFromFile(const char* path)
{
    File file = OpenDataFile(path, "connparams.txt");
    if (!file) {
        LogError("Cannot open Connection Parameters File.\n");
        return VELMORA_FAILURE;
    }
    std::string line, rest;
    std::vector<std::string> words;
    bool tooLong = false;
    for (int lineNumber = 1; ReadLine(file.get(), line, &tooLong); lineNumber++) {
        if (!tooLong && IsBlank(line))
            continue;
        const char* problem = tooLong ? "it is too long" : SplitConnParamsLine(line, words, rest);
        int16_t number = 0;
        if (!problem && !ParseInt16(words[1], &number))
            problem = "its second word is not a 16-bit number";
        bool useConnectionString = !problem && CompareNoCase(words[9].c_str(), "YES") == 0;
        if (useConnectionString && rest.size() > CONN_STRING_MAX_LENGTH)
            problem = "its connection string is longer than 254 characters";
        if (problem) {
            LogError("LoadConnParamsEntryFromFile: Line %d skipped: %s.\n", lineNumber, problem);
            continue;
        }
        const char* password = words[4] == "NULL" ? nullptr : words[4].c_str();
        ConnParamsEntry* entry =
            CreateConnParamsEntry(words[0].c_str(), number, words[2].c_str(), words[3].c_str(), password, 0,
                                  words[6].c_str(), useConnectionString ? 1 : 0,
                                  useConnectionString ? rest.c_str() : nullptr, words[7].c_str(), words[8].c_str());
        if (!entry) {
            LogError("LoadConnParamsEntryFromFile: MEMORY_ALLOCATION_FAILURE\n");
            return VELMORA_ALLOC_FAILURE;
        }
        if (AddConnParamsEntry(entry) != VELMORA_SUCCESS) {
            FreeConnParamsEntry(entry);
            LogError("LoadConnParamsEntryFromFile: MEMORY_ALLOCATION_FAILURE\n");
            return VELMORA_ALLOC_FAILURE;
        }
    }
    return VELMORA_SUCCESS;
}

/* --- Dialect selection flags ---------------------------------------------- */

const char* GetDBTypeName(uint8_t index) { return index < DB_TYPE_COUNT ? kDBTypeNames[index] : nullptr; }

int GetDBTypeIndex(const char* name)
{
    if (!name)
        return -1;
    for (int i = 0; i < DB_TYPE_COUNT; i++)
        if (CompareNoCase(name, kDBTypeNames[i]) == 0)
            return i;
    return -1;
}

void SetDSNMapProviderLoader(DSNMapProviderLoader loader) { g_providerLoader.store(loader); }

int SetDSNMapValid(uint8_t status, uint8_t type)
{
    if (status == 1) {
        gv_dsnMapValid = 1;
        return VELMORA_SUCCESS;
    }
    if (status != 0) {
        LogError("\nInvalid Status\n");
        return VELMORA_FAILURE;
    }
    if (type >= DB_TYPE_COUNT) {
        LogError("\nInvalid DB Type\n");
        return VELMORA_FAILURE;
    }
    gv_dsnMapValid = 0;
    gv_defaultDBType = type;
    DSNMapProviderLoader loader = g_providerLoader.load();
    if (loader && loader(kDBTypeNames[type]) != VELMORA_SUCCESS)
        LogError("SetDSNMapValid: Cannot Load %s provider.\n", kDBTypeNames[type]);
    return VELMORA_SUCCESS;
}

} // extern "C"
