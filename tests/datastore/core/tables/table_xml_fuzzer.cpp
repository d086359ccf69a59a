// libFuzzer entry for the XML table-data loader: any bytes as a document,
// loaded from a buffer and, when libxml2 parses them, from the tree. Tables
// with foreign keys in a chain and in a circle, generators, defaults and
// every kind of value make symbolic identifiers and inherited keys
// reachable. Every row that comes back must read back within its lengths.
//
//   table_xml_fuzzer tests/datastore/core/tables/table_xml_corpus
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <initializer_list>

#include <libxml/parser.h>

#include "velmora/seq_state.h"
#include "velmora/table_data.h"
#include "velmora/table_xml.h"

namespace {

struct Column {
    const char* name;
    uint8_t type;
    const char* defaultText;
    const char* generator;
};

struct Key {
    const char* local;
    const char* referenceTable;
    const char* referenceColumn;
};

void Define(const char* table, std::initializer_list<Column> columns, const char* primaryKey,
            std::initializer_list<Key> keys)
{
    LCDVector* vector = CreateVector();
    for (const Column& c : columns)
        AddElementData(vector,
                       CreateColumnDefn(c.name, c.type, c.defaultText, 0, 0, c.generator, nullptr, 40, 1, nullptr));
    char** primary = nullptr;
    if (primaryKey) {
        primary = static_cast<char**>(calloc(1, sizeof(char*)));
        primary[0] = strdup(primaryKey);
    }
    ConstraintDefn* constraints = CreateConstraintDefn(primary, primaryKey ? 1 : 0, nullptr);
    for (const Key& k : keys)
        AddForeignKeyDefn(constraints, CreateForeignKeyDefn(k.local, k.referenceColumn, k.referenceTable, 0, 0, 0));
    AddTableDefn(CreateTableDefn(table, nullptr, vector, constraints));
}

void Quiet(void*, const char*, ...) { }

bool DefineOnce()
{
    Define("A",
           {{"ID", BRI_SQL_INT, nullptr, "A_ID"},
            {"Name", BRI_SQL_VARCHAR, "x", nullptr},
            {"At", BRI_SQL_DATETIME, nullptr, nullptr},
            {"On", BRI_SQL_BOOLEAN, nullptr, nullptr}},
           "ID", {});
    Define("B",
           {{"ID", BRI_SQL_INT, nullptr, nullptr},
            {"AID", BRI_SQL_BIGINT, "1", nullptr},
            {"Day", BRI_SQL_DATE, nullptr, nullptr},
            {"Price", BRI_SQL_DOUBLE, nullptr, nullptr}},
           "ID", {{"AID", "A", "ID"}});
    Define("C",
           {{"BID", BRI_SQL_SMALLINT, nullptr, nullptr},
            {"Seq", BRI_SQL_INT, nullptr, nullptr},
            {"Note", BRI_SQL_TEXT, nullptr, nullptr},
            {"Bin", BRI_SQL_BLOB, nullptr, nullptr}},
           "Seq", {{"BID", "B", "ID"}});
    Define("P", {{"X", BRI_SQL_INT, nullptr, nullptr}}, nullptr, {{"X", "Q", "Y"}});
    Define("Q", {{"Y", BRI_SQL_UNSIGNED_INT, nullptr, nullptr}}, nullptr, {{"Y", "P", "X"}});
    Define("Workflow_Statements", {{"NEXT_STATEMENT_ID", BRI_SQL_INT, nullptr, nullptr}}, nullptr, {});
    // libxml2's own messages for the tree parse below would flood the output.
    xmlSetGenericErrorFunc(nullptr, Quiet);
    return InitSeqState() == VELMORA_SUCCESS;
}

void CheckRows()
{
    for (LCDNode* node = gv_tableDataVector.head; node; node = node->next) {
        auto* table = static_cast<TableData*>(node->data);
        for (RowObject* row = table->firstRow; row; row = row->next) {
            int i = 0;
            for (LCDNode* c = table->tableDefn->columns->head; c && i < table->columnCount; c = c->next, i++) {
                if (row->lengths[i] < 0)
                    abort();
                free(ColumnValueToString(row->values[i], row->lengths[i], static_cast<ColumnDefn*>(c->data)->type));
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = DefineOnce();
    if (!ready || size > (1u << 20))
        return 0;
    StoreSeqBatch("A_ID", 1, 300);
    const char* text = reinterpret_cast<const char*>(data);
    LoadTableDataFromXMLBuffer(text, static_cast<int32_t>(size));
    CheckRows();
    FreeAllTableData();

    xmlDoc* document = xmlReadMemory(text, static_cast<int>(size), nullptr, nullptr, XML_PARSE_NONET);
    if (document) {
        StringHashTable* map = LoadTableDataFromXMLNode(document, nullptr);
        CheckRows();
        FreeXmlIdentifierMap(map);
        xmlFreeDoc(document);
        FreeAllTableData();
    }
    return 0;
}
