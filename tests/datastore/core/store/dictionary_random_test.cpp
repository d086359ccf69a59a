// Random input for the data-dictionary reader: mutations of a realistic
// dictionary and element soup built from the dictionary's own element
// names. Run under the sanitizers, any read past a buffer, leak or crash
// fails the test; the reader only has to log and go on.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "velmora/data_dictionary.h"

namespace {

const char* const kElements[] = {"data-dictionary",
                                 "table",
                                 "description",
                                 "columns",
                                 "column",
                                 "data-type",
                                 "nullable",
                                 "max-size",
                                 "default-value",
                                 "unique",
                                 "uniquevalue-generation",
                                 "generator-name",
                                 "allowed-values",
                                 "value",
                                 "from",
                                 "to",
                                 "primary-key",
                                 "primary-key-column",
                                 "foreign-keys",
                                 "foreign-key",
                                 "fk-columns",
                                 "fk-column",
                                 "fk-local-column",
                                 "fk-reference-column",
                                 "fk-constraints",
                                 "TABLE",
                                 "Column"};
const char* const kTexts[] = {"INTEGER",    "CHAR", "TIMESTAMP", "BOOLEAN", "true",
                              "TRUE",       "300",  "-1",        "12a",     "ON-DELETE-CASCADE",
                              "2024-01-01", "x",    "",          "yes",     "99999999999"};
const char* const kAttributes[] = {" name=\"T\"",
                                   " name=\"c\"",
                                   " reference-table-name=\"T\"",
                                   " isbidirectional=\"true\"",
                                   " system=\"1\"",
                                   " other=\"o\"",
                                   ""};

std::string Soup(std::mt19937& random, int depth)
{
    std::string out;
    int children = static_cast<int>(random() % 5);
    for (int i = 0; i < children; i++) {
        const char* name = kElements[random() % std::size(kElements)];
        out += std::string("<") + name + kAttributes[random() % std::size(kAttributes)] + ">";
        if (depth < 7 && random() % 3)
            out += Soup(random, depth + 1);
        else
            out += kTexts[random() % std::size(kTexts)];
        out += std::string("</") + name + ">";
    }
    return out;
}

std::string Mutate(std::string text, std::mt19937& random)
{
    int edits = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < edits && !text.empty(); i++) {
        size_t at = random() % text.size();
        switch (random() % 5) {
        case 0:
            text[at] = static_cast<char>(random() % 256);
            break;
        case 1:
            text.erase(at, 1 + random() % 40);
            break;
        case 2:
            text.insert(at, text.substr(random() % text.size(), random() % 80));
            break;
        case 3:
            text.insert(at, std::string("<") + kElements[random() % std::size(kElements)] + ">");
            break;
        default:
            text.resize(at);
            break;
        }
    }
    return text;
}

TEST(DictionaryRandomInput, NeverCrashesOrLeaks)
{
    TempDir dir;
    std::string path = dir.file("random.xml");
    std::string seed_text = ReadWholeFile(std::string(TW_EXAMPLE_DATA_DIR) + "/inventory_software.xml");
    ASSERT_FALSE(seed_text.empty());
    std::mt19937 random(20240305);
    InitTableDefnVector();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(6);
    int runs = 0;
    while (std::chrono::steady_clock::now() < deadline && runs < 20000) {
        std::string input =
            runs % 2 ? Mutate(seed_text, random) : "<data-dictionary>" + Soup(random, 0) + "</data-dictionary>";
        WriteWholeFile(path, input);
        EXPECT_EQ(XmlDataParser(path.c_str()), VELMORA_SUCCESS);
        // Whatever loaded is consistent enough to print and look up.
        PrintTableDefns();
        for (LCDNode* node = gv_tableDefns.head; node; node = node->next) {
            auto* table = static_cast<TableDefn*>(node->data);
            ASSERT_NE(table->name, nullptr);
            ASSERT_NE(table->columns, nullptr);
            ASSERT_NE(table->constraints, nullptr);
            EXPECT_EQ(GetTableDefnByName(table->name) != nullptr, true);
        }
        FreeTableDefns();
        runs++;
    }
    EXPECT_GT(runs, 100);
}

} // namespace
