// Data objects in memory: building from a result, keys, generated values,
// foreign-key order on awkward graphs, column values, conditions, and
// merge and clone against a reference model on random objects.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "fault_injection.h"
#include "log_capture.h"
#include "velmora/data_object.h"
#include "velmora/seq_state.h"

namespace {

struct Column {
    const char* name;
    uint8_t type;
    const char* generator = nullptr;
    const char* defaultText = nullptr;
};
struct Reference {
    const char* local;
    const char* table;
    const char* column;
};

void DefineTable(const char* name, std::vector<Column> columns, std::vector<const char*> keys,
                 std::vector<Reference> references = {})
{
    LCDVector* list = CreateVector();
    for (const Column& c : columns)
        AddElementData(list,
                       CreateColumnDefn(c.name, c.type, c.defaultText, 0, 0, c.generator, nullptr, 0, 1, nullptr));
    auto** primary = static_cast<char**>(calloc(keys.size() + 1, sizeof(char*)));
    for (size_t i = 0; i < keys.size(); i++)
        primary[i] = strdup(keys[i]);
    ConstraintDefn* constraints = CreateConstraintDefn(primary, static_cast<int32_t>(keys.size()), nullptr);
    for (const Reference& r : references)
        AddForeignKeyDefn(constraints, CreateForeignKeyDefn(r.local, r.column, r.table, 0, 0, 0));
    ASSERT_EQ(AddTableDefn(CreateTableDefn(name, nullptr, list, constraints)), VELMORA_SUCCESS);
}

class DataObjectMemory : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitTableDefnVector();
        InitSeqState();
        const uint8_t I = BRI_SQL_INT, T = BRI_SQL_VARCHAR;
        DefineTable("Customer", {{"CustId", I}, {"Name", T}}, {"CustId"});
        DefineTable("Order", {{"OrderId", I}, {"CustId", I}}, {"OrderId"}, {{"CustId", "Customer", "CustId"}});
        DefineTable("OrderLine", {{"OrderId", I}, {"LineNo", I}, {"Qty", I}}, {"OrderId", "LineNo"},
                    {{"OrderId", "Order", "OrderId"}});
        DefineTable("A", {{"Id", I}, {"BId", I}}, {"Id"}, {{"BId", "B", "Id"}});
        DefineTable("B", {{"Id", I}, {"CId", I}}, {"Id"}, {{"CId", "C", "Id"}});
        DefineTable("C", {{"Id", I}, {"AId", I}}, {"Id"}, {{"AId", "A", "Id"}});
        DefineTable("Node", {{"Id", I}, {"ParentId", I}}, {"Id"}, {{"ParentId", "Node", "Id"}});
        DefineTable("Start", {{"Id", I}, {"XId", I}}, {"Id"}, {{"XId", "X", "Id"}});
        DefineTable("X", {{"Id", I}, {"YId", I}}, {"Id"}, {{"YId", "Y", "Id"}});
        DefineTable("Y", {{"Id", I}, {"XId", I}}, {"Id"}, {{"XId", "X", "Id"}});
        DefineTable("Ticket", {{"TicketId", I, "TicketGen"}, {"Title", T, nullptr, "none"}}, {"TicketId"});
        StoreSeqBatch("TicketGen", 500, 1000);
    }
    void TearDown() override
    {
        FreeSeqState();
        FreeTableDefns();
    }
    bool Logged(const std::string& fragment) const
    {
        for (const std::string& line : log_.Lines())
            if (line.find(fragment) != std::string::npos)
                return true;
        return false;
    }
    LogCapture log_{5};
};

int32_t IntOfUnit(const RowUnit* unit, int column) { return *static_cast<const int32_t*>(unit->values[column]); }

std::vector<std::string> Names(LCDVector* list)
{
    std::vector<std::string> names;
    for (LCDNode* node = list ? list->head : nullptr; node; node = node->next)
        names.emplace_back(static_cast<const char*>(node->data));
    return names;
}

LCDVector* List(const std::vector<const char*>& names)
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

