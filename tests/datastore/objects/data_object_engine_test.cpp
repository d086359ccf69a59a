// Data objects on SQLite, PostgreSQL and MariaDB: fetched by condition, by
// the row that heads them and by a select list, edited, saved, and read
// back with the engine's own client. Every statement a save issues is
// recorded, so a second save of a saved object must issue none.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine_test.h"
#include "log_capture.h"
#include "store_engine_support.h"
#include "velmora/data_object.h"

using namespace store_engine;
using tw::engines::Rows;

namespace {

class DataObjectOnEngine : public tw::engines::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        log_ = std::make_unique<LogCapture>(4);
        layer_ = std::make_unique<db_engine::DBLayer>();
        store_ = std::make_unique<Store>(engine(), database_name());
        ASSERT_TRUE(store_->Connect(true));
        holder_ = CreateSelectQuery();
    }
    void TearDown() override
    {
        FreeSelectQuery(holder_);
        store_.reset();
        layer_.reset();
        log_.reset();
        EngineTest::TearDown();
    }
    bool Logged(const std::string& fragment) const
    {
        for (const std::string& line : log_->Lines())
            if (line.find(fragment) != std::string::npos)
                return true;
        return false;
    }
    Rows Query(const std::string& sql)
    {
        auto rows = db().Query(sql);
        EXPECT_TRUE(rows.has_value()) << sql << ": " << db().LastError();
        return rows.value_or(Rows{});
    }
    void Exec(const std::string& sql) { ASSERT_TRUE(db().Execute(sql)) << sql << ": " << db().LastError(); }
    // table.column = text, from the holder query's pool.
    QueryCondition* TextEquals(const char* table, const char* column, const std::string& text)
    {
        QueryColumn* c = CreateQueryColumn(table, nullptr, column, nullptr, 0, BRI_SQL_VARCHAR, 0, holder_->pool);
        return CreateQueryCondition(c, text.c_str(), static_cast<int32_t>(text.size()), QUERY_OP_EQUAL, holder_->pool);
    }
    // Saves and returns the statements the save issued; those that contain
    // failText fail.
    std::vector<std::string> Save(DataObject* dataObject, const char* failText = nullptr)
    {
        std::vector<std::string> statements;
        HookedProvider hook([&](DBConnection*, const char* statement) {
            statements.emplace_back(statement);
            return failText && strstr(statement, failText) ? 0 : -1;
        });
        EXPECT_EQ(SaveDataObject(dataObject), VELMORA_SUCCESS);
        return statements;
    }

    std::unique_ptr<LogCapture> log_;
    std::unique_ptr<db_engine::DBLayer> layer_;
    std::unique_ptr<Store> store_;
    SelectQuery* holder_ = nullptr;
};

LCDVector* List(std::vector<const char*> names)
{
    LCDVector* list = CreateVector();
    for (const char* name : names)
        AddElementData(list, const_cast<char*>(name));
    return list;
}

void FreeList(LCDVector* list)
{
    FreeVector(list);
    free(list);
}

int32_t IntOf(const RowUnit* unit, int column) { return *static_cast<const int32_t*>(unit->values[column]); }

std::vector<std::string> Kinds(const std::vector<std::string>& statements)
{
    std::vector<std::string> kinds;
    for (const std::string& s : statements) {
        std::string word = s.substr(0, s.find(' '));
        for (char& ch : word)
            ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
        std::string table = s.find("Machine") != std::string::npos ? "Machine"
            : s.find("Site") != std::string::npos                  ? "Site"
                                                                   : "?";
        kinds.push_back(word + " " + table);
    }
    return kinds;
}

