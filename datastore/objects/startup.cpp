// Starting and stopping the store (see velmora/velmora_startup.h).
#include <cstdlib>
#include <cstring>

#include "runtime/log.h"
#include "velmora/connection_files.h"
#include "velmora/data_dictionary.h"
#include "velmora/db_provider.h"
#include "velmora/mem_pool.h"
#include "velmora/seq_gen.h"
#include "velmora/seq_state.h"
#include "velmora/sql_dialect.h"
#include "velmora/table_defn.h"
#include "velmora/table_persistence.h"
#include "velmora/velmora_startup.h"

namespace {

// The data folder relative to a program that runs from <root>/bin.
#ifdef _WIN32
#define VELMORA_RELATIVE_DATA "..\\data\\"
#else
#define VELMORA_RELATIVE_DATA "../data/"
#endif

// The root copy this file made (gv_velmoraRoot may also be set by others,
// whose pointer is not ours to free).
char* g_ownedRoot = nullptr;
int g_createdDatabase = 0;
// InitializeMemPool counts its calls: only a start that made one undoes it.
bool g_memPoolStarted = false;

void ReleaseRoot()
{
    if (g_ownedRoot != nullptr && gv_velmoraRoot == g_ownedRoot)
        gv_velmoraRoot = nullptr;
    free(g_ownedRoot);
    g_ownedRoot = nullptr;
}

// The connection files are read before anything reaches a database, and
// checked against each other here, so that a typing error in them stops
// the start before a table is created in the wrong place.
bool ConnectionFilesAgree()
{
    bool agree = true;
    LockObject(&gv_connParams);
    for (LCDNode* node = gv_connParams.head; node != nullptr; node = node->next) {
        auto* entry = static_cast<const ConnParamsEntry*>(node->data);
        if (GetDBTypeIndex(entry->databaseType) < 0) {
            LogError("connparams.txt: connection %s has the database type %s; known are MYSQL, PGSQL, FIREBIRD, "
                     "SQLITE.\n",
                     entry->connectionName, entry->databaseType ? entry->databaseType : "(none)");
            agree = false;
        }
    }
    UnlockObject(&gv_connParams);
    LockObject(&gv_dataSourceMap);
    for (LCDNode* node = gv_dataSourceMap.head; node != nullptr; node = node->next) {
        auto* entry = static_cast<const DataSourceMapEntry*>(node->data);
        if (GetConnParams(entry->connectionName) == nullptr) {
            LogError("dsn_table_map.txt: table %s is mapped to connection %s, which connparams.txt does not "
                     "define.\n",
                     entry->tableName, entry->connectionName);
            agree = false;
        }
    }
    UnlockObject(&gv_dataSourceMap);
    return agree;
}

int Fail(const char* message, int result = VELMORA_FAILURE)
{
    LogError("%s", message);
    return result == VELMORA_SUCCESS ? VELMORA_FAILURE : result;
}

// false when the copy cannot be made (the root stays as it was).
bool StoreRoot(const char* path)
{
    if (path == nullptr) {
        LogDebug("Default Path Used");
        return true;
    }
    char* copy = strdup(path);
    if (copy == nullptr) {
        LogError("Memory allocation Failed\n");
        return false;
    }
    ReleaseRoot();
    g_ownedRoot = copy;
    gv_velmoraRoot = copy;
    return true;
}

} // namespace

extern "C" void SetVelmoraRoot(const char* path) { StoreRoot(path); }

extern "C" int VelmoraCreatedDatabase(void) { return g_createdDatabase; }

