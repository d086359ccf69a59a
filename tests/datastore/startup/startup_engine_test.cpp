// InitVelmora and DeInitVelmora on a data directory: a start on a new
// database and again on the same one, on SQLite, PostgreSQL and MariaDB;
// and starts that must stop at their step, writing nothing.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "db_engine_support.h"
#include "temp_dir.h"
#include "runtime/log.h"
#include "velmora/connection_files.h"
#include "velmora/odbc_provider.h"
#include "velmora/seq_state.h"
#include "velmora/table_data.h"
#include "velmora/velmora_startup.h"

using namespace db_engine;
namespace fs = std::filesystem;

namespace {

// <root>/data with the example's dictionary (and its table lists, when it
// has them), <root>/bin as the working directory, as an agent lays it out.
class DataRoot {
public:
    DataRoot()
    {
        fs::create_directories(data());
        fs::create_directories(bin());
        for (const auto& file : fs::directory_iterator(TW_EXAMPLES_DATA)) {
            std::string name = file.path().filename();
            if (file.is_regular_file() && name != "connparams.txt" && name != "datasources.txt" &&
                name.find(".db") == std::string::npos)
                fs::copy_file(file.path(), data() + "/" + name);
        }
        char here[4096];
        saved_ = getcwd(here, sizeof here) ? here : "/";
        fs::current_path(bin());
    }
    ~DataRoot()
    {
        DeInitVelmora();
        fs::current_path(saved_);
    }
    std::string root() const { return dir_.path(); }
    std::string data() const { return dir_.file("data"); }
    std::string bin() const { return dir_.file("bin"); }
    void Write(const std::string& name, const std::string& text) const { WriteWholeFile(data() + "/" + name, text); }
    void Remove(const std::string& name) const { fs::remove(data() + "/" + name); }
    // The library's log, from its root or, without one, from ../logs.
    std::string Log() const
    {
        std::string text = ReadWholeFile(dir_.file("logs/velmora.log"));
        return text;
    }

private:
    TempDir dir_;
    std::string saved_;
};

std::string ConnParamsLine(const ConnParamsEntry& entry)
{
    auto word = [](const char* text) { return text && *text ? std::string(text) : std::string("NULL"); };
    return "velmora 1 " + word(entry.dsn) + " " + (entry.userId ? entry.userId : "agent") + " " + word(entry.password) +
        " 0 main ODBC " + entry.databaseType + " NO\n";
}

class StartupOnEngine : public tw::engines::EngineTest {
protected:
    odbc_setup::PrivateOdbcConfig config_;
};

long long Count(tw::engines::Connection& db, const std::string& statement)
{
    auto rows = db.Query(statement);
    return rows && !rows->empty() && (*rows)[0][0] ? std::stoll(*(*rows)[0][0]) : -1;
}

TEST_P(StartupOnEngine, NewDatabaseThenTheSameAgainAfterShutDown)
{
    DataRoot root;
    std::string error;
    odbc_setup::EntryPtr entry = odbc_setup::DsnEntry(engine(), database_name(), "VelmoraTest", config_, &error);
    ASSERT_TRUE(entry) << error;
    root.Write("connparams.txt", ConnParamsLine(*entry));

    ASSERT_EQ(InitVelmora(root.root().c_str()), VELMORA_SUCCESS) << root.Log();
    EXPECT_EQ(VelmoraCreatedDatabase(), 1);
    EXPECT_EQ(gv_dsnMapValid, 1) << "a data source as first entry: each table follows its connection";
    EXPECT_GE(Count(db(), "select count(*) from Machine"), 0) << db().LastError();
    long long sequences = Count(db(), "select count(*) from SeqGenState where CURRENTBATCHEND = 300");
    EXPECT_EQ(sequences, 6) << "the example's five generators and INSTANCE_ID, one batch each";
    long long sites = Count(db(), "select count(*) from Site");
    EXPECT_GE(GenerateInstanceID(), 1);
    DeInitVelmora();
    EXPECT_EQ(gv_velmoraRoot, nullptr);
    EXPECT_EQ(gv_connPools.count, 0);

    ASSERT_EQ(InitVelmora(root.root().c_str()), VELMORA_SUCCESS) << root.Log();
    EXPECT_EQ(VelmoraCreatedDatabase(), 0) << "the tables were there";
    EXPECT_EQ(Count(db(), "select count(*) from SeqGenState where CURRENTBATCHEND = 600"), sequences);
    EXPECT_EQ(Count(db(), "select count(*) from Site"), sites) << "default data is stored once";
    DeInitVelmora();
    std::string log = root.Log();
    size_t first = log.find("Welcome to Velmora.");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find("Welcome to Velmora.", first + 1), std::string::npos) << "both starts completed";
}