// Every foreign-key graph ends, each table comes once, and referenced
// tables come first wherever the graph allows it.
TEST_F(DataObjectMemory, SortTableByFKEndsOnEveryGraphAndPutsParentsFirst)
{
    struct Case {
        std::vector<const char*> tables;
        std::vector<std::pair<const char*, const char*>> before; // first before second
    } cases[] = {
        {{"OrderLine", "Order", "Customer"}, {{"Customer", "Order"}, {"Order", "OrderLine"}}},
        {{"Order", "OrderLine", "Customer"}, {{"Customer", "Order"}, {"Order", "OrderLine"}}},
        {{"A", "B", "C"}, {}},
        {{"B", "Customer", "C", "A"}, {}},
        {{"Node", "Order", "Customer"}, {{"Customer", "Order"}}},
        {{"Start", "X", "Y"}, {{"X", "Start"}, {"Y", "Start"}}},
        {{"Order", "Ghost", "Customer", "Order"}, {{"Customer", "Order"}}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        LCDVector* input = List(c.tables);
        LCDVector* sorted = SortTableByFK(input, nullptr);
        ASSERT_NE(sorted, nullptr);
        std::vector<std::string> names = Names(sorted);
        std::vector<std::string> expected(c.tables.begin(), c.tables.end());
        std::sort(expected.begin(), expected.end());
        expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
        std::vector<std::string> got = names;
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, expected);
        for (auto [first, second] : c.before) {
            auto a = std::find(names.begin(), names.end(), first), b = std::find(names.begin(), names.end(), second);
            EXPECT_LT(a - names.begin(), b - names.begin()) << first << " before " << second;
        }
        for (LCDNode* node = sorted->head; node; node = node->next)
            free(node->data);
        FreeList(sorted);
        FreeList(input);
    }
    EXPECT_TRUE(Logged("No Table Definition found for table Ghost"));
}

// A result becomes one collection per table: the first of two rows with one
// key wins, a select list without a key column gives an empty collection,
// "select *" columns follow each other table by table.
TEST_F(DataObjectMemory, ResultSetRowsBecomeUnitsByKey)
{
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, const char*>> select; // empty: select *
        std::vector<std::vector<int>> rows;                      // ints; Name column gets "n<value>"
        size_t customers, orders;
        const char* firstName;
        const char* logged;
    } cases[] = {
        {"duplicate key keeps the first",
         {{"Customer", "CustId"}, {"Customer", "Name"}, {"Order", "OrderId"}, {"Order", "CustId"}},
         {{1, 7, 10, 1}, {1, 8, 11, 1}, {2, 9, 12, 2}},
         2,
         3,
         "n7",
         "Not Inserted"},
        {"order key missing",
         {{"Customer", "CustId"}, {"Customer", "Name"}, {"Order", "CustId"}},
         {{1, 7, 1}, {2, 8, 2}},
         2,
         0,
         "n7",
         "ALL PRIMARY KEY COLUMNS SHOULD BE SELECTED FOR Order"},
        {"select star", {}, {{3, 5, 20, 3}, {3, 5, 21, 3}}, 1, 2, "n5", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SelectQuery* query = CreateSelectQuery();
        AddQueryTable(query, CreateQueryTable("Customer", nullptr, query->pool));
        AddQueryTable(query, CreateQueryTable("Order", nullptr, query->pool));
        std::vector<std::pair<const char*, const char*>> columns = c.select;
        for (auto [table, column] : c.select)
            CreateAndAddSelectColumn(query, table, nullptr, column, nullptr, 0, 5, 0);
        if (columns.empty())
            columns = {{"Customer", "CustId"}, {"Customer", "Name"}, {"Order", "OrderId"}, {"Order", "CustId"}};
        DBResultSet* result = CreateDBResultSet(static_cast<int32_t>(columns.size()));
        for (size_t i = 0; i < columns.size(); i++)
            SetDBResultColumn(result, static_cast<int32_t>(i), columns[i].second,
                              strcmp(columns[i].second, "Name") == 0 ? BRI_SQL_VARCHAR : BRI_SQL_INT);
        for (const auto& row : c.rows) {
            std::vector<std::string> texts(row.size());
            std::vector<const void*> values(row.size());
            std::vector<int32_t> lengths(row.size());
            for (size_t i = 0; i < row.size(); i++) {
                if (strcmp(columns[i].second, "Name") == 0) {
                    texts[i] = "n" + std::to_string(row[i]);
                    values[i] = texts[i].c_str();
                    lengths[i] = static_cast<int32_t>(texts[i].size());
                } else {
                    values[i] = &row[i];
                    lengths[i] = 4;
                }
            }
            AppendDBResultRow(result, values.data(), lengths.data());
        }
        DataObject* dataObject = CreateDataObjectFromResultSet(result, query);
        ASSERT_NE(dataObject, nullptr);
        EXPECT_EQ(Names(GetTableList(dataObject)), (std::vector<std::string>{"Customer", "Order"}));
        DOColumnValues* ids = GetColumnValuesFromDO("CustId", "Customer", dataObject);
        ASSERT_NE(ids, nullptr);
        EXPECT_EQ(static_cast<size_t>(ids->count), c.customers);
        FreeDOColumnValues(ids);
        size_t orders = 0;
        for (RowUnit* unit = GetFirstRowUnit("Order", dataObject); unit; unit = unit->next, orders++)
            EXPECT_EQ(unit->rowState, ROW_STATE_STORED);
        EXPECT_EQ(orders, c.orders);
        int32_t length = 0;
        const void* name = GetFirstValue("Name", "Customer", dataObject, &length);
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(std::string(static_cast<const char*>(name), static_cast<size_t>(length)), c.firstName);
        if (c.logged) {
            EXPECT_TRUE(Logged(c.logged));
        }
        FreeDataObject(dataObject);
        FreeSelectQuery(query);
    }
}

