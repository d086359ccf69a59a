/*
 * Reading personality files and the process-wide list of personalities.
 *
 * The file is read with libxml2's streaming reader: no recursion on our
 * side, libxml2's own depth limit (no XML_PARSE_HUGE), no network, no
 * entity substitution, and bounds on the file size and element count, so
 * a malformed, deep or huge file ends with a line instead of a crash. The
 * whole file is read before anything is created: a file that breaks half
 * way adds nothing.
 */
#include <libxml/xmlreader.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "personality_internal.h"
#include "runtime/log.h"

LCDVector* gv_personalityDefnVect = nullptr;

using velmora_objects::PersonalityNode;

namespace {

void ForwardXmlError(void* path, xmlErrorPtr error)
{
    if (!error)
        return;
    const char* message = error->message ? error->message : "XML error\n";
    if (error->level == XML_ERR_WARNING)
        LogDebug("%s:%d: %s", static_cast<const char*>(path), error->line, message);
    else
        LogError("%s:%d: %s", static_cast<const char*>(path), error->line, message);
}

// Every element of the file in document order; false when the file is
// too large, not well-formed or has too many elements.
bool ReadNodes(const char* path, std::vector<PersonalityNode>& nodes)
{
    struct stat info { };
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
        LogError("Personality file %s cannot be read\n", path);
        return false;
    }
    if (info.st_size > PERSONALITY_FILE_MAX_BYTES) {
        LogError("Personality file %s is larger than %d bytes\n", path, PERSONALITY_FILE_MAX_BYTES);
        return false;
    }
    xmlInitParser();
    xmlTextReaderPtr reader = xmlReaderForFile(path, nullptr, XML_PARSE_NONET);
    if (!reader)
        return false;
    xmlTextReaderSetStructuredErrorHandler(reader, ForwardXmlError, const_cast<char*>(path));
    int status;
    bool ok = true;
    while ((status = xmlTextReaderRead(reader)) == 1) {
        if (xmlTextReaderNodeType(reader) != XML_READER_TYPE_ELEMENT)
            continue;
        if (nodes.size() >= PERSONALITY_MAX_ELEMENTS) {
            LogError("Personality file %s has more than %d elements\n", path, PERSONALITY_MAX_ELEMENTS);
            ok = false;
            break;
        }
        PersonalityNode node;
        const xmlChar* name = xmlTextReaderConstName(reader);
        node.name = name ? reinterpret_cast<const char*>(name) : "";
        while (xmlTextReaderMoveToNextAttribute(reader) == 1) {
            const xmlChar* attribute = xmlTextReaderConstName(reader);
            const xmlChar* value = xmlTextReaderConstValue(reader);
            node.attributes.emplace_back(attribute ? reinterpret_cast<const char*>(attribute) : "",
                                         value ? reinterpret_cast<const char*>(value) : "");
        }
        xmlTextReaderMoveToElement(reader);
        nodes.push_back(std::move(node));
    }
    xmlFreeTextReader(reader);
    return ok && status == 0;
}

void FreeConstituent(ConstituentTable* table)
{
    if (!table)
        return;
    std::free(table->table);
    std::free(table->fkConstraintId);
    std::free(table);
}

void FreePersonality(PersonalityDefn* personality)
{
    if (!personality)
        return;
    if (personality->constituentTables) {
        for (LCDNode* node = personality->constituentTables->head; node; node = node->next)
            FreeConstituent(static_cast<ConstituentTable*>(node->data));
        FreeVector(personality->constituentTables);
        std::free(personality->constituentTables);
    }
    std::free(personality->personalityName);
    std::free(personality->dominantTable);
    std::free(personality->description);
    std::free(personality);
}

// A copy of text, or null for null/out of memory (out says which).
bool Copy(const std::string* text, char** out)
{
    *out = nullptr;
    if (!text)
        return true;
    *out = strdup(text->c_str());
    return *out != nullptr;
}

const std::string* Attribute(const PersonalityNode& node, const char* name)
{
    for (const auto& [key, value] : node.attributes)
        if (strcasecmp(key.c_str(), name) == 0)
            return &value;
    return nullptr;
}

