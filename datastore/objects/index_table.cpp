/*
 * Index tables of dominant tables: created from a personality file,
 * filled as rows of referring tables are saved, read by the deep fetch.
 *
 * Statements here carry values of rows: each value is written as a literal
 * of its column's type in the default connection's dialect (text quoted,
 * quotes doubled, backslashes too for MySQL), never pasted as it is. Table
 * and column names come from the data dictionary, never from the file.
 */
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "personality_internal.h"
#include "personality_roots.h"
#include "runtime/log.h"
#include "table_rows.h"
#include "velmora/column_types.h"

namespace velmora_objects {

namespace {

std::set<std::string>& IndexedTables()
{
    static std::set<std::string> tables;
    return tables;
}

bool IsIntegerType(uint8_t type) { return type >= BRI_SQL_TINYINT && type <= BRI_SQL_UNSIGNED_LONG_INT; }
bool IsTextType(uint8_t type) { return type == BRI_SQL_CHAR || type == BRI_SQL_VARCHAR; }

// "name INT, " and the like for each key column; false for a key column
// of a type the index table cannot hold.
bool PKColumnString(const char* table, const std::vector<const ColumnDefn*>& columns, std::string& out)
{
    for (const ColumnDefn* column : columns) {
        out += column->name;
        if (IsIntegerType(column->type)) {
            out += column->type >= BRI_SQL_UNSIGNED_INT ? " BIGINT, " : " INT, ";
        } else if (IsTextType(column->type)) {
            out += " VARCHAR(" + std::to_string(column->maxSize > 0 ? column->maxSize : 255) + "), ";
        } else {
            LogError("Key column %s of %s has a type an index table cannot hold\n", column->name, table);
            return false;
        }
    }
    return true;
}

bool CreateIndexTable(const char* tableName)
{
    TableDefn* table = GetTableDefnByName(tableName);
    std::vector<const ColumnDefn*> columns = GetPKColumnInfo(tableName);
    std::string key;
    if (!table || columns.empty() || !PKColumnString(table->name, columns, key)) {
        LogError("Cannot create Index Table for %s\n", tableName);
        return false;
    }
    IndexedTables().insert(table->name);
    std::string statement = std::string("CREATE TABLE ") + table->name + "_IDX(" + key + " TABLENAME VARCHAR(40))";
    if (!ExecuteOnDefaultConnection(statement)) {
        LogError("Cannot create Index Table %s_IDX (it may exist already)\n", table->name);
        return false;
    }
    return true;
}

// The literal of value (length bytes, of type) in dialect; nullopt when the
// value is NULL or has no literal form here.
std::optional<std::string> Literal(const void* value, int32_t length, uint8_t type, const char* dialect)
{
    if (!value)
        return std::nullopt;
    if (IsIntegerType(type))
        return std::to_string(ColumnValueToInt64(value, length, type));
    if (IsTextType(type)) {
        size_t size = strnlen(static_cast<const char*>(value), static_cast<size_t>(length < 0 ? 0 : length));
        return QuoteSqlText(std::string(static_cast<const char*>(value), size), dialect);
    }
    return std::nullopt;
}

} // namespace

std::vector<const ColumnDefn*> GetPKColumnInfo(const char* table)
{
    std::vector<const ColumnDefn*> columns;
    if (!table) {
        LogError("Cannot get PKColumnInfo.  TableName is NULL\n");
        return columns;
    }
    TableDefn* definition = GetTableDefnByName(table);
    if (!definition) {
        LogError("No table definition found for %s.\n", table);
        return columns;
    }
    if (!definition->constraints || definition->constraints->primaryKeyCount < 1) {
        LogError("No constraints for table %s\n", table);
        return columns;
    }
    for (int32_t i = 0; i < definition->constraints->primaryKeyCount; i++) {
        ColumnDefn* column = GetColumnDefnEntry(definition->name, definition->constraints->primaryKeys[i]);
        if (!column) {
            LogError("Key column %s of %s is not defined\n", definition->constraints->primaryKeys[i], table);
            return {};
        }
        columns.push_back(column);
    }
    return columns;
}

int GetColIndex(const TableDefn* table, const char* column)
{
    int index = 0;
    for (LCDNode* node = table && column ? table->columns->head : nullptr; node; node = node->next, index++)
        if (std::strcmp(static_cast<ColumnDefn*>(node->data)->name, column) == 0)
            return index;
    return -1;
}

bool IsIndexedTable(const char* table)
{
    for (const std::string& indexed : IndexedTables())
        if (strcasecmp(indexed.c_str(), table) == 0)
            return true;
    return false;
}

void ClearIndexedTables() { IndexedTables().clear(); }

bool CreateIndexTables(const std::vector<PersonalityNode>& nodes)
{
    LogTrace("@@@@ CreateIndexTable @@@@\n");
    bool ok = true;
    for (const PersonalityNode& node : nodes) {
        if (strcasecmp(node.name.c_str(), "DominantTableConfig") != 0)
            continue;
        // In attribute order: isindexed only acts on a table named before it.
        std::string table;
        for (const auto& [key, value] : node.attributes) {
            if (strcasecmp(key.c_str(), "dominanttableid") == 0)
                table = value;
            else if (strcasecmp(key.c_str(), "isindexed") == 0 && strcasecmp(value.c_str(), "true") == 0) {
                if (table.empty()) {
                    LogError("DominantTableConfig says isindexed before naming its table; no index table\n");
                    continue;
                }
                ok = CreateIndexTable(table.c_str()) && ok;
            }
        }
    }
    return ok;
}

} // namespace velmora_objects

