#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "store_registries.h"
#include "fault_injection.h"
#include "log_capture.h"
#include "velmora/base_alloc.h"
#include "velmora/data_dictionary.h"

namespace {

std::string Table(const std::string& name, const std::string& body)
{
    return "<table name=\"" + name + "\">" + body + "</table>\n";
}

std::string Col(const std::string& name, const std::string& type, const std::string& extra = "")
{
    return "<column name=\"" + name + "\"><data-type>" + type + "</data-type>" + extra + "</column>";
}

class DictionaryTest : public StoreRegistriesTest {
protected:
    // Loads one XML file of the given content.
    void Load(const std::string& xml)
    {
        std::string path = dir_.file("dict.xml");
        WriteWholeFile(path, xml);
        EXPECT_EQ(LoadDataDictFromXMLFile(path.c_str()), VELMORA_SUCCESS);
    }
    void LoadTables(const std::string& tables) { Load("<data-dictionary>\n" + tables + "</data-dictionary>\n"); }

    static bool Logged(const LogCapture& log, const std::string& line)
    {
        std::vector<std::string> lines = log.Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    static ColumnDefn* ColumnAt(const TableDefn* table, int index)
    {
        LCDNode* node = GetNthElement(table->columns, index, nullptr);
        return node ? static_cast<ColumnDefn*>(node->data) : nullptr;
    }

    TempDir dir_;
};

TEST_F(DictionaryTest, ExampleInventoryLoads)
{
    ASSERT_EQ(LoadDataDictFiles(TW_EXAMPLE_DATA_DIR), VELMORA_SUCCESS);
    EXPECT_EQ(gv_tableDefns.count, 21); // the inventory and the stored-query tables
    TableDefn* machine = GetTableDefnByName("machine");
    ASSERT_NE(machine, nullptr);
    EXPECT_STREQ(machine->description, "A managed endpoint as its agent last reported it.");
    EXPECT_EQ(machine->columns->count, 10);
    ColumnDefn* id = GetColumnDefnEntry("Machine", "MachineId");
    ASSERT_NE(id, nullptr);
    EXPECT_STREQ(id->generatorName, "MachineIdGen");
    EXPECT_EQ(id->nullable, 0);
    ColumnDefn* product = GetColumnDefnEntry("Machine", "ProductType");
    ASSERT_NE(product->allowedValues, nullptr);
    EXPECT_EQ(product->allowedValues->isRange, 0);
    EXPECT_STREQ(product->allowedValues->values[2], "ServerNT");
    EXPECT_EQ(product->allowedValues->values[3], nullptr);
    EXPECT_STREQ(static_cast<char*>(product->defaultValue), "WinNT");
    EXPECT_EQ(GetColumnDefnType("Machine", "LastSeen"), BRI_SQL_DATETIME);
    EXPECT_EQ(GetColumnDefnType("Site", "Notes"), BRI_SQL_TEXT);
    EXPECT_EQ(GetColumnDefnType("Machine", "HostName"), BRI_SQL_VARCHAR); // 255 stays character
    ForeignKeyDefn* site = GetForeignKeyByColumn(machine, "SiteId");
    ASSERT_NE(site, nullptr);
    EXPECT_STREQ(site->referenceTable, "Site");
    EXPECT_EQ(site->onDeleteCascade, 1);
    ColumnDefn* severity = GetColumnDefnEntry("Patch", "Severity");
    ASSERT_NE(severity->allowedValues, nullptr);
    EXPECT_EQ(severity->allowedValues->isRange, 1);
    EXPECT_STREQ(severity->allowedValues->values[1], "4");
    TableDefn* installed = GetTableDefnByName("InstalledSoftware");
    ASSERT_EQ(installed->constraints->primaryKeyCount, 2);
    EXPECT_STREQ(installed->constraints->primaryKeys[1], "ProductCode");
}

TEST_F(DictionaryTest, ColumnFlagsFollowTheirTexts)
{
    LoadTables(Table("T",
                     "<columns>" + Col("a", "INTEGER") + Col("b", "INTEGER", "<nullable>TRUE</nullable>") +
                         Col("c", "INTEGER", "<nullable>no</nullable><unique>TRUE</unique>") +
                         Col("d", "INTEGER", "<unique>true</unique>") + Col("e", "CHAR", "<max-size>300</max-size>") +
                         "</columns>"));
    TableDefn* table = GetTableDefnByName("T");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(ColumnAt(table, 0)->nullable, 1);
    EXPECT_EQ(ColumnAt(table, 1)->nullable, 1);
    EXPECT_EQ(ColumnAt(table, 2)->nullable, 0);
    EXPECT_EQ(ColumnAt(table, 2)->unique, 0);
    EXPECT_EQ(ColumnAt(table, 3)->unique, 1);
    EXPECT_EQ(ColumnAt(table, 4)->type, BRI_SQL_TEXT);
    EXPECT_EQ(ColumnAt(table, 4)->maxSize, 300);
    // No primary key: a constraints record with count 0 and no key list.
    EXPECT_EQ(table->constraints->primaryKeyCount, 0);
    EXPECT_EQ(table->constraints->foreignKeys, nullptr);
}

TEST_F(DictionaryTest, TwoPairCascadingForeignKey)
{
    LoadTables(Table("Child",
                     "<columns>" + Col("a", "INTEGER") + Col("b", "INTEGER") +
                         "</columns><foreign-keys><foreign-key reference-table-name=\"Parent\" "
                         "isbidirectional=\"true\"><fk-columns>"
                         "<fk-column><fk-local-column>a</fk-local-column>"
                         "<fk-reference-column>pa</fk-reference-column></fk-column>"
                         "<fk-column><fk-local-column>b</fk-local-column>"
                         "<fk-reference-column>pb</fk-reference-column></fk-column>"
                         "</fk-columns><fk-constraints>ON-DELETE-CASCADE</fk-constraints>"
                         "</foreign-key></foreign-keys>"));
    TableDefn* table = GetTableDefnByName("child");
    ASSERT_NE(table, nullptr);
    ASSERT_NE(table->constraints->foreignKeys, nullptr);
    ASSERT_EQ(table->constraints->foreignKeys->count, 2);
    const char* locals[] = {"a", "b"};
    const char* references[] = {"pa", "pb"};
    int i = 0;
    for (LCDNode* node = table->constraints->foreignKeys->head; node; node = node->next, i++) {
        auto* key = static_cast<ForeignKeyDefn*>(node->data);
        EXPECT_STREQ(key->localColumn, locals[i]);
        EXPECT_STREQ(key->referenceColumn, references[i]);
        EXPECT_STREQ(key->referenceTable, "Parent");
        EXPECT_EQ(key->onDeleteCascade, 1);
        EXPECT_EQ(key->isBidirectional, 1);
        EXPECT_EQ(key->reserved, 0);
    }
}

TEST_F(DictionaryTest, DescriptionBetweenColumnsAndKeysHidesTheKeys)
{
    LogCapture log;
    LoadTables(Table("T",
                     "<columns>" + Col("id", "INTEGER") +
                         "</columns><description>late</description>"
                         "<primary-key><primary-key-column>id</primary-key-column></primary-key>"));
    TableDefn* table = GetTableDefnByName("T");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->constraints->primaryKeyCount, 0);
    EXPECT_EQ(table->description, nullptr);
    EXPECT_TRUE(Logged(log, "[ERROR] "));                   // "\nDescription tag ambiguity \n"
    EXPECT_TRUE(Logged(log, "Description tag ambiguity ")); // second line of that message
    EXPECT_TRUE(Logged(log, "[ERROR] Element primary-key of table T is out of place and ignored."));
}

TEST_F(DictionaryTest, BadTablesAreSkippedAndTheRestLoads)
{
    LogCapture log;
    std::string good = Table("Good", "<columns>" + Col("id", "INTEGER") + "</columns>");
    LoadTables(
        good +
        Table("FromOnly",
              "<columns>" + Col("r", "INTEGER", "<allowed-values><from>1</from></allowed-values>") + "</columns>") +
        Table("NoFkColumns",
              "<columns>" + Col("x", "INTEGER") +
                  "</columns><foreign-keys><foreign-key reference-table-name=\"Good\">"
                  "<fk-columns></fk-columns></foreign-key></foreign-keys>") +
        Table("ValueWithChild",
              "<columns>" + Col("v", "INTEGER", "<allowed-values><value>1<b/></value></allowed-values>") +
                  "</columns>") +
        Table("After", "<columns>" + Col("id", "INTEGER") + "</columns>"));
    EXPECT_EQ(gv_tableDefns.count, 2);
    EXPECT_NE(GetTableDefnByName("Good"), nullptr);
    EXPECT_NE(GetTableDefnByName("After"), nullptr);
    EXPECT_TRUE(Logged(log, "[ERROR] In the allowed values attribute, 'to' tag is missing."));
    EXPECT_TRUE(Logged(log, "[ERROR] The foreign key of table NoFkColumns to Good has no columns."));
    EXPECT_TRUE(Logged(log, " No ending Value tag"));
    EXPECT_FALSE(Logged(log, "failed to parse"));
}

TEST_F(DictionaryTest, AWrongTypeOrSizeKeepsTheTableAndMarksTheColumn)
{
    // One typo must not remove a table: an unknown type name loads as type
    // 0, a size that is no number as -1; each is reported.
    LogCapture log;
    LoadTables(Table("Gadget",
                     "<columns>" + Col("id", "INTEGER") + Col("shape", "GEOMETRY") +
                         Col("label", "CHAR", "<max-size>ten</max-size>") +
                         "<column name=\"untyped\"><max-size>4</max-size></column>" +
                         Col("long", "CHAR", "<max-size>+300</max-size>") + "</columns>"));
    TableDefn* table = GetTableDefnByName("Gadget");
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->columns->count, 5);
    struct Expected {
        const char* name;
        uint8_t type;
        int32_t maxSize;
    };
    const Expected kColumns[] = {{"id", BRI_SQL_INT, 0},
                                 {"shape", BRI_SQL_NOT_SUPPORTED_TYPE, 0},
                                 {"label", BRI_SQL_VARCHAR, -1},
                                 {"untyped", BRI_SQL_NOT_SUPPORTED_TYPE, 4},
                                 {"long", BRI_SQL_TEXT, 300}};
    for (int i = 0; i < 5; i++) {
        ColumnDefn* column = ColumnAt(table, i);
        ASSERT_NE(column, nullptr);
        EXPECT_STREQ(column->name, kColumns[i].name);
        EXPECT_EQ(column->type, kColumns[i].type) << kColumns[i].name;
        EXPECT_EQ(column->maxSize, kColumns[i].maxSize) << kColumns[i].name;
    }
    EXPECT_TRUE(Logged(log, "[ERROR] Column data type not supported - Error while creating column definition."));
    EXPECT_TRUE(Logged(log,
                       "[ERROR] Column shape of table Gadget: data type GEOMETRY is not supported; the column "
                       "has type 0."));
    EXPECT_TRUE(Logged(log,
                       "[ERROR] Column untyped of table Gadget: data type missing is not supported; the "
                       "column has type 0."));
    EXPECT_TRUE(Logged(log, "[ERROR] Invalid max-size ten of column label in table Gadget; its maximum size is -1."));
    EXPECT_FALSE(Logged(log, "[ERROR] Table Gadget is not loaded."));
}

