#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "fault_injection.h"
#include "log_capture.h"
#include "velmora/column_types.h"
#include "velmora/result_set.h"

namespace {

struct ResultSetDeleter {
    void operator()(DBResultSet* set) const { FreeDBResultSet(set); }
};
using ResultSetPtr = std::unique_ptr<DBResultSet, ResultSetDeleter>;

// One row of the test set: id, Name, Price, Note (nullptr: NULL).
struct Row {
    int32_t id;
    const char* name;
    double price;
    const char* note;
};

int AppendRow(DBResultSet* set, const Row& row)
{
    const void* values[] = {&row.id, row.name, &row.price, row.note};
    int32_t lengths[] = {4, row.name ? static_cast<int32_t>(strlen(row.name)) : 0, 8,
                         row.note ? static_cast<int32_t>(strlen(row.note)) : 0};
    return AppendDBResultRow(set, values, lengths);
}

// Columns id INT, Name VARCHAR, Price DOUBLE, Note VARCHAR; 1 when built.
int Describe(DBResultSet* set)
{
    const char* names[] = {"id", "Name", "Price", "Note"};
    uint8_t types[] = {BRI_SQL_INT, BRI_SQL_VARCHAR, BRI_SQL_DOUBLE, BRI_SQL_VARCHAR};
    for (int32_t i = 0; i < 4; i++) {
        int result = SetDBResultColumn(set, i, names[i], types[i]);
        if (result != 1)
            return result;
    }
    return 1;
}

const Row kRows[] = {{1, "O'Brien", 2.5, nullptr}, {2, "", -1, "back\\slash"}, {3, nullptr, 0, "x"}};

ResultSetPtr MakeSet()
{
    ResultSetPtr set(CreateDBResultSet(4));
    if (!set || Describe(set.get()) != 1)
        return nullptr;
    for (const Row& row : kRows)
        if (AppendRow(set.get(), row) != 1)
            return nullptr;
    return set;
}

std::string Value(const DBResultSet* set, const char* column)
{
    const void* value = reinterpret_cast<const void*>(1);
    int32_t length = -1;
    if (!GetDBResultValue(set, column, &value, &length)) {
        EXPECT_EQ(value, nullptr);
        EXPECT_EQ(length, 0);
        return "(none)";
    }
    if (!value) {
        EXPECT_EQ(length, 0);
        return "NULL";
    }
    EXPECT_EQ(static_cast<const char*>(value)[length], '\0');
    return std::string(static_cast<const char*>(value), static_cast<size_t>(length));
}

TEST(DBResultSet, CursorWalksEveryRowOnceAndStaysPastTheEnd)
{
    ResultSetPtr set = MakeSet();
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->rowCount, 3);
    EXPECT_EQ(Value(set.get(), "Name"), "(none)"); // before the first row

    for (int pass = 0; pass < 2; pass++) {
        std::vector<std::string> seen;
        while (NextDBResultRow(set.get())) {
            const void* id = nullptr;
            int32_t length = 0;
            ASSERT_TRUE(GetDBResultValue(set.get(), "ID", &id, &length));
            ASSERT_EQ(length, 4);
            seen.push_back(std::to_string(*static_cast<const int32_t*>(id)) + ":" + Value(set.get(), "name") + ":" +
                           Value(set.get(), "NOTE"));
        }
        EXPECT_EQ(seen, (std::vector<std::string>{"1:O'Brien:NULL", "2::back\\slash", "3:NULL:x"}));
        EXPECT_FALSE(NextDBResultRow(set.get())); // past the end it stays there
        EXPECT_EQ(Value(set.get(), "Name"), "(none)");
        ResetDBResultCursor(set.get());
    }

    ASSERT_TRUE(NextDBResultRow(set.get()));
    EXPECT_EQ(Value(set.get(), "Missing"), "(none)");
    EXPECT_EQ(Value(set.get(), nullptr), "(none)");
    EXPECT_FALSE(GetDBResultValue(set.get(), "Name", nullptr, nullptr));
    const void* value = nullptr;
    EXPECT_TRUE(GetDBResultValue(set.get(), "Name", &value, nullptr));
    EXPECT_STREQ(static_cast<const char*>(value), "O'Brien");

    EXPECT_FALSE(NextDBResultRow(nullptr));
    ResetDBResultCursor(nullptr);
    EXPECT_FALSE(GetDBResultValue(nullptr, "Name", &value, nullptr));
}

