// In-memory tables: creation, adding with generated and default values,
// updates, deletions, selections, sorting, views and listings.
#include <gtest/gtest.h>

#include <string>

#include "log_capture.h"
#include "temp_dir.h"
#include "velmora/data_dictionary.h"
#include "tables_fixture.h"

using namespace tables_fixture;

extern "C" int TablesCApiSmoke(void);

namespace {

TEST(TablesCApi, WorksFromC) { EXPECT_EQ(TablesCApiSmoke(), 0); }

class TableDataTest : public TablesTest {
protected:
    void SetUp() override
    {
        TablesTest::SetUp();
        DefineMachine();
        ASSERT_EQ(CreateTable("Machine"), VELMORA_SUCCESS);
    }
    // Adds rows with IDs 1..n, Name "m<i>", Qty i % 4.
    void AddMachines(int n, uint8_t state = ROW_STATE_NEW)
    {
        for (int i = 1; i <= n; i++) {
            std::string id = std::to_string(i), name = "m" + id, qty = std::to_string(i % 4);
            ASSERT_EQ(AddNewRow("Machine", MachineRow({id.c_str(), name.c_str(), qty.c_str(), "1.5", nullptr}, state)),
                      VELMORA_SUCCESS);
        }
    }
};

TEST_F(TableDataTest, TablesAreCreatedOncePerDefinedName)
{
    EXPECT_EQ(CreateTable("MACHINE"), VELMORA_FAILURE);
    EXPECT_EQ(CreateTable("Nowhere"), VELMORA_FAILURE);
    EXPECT_EQ(CreateTable(nullptr), VELMORA_FAILURE);
    TableData* table = GetTableDataByName("machine");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->kind, TABLE_KIND_TABLE);
    EXPECT_EQ(table->columnCount, 5);
    EXPECT_EQ(gv_tableDataVector.count, 1);
    EXPECT_EQ(GetTableDataByName(nullptr), nullptr);
    EXPECT_STREQ(GetTableNameOfView("MACHINE"), "Machine");
}

TEST_F(TableDataTest, AddedRowsReceiveGeneratedAndDefaultValues)
{
    ASSERT_EQ(StoreSeqBatch("MACHINE_ID", 1, 300), VELMORA_SUCCESS);
    ASSERT_EQ(AddNewRow("Machine", MachineRow({nullptr, "a", nullptr, nullptr, nullptr})), VELMORA_SUCCESS);
    ASSERT_EQ(AddNewRow("Machine", MachineRow({nullptr, "b", "9", nullptr, nullptr})), VELMORA_SUCCESS);
    ASSERT_EQ(AddNewRow("Machine", MachineRow({"77", "c", nullptr, nullptr, nullptr})), VELMORA_SUCCESS);
    TableData* table = GetTableDataByName("Machine");
    EXPECT_EQ(table->rowCount, 3);
    RowObject* first = table->firstRow;
    EXPECT_EQ(IntAt(first, 0), 1);
    EXPECT_EQ(first->lengths[0], 4);
    EXPECT_EQ(ColumnValueToInt64(first->values[2], first->lengths[2], BRI_SQL_SMALLINT), 3);
    EXPECT_EQ(first->values[3], nullptr); // no default: stays NULL
    RowObject* second = first->next;
    EXPECT_EQ(IntAt(second, 0), 2);
    EXPECT_EQ(IntAt(second, 2), 9);
    EXPECT_EQ(IntAt(second->next, 0), 77); // a given value is not replaced
    EXPECT_EQ(table->lastRow, second->next);

    // A generator without a batch yields -1, stored like any value.
    FreeSeqState();
    ASSERT_EQ(InitSeqState(), VELMORA_SUCCESS);
    ASSERT_EQ(AddNewRow("Machine", MachineRow({nullptr, "d", nullptr, nullptr, nullptr})), VELMORA_SUCCESS);
    EXPECT_EQ(IntAt(table->lastRow, 0), -1);

    EXPECT_EQ(AddNewRow("Machine", table->lastRow), VELMORA_FAILURE); // no loop
    EXPECT_EQ(AddNewRow("Machine", table->firstRow), VELMORA_FAILURE);
    EXPECT_EQ(table->rowCount, 4);

    RowObject* orphan = MachineRow({"1", "x", "1", "1", nullptr});
    EXPECT_EQ(AddNewRow("Nowhere", orphan), VELMORA_FAILURE);
    FreeRowObject(orphan, 5);
}

