// Table data from XML: nested rows, inherited keys, symbolic identifiers,
// hostile documents and allocation failures.
#include <gtest/gtest.h>

#include <libxml/tree.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fault_injection.h"
#include "log_capture.h"
#include "store_registries.h"
#include "temp_dir.h"
#include "velmora/data_dictionary.h"
#include "velmora/table_xml.h"

namespace {

// Workflow(ID gen, Name) <- Step(StepID gen, WorkflowID, Label, Kind default 7)
// <- Action(StepID, Seq; key StepID+Seq). Disk.MachineRef references
// Workflow.ID without a generator of its own; Ping.X and Pong.Y reference
// each other.
const char kDictionary[] = R"(<data-dictionary>
 <table name="Workflow"><columns>
  <column name="ID"><data-type>BRI_SQL_INT</data-type>
   <uniquevalue-generation><generator-name>WF_ID</generator-name></uniquevalue-generation></column>
  <column name="Name"><data-type>CHAR</data-type><max-size>40</max-size></column>
 </columns><primary-key><primary-key-column>ID</primary-key-column></primary-key></table>
 <table name="Step"><columns>
  <column name="StepID"><data-type>BRI_SQL_INT</data-type>
   <uniquevalue-generation><generator-name>STEP_ID</generator-name></uniquevalue-generation></column>
  <column name="WorkflowID"><data-type>BRI_SQL_INT</data-type></column>
  <column name="Label"><data-type>CHAR</data-type><max-size>40</max-size></column>
  <column name="Kind"><data-type>BRI_SQL_INT</data-type><default-value>7</default-value></column>
 </columns><primary-key><primary-key-column>StepID</primary-key-column></primary-key>
 <foreign-keys><foreign-key reference-table-name="Workflow"><fk-columns><fk-column>
  <fk-local-column>WorkflowID</fk-local-column><fk-reference-column>ID</fk-reference-column>
 </fk-column></fk-columns></foreign-key></foreign-keys></table>
 <table name="Action"><columns>
  <column name="StepID"><data-type>BRI_SQL_INT</data-type></column>
  <column name="Seq"><data-type>BRI_SQL_INT</data-type></column>
  <column name="Note"><data-type>TEXT</data-type></column>
  <column name="At"><data-type>DATETIME</data-type></column>
 </columns><primary-key><primary-key-column>StepID</primary-key-column><primary-key-column>Seq</primary-key-column></primary-key>
 <foreign-keys><foreign-key reference-table-name="Step"><fk-columns><fk-column>
  <fk-local-column>StepID</fk-local-column><fk-reference-column>StepID</fk-reference-column>
 </fk-column></fk-columns></foreign-key></foreign-keys></table>
 <table name="Disk"><columns><column name="MachineRef"><data-type>BRI_SQL_INT</data-type></column></columns>
 <foreign-keys><foreign-key reference-table-name="Workflow"><fk-columns><fk-column>
  <fk-local-column>MachineRef</fk-local-column><fk-reference-column>ID</fk-reference-column>
 </fk-column></fk-columns></foreign-key></foreign-keys></table>
 <table name="Ping"><columns><column name="X"><data-type>BRI_SQL_INT</data-type></column></columns>
 <foreign-keys><foreign-key reference-table-name="Pong"><fk-columns><fk-column>
  <fk-local-column>X</fk-local-column><fk-reference-column>Y</fk-reference-column>
 </fk-column></fk-columns></foreign-key></foreign-keys></table>
 <table name="Pong"><columns><column name="Y"><data-type>BRI_SQL_INT</data-type></column></columns>
 <foreign-keys><foreign-key reference-table-name="Ping"><fk-columns><fk-column>
  <fk-local-column>Y</fk-local-column><fk-reference-column>X</fk-reference-column>
 </fk-column></fk-columns></foreign-key></foreign-keys></table>
 <table name="Workflow_Statements"><columns>
  <column name="NEXT_STATEMENT_ID"><data-type>BRI_SQL_INT</data-type></column>
 </columns></table>
</data-dictionary>)";

