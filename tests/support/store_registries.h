// The data store's process-wide registries (table definitions, tables,
// listeners, identifier state) around a test: StoreRegistriesTest starts
// each test on fresh registries and resets them afterwards, and checks that
// they are empty both when the test starts and after the reset. A suite that
// forgets a reset, or a reset that leaves something behind, then fails even
// when several tests share one process.
#pragma once

#include <gtest/gtest.h>

#include "velmora/notifications.h"
#include "velmora/seq_state.h"
#include "velmora/string_hash.h"
#include "velmora/table_data.h"
#include "velmora/table_defn.h"

inline void ExpectStoreRegistriesEmpty(const char* when)
{
    EXPECT_EQ(gv_tableDefns.count, 0) << "table definitions registered " << when;
    EXPECT_EQ(gv_tableDataVector.count, 0) << "tables registered " << when;
    EXPECT_EQ(gv_listeners.count, 0) << "listeners registered " << when;
    EXPECT_EQ(HashCount(&gv_seqState), 0) << "identifier generators left " << when;
}

class StoreRegistriesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ExpectStoreRegistriesEmpty("before the test");
        InitTableDefnVector();
        InitTableDataVector();
        DeInitNotification();
        ASSERT_EQ(InitSeqState(), VELMORA_SUCCESS);
    }
    void TearDown() override
    {
        DeInitNotification();
        FreeAllTableData();
        FreeTableDefns();
        FreeSeqState();
        SetSeqBatchReserver(nullptr);
        ExpectStoreRegistriesEmpty("after the reset");
    }
};
