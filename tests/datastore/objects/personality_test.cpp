// Personalities and index tables on SQLite, PostgreSQL and MariaDB: a
// personality file read into the list and its index tables created in the
// database, whole objects fetched through the foreign-key chains that lead
// to the dominant key, index rows written for new and deleted rows (text
// keys with quotes included) and read back by the deep fetch; and files
// that are malformed, deep or huge refused without a trace in the list.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "engine_test.h"
#include "log_capture.h"
#include "store_engine_support.h"
#include "temp_dir.h"
#include "velmora/personality.h"

using namespace store_engine;

namespace {

// Customer <- Orders <- OrderLine, each referring to the one above by the
// customer's code, so OrderLine's chain ends at Customer's key. Note refers
// to itself (a chain that would never end) and to Customer.
const char* const kOrdersDictionary = R"(<?xml version="1.0"?>
<data-dictionary>
  <table name="Customer"><columns>
    <column name="Code"><data-type>CHAR</data-type><max-size>40</max-size><nullable>false</nullable></column>
    <column name="Name"><data-type>CHAR</data-type><max-size>40</max-size></column>
  </columns><primary-key><primary-key-column>Code</primary-key-column></primary-key></table>
  <table name="Orders"><columns>
    <column name="OrderId"><data-type>BRI_SQL_INT</data-type><nullable>false</nullable></column>
    <column name="Code"><data-type>CHAR</data-type><max-size>40</max-size></column>
  </columns><primary-key><primary-key-column>OrderId</primary-key-column></primary-key>
  <foreign-keys><foreign-key reference-table-name="Customer"><fk-columns><fk-column>
    <fk-local-column>Code</fk-local-column><fk-reference-column>Code</fk-reference-column>
  </fk-column></fk-columns></foreign-key></foreign-keys></table>
  <table name="OrderLine"><columns>
    <column name="LineId"><data-type>BRI_SQL_INT</data-type><nullable>false</nullable></column>
    <column name="Code"><data-type>CHAR</data-type><max-size>40</max-size></column>
  </columns><primary-key><primary-key-column>LineId</primary-key-column></primary-key>
  <foreign-keys><foreign-key reference-table-name="Orders"><fk-columns><fk-column>
    <fk-local-column>Code</fk-local-column><fk-reference-column>Code</fk-reference-column>
  </fk-column></fk-columns></foreign-key></foreign-keys></table>
  <table name="Note"><columns>
    <column name="NoteId"><data-type>BRI_SQL_INT</data-type><nullable>false</nullable></column>
    <column name="ParentId"><data-type>BRI_SQL_INT</data-type></column>
    <column name="Code"><data-type>CHAR</data-type><max-size>40</max-size></column>
  </columns><primary-key><primary-key-column>NoteId</primary-key-column></primary-key>
  <foreign-keys><foreign-key reference-table-name="Note"><fk-columns><fk-column>
    <fk-local-column>ParentId</fk-local-column><fk-reference-column>ParentId</fk-reference-column>
  </fk-column></fk-columns></foreign-key>
  <foreign-key reference-table-name="Customer"><fk-columns><fk-column>
    <fk-local-column>Code</fk-local-column><fk-reference-column>Code</fk-reference-column>
  </fk-column></fk-columns></foreign-key></foreign-keys></table>
</data-dictionary>
)";

const char* const kOrdersPersonality = R"(<?xml version="1.0"?>
<Personalities>
  <PersonalityConfiguration personalityname="CustomerOrders" description="A customer's orders"
                            dominanttableid="Customer">
    <ConstituentTable tableid="Customer" tableindex="0"/>
    <ConstituentTable tableid="Orders" tableindex="1" fkconstraint_id="fk_orders" mandatory="FALSE"/>
    <ConstituentTable tableid="OrderLine" tableindex="0" mandatory="false"/>
  </PersonalityConfiguration>
  <DominantTableConfig isindexed="true" dominanttableid="Orders"/>
  <DominantTableConfig dominanttableid="Customer" isindexed="TRUE" nonindexlimit="5"/>
</Personalities>
)";