const char kNested[] = R"(<Data>
  <WorkflowList>
    <Workflow ID="Workflow:ID:main" Name="Main" Seq="9">
      <Step Label="first">
        <Action Note="Step:Label:hello" At="2023-01-05 10:30:00"/>
      </Step>
      <step stepid="Step:StepID:second" LABEL="Workflow:Name:x:y"/>
    </Workflow>
    <Workflow ID="Workflow:ID:other"/>
  </WorkflowList>
  <Step WorkflowID="Workflow:ID:main" Label="late"/>
  <Step Label="orphan"><Workflow ID="42"/></Step>
  <Disk MachineRef="Disk:MachineRef:m1"/>
  <Workflow ID="Workflow:ID:m1" Name="via disk"/>
</Data>)";

// The rows of kNested, per table, as Rows() renders them.
const std::vector<std::pair<const char*, std::vector<std::string>>> kNestedRows = {
    {"Workflow", {"100|Main", "101|NULL", "42|NULL", "102|via disk"}},
    {"Step", {"500|100|first|7", "501|100|x:y|7", "502|100|late|7", "503|42|orphan|7"}},
    {"Action", {"500|9|hello|2023-01-05 10:30:00"}},
    {"Disk", {"102"}},
};

class TableXmlTest : public StoreRegistriesTest {
protected:
    void SetUp() override
    {
        StoreRegistriesTest::SetUp();
        WriteWholeFile(dir_.file("dictionary.xml"), kDictionary);
        ASSERT_EQ(LoadDataDictFromXMLFile(dir_.file("dictionary.xml").c_str()), VELMORA_SUCCESS);
        ASSERT_EQ(gv_tableDefns.count, 7);
        ResetIdentifiers();
    }
    static void ResetIdentifiers()
    {
        ASSERT_EQ(StoreSeqBatch("WF_ID", 100, 399), VELMORA_SUCCESS);
        ASSERT_EQ(StoreSeqBatch("STEP_ID", 500, 799), VELMORA_SUCCESS);
    }
    // Each row as its values' texts joined by '|'; empty when the table
    // does not exist.
    static std::vector<std::string> Rows(const char* name)
    {
        std::vector<std::string> rows;
        TableData* table = GetTableDataByName(name);
        for (RowObject* row = table ? table->firstRow : nullptr; row; row = row->next) {
            std::string text;
            int i = 0;
            for (LCDNode* node = table->tableDefn->columns->head; node; node = node->next, i++) {
                char* value =
                    ColumnValueToString(row->values[i], row->lengths[i], static_cast<ColumnDefn*>(node->data)->type);
                text += (i ? "|" : "") + std::string(value ? value : "?");
                free(value);
            }
            rows.push_back(text);
        }
        return rows;
    }
    static int Load(const std::string& xml)
    {
        return LoadTableDataFromXMLBuffer(xml.data(), static_cast<int32_t>(xml.size()));
    }
    TempDir dir_;
};

TEST_F(TableXmlTest, NestedRowsInheritKeysAndShareSymbolicIdentifiers)
{
    xmlDoc* document = xmlReadMemory(kNested, sizeof kNested - 1, nullptr, nullptr, 0);
    ASSERT_NE(document, nullptr);
    StringHashTable* map = LoadTableDataFromXMLNode(document, nullptr);
    ASSERT_NE(map, nullptr);
    for (const auto& [table, rows] : kNestedRows)
        EXPECT_EQ(Rows(table), rows) << table;
    // Each symbolic text, and the key of each column that received it.
    const std::pair<const char*, int32_t> kIdentifiers[] = {{"Workflow:ID:main", 100},   {"Step:WorkflowID:main", 100},
                                                            {"Workflow:ID:other", 101},  {"Step:StepID:second", 501},
                                                            {"Disk:MachineRef:m1", 102}, {"Workflow:ID:m1", 102}};
    for (const auto& [key, expected] : kIdentifiers) {
        int32_t id = -1;
        EXPECT_EQ(GetXmlIdentifier(map, key, &id), VELMORA_SUCCESS) << key;
        EXPECT_EQ(id, expected) << key;
    }
    FreeXmlIdentifierMap(map);
    xmlFreeDoc(document);
}