TEST_F(DictionaryTest, MalformedXmlKeepsTheTablesBeforeIt)
{
    LogCapture log;
    std::string path = dir_.file("dict.xml");
    // The reader parses ahead in chunks: tables well before the error have
    // been delivered and stay loaded.
    std::string tables;
    for (int i = 0; i < 400; i++)
        tables += Table("T" + std::to_string(i), "<columns>" + Col("id", "INTEGER") + "</columns>");
    Load("<data-dictionary>" + tables + "<table name=\"Broken\"><columns>" + Col("id", "INTEGER") +
         "</table></data-dictionary>");
    EXPECT_NE(GetTableDefnByName("T0"), nullptr);
    EXPECT_EQ(GetTableDefnByName("Broken"), nullptr);
    EXPECT_TRUE(Logged(log, "[ERROR] " + path + " : failed to parse"));

    EXPECT_EQ(LoadDataDictFromXMLFile(dir_.file("missing.xml").c_str()), VELMORA_SUCCESS);
    EXPECT_TRUE(Logged(log, "[ERROR] Unable to open " + dir_.file("missing.xml")));
    EXPECT_EQ(LoadDataDictFromXMLFile(nullptr), VELMORA_FAILURE);
}

TEST_F(DictionaryTest, HugeTextNodeIsRefused)
{
    LogCapture log(2);
    std::string xml = "<data-dictionary><table name=\"Big\"><description>" + std::string(11 * 1000 * 1000, 'x') +
        "</description><columns>" + Col("id", "INTEGER") + "</columns></table></data-dictionary>";
    Load(xml);
    EXPECT_EQ(GetTableDefnByName("Big"), nullptr);
    EXPECT_TRUE(Logged(log, "[ERROR] " + dir_.file("dict.xml") + " : failed to parse"));
}

