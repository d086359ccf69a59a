#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fault_injection.h"
#include "log_capture.h"
#include "temp_dir.h"
#include "velmora/connection_files.h"

namespace {

bool Logged(const LogCapture& log, const std::string& text)
{
    for (const std::string& line : log.Lines())
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

std::string Text(const char* text) { return text ? text : "(null)"; }

// An entry as one comparable line: name|number|dsn|user|password|reserved|
// connection|provider|type|use|string.
std::string Describe(const ConnParamsEntry* e)
{
    return Text(e->name) + "|" + std::to_string(e->number) + "|" + Text(e->dsn) + "|" + Text(e->userId) + "|" +
        Text(e->password) + "|" + std::to_string(e->reserved) + "|" + Text(e->connectionName) + "|" +
        Text(e->providerName) + "|" + Text(e->databaseType) + "|" + std::to_string(e->useConnectionString) + "|" +
        Text(e->connectionString);
}

std::vector<std::string> ConnParams()
{
    std::vector<std::string> entries;
    for (LCDNode* node = gv_connParams.head; node; node = node->next)
        entries.push_back(Describe(static_cast<ConnParamsEntry*>(node->data)));
    return entries;
}

std::vector<std::string> DataSourceMap()
{
    std::vector<std::string> entries;
    for (LCDNode* node = gv_dataSourceMap.head; node; node = node->next) {
        auto* entry = static_cast<DataSourceMapEntry*>(node->data);
        entries.push_back(std::string(entry->tableName) + "->" + entry->connectionName);
    }
    return entries;
}

class ConnectionFiles : public ::testing::Test {
protected:
    void TearDown() override
    {
        FreeAllConnParamsEntries();
        FreeAllDataSourceMapEntries();
        gv_velmoraRoot = nullptr;
    }
    TempDir dir_;
};

TEST_F(ConnectionFiles, ConnParamsLinesAreReadWhereSoundAndSkippedWhereNot)
{
    const std::string cs254 = "DSN=x;" + std::string(248, 'a');
    const std::string cs255 = cs254 + "b";
    struct Case {
        std::string line;
        std::string entry;         // empty: skipped
        const char* why = nullptr; // logged when skipped
    } cases[] = {
        {"main 1 velmoradsn root secret 0 Main ODBC MYSQL NO",
         "main|1|velmoradsn|root|secret|0|Main|ODBC|MYSQL|0|(null)"},
        // Windows line ends, tabs, a password of NULL, a discarded sixth word.
        {"aux\t-2  dsn2 user NULL 77 Aux SQLite3 sqlite no\r", "aux|-2|dsn2|user|(null)|0|Aux|SQLite3|sqlite|0|(null)"},
        // YES in any case: the rest of the line after one separator.
        {"pg 3 d u p 0 Pg PostgreSQL PGSQL yes DSN=pg;UID=a b;PWD=c\r",
         "pg|3|d|u|p|0|Pg|PostgreSQL|PGSQL|1|DSN=pg;UID=a b;PWD=c"},
        {"pg 4 d u p 0 Pg2 PostgreSQL PGSQL YES", "pg|4|d|u|p|0|Pg2|PostgreSQL|PGSQL|1|"},
        {"pg 5 d u p 0 Pg3 PostgreSQL PGSQL YES " + cs254, "pg|5|d|u|p|0|Pg3|PostgreSQL|PGSQL|1|" + cs254},
        {"pg 6 d u p 0 Pg4 PostgreSQL PGSQL YES " + cs255, "", "longer than 254"},
        // Without YES the rest of the line is no connection string.
        {"fb 32767 d u p 0 Fb Firebird FIREBIRD NO trailing words", "fb|32767|d|u|p|0|Fb|Firebird|FIREBIRD|0|(null)"},
        {"fb 32768 d u p 0 Fb Firebird FIREBIRD NO", "", "16-bit number"},
        {"fb -32769 d u p 0 Fb Firebird FIREBIRD NO", "", "16-bit number"},
        {"fb 1x d u p 0 Fb Firebird FIREBIRD NO", "", "16-bit number"},
        {"fb - d u p 0 Fb Firebird FIREBIRD NO", "", "16-bit number"},
        {"fb 99999999999999999999999 d u p 0 Fb Firebird FIREBIRD NO", "", "16-bit number"},
        {"short 1 d u p 0 Short ODBC", "", "fewer than ten words"},
        {"fb 1 d u p 0 " + std::string(5000, 'c') + " Firebird FIREBIRD NO", "", "too long"},
        {"fb 1 d u p 0 Fb Firebird FIREBIRD NO " + std::string(100000, 'x'), "", "too long"},
        {std::string("fb 1 d u p 0 F\0b Firebird FIREBIRD NO", 37), "", "NUL"},
    };
    std::string file;
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        file += c.line + "\n";
        file += "   \r\n"; // blank lines are passed over
        if (!c.entry.empty())
            expected.push_back(c.entry);
    }
    file += "last 9 d u p 0 Last ODBC SQLITE YES\tno line end"; // the last line has no line end
    expected.push_back("last|9|d|u|p|0|Last|ODBC|SQLITE|1|no line end");
    WriteWholeFile(dir_.file("connparams.txt"), file);

    LogCapture log;
    EXPECT_EQ(LoadConnParamsEntryFromFile(dir_.file("connparams.txt").c_str()), 1);
    EXPECT_EQ(ConnParams(), expected);
    for (const Case& c : cases)
        if (c.entry.empty()) {
            EXPECT_TRUE(Logged(log, c.why)) << c.why;
        }
    EXPECT_EQ(gv_connParams.count, static_cast<int32_t>(expected.size()));
}

TEST_F(ConnectionFiles, ConnParamsLookupsAreByExactConnectionName)
{
    LogCapture log;
    EXPECT_EQ(GetDefaultConnectionName(), nullptr);
    EXPECT_TRUE(Logged(log, "Connection Name IS NULL"));

    WriteWholeFile(dir_.file("c.txt"),
                   "a 1 d u p 0 Main ODBC MYSQL NO\n"
                   "b 2 d u p 0 main ODBC PGSQL NO\n"
                   "c 3 d u p 0 Main ODBC SQLITE NO\n");
    ASSERT_EQ(LoadConnParamsEntryFromFile(dir_.file("c.txt").c_str()), 1);
    EXPECT_STREQ(GetDefaultConnectionName(), "Main");
    ASSERT_NE(GetConnParams("main"), nullptr);
    EXPECT_STREQ(GetConnParams("main")->name, "b");
    EXPECT_STREQ(GetConnParams("Main")->name, "a"); // the first of two
    EXPECT_EQ(GetConnParams("MAIN"), nullptr);
    EXPECT_EQ(GetConnParams(nullptr), nullptr);

    EXPECT_EQ(RemoveConnParamsEntry("Main"), 1);
    EXPECT_STREQ(GetConnParams("Main")->name, "c");
    EXPECT_STREQ(GetDefaultConnectionName(), "main");
    EXPECT_EQ(RemoveConnParamsEntry("Main"), 1);
    EXPECT_EQ(RemoveConnParamsEntry("Main"), 0);
    EXPECT_EQ(RemoveConnParamsEntry(nullptr), 0);
    EXPECT_EQ(gv_connParams.count, 1);
    EXPECT_EQ(gv_connParams.head, gv_connParams.tail);

    // The tail is right after removals: an added entry comes last.
    ConnParamsEntry* added =
        CreateConnParamsEntry("z", 9, nullptr, nullptr, nullptr, 5, "Z", 0, nullptr, "ODBC", "MYSQL");
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(AddConnParamsEntry(added), 1);
    EXPECT_EQ(ConnParams().back(), "z|9|(null)|(null)|(null)|5|Z|ODBC|MYSQL|0|(null)");
    EXPECT_EQ(CreateConnParamsEntry("z", 9, "d", "u", "p", 0, nullptr, 0, nullptr, "ODBC", "MYSQL"), nullptr);
    EXPECT_EQ(AddConnParamsEntry(nullptr), 0);
}

TEST_F(ConnectionFiles, DataSourceMapReadsPairsToTheEnd)
{
    std::string longName(2000, 't');
    WriteWholeFile(dir_.file("map.txt"),
                   "Machine Main\r\n"
                   "Disk\tAux\r\n\r\n"
                   "  machine   Other  " +
                       longName +
                       " Main Volume Main\n"
                       "Orphan");
    LogCapture log;
    EXPECT_EQ(LoadDataSourceMapEntryFromFile(dir_.file("map.txt").c_str()), 1);
    EXPECT_EQ(DataSourceMap(),
              (std::vector<std::string>{"Machine->Main", "Disk->Aux", "machine->Other", "Volume->Main"}));
    EXPECT_TRUE(Logged(log, "pair skipped"));

    ASSERT_NE(GetDataSourceMapEntry("MACHINE"), nullptr);
    EXPECT_STREQ(GetDataSourceMapEntry("MACHINE")->connectionName, "Main"); // the first match
    EXPECT_EQ(GetDataSourceMapEntry("Orphan"), nullptr);
    EXPECT_EQ(GetDataSourceMapEntry(nullptr), nullptr);
    EXPECT_EQ(DeleteDataSourceMapEntry("MACHINE"), 1);
    EXPECT_STREQ(GetDataSourceMapEntry("machine")->connectionName, "Other");
    EXPECT_EQ(DeleteDataSourceMapEntry("volume"), 1); // the tail
    EXPECT_EQ(DeleteDataSourceMapEntry("volume"), 0);
    ASSERT_EQ(AddDataSourceMapEntry(CreateDataSourceMapEntry("Share", "Aux")), 1);
    EXPECT_EQ(DataSourceMap(), (std::vector<std::string>{"Disk->Aux", "machine->Other", "Share->Aux"}));
    EXPECT_EQ(CreateDataSourceMapEntry("Share", nullptr), nullptr);

    FreeAllDataSourceMapEntries();
    EXPECT_EQ(GetDataSourceMapEntry("Disk"), nullptr);
    EXPECT_EQ(gv_dataSourceMap.count, 0);
    WriteWholeFile(dir_.file("empty.txt"), "");
    EXPECT_EQ(LoadDataSourceMapEntryFromFile(dir_.file("empty.txt").c_str()), 1);
    EXPECT_EQ(gv_dataSourceMap.count, 0);
}

TEST_F(ConnectionFiles, FilesAreFoundAtThePathThenBelowTheRoot)
{
    std::string root = dir_.file("root");
    ASSERT_EQ(system(("mkdir -p " + root + "/data").c_str()), 0);
    WriteWholeFile(root + "/data/dsn_table_map.txt", "Machine FromRoot\n");
    WriteWholeFile(root + "/data/connparams.txt", "r 1 d u p 0 FromRoot ODBC SQLITE NO\n");
    WriteWholeFile(dir_.file("given.txt"), "Machine Given\n");
    std::string missing = dir_.file("missing.txt");

    {
        LogCapture log;
        EXPECT_EQ(LoadDataSourceMapEntryFromFile(missing.c_str()), 0);
        EXPECT_EQ(LoadConnParamsEntryFromFile(missing.c_str()), 0);
        EXPECT_EQ(LoadConnParamsEntryFromFile(nullptr), 0);
        EXPECT_TRUE(Logged(log, "Cannot open DataSourceMap Entry File."));
        EXPECT_TRUE(Logged(log, "Cannot open Connection Parameters File."));
    }
    gv_velmoraRoot = const_cast<char*>(root.c_str());
    LogCapture log;
    EXPECT_EQ(LoadDataSourceMapEntryFromFile(dir_.file("given.txt").c_str()), 1);
    EXPECT_EQ(LoadDataSourceMapEntryFromFile(missing.c_str()), 1);
    EXPECT_EQ(LoadConnParamsEntryFromFile(missing.c_str()), 1);
    EXPECT_EQ(DataSourceMap(), (std::vector<std::string>{"Machine->Given", "Machine->FromRoot"}));
    EXPECT_STREQ(GetDefaultConnectionName(), "FromRoot");
    EXPECT_TRUE(Logged(log, "Opening " + root + "/data/connparams.txt"));
}

TEST_F(ConnectionFiles, DSNMapFlagsChangeOnlyForKnownStatusAndType)
{
    static std::vector<std::string> loaded;
    loaded.clear();
    SetDSNMapProviderLoader([](const char* type) {
        loaded.push_back(type);
        return 1;
    });
    struct Case {
        uint8_t status, type;
        int result;
        uint8_t valid, defaultType;
        const char* message; // or null
    } cases[] = {
        {0, 1, 1, 0, 1, nullptr},           {1, 3, 1, 1, 1, nullptr}, {2, 0, 0, 1, 1, "Invalid Status"},
        {0, 4, 0, 1, 1, "Invalid DB Type"}, {0, 3, 1, 0, 3, nullptr},
    };
    for (const Case& c : cases) {
        LogCapture log;
        EXPECT_EQ(SetDSNMapValid(c.status, c.type), c.result);
        EXPECT_EQ(gv_dsnMapValid, c.valid);
        EXPECT_EQ(gv_defaultDBType, c.defaultType);
        if (c.message) {
            EXPECT_TRUE(Logged(log, c.message));
        }
    }
    EXPECT_EQ(loaded, (std::vector<std::string>{"PGSQL", "SQLITE"}));
    SetDSNMapProviderLoader(nullptr);
    EXPECT_EQ(SetDSNMapValid(0, 0), 1);

    for (int i = 0; i < DB_TYPE_COUNT; i++)
        EXPECT_EQ(GetDBTypeIndex(GetDBTypeName(static_cast<uint8_t>(i))), i);
    EXPECT_EQ(GetDBTypeIndex("firebird"), 2);
    EXPECT_EQ(GetDBTypeIndex("ORACLE"), -1);
    EXPECT_EQ(GetDBTypeIndex(nullptr), -1);
    EXPECT_EQ(GetDBTypeName(4), nullptr);
}

// Every allocation of loading both files fails once in turn: the loader
// reports it, keeps only whole entries, and (under the leak checker) leaves
// nothing behind once the lists are freed.
TEST_F(ConnectionFiles, EveryAllocationFailureKeepsOnlyWholeEntries)
{
    WriteWholeFile(dir_.file("c.txt"),
                   "a 1 d u NULL 0 Main ODBC MYSQL NO\n"
                   "b 2 d u p 0 Aux ODBC PGSQL YES DSN=aux\n");
    WriteWholeFile(dir_.file("m.txt"), "Machine Main Disk Aux\n");
    const std::vector<std::string> all = {"a|1|d|u|(null)|0|Main|ODBC|MYSQL|0|(null)",
                                          "b|2|d|u|p|0|Aux|ODBC|PGSQL|1|DSN=aux"};
    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        int params, map;
        {
            FailingAllocations faults(n);
            params = LoadConnParamsEntryFromFile(dir_.file("c.txt").c_str());
            map = LoadDataSourceMapEntryFromFile(dir_.file("m.txt").c_str());
            fired = faults.fired();
        }
        std::vector<std::string> entries = ConnParams();
        EXPECT_EQ(params == 1 && map == 1, !fired) << n;
        EXPECT_TRUE(params == 1 || params == 99) << n;
        EXPECT_TRUE(map == 1 || map == 99) << n;
        EXPECT_EQ(entries, std::vector<std::string>(all.begin(), all.begin() + entries.size())) << n;
        FreeAllConnParamsEntries();
        FreeAllDataSourceMapEntries();
    });
    EXPECT_GT(total, 15);
}

} // namespace