struct BadInput {
    const char* name;
    std::string xml;
    int result;
    std::vector<const char*> logged; // lines (or their starts) expected in the log
    const char* table;               // whose rows are then checked
    std::vector<std::string> rows;
};

std::string Repeat(const std::string& text, size_t n)
{
    std::string out;
    for (size_t i = 0; i < n; i++)
        out += text;
    return out;
}

std::string Nested(size_t depth)
{
    return "<Data>" + Repeat("<WfList>", depth) + Repeat("</WfList>", depth) + "</Data>";
}

TEST_F(TableXmlTest, HostileAndMalformedDocumentsFailCleanly)
{
    const std::string colons98 = std::string(98, ':');
    const std::string laughs = R"(<!DOCTYPE d [<!ENTITY a "aaaaaaaaaa">)" +
        std::string(R"(<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">)") +
        R"(<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;"><!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">)" +
        R"(<!ENTITY e "&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;"><!ENTITY f "&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;">)" +
        R"(<!ENTITY g "&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;"><!ENTITY h "&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;">)" +
        R"(]><d><Workflow Name="&h;"/></d>)";
    const std::vector<BadInput> cases = {
        {"not well formed", "<Data><Workflow ID='1'></Data>", 0, {"error: could not parse buffer"}, "Workflow", {}},
        {"only blanks", "   ", 0, {"error: could not parse buffer"}, "Workflow", {}},
        {"root only", "<Data/>", 1, {}, "Workflow", {}},
        {"element naming no table",
         "<Data><Workflow ID='1'/><Bogus ID='2'/><Workflow ID='3'/></Data>",
         0,
         {"No table definition for element Bogus",
          "Cannot create and add a new row while constructing tabledata from XML file.",
          "Cannot construct table data from XML buffer."},
         "Workflow",
         {"1|NULL"}},
        {"List container without table",
         "<Data><ThingList><Workflow ID='3'/></ThingList></Data>",
         1,
         {},
         "Workflow",
         {"3|NULL"}},
        {"one colon and a stray letter are numbers 0",
         "<Data><Workflow ID='a:b'/><Workflow ID='12a'/></Data>",
         1,
         {},
         "Workflow",
         {"0|NULL", "0|NULL"}},
        {"a hundred colons in a text column",
         "<Data><Workflow ID='5' Name='a:b:c" + colons98 + "'/></Data>",
         1,
         {},
         "Workflow",
         {"5|c" + colons98}},
        {"symbolic labels without a generator",
         "<Data><Workflow_Statements NEXT_STATEMENT_ID='Workflow_Statements:NEXT_STATEMENT_ID:0'/>"
         "<Workflow_Statements NEXT_STATEMENT_ID='Workflow_Statements:NEXT_STATEMENT_ID:12'/>"
         "<Workflow_Statements NEXT_STATEMENT_ID='Workflow_Statements:NEXT_STATEMENT_ID:3" +
             colons98 + "'/></Data>",
         1,
         {},
         "Workflow_Statements",
         {"0", "12", "0"}},
        {"symbolic text naming no table or column",
         "<Data><Disk MachineRef='::x'/></Data>",
         0,
         {"Unable to get Column details for AutoID generation "},
         "Disk",
         {}},
        {"foreign keys in a circle",
         "<Data><Ping X='Ping:X:7'/></Data>",
         1,
         {"Foreign keys from Ping.X lead round in a circle"},
         "Ping",
         {"7"}},
        {"a date that does not convert",
         "<Data><Action StepID='1' Seq='1' At='soon'/><Action/></Data>",
         0,
         {"Value 'soon' does not convert for column At of table Action"},
         "Action",
         {}},
        {"external entity",
         "<!DOCTYPE d [<!ENTITY x SYSTEM 'file:///etc/hostname'>]><d><Workflow Name='&x;'/></d>",
         0,
         {"error: could not parse buffer"},
         "Workflow",
         {}},
        {"entity expansion bomb", laughs, 0, {"error: could not parse buffer"}, "Workflow", {}},
        {"10 MB attribute",
         "<Data><Workflow Name='" + std::string(10 << 20, 'v') + "'/></Data>",
         0,
         {"error: could not parse buffer"},
         "Workflow",
         {}},
        {"nested 10000 deep", Nested(10000), 0, {"error: could not parse buffer"}, "Workflow", {}},
    };
    for (const BadInput& c : cases) {
        SCOPED_TRACE(c.name);
        FreeAllTableData();
        LogCapture log(3);
        EXPECT_EQ(Load(c.xml), c.result);
        EXPECT_EQ(Rows(c.table), c.rows);
        std::vector<std::string> lines = log.Lines();
        for (const char* expected : c.logged)
            EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                                    [&](const std::string& line) { return line.find(expected) != std::string::npos; }))
                << "no log line " << expected;
    }
}

