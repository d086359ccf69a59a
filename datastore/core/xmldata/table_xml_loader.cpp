/*
 * Loading table data from an XML document: parsing (file or buffer) and the
 * walk over every element below the root.
 *
 * The walk keeps its own stack of enclosing elements instead of recursing,
 * so a tree of any depth handed to LoadTableDataFromXMLNode cannot exhaust
 * the thread's stack; the stack also remembers the row each enclosing
 * element became, which nested rows inherit key values from.
 */
#include <stdlib.h>
#include <string.h>

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include "runtime/log.h"
#include "velmora/base_alloc.h"
#include "velmora/string_routines.h"
#include "xmldata/xmldata_internal.h"

using namespace velmora_xmldata;

namespace {

const char* Text(const xmlChar* text) { return reinterpret_cast<const char*>(text); }

xmlNode* FirstElement(xmlNode* node)
{
    while (node && node->type != XML_ELEMENT_NODE)
        node = node->next;
    return node;
}

/* The enclosing elements of the walk's current element; grows by doubling. */
class EnclosingStack {
public:
    ~EnclosingStack() { free(frames_); }
    bool Push(const Enclosing& frame)
    {
        if (count_ == capacity_) {
            int32_t grown = capacity_ ? capacity_ * 2 : 64;
            if (grown < capacity_)
                return false;
            auto* frames = static_cast<Enclosing*>(BriMalloc(static_cast<size_t>(grown) * sizeof(Enclosing)));
            if (!frames)
                return false;
            if (count_)
                memcpy(frames, frames_, static_cast<size_t>(count_) * sizeof(Enclosing));
            free(frames_);
            frames_ = frames;
            capacity_ = grown;
        }
        frames_[count_++] = frame;
        return true;
    }
    /* Removes the innermost frame and returns its element. */
    xmlNode* Pop() { return frames_[--count_].element; }
    int32_t Count() const { return count_; }
    Ancestry View() const { return Ancestry{frames_, count_}; }

private:
    Enclosing* frames_ = nullptr;
    int32_t count_ = 0;
    int32_t capacity_ = 0;
};

/* One element: a row of its table, or a container. */
int LoadElement(StringHashTable* map, xmlNode* element, const Ancestry& ancestry, Enclosing* frame)
{
    *frame = Enclosing{element, nullptr, nullptr, 0};
    const char* name = Text(element->name);
    TableData* table = GetTableDataByName(name);
    if (!table && GetTableDefnByName(name)) {
        int created = CreateTable(name);
        if (created == VELMORA_ALLOC_FAILURE)
            return created;
        table = GetTableDataByName(name);
    }
    if (!table) {
        if (strstr(name, "List")) {
            LogTrace("%s names no table: its rows are loaded, it is skipped\n", name);
            return VELMORA_SUCCESS;
        }
        LogError("No table definition for element %s\n", name);
        return VELMORA_FAILURE;
    }
    if (table->kind != TABLE_KIND_TABLE) {
        LogError("%s is a view: rows cannot be loaded into it\n", name);
        return VELMORA_FAILURE;
    }
    RowObject* row = nullptr;
    int built = BuildAndAddRow(map, table, element, ancestry, &row);
    if (built == VELMORA_SUCCESS)
        *frame = Enclosing{element, table->tableDefn, row, table->columnCount};
    return built;
}

/* Every element below root, in document order; stops at the first row that
 * fails. */
int WalkRows(StringHashTable* map, xmlNode* root)
{
    EnclosingStack stack;
    if (!stack.Push(Enclosing{root, nullptr, nullptr, 0}))
        return VELMORA_ALLOC_FAILURE;
    xmlNode* element = FirstElement(root->children);
    while (element) {
        Enclosing frame;
        int loaded = LoadElement(map, element, stack.View(), &frame);
        if (loaded != VELMORA_SUCCESS) {
            LogError("Cannot create and add a new row while constructing tabledata from XML file.\n");
            return loaded;
        }
        if (xmlNode* child = FirstElement(element->children)) {
            if (!stack.Push(frame))
                return VELMORA_ALLOC_FAILURE;
            element = child;
            continue;
        }
        // On to the next element: a sibling, else a sibling of the nearest
        // enclosing element that has one.
        for (;;) {
            if (xmlNode* sibling = FirstElement(element->next)) {
                element = sibling;
                break;
            }
            if (stack.Count() == 1) {
                element = nullptr;
                break;
            }
            element = stack.Pop();
        }
    }
    return VELMORA_SUCCESS;
}

/* The rows of a parsed document; the identifier map in *map (null: freed). */
int LoadDocument(xmlDoc* document, xmlNode* node, StringHashTable** map)
{
    *map = nullptr;
    xmlNode* root = node ? node : xmlDocGetRootElement(document);
    if (!root) {
        LogError("The XML document has no root element\n");
        return VELMORA_FAILURE;
    }
    auto* identifiers = static_cast<StringHashTable*>(BriCalloc(1, sizeof(StringHashTable)));
    if (!identifiers)
        return VELMORA_ALLOC_FAILURE;
    if (HashInit(identifiers, XML_IDENTIFIER_MAP_BUCKETS) != VELMORA_SUCCESS) {
        free(identifiers);
        return VELMORA_ALLOC_FAILURE;
    }
    int result = WalkRows(identifiers, root);
    if (result != VELMORA_SUCCESS) {
        FreeXmlIdentifierMap(identifiers);
        return result;
    }
    *map = identifiers;
    return VELMORA_SUCCESS;
}

#if LIBXML_VERSION >= 21200
void ForwardXmlError(void* context, const xmlError* error)
#else
void ForwardXmlError(void* context, xmlErrorPtr error)
#endif
{
    if (!error)
        return;
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    const char* source = parser && parser->_private ? static_cast<const char*>(parser->_private) : "XML";
    const char* message = error->message ? error->message : "XML error\n";
    if (error->level == XML_ERR_WARNING)
        LogDebug("%s:%d: %s", source, error->line, message);
    else
        LogError("%s:%d: %s", source, error->line, message);
}

/* Parses a file (buffer null) or a buffer with libxml2's messages sent to
 * the log: no network, default limits (no XML_PARSE_HUGE), no entity
 * substitution. Null when the document is not well-formed. */
xmlDoc* ParseDocument(const char* path, const char* buffer, int32_t length)
{
    xmlInitParser();
    xmlParserCtxtPtr parser = xmlNewParserCtxt();
    if (!parser)
        return nullptr;
    parser->_private = const_cast<char*>(path ? path : "XML buffer");
    parser->sax->serror = ForwardXmlError;
    const int options = XML_PARSE_NONET;
    xmlDoc* document = buffer ? xmlCtxtReadMemory(parser, buffer, length, nullptr, nullptr, options)
                              : xmlCtxtReadFile(parser, path, nullptr, options);
    if (document && !parser->wellFormed) {
        xmlFreeDoc(document);
        document = nullptr;
    }
    xmlFreeParserCtxt(parser);
    return document;
}

/* Loads a parsed document and reports a failure with the caller's line. */
int LoadParsed(xmlDoc* document, const char* failureLine)
{
    StringHashTable* map = nullptr;
    int result = LoadDocument(document, nullptr, &map);
    FreeXmlIdentifierMap(map);
    xmlFreeDoc(document);
    if (result != VELMORA_SUCCESS)
        LogError("%s", failureLine);
    return result;
}

} // namespace