TEST(DBResultSet, ColumnsAreFoundByNameAnyCaseAndByIndex)
{
    ResultSetPtr set = MakeSet();
    ASSERT_NE(set, nullptr);
    struct Case {
        const char* name;
        uint8_t type;
    } cases[] = {
        {"id", BRI_SQL_INT}, {"NAME", BRI_SQL_VARCHAR}, {"price", BRI_SQL_DOUBLE}, {"Nothing", 0}, {nullptr, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(GetDBResultColumnType(set.get(), c.name), c.type);
    EXPECT_STREQ(GetDBResultColumnName(set.get(), 0), "id");
    EXPECT_STREQ(GetDBResultColumnName(set.get(), 3), "Note");
    EXPECT_EQ(GetDBResultColumnName(set.get(), 4), nullptr);
    EXPECT_EQ(GetDBResultColumnName(set.get(), -1), nullptr);
    EXPECT_EQ(GetDBResultColumnName(nullptr, 0), nullptr);

    // Renaming a column replaces its name; a second column of the same name
    // is found after the first.
    EXPECT_EQ(SetDBResultColumn(set.get(), 3, "name", BRI_SQL_CHAR), 1);
    ASSERT_TRUE(NextDBResultRow(set.get()));
    EXPECT_EQ(Value(set.get(), "NAME"), "O'Brien");
    EXPECT_EQ(SetDBResultColumn(set.get(), 4, "x", 5), 0);
    EXPECT_EQ(SetDBResultColumn(set.get(), -1, "x", 5), 0);
    EXPECT_EQ(SetDBResultColumn(set.get(), 0, nullptr, 5), 0);
}

TEST(DBResultSet, BuildingRefusesWhatItCannotHold)
{
    EXPECT_EQ(CreateDBResultSet(-1), nullptr);
    ResultSetPtr none(CreateDBResultSet(0));
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(AppendDBResultRow(none.get(), nullptr, nullptr), 1);
    EXPECT_TRUE(NextDBResultRow(none.get()));
    EXPECT_EQ(Value(none.get(), "id"), "(none)");
    EXPECT_EQ(GetDBResultColumnName(none.get(), 0), nullptr);

    ResultSetPtr set = MakeSet();
    ASSERT_NE(set, nullptr);
    const char bytes[] = {'a', '\0', 'b'};
    int32_t id = 4;
    double price = 1;
    const void* values[] = {&id, bytes, &price, nullptr};
    int32_t lengths[] = {4, 3, 8, 0};
    EXPECT_EQ(AppendDBResultRow(set.get(), nullptr, lengths), 0);
    lengths[1] = -3;
    EXPECT_EQ(AppendDBResultRow(set.get(), values, lengths), 0);
    EXPECT_EQ(set->rowCount, 3);
    lengths[1] = 3;
    EXPECT_EQ(AppendDBResultRow(set.get(), values, lengths), 1);
    EXPECT_EQ(set->rowCount, 4);
    // Bytes are copied whole, zeros included; the last row is appended last.
    while (NextDBResultRow(set.get())) { }
    ResetDBResultCursor(set.get());
    for (int i = 0; i < 4; i++)
        ASSERT_TRUE(NextDBResultRow(set.get()));
    EXPECT_EQ(Value(set.get(), "Name"), std::string(bytes, 3));
    EXPECT_EQ(AppendDBResultRow(nullptr, values, lengths), 0);
}

TEST(DBResultSet, PrintWritesEachValueInItsTextForm)
{
    ResultSetPtr set = MakeSet();
    ASSERT_NE(set, nullptr);
    ASSERT_TRUE(NextDBResultRow(set.get()));
    LogCapture log;
    PrintDBResultSet(set.get());
    PrintDBResultSet(nullptr);
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"[DEBUG] id\tName\tPrice\tNote\t", "[DEBUG] 1\tO'Brien\t2.500000\tNULL\t",
                                        "[DEBUG] 2\t\t-1.000000\tback\\slash\t", "[DEBUG] 3\tNULL\t0.000000\tx\t"}));
    EXPECT_EQ(Value(set.get(), "id").size(), 4u); // the cursor stayed on the first row
}

// Every allocation of building a set fails once in turn: the failure is
// reported, the set holds only whole rows, and freeing it (under the leak
// checker) leaves nothing behind.
TEST(DBResultSet, EveryAllocationFailureKeepsOnlyWholeRows)
{
    long total = ForEveryAllocationFailure([](long n, bool& fired) {
        FailingAllocations faults(n);
        DBResultSet* set = CreateDBResultSet(4);
        int result = set ? Describe(set) : 99;
        int32_t appended = 0;
        for (const Row& row : kRows) {
            if (result != 1)
                break;
            result = AppendRow(set, row);
            appended += result == 1;
        }
        fired = faults.fired();
        EXPECT_EQ(result, fired ? 99 : 1) << n;
        if (set) {
            EXPECT_EQ(set->rowCount, appended);
            int32_t walked = 0;
            while (NextDBResultRow(set)) {
                walked++;
                int32_t cells = 0;
                for (DBColumnValue* cell = set->cursor->values; cell; cell = cell->next)
                    cells++;
                EXPECT_EQ(cells, 4);
            }
            EXPECT_EQ(walked, appended);
        }
        FreeDBResultSet(set);
    });
    EXPECT_GT(total, 15);
}

} // namespace
