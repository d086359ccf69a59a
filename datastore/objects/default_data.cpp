/*
 * Default data for a new database: rows written as XML, loaded into the
 * in-memory tables and saved.
 */
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <new>
#include <string>
#include <vector>

#include "data_files.h"
#include "runtime/log.h"
#include "velmora/string_routines.h"
#include "velmora/table_data.h"
#include "velmora/table_persistence.h"
#include "velmora/table_xml.h"

using namespace velmora_objects;

namespace {

const char kDefaultDataList[] = "defaultdata.txt";

struct DocumentDeleter {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using Document = std::unique_ptr<xmlDoc, DocumentDeleter>;

const char* NameOf(const xmlNode* node) { return reinterpret_cast<const char*>(node->name); }

bool Contains(const std::vector<std::string>& names, const char* name)
{
    for (const std::string& known : names)
        if (CompareNoCase(known.c_str(), name) == 0)
            return true;
    return false;
}

void SaveBatch(std::vector<std::string>& batch)
{
    if (batch.empty())
        return;
    LogDebug("Saving a batch of %zu tables\n", batch.size());
    for (const std::string& name : batch)
        SaveTable(name.c_str());
    batch.clear();
}

/* The tables to save, in order: the name of each of the root's element
 * children, in document order, each followed by the tables whose rows
 * are nested below it and that no child of the root names (those rows
 * would be left unsaved otherwise), in the order they first appear. A
 * nested table thus comes after the tables of its enclosing rows, which
 * its foreign keys may name. The walk keeps its own stack: a document may
 * be deep. */
std::vector<std::string> TablesToSave(const xmlNode* root)
{
    std::vector<std::string> topLevel;
    for (const xmlNode* child = root->children; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE && !Contains(topLevel, NameOf(child)))
            topLevel.emplace_back(NameOf(child));
    std::vector<std::string> order;
    std::vector<std::string> nested;
    std::vector<const xmlNode*> stack;
    for (const xmlNode* child = root->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        order.emplace_back(NameOf(child));
        stack.assign(1, child);
        while (!stack.empty()) {
            const xmlNode* node = stack.back();
            stack.pop_back();
            if (node != child && !Contains(topLevel, NameOf(node)) && !Contains(nested, NameOf(node)) &&
                GetTableDataByName(NameOf(node))) {
                nested.emplace_back(NameOf(node));
                order.emplace_back(NameOf(node));
            }
            for (const xmlNode* below = node->last; below; below = below->prev)
                if (below->type == XML_ELEMENT_NODE)
                    stack.push_back(below);
        }
    }
    return order;
}

int SaveDocumentTables(const char* path)
{
    if (LoadTableDataFromXMLFile(path) != VELMORA_SUCCESS) {
        LogError("Cannot create DO from %s.\n", path);
        return VELMORA_FAILURE;
    }
    // The loader logged whatever was wrong with the text; this second read
    // only needs the element names.
    Document document(xmlReadFile(path, nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    const xmlNode* root = document ? xmlDocGetRootElement(document.get()) : nullptr;
    if (!root) {
        LogError("Error: could not parse file : %s\n", path);
        return VELMORA_FAILURE;
    }
    std::vector<std::string> batch;
    std::vector<std::string> seen;
    for (const std::string& name : TablesToSave(root)) {
        if (Contains(seen, name.c_str()))
            continue;
        seen.push_back(name);
        batch.push_back(name);
        if (batch.size() == DEFAULT_DATA_SAVE_BATCH)
            SaveBatch(batch);
    }
    SaveBatch(batch);
    return VELMORA_SUCCESS;
}

} // namespace

extern "C" int SaveDataInXML(const char* path)
{
    LogTrace("@@@@@ Inside SaveDataInXML @@@@@\n");
    if (!path)
        return VELMORA_FAILURE;
    try {
        return SaveDocumentTables(path);
    } catch (const std::bad_alloc&) {
        LogError("Cannot allocate memory to save the data of %s\n", path);
        return VELMORA_ALLOC_FAILURE;
    }
}

extern "C" int SaveDefaultData(void)
{
    LogTrace("\t@@@@@ Inside SaveDefaultData @@@@@\n");
    DataFile list = OpenDataFile(kDefaultDataList, true);
    if (!list.file) {
        LogError("No default data to be prepopulated.\n");
        return VELMORA_SUCCESS;
    }
    try {
        std::string base = list.relative ? std::string(kRelativeDataDir) : RootDataPath("");
        int result = VELMORA_SUCCESS;
        std::string word;
        int c;
        bool tooLong = false;
        auto finish = [&]() {
            if (tooLong)
                LogError("A file name in %s is longer than %d characters; it is skipped.\n", kDefaultDataList,
                         TABLE_LIST_LINE_MAX);
            else if (!word.empty())
                result = SaveDataInXML((base + word).c_str());
            word.clear();
            tooLong = false;
        };
        while ((c = getc(list.file.get())) != EOF) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == '\0') {
                finish();
            } else if (word.size() < TABLE_LIST_LINE_MAX) {
                word.push_back(static_cast<char>(c));
            } else {
                tooLong = true;
            }
        }
        finish();
        return result;
    } catch (const std::bad_alloc&) {
        LogError("Cannot allocate memory to read %s\n", kDefaultDataList);
        return VELMORA_ALLOC_FAILURE;
    }
}
