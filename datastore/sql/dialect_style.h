/*
 * Internal: what distinguishes one dialect from another. The statement
 * generators are written once and read these records; each dialect's file
 * holds its record and its prefixed entry points.
 */
#pragma once

#include "sql_writer.h"
#include "velmora/result_set.h"
#include "velmora/select_query.h"
#include "velmora/table_data.h"

namespace velmora_sql {

enum class DialectKind { Mysql, Pgsql, Sqlite, Firebird };

/* Where the paging of a select goes and how it reads. */
enum class Paging {
    LimitCommaOffset, /* "limit 20 , 10" at the end (MySQL) */
    LimitThenOffset,  /* "limit 10 offset 20" at the end */
    FirstSkip         /* "first 10 skip 20 " right after "select " (Firebird) */
};

struct DialectStyle {
    DialectKind kind;
    const char* prefix; /* "Mysql": the routines' names in trace lines */
    LiteralRules literals;
    Paging paging;
    const char* tableAlias;  /* " as %s " or " %s " in the table list */
    const char* joinAlias;   /* "as %s " or "%s " after a joined table */
    bool traceRowStatements; /* the entry trace of update, insert, delete */
    const char* updateLog;   /* "Update query is @@@ %s\n" (MySQL) or "@@@%s\n" */
    bool logInsert;          /* "Insert query is @@@%s\n" (MySQL only) */
    const char* insertClose; /* ")" or ");" */
    bool parseDateTexts;     /* the result converter parses date and time texts (SQLite) */
};

/* The generators, for the dialect files. */
char* GenerateSelect(const DialectStyle& style, SelectQuery* query);
char* GenerateUpdate(const DialectStyle& style, const char* tableName, const RowObject* row);
char* GenerateInsert(const DialectStyle& style, const char* tableName, const RowObject* row);
char* GenerateDelete(const DialectStyle& style, const char* tableName, const RowObject* row);
char* GenerateCreate(const DialectStyle& style, const char* tableName);
RowObject* ConvertResultRow(const DialectStyle& style, const DBResultSet* resultSet, const char* tableName);

/* The select pieces as pool text (the exported ...Str routines). */
char* ColumnsPiece(const DialectStyle& style, LCDVector* columns, MemPool* pool);
char* JoinsPiece(const DialectStyle& style, LCDVector* joins, MemPool* pool);
char* TableListPiece(const DialectStyle& style, LCDVector* tables, MemPool* pool);
char* CriteriaPiece(const DialectStyle& style, QueryCondition* criteria, MemPool* pool);
char* GroupByPiece(const DialectStyle& style, GroupByClause* groupBy, MemPool* pool);
char* SortPiece(const DialectStyle& style, SortClause* sort, MemPool* pool);

} // namespace velmora_sql

/* The prefixed entry points of one dialect, each handing its style record
 * to the shared generators, and the dialect's SqlDialect table. */
#define VELMORA_SQL_DIALECT(Prefix, DeleteName, NameText, Style)                                                       \
    extern "C" char* Prefix##GenSelectQuery(SelectQuery* query) { return velmora_sql::GenerateSelect(Style, query); }  \
    extern "C" char* Prefix##GenUpdateQuery(const char* tableName, const RowObject* row)                               \
    {                                                                                                                  \
        return velmora_sql::GenerateUpdate(Style, tableName, row);                                                     \
    }                                                                                                                  \
    extern "C" char* Prefix##GenInsertQuery(const char* tableName, const RowObject* row)                               \
    {                                                                                                                  \
        return velmora_sql::GenerateInsert(Style, tableName, row);                                                     \
    }                                                                                                                  \
    extern "C" char* DeleteName(const char* tableName, const RowObject* row)                                           \
    {                                                                                                                  \
        return velmora_sql::GenerateDelete(Style, tableName, row);                                                     \
    }                                                                                                                  \
    extern "C" char* Prefix##GenCreateQuery(const char* tableName)                                                     \
    {                                                                                                                  \
        return velmora_sql::GenerateCreate(Style, tableName);                                                          \
    }                                                                                                                  \
    extern "C" RowObject* Prefix##ConvResultsetToRowobject(const DBResultSet* resultSet, const char* tableName)        \
    {                                                                                                                  \
        return velmora_sql::ConvertResultRow(Style, resultSet, tableName);                                             \
    }                                                                                                                  \
    extern "C" char* Prefix##GenerateColumnsStr(LCDVector* columns, MemPool* pool)                                     \
    {                                                                                                                  \
        return velmora_sql::ColumnsPiece(Style, columns, pool);                                                        \
    }                                                                                                                  \
    extern "C" char* Prefix##GenerateJoinsStr(LCDVector* joins, MemPool* pool)                                         \
    {                                                                                                                  \
        return velmora_sql::JoinsPiece(Style, joins, pool);                                                            \
    }                                                                                                                  \
    extern "C" char* Prefix##GenerateTableListStr(LCDVector* tables, MemPool* pool)                                    \
    {                                                                                                                  \
        return velmora_sql::TableListPiece(Style, tables, pool);                                                       \
    }                                                                                                                  \
    extern "C" char* Prefix##GenerateCriteriaStr(QueryCondition* criteria, MemPool* pool)                              \
    {                                                                                                                  \
        return velmora_sql::CriteriaPiece(Style, criteria, pool);                                                      \
    }                                                                                                                  \
    extern "C" char* Prefix##GenCriteriaString(QueryCondition* node, MemPool* pool)                                    \
    {                                                                                                                  \
        return velmora_sql::CriteriaPiece(Style, node, pool);                                                          \
    }                                                                                                                  \
    extern "C" char* Prefix##GenerateGroupByStr(GroupByClause* groupBy, MemPool* pool)                                 \
    {                                                                                                                  \
        return velmora_sql::GroupByPiece(Style, groupBy, pool);                                                        \
    }                                                                                                                  \
    extern "C" char* Prefix##GenerateSortColumnStr(SortClause* sort, MemPool* pool)                                    \
    {                                                                                                                  \
        return velmora_sql::SortPiece(Style, sort, pool);                                                              \
    }                                                                                                                  \
    namespace {                                                                                                        \
    const SqlDialect k##Prefix##Dialect = {                                                                            \
        SQL_DIALECT_VERSION,    NameText,   Prefix##GenSelectQuery, Prefix##GenUpdateQuery,                            \
        Prefix##GenInsertQuery, DeleteName, Prefix##GenCreateQuery, Prefix##ConvResultsetToRowobject};                 \
    }                                                                                                                  \
    extern "C" int Register##Prefix##Dialect(void) { return RegisterSqlDialect(&k##Prefix##Dialect); }