TEST_F(TableDataTest, StoredRowsAreOnlyMarkedWhenDeleted)
{
    AddMachines(3, ROW_STATE_STORED);
    TableData* table = GetTableDataByName("Machine");
    RowObject* second = table->firstRow->next;
    ASSERT_EQ(DeleteRowObject("Machine", second), VELMORA_SUCCESS);
    EXPECT_EQ(second->state, ROW_STATE_STORED | ROW_STATE_DELETED);

    ResultData* all = SelectRows("Machine", nullptr);
    EXPECT_EQ(Ids(all), (std::vector<int32_t>{1, 2, 3}));
    LogCapture log(3);
    PrintResultData(all);
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "[DEBUG] ID\tName\tQty\tPrice\tSeen\t");
    EXPECT_EQ(lines[1].rfind("[DEBUG] 1\tm1\t1\t1.500000\tNULL\t", 0), 0u);
    EXPECT_EQ(lines[2].rfind("[DEBUG] 3\t", 0), 0u);
    FreeResultData(all);
}

TEST_F(TableDataTest, DeletingUnstoredRowsKeepsCountButNeverWalksPastTheEnd)
{
    AddMachines(3);
    TableData* table = GetTableDataByName("Machine");
    RowObject* last = table->lastRow;
    ASSERT_EQ(DeleteRowObject("Machine", last), VELMORA_SUCCESS);
    EXPECT_EQ(table->rowCount, 3); // counts rows added
    EXPECT_EQ(SelectRowByRowIdx("Machine", 3), nullptr);
    EXPECT_EQ(SelectRowByRowIdx("Machine", 4), nullptr);
    ResultData* first = SelectRowByRowIdx("Machine", 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Ids(first), std::vector<int32_t>{1});
    FreeResultData(first);
    ResultData* second = SelectRowByRowIdx("Machine", 2);
    EXPECT_EQ(Ids(second), std::vector<int32_t>{2});
    FreeResultData(second);

    // The tail moved back: the next row lands after row 2.
    ASSERT_EQ(AddNewRow("Machine", MachineRow({"9", "n", "1", "1", nullptr})), VELMORA_SUCCESS);
    ResultData* all = SelectRows("Machine", nullptr);
    EXPECT_EQ(Ids(all), (std::vector<int32_t>{1, 2, 9}));
    FreeResultData(all);

    RowObject* stranger = MachineRow({"5", "s", "1", "1", nullptr});
    EXPECT_EQ(DeleteRowObject("Machine", stranger), VELMORA_FAILURE);
    FreeRowObject(stranger, 5);
}

TEST_F(TableDataTest, DeletionByConditionAndOfAllRows)
{
    AddMachines(4);
    ASSERT_EQ(AddNewRow("Machine", MachineRow({"5", "kept", "1", "1", nullptr}, ROW_STATE_STORED)), VELMORA_SUCCESS);
    EXPECT_EQ(DeleteRowObjectByCriteria("Machine", "Qty = 1 or ID = 4"), VELMORA_SUCCESS);
    ResultData* all = SelectRows("Machine", nullptr);
    EXPECT_EQ(Ids(all), (std::vector<int32_t>{2, 3, 5}));
    FreeResultData(all);
    EXPECT_EQ(GetTableDataByName("Machine")->lastRow->state, ROW_STATE_STORED | ROW_STATE_DELETED);
    EXPECT_EQ(DeleteRowObjectByCriteria("Machine", nullptr), VELMORA_FAILURE);
    EXPECT_EQ(DeleteRowObjectByCriteria("Machine", "ID = "), VELMORA_FAILURE);

    LogCapture log;
    EXPECT_EQ(DeleteAllTableRowObjects("Machine"), VELMORA_SUCCESS);
    all = SelectRows("Machine", nullptr);
    EXPECT_EQ(Ids(all), std::vector<int32_t>{5});
    FreeResultData(all);
    EXPECT_EQ(DeleteAllTableRowObjects(nullptr), VELMORA_FAILURE);
    EXPECT_EQ(DeleteAllTableRowObjects("Nowhere"), VELMORA_FAILURE);
    std::vector<std::string> lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[ERROR] \t tableName NULL "), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[ERROR] \t GetTableDataByName returned NULL "), lines.end());
}

