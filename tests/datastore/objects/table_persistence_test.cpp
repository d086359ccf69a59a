// Loading and saving the in-memory tables on SQLite, PostgreSQL and MariaDB:
// the lines of the load list, tables whose columns differ from the
// dictionary, row states after a save with failing statements (row by row
// and in batches), and default data with nested rows and symbolic
// identifiers. The database is read back with the engine's own client.
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "engine_test.h"
#include "log_capture.h"
#include "store_engine_support.h"
#include "temp_dir.h"

using namespace store_engine;
using tw::engines::Rows;

namespace {

class StoreOnEngine : public tw::engines::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        log_ = std::make_unique<LogCapture>(4);
        layer_ = std::make_unique<db_engine::DBLayer>();
        store_ = std::make_unique<Store>(engine(), database_name());
        ::testing::AssertionResult connected = store_->Connect(true);
        if (!connected)
            for (const std::string& line : log_->Lines())
                connected << "\n" << line;
        ASSERT_TRUE(connected);
        std::string data = root_.path() + "/data";
        ASSERT_EQ(mkdir(data.c_str(), 0755), 0);
        gv_velmoraRoot = const_cast<char*>(root_.path().c_str());
    }
    void TearDown() override
    {
        gv_velmoraRoot = nullptr;
        store_.reset();
        layer_.reset();
        log_.reset();
        EngineTest::TearDown();
    }
    void WriteData(const std::string& name, const std::string& text)
    {
        std::ofstream(root_.path() + "/data/" + name, std::ios::binary) << text;
    }
    bool Logged(const std::string& fragment) const
    {
        for (const std::string& line : log_->Lines())
            if (strcasestr(line.c_str(), fragment.c_str()))
                return true;
        return false;
    }
    int LoggedCount(const std::string& fragment) const
    {
        int count = 0;
        for (const std::string& line : log_->Lines())
            count += line.find(fragment) != std::string::npos;
        return count;
    }
    Rows Query(const std::string& sql)
    {
        auto rows = db().Query(sql);
        EXPECT_TRUE(rows.has_value()) << sql << ": " << db().LastError();
        return rows.value_or(Rows{});
    }
    void Exec(const std::string& sql) { ASSERT_TRUE(db().Execute(sql)) << sql << ": " << db().LastError(); }

    TempDir root_;
    std::unique_ptr<LogCapture> log_;
    std::unique_ptr<db_engine::DBLayer> layer_;
    std::unique_ptr<Store> store_;
};

std::vector<std::string> Column(const Rows& rows, size_t index)
{
    std::vector<std::string> values;
    for (const auto& row : rows)
        values.push_back(row[index].value_or("NULL"));
    return values;
}