using namespace velmora_objects;

extern "C" {

DataObject* DeepRetrieveDO(const char* dominantTable, const RowUnit* rowUnit)
{
    LogTrace("@@@ Inside DeepRetrieveDO @@@\n");
    TableDefn* table = dominantTable ? GetTableDefnByName(dominantTable) : nullptr;
    if (!table || !rowUnit) {
        LogError("DeepRetrieveDO : no dominant table or row\n");
        return nullptr;
    }
    std::vector<const ColumnDefn*> keys = GetPKColumnInfo(table->name);
    if (keys.empty()) {
        LogError("No primary columns in the dominant table.\n");
        LogError("No primary keys in dominant table %s\n", table->name);
        return nullptr;
    }
    const char* dialect = DefaultConnectionDialect();
    std::string condition;
    for (const ColumnDefn* key : keys) {
        int position = GetColIndex(table, key->name);
        std::optional<std::string> literal;
        if (position >= 0 && position < rowUnit->columnCount && rowUnit->values)
            literal = Literal(rowUnit->values[position], rowUnit->lengths ? rowUnit->lengths[position] : 0, key->type,
                              dialect);
        if (!literal) {
            LogError("No primary keys in dominant table %s\n", table->name);
            return nullptr;
        }
        condition += (condition.empty() ? "" : " AND ") + std::string(key->name) + " = " + *literal;
    }
    std::string statement = std::string("SELECT TABLENAME FROM ") + table->name + "_IDX WHERE " + condition;
    auto rows = ReadDefaultTextRows(statement);
    std::vector<std::string> names = {table->name};
    for (const TextRow& row : rows ? *rows : std::vector<TextRow>{}) {
        auto name = row.Get("TABLENAME");
        if (!name)
            continue;
        bool seen = false; // a table is listed once whatever the index holds
        for (const std::string& known : names)
            seen = seen || strcasecmp(known.c_str(), name->c_str()) == 0;
        if (!seen)
            names.push_back(*name);
    }
    if (names.size() < 2) {
        LogError("Query: %s. No tables indexed.  Cannot deep retrieve DO for %s\n", statement.c_str(), table->name);
        return nullptr;
    }
    std::unique_ptr<LCDVector, void (*)(LCDVector*)> list(CreateVector(), [](LCDVector* v) {
        FreeVector(v);
        std::free(v);
    });
    for (std::string& name : names)
        if (!list || AddElementData(list.get(), name.data()) != VELMORA_SUCCESS)
            return nullptr;
    return GetDataObjectByRowUnit(list.get(), rowUnit);
}

int AddEntryToIndexTable(const char* tableName, const RowObject* row)
{
    LogTrace("@@@ Inside AddEntryToIndexTable @@@\n");
    TableDefn* table = tableName ? GetTableDefnByName(tableName) : nullptr;
    if (!table || !row) {
        LogError("AddEntryToIndexTable : no table definition or row\n");
        return VELMORA_FAILURE;
    }
    if (!table->constraints || !table->constraints->foreignKeys || table->constraints->foreignKeys->count == 0) {
        LogTrace("No References.\n");
        return VELMORA_SUCCESS;
    }
    bool remove = (row->state & ROW_STATE_STORED) && (row->state & ROW_STATE_DELETED);
    bool add = row->state == ROW_STATE_NEW || row->state == (ROW_STATE_NEW | ROW_STATE_UPDATED);
    if (!remove && !add)
        return VELMORA_SUCCESS;
    const char* dialect = DefaultConnectionDialect();
    for (const RootColumn& root : FindRootTable(table->name, nullptr)) {
        if (!IsDominantTable(root.table.c_str()) || !IsIndexedTable(root.table.c_str()))
            continue;
        std::vector<const ColumnDefn*> keys = GetPKColumnInfo(root.table.c_str());
        if (keys.size() != 1)
            continue;
        int position = GetColIndex(table, root.localColumn.c_str());
        if (position < 0)
            continue;
        auto* local = static_cast<ColumnDefn*>(ElementAt(table->columns, position)->data);
        std::optional<std::string> value = row->values
            ? Literal(row->values[position], row->lengths ? row->lengths[position] : 0, local->type, dialect)
            : std::nullopt;
        if (!value)
            continue; // a row without a dominant row has no entry
        TableDefn* rootTable = GetTableDefnByName(root.table.c_str());
        std::string index = std::string(rootTable->name) + "_IDX";
        std::string where =
            std::string(keys[0]->name) + " = " + *value + " AND TABLENAME = " + QuoteSqlText(table->name, dialect);
        std::string statement;
        if (remove) {
            // Only this table's entry: the dominant row's other tables stay indexed.
            statement = "DELETE FROM " + index + " WHERE " + where;
        } else {
            auto present = ReadDefaultTextRows("SELECT TABLENAME FROM " + index + " WHERE " + where);
            if (present && !present->empty())
                continue; // one entry per dominant row and table
            statement = "INSERT INTO " + index + " VALUES (" + *value + ", " + QuoteSqlText(table->name, dialect) + ")";
            LogTrace("Insert Query for %s: %s\n", index.c_str(), statement.c_str());
        }
        if (!ExecuteOnDefaultConnection(statement)) {
            LogError("Cannot Add Entry Into Index Table\n");
            return VELMORA_FAILURE;
        }
    }
    return VELMORA_SUCCESS;
}

} // extern "C"