// Rows entering by hand: generated identifiers and defaults are filled
// before the key is made, keys of composite keys do not collide, the value
// list holds every row, conditions mark and find rows.
TEST_F(DataObjectMemory, InsertedRowsGetIdentifiersKeysValuesAndConditions)
{
    DataObject* dataObject = CreateDataObject();
    ASSERT_NE(dataObject, nullptr);
    ASSERT_EQ(AddTableToDO(dataObject, "Ticket", nullptr), VELMORA_SUCCESS);
    const char* const none[] = {nullptr, nullptr};
    ASSERT_EQ(InsertStringRowIntoDO(dataObject, "Ticket", none), VELMORA_SUCCESS);
    ASSERT_EQ(InsertStringRowIntoDO(dataObject, "Ticket", none), VELMORA_SUCCESS);
    const char* const taken[] = {"500", "dup"};
    EXPECT_NE(InsertStringRowIntoDO(dataObject, "Ticket", taken), VELMORA_SUCCESS);
    DOColumnValues* ids = GetColumnValuesFromDO("TicketId", "Ticket", dataObject);
    ASSERT_NE(ids, nullptr);
    ASSERT_EQ(ids->count, 2);
    EXPECT_EQ(*static_cast<int32_t*>(ids->values[0]), 500);
    EXPECT_EQ(*static_cast<int32_t*>(ids->values[1]), 501);
    FreeDOColumnValues(ids);
    int32_t length = 0;
    EXPECT_STREQ(static_cast<const char*>(GetFirstValue("Title", "Ticket", dataObject, &length)), "none");
    EXPECT_EQ(GetFirstRowUnit("Ticket", dataObject)->rowState, ROW_STATE_NEW);

    // A new row's key may change (its old key is free again, a taken key
    // is refused); a stored row's key may not.
    int32_t moved = 700, taken500 = 500;
    ASSERT_EQ(SetValueForRowUnit("TicketId", "Ticket", &moved, 4, dataObject), VELMORA_SUCCESS);
    const char* const again[] = {"501", "again"};
    ASSERT_EQ(InsertStringRowIntoDO(dataObject, "Ticket", again), VELMORA_SUCCESS);
    EXPECT_EQ(SetValueForRowUnit("TicketId", "Ticket", &taken500, 4, dataObject), VELMORA_FAILURE);
    EXPECT_EQ(IntOfUnit(GetLastRowUnit("Ticket", dataObject), 0), 501);
    GetLastRowUnit("Ticket", dataObject)->rowState = ROW_STATE_STORED;
    EXPECT_EQ(SetValueForRowUnit("TicketId", "Ticket", &moved, 4, dataObject), VELMORA_FAILURE);
    EXPECT_EQ(GetLastRowUnit("Ticket", dataObject)->rowState, ROW_STATE_STORED);
    RowUnit probe{};
    probe.tableName = const_cast<char*>("Ticket");
    probe.columnCount = 2;
    void* probeValues[2] = {&moved, nullptr};
    int32_t probeLengths[2] = {4, 0};
    probe.values = probeValues;
    probe.lengths = probeLengths;
    EXPECT_EQ(FindRowUnit(&probe, dataObject), GetNthRowUnit(2, "Ticket", dataObject));

    // (1, 12) and (11, 2) are two rows; NULL stays NULL in the value list.
    const char* const columns[] = {"OrderId", "LineNo", "Qty", nullptr};
    ASSERT_EQ(AddTableToDO(dataObject, "OrderLine", columns), VELMORA_SUCCESS);
    const char* rows[][3] = {{"1", "12", "5"}, {"11", "2", nullptr}, {"3", "4", "9"}};
    for (auto& row : rows)
        ASSERT_EQ(InsertStringRowIntoDO(dataObject, "OrderLine", row), VELMORA_SUCCESS);
    DOColumnValues* qty = GetColumnValuesFromDO("Qty", "OrderLine", dataObject);
    ASSERT_NE(qty, nullptr);
    ASSERT_EQ(qty->count, 3);
    EXPECT_EQ(*static_cast<int32_t*>(qty->values[0]), 5);
    EXPECT_EQ(qty->values[1], nullptr);
    EXPECT_EQ(*static_cast<int32_t*>(qty->values[2]), 9);
    FreeDOColumnValues(qty);
    EXPECT_EQ(GetColumnValuesFromDO("Nope", "OrderLine", dataObject), nullptr);

    RowUnit* found = FindRowUnitOnCriteria("OrderLine", dataObject, "OrderId = 11 and LineNo = 2");
    EXPECT_EQ(found, GetNthRowUnit(2, "OrderLine", dataObject));
    EXPECT_EQ(DeleteRowUnitOnCriteria("OrderLine", dataObject, "Qty > 6 or LineNo = 12"), VELMORA_SUCCESS);
    EXPECT_EQ(DeleteRowUnitOnCriteria("OrderLine", dataObject, "Qty >"), VELMORA_FAILURE);
    uint8_t expected[] = {ROW_STATE_NEW | ROW_STATE_DELETED, ROW_STATE_NEW, ROW_STATE_NEW | ROW_STATE_DELETED};
    for (int n = 1; n <= 3; n++)
        EXPECT_EQ(GetNthRowUnit(n, "OrderLine", dataObject)->rowState, expected[n - 1]) << n;
    EXPECT_EQ(GetNthRowUnit(4, "OrderLine", dataObject), nullptr);

    // No connection for the tables: the save says so and the rows wait.
    EXPECT_EQ(SaveDataObject(dataObject), VELMORA_FAILURE);
    EXPECT_EQ(GetFirstRowUnit("Ticket", dataObject)->rowState, ROW_STATE_NEW);
    EXPECT_EQ(GetNthRowUnit(2, "OrderLine", dataObject)->rowState, ROW_STATE_NEW);
    FreeDataObject(dataObject);
}

