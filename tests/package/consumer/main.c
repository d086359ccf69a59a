/* An embedder written in C, built against the installed package: loads the
 * sample data dictionary, parses a condition, writes a table's create
 * statement in the SQLite dialect and logs through the runtime.
 *
 *   consumer <data directory> <log directory>
 */
#include <stdio.h>
#include <stdlib.h>

#include <runtime/log.h>
#include <velmora/velmora.h>

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: consumer <data directory> <log directory>\n");
        return 2;
    }
    if (!InitLogDefaults() || !SetLogConfig("consumer.log", argv[2], 3) || !OpenLogFile()) {
        fprintf(stderr, "consumer: cannot open the log in %s\n", argv[2]);
        return 1;
    }
    int loaded = LoadDataDictFiles(argv[1]);
    TableDefn* machine = GetTableDefnByName("machine");
    CriteriaNode* condition = ParseCondition("MachineId > 5 and HostName = 'pc-01'\n");
    char* text = condition ? ToStringCriteriaTree(condition) : NULL;
    LogInfo("consumer: dictionary %d, Machine %s, condition %s\n", loaded, machine ? "found" : "missing",
            text ? text : "(none)");
    printf("dictionary %d, Machine %s, condition %s\n", loaded, machine ? "found" : "missing", text ? text : "(none)");
    InitSqlDialects();
    RegisterAllSqlDialects();
    SetDSNMapValid(0, 3); /* no data-source map: the SQLite dialect */
    char* create = GenerateCreateTableQuery("Machine");
    printf("%s", create ? create : "no create statement\n");
    int ok = loaded == 1 && machine != NULL && text != NULL && create != NULL;
    free(create);
    FreeSqlDialects();
    free(text);
    FreeCriteriaTree(condition);
    FreeTableDefns();
    CloseLogFile();
    FreeLogConfig();
    return ok ? 0 : 1;
}