// Counts the bytes the library asks for.
std::atomic<size_t> g_requestedBytes{0};
void* CountingMalloc(size_t size)
{
    g_requestedBytes += size;
    return malloc(size);
}
void* CountingCalloc(size_t count, size_t size)
{
    g_requestedBytes += count * size;
    return calloc(count, size);
}

TEST_F(DictionaryTest, TextSplitIntoManyPiecesIsJoinedInLinearMemory)
{
    // Comments and CDATA sections split a text into pieces; joining 20000
    // of them must not copy the text gathered so far for every piece.
    std::string pieces;
    for (int i = 0; i < 10000; i++)
        pieces += "ab<!---->c<![CDATA[d]]>";
    std::string xml = "<data-dictionary><table name=\"Split\"><description>" + pieces + "</description><columns>" +
        Col("id", "INTEGER") + "</columns></table></data-dictionary>";
    std::string path = dir_.file("dict.xml");
    WriteWholeFile(path, xml);
    g_requestedBytes = 0;
    SetBriAllocHooks(CountingMalloc, CountingCalloc);
    EXPECT_EQ(XmlDataParser(path.c_str()), VELMORA_SUCCESS);
    SetBriAllocHooks(nullptr, nullptr);
    TableDefn* table = GetTableDefnByName("Split");
    ASSERT_NE(table, nullptr);
    ASSERT_NE(table->description, nullptr);
    EXPECT_EQ(strlen(table->description), 40000u);
    EXPECT_EQ(std::string(table->description, 8), "abcdabcd");
    EXPECT_LT(g_requestedBytes.load(), 16 * xml.size());
}

