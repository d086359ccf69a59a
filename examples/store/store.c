/*
 * store: a small agent component that keeps its tables in a database.
 *
 *   store <data directory> [<variant directory>]
 *
 * It copies the data directory (examples/data) into a new folder laid out
 * as an agent's installation -- <root>/data, <root>/bin, <root>/logs -- and
 * copies the files of the variant directory over it (examples/data/
 * variants/<engine>: the connection files for another database). From
 * <root>/bin it starts the store, shows what start-up created and loaded,
 * adds, changes and deletes rows, saves them, shuts the store down, starts
 * it again on the same database and shows that the changes are there.
 *
 * Data sources: when the caller has not set ODBCINI, the program keeps its
 * ODBC data sources in <root>/odbc.ini and registers those that
 * <root>/data/datasources.txt lists (the example's SQLite file, below the
 * root); a caller that sets ODBCINI provides the data sources itself.
 *
 * Written in C, as the agent's components are.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#ifdef _WIN32
/* Windows' ODBC headers expect windows.h first. */
#include <direct.h>
#include <windows.h>
#define SEP "\\"
#else
#define SEP "/"
#endif
#include <odbcinst.h>
#include <velmora/velmora.h>

static double NowMs(void)
{
#ifdef _WIN32
    return (double)GetTickCount64();
#else
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
#endif
}

static int MakeDir(const char* path)
{
#ifdef _WIN32
    return _mkdir(path);
#else
    return mkdir(path, 0700);
#endif
}

/* A new folder of this run's own below the system's temporary folder;
 * fills root (size bytes). */
static int MakeRoot(char* root, size_t size)
{
#ifdef _WIN32
    char temp[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp)
        return 0;
    for (unsigned attempt = 0; attempt < 100; attempt++) {
        int n = snprintf(root, size, "%svelmora-store.%lu.%u", temp, (unsigned long)GetCurrentProcessId(), attempt);
        if (n < 0 || (size_t)n >= size)
            return 0;
        if (_mkdir(root) == 0)
            return 1;
    }
    return 0;
#else
    int n = snprintf(root, size, "/tmp/velmora-store.XXXXXX");
    return n > 0 && (size_t)n < size && mkdtemp(root) != NULL;
#endif
}

static int CopyOneFile(const char* from, const char* to)
{
    FILE* in = fopen(from, "rb");
    FILE* out = in ? fopen(to, "wb") : NULL;
    char buffer[8192];
    size_t n;
    int ok = in && out;
    while (ok && (n = fread(buffer, 1, sizeof buffer, in)) > 0)
        ok = fwrite(buffer, 1, n, out) == n;
    if (in)
        fclose(in);
    if (out && fclose(out) != 0)
        ok = 0;
    return ok;
}

/* Copies the regular files of a directory (not its folders, not database
 * files left by an earlier run). */
static int CopyFiles(const char* fromDir, const char* toDir)
{
    DIR* dir = opendir(fromDir);
    if (!dir)
        return 0;
    int ok = 1;
    struct dirent* item;
    while (ok && (item = readdir(dir)) != NULL) {
        char from[4096], to[4096];
        struct stat info;
        snprintf(from, sizeof from, "%s" SEP "%s", fromDir, item->d_name);
        snprintf(to, sizeof to, "%s" SEP "%s", toDir, item->d_name);
        if (stat(from, &info) != 0 || !S_ISREG(info.st_mode) || strstr(item->d_name, ".db"))
            continue;
        ok = CopyOneFile(from, to);
    }
    closedir(dir);
    return ok;
}

/* A row of table from "column=value" texts; other columns NULL (AddNewRow
 * fills generated and default ones). */
