// Every allocation of the table operations fails once: each operation
// returns its failure value and leaves the table as it was (or succeeds),
// and nothing leaks (the sanitizer build checks).
#include <gtest/gtest.h>

#include "fault_injection.h"
#include "tables_fixture.h"

using namespace tables_fixture;

namespace {

void NoOp(const IMDSNotification*, const char*) { }

class TableFaultsTest : public TablesTest {
protected:
    void SetUp() override
    {
        TablesTest::SetUp();
        DefineMachine();
        ASSERT_EQ(StoreSeqBatch("MACHINE_ID", 1, 300), VELMORA_SUCCESS);
    }
    void Reset()
    {
        FreeAllTableData();
        DeInitNotification();
        ASSERT_EQ(CreateTable("Machine"), VELMORA_SUCCESS);
        for (int i = 1; i <= 4; i++) {
            std::string id = std::to_string(i);
            ASSERT_EQ(AddNewRow("Machine", MachineRow({id.c_str(), "m", "1", "1", nullptr})), VELMORA_SUCCESS);
        }
        ASSERT_EQ(AddNotificationListener(strdup("l"), 0, NoOp, 1, Strings({"Machine"})), VELMORA_SUCCESS);
    }
    static int RowsOf(const char* table)
    {
        int n = 0;
        for (RowObject* row = GetTableDataByName(table)->firstRow; row; row = row->next)
            n++;
        return n;
    }
};

TEST_F(TableFaultsTest, CreatingTablesAndViews)
{
    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        FreeAllTableData();
        FailingAllocations faults(n);
        int result = CreateTable("Machine");
        const char* names[] = {"Machine"};
        CustomViewDefn* view = CreateCustomViewDefn(1, names);
        int added = view
            ? AddViewColumnDefn(view, static_cast<ColumnDefn*>(GetTableDefnByName("Machine")->columns->head->data))
            : 0;
        int viewResult = view && added == VELMORA_SUCCESS ? CreateCustomViewData("View", view) : VELMORA_FAILURE;
        fired = faults.fired();
        if (view && viewResult != VELMORA_SUCCESS)
            FreeCustomViewDefn(view);
        EXPECT_TRUE(result == VELMORA_SUCCESS || result == VELMORA_ALLOC_FAILURE);
        EXPECT_EQ(GetTableDataByName("Machine") != nullptr, result == VELMORA_SUCCESS);
        EXPECT_EQ(GetTableDataByName("View") != nullptr, viewResult == VELMORA_SUCCESS);
    });
    EXPECT_GT(total, 5);
}

TEST_F(TableFaultsTest, AddingRowsWithGeneratedAndDefaultValues)
{
    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        Reset();
        RowObject* row = MachineRow({nullptr, "new", nullptr, nullptr, nullptr});
        int result;
        {
            FailingAllocations faults(n);
            result = AddNewRow("Machine", row);
            fired = faults.fired();
        }
        if (result == VELMORA_SUCCESS) {
            EXPECT_EQ(RowsOf("Machine"), 5);
            EXPECT_EQ(GetTableDataByName("Machine")->lastRow, row);
        } else {
            EXPECT_EQ(result, VELMORA_ALLOC_FAILURE);
            EXPECT_EQ(RowsOf("Machine"), 4);
            FreeRowObject(row, 5);
        }
    });
    EXPECT_GT(total, 5); // the id, the default, the snapshot
}

TEST_F(TableFaultsTest, UpdatingAndDeleting)
{
    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        Reset();
        RowObject* row = GetTableDataByName("Machine")->firstRow;
        FailingAllocations faults(n);
        int updated = UpdateRowObject("Machine", row, "Name", "changed", 7);
        int deleted = DeleteRowObjectByCriteria("Machine", "ID > 2 and Name = 'm'");
        fired = faults.fired();
        EXPECT_TRUE(updated == VELMORA_SUCCESS || updated == VELMORA_ALLOC_FAILURE);
        EXPECT_STREQ(static_cast<char*>(row->values[1]), updated == VELMORA_SUCCESS ? "changed" : "m");
        EXPECT_EQ(row->state, updated == VELMORA_SUCCESS ? (ROW_STATE_NEW | ROW_STATE_UPDATED) : ROW_STATE_NEW);
        // A condition that cannot be parsed for lack of memory reads as 0.
        EXPECT_NE(deleted, -1);
        EXPECT_EQ(RowsOf("Machine"), deleted == VELMORA_SUCCESS ? 2 : 4);
    });
    EXPECT_GT(total, 10);
}

TEST_F(TableFaultsTest, SelectingSortingAndListing)
{
    Reset();
    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        FailingAllocations faults(n);
        ResultData* some = SelectRows("Machine", "ID >= 2 and Name = 'm'");
        ResultData* all = SelectRows("Machine", nullptr);
        ResultData* second = SelectRowByRowIdx("Machine", 2);
        char* text = ToStringTableData(GetTableDataByName("Machine"));
        fired = faults.fired();
        if (some) {
            EXPECT_EQ(Ids(some), (std::vector<int32_t>{2, 3, 4}));
            EXPECT_EQ(SortResultSet(some, "ID", 0), VELMORA_SUCCESS);
            EXPECT_EQ(Ids(some), (std::vector<int32_t>{4, 3, 2}));
        }
        if (all) {
            EXPECT_EQ(all->rowCount, 4);
        }
        if (second) {
            EXPECT_EQ(Ids(second), std::vector<int32_t>{2});
        }
        if (text) {
            EXPECT_EQ(std::string(text).rfind("ID\tName\tQty\tPrice\tSeen\t\n1\tm\t1\t", 0), 0u);
        }
        FreeResultData(some);
        FreeResultData(all);
        FreeResultData(second);
        free(text);
    });
    EXPECT_GT(total, 10);
}

TEST_F(TableFaultsTest, RegisteringListenersAndBatches)
{
    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        DeInitNotification();
        FreeSeqState();
        ASSERT_EQ(InitSeqState(), VELMORA_SUCCESS);
        char* name = strdup("x");
        char** tables = Strings({"Machine"});
        FailingAllocations faults(n);
        int added = AddNotificationListener(name, 0, NoOp, 1, tables);
        int stored = StoreSeqBatch("S", 1, 300);
        fired = faults.fired();
        if (added != VELMORA_SUCCESS) {
            EXPECT_EQ(added, VELMORA_ALLOC_FAILURE);
            EXPECT_EQ(gv_listeners.count, 0);
            free(name);
            free(tables[0]);
            free(tables);
        }
        EXPECT_EQ(HashContains(&gv_seqState, "S"), stored == VELMORA_SUCCESS);
    });
    EXPECT_GE(total, 3);
}

} // namespace