extern "C" int InitVelmora(const char* root)
{
    LogTrace("@@ Inside InitVelmora @@\n");
    g_createdDatabase = 0;
    if (!StoreRoot(root))
        return VELMORA_ALLOC_FAILURE;

    if (!InitLogDefaults() || !OpenLogFileAppend())
        return VELMORA_FAILURE;

    if (!g_memPoolStarted) {
        int pool = InitializeMemPool();
        if (pool != VELMORA_SUCCESS)
            return Fail("InitializeMemPool failed.\n", pool);
        g_memPoolStarted = true;
    }

    if (InitDBProvider() != VELMORA_SUCCESS)
        LogError("InitDBProvider failed. Already initialized.\n");

    FreeTableDefns();
    InitSqlDialects();
    int dialects = RegisterAllSqlDialects();
    if (dialects != VELMORA_SUCCESS)
        return Fail("RegisterAllSqlDialects failed.\n", dialects);
    if (InitSeqState() != VELMORA_SUCCESS)
        return Fail("InitSeqState failed.\n", VELMORA_ALLOC_FAILURE);
    SetSeqBatchReserver(UpdateSeqGen);

    if (LoadAllDataDictFiles() != VELMORA_SUCCESS)
        return Fail("LoadAllDataDictFiles failed.\n");
    int loaded = LoadDataSourceMapEntryFromFile(VELMORA_RELATIVE_DATA "dsn_table_map.txt");
    if (loaded != VELMORA_SUCCESS)
        return Fail("LoadDataSourceMapEntryFromFile failed.\n", loaded);
    loaded = LoadConnParamsEntryFromFile(VELMORA_RELATIVE_DATA "connparams.txt");
    if (loaded != VELMORA_SUCCESS)
        return Fail("LoadConnParamsEntryFromFile failed.\n", loaded);

    if (gv_connParams.count == 0 || gv_connParams.head == nullptr)
        return Fail("No entires in data source vector. InitVelmora failed.\n");
    if (!ConnectionFilesAgree())
        return Fail("The connection files disagree. InitVelmora failed.\n");
    auto* first = static_cast<const ConnParamsEntry*>(gv_connParams.head->data);
    int firstType = GetDBTypeIndex(first->databaseType);
    if (!first->useConnectionString && firstType >= 0)
        SetDSNMapValid(1, static_cast<uint8_t>(firstType));

    int connected = EstablishDBConnections();
    if (connected != VELMORA_SUCCESS)
        return Fail("EstablishDBConnections failed.\n", connected);

    // Tables that exist already make their create statements fail: only a
    // database in which every one was created is new.
    g_createdDatabase = CreateAllTables() == VELMORA_SUCCESS ? 1 : 0;

    if (PrepareSeqGenState() != VELMORA_SUCCESS)
        return Fail("PrepareSeqGenState failed.\n");
    int sequences = SequenceGenerator();
    if (sequences != VELMORA_SUCCESS)
        return Fail("SequenceGenerator failed.\n", sequences);

    if (LoadAllTables() != VELMORA_SUCCESS)
        LogError("Error in loading tables from loadtablelist.txt.  Please check if there are any entries in your "
                 "loadtablelist.txt or load the required tables manually.\n");

    if (g_createdDatabase && SaveDefaultData() != VELMORA_SUCCESS)
        return Fail("Cannot save default data.\n");

    LogDebug("\nWelcome to Velmora.  You have successfully initialised the appropriate parameters, loaded the "
             "mentioned files/tables and established connection with the DB.\n");
    return VELMORA_SUCCESS;
}

extern "C" void DeInitVelmora(void)
{
    LogTrace("Inside DeInitVelmora.\n");
    UnLoadAllTable();
    SetSeqBatchReserver(nullptr);
    FreeSeqState();
    CloseSeqGenConnections();
    CloseAllDBConnections();
    FreeAllConnParamsEntries();
    FreeAllDataSourceMapEntries();
    gv_dsnMapValid = 0;
    gv_defaultDBType = 0;
    FreeTableDefns();
    FreeSqlDialects();
    // The provider slots go too, so that the next InitVelmora loads them
    // afresh instead of finding them taken.
    SetDSNMapProviderLoader(nullptr);
    ClearDBProviders();
    if (g_memPoolStarted) {
        TerminateMemPool();
        g_memPoolStarted = false;
    }
    g_createdDatabase = 0;
    CloseLogFile();
    FreeLogConfig();
    ReleaseRoot();
}