static RowObject* MakeRow(const char* table, const char* const* assignments)
{
    const TableDefn* definition = GetTableDefnByName(table);
    if (!definition)
        return NULL;
    int32_t count = definition->columns->count;
    void** values = calloc((size_t)count, sizeof *values);
    int32_t* lengths = calloc((size_t)count, sizeof *lengths);
    if (!values || !lengths) {
        free(values);
        free(lengths);
        return NULL;
    }
    int32_t i = 0;
    for (LCDNode* node = definition->columns->head; node && i < count; node = node->next, i++) {
        const ColumnDefn* column = node->data;
        size_t nameLength = strlen(column->name);
        for (const char* const* a = assignments; *a; a++)
            if (strncmp(*a, column->name, nameLength) == 0 && (*a)[nameLength] == '=')
                values[i] = ConvertStringToColumnValue(*a + nameLength + 1, &lengths[i], column->type);
    }
    RowObject* row = CreateNewRowObject(values, lengths);
    if (!row) {
        for (i = 0; i < count; i++)
            free(values[i]);
        free(values);
        free(lengths);
    }
    return row;
}

/* The first row the condition selects, or null. */
static RowObject* FindRow(const char* table, const char* condition)
{
    ResultData* result = SelectRows(table, condition);
    RowObject* row = result ? GotoNextRowObject(result) : NULL;
    FreeResultData(result);
    return row;
}

static void ShowTable(const char* table)
{
    TableData* data = GetTableDataByName(table);
    char* listing = data ? ToStringTableData(data) : NULL;
    printf("-- %s\n%s", table, listing ? listing : "(not loaded)\n");
    free(listing);
}

/* The machines in MachineId order (the database returns rows in any). */
static void ShowMachines(void)
{
    ResultData* result = SelectRows("Machine", "MachineId > 0");
    printf("-- Machine by MachineId\n");
    if (!result || SortResultSet(result, "MachineId", 1) != 1) {
        printf("(none)\n");
        FreeResultData(result);
        return;
    }
    while (GotoNextRowObject(result)) {
        int32_t length = 0;
        const int32_t* id = GetColumnValueByName("MachineId", &length, result);
        const char* host = GetColumnValueByName("HostName", &length, result);
        void* memory = GetColumnValueByName("MemoryMB", &length, result);
        char* memoryText = ColumnValueToString(memory, length, BRI_SQL_BIGINT);
        printf("%d\t%s\t%s MB\n", id ? *id : -1, host ? host : "?", memoryText ? memoryText : "NULL");
        free(memoryText);
    }
    FreeResultData(result);
}

static int Start(const char* root, const char* what)
{
    double started = NowMs();
    int result = InitVelmora(root);
    printf("== InitVelmora (%s): %s in %.1f ms\n", what, result == 1 ? "started" : "FAILED", NowMs() - started);
    if (result != 1) {
        fprintf(stderr, "store: start-up failed, see %s/logs/velmora.log\n", root);
        return 0;
    }
    printf("database: %s\n",
           VelmoraCreatedDatabase() ? "new (every table created, default data stored)"
                                    : "existing (tables found, no default data)");
    printf("tables in memory:");
    for (LCDNode* node = gv_tableDataVector.head; node; node = node->next) {
        const TableData* table = node->data;
        int rows = 0;
        for (const RowObject* row = table->firstRow; row; row = row->next)
            rows++;
        printf(" %s(%d)", table->name, rows);
    }
    printf("\n");
    return 1;
}

/* Loads a table that loadtablelist.txt did not preload. */
static int Loaded(const char* table) { return GetTableDataByName(table) != NULL || LoadTable(table) == 1; }