// The constituent of one ConstituentTable element, or null (status says
// why: 1 skipped, 99 memory).
ConstituentTable* MakeConstituent(const PersonalityNode& node, PersonalityDefn* personality, int* status)
{
    *status = VELMORA_SUCCESS;
    const std::string* table = Attribute(node, "tableid");
    if (!table || table->empty() || *table == personality->dominantTable) {
        if (!table || table->empty())
            LogError("ConstituentTable without tableid in personality %s skipped\n", personality->personalityName);
        return nullptr;
    }
    auto* constituent = static_cast<ConstituentTable*>(std::calloc(1, sizeof(ConstituentTable)));
    if (!constituent) {
        *status = VELMORA_ALLOC_FAILURE;
        return nullptr;
    }
    constituent->dominantTable = personality->dominantTable;
    constituent->mandatory = 1;
    bool ok = Copy(table, &constituent->table);
    // Attributes in order; a tableindex of "0" ends the element's reading.
    for (const auto& [key, value] : node.attributes) {
        if (strcasecmp(key.c_str(), "tableindex") == 0) {
            constituent->tableIndex = static_cast<int32_t>(std::strtol(value.c_str(), nullptr, 10));
            if (value == "0")
                break;
        } else if (strcasecmp(key.c_str(), "mandatory") == 0) {
            constituent->mandatory = strcasecmp(value.c_str(), "false") == 0 ? 0 : 1;
        } else if (strcasecmp(key.c_str(), "fkconstraint_id") == 0 && !constituent->fkConstraintId) {
            ok = ok && Copy(&value, &constituent->fkConstraintId);
        }
    }
    if (!ok) {
        FreeConstituent(constituent);
        *status = VELMORA_ALLOC_FAILURE;
        return nullptr;
    }
    return constituent;
}

int BuildPersonalities(const std::vector<PersonalityNode>& nodes)
{
    for (size_t i = 0; i < nodes.size(); i++) {
        if (strcasecmp(nodes[i].name.c_str(), "PersonalityConfiguration") != 0)
            continue;
        const std::string* name = Attribute(nodes[i], "personalityname");
        const std::string* dominant = Attribute(nodes[i], "dominanttableid");
        if (!name || name->empty() || !dominant || dominant->empty()) {
            LogError("PersonalityConfiguration without personalityname or dominanttableid skipped\n");
            continue;
        }
        auto* personality = static_cast<PersonalityDefn*>(std::calloc(1, sizeof(PersonalityDefn)));
        if (!personality || !Copy(name, &personality->personalityName) ||
            !Copy(dominant, &personality->dominantTable) ||
            !Copy(Attribute(nodes[i], "description"), &personality->description) ||
            !(personality->constituentTables = CreateVector())) {
            FreePersonality(personality);
            LogError("MEMORY_ALLOCATION_FAILURE\n");
            return VELMORA_ALLOC_FAILURE;
        }
        for (size_t j = i + 1; j < nodes.size() && strcasecmp(nodes[j].name.c_str(), "ConstituentTable") == 0; j++) {
            int status;
            ConstituentTable* constituent = MakeConstituent(nodes[j], personality, &status);
            if (status == VELMORA_ALLOC_FAILURE) {
                FreePersonality(personality);
                LogError("MEMORY_ALLOCATION_FAILURE\n");
                return VELMORA_ALLOC_FAILURE;
            }
            if (constituent && AddElementData(personality->constituentTables, constituent) != VELMORA_SUCCESS) {
                LogError("Cannot Add constituent table %s into constituentTableVect.\n", constituent->table);
                FreeConstituent(constituent);
                FreePersonality(personality);
                return VELMORA_FAILURE;
            }
        }
        if (AddElementData(gv_personalityDefnVect, personality) != VELMORA_SUCCESS) {
            LogError("Cannot Add personality %s into gv_personalityDefnVect.\n", personality->personalityName);
            FreePersonality(personality);
            return VELMORA_FAILURE;
        }
    }
    return VELMORA_SUCCESS;
}

// A new null-terminated array of copies of the texts.
char** NameArray(const std::vector<const char*>& texts)
{
    auto** names = static_cast<char**>(std::calloc(texts.size() + 1, sizeof(char*)));
    if (!names)
        return nullptr;
    for (size_t i = 0; i < texts.size(); i++)
        if (!(names[i] = strdup(texts[i]))) {
            FreePersonalityNames(names);
            return nullptr;
        }
    return names;
}

} // namespace

