/*
 * The lists of tables to preload and to save.
 */
#include <string.h>

#include <string>
#include <vector>

#include "data_files.h"
#include "runtime/log.h"
#include "velmora/table_data.h"
#include "velmora/table_persistence.h"

using namespace velmora_objects;

namespace {

const char kLoadList[] = "loadtablelist.txt";
const char kSaveList[] = "savetableslist.txt";

bool StartsWithSelect(const std::string& text)
{
    return text.compare(0, 6, "select") == 0 || text.compare(0, 6, "SELECT") == 0;
}

/* One line of the load list: "table", "table select ..." or "table text". */
void LoadListEntry(const std::string& line)
{
    size_t blank = line.find(' ');
    if (blank == std::string::npos) {
        LoadTable(line.c_str());
        return;
    }
    std::string table = line.substr(0, blank);
    std::string rest = line.substr(blank + 1);
    if (StartsWithSelect(rest)) {
        LogDebug("LOADTABLE_QUERY : %s\n", rest.c_str());
        LoadTableByQuery(table.c_str(), rest.c_str());
    } else {
        LogDebug("LOADTABLE : %s\n", table.c_str());
        LoadTable(table.c_str());
    }
}

void LoadList(FILE* file, const char* name)
{
    LineReader reader(file, name);
    std::string line;
    while (reader.Next(line))
        if (!line.empty())
            LoadListEntry(line);
}

} // namespace

extern "C" int LoadAllTables(void)
{
    LogTrace("\t@@@@@ Inside LoadAllTables() @@@@@\n");
    DataFile list = OpenDataFile(kLoadList, true);
    if (!list.file) {
        LogError("Cannot open LoadTableList Entry File.\n");
        return VELMORA_FAILURE;
    }
    LoadList(list.file.get(), kLoadList);
    return VELMORA_SUCCESS;
}

extern "C" int LoadTablesFromFile(const char* path)
{
    LogTrace("\t@@@@@ Inside LoadTablesFromFile() @@@@@\n");
    File file(path ? fopen(path, "rb") : nullptr);
    if (!file) {
        LogError("Cannot open LoadTableList Entry File.\n");
        return VELMORA_FAILURE;
    }
    LoadList(file.get(), path);
    return VELMORA_SUCCESS;
}

extern "C" int ReloadTableData(void)
{
    LogTrace("\t@@@@@ Inside ReloadTableData() @@@@@\n");
    UnLoadAllTable();
    return LoadAllTables();
}

extern "C" int SaveAllTables(void)
{
    LogTrace("@@@ Inside SaveAllTables @@@\n");
    // The names are taken first: a save must not walk the registry while a
    // listener of a changed row adds or frees tables.
    std::vector<std::string> names;
    LockObject(&gv_tableDataVector);
    for (LCDNode* node = gv_tableDataVector.head; node; node = node->next) {
        const auto* table = static_cast<const TableData*>(node->data);
        if (table && table->name && table->kind == TABLE_KIND_TABLE)
            names.emplace_back(table->name);
    }
    UnlockObject(&gv_tableDataVector);
    for (const std::string& name : names)
        SaveTable(name.c_str());
    return VELMORA_SUCCESS;
}

extern "C" int SaveTablesFromList(void)
{
    LogTrace("\t@@@@@ Inside SaveTablesFromList @@@@@\n");
    DataFile list = OpenDataFile(kSaveList, false);
    if (!list.file) {
        LogError("No tables to be saved.\n");
        return VELMORA_SUCCESS;
    }
    LineReader reader(list.file.get(), kSaveList);
    std::string line;
    while (reader.Next(line)) {
        std::string table = line.substr(0, line.find(' '));
        if (!table.empty())
            SaveTable(table.c_str());
    }
    return VELMORA_SUCCESS;
}