TEST_F(TableDataTest, PrimaryKeyUpdatesAreRefusedAndLeaveTheRow)
{
    AddMachines(1, ROW_STATE_STORED);
    RowObject* row = GetTableDataByName("Machine")->firstRow;
    int32_t other = 42;
    LogCapture log;
    EXPECT_EQ(UpdateRowObject("Machine", row, "id", &other, 4), VELMORA_FAILURE);
    EXPECT_EQ(log.Lines().back(), "[ERROR] @@@ UpdateRowObject Failed as PrimaryKey is being updated @@@");
    EXPECT_EQ(IntAt(row, 0), 1);
    EXPECT_EQ(row->state, ROW_STATE_STORED);

    EXPECT_EQ(UpdateRowObject("Machine", row, "NAME", "renamed", 7), VELMORA_SUCCESS);
    EXPECT_STREQ(static_cast<char*>(row->values[1]), "renamed");
    EXPECT_EQ(row->lengths[1], 7);
    EXPECT_EQ(row->state, ROW_STATE_STORED | ROW_STATE_UPDATED);

    EXPECT_EQ(UpdateRowObject("Machine", row, "Nope", "x", 1), VELMORA_FAILURE);
    EXPECT_EQ(UpdateRowObject("Machine", row, "Name", "x", -1), VELMORA_FAILURE);
    EXPECT_EQ(UpdateRowObject("Machine", nullptr, "Name", "x", 1), VELMORA_FAILURE);
    EXPECT_EQ(log.Lines().back(), "[ERROR] \t@@@@@ rowPtr passed as parameter in NULL @@@@@ ");
    EXPECT_EQ(UpdateRowObject("Machine", row, "Name", nullptr, 5), VELMORA_SUCCESS);
    EXPECT_EQ(row->values[1], nullptr);
    EXPECT_EQ(row->lengths[1], 0);
}

