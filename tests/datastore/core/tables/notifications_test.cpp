// Change notifications: filters by table and event type, snapshots that
// listeners copy, registration rules, and callbacks that change tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "log_capture.h"
#include "tables_fixture.h"

using namespace tables_fixture;

namespace {

// What the copying listener keeps: copies, since the notification dies
// after the call.
struct Heard {
    std::string listener;
    std::string table;
    uint8_t state;
    std::string name; // value of column 1
    bool hasTime;
};
std::vector<Heard> g_heard;

void Keep(const IMDSNotification* n, const char* listener)
{
    const char* name = static_cast<const char*>(n->row->values[1]);
    g_heard.push_back(
        {listener, n->tableName, n->row->state, name ? name : "NULL", n->time && n->time->date && n->time->time});
}

void AddListener(const char* name, uint8_t eventType, std::initializer_list<const char*> tables,
                 NotificationCallback callback = Keep, uint8_t enabled = 1)
{
    ASSERT_EQ(AddNotificationListener(strdup(name), eventType, callback, enabled, Strings(tables)), VELMORA_SUCCESS);
}

std::vector<std::string> Listeners()
{
    std::vector<std::string> names;
    for (const Heard& h : g_heard)
        names.push_back(h.listener);
    return names;
}

class NotificationsTest : public TablesTest {
protected:
    void SetUp() override
    {
        TablesTest::SetUp();
        g_heard.clear();
        DefineMachine("Machine");
        DefineMachine("Site");
        ASSERT_EQ(CreateTable("Machine"), VELMORA_SUCCESS);
        ASSERT_EQ(CreateTable("Site"), VELMORA_SUCCESS);
    }
};

TEST_F(NotificationsTest, ListenersHearTheirTablesWhateverTheCase)
{
    AddListener("machines", 0, {"Zeta", "mAcHiNe", "alpha"});
    AddListener("sites", 0, {"SITE"});
    ASSERT_EQ(AddNewRow("MACHINE", MachineRow({"1", "m1", "1", "1", nullptr})), VELMORA_SUCCESS);
    ASSERT_EQ(AddNewRow("site", MachineRow({"2", "s2", "1", "1", nullptr})), VELMORA_SUCCESS);
    ASSERT_EQ(g_heard.size(), 2u);
    EXPECT_EQ(g_heard[0].listener, "machines");
    EXPECT_EQ(g_heard[0].table, "Machine");
    EXPECT_EQ(g_heard[0].name, "m1");
    EXPECT_EQ(g_heard[0].state, ROW_STATE_NEW);
    EXPECT_TRUE(g_heard[0].hasTime);
    EXPECT_EQ(g_heard[1].listener, "sites");

    // Updates and deletions are announced too, deletions before the row goes.
    RowObject* row = GetTableDataByName("Machine")->firstRow;
    ASSERT_EQ(UpdateRowObject("Machine", row, "Name", "m1b", 3), VELMORA_SUCCESS);
    ASSERT_EQ(DeleteRowObject("Machine", row), VELMORA_SUCCESS);
    ASSERT_EQ(g_heard.size(), 4u);
    EXPECT_EQ(g_heard[2].name, "m1b");
    EXPECT_EQ(g_heard[3].state, ROW_STATE_NEW | ROW_STATE_UPDATED);
}

TEST_F(NotificationsTest, EventTypesFilterByRowState)
{
    AddListener("new", ROW_STATE_NEW, {"Machine"});
    AddListener("updated", ROW_STATE_UPDATED, {"Machine"});
    AddListener("all", 0, {"Machine"});
    ASSERT_EQ(AddNewRow("Machine", MachineRow({"1", "m1", "1", "1", nullptr})), VELMORA_SUCCESS);
    EXPECT_EQ(Listeners(), (std::vector<std::string>{"new", "all"}));

    g_heard.clear();
    ASSERT_EQ(AddNewRow("Machine", MachineRow({"2", "m2", "1", "1", nullptr}, ROW_STATE_STORED)), VELMORA_SUCCESS);
    g_heard.clear();
    LogCapture log(3);
    ASSERT_EQ(UpdateRowObject("Machine", GetTableDataByName("Machine")->lastRow, "Name", "x", 1), VELMORA_SUCCESS);
    EXPECT_EQ(Listeners(), (std::vector<std::string>{"updated", "all"})); // state 5 is not "new"
    std::vector<std::string> lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[DEBUG] Listener not registered for Eventype 5"), lines.end());
}

TEST_F(NotificationsTest, RegistrationDisablingAndRemoval)
{
    AddListener("one", 0, {"Machine"});
    {
        LogCapture log;
        // Same name in other case: the first stays, the call succeeds.
        AddListener("ONE", 0, {"Site"});
        EXPECT_EQ(log.Lines().back(), "[ERROR] Listener with same name exists ONE");
    }
    EXPECT_EQ(gv_listeners.count, 1);
    AddListener("two", 0, {"Machine"}, Keep, 0); // registered disabled
    AddListener("three", 0, {"Machine"});
    ASSERT_EQ(DisableNotificationListener("three"), VELMORA_SUCCESS);
    {
        LogCapture log(3);
        ASSERT_EQ(AddNewRow("Machine", MachineRow({"1", "m1", "1", "1", nullptr})), VELMORA_SUCCESS);
        std::vector<std::string> lines = log.Lines();
        EXPECT_NE(std::find(lines.begin(), lines.end(), "[DEBUG] Listener three  disabled"), lines.end());
    }
    EXPECT_EQ(Listeners(), std::vector<std::string>{"one"});

    EXPECT_EQ(RemoveNotificationListener("Two"), VELMORA_SUCCESS);
    LogCapture log;
    EXPECT_EQ(RemoveNotificationListener("two"), VELMORA_FAILURE);
    EXPECT_EQ(DisableNotificationListener("two"), VELMORA_FAILURE);
    EXPECT_EQ(log.Lines().back(), "[ERROR] Listener with name two doesn't exists");
    EXPECT_EQ(gv_listeners.count, 2);
    EXPECT_EQ(AddNotificationListener(nullptr, 0, Keep, 1, nullptr), VELMORA_FAILURE);
}

TEST_F(NotificationsTest, WatchedNamesAreSortedAndSearched)
{
    char** names = Strings({"delta", "Alpha", "charlie", "BRAVO"});
    ASSERT_EQ(AddNotificationListener(strdup("sorted"), 0, Keep, 1, names), VELMORA_SUCCESS);
    EXPECT_STREQ(names[0], "Alpha");
    EXPECT_STREQ(names[1], "BRAVO");
    EXPECT_STREQ(names[3], "delta");
    for (const char* name : {"alpha", "bravo", "Charlie", "DELTA"})
        EXPECT_EQ(IsListContains(names, name), 1) << name;
    for (const char* name : {"", "aardvark", "echo", "bravissimo"})
        EXPECT_EQ(IsListContains(names, name), 0) << name;
    char* empty[] = {nullptr};
    EXPECT_EQ(IsListContains(empty, "alpha"), 0);
}

TEST_F(NotificationsTest, AnEmptyWatchListIsAcceptedAndHearsNothing)
{
    // Only the terminator: sorting it must not look past it.
    auto** none = static_cast<char**>(calloc(1, sizeof(char*)));
    ASSERT_EQ(AddNotificationListener(strdup("none"), 0, Keep, 1, none), VELMORA_SUCCESS);
    ASSERT_EQ(AddNewRow("Machine", MachineRow({"1", "m1", "1", "1", nullptr})), VELMORA_SUCCESS);
    EXPECT_TRUE(g_heard.empty());
}

// A listener of Machine that records a Site row for every Machine row, and
// tries to register a listener, which must be refused from inside.
int g_nestedAddResult = -1;
void Mirror(const IMDSNotification* n, const char* listener)
{
    Keep(n, listener);
    AddNewRow("Site", MachineRow({"9", "mirror", "1", "1", nullptr}));
    char* name = strdup("inner");
    char** tables = Strings({"Site"});
    g_nestedAddResult = AddNotificationListener(name, 0, Keep, 1, tables);
    if (g_nestedAddResult != VELMORA_SUCCESS) {
        free(name);
        for (char** t = tables; *t; t++)
            free(*t);
        free(tables);
    }
}

TEST_F(NotificationsTest, ListenersMayChangeOtherTables)
{
    AddListener("mirror", 0, {"Machine"}, Mirror);
    AddListener("sites", 0, {"Site"});
    ASSERT_EQ(AddNewRow("Machine", MachineRow({"1", "m1", "1", "1", nullptr})), VELMORA_SUCCESS);
    EXPECT_EQ(Listeners(), (std::vector<std::string>{"mirror", "sites"}));
    EXPECT_EQ(g_heard[1].name, "mirror");
    EXPECT_EQ(g_nestedAddResult, VELMORA_FAILURE);
    EXPECT_EQ(GetTableDataByName("Site")->rowCount, 1);
}

TEST_F(NotificationsTest, SnapshotsCopyTheRow)
{
    RowObject* row = MachineRow({"4", "m4", nullptr, "2.5", nullptr}, ROW_STATE_STORED | ROW_STATE_UPDATED);
    ASSERT_EQ(AddNewRow("Machine", row), VELMORA_SUCCESS);
    IMDSNotification* n = CreateIMDSNotification(row, "machine");
    ASSERT_NE(n, nullptr);
    EXPECT_STREQ(n->tableName, "machine");
    EXPECT_EQ(n->columnCount, 5);
    EXPECT_EQ(n->row->state, row->state);
    EXPECT_EQ(n->row->next, nullptr);
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(n->row->lengths[i], row->lengths[i]);
        ASSERT_EQ(n->row->values[i] == nullptr, row->values[i] == nullptr);
        if (row->values[i]) {
            EXPECT_NE(n->row->values[i], row->values[i]);
            EXPECT_EQ(memcmp(n->row->values[i], row->values[i], row->lengths[i]), 0);
        }
    }
    FreeIMDSNotification(n);
    EXPECT_EQ(CreateIMDSNotification(row, "Nowhere"), nullptr);
}

} // namespace
