// Definitions and rows for the table suites: a table "Machine" with
//   ID     INT, primary key, generator MACHINE_ID
//   Name   VARCHAR(40)
//   Qty    SMALLINT, default 3
//   Price  FLOAT
//   Seen   DATETIME
// and helpers that build rows from texts (nullptr: NULL).
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "store_registries.h"
#include "velmora/notifications.h"
#include "velmora/seq_state.h"
#include "velmora/table_data.h"

namespace tables_fixture {

inline char** Strings(std::initializer_list<const char*> texts)
{
    auto** array = static_cast<char**>(calloc(texts.size() + 1, sizeof(char*)));
    size_t i = 0;
    for (const char* text : texts)
        array[i++] = strdup(text);
    return array;
}

inline ColumnDefn* Column(const char* name, uint8_t type, const char* defaultText = nullptr,
                          const char* generator = nullptr)
{
    return CreateColumnDefn(name, type, defaultText, defaultText ? static_cast<int32_t>(strlen(defaultText)) : 0, 0,
                            generator, nullptr, 40, 1, nullptr);
}

inline const uint8_t kMachineTypes[] = {BRI_SQL_INT, BRI_SQL_VARCHAR, BRI_SQL_SMALLINT, BRI_SQL_FLOAT,
                                        BRI_SQL_DATETIME};

inline TableDefn* DefineMachine(const char* name = "Machine")
{
    LCDVector* columns = CreateVector();
    AddElementData(columns, Column("ID", BRI_SQL_INT, nullptr, "MACHINE_ID"));
    AddElementData(columns, Column("Name", BRI_SQL_VARCHAR));
    AddElementData(columns, Column("Qty", BRI_SQL_SMALLINT, "3"));
    AddElementData(columns, Column("Price", BRI_SQL_FLOAT));
    AddElementData(columns, Column("Seen", BRI_SQL_DATETIME));
    TableDefn* table = CreateTableDefn(name, nullptr, columns, CreateConstraintDefn(Strings({"ID"}), 1, nullptr));
    EXPECT_EQ(AddTableDefn(table), VELMORA_SUCCESS);
    return table;
}

// A row of the given column types from texts; nullptr is NULL.
inline RowObject* Row(const uint8_t* types, std::initializer_list<const char*> texts, uint8_t state = ROW_STATE_NEW)
{
    size_t n = texts.size();
    auto** values = static_cast<void**>(calloc(n, sizeof(void*)));
    auto* lengths = static_cast<int32_t*>(calloc(n, sizeof(int32_t)));
    size_t i = 0;
    for (const char* text : texts) {
        if (text) {
            EXPECT_EQ(AllocateAndCopyColumnValue(&values[i], &lengths[i], types[i], text), VELMORA_SUCCESS);
        }
        i++;
    }
    RowObject* row = CreateNewRowObject(values, lengths);
    row->state = state;
    return row;
}

inline RowObject* MachineRow(std::initializer_list<const char*> texts, uint8_t state = ROW_STATE_NEW)
{
    return Row(kMachineTypes, texts, state);
}

inline int32_t IntAt(const RowObject* row, int i)
{
    return static_cast<int32_t>(ColumnValueToInt64(row->values[i], row->lengths[i], BRI_SQL_INT));
}

// The IDs of a result's rows, in order.
inline std::vector<int32_t> Ids(ResultData* result)
{
    std::vector<int32_t> ids;
    ResetResultDataCursor(result);
    while (RowObject* row = GotoNextRowObject(result))
        ids.push_back(IntAt(row, 0));
    ResetResultDataCursor(result);
    return ids;
}

// Fresh registries around every test, checked empty on both sides.
using TablesTest = StoreRegistriesTest;

} // namespace tables_fixture