// --- Merge and clone against a reference model ---------------------------

struct ModelRow {
    std::string key;
    uint8_t state;
    std::vector<int> values; // -1: NULL
    bool operator==(const ModelRow&) const = default;
};
using Model = std::map<std::string, std::vector<ModelRow>>; // table -> rows in order

const std::vector<std::pair<const char*, int>> kTables = {{"Customer", 2}, {"OrderLine", 3}};

std::string KeyOf(const char* table, const std::vector<int>& values)
{
    return std::string(table) + "|" + std::to_string(values[0]) +
        (strcmp(table, "OrderLine") == 0 ? "|" + std::to_string(values[1]) : "");
}

Model ModelOf(DataObject* dataObject)
{
    Model model;
    for (RowCollection* c = dataObject->firstCollection; c; c = c->next) {
        std::vector<ModelRow>& rows = model[c->tableName];
        for (RowUnit* unit = c->firstRow; unit; unit = unit->next) {
            ModelRow row{"", unit->rowState, {}};
            for (int32_t i = 0; i < unit->columnCount; i++)
                row.values.push_back(unit->values[i] ? *static_cast<int32_t*>(unit->values[i]) : -1);
            row.key = KeyOf(c->tableName, row.values);
            rows.push_back(row);
        }
    }
    return model;
}

// A random DO: each table present with probability 3/4, keys from a small
// range so that source and target share some, states from those a DO holds.
DataObject* RandomObject(std::mt19937& random, Model* model)
{
    static const uint8_t states[] = {1, 2, 5, 6, 9, 10};
    DataObject* dataObject = CreateDataObject();
    for (auto [table, columns] : kTables) {
        if (random() % 4 == 0)
            continue;
        EXPECT_EQ(AddTableToDO(dataObject, table, nullptr), VELMORA_SUCCESS);
        (*model)[table];
        for (int n = static_cast<int>(random() % 6); n > 0; n--) {
            std::vector<int> values;
            for (int i = 0; i < columns; i++)
                values.push_back(i < 2 ? static_cast<int>(random() % 4) : static_cast<int>(random() % 50));
            if (strcmp(table, "Customer") == 0)
                values[1] = static_cast<int>(random() % 50);
            void* pointers[3] = {};
            int32_t lengths[3] = {4, 4, 4};
            for (int i = 0; i < columns; i++)
                pointers[i] = &values[static_cast<size_t>(i)];
            if (InsertRowIntoDO(dataObject, table, pointers, lengths) != VELMORA_SUCCESS)
                continue; // the key is there already
            uint8_t state = states[random() % 6];
            GetLastRowUnit(table, dataObject)->rowState = state;
            (*model)[table].push_back({KeyOf(table, values), state, values});
        }
    }
    return dataObject;
}