class PersonalityOnEngine : public tw::engines::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        log_ = std::make_unique<LogCapture>(4);
        layer_ = std::make_unique<db_engine::DBLayer>();
        store_ = std::make_unique<Store>(engine(), database_name());
        ASSERT_TRUE(store_->Connect(true));
        Write("datadictionary.txt", "orders.xml\n");
        Write("orders.xml", kOrdersDictionary);
        ASSERT_EQ(LoadDataDictFiles(dir_.path().c_str()), VELMORA_SUCCESS);
        for (const char* table : {"Customer", "Orders", "OrderLine"})
            AddDataSourceMapEntry(CreateDataSourceMapEntry(table, "inv"));
        // The engine holds the tables without constraints: the chains live
        // in the dictionary.
        Exec("create table Customer (Code varchar(40) primary key, Name varchar(40))");
        Exec("create table Orders (OrderId int primary key, Code varchar(40))");
        Exec("create table OrderLine (LineId int primary key, Code varchar(40))");
        ASSERT_EQ(InitPersonality(), VELMORA_SUCCESS);
    }
    void TearDown() override
    {
        FreePersonalities();
        store_.reset();
        layer_.reset();
        log_.reset();
        EngineTest::TearDown();
    }
    std::string Write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir_.file(name), std::ios::binary) << text;
        return dir_.file(name);
    }
    void Exec(const std::string& sql) { ASSERT_TRUE(db().Execute(sql)) << sql << ": " << db().LastError(); }
    std::vector<std::string> Column(const std::string& sql)
    {
        std::vector<std::string> values;
        auto rows = db().Query(sql);
        EXPECT_TRUE(rows.has_value()) << sql << ": " << db().LastError();
        for (const auto& row : rows.value_or(tw::engines::Rows{}))
            values.push_back(row[0].value_or("NULL"));
        return values;
    }
    bool Logged(const std::string& fragment) const
    {
        for (const std::string& line : log_->Lines())
            if (line.find(fragment) != std::string::npos)
                return true;
        return false;
    }

    TempDir dir_;
    std::unique_ptr<LogCapture> log_;
    std::unique_ptr<db_engine::DBLayer> layer_;
    std::unique_ptr<Store> store_;
};

// The text of column in a unit of a DO's collection, "NULL" for NULL.
std::string ValueOf(DataObject* object, const char* table, const RowUnit* unit, const char* column)
{
    RowCollection* collection = GetRowCollection(table, object);
    for (int i = 0; collection && collection->columnNames[i]; i++)
        if (std::string(collection->columnNames[i]) == column) {
            char* text = ColumnValueToString(unit->values[i], unit->lengths[i], collection->columnTypes[i]);
            std::string value = text ? text : "?";
            std::free(text);
            return value;
        }
    return "?";
}

// The values of column over the table's units of the DO, in row order.
std::vector<std::string> Values(DataObject* object, const char* table, const char* column)
{
    std::vector<std::string> values;
    RowCollection* collection = object ? GetRowCollection(table, object) : nullptr;
    for (RowUnit* unit = collection ? collection->firstRow : nullptr; unit; unit = unit->next)
        values.push_back(ValueOf(object, table, unit, column));
    std::sort(values.begin(), values.end());
    return values;
}

using DOHolder = std::unique_ptr<DataObject, decltype(&FreeDataObject)>;

// A new row of table from texts (one per column, null for NULL) with state.
RowObject* MakeRow(const char* table, std::vector<const char*> texts, uint8_t state)
{
    TableDefn* definition = GetTableDefnByName(table);
    auto** values = static_cast<void**>(calloc(texts.size(), sizeof(void*)));
    auto* lengths = static_cast<int32_t*>(calloc(texts.size(), sizeof(int32_t)));
    int i = 0;
    for (LCDNode* node = definition->columns->head; node; node = node->next, i++)
        if (texts[i])
            AllocateAndCopyColumnValue(&values[i], &lengths[i], static_cast<ColumnDefn*>(node->data)->type, texts[i]);
    RowObject* row = CreateNewRowObject(values, lengths);
    row->state = state;
    return row;
}