TW_INSTANTIATE_ENGINE_TESTS(StartupOnEngine, tw::engines::Engine::sqlite, tw::engines::Engine::postgresql,
                            tw::engines::Engine::mariadb);

// Starts that fail: each stops with its line in the log, and no database
// is touched (the SQLite file of the data source is never made).
TEST(StartupFailure, EachStepStopsTheStartAndWritesNothing)
{
    odbc_setup::PrivateOdbcConfig config;
    const std::string good = "velmora 1 VelmoraTest agent NULL 0 main ODBC SQLITE NO\n";
    struct Case {
        const char* what;
        bool setRoot;
        std::vector<std::pair<std::string, std::string>> files; // written; empty text: removed
        const char* expected;
    };
    const Case cases[] = {
        {"no root, no files",
         false,
         {{"datadictionary.txt", ""}, {"dsn_table_map.txt", ""}},
         "LoadAllDataDictFiles failed."},
        {"no root, no connparams.txt", false, {}, "LoadConnParamsEntryFromFile failed."},
        {"no map",
         true,
         {{"dsn_table_map.txt", ""}, {"connparams.txt", good}},
         "LoadDataSourceMapEntryFromFile failed."},
        {"empty connparams.txt",
         true,
         {{"connparams.txt", "\n"}},
         "No entires in data source vector. InitVelmora failed."},
        {"a line of three words",
         true,
         {{"connparams.txt", "velmora 1 VelmoraTest\n"}},
         "No entires in data source vector. InitVelmora failed."},
        {"unknown database type",
         true,
         {{"connparams.txt", "velmora 1 VelmoraTest agent NULL 0 main ODBC SQLIT NO\n"}},
         "connparams.txt: connection main has the database type SQLIT; known are MYSQL, PGSQL, FIREBIRD, SQLITE."},
        {"map names an undefined connection",
         true,
         {{"connparams.txt", good}, {"dsn_table_map.txt", "Site main\nMachine mian\n"}},
         "dsn_table_map.txt: table Machine is mapped to connection mian, which connparams.txt does not define."},
        {"no such data source",
         true,
         {{"connparams.txt", "velmora 1 NoSuchSource agent NULL 0 main ODBC SQLITE NO\n"}},
         "EstablishDBConnections failed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataRoot root;
        std::string database = root.data() + "/velmora.db";
        WriteWholeFile(config.dir().file("dsn.txt"), "VelmoraTest NULL NULL NULL NULL " + database + " SQLite3\n");
        ASSERT_EQ(CreateDSNFromFile(config.dir().file("dsn.txt").c_str()), VELMORA_SUCCESS);
        for (const auto& [name, text] : c.files) {
            if (text.empty())
                root.Remove(name);
            else
                root.Write(name, text);
        }
        if (!c.setRoot)
            fs::rename(root.data(), root.root() + "/elsewhere"); // ../data holds only what the case wrote
        if (!c.setRoot && std::string(c.expected).find("Conn") != std::string::npos) {
            // The dictionary and the map are in ../data, connparams.txt nowhere.
            fs::create_directories(root.data());
            for (const char* name : {"datadictionary.txt", "inventory_sites.xml", "inventory_machines.xml",
                                     "inventory_software.xml", "inventory_esu.xml", "dsn_table_map.txt"})
                fs::copy_file(root.root() + "/elsewhere/" + name, root.data() + "/" + name);
        }
        EXPECT_EQ(InitVelmora(c.setRoot ? root.root().c_str() : nullptr), VELMORA_FAILURE);
        DeInitVelmora();
        std::string log = root.Log();
        EXPECT_NE(log.find(std::string("[ERROR] ") + c.expected + "\n"), std::string::npos) << log;
        EXPECT_FALSE(fs::exists(database)) << "a database was touched";
    }
}

} // namespace