extern "C" {

int InitPersonality(void)
{
    if (gv_personalityDefnVect)
        return VELMORA_SUCCESS;
    gv_personalityDefnVect = CreateVector();
    if (!gv_personalityDefnVect) {
        LogError("MEMORY_ALLOCATION_FAILURE\n");
        return VELMORA_ALLOC_FAILURE;
    }
    return VELMORA_SUCCESS;
}

void FreePersonalities(void)
{
    if (gv_personalityDefnVect) {
        for (LCDNode* node = gv_personalityDefnVect->head; node; node = node->next)
            FreePersonality(static_cast<PersonalityDefn*>(node->data));
        FreeVector(gv_personalityDefnVect);
        std::free(gv_personalityDefnVect);
        gv_personalityDefnVect = nullptr;
    }
    velmora_objects::ClearIndexedTables();
}

int CreatePersonalityFromXMLFile(const char* path)
{
    LogTrace("@@@ Inside CreatePersonalityFromXMLFile @@@\n");
    if (!path || !gv_personalityDefnVect) {
        LogError("CreatePersonalityFromXMLFile : no path or InitPersonality not called\n");
        return VELMORA_FAILURE;
    }
    std::vector<PersonalityNode> nodes;
    if (!ReadNodes(path, nodes)) {
        LogError("Could not parse file %s\n", path);
        return VELMORA_FAILURE;
    }
    velmora_objects::CreateIndexTables(nodes);
    return BuildPersonalities(nodes);
}

PersonalityDefn* GetPersonalityDefn(const char* name)
{
    if (!name) {
        LogError("Cannot get personality.  Personality name is NULL\n");
        return nullptr;
    }
    for (LCDNode* node = gv_personalityDefnVect ? gv_personalityDefnVect->head : nullptr; node; node = node->next) {
        auto* personality = static_cast<PersonalityDefn*>(node->data);
        if (std::strcmp(personality->personalityName, name) == 0)
            return personality;
    }
    LogError("Personality %s not found in gv_personalityDefnVect\n", name);
    return nullptr;
}

void PrintPersonalityDefn(const char* name)
{
    if (!name) {
        LogError("Cannot print personality definition.  PersonalityName is NULL\n");
        return;
    }
    PersonalityDefn* personality = GetPersonalityDefn(name);
    if (!personality) {
        LogError("Cannot print PersonalityDefn.  personalityDefnPtr is NULL\n");
        return;
    }
    LogInfo("\nPersonality Name: %s\n", personality->personalityName);
    LogInfo("Description: %s\n", personality->description ? personality->description : "");
    LogInfo("Dominant Table: %s\n\n", personality->dominantTable);
    LogInfo("Constituent Table Information\n");
    for (LCDNode* node = personality->constituentTables->head; node; node = node->next) {
        auto* constituent = static_cast<ConstituentTable*>(node->data);
        LogInfo("Constituent Table Name: %s\n", constituent->table);
        LogInfo("Constituent Table Index: %d\n", constituent->tableIndex);
        LogInfo("Foreign Key: %s\n", constituent->fkConstraintId ? constituent->fkConstraintId : "");
        LogInfo("Mandatory Status: %u\n\n", constituent->mandatory);
    }
}

char** GetConstituentTables(const char* name)
{
    if (!name) {
        LogError("Cannot get constituent tables list.  PersonalityName is NULL\n");
        return nullptr;
    }
    PersonalityDefn* personality = GetPersonalityDefn(name);
    if (!personality) {
        LogError("Cannot get constituent tables list.  PersonalityDefn is NULL\n");
        return nullptr;
    }
    std::vector<const char*> tables;
    for (LCDNode* node = personality->constituentTables->head; node; node = node->next)
        tables.push_back(static_cast<ConstituentTable*>(node->data)->table);
    return NameArray(tables);
}

char** GetDominantTables(void)
{
    LogTrace("@@@@ Inside GetDominantTables @@@@\n");
    std::vector<const char*> tables;
    for (LCDNode* node = gv_personalityDefnVect ? gv_personalityDefnVect->head : nullptr; node; node = node->next)
        tables.push_back(static_cast<PersonalityDefn*>(node->data)->dominantTable);
    return tables.empty() ? nullptr : NameArray(tables);
}

char** GetPersonalityNames(void)
{
    LogTrace("@@@@ Inside GetDominantTables @@@@\n");
    std::vector<const char*> names;
    for (LCDNode* node = gv_personalityDefnVect ? gv_personalityDefnVect->head : nullptr; node; node = node->next)
        names.push_back(static_cast<PersonalityDefn*>(node->data)->personalityName);
    return NameArray(names);
}

void FreePersonalityNames(char** names)
{
    for (char** name = names; name && *name; name++)
        std::free(*name);
    std::free(names);
}

int IsDominantTable(const char* table)
{
    for (LCDNode* node = table && gv_personalityDefnVect ? gv_personalityDefnVect->head : nullptr; node;
         node = node->next)
        if (std::strcmp(static_cast<PersonalityDefn*>(node->data)->dominantTable, table) == 0)
            return 1;
    return 0;
}

} // extern "C"