extern "C" int LoadTableDataFromXMLFile(const char* path)
{
    LogTrace("@@@ Inside LoadTableDataFromXMLFile @@@\n");
    if (!path) {
        LogError("LoadTableDataFromXMLFile : path is NULL\n");
        return VELMORA_FAILURE;
    }
    xmlDoc* document = ParseDocument(path, nullptr, 0);
    if (!document) {
        LogError("error: could not parse file %s\n", path);
        return VELMORA_FAILURE;
    }
    return LoadParsed(document, "Cannot construct table data from XML file.\n");
}

extern "C" int LoadTableDataFromXMLBuffer(const char* buffer, int32_t length)
{
    LogTrace("@@@ Inside LoadTableDataFromXMLBuffer @@@\n");
    if (!buffer || length < 1) {
        LogError("LoadTableDataFromXMLBuffer : no buffer\n");
        return VELMORA_FAILURE;
    }
    xmlDoc* document = ParseDocument(nullptr, buffer, length);
    if (!document) {
        LogError("error: could not parse buffer\n");
        return VELMORA_FAILURE;
    }
    return LoadParsed(document, "Cannot construct table data from XML buffer.\n");
}

extern "C" StringHashTable* LoadTableDataFromXMLNode(struct _xmlDoc* document, struct _xmlNode* node)
{
    LogTrace("@@@ Inside LoadTableDataFromXMLNode @@@\n");
    StringHashTable* map = nullptr;
    if (!document || LoadDocument(document, node, &map) != VELMORA_SUCCESS) {
        LogError("Cannot construct table data from buffer node.\n");
        return nullptr;
    }
    return map;
}