// Every kind of load-list line, and tables that differ from the
// dictionary by a column too many or too few: each is loaded or refused on
// its own, with a line that names the table (and the column).
TEST_P(StoreOnEngine, LoadListLinesAndTablesThatDifferFromTheDictionary)
{
    Exec("insert into Site (SiteId, SiteName) values (1, 'hq')");
    Exec("insert into Site (SiteId, SiteName) values (2, 'branch')");
    Exec("insert into Site (SiteId, SiteName) values (3, 'lab')");
    for (int id = 1; id <= 3; id++)
        Exec("insert into Machine (MachineId, SiteId, HostName, OsBuild, MemoryMB) values (" + std::to_string(id) +
             ", " + (id == 3 ? "2" : "1") + ", 'pc-" + std::to_string(id) + "', 7601, 8192)");
    Exec("insert into Patch (PatchId, KbNumber) values (1, 'KB1')");
    Exec("insert into Patch (PatchId, KbNumber) values (2, 'KB2')");
    Exec("alter table InstalledPatch add Extra int");
    Exec("drop table EsuDeployment");
    Exec("drop table EsuPackage");
    Exec("create table EsuPackage (PackageId int, PatchId int, FileName varchar(260), EsuYear smallint)");

    struct Case {
        const char* line;
        const char* table;
        int rows;           // -1: not loaded
        const char* logged; // a line that must be there, or null
    } cases[] = {
        {"Site", "Site", 3, nullptr},
        {"Machine select * from Machine where SiteId = 1", "Machine", 2, "LOADTABLE_QUERY : select * from Machine"},
        {"Patch this is no select", "Patch", 2, "LOADTABLE : Patch"},
        {"InstalledSoftware select MachineId from InstalledSoftware", "InstalledSoftware", -1,
         "LoadTable Failed for InstalledSoftware table as there is mismatch"},
        {"InstalledPatch", "InstalledPatch", -1, "Column extra of table InstalledPatch in the database is not in"},
        {"EsuPackage", "EsuPackage", -1, "Column InstallerSwitches of table EsuPackage in the data dictionary is not"},
        {"NoSuchTable", "NoSuchTable", -1, "Error in getting Table Definition for NoSuchTable"},
        {"", nullptr, -1, nullptr},
    };
    std::string list;
    for (const Case& c : cases)
        list += std::string(c.line) + "\n";
    list += std::string(300, 'A') + "\r\nEsuDeployment\0x\n"; // too long; a NUL byte
    list.insert(list.size() - 3, 1, '\0');
    WriteData("loadtablelist.txt", list);

    ASSERT_EQ(LoadAllTables(), VELMORA_SUCCESS);
    for (const Case& c : cases) {
        if (!c.table)
            continue;
        TableData* table = GetTableDataByName(c.table);
        if (c.rows < 0) {
            EXPECT_EQ(table, nullptr) << c.line;
        } else {
            EXPECT_NE(table, nullptr) << c.line;
            EXPECT_EQ(CountRows(c.table, ROW_STATE_STORED), c.rows) << c.line;
        }
        if (c.logged) {
            EXPECT_TRUE(Logged(c.logged)) << c.logged;
        }
    }
    EXPECT_TRUE(Logged("Line 9 of loadtablelist.txt is longer than 255 characters"));
    EXPECT_TRUE(Logged("Line 10 of loadtablelist.txt holds a NUL byte"));
    EXPECT_EQ(GetTableDataByName("EsuDeployment"), nullptr);

    // The loaded values are the database's, converted to the columns' types.
    ResultData* hq = SelectRows("Machine", "HostName = 'pc-2'");
    ASSERT_NE(hq, nullptr);
    ASSERT_EQ(hq->rowCount, 1);
    RowObject* row = GotoNextRowObject(hq);
    EXPECT_EQ(*static_cast<int32_t*>(row->values[1]), 1);
    EXPECT_EQ(*static_cast<int64_t*>(row->values[7]), 8192);
    EXPECT_EQ(row->values[8], nullptr); // LastSeen NULL
    FreeResultData(hq);

    // Loading a loaded table again fails; without any list file nothing loads.
    EXPECT_EQ(LoadTable("Site"), VELMORA_FAILURE);
    EXPECT_TRUE(Logged("CreateTable Failed"));
    gv_velmoraRoot = nullptr;
    EXPECT_EQ(LoadAllTables(), VELMORA_FAILURE);
    EXPECT_TRUE(Logged("Cannot open LoadTableList Entry File."));
}