static int ChangeAndSave(void)
{
    if (!Loaded("Site") || !Loaded("Machine"))
        return 0;
    const char* site[] = {"SiteName=Branch office", "TimeZone=Europe/Vienna", NULL};
    RowObject* siteRow = MakeRow("Site", site);
    if (!siteRow || AddNewRow("Site", siteRow) != 1)
        return 0;
    int32_t length = 0;
    const int32_t* siteId = GetColumnValue("Site", "SiteId", "SiteName = 'Branch office'", &length);
    if (!siteId)
        return 0;
    char siteText[32];
    snprintf(siteText, sizeof siteText, "SiteId=%d", *siteId);
    const char* machines[][5] = {
        {siteText, "HostName=br-pc-01", "OsVersion=6.1", "MemoryMB=4096", NULL},
        {siteText, "HostName=br-pc-02", "OsVersion=6.1", "MemoryMB=2048", NULL},
        {siteText, "HostName=br-srv-01", "OsVersion=6.1", "ProductType=ServerNT", NULL},
    };
    for (int i = 0; i < 3; i++) {
        RowObject* row = MakeRow("Machine", machines[i]);
        if (!row || AddNewRow("Machine", row) != 1)
            return 0;
    }
    printf("added: site 'Branch office' (SiteId %d, generated) and three machines\n", *siteId);
    if (SaveTable("Site") != 1 || SaveTable("Machine") != 1)
        return 0;
    printf("saved Site and Machine\n");

    /* A change and a deletion of stored rows, saved in their turn. */
    RowObject* memory = FindRow("Machine", "HostName = 'br-pc-02'");
    int64_t more = 8192;
    if (!memory || UpdateRowObject("Machine", memory, "MemoryMB", &more, sizeof more) != 1)
        return 0;
    RowObject* gone = FindRow("Machine", "HostName = 'br-pc-01'");
    if (!gone || DeleteRowObject("Machine", gone) != 1)
        return 0;
    printf("changed: br-pc-02 has 8192 MB; deleted: br-pc-01\n");
    if (SaveTable("Machine") != 1)
        return 0;
    printf("saved Machine\n");
    return 1;
}

/* The rows of one table in a data object. */
static int UnitCount(const char* table, DataObject* object)
{
    int count = 0;
    for (const RowUnit* unit = GetFirstRowUnit(table, object); unit; unit = unit->next)
        count++;
    return count;
}

/* Business objects over several tables: the personalities of
 * personalities.xml, one object fetched by a condition, changed and saved,
 * one fetched whole; then the stored queries of the default data. */