TEST_F(DictionaryTest, HundredsOfTablesAreFound)
{
    std::string tables;
    for (int i = 0; i < 300; i++)
        tables += Table("Table" + std::to_string(i),
                        "<columns>" + Col("Id", "INTEGER") + Col("Name", "CHAR", "<max-size>40</max-size>") +
                            "</columns><primary-key><primary-key-column>Id</primary-key-column></primary-key>");
    LoadTables(tables);
    ASSERT_EQ(gv_tableDefns.count, 300);
    for (int i = 0; i < 300; i++) {
        std::string name = "TABLE" + std::to_string(i);
        TableDefn* table = GetTableDefnByName(name.c_str());
        ASSERT_NE(table, nullptr) << name;
        EXPECT_EQ(table->name, "Table" + std::to_string(i));
        EXPECT_EQ(table->columns->count, 2);
    }
}

TEST_F(DictionaryTest, ListFileFromTheRootOrNextToTheWorkingDirectory)
{
    LogCapture log;
    char* saved_root = gv_velmoraRoot;
    gv_velmoraRoot = nullptr;
    std::string data = dir_.file("data");
    ASSERT_EQ(mkdir(data.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(dir_.file("bin").c_str(), 0700), 0);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir_.file("bin").c_str()), 0);

    EXPECT_EQ(LoadAllDataDictFiles(), VELMORA_FAILURE);
    EXPECT_TRUE(Logged(log, "[ERROR] Cannot open DataDictionary File."));

    WriteWholeFile(data + "/a.xml",
                   "<data-dictionary>" + Table("A", "<columns>" + Col("id", "INTEGER") + "</columns>") +
                       "</data-dictionary>");
    WriteWholeFile(data + "/datadictionary.txt", "a.xml\n  missing.xml " + std::string(5000, 'n') + "\n");
    // Relative to the working directory: ../data/datadictionary.txt.
    EXPECT_EQ(LoadAllDataDictFiles(), VELMORA_SUCCESS);
    EXPECT_NE(GetTableDefnByName("a"), nullptr);
    EXPECT_TRUE(Logged(log, "[DEBUG] Opening ../data/a.xml"));
    EXPECT_TRUE(Logged(log, "[ERROR] Unable to open ../data/missing.xml"));
    FreeTableDefns();

    // From the library root when the relative list is not there.
    ASSERT_EQ(chdir(cwd), 0);
    std::string root = dir_.path();
    gv_velmoraRoot = root.data();
    EXPECT_EQ(LoadAllDataDictFiles(), VELMORA_SUCCESS);
    EXPECT_NE(GetTableDefnByName("A"), nullptr);
    EXPECT_TRUE(Logged(log, "[DEBUG] Opening " + root + "/data/datadictionary.txt"));
    EXPECT_TRUE(Logged(log, "[DEBUG] Opening " + root + "/data/a.xml"));
    gv_velmoraRoot = saved_root;

    EXPECT_EQ(LoadDataDictFiles(dir_.file("nowhere").c_str()), VELMORA_FAILURE);
}

TEST_F(DictionaryTest, AllocationFailuresDropTablesWithoutLeaks)
{
    std::string path = dir_.file("dict.xml");
    WriteWholeFile(path, ReadWholeFile(std::string(TW_EXAMPLE_DATA_DIR) + "/inventory_software.xml"));
    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        FailingAllocations faults(n);
        XmlDataParser(path.c_str());
        fired = faults.fired();
        if (fired)
            EXPECT_LT(gv_tableDefns.count, 3);
        else
            EXPECT_EQ(gv_tableDefns.count, 3);
        FreeTableDefns();
    });
    EXPECT_GT(total, 100);
}

} // namespace