// What merging source into target must give: rows of the database keep
// their state on entering, new ones arrive as 2; state 10 never moves.
void MergeModel(Model& target, const Model& source)
{
    for (const auto& [table, rows] : source) {
        auto found = target.find(table);
        if (found == target.end()) {
            std::vector<ModelRow>& added = target[table];
            for (const ModelRow& row : rows)
                if (row.state != 10)
                    added.push_back({row.key, static_cast<uint8_t>(row.state & 1 ? row.state : 2), row.values});
            continue;
        }
        std::vector<ModelRow>& into = found->second;
        for (const ModelRow& row : rows) {
            auto present = std::find_if(into.begin(), into.end(), [&](const ModelRow& r) { return r.key == row.key; });
            bool has = present != into.end();
            if (row.state == 5) {
                if (has) {
                    present->values = row.values;
                    present->state |= 4;
                } else {
                    into.push_back(row);
                }
            } else if (row.state == 2 || row.state == 6) {
                if (!has)
                    into.push_back({row.key, 2, row.values});
            } else if (row.state == 9) {
                if (has)
                    present->state |= 8;
                else
                    into.push_back(row);
            }
        }
    }
}

TEST_F(DataObjectMemory, MergeAndCloneMatchTheReferenceModelOnRandomObjects)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 300; round++) {
        SCOPED_TRACE(round);
        Model targetModel, sourceModel;
        DataObject* target = RandomObject(random, &targetModel);
        DataObject* source = RandomObject(random, &sourceModel);
        ASSERT_EQ(ModelOf(target), targetModel);

        DataObject* clone = CloneDataObject(source);
        ASSERT_NE(clone, nullptr);
        EXPECT_EQ(ModelOf(clone), sourceModel);
        EXPECT_EQ(Names(GetTableList(clone)), Names(GetTableList(source)));
        // The clone's rows are its own, and it finds them by key.
        for (RowCollection* c = clone->firstCollection; c; c = c->next)
            for (RowUnit* unit = c->firstRow; unit; unit = unit->next) {
                EXPECT_EQ(FindRowUnit(unit, clone), unit);
                EXPECT_NE(FindRowUnit(unit, source), unit);
                *static_cast<int32_t*>(unit->values[1]) = 999;
            }
        EXPECT_EQ(ModelOf(source), sourceModel);
        FreeDataObject(clone);

        ASSERT_EQ(MergeDataObject(target, source), target);
        MergeModel(targetModel, sourceModel);
        EXPECT_EQ(ModelOf(target), targetModel);
        EXPECT_EQ(ModelOf(source), sourceModel);
        FreeDataObject(source);
        FreeDataObject(target);
    }
}

} // namespace

namespace {

// Every allocation of building, cloning, merging and reading an object
// failing in turn: the operations report it and leave nothing behind (the
// pool's debug mode makes each pool allocation one that can fail).
TEST_F(DataObjectMemory, EveryAllocationFailureIsReportedAndLeavesNothingBehind)
{
    int debug = GetMemPoolDebug();
    SetMemPoolDebug(1);
    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        FailingAllocations faults(n);
        DataObject* target = CreateDataObject();
        DataObject* source = CreateDataObject();
        if (target && source && AddTableToDO(target, "Ticket", nullptr) == VELMORA_SUCCESS &&
            AddTableToDO(source, "Ticket", nullptr) == VELMORA_SUCCESS &&
            AddTableToDO(source, "OrderLine", nullptr) == VELMORA_SUCCESS) {
            const char* const tickets[][2] = {{"1", "a"}, {"2", nullptr}, {nullptr, "c"}};
            for (auto& row : tickets)
                InsertStringRowIntoDO(source, "Ticket", row);
            const char* const line[] = {"1", "2", "3"};
            InsertStringRowIntoDO(source, "OrderLine", line);
            InsertStringRowIntoDO(target, "Ticket", tickets[0]);
            DataObject* clone = CloneDataObject(source);
            FreeDataObject(clone);
            MergeDataObject(target, source);
            FreeDOColumnValues(GetColumnValuesFromDO("TicketId", "Ticket", target));
            free(GetColumnValueFromDO(target, "Ticket", "Title", 1, nullptr));
            LCDVector* sorted = SortTableByFK(GetTableList(target), nullptr);
            for (LCDNode* node = sorted ? sorted->head : nullptr; node; node = node->next)
                free(node->data);
            if (sorted)
                FreeList(sorted);
        }
        FreeDataObject(source);
        FreeDataObject(target);
        fired = faults.fired();
    });
    SetMemPoolDebug(debug);
    EXPECT_GT(total, 20);
}

} // namespace
