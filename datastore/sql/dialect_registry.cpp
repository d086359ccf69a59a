/*
 * The registry of SQL dialects: the four tables register themselves at
 * start-up and are found by name, case-insensitively.
 */
#include <stdlib.h>

#include "runtime/log.h"
#include "velmora/sql_dialect.h"
#include "velmora/string_routines.h"

extern "C" {
LCDVector gv_sqlDialects = {nullptr, 0, nullptr, nullptr};
}

extern "C" void InitSqlDialects(void)
{
    FreeVector(&gv_sqlDialects);
    InitVector(&gv_sqlDialects, nullptr);
}

extern "C" const SqlDialect* GetSqlDialect(const char* name)
{
    if (!name)
        return nullptr;
    // Registration happens at start-up; lookups only read the nodes.
    for (const LCDNode* node = gv_sqlDialects.head; node; node = node->next) {
        const auto* dialect = static_cast<const SqlDialect*>(node->data);
        if (dialect && dialect->name && CompareNoCase(dialect->name, name) == 0)
            return dialect;
    }
    return nullptr;
}

extern "C" int RegisterSqlDialect(const SqlDialect* dialect)
{
    if (!dialect || dialect->version != SQL_DIALECT_VERSION || !dialect->name || !dialect->GenSelectQuery ||
        !dialect->GenUpdateQuery || !dialect->GenInsertQuery || !dialect->GenDeleteQuery || !dialect->GenCreateQuery ||
        !dialect->ConvResultsetToRowobject) {
        LogError("Cannot register SQL dialect: incomplete dialect table.\n");
        return VELMORA_FAILURE;
    }
    if (GetSqlDialect(dialect->name)) {
        LogError("SQL dialect %s is already registered.\n", dialect->name);
        return VELMORA_FAILURE;
    }
    if (AddElementData(&gv_sqlDialects, const_cast<SqlDialect*>(dialect)) != VELMORA_SUCCESS) {
        LogError("MEMORY_ALLOCATION_FAILURE - Cannot register SQL dialect %s.\n", dialect->name);
        return VELMORA_ALLOC_FAILURE;
    }
    return VELMORA_SUCCESS;
}

extern "C" void FreeSqlDialects(void) { FreeVector(&gv_sqlDialects); }

extern "C" int RegisterAllSqlDialects(void)
{
    int (*const entries[])(void) = {RegisterPgsqlDialect, RegisterMysqlDialect, RegisterSqliteDialect,
                                    RegisterFirebirdDialect};
    for (auto entry : entries) {
        int result = entry();
        if (result != VELMORA_SUCCESS)
            return result;
    }
    return VELMORA_SUCCESS;
}
