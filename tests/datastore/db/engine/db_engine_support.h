// The database layer on a real engine through the ODBC provider: a private
// ODBC configuration, the providers started as start-up starts them, and
// connection entries that reach a database of the engine.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "engine_test.h"
#include "odbc_setup.h"
#include "velmora/column_types.h"
#include "velmora/db_provider.h"

namespace db_engine {

using tw::engines::Engine;

// The database type index of an engine's dialect (see GetDBTypeIndex).
inline uint8_t DBTypeOf(Engine engine) { return static_cast<uint8_t>(GetDBTypeIndex(odbc_setup::DialectName(engine))); }

// Adds a connection entry named connectionName for database of the
// engine (connection-string form, provider "ODBC").
inline ::testing::AssertionResult AddEngineEntry(Engine engine, const std::string& database, const char* connectionName)
{
    std::string error;
    odbc_setup::EntryPtr model = odbc_setup::ConnectionStringEntry(engine, database, &error);
    if (!model)
        return ::testing::AssertionFailure() << error;
    std::string text = model->connectionString;
    // A throwaway SQLite file need not reach the disk at every commit: that
    // costs the threaded suites most of their time.
    if (engine == Engine::sqlite)
        text += ";SyncPragma=OFF";
    ConnParamsEntry* entry =
        CreateConnParamsEntry("db", 1, model->dsn, model->userId, model->password, 0, connectionName, 1, text.c_str(),
                              model->providerName, model->databaseType);
    if (entry == nullptr || AddConnParamsEntry(entry) != VELMORA_SUCCESS) {
        FreeConnParamsEntry(entry);
        return ::testing::AssertionFailure() << "cannot add the entry";
    }
    return ::testing::AssertionSuccess();
}

// Providers loaded as InitDBProvider loads them, inside a private ODBC
// configuration; pools, entries and providers gone again afterwards.
class DBLayer {
public:
    DBLayer()
    {
        ClearDBProviders();
        EXPECT_EQ(InitDBProvider(), VELMORA_SUCCESS);
    }
    ~DBLayer()
    {
        CloseAllDBConnections();
        FreeAllConnParamsEntries();
        ClearDBProviders();
        SetDBClock(nullptr);
        SetDSNMapProviderLoader(nullptr);
    }

private:
    odbc_setup::PrivateOdbcConfig config_;
};

// Every connection of the pool named connectionName, by position.
inline DBConnection* PoolConnection(const char* connectionName, int index)
{
    for (LCDNode* node = gv_connPools.head; node != nullptr; node = node->next) {
        auto* pool = static_cast<DBConnectionPool*>(node->data);
        if (std::string(pool->connectionName) == connectionName) {
            LCDNode* at = ElementAt(&pool->connections, index);
            return at ? static_cast<DBConnection*>(at->data) : nullptr;
        }
    }
    return nullptr;
}

// The one integer a query's first column holds in its first row, or -1.
inline long long QueryNumber(DBConnection* connection, const std::string& statement)
{
    DBResultSet* result = ExecuteQuery(connection, statement.c_str());
    long long number = -1;
    const void* value = nullptr;
    int32_t length = 0;
    if (result != nullptr && NextDBResultRow(result) == VELMORA_SUCCESS &&
        GetDBResultValue(result, GetDBResultColumnName(result, 0), &value, &length) == VELMORA_SUCCESS &&
        value != nullptr) {
        switch (result->columns[0].type) {
        case BRI_SQL_BIGINT:
            number = *static_cast<const int64_t*>(value);
            break;
        case BRI_SQL_INT:
            number = *static_cast<const int32_t*>(value);
            break;
        case BRI_SQL_SMALLINT:
            number = *static_cast<const int16_t*>(value);
            break;
        default:
            number = std::atoll(static_cast<const char*>(value));
        }
    }
    FreeDBResultSet(result);
    return number;
}

} // namespace db_engine