TEST_F(TableXmlTest, ADeepTreeOfMutuallyReferencingRowsLoadsWithoutRecursion)
{
    // Built as a tree, so that the parser's depth limit does not apply.
    const int kDepth = 100000; // a recursive walk would need far more than 8 MB of stack
    xmlDoc* document = xmlNewDoc(BAD_CAST "1.0");
    xmlNode* at = xmlNewNode(nullptr, BAD_CAST "Data");
    xmlDocSetRootElement(document, at);
    for (int i = 0; i < kDepth; i++) {
        at = xmlNewChild(at, nullptr, BAD_CAST(i % 2 ? "Pong" : "Ping"), nullptr);
        if (i == 0)
            xmlNewProp(at, BAD_CAST "X", BAD_CAST "3");
    }
    StringHashTable* map = LoadTableDataFromXMLNode(document, nullptr);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(Rows("Ping"), std::vector<std::string>(kDepth / 2, "3"));
    EXPECT_EQ(Rows("Pong"), std::vector<std::string>(kDepth / 2, "3"));
    FreeXmlIdentifierMap(map);
    xmlFreeDoc(document);
}

TEST_F(TableXmlTest, FilesLoadLongValuesWholeAndMissingFilesFail)
{
    LogCapture log(3);
    std::string missing = dir_.file("missing.xml");
    EXPECT_EQ(LoadTableDataFromXMLFile(missing.c_str()), VELMORA_FAILURE);
    std::vector<std::string> lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[ERROR] error: could not parse file " + missing), lines.end());

    std::string note(1 << 20, 'n');
    WriteWholeFile(dir_.file("data.xml"), "<Data><Action StepID='4' Seq='1' Note='" + note + "'/></Data>");
    EXPECT_EQ(LoadTableDataFromXMLFile(dir_.file("data.xml").c_str()), VELMORA_SUCCESS);
    EXPECT_EQ(Rows("Action"), std::vector<std::string>{"4|1|" + note + "|NULL"});
}

TEST_F(TableXmlTest, AllocationFailuresEndTheLoadAndKeepEarlierRows)
{
    long total = ForEveryAllocationFailure([&](long n, bool& fired) {
        FreeAllTableData();
        ResetIdentifiers();
        int result;
        {
            FailingAllocations faults(n);
            result = Load(kNested);
            fired = faults.fired();
        }
        ASSERT_TRUE(result == VELMORA_SUCCESS || result == VELMORA_ALLOC_FAILURE) << result;
        // Whatever was added before the failure is a prefix of the full load.
        for (const auto& [table, rows] : kNestedRows) {
            std::vector<std::string> loaded = Rows(table);
            ASSERT_LE(loaded.size(), rows.size()) << table;
            EXPECT_TRUE(std::equal(loaded.begin(), loaded.end(), rows.begin())) << table << " after failure " << n;
            if (result == VELMORA_SUCCESS) {
                EXPECT_EQ(loaded, rows) << table;
            }
        }
    });
    EXPECT_GT(total, 50);
}

} // namespace