TEST_F(TableDataTest, ConditionsSelectRowsAndUnknownColumnsMatchNothing)
{
    AddMachines(8);
    auto ids = [](const char* condition) {
        ResultData* result = SelectRows("Machine", condition);
        if (!result)
            return std::vector<int32_t>{-99};
        std::vector<int32_t> found = Ids(result);
        EXPECT_EQ(result->rowCount, static_cast<int32_t>(found.size()));
        EXPECT_EQ(result->cursor, nullptr);
        FreeResultData(result);
        return found;
    };
    EXPECT_EQ(ids("id > 5 and (name = 'm6' or qty <= 0)"), (std::vector<int32_t>{6, 8}));
    EXPECT_EQ(ids("6 < ID"), (std::vector<int32_t>{7, 8}));
    EXPECT_EQ(ids("Nope = 1"), std::vector<int32_t>{});
    EXPECT_EQ(ids("Nope = 1 or ID = 2"), std::vector<int32_t>{2});
    EXPECT_EQ(ids("Price = 1.5 and ID < 3"), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(ids("Seen = '2020-01-01 00:00:00'"), std::vector<int32_t>{}); // no ordering for dates
    EXPECT_EQ(ids("ID = 1 AND ID = 2"), std::vector<int32_t>{-99});         // a syntax error
    EXPECT_EQ(ids("ID = -1"), std::vector<int32_t>{-99});
    EXPECT_EQ(SelectRows("Nowhere", nullptr), nullptr);

    int32_t length = 0;
    void* name = GetColumnValue("Machine", "name", "ID = 3", &length);
    EXPECT_STREQ(static_cast<char*>(name), "m3");
    EXPECT_EQ(length, 2);
    EXPECT_EQ(GetColumnValue("Machine", "Name", "ID = 30", &length), nullptr);
    EXPECT_EQ(GetColumnValue("Machine", "Seen", "ID = 3", &length), nullptr);
}

TEST_F(TableDataTest, ResultsSortBothWaysKeepingTiesInOrder)
{
    AddMachines(6); // Qty 1 2 3 0 1 2
    ASSERT_EQ(AddNewRow("Machine", MachineRow({"7", "n", nullptr, "1", nullptr})), VELMORA_SUCCESS);
    UpdateRowObject("Machine", GetTableDataByName("Machine")->lastRow, "Qty", nullptr, 0); // NULL, not the default
    ResultData* result = SelectRows("Machine", nullptr);
    ASSERT_EQ(SortResultSet(result, "qty", 1), VELMORA_SUCCESS);
    EXPECT_EQ(Ids(result), (std::vector<int32_t>{7, 4, 1, 5, 2, 6, 3}));
    ASSERT_EQ(SortResultSet(result, "Qty", 0), VELMORA_SUCCESS);
    EXPECT_EQ(Ids(result), (std::vector<int32_t>{3, 2, 6, 1, 5, 4, 7}));
    EXPECT_EQ(SortResultSet(result, "Nope", 1), VELMORA_FAILURE);
    // The tail follows the sort: an appended row comes last.
    ASSERT_EQ(AddRowToResultData(GetTableDataByName("Machine")->firstRow, result), VELMORA_SUCCESS);
    EXPECT_EQ(Ids(result).back(), 1);
    FreeResultData(result);

    ResultData* one = SelectRows("Machine", "ID = 2");
    LogCapture log(3);
    EXPECT_EQ(SortResultSet(one, "Qty", 1), VELMORA_SUCCESS);
    EXPECT_EQ(log.Lines().back(), "[DEBUG] Number of Rows is 1 for the Relvar to be Sorted ");
    FreeResultData(one);
}

TEST_F(TableDataTest, ColumnsDefinedAfterTheTableMatchNothing)
{
    AddMachines(3);
    // Rows hold the columns the definition had when the table was created.
    ASSERT_EQ(AddElementData(GetTableDefnByName("Machine")->columns, Column("Extra", BRI_SQL_INT)), VELMORA_SUCCESS);
    ResultData* result = SelectRows("Machine", "Extra = 0 or ID = 2");
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(Ids(result), std::vector<int32_t>{2});
    FreeResultData(result);
    EXPECT_EQ(DeleteRowObjectByCriteria("Machine", "Extra != 7"), VELMORA_SUCCESS);
    EXPECT_NE(GetTableDataByName("Machine")->firstRow, nullptr);
}

TEST_F(TableDataTest, SortingNeverReadsPastAValue)
{
    AddMachines(3);
    // A text value whose length is out of range sorts as an empty one.
    GetTableDataByName("Machine")->firstRow->next->lengths[1] = -1;
    ResultData* result = SelectRows("Machine", nullptr);
    ASSERT_EQ(SortResultSet(result, "Name", 1), VELMORA_SUCCESS);
    EXPECT_EQ(Ids(result), (std::vector<int32_t>{2, 1, 3}));
    FreeResultData(result);
}

TEST_F(TableDataTest, ResultColumnsAreFoundByNameAndPosition)
{
    AddMachines(2);
    ResultData* result = SelectRows("Machine", nullptr);
    int32_t length = -1;
    EXPECT_EQ(GetColumnValueByName("Name", &length, result), nullptr); // no current row yet
    ASSERT_NE(GotoNextRowObject(result), nullptr);
    EXPECT_STREQ(static_cast<char*>(GetColumnValueByName("NAME", &length, result)), "m1");
    EXPECT_EQ(GetColumnValueByName("Nope", &length, result), nullptr);
    EXPECT_EQ(GetColumnTypeByName("price", result), BRI_SQL_FLOAT);
    EXPECT_EQ(GetColumnTypeByName("Nope", result), 0);
    EXPECT_STREQ(GetColumnNameByIndex(4, result), "Seen");
    EXPECT_EQ(GetColumnNameByIndex(5, result), nullptr);
    EXPECT_EQ(GetColumnNameByIndex(-1, result), nullptr);
    EXPECT_STREQ(GetTableNameFromResultData(result), "Machine");
    ASSERT_NE(GotoNextRowObject(result), nullptr);
    EXPECT_EQ(GotoNextRowObject(result), nullptr);
    FreeResultData(result);
}

TEST_F(TableDataTest, ViewsTakeTheirColumnsFromTheViewDefinition)
{
    const char* tables[] = {"Machine", "Site"};
    CustomViewDefn* view = CreateCustomViewDefn(2, tables);
    ASSERT_NE(view, nullptr);
    TableDefn* machine = GetTableDefnByName("Machine");
    ASSERT_EQ(AddViewColumnDefn(view, static_cast<ColumnDefn*>(machine->columns->head->next->data)), VELMORA_SUCCESS);
    ASSERT_EQ(AddViewColumnDefn(view, static_cast<ColumnDefn*>(machine->columns->head->data)), VELMORA_SUCCESS);
    ASSERT_EQ(CreateCustomViewData("MachineView", view), VELMORA_SUCCESS);
    EXPECT_EQ(CreateCustomViewData("machineview", view), VELMORA_FAILURE); // not adopted
    EXPECT_STREQ(GetTableNameOfView("MACHINEVIEW"), "Machine");

    const uint8_t types[] = {BRI_SQL_VARCHAR, BRI_SQL_INT};
    ASSERT_EQ(AddNewRow("MachineView", Row(types, {"first", nullptr})), VELMORA_SUCCESS);
    TableData* data = GetTableDataByName("MachineView");
    EXPECT_EQ(data->firstRow->values[1], nullptr); // views get no generated values
    EXPECT_EQ(SelectRows("MachineView", "ID = 1"), nullptr);
    ResultData* all = SelectRows("MachineView", nullptr);
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(all->kind, TABLE_KIND_VIEW);
    EXPECT_STREQ(GetColumnNameByIndex(0, all), "Name");
    EXPECT_EQ(GetColumnTypeByName("id", all), BRI_SQL_INT);
    EXPECT_STREQ(GetTableNameFromResultData(all), "Machine");
    FreeResultData(all);
    char* text = ToStringCustomViewData(data);
    EXPECT_STREQ(text, "Name\tID\t\nfirst\tNULL\t\n");
    free(text);
}

TEST_F(TableDataTest, ListingsAreNotLimitedInLength)
{
    AddMachines(300);
    ASSERT_EQ(UpdateRowObject("Machine", GetTableDataByName("Machine")->firstRow, "Seen", nullptr, 0), VELMORA_SUCCESS);
    BriDateTimeValue seen{};
    seen.date = BriDate{2023, 1, 2};
    seen.time = BriTime{3, 4, 5};
    ASSERT_EQ(
        UpdateRowObject("Machine", GetTableDataByName("Machine")->firstRow, "Seen", &seen, BRI_DATETIME_VALUE_LENGTH),
        VELMORA_SUCCESS);
    char* text = ToStringTableData(GetTableDataByName("Machine"));
    ASSERT_NE(text, nullptr);
    std::string listing(text);
    free(text);
    EXPECT_GT(listing.size(), 1024u * 6);
    EXPECT_EQ(listing.rfind("ID\tName\tQty\tPrice\tSeen\t\n1\tm1\t1\t1.500000\t2023-01-02 03:04:05\t\n", 0), 0u);
    EXPECT_NE(listing.find("\n300\tm300\t0\t1.500000\tNULL\t\n"), std::string::npos);
    EXPECT_EQ(ToStringTableData(nullptr), nullptr);
}

TEST_F(TableDataTest, FreeingARegisteredTableUnregistersIt)
{
    AddMachines(2);
    FreeTableData(GetTableDataByName("Machine"));
    EXPECT_EQ(GetTableDataByName("Machine"), nullptr);
    EXPECT_EQ(gv_tableDataVector.count, 0);
    EXPECT_EQ(CreateTable("Machine"), VELMORA_SUCCESS);
}

// A dictionary column of a type the store does not know (type 0) travels
// through rows, defaults, conditions, sorting and listings without harm:
// its values are bytes as given or NULL, and no condition matches them.
TEST_F(TablesTest, AColumnOfUnknownTypeIsCarriedThroughEveryRoutine)
{
    TempDir dir;
    std::string path = dir.file("dict.xml");
    WriteWholeFile(path,
                   "<data-dictionary><table name=\"Gadget\"><columns>"
                   "<column name=\"Id\"><data-type>INTEGER</data-type></column>"
                   "<column name=\"Shape\"><data-type>GEOMETRY</data-type>"
                   "<default-value>POINT</default-value></column>"
                   "<column name=\"Label\"><data-type>CHAR</data-type><max-size>x</max-size></column>"
                   "</columns></table></data-dictionary>");
    ASSERT_EQ(LoadDataDictFromXMLFile(path.c_str()), VELMORA_SUCCESS);
    ASSERT_EQ(GetColumnDefnType("Gadget", "Shape"), BRI_SQL_NOT_SUPPORTED_TYPE);
    ASSERT_EQ(CreateTable("Gadget"), VELMORA_SUCCESS);

    const uint8_t types[] = {BRI_SQL_INT, BRI_SQL_NOT_SUPPORTED_TYPE, BRI_SQL_VARCHAR};
    // Text for the unknown column stores nothing, so the default fills it.
    ASSERT_EQ(AddNewRow("Gadget", Row(types, {"2", "ignored", "b"})), VELMORA_SUCCESS);
    ASSERT_EQ(AddNewRow("Gadget", Row(types, {"1", nullptr, "a"})), VELMORA_SUCCESS);
    // A value taken as given, shorter than the four bytes a sort reads.
    RowObject* given = Row(types, {"3", nullptr, "c"});
    int32_t length = 2;
    given->values[1] = ConvertStringToColumnValue("ab", &length, BRI_SQL_NOT_SUPPORTED_TYPE);
    given->lengths[1] = length;
    ASSERT_EQ(AddNewRow("Gadget", given), VELMORA_SUCCESS);
    TableData* table = GetTableDataByName("Gadget");
    EXPECT_EQ(table->firstRow->lengths[1], 5);
    EXPECT_EQ(memcmp(table->firstRow->values[1], "POINT", 6), 0);

    for (const char* condition : {"Shape = 'POINT'", "Shape != 'x'", "Shape < 'Z'"}) {
        ResultData* none = SelectRows("Gadget", condition);
        ASSERT_NE(none, nullptr) << condition;
        EXPECT_EQ(none->rowCount, 0) << condition;
        FreeResultData(none);
    }
    ResultData* result = SelectRows("Gadget", "Id > 0 and Label != 'z'");
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(Ids(result), (std::vector<int32_t>{2, 1, 3}));
    ASSERT_EQ(SortResultSet(result, "Shape", 1), VELMORA_SUCCESS);
    EXPECT_EQ(Ids(result), (std::vector<int32_t>{3, 2, 1})); // "ab" before "POIN", ties in order
    ASSERT_NE(GotoNextRowObject(result), nullptr);
    EXPECT_EQ(GetColumnTypeByName("Shape", result), BRI_SQL_NOT_SUPPORTED_TYPE);
    int32_t shapeLength = 0;
    EXPECT_NE(GetColumnValueByName("Shape", &shapeLength, result), nullptr);
    EXPECT_EQ(shapeLength, 2);
    PrintResultData(result);
    FreeResultData(result);

    EXPECT_EQ(UpdateRowObject("Gadget", table->firstRow, "Shape", "LINE", 4), VELMORA_SUCCESS);
    char* text = ToStringTableData(table);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "Id\tShape\tLabel\t\n2\t\tb\t\n1\t\ta\t\n3\t\tc\t\n");
    free(text);
}

} // namespace
