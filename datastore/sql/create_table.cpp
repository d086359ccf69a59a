/*
 * Create-table statements from a table definition, in any dialect: one line
 * per column with its SQL type, default, NOT NULL and UNIQUE, then the
 * primary key, the foreign keys and the dialect's tail.
 */
#include <string.h>

#include <new>
#include <vector>

#include "dialect_style.h"
#include "runtime/log.h"
#include "velmora/string_routines.h"
#include "velmora/table_defn.h"

namespace velmora_sql {

namespace {

const char kDashes[] = "---------------------------------------\n\n";
const char kStars[] = "********************************\n";

/* How a column type is written: its SQL type and whether a default is
 * written after it. Null type: the dialect has no column for it. */
struct ColumnType {
    const char* sqlType;
    bool takesDefault;
};

ColumnType TypeOf(DialectKind kind, uint8_t type)
{
    const bool mysql = kind == DialectKind::Mysql, pgsql = kind == DialectKind::Pgsql,
               sqlite = kind == DialectKind::Sqlite;
    switch (type) {
    case BRI_SQL_TINYINT:
    case BRI_SQL_SMALLINT:
    case BRI_SQL_INT:
    case BRI_SQL_UNSIGNED_TINYINT:
    case BRI_SQL_UNSIGNED_SMALLINT:
        return {"int", true};
    case BRI_SQL_UNSIGNED_INT:
        // Up to 4294967295: wider than a signed int where there is no unsigned.
        return {mysql ? "int unsigned" : sqlite ? "int" : "bigint", true};
    case BRI_SQL_BIGINT:
        // SQLite's int holds 64 bits; elsewhere int is 32 bits and refuses them.
        return {sqlite ? "int" : "bigint", true};
    case BRI_SQL_UNSIGNED_LONG_INT:
        return {mysql ? "bigint unsigned" : sqlite ? "int" : "bigint", true};
    case BRI_SQL_FLOAT:
    case BRI_SQL_REAL:
        return {mysql || kind == DialectKind::Firebird ? "float" : "real", true};
    case BRI_SQL_DOUBLE:
        return {mysql ? "double" : sqlite ? "real" : "double precision", true};
    case BRI_SQL_CHAR:
    case BRI_SQL_VARCHAR:
        return {"varchar", true};
    case BRI_SQL_DATE:
        return {sqlite ? "varchar(30)" : "date", false};
    case BRI_SQL_TIME:
        return {sqlite ? "varchar(30)" : "time", false};
    case BRI_SQL_DATETIME:
        return {mysql ? "datetime" : sqlite ? "varchar(30)" : "timestamp", false};
    case BRI_SQL_BOOLEAN:
        return {mysql ? "tinyint" : kind == DialectKind::Firebird ? "SMALLINT" : "boolean", true};
    case BRI_SQL_BLOB:
    case BRI_SQL_CLOB:
        return {mysql ? "blob" : nullptr, true};
    case BRI_SQL_TEXT:
        // Firebird has no "text" type; its long text is a text blob.
        return {kind == DialectKind::Firebird ? "BLOB SUB_TYPE TEXT" : "text", false};
    default:
        (void)pgsql;
        return {nullptr, false};
    }
}

/* "DEFAULT ..." for a column that has a default, else the blank of an empty
 * default. */
void WriteDefault(SqlWriter& out, const DialectStyle& style, const ColumnDefn& column)
{
    if (!column.defaultValue) {
        out.Add(" ");
        return;
    }
    if (column.type == BRI_SQL_BOOLEAN) {
        uint8_t byte = column.defaultLength >= 1 ? *static_cast<const uint8_t*>(column.defaultValue) : 2;
        if (byte > 1) {
            out.Add(" ");
            return;
        }
        out.Add("DEFAULT ").Add(style.literals.boolSet[byte]);
        return;
    }
    out.Add("DEFAULT ");
    AppendLiteral(out, style.literals, ValuePlace::Insert, column.defaultValue, column.defaultLength, column.type);
}

/* One column's line, without the separator. false when the dialect has no
 * type for the column. */
bool WriteColumn(SqlWriter& out, const DialectStyle& style, const TableDefn& table, const ColumnDefn& column)
{
    ColumnType type = TypeOf(style.kind, column.type);
    if (!type.sqlType || !column.name)
        return false;
    out.Add("\t").Add(column.name).Add(" ").Add(type.sqlType);
    if (column.type == BRI_SQL_CHAR || column.type == BRI_SQL_VARCHAR) {
        int64_t size = column.maxSize < 0 ? 0 : column.maxSize;
        out.Format("(%lld)", static_cast<long long>(style.kind == DialectKind::Pgsql ? size + 1 : size));
    }
    if (type.takesDefault) {
        out.Add(" ");
        WriteDefault(out, style, column);
        if (column.type == BRI_SQL_BOOLEAN)
            out.Add(" ");
    } else if (column.type == BRI_SQL_TEXT) {
        out.Add(" ");
    }
    if (!column.nullable)
        out.Add(" NOT NULL");
    // Firebird refuses a UNIQUE on the very column that is the primary key,
    // but a column that is only part of a composite key needs its own
    // UNIQUE: a foreign key may refer to that column alone.
    if (column.unique &&
        !(style.kind == DialectKind::Firebird && table.constraints->primaryKeyCount == 1 &&
          IsPrimaryKeyColumn(&table, column.name)))
        out.Add(" UNIQUE");
    return true;
}

void LogColumn(const ColumnDefn& column)
{
    LogDebug("Column Name : %s\n", column.name ? column.name : "");
    LogDebug("Column Type : %d\n", column.type);
    LogDebug("Unique Flag : %s\n", column.unique ? "TRUE" : "FALSE");
    LogDebug("Description : %s\n", column.description ? column.description : "");
    LogDebug("%s", kDashes);
}

/* Consecutive entries to the same table on other reference columns than
 * the first one's form one key. */
std::vector<std::vector<const ForeignKeyDefn*>> GroupForeignKeys(const LCDVector* keys)
{
    std::vector<const ForeignKeyDefn*> entries;
    for (const LCDNode* node = keys ? keys->head : nullptr; node; node = node->next)
        if (node->data)
            entries.push_back(static_cast<const ForeignKeyDefn*>(node->data));
    std::vector<std::vector<const ForeignKeyDefn*>> groups;
    for (size_t i = 0; i < entries.size();) {
        const ForeignKeyDefn* first = entries[i];
        std::vector<const ForeignKeyDefn*> group{first};
        size_t j = i + 1;
        while (j < entries.size() && CompareNoCase(entries[j]->referenceTable, first->referenceTable) == 0 &&
               strcmp(entries[j]->referenceColumn, first->referenceColumn) != 0)
            group.push_back(entries[j++]);
        groups.push_back(std::move(group));
        i = j;
    }
    return groups;
}

void WriteForeignKeys(SqlWriter& out, const DialectStyle& style, const TableDefn& table)
{
    auto groups = GroupForeignKeys(table.constraints->foreignKeys);
    if (groups.empty())
        return;
    LogDebug("Foreign key Constraints\n");
    LogDebug("%s", kStars);
    out.Add(",\n");
    int number = 0;
    for (const auto& group : groups) {
        auto joined = [&](bool reference) {
            for (size_t i = 0; i < group.size(); i++)
                out.Add(i ? "," : "").Add(reference ? group[i]->referenceColumn : group[i]->localColumn);
        };
        out.Add("\tFOREIGN KEY(");
        joined(false);
        out.Add(") REFERENCES ").Add(group[0]->referenceTable).Add(" (");
        joined(true);
        out.Add(") ON DELETE CASCADE");
        if (style.kind == DialectKind::Mysql) {
            out.Format(",\n\tINDEX %s_IDX%d (", table.name, number);
            joined(false);
            out.Add(")");
        } else {
            for (const ForeignKeyDefn* key : group) {
                LogDebug("Column Name : %s\n", key->localColumn);
                LogDebug("Ref Column  : %s\n", key->referenceColumn);
                LogDebug("Tablename : %s\n", key->referenceTable);
            }
        }
        if (++number < static_cast<int>(groups.size()))
            out.Add(",\n");
    }
    LogDebug("%s", kStars);
}

bool ForeignKeysComplete(const LCDVector* keys)
{
    for (const LCDNode* node = keys ? keys->head : nullptr; node; node = node->next) {
        const auto* key = static_cast<const ForeignKeyDefn*>(node->data);
        if (key && (!key->localColumn || !key->referenceColumn || !key->referenceTable))
            return false;
    }
    return true;
}

} // namespace

char* GenerateCreate(const DialectStyle& style, const char* tableName)
{
    if (style.kind != DialectKind::Sqlite)
        LogTrace("@@@ Inside %sGenCreateQuery @@@\n", style.prefix);
    const TableDefn* table = GetTableDefnByName(tableName);
    if (!table || !table->columns || table->columns->count == 0 || !table->constraints)
        return nullptr;
    LogDebug("Table Name : %s\n", table->name);
    LogDebug("Description: %s\n", table->description ? table->description : "");
    LogDebug("%s", kDashes);
    try {
        SqlWriter out(TEXT_BUFFER_SQL_CAPACITY, TEXT_BUFFER_SQL_STEP);
        if (!out.created())
            return nullptr;
        const ConstraintDefn& constraints = *table->constraints;
        const bool hasKey = constraints.primaryKeyCount > 0 && constraints.primaryKeys;
        out.Add("CREATE TABLE ").Add(table->name).Add("(\n");
        for (const LCDNode* node = table->columns->head; node && out.ok(); node = node->next) {
            const auto* column = static_cast<const ColumnDefn*>(node->data);
            if (!column)
                continue;
            LogColumn(*column);
            if (!WriteColumn(out, style, *table, *column)) {
                LogError("Unsupported Datatype Used in Query generation.\n");
                return nullptr;
            }
            if (node->next || hasKey)
                out.Add(",\n");
        }
        if (hasKey) {
            out.Add("\tPRIMARY KEY(");
            for (int32_t i = 0; i < constraints.primaryKeyCount; i++) {
                const char* key = constraints.primaryKeys[i] ? constraints.primaryKeys[i] : "";
                LogDebug("Primary key : %s\n\n", key);
                out.Add(i ? ", " : "").Add(key);
            }
            out.Add(")");
        }
        if (!ForeignKeysComplete(constraints.foreignKeys)) {
            LogError("Unsupported Datatype Used in Query generation.\n");
            return nullptr;
        }
        WriteForeignKeys(out, style, *table);
        out.Add(style.kind == DialectKind::Mysql ? "\n) ENGINE=InnoDB;\n\n" : "\n);\n\n");
        if (!out.ok()) {
            if (out.status() != VELMORA_ALLOC_FAILURE)
                LogError("Unsupported Datatype Used in Query generation.\n");
            return nullptr;
        }
        LogDebug("Create query is\n%s\n", out.text());
        char* copy = out.Copy();
        if (!copy)
            LogError("@@@ Query String Copy falied @@@\n");
        return copy;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

} // namespace velmora_sql