static int ObjectsAndStoredQueries(const char* data)
{
    char path[1100];
    snprintf(path, sizeof path, "%s" SEP "personalities.xml", data);
    if (InitPersonality() != 1 || CreatePersonalityFromXMLFile(path) != 1)
        return 0;
    printf("personalities: SiteInventory (Site, Machine, InstalledSoftware), PatchPackages (Patch, EsuPackage)\n");

    /* The condition lives in a query's pool, which goes with the query. */
    SelectQuery* scratch = CreateSelectQuery();
    if (!scratch)
        return 0;
    const char name[] = "Headquarters";
    QueryColumn* column = CreateQueryColumn("Site", NULL, "SiteName", NULL, 0, BRI_SQL_VARCHAR, 0, scratch->pool);
    QueryCondition* condition =
        column ? CreateQueryCondition(column, name, (int32_t)strlen(name), QUERY_OP_EQUAL, scratch->pool) : NULL;
    DataObject* site = condition ? GetDOFromPersonalityByCriteria("SiteInventory", condition) : NULL;
    int ok = site != NULL && UnitCount("Site", site) == 1;
    if (ok) {
        printf("object SiteInventory where SiteName = 'Headquarters': %d site, %d machine(s), %d "
               "installed product(s)\n",
               UnitCount("Site", site), UnitCount("Machine", site), UnitCount("InstalledSoftware", site));
        const char notes[] = "Audited by the store example";
        ok = SetValueForRowUnit("Notes", "Site", notes, (int32_t)strlen(notes), site) == 1 && SaveDataObject(site) == 1;
        printf("changed the site's Notes and saved the object: %s\n", ok ? "one update" : "FAILED");
    }
    FreeDataObject(site);
    FreeSelectQuery(scratch);

    DataObject* patches = ok ? GetDOFromPersonality("PatchPackages") : NULL;
    if (patches) {
        printf("object PatchPackages: %d patch(es), %d ESU package(s)\n", UnitCount("Patch", patches),
               UnitCount("EsuPackage", patches));
        FreeDataObject(patches);
    }
    ok = ok && patches != NULL;
    if (ok) {
        ok = RunAllStoredQueries() == 1;
        printf("stored queries of the default data: %s\n", ok ? "rebuilt and run" : "FAILED");
    }
    FreePersonalities();
    return ok;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: store <data directory> [<variant directory>]\n");
        return 2;
    }
    char root[800];
    if (!MakeRoot(root, sizeof root)) {
        fprintf(stderr, "store: cannot create a temporary folder\n");
        return 1;
    }
    char data[1024], bin[1024], odbcIni[1024], list[1100];
    snprintf(data, sizeof data, "%s" SEP "data", root);
    snprintf(bin, sizeof bin, "%s" SEP "bin", root);
    snprintf(odbcIni, sizeof odbcIni, "%s" SEP "odbc.ini", root);
    snprintf(list, sizeof list, "%s" SEP "datasources.txt", data);
    if (MakeDir(data) != 0 || MakeDir(bin) != 0 || !CopyFiles(argv[1], data) ||
        (argc > 2 && !CopyFiles(argv[2], data)) || chdir(bin) != 0) {
        fprintf(stderr, "store: cannot prepare %s from %s\n", root, argv[1]);
        return 1;
    }
    printf("== data directory: a copy of %s%s%s in %s\n", argv[1], argc > 2 ? " with " : "", argc > 2 ? argv[2] : "",
           root);

    const char* callerIni = getenv("ODBCINI");
    if (!callerIni || !*callerIni) {
        /* The run's own data sources, so the user's ODBC setup stays as it
         * is. The example's SQLite file lies at ../data/velmora.db as seen
         * from <root>/bin. */
#ifdef _WIN32
        /* Windows keeps data sources in the registry, per user. */
        (void)odbcIni;
#else
        FILE* ini = fopen(odbcIni, "w");
        if (!ini || fclose(ini) != 0 || setenv("ODBCINI", odbcIni, 1) != 0) {
            fprintf(stderr, "store: cannot create %s\n", odbcIni);
            return 1;
        }
#endif
        if (CreateDSNFromFile(list) != 1) {
            fprintf(stderr, "store: cannot register the data sources of %s\n", list);
            return 1;
        }
        /* SQLite checks foreign keys only when asked; the store's other
         * engines always do, and the example behaves the same on all. */
        SQLWritePrivateProfileString("VelmoraStore", "FKSupport", "1", "odbc.ini");
    }

    int status = 1;
    if (!Start(root, "new database"))
        goto done;
    ShowTable("Site");
    if (!ChangeAndSave()) {
        fprintf(stderr, "store: changing or saving rows failed, see %s/logs/velmora.log\n", root);
        goto done;
    }
    DeInitVelmora();
    printf("== DeInitVelmora: the store is stopped\n");

    if (!Start(root, "same database again") || !Loaded("Site") || !Loaded("Machine"))
        goto done;
    printf("after the restart:\n");
    ShowMachines();
    if (!ObjectsAndStoredQueries(data)) {
        fprintf(stderr, "store: data objects or stored queries failed, see %s/logs/velmora.log\n", root);
        goto done;
    }
    status = 0;
done:
    DeInitVelmora();
    if (getenv("STORE_KEEP")) {
        printf("kept %s\n", root);
    } else {
        /* Out of <root>/bin first: Windows removes no folder that is a
         * process's current directory. */
        if (chdir(root) != 0 || chdir("..") != 0)
            fprintf(stderr, "store: cannot leave %s\n", root);
        char command[4200];
#ifdef _WIN32
        snprintf(command, sizeof command, "rmdir /s /q \"%s\"", root);
#else
        snprintf(command, sizeof command, "rm -rf '%s'", root);
#endif
        if (system(command) != 0)
            fprintf(stderr, "store: cannot remove %s\n", root);
    }
    return status;
}
