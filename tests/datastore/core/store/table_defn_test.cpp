#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "store_registries.h"
#include "fault_injection.h"
#include "log_capture.h"
#include "velmora/base_alloc.h"
#include "velmora/string_routines.h"
#include "velmora/table_defn.h"

namespace {

ColumnDefn* Column(const char* name, uint8_t type, int32_t maxSize = 0, const char* defaultText = nullptr)
{
    return CreateColumnDefn(name, type, defaultText, defaultText ? static_cast<int32_t>(strlen(defaultText)) : 0, 0,
                            nullptr, nullptr, maxSize, 1, nullptr);
}

char** Strings(std::initializer_list<const char*> texts)
{
    auto** array = static_cast<char**>(calloc(texts.size() + 1, sizeof(char*)));
    size_t i = 0;
    for (const char* text : texts)
        array[i++] = strdup(text);
    return array;
}

// Adds a table "Machine" with columns ID (int, default 7) and Name, key ID
// and a foreign key SiteId -> Site.SiteId.
TableDefn* AddMachineTable(const char* name = "Machine")
{
    LCDVector* columns = CreateVector();
    AddElementData(columns, Column("ID", BRI_SQL_INT, 0, "7"));
    AddElementData(columns, Column("Name", BRI_SQL_VARCHAR, 40));
    ConstraintDefn* constraints = CreateConstraintDefn(Strings({"ID"}), 1, nullptr);
    AddForeignKeyDefn(constraints, CreateForeignKeyDefn("SiteId", "SiteId", "Site", 0, 1, 0));
    TableDefn* table = CreateTableDefn(name, "machines", columns, constraints);
    EXPECT_EQ(AddTableDefn(table), VELMORA_SUCCESS);
    return table;
}

class TableDefnTest : public StoreRegistriesTest {
protected:
};

TEST_F(TableDefnTest, LongCharacterColumnsBecomeText)
{
    for (uint8_t type : {BRI_SQL_CHAR, BRI_SQL_VARCHAR}) {
        ColumnDefn* fits = Column("a", type, 255);
        ColumnDefn* longer = Column("b", type, 256);
        EXPECT_EQ(fits->type, type);
        EXPECT_EQ(longer->type, BRI_SQL_TEXT);
        FreeColumnDefn(fits);
        FreeColumnDefn(longer);
    }
    ColumnDefn* number = Column("n", BRI_SQL_INT, 1000);
    EXPECT_EQ(number->type, BRI_SQL_INT);
    FreeColumnDefn(number);
}

TEST_F(TableDefnTest, DefaultsAreConvertedWithTheDeclaredType)
{
    ColumnDefn* tiny = Column("t", BRI_SQL_TINYINT, 0, "-3");
    ASSERT_NE(tiny->defaultValue, nullptr);
    EXPECT_EQ(tiny->defaultLength, 1);
    EXPECT_EQ(ColumnValueToInt64(tiny->defaultValue, tiny->defaultLength, tiny->type), -3);
    FreeColumnDefn(tiny);

    // A default that is no value of the type is reported; the column stays.
    LogCapture log;
    ColumnDefn* flag = Column("f", BRI_SQL_BOOLEAN, 0, "yes");
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(flag->defaultValue, nullptr);
    EXPECT_EQ(log.Lines().back().rfind("[ERROR] Default value yes of column f", 0), 0u);
    FreeColumnDefn(flag);

    EXPECT_EQ(CreateColumnDefn(nullptr, BRI_SQL_INT, nullptr, 0, 0, nullptr, nullptr, 0, 1, nullptr), nullptr);
}

TEST_F(TableDefnTest, LookupsByNameAndTheirMessages)
{
    AddMachineTable();
    EXPECT_NE(GetTableDefnByName("machine"), nullptr);
    EXPECT_NE(GetTableDefnByName("MACHINE"), nullptr);
    EXPECT_EQ(GetTableDefnByName("Machines"), nullptr);

    EXPECT_NE(GetColumnDefnEntry("machine", "ID"), nullptr);
    EXPECT_EQ(GetColumnDefnEntry("machine", "Id"), nullptr);
    EXPECT_EQ(GetColumnDefnType("Machine", "Name"), BRI_SQL_VARCHAR);
    EXPECT_EQ(GetColumnDefnType("Machine", "name"), 0);

    uint8_t found = 9;
    void* value = GetDefaultValue("Machine", "ID", &found);
    EXPECT_EQ(found, 1);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(*static_cast<int32_t*>(value), 7);
    EXPECT_EQ(GetDefaultValue("Machine", "Name", &found), nullptr);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(GetDefaultValue("Machine", "Other", &found), nullptr);
    EXPECT_EQ(found, 0);

    LogCapture log;
    EXPECT_EQ(GetTableDefnByName(nullptr), nullptr);
    EXPECT_EQ(GetColumnDefnEntry(nullptr, "ID"), nullptr);
    EXPECT_EQ(GetDefaultValue("Machine", nullptr, &found), nullptr);
    EXPECT_EQ(GetColumnDefnType("Nowhere", "ID"), 0);
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"[ERROR] Table Name is NULL.", "[ERROR] Cannot fetch default value;",
                                        "[ERROR] Cannot fetch default value;",
                                        "[ERROR] No definition found for table Nowhere"}));
}

