// Definitions, rows and queries for the SQL dialect suites.
//
// Each test defines the tables it needs in the process-wide registry
// (SqlTest::TearDown frees them) and builds rows from texts (nullptr: NULL),
// converted as the store converts them.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "velmora/base.h"
#include "velmora/select_query.h"
#include "velmora/sql_dialect.h"
#include "velmora/table_data.h"

namespace sql_fixture {

struct ColumnSpec {
    const char* name;
    uint8_t type;
    const char* defaultText = nullptr;
    int32_t maxSize = 40;
    bool nullable = true;
    bool unique = false;
};

struct KeySpec {
    const char* local;
    const char* reference;
    const char* table;
};

inline char** Strings(const std::vector<const char*>& texts)
{
    auto** array = static_cast<char**>(calloc(texts.size() + 1, sizeof(char*)));
    for (size_t i = 0; i < texts.size(); i++)
        array[i] = strdup(texts[i]);
    return array;
}

/* Defines and registers a table; returns it. */
inline TableDefn* Define(const char* name, const std::vector<ColumnSpec>& columns,
                         const std::vector<const char*>& keys = {}, const std::vector<KeySpec>& foreign = {})
{
    LCDVector* list = CreateVector();
    for (const ColumnSpec& c : columns) {
        int32_t length = c.defaultText ? static_cast<int32_t>(strlen(c.defaultText)) : 0;
        AddElementData(list,
                       CreateColumnDefn(c.name, c.type, c.defaultText, length, c.unique, nullptr, nullptr, c.maxSize,
                                        c.nullable, nullptr));
    }
    ConstraintDefn* constraints =
        CreateConstraintDefn(keys.empty() ? nullptr : Strings(keys), static_cast<int32_t>(keys.size()), nullptr);
    for (const KeySpec& k : foreign)
        AddForeignKeyDefn(constraints, CreateForeignKeyDefn(k.local, k.reference, k.table, 0, 0, 0));
    TableDefn* table = CreateTableDefn(name, nullptr, list, constraints);
    EXPECT_EQ(AddTableDefn(table), VELMORA_SUCCESS);
    return table;
}

struct RowDeleter {
    int32_t columns;
    void operator()(RowObject* row) const { FreeRowObject(row, columns); }
};
using RowPtr = std::unique_ptr<RowObject, RowDeleter>;

/* A row of the table's column types from texts (nullptr: NULL). */
inline RowPtr Row(const TableDefn* table, std::initializer_list<const char*> texts)
{
    size_t n = texts.size();
    auto** values = static_cast<void**>(calloc(n, sizeof(void*)));
    auto* lengths = static_cast<int32_t*>(calloc(n, sizeof(int32_t)));
    const LCDNode* node = table->columns->head;
    size_t i = 0;
    for (const char* text : texts) {
        uint8_t type = static_cast<const ColumnDefn*>(node->data)->type;
        if (text) {
            EXPECT_EQ(AllocateAndCopyColumnValue(&values[i], &lengths[i], type, text), VELMORA_SUCCESS) << text;
        }
        node = node->next;
        i++;
    }
    return RowPtr(CreateNewRowObject(values, lengths), RowDeleter{static_cast<int32_t>(n)});
}

struct Dialect {
    const char* name;
    char* (*select)(SelectQuery*);
    char* (*update)(const char*, const RowObject*);
    char* (*insert)(const char*, const RowObject*);
    char* (*remove)(const char*, const RowObject*);
    char* (*create)(const char*);
};

inline const Dialect kMysql{
    "MYSQL", MysqlGenSelectQuery, MysqlGenUpdateQuery, MysqlGenInsertQuery, MysqlGenDelteQuery, MysqlGenCreateQuery};
inline const Dialect kPgsql{
    "PGSQL", PgsqlGenSelectQuery, PgsqlGenUpdateQuery, PgsqlGenInsertQuery, PgsqlGenDeleteQuery, PgsqlGenCreateQuery};
inline const Dialect kSqlite{"SQLITE",
                             SqliteGenSelectQuery,
                             SqliteGenUpdateQuery,
                             SqliteGenInsertQuery,
                             SqliteGenDeleteQuery,
                             SqliteGenCreateQuery};
inline const Dialect kFirebird{"FIREBIRD",
                               FirebirdGenSelectQuery,
                               FirebirdGenUpdateQuery,
                               FirebirdGenInsertQuery,
                               FirebirdGenDeleteQuery,
                               FirebirdGenCreateQuery};
inline const Dialect kDialects[] = {kMysql, kPgsql, kSqlite, kFirebird};

/* A generated statement as a string; "<null>" for null. Frees it. */
inline std::string Take(char* statement)
{
    if (!statement)
        return "<null>";
    std::string text(statement);
    free(statement);
    return text;
}

struct QueryDeleter {
    void operator()(SelectQuery* query) const { FreeSelectQuery(query); }
};
using QueryPtr = std::unique_ptr<SelectQuery, QueryDeleter>;

/* Shorthands for building queries in the query's pool. */
inline QueryColumn* Col(SelectQuery* q, const char* column, uint8_t type = BRI_SQL_INT, const char* table = nullptr,
                        const char* alias = nullptr)
{
    return CreateListColumn(table, alias, column, nullptr, 0, type, 0, q->pool);
}

inline QueryCondition* Leaf(SelectQuery* q, QueryColumn* column, uint8_t op, const void* value, int32_t length)
{
    return CreateQueryCondition(column, value, length, op, q->pool);
}

inline QueryCondition* IntLeaf(SelectQuery* q, const char* column, uint8_t op, int32_t value)
{
    return Leaf(q, Col(q, column), op, &value, 4);
}

inline QueryCondition* TextLeaf(SelectQuery* q, const char* column, uint8_t op, const char* value,
                                uint8_t type = BRI_SQL_VARCHAR)
{
    return Leaf(q, Col(q, column, type), op, value, static_cast<int32_t>(strlen(value)));
}

inline LCDVector* Columns(SelectQuery* q, std::initializer_list<QueryColumn*> columns)
{
    LCDVector* list = CreateColumnList(q->pool);
    for (QueryColumn* column : columns)
        AddListColumn(q->pool, column, list);
    return list;
}

inline SelectQuery* FromTable(SelectQuery* q, const char* table, const char* alias = nullptr)
{
    AddQueryTable(q, CreateQueryTable(table, alias, q->pool));
    return q;
}

} // namespace sql_fixture

/* Starts every test with an empty definition registry and the memory pool,
 * and frees both afterwards. */
class SqlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitTableDefnVector();
        ASSERT_EQ(InitializeMemPool(), VELMORA_SUCCESS);
    }
    void TearDown() override
    {
        FreeTableDefns();
        TerminateMemPool();
    }
};
