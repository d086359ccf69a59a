/*
 * inventory: a small agent component that embeds the data store.
 *
 *   inventory <data directory> <log directory>
 *
 * It loads the data dictionary of <data directory> (examples/data), keeps a
 * few managed machines in the in-memory Machine table, listens for changes,
 * and asks the questions an ESU deployment asks: which Windows 7 machines
 * are there, which of them have little memory. Written in C, as the agent's
 * components are.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <runtime/log.h>
#include <velmora/column_types.h>
#include <velmora/data_dictionary.h>
#include <velmora/notifications.h>
#include <velmora/table_data.h>
#include <velmora/table_defn.h>

/* One machine as text, column name by column name; missing columns are
 * NULL, or their default when the dictionary gives one. */
typedef struct MachineText {
    const char* machineId;
    const char* siteId;
    const char* hostName;
    const char* osVersion;
    const char* osBuild;
    const char* productType; /* null: the dictionary's default, WinNT */
    const char* architecture;
    const char* memoryMB;
} MachineText;

static const char* TextOfColumn(const MachineText* machine, const char* column)
{
    if (strcmp(column, "MachineId") == 0)
        return machine->machineId;
    if (strcmp(column, "SiteId") == 0)
        return machine->siteId;
    if (strcmp(column, "HostName") == 0)
        return machine->hostName;
    if (strcmp(column, "OsVersion") == 0)
        return machine->osVersion;
    if (strcmp(column, "OsBuild") == 0)
        return machine->osBuild;
    if (strcmp(column, "ProductType") == 0)
        return machine->productType;
    if (strcmp(column, "Architecture") == 0)
        return machine->architecture;
    if (strcmp(column, "MemoryMB") == 0)
        return machine->memoryMB;
    return NULL;
}

/* Builds a row in the column order of the definition; values are converted
 * from text by the column's type. */
static RowObject* MakeMachineRow(const TableDefn* machineTable, const MachineText* machine)
{
    int32_t count = machineTable->columns->count;
    void** values = calloc((size_t)count, sizeof *values);
    int32_t* lengths = calloc((size_t)count, sizeof *lengths);
    if (!values || !lengths) {
        free(values);
        free(lengths);
        return NULL;
    }
    int32_t i = 0;
    for (LCDNode* node = machineTable->columns->head; node && i < count; node = node->next, i++) {
        const ColumnDefn* column = node->data;
        const char* text = TextOfColumn(machine, column->name);
        if (text)
            values[i] = ConvertStringToColumnValue(text, &lengths[i], column->type);
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

static int g_rowsAdded;

/* Hears every row added to Machine. The snapshot lives only for the call:
 * a listener that wants to keep something copies it. */
static void OnMachineAdded(const IMDSNotification* change, const char* listenerName)
{
    (void)listenerName;
    if (change && change->row)
        g_rowsAdded++;
}

static void PrintResult(const char* question, ResultData* result)
{
    printf("%s\n", question);
    if (!result) {
        printf("  (no answer)\n");
        return;
    }
    RowObject* row;
    while ((row = GotoNextRowObject(result)) != NULL) {
        int32_t length = 0;
        void* host = GetColumnValueByName("HostName", &length, result);
        void* memory = GetColumnValueByName("MemoryMB", &length, result);
        char* memoryText = ColumnValueToString(memory, length, BRI_SQL_BIGINT);
        printf("  %-12s %s MB\n", host ? (const char*)host : "?", memoryText ? memoryText : "NULL");
        free(memoryText);
    }
    FreeResultData(result);
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: inventory <data directory> <log directory>\n");
        return 2;
    }
    if (!InitLogDefaults() || !SetLogConfig("inventory.log", argv[2], 2) || !OpenLogFileAppend()) {
        fprintf(stderr, "inventory: cannot open the log in %s\n", argv[2]);
        return 1;
    }
    int status = 1;
    if (!LoadDataDictFiles(argv[1])) {
        fprintf(stderr, "inventory: no datadictionary.txt in %s\n", argv[1]);
        goto done;
    }
    const TableDefn* machineTable = GetTableDefnByName("machine");
    if (!machineTable || CreateTable("Machine") != 1) {
        fprintf(stderr, "inventory: the dictionary has no Machine table (see %s/inventory.log)\n", argv[2]);
        goto done;
    }

    char** watched = calloc(2, sizeof *watched);
    char* listenerName = strdup("inventory-counter");
    if (watched)
        watched[0] = strdup("MACHINE"); /* table names match without regard to case */
    if (!watched || !watched[0] || !listenerName ||
        AddNotificationListener(listenerName, ROW_STATE_NEW, OnMachineAdded, 1, watched) != 1) {
        fprintf(stderr, "inventory: cannot register the listener\n");
        goto done;
    }

    const MachineText machines[] = {
        {"1", "10", "pc-reception", "6.1", "7601", NULL, "AMD64", "4096"},
        {"2", "10", "pc-lab-03", "6.1", "7601", NULL, "x86", "2048"},
        {"3", "20", "srv-files", "6.1", "7601", "ServerNT", "AMD64", "16384"},
        {"4", "20", "pc-design", "10.0", "19045", NULL, "AMD64", "32768"},
        {"5", "20", "pc-archive", "6.1", "7600", NULL, "x86", "1024"},
    };
    for (size_t i = 0; i < sizeof machines / sizeof machines[0]; i++) {
        RowObject* row = MakeMachineRow(machineTable, &machines[i]);
        if (!row || AddNewRow("Machine", row) != 1) {
            fprintf(stderr, "inventory: cannot add %s\n", machines[i].hostName);
            goto done;
        }
    }
    printf("%d machines added, the listener heard %d\n", (int)(sizeof machines / sizeof machines[0]), g_rowsAdded);

    PrintResult("Windows 7 machines (OsVersion = '6.1'):", SelectRows("Machine", "OsVersion = '6.1'"));
    ResultData* small = SelectRows("Machine", "OsVersion = '6.1' and MemoryMB < 4096");
    if (small)
        SortResultSet(small, "MemoryMB", 1);
    PrintResult("Windows 7 machines with less than 4 GB, smallest first:", small);

    char* listing = ToStringTableData(GetTableDataByName("Machine"));
    if (listing) {
        printf("The Machine table:\n%s", listing);
        free(listing);
    }
    status = 0;
done:
    DeInitNotification();
    FreeAllTableData();
    FreeTableDefns();
    CloseLogFile();
    FreeLogConfig();
    return status;
}