// A site fetched by its name (a quote in it), its machines fetched by the
// site's row with Machine listed first; a new site with a new machine, a
// changed machine and a deleted one are saved with one statement each,
// the site first; the database holds exactly that; a second save issues
// nothing; a statement that fails leaves its row to the next save.
TEST_P(DataObjectOnEngine, EditedObjectIsSavedOnceParentsFirstAndFailedRowsAreRetried)
{
    Exec("insert into Site (SiteId, SiteName) values (1, " + Literal("O'Brien's HQ") + ")");
    Exec("insert into Site (SiteId, SiteName) values (2, 'lab')");
    Exec("insert into Machine (MachineId, SiteId, HostName, LastSeen) values (10, 1, 'pc-10', "
         "'2026-01-02 03:04:05')");
    Exec("insert into Machine (MachineId, SiteId, HostName) values (11, 1, 'pc-11')");
    Exec("insert into Machine (MachineId, SiteId, HostName) values (12, 2, 'pc-12')");

    LCDVector* sites = List({"Site"});
    DataObject* site = GetDataObjectByCriteria(sites, TextEquals("Site", "SiteName", "O'Brien's HQ"));
    FreeList(sites);
    ASSERT_NE(site, nullptr);
    ASSERT_NE(GetFirstRowUnit("Site", site), nullptr);
    EXPECT_EQ(GetNthRowUnit(2, "Site", site), nullptr);

    LCDVector* tables = List({"Machine", "Site"});
    DataObject* dataObject = GetDataObjectByRowUnit(tables, GetFirstRowUnit("Site", site));
    FreeList(tables);
    FreeDataObject(site);
    ASSERT_NE(dataObject, nullptr);
    DOColumnValues* ids = GetColumnValuesFromDO("MachineId", "Machine", dataObject);
    ASSERT_NE(ids, nullptr);
    ASSERT_EQ(ids->count, 2);
    EXPECT_EQ(*static_cast<int32_t*>(ids->values[0]) + *static_cast<int32_t*>(ids->values[1]), 21);
    FreeDOColumnValues(ids);
    int32_t length = 0;
    RowUnit* first = FindRowUnitOnCriteria("Machine", dataObject, "MachineId = 10");
    ASSERT_NE(first, nullptr);
    RowCollection* machines = GetRowCollection("Machine", dataObject);
    int lastSeen = -1;
    for (int i = 0; machines->columnNames[i]; i++)
        if (strcmp(machines->columnNames[i], "LastSeen") == 0)
            lastSeen = i;
    ASSERT_GE(lastSeen, 0);
    length = first->lengths[lastSeen];
    EXPECT_EQ(length, 11) << "a date-time arrives in its stored form";

    // New site (generated id) and its new machine; machine 10 renamed;
    // machine 11 deleted.
    const char* const newSite[] = {nullptr, "annex", nullptr, nullptr};
    ASSERT_EQ(InsertStringRowIntoDO(dataObject, "Site", newSite), VELMORA_SUCCESS);
    int32_t newSiteId = IntOf(GetLastRowUnit("Site", dataObject), 0);
    std::string siteText = std::to_string(newSiteId);
    std::vector<const char*> machine(10, nullptr); // Machine's columns
    int hostColumn = -1, siteColumn = -1;
    for (int i = 0; machines->columnNames[i]; i++) {
        if (strcmp(machines->columnNames[i], "HostName") == 0)
            hostColumn = i;
        if (strcmp(machines->columnNames[i], "SiteId") == 0)
            siteColumn = i;
    }
    machine[static_cast<size_t>(hostColumn)] = "pc-new";
    machine[static_cast<size_t>(siteColumn)] = siteText.c_str();
    ASSERT_EQ(InsertStringRowIntoDO(dataObject, "Machine", machine.data()), VELMORA_SUCCESS);
    int32_t newMachineId = IntOf(GetLastRowUnit("Machine", dataObject), 0);
    RowUnit* renamed = CloneRowUnit(first, dataObject->pool);
    renamed->values[hostColumn] = const_cast<char*>("pc-10x");
    renamed->lengths[hostColumn] = 6;
    ASSERT_EQ(UpdateRowUnit(renamed, dataObject), VELMORA_SUCCESS);
    ASSERT_EQ(DeleteRowUnit(FindRowUnitOnCriteria("Machine", dataObject, "MachineId = 11"), dataObject),
              VELMORA_SUCCESS);

    // A machine made and deleted again in memory (state 10) is never written.
    machine[static_cast<size_t>(hostColumn)] = "pc-gone";
    ASSERT_EQ(InsertStringRowIntoDO(dataObject, "Machine", machine.data()), VELMORA_SUCCESS);
    RowUnit* gone = GetLastRowUnit("Machine", dataObject);
    ASSERT_EQ(DeleteRowUnit(gone, dataObject), VELMORA_SUCCESS);
    EXPECT_EQ(gone->rowState, ROW_STATE_NEW | ROW_STATE_DELETED);

    std::vector<std::string> kinds = Kinds(Save(dataObject));
    ASSERT_EQ(kinds.size(), 4u);
    EXPECT_EQ(kinds[0], "insert Site") << "the site comes before the machine that refers to it";
    std::sort(kinds.begin() + 1, kinds.end());
    EXPECT_EQ(kinds, (std::vector<std::string>{"insert Site", "delete Machine", "insert Machine", "update Machine"}));
    EXPECT_EQ(Query("select MachineId, SiteId, HostName from Machine order by MachineId"),
              (Rows{{"10", "1", "pc-10x"}, {"12", "2", "pc-12"}, {std::to_string(newMachineId), siteText, "pc-new"}}));
    EXPECT_EQ(Query("select SiteName from Site where SiteId = " + siteText), (Rows{{"annex"}}));
    for (RowCollection* c = dataObject->firstCollection; c; c = c->next)
        for (RowUnit* unit = c->firstRow; unit; unit = unit->next)
            EXPECT_EQ(unit->rowState, ROW_STATE_STORED) << c->tableName;
    EXPECT_EQ(FindRowUnitOnCriteria("Machine", dataObject, "MachineId = 11"), nullptr);
    EXPECT_EQ(FindRowUnitOnCriteria("Machine", dataObject, "HostName = 'pc-gone'"), nullptr);
    EXPECT_TRUE(Save(dataObject).empty()) << "a saved object has nothing left to write";

    // One failing insert keeps state 2; the update beside it succeeds; the
    // next save writes only the insert.
    machine[static_cast<size_t>(hostColumn)] = "pc-bad";
    ASSERT_EQ(InsertStringRowIntoDO(dataObject, "Machine", machine.data()), VELMORA_SUCCESS);
    const char name[] = "pc-10y";
    first = FindRowUnitOnCriteria("Machine", dataObject, "MachineId = 10");
    first->values[hostColumn] = const_cast<char*>(name);
    first->lengths[hostColumn] = 6;
    first->rowState |= ROW_STATE_UPDATED;
    EXPECT_EQ(Kinds(Save(dataObject, "pc-bad")), (std::vector<std::string>{"update Machine", "insert Machine"}));
    EXPECT_EQ(GetLastRowUnit("Machine", dataObject)->rowState, ROW_STATE_NEW);
    EXPECT_TRUE(Logged("Error in executing update query"));
    EXPECT_EQ(Query("select count(*) from Machine where HostName = 'pc-bad'"), (Rows{{"0"}}));
    EXPECT_EQ(Kinds(Save(dataObject)), (std::vector<std::string>{"insert Machine"}));
    EXPECT_EQ(Query("select count(*) from Machine where HostName in ('pc-bad', 'pc-10y')"), (Rows{{"2"}}));
    FreeDataObject(dataObject);
}