// A save with rows in every state, one insert refused by the database and
// every delete failing: each failed row keeps its state (the deleted row
// stays in memory), the others are stored; the next save deletes the row
// and only then lets it leave memory. Few rows go one by one, many in a
// batch that is rolled back and written again row by row.
TEST_P(StoreOnEngine, SaveKeepsTheStateOfEveryFailedRowAndStoresTheRest)
{
    for (int newRows : {3, 40}) {
        SCOPED_TRACE(newRows);
        Exec("delete from Site");
        Exec("insert into Site (SiteId, SiteName) values (1, 'hq')");
        Exec("insert into Site (SiteId, SiteName) values (2, 'branch')");
        Exec("insert into Site (SiteId, SiteName) values (3, 'lab')");
        UnLoadTable("Site");
        ASSERT_EQ(LoadTable("Site"), VELMORA_SUCCESS);
        TableData* site = GetTableDataByName("Site");
        RowObject* first = site->firstRow;
        RowObject* second = first->next;
        ASSERT_EQ(UpdateRowObject("Site", first, "SiteName", "hq-renamed", 10), VELMORA_SUCCESS);
        ASSERT_EQ(DeleteRowObject("Site", second), VELMORA_SUCCESS);
        RowObject* duplicate = NewSite(99, "lab"); // SiteName is unique
        ASSERT_EQ(AddNewRow("Site", duplicate), VELMORA_SUCCESS);
        std::vector<std::string> expected = {"1 hq-renamed", "2 branch", "3 lab"};
        for (int i = 0; i < newRows; i++) {
            RowObject* row = NewSite(100 + i, "new-" + std::to_string(i));
            ASSERT_EQ(AddNewRow("Site", row), VELMORA_SUCCESS);
            if (i == 0) {
                ASSERT_EQ(UpdateRowObject("Site", row, "TimeZone", "CET", 3), VELMORA_SUCCESS); // state 6
            }
            expected.push_back(std::to_string(100 + i) + " new-" + std::to_string(i));
        }
        {
            HookedProvider failDeletes([](DBConnection*, const char* statement) {
                return std::strncmp(statement, "delete", 6) == 0 ? 0 : -1;
            });
            ASSERT_EQ(SaveTable("Site"), VELMORA_SUCCESS);
        }
        EXPECT_EQ(second->state, ROW_STATE_STORED | ROW_STATE_DELETED);
        EXPECT_EQ(duplicate->state, ROW_STATE_NEW);
        EXPECT_EQ(CountRows("Site", ROW_STATE_STORED), 2 + newRows);
        EXPECT_TRUE(Logged("QUERY : delete from Site"));
        EXPECT_TRUE(Logged("QUERY : insert into  Site values(99,"));
        std::vector<std::string> stored;
        for (const auto& row : Query("select SiteId, SiteName, TimeZone from Site order by SiteId"))
            stored.push_back(*row[0] + " " + *row[1]);
        EXPECT_EQ(stored, expected);
        EXPECT_EQ(Query("select TimeZone from Site where SiteId = 100")[0][0], "CET");

        ASSERT_EQ(SaveTable("Site"), VELMORA_SUCCESS);
        expected.erase(expected.begin() + 1);
        stored.clear();
        for (const auto& row : Query("select SiteId, SiteName from Site order by SiteId"))
            stored.push_back(*row[0] + " " + *row[1]);
        EXPECT_EQ(stored, expected);
        int inMemory = 0;
        for (RowObject* row = site->firstRow; row; row = row->next, inMemory++) {
            EXPECT_NE(SiteIdOf(row), 2) << "the deleted row is still in memory";
        }
        EXPECT_EQ(inMemory, 3 + newRows);
        EXPECT_EQ(duplicate->state, ROW_STATE_NEW);
    }
}