TEST_P(PersonalityOnEngine, ObjectsByChainIndexRowsAndDeepFetch)
{
    Exec("insert into Customer values (" + Literal("O'Brien \\ Co") + ", 'first')");
    Exec("insert into Customer values ('ann', 'second')");
    Exec("insert into Orders values (10, " + Literal("O'Brien \\ Co") + ")");
    Exec("insert into Orders values (11, " + Literal("O'Brien \\ Co") + ")");
    Exec("insert into Orders values (12, 'ann')");
    Exec("insert into OrderLine values (100, " + Literal("O'Brien \\ Co") + ")");
    Exec("insert into OrderLine values (102, 'ann')");

    ASSERT_EQ(CreatePersonalityFromXMLFile(Write("orders.personality.xml", kOrdersPersonality).c_str()),
              VELMORA_SUCCESS);
    // isindexed before the table is named creates nothing for it.
    EXPECT_TRUE(Logged("isindexed before naming its table"));
    EXPECT_FALSE(db().Query("select * from Orders_IDX").has_value());
    EXPECT_TRUE(Column("select * from Customer_IDX").empty());

    // The list: the dominant table's own entry is no constituent; attributes
    // are read as written, a tableindex of 0 ends an element's reading.
    PersonalityDefn* personality = GetPersonalityDefn("CustomerOrders");
    ASSERT_NE(personality, nullptr);
    ASSERT_EQ(personality->constituentTables->count, 2);
    auto* orders = static_cast<ConstituentTable*>(personality->constituentTables->head->data);
    auto* lines = static_cast<ConstituentTable*>(personality->constituentTables->tail->data);
    EXPECT_STREQ(orders->table, "Orders");
    EXPECT_EQ(orders->tableIndex, 1);
    EXPECT_EQ(orders->mandatory, 0);
    EXPECT_STREQ(orders->fkConstraintId, "fk_orders");
    EXPECT_STREQ(lines->table, "OrderLine");
    EXPECT_EQ(lines->mandatory, 1); // read no further after tableindex 0
    EXPECT_TRUE(IsDominantTable("Customer"));
    EXPECT_FALSE(IsDominantTable("Orders"));
    char** constituents = GetConstituentTables("CustomerOrders");
    ASSERT_NE(constituents, nullptr);
    EXPECT_STREQ(constituents[0], "Orders");
    EXPECT_STREQ(constituents[1], "OrderLine");
    EXPECT_EQ(constituents[2], nullptr);
    FreePersonalityNames(constituents);
    EXPECT_EQ(GetConstituentTables("Nobody"), nullptr);
    EXPECT_EQ(GetDOFromPersonality("Nobody"), nullptr);
    EXPECT_TRUE(Logged("No personality found for Nobody"));

    // The whole object: OrderLine joined on its chain to Customer's key.
    DOHolder all(GetDOFromPersonality("CustomerOrders"), &FreeDataObject);
    ASSERT_NE(all, nullptr);
    EXPECT_TRUE(Logged("left join  OrderLine  on Customer.Code = OrderLine.Code") ||
                Logged("left join OrderLine on Customer.Code = OrderLine.Code"));
    EXPECT_EQ(Values(all.get(), "Customer", "Code"), (std::vector<std::string>{"O'Brien \\ Co", "ann"}));
    EXPECT_EQ(Values(all.get(), "Orders", "OrderId"), (std::vector<std::string>{"10", "11", "12"}));
    EXPECT_EQ(Values(all.get(), "OrderLine", "LineId"), (std::vector<std::string>{"100", "102"}));

    // The dominant row with the quote in its key.
    RowCollection* customers = GetRowCollection("Customer", all.get());
    ASSERT_NE(customers, nullptr);
    RowUnit* obrien = customers->firstRow;
    while (obrien && ValueOf(all.get(), "Customer", obrien, "Code") != "O'Brien \\ Co")
        obrien = obrien->next;
    ASSERT_NE(obrien, nullptr);

    // Before any index row the deep fetch has nothing to go by.
    EXPECT_EQ(DeepRetrieveDO("Customer", obrien), nullptr);
    EXPECT_TRUE(Logged("No tables indexed.  Cannot deep retrieve DO for Customer"));

    // New rows of referring tables are indexed once per table; a deleted
    // stored row takes its table's entry away, the others stay.
    struct Step {
        const char* table;
        std::vector<const char*> row;
        uint8_t state;
        std::vector<std::string> indexed; // TABLENAME of O'Brien's entries, sorted
    } steps[] = {
        {"Orders", {"13", "O'Brien \\ Co"}, ROW_STATE_NEW, {"Orders"}},
        {"Orders", {"14", "O'Brien \\ Co"}, ROW_STATE_NEW | ROW_STATE_UPDATED, {"Orders"}},
        {"OrderLine", {"101", "O'Brien \\ Co"}, ROW_STATE_NEW, {"OrderLine", "Orders"}},
        {"OrderLine", {"103", "ann"}, ROW_STATE_NEW, {"OrderLine", "Orders"}},
        {"OrderLine", {"104", "O'Brien \\ Co"}, ROW_STATE_STORED, {"OrderLine", "Orders"}},
        {"Customer", {"bob", "x"}, ROW_STATE_NEW, {"OrderLine", "Orders"}},
    };
    for (const Step& step : steps) {
        RowObject* row = MakeRow(step.table, step.row, step.state);
        EXPECT_EQ(AddEntryToIndexTable(step.table, row), VELMORA_SUCCESS) << step.table;
        FreeRowObject(row, static_cast<int32_t>(step.row.size()));
        EXPECT_EQ(Column("select TABLENAME from Customer_IDX where Code = " + Literal("O'Brien \\ Co") +
                         " order by TABLENAME"),
                  step.indexed)
            << step.table << " " << step.row[0];
    }
    EXPECT_EQ(Column("select TABLENAME from Customer_IDX where Code = 'ann'"), (std::vector<std::string>{"OrderLine"}));

    DOHolder deep(DeepRetrieveDO("Customer", obrien), &FreeDataObject);
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(Values(deep.get(), "Customer", "Code"), (std::vector<std::string>{"O'Brien \\ Co"}));
    EXPECT_EQ(Values(deep.get(), "Orders", "OrderId"), (std::vector<std::string>{"10", "11"}));
    EXPECT_EQ(Values(deep.get(), "OrderLine", "LineId"), (std::vector<std::string>{"100"}));

    RowObject* gone = MakeRow("OrderLine", {"100", "O'Brien \\ Co"}, ROW_STATE_STORED | ROW_STATE_DELETED);
    EXPECT_EQ(AddEntryToIndexTable("OrderLine", gone), VELMORA_SUCCESS);
    FreeRowObject(gone, 2);
    EXPECT_EQ(Column("select TABLENAME from Customer_IDX where Code = " + Literal("O'Brien \\ Co")),
              (std::vector<std::string>{"Orders"}));
    // A table that refers to itself still finds its way to the dominant key.
    RowObject* note = MakeRow("Note", {"1", "1", "O'Brien \\ Co"}, ROW_STATE_NEW);
    EXPECT_EQ(AddEntryToIndexTable("Note", note), VELMORA_SUCCESS);
    FreeRowObject(note, 3);
    EXPECT_EQ(
        Column("select TABLENAME from Customer_IDX where Code = " + Literal("O'Brien \\ Co") + " order by TABLENAME"),
        (std::vector<std::string>{"Note", "Orders"}));

    // By row, over the dominant table and its constituents.
    DOHolder byRow(GetDOFromPersonalityByRowUnit("CustomerOrders", obrien), &FreeDataObject);
    ASSERT_NE(byRow, nullptr);
    EXPECT_EQ(Values(byRow.get(), "Orders", "OrderId"), (std::vector<std::string>{"10", "11"}));
    // By a condition on the dominant table: the rows that belong to the rows
    // it selects, joined along the chains (not every row of the other
    // tables); a customer without orders brings no empty order rows.
    Exec("insert into Customer values ('cy', 'third')");
    for (const auto& [code, orderIds, lineIds] :
         std::vector<std::tuple<std::string, std::vector<std::string>, std::vector<std::string>>>{
             {"ann", {"12"}, {"102"}}, {"O'Brien \\ Co", {"10", "11"}, {"100"}}, {"cy", {}, {}}}) {
        SelectQuery* scratch = CreateSelectQuery();
        ASSERT_NE(scratch, nullptr);
        QueryColumn* column =
            CreateQueryColumn("Customer", nullptr, "Code", nullptr, 0, BRI_SQL_VARCHAR, 0, scratch->pool);
        QueryCondition* condition = CreateQueryCondition(column, code.c_str(), static_cast<int32_t>(code.size()),
                                                         QUERY_OP_EQUAL, scratch->pool);
        DOHolder byCode(GetDOFromPersonalityByCriteria("CustomerOrders", condition), &FreeDataObject);
        FreeSelectQuery(scratch);
        ASSERT_NE(byCode, nullptr) << code;
        EXPECT_EQ(Values(byCode.get(), "Customer", "Code"), (std::vector<std::string>{code}));
        EXPECT_EQ(Values(byCode.get(), "Orders", "OrderId"), orderIds) << code;
        EXPECT_EQ(Values(byCode.get(), "OrderLine", "LineId"), lineIds) << code;
    }
    // Several personalities merge into one object; an unknown name adds nothing.
    const char* const both[] = {"CustomerOrders", "Nobody", "CustomerOrders", nullptr};
    DOHolder merged(GetDOFromPersonalities(both), &FreeDataObject);
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(Values(merged.get(), "Orders", "OrderId"), (std::vector<std::string>{"10", "11", "12"}));
    EXPECT_EQ(Values(merged.get(), "OrderLine", "LineId"), (std::vector<std::string>{"100", "102"}));

    // The example's personalities over the inventory: InstalledSoftware
    // reaches Site through Machine; Site gets its index table.
    ASSERT_EQ(CreatePersonalityFromXMLFile(TW_EXAMPLES_DATA "/personalities.xml"), VELMORA_SUCCESS);
    EXPECT_TRUE(Column("select * from Site_IDX").empty());
    Exec("insert into Site (SiteId, SiteName) values (1, 'hq')");
    Exec("insert into Machine (MachineId, SiteId, HostName) values (7, 1, 'pc-7')");
    Exec("insert into InstalledSoftware (MachineId, ProductCode, ProductName) values (7, 'P1', 'Tool')");
    DOHolder site(GetDOFromPersonality("SiteInventory"), &FreeDataObject);
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(Values(site.get(), "Machine", "HostName"), (std::vector<std::string>{"pc-7"}));
    EXPECT_EQ(Values(site.get(), "InstalledSoftware", "ProductCode"), (std::vector<std::string>{"P1"}));
    char** names = GetPersonalityNames();
    ASSERT_NE(names, nullptr);
    EXPECT_STREQ(names[2], "PatchPackages");
    FreePersonalityNames(names);
}