// The rows a select list and a composite text key give: a table whose key
// column is not selected stays empty, a site repeated by the join is held
// once, a key holding a quote fetches and deletes its row.
TEST_P(DataObjectOnEngine, SelectListsAndQuotedCompositeKeys)
{
    Exec("insert into Site (SiteId, SiteName) values (1, 'hq')");
    Exec("insert into Machine (MachineId, SiteId, HostName, OsBuild, MemoryMB) values (10, 1, 'pc-10', 7601, 8192)");
    Exec("insert into Machine (MachineId, SiteId, HostName) values (11, 1, 'pc-11')");
    Exec("insert into InstalledSoftware (MachineId, ProductCode, ProductName) values (10, " + Literal("O'Brien") +
         ", 'quoted')");
    Exec("insert into InstalledSoftware (MachineId, ProductCode, ProductName) values (10, 'OBrien', 'plain')");

    SelectQuery* query = CreateSelectQuery();
    AddQueryTable(query, CreateQueryTable("Site", nullptr, query->pool));
    AddQueryTable(query, CreateQueryTable("Machine", nullptr, query->pool));
    CreateAndAddSelectColumn(query, "Site", nullptr, "SiteId", nullptr, 0, BRI_SQL_INT, 0);
    CreateAndAddSelectColumn(query, "Site", nullptr, "SiteName", nullptr, 0, BRI_SQL_VARCHAR, 0);
    CreateAndAddSelectColumn(query, "Machine", nullptr, "HostName", nullptr, 0, BRI_SQL_VARCHAR, 0);
    QueryColumn* siteOfMachine =
        CreateQueryColumn("Machine", nullptr, "SiteId", nullptr, 0, BRI_SQL_INT, 0, query->pool);
    int32_t one = 1;
    SetCriteria(query, CreateQueryCondition(siteOfMachine, &one, 4, QUERY_OP_EQUAL, query->pool));
    DataObject* dataObject = GetDataObject(query);
    ASSERT_NE(dataObject, nullptr);
    EXPECT_NE(GetFirstRowUnit("Site", dataObject), nullptr);
    EXPECT_EQ(GetNthRowUnit(2, "Site", dataObject), nullptr);
    EXPECT_TRUE(Logged("Not Inserted"));
    EXPECT_EQ(GetFirstRowUnit("Machine", dataObject), nullptr);
    EXPECT_TRUE(Logged("ALL PRIMARY KEY COLUMNS SHOULD BE SELECTED FOR Machine"));
    FreeDataObject(dataObject);
    FreeSelectQuery(query);

    // An object holding two columns of Machine changes one: the update
    // keeps the columns it does not hold as the database has them.
    query = CreateSelectQuery();
    AddQueryTable(query, CreateQueryTable("Machine", nullptr, query->pool));
    CreateAndAddSelectColumn(query, "Machine", nullptr, "MachineId", nullptr, 0, BRI_SQL_INT, 0);
    CreateAndAddSelectColumn(query, "Machine", nullptr, "HostName", nullptr, 0, BRI_SQL_VARCHAR, 0);
    QueryColumn* id = CreateQueryColumn("Machine", nullptr, "MachineId", nullptr, 0, BRI_SQL_INT, 0, query->pool);
    int32_t ten = 10;
    SetCriteria(query, CreateQueryCondition(id, &ten, 4, QUERY_OP_EQUAL, query->pool));
    dataObject = GetDataObject(query);
    ASSERT_NE(dataObject, nullptr);
    const char host[] = "pc-10z";
    ASSERT_EQ(SetValueForRowUnit("HostName", "Machine", host, 6, dataObject), VELMORA_SUCCESS);
    EXPECT_EQ(GetFirstRowUnit("Machine", dataObject)->rowState, ROW_STATE_STORED | ROW_STATE_UPDATED);
    EXPECT_EQ(Kinds(Save(dataObject)), (std::vector<std::string>{"update Machine"}));
    EXPECT_EQ(Query("select HostName, SiteId, OsBuild, MemoryMB from Machine where MachineId = 10"),
              (Rows{{"pc-10z", "1", "7601", "8192"}}));
    FreeDataObject(dataObject);
    FreeSelectQuery(query);

    // The row (10, O'Brien) heads an object of its own table and goes.
    DataObject* software = CreateDataObject();
    ASSERT_EQ(AddTableToDO(software, "InstalledSoftware", nullptr), VELMORA_SUCCESS);
    const char* const key[] = {"10", "O'Brien", nullptr, nullptr, nullptr, nullptr, nullptr};
    ASSERT_EQ(InsertStringRowIntoDO(software, "InstalledSoftware", key), VELMORA_SUCCESS);
    LCDVector* tables = List({"InstalledSoftware"});
    DataObject* fetched = GetDataObjectByRowUnit(tables, GetFirstRowUnit("InstalledSoftware", software));
    FreeList(tables);
    FreeDataObject(software);
    ASSERT_NE(fetched, nullptr);
    RowUnit* row = GetFirstRowUnit("InstalledSoftware", fetched);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->next, nullptr);
    EXPECT_STREQ(static_cast<const char*>(GetFirstValue("ProductName", "InstalledSoftware", fetched, nullptr)),
                 "quoted");
    ASSERT_EQ(DeleteRowUnit(row, fetched), VELMORA_SUCCESS);
    EXPECT_EQ(Kinds(Save(fetched)).size(), 1u);
    EXPECT_TRUE(IsDOEmpty(fetched) == 0);
    EXPECT_EQ(GetFirstRowUnit("InstalledSoftware", fetched), nullptr);
    EXPECT_EQ(Query("select ProductCode from InstalledSoftware"), (Rows{{"OBrien"}}));
    FreeDataObject(fetched);
}

TW_INSTANTIATE_ENGINE_TESTS(DataObjectOnEngine, Engine::sqlite, Engine::postgresql, Engine::mariadb);

} // namespace
