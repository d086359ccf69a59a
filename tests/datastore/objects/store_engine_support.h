// The store on a real engine for the load and save suites: the example
// dictionary's tables created in the test's database, every table mapped to
// the connection "inv", identifiers drawn from in-memory batches, and a
// provider in front of ODBC that lets a test break the database at a chosen
// statement.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "db_engine_support.h"
#include "velmora/data_dictionary.h"
#include "velmora/odbc_provider.h"
#include "velmora/seq_state.h"
#include "velmora/sql_dialect.h"
#include "velmora/table_data.h"
#include "velmora/table_defn.h"
#include "velmora/table_persistence.h"

namespace store_engine {

using db_engine::Engine;

// Dictionary, dialects, identifier batches and the data-source map; the
// pools are opened by Connect (after a fork, in the process that uses them).
class Store {
public:
    Store(Engine engine, const std::string& database) : engine_(engine), database_(database)
    {
        InitTableDefnVector();
        InitSqlDialects();
        EXPECT_EQ(RegisterAllSqlDialects(), VELMORA_SUCCESS);
        EXPECT_EQ(LoadDataDictFiles(TW_EXAMPLES_DATA), VELMORA_SUCCESS);
        InitSeqState();
        for (LCDNode* node = gv_tableDefns.head; node; node = node->next) {
            auto* table = static_cast<TableDefn*>(node->data);
            AddDataSourceMapEntry(CreateDataSourceMapEntry(table->name, "inv"));
            for (LCDNode* column = table->columns->head; column; column = column->next) {
                auto* defn = static_cast<ColumnDefn*>(column->data);
                if (defn->generatorName)
                    StoreSeqBatch(defn->generatorName, 1000, 100000);
            }
        }
        gv_dsnMapValid = 1;
    }
    ~Store()
    {
        FreeAllTableData();
        FreeSeqState();
        CloseAllDBConnections();
        FreeAllConnParamsEntries();
        FreeAllDataSourceMapEntries();
        FreeTableDefns();
        FreeSqlDialects();
        gv_dsnMapValid = 0;
    }
    // The pool "inv" on the database; with create, the dictionary's tables.
    ::testing::AssertionResult Connect(bool create)
    {
        ::testing::AssertionResult added = db_engine::AddEngineEntry(engine_, database_, "inv");
        if (!added)
            return added;
        if (EstablishDBConnections() != VELMORA_SUCCESS)
            return ::testing::AssertionFailure() << "no connection to " << database_;
        if (create && CreateAllTables() != VELMORA_SUCCESS)
            return ::testing::AssertionFailure() << "cannot create the tables";
        return ::testing::AssertionSuccess();
    }

private:
    Engine engine_;
    std::string database_;
};

// A provider named "ODBC" that passes every call to the ODBC provider,
// except that each statement first goes through a hook: the hook may stop
// a server, fail the statement (-1 passes it on) or kill the process.
class HookedProvider {
public:
    using Hook = std::function<int(DBConnection*, const char*)>;
    explicit HookedProvider(Hook hook)
    {
        hook_ = std::move(hook);
        calls_ = 0;
        table_ = *GetODBCProvider();
        table_.executeUpdate = &Update;
        slot_ = GetDBProviderIndex("ODBC");
        if (slot_ >= 0) {
            saved_ = gv_providerSlots[slot_];
            gv_providerSlots[slot_] = &table_;
        }
    }
    ~HookedProvider()
    {
        if (slot_ >= 0)
            gv_providerSlots[slot_] = saved_;
        hook_ = nullptr;
    }
    static int calls() { return calls_; }

private:
    static int Update(DBConnection* connection, const char* statement)
    {
        calls_++;
        int result = hook_ ? hook_(connection, statement) : -1;
        return result >= 0 ? result : GetODBCProvider()->executeUpdate(connection, statement);
    }
    static inline Hook hook_;
    static inline int calls_ = 0;
    DBProvider table_{};
    const DBProvider* saved_ = nullptr;
    int slot_ = -1;
};

// A private server of the engine in a state folder of its own, so that
// stopping it touches no other test; a restart keeps its port.
class PrivateServer {
public:
    explicit PrivateServer(Engine engine) : engine_(engine)
    {
        char pattern[] = "/tmp/twst.XXXXXX"; // short: the socket path must stay short
        state_ = mkdtemp(pattern) ? pattern : "";
        if (!state_.empty())
            chmod(state_.c_str(), 0755); // the PostgreSQL server runs as its own user
    }
    ~PrivateServer()
    {
        Run("stop");
        if (!state_.empty())
            std::system(("rm -rf '" + state_ + "'").c_str());
    }
    bool Start(const std::string& port = "")
    {
        return Run("start", port.empty() ? "" : "TW_ENGINE_PORT=" + port + " ");
    }
    bool Stop() { return Run("stop"); }
    // Down and up again with its data, port and socket kept.
    bool Down() { return Pause("down"); }
    bool Up() { return Pause("up"); }
    const std::string& state() const { return state_; }

private:
    bool Run(const std::string& action, const std::string& environment = "")
    {
        std::string command = environment + TW_SOURCE_DIR "/scripts/engines/" + tw::engines::EngineName(engine_) +
            ".sh " + action + " '" + state_ + "' >/dev/null 2>&1";
        return !state_.empty() && std::system(command.c_str()) == 0;
    }
    bool Pause(const std::string& action)
    {
        std::string command = TW_SOURCE_DIR "/tests/datastore/objects/engine_pause.sh " +
            std::string(tw::engines::EngineName(engine_)) + " '" + state_ + "' " + action + " >/dev/null 2>&1";
        return !state_.empty() && std::system(command.c_str()) == 0;
    }
    Engine engine_;
    std::string state_;
};

// Rows of a table by state.
inline int CountRows(const char* table, int state)
{
    TableData* data = GetTableDataByName(table);
    int count = 0;
    for (RowObject* row = data ? data->firstRow : nullptr; row; row = row->next)
        count += row->state == state;
    return count;
}

// A new Site row (SiteId, SiteName; TimeZone and Notes NULL), state 2.
inline RowObject* NewSite(int32_t id, const std::string& name)
{
    auto** values = static_cast<void**>(calloc(4, sizeof(void*)));
    auto* lengths = static_cast<int32_t*>(calloc(4, sizeof(int32_t)));
    values[0] = malloc(sizeof(int32_t) + 1);
    std::memcpy(values[0], &id, sizeof id);
    lengths[0] = sizeof id;
    values[1] = strdup(name.c_str());
    lengths[1] = static_cast<int32_t>(name.size());
    values[2] = strdup("UTC");
    lengths[2] = 3;
    return CreateNewRowObject(values, lengths);
}

inline int32_t SiteIdOf(const RowObject* row) { return *static_cast<const int32_t*>(row->values[0]); }

} // namespace store_engine