// Default data for a new database: rows nested in rows inherit their keys,
// rows writing the same symbolic identifier get the same number, tables
// whose rows are only nested are saved too, after their parents'.
TEST_P(StoreOnEngine, DefaultDataWithNestedRowsAndSymbolicIdentifiers)
{
    EXPECT_EQ(SaveDefaultData(), VELMORA_SUCCESS);
    EXPECT_TRUE(Logged("No default data to be prepopulated."));

    WriteData("defaultdata.txt", "defaults.xml\n");
    WriteData("defaults.xml", R"(<?xml version="1.0"?>
<DefaultData>
  <Site SiteId="Site:SiteId:hq" SiteName="HQ">
    <MachineList>
      <Machine MachineId="Machine:MachineId:pc1" HostName="pc-01"/>
      <Machine HostName="pc-02">
        <InstalledSoftware ProductCode="P1" ProductName="Tool"/>
      </Machine>
    </MachineList>
  </Site>
  <Site SiteId="Site:SiteId:branch" SiteName="Branch"/>
  <Patch PatchId="Patch:PatchId:kb1" KbNumber="KB500001"/>
  <InstalledPatch MachineId="Machine:MachineId:pc1" PatchId="Patch:PatchId:kb1"/>
</DefaultData>
)");
    ASSERT_EQ(SaveDefaultData(), VELMORA_SUCCESS);
    EXPECT_EQ(
        Column(Query("select s.SiteName from Machine m join Site s on s.SiteId = m.SiteId order by m.HostName"), 0),
        (std::vector<std::string>{"HQ", "HQ"}));
    EXPECT_EQ(
        Column(Query("select m.HostName from InstalledSoftware i join Machine m on m.MachineId = i.MachineId"), 0),
        (std::vector<std::string>{"pc-02"}));
    EXPECT_EQ(Column(Query("select m.HostName from InstalledPatch p join Machine m on m.MachineId = p.MachineId "
                           "join Patch k on k.PatchId = p.PatchId"),
                     0),
              (std::vector<std::string>{"pc-01"}));
    EXPECT_EQ(Query("select count(*) from Site")[0][0], "2");
    for (const char* table : {"Site", "Machine", "InstalledSoftware", "Patch", "InstalledPatch"})
        EXPECT_EQ(CountRows(table, ROW_STATE_NEW), 0) << table;

    // 120 distinct names below the root: three tables and containers that
    // name none are saved in batches of 50, 50 and 20.
    std::string many = "<Data><Site SiteId=\"7\" SiteName=\"s7\"/><Patch PatchId=\"7\" KbNumber=\"KB7\"/>";
    for (int i = 0; i < 117; i++)
        many += "<Group" + std::to_string(i) + "List/>";
    many += "<Patch PatchId=\"8\" KbNumber=\"KB8\"/><Machine MachineId=\"7\" SiteId=\"7\" HostName=\"h7\"/></Data>";
    WriteData("many.xml", many);
    ASSERT_EQ(SaveDataInXML((root_.path() + "/data/many.xml").c_str()), VELMORA_SUCCESS);
    EXPECT_EQ(LoggedCount("Saving a batch of 50 tables"), 2);
    EXPECT_EQ(LoggedCount("Saving a batch of 20 tables"), 1);
    EXPECT_EQ(Query("select count(*) from Patch")[0][0], "3");
    EXPECT_EQ(Query("select HostName from Machine where SiteId = 7")[0][0], "h7");

    // The example data directory's default rows are stored whole.
    ASSERT_EQ(SaveDataInXML(TW_EXAMPLES_DATA "/defaultdata.xml"), VELMORA_SUCCESS);
    for (const char* table : {"Site", "Machine", "InstalledSoftware", "Patch", "InstalledPatch", "EsuPackage"})
        EXPECT_EQ(CountRows(table, ROW_STATE_NEW), 0) << table;
    EXPECT_EQ(Column(Query("select p.KbNumber from EsuPackage e join Patch p on p.PatchId = e.PatchId"), 0),
              (std::vector<std::string>{"KB5022338"}));

    // A document that is not well formed stores nothing.
    WriteData("broken.xml", "<Data><Site SiteId=\"9\" SiteName=\"s9\"></Data>");
    EXPECT_EQ(SaveDataInXML((root_.path() + "/data/broken.xml").c_str()), VELMORA_FAILURE);
    EXPECT_TRUE(Logged("Cannot create DO from"));
    EXPECT_EQ(Query("select count(*) from Site where SiteId = 9")[0][0], "0");
}

TW_INSTANTIATE_ENGINE_TESTS(StoreOnEngine, Engine::sqlite, Engine::postgresql, Engine::mariadb);

} // namespace