// Files that are no personality files add nothing and say so.
TEST_P(PersonalityOnEngine, BadFilesAreRefusedWholly)
{
    std::string deep;
    for (int i = 0; i < 5000; i++)
        deep += "<a>";
    std::string many = "<P>";
    for (int i = 0; i <= PERSONALITY_MAX_ELEMENTS; i++)
        many += "<ConstituentTable tableid=\"x\"/>";
    many += "</P>";
    std::string broken = std::string(kOrdersPersonality);
    broken.resize(broken.size() / 2); // the personality element is complete, the file is not
    struct Case {
        const char* what;
        std::string text;
        const char* logged;
    } cases[] = {
        {"malformed", "<P><PersonalityConfiguration personalityname='a' dominanttableid='Customer'></P>", nullptr},
        {"cut short", broken, nullptr},
        {"deep", "<P>" + deep, nullptr},
        {"too many elements", many, "has more than"},
        {"entity bomb",
         "<!DOCTYPE P [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
         "<P><PersonalityConfiguration personalityname='&c;' dominanttableid='Customer'/><x></P>",
         nullptr},
        {"no file", "", "cannot be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = c.text.empty() ? dir_.file("missing.xml") : Write("bad.xml", c.text);
        EXPECT_EQ(CreatePersonalityFromXMLFile(path.c_str()), VELMORA_FAILURE);
        EXPECT_TRUE(Logged("Could not parse file " + path));
        if (c.logged) {
            EXPECT_TRUE(Logged(c.logged));
        }
        EXPECT_EQ(gv_personalityDefnVect->count, 0);
        EXPECT_EQ(GetDominantTables(), nullptr);
        EXPECT_FALSE(db().Query("select * from Customer_IDX").has_value());
    }
    FreePersonalities();
    EXPECT_EQ(CreatePersonalityFromXMLFile(Write("ok.xml", kOrdersPersonality).c_str()), VELMORA_FAILURE);
}

} // namespace

TW_INSTANTIATE_ENGINE_TESTS(PersonalityOnEngine, tw::engines::Engine::sqlite, tw::engines::Engine::postgresql,
                            tw::engines::Engine::mariadb);