TEST_F(TableDefnTest, FirstDefinitionWinsAndRemovalFreesIt)
{
    TableDefn* first = AddMachineTable("Machine");
    TableDefn* second = AddMachineTable("MACHINE");
    EXPECT_EQ(GetTableDefnByName("machine"), first);
    EXPECT_EQ(RemoveTableDefn("Machine"), VELMORA_SUCCESS);
    EXPECT_EQ(GetTableDefnByName("machine"), second);
    EXPECT_EQ(gv_tableDefns.count, 1);
    EXPECT_EQ(gv_tableDefns.tail->data, second);
    EXPECT_EQ(RemoveTableDefn("Machine"), VELMORA_SUCCESS);
    EXPECT_EQ(RemoveTableDefn("Machine"), VELMORA_FAILURE);
    EXPECT_EQ(gv_tableDefns.head, nullptr);
    EXPECT_EQ(gv_tableDefns.tail, nullptr);
    EXPECT_EQ(GetTableDefnByName("machine"), nullptr);
}

TEST_F(TableDefnTest, ForeignKeyByLocalColumn)
{
    TableDefn* table = AddMachineTable();
    ForeignKeyDefn* key = GetForeignKeyByColumn(table, "siteid");
    ASSERT_NE(key, nullptr);
    EXPECT_STREQ(key->referenceTable, "Site");
    EXPECT_EQ(key->onDeleteCascade, 1);
    EXPECT_EQ(GetForeignKeyByColumn(table, "Name"), nullptr);

    // A table made without keys still has a constraints record.
    TableDefn* bare = CreateTableDefn("Bare", nullptr, nullptr, nullptr);
    ASSERT_NE(bare, nullptr);
    ASSERT_NE(bare->constraints, nullptr);
    ASSERT_NE(bare->columns, nullptr);
    EXPECT_EQ(bare->constraints->primaryKeyCount, 0);
    LogCapture log;
    EXPECT_EQ(GetForeignKeyByColumn(bare, "x"), nullptr);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[ERROR] No Foreignkey Entries in Definition "});
    FreeTableDefn(bare);
}

TEST_F(TableDefnTest, PrintListsColumnsAndKeys)
{
    AddMachineTable();
    AddTableDefn(CreateTableDefn("Empty", nullptr, nullptr, nullptr));
    LogCapture log;
    PrintTableDefns();
    std::vector<std::string> expected = {
        "[DEBUG] Table Name : Machine",
        "[DEBUG] Description: machines",
        "[DEBUG] ---------------------------------------",
        "",
        "[DEBUG] Column Name : ID",
        "[DEBUG] Column Type : 5",
        "[DEBUG] Unique Flag : FALSE",
        "[DEBUG] Description : ",
        "[DEBUG] ---------------------------------------",
        "",
        "[DEBUG] Column Name : Name",
        "[DEBUG] Column Type : 15",
        "[DEBUG] Unique Flag : FALSE",
        "[DEBUG] Description : ",
        "[DEBUG] ---------------------------------------",
        "",
        "[DEBUG] Primary key : ID",
        "",
        "[DEBUG] Foreign key Constraints",
        "[DEBUG] ********************************",
        "[DEBUG] Column Name : SiteId",
        "[DEBUG] Ref Column  : SiteId",
        "[DEBUG] Tablename : Site",
        "[DEBUG] ********************************",
    };
    EXPECT_EQ(log.Lines(), expected); // the table without columns prints nothing
}

TEST_F(TableDefnTest, FailedAllocationsLeaveNothingBehind)
{
    ForEveryAllocationFailure([](long n, bool& fired) {
        FailingAllocations faults(n);
        auto* allowed = static_cast<char**>(calloc(3, sizeof(char*)));
        allowed[0] = strdup("a");
        allowed[1] = strdup("z");
        AllowedValues* values = CreateAllowedValues(allowed, 1);
        if (!values)
            FreeStringArray(allowed, -1);
        ColumnDefn* column =
            CreateColumnDefn("c", BRI_SQL_DATETIME, "2024-01-01 00:00:00", 19, 1, "gen", "desc", 0, 0, values);
        ConstraintDefn* constraints = CreateConstraintDefn(nullptr, 0, nullptr);
        ForeignKeyDefn* key = CreateForeignKeyDefn("a", "b", "T", 0, 0, 1);
        if (constraints && key && AddForeignKeyDefn(constraints, key) != VELMORA_SUCCESS)
            FreeForeignKeyDefn(key);
        else if (!constraints)
            FreeForeignKeyDefn(key);
        TableDefn* table = CreateTableDefn("T", "d", nullptr, constraints);
        if (!table)
            FreeConstraintDefn(constraints);
        else if (AddTableDefn(table) != VELMORA_SUCCESS)
            FreeTableDefn(table);
        fired = faults.fired();
        if (column) {
            EXPECT_STREQ(column->generatorName, "gen");
            EXPECT_EQ(column->defaultLength, 11);
        }
        FreeColumnDefn(column);
        FreeTableDefns();
    });
}

} // namespace
