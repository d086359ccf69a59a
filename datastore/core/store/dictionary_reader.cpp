/*
 * The streaming pass over one data-dictionary file.
 *
 * libxml2's text reader delivers the document node by node; this pass
 * copies one table element at a time into a tree of tag records and hands
 * it to the builder. Structure errors that leave the XML well-formed (a
 * child element where text belongs, a 'to' where a 'value' should end) are
 * noticed here: the table is logged, dropped, and the reader skips to the
 * table's end tag. Well-formedness errors come back from the reader as -1
 * and end the file.
 */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>

#include "dictionary_internal.h"
#include "runtime/log.h"
#include "velmora/base_alloc.h"
#include "velmora/string_routines.h"

namespace {

enum class Step {
    kOk,
    kMalformed,   // logged; the table is dropped, the file goes on
    kReaderError, // the reader failed: the file ends
    kNoMemory,    // logged; the table is dropped
};

/* Appends records to a parent's children (or to a chain) in order. */
class ChildList {
public:
    explicit ChildList(XmlTagInfo* parent) : tail_(&parent->firstChild) { }
    void Add(XmlTagInfo* record)
    {
        *tail_ = record;
        tail_ = &record->nextSibling;
    }

private:
    XmlTagInfo** tail_;
};

bool NameIs(const xmlChar* name, const char* expected)
{
    return name && CompareNoCase(reinterpret_cast<const char*>(name), expected) == 0;
}

#if LIBXML_VERSION >= 21200
void ForwardXmlError(void* context, const xmlError* error)
#else
void ForwardXmlError(void* context, xmlErrorPtr error)
#endif
{
    if (!error)
        return;
    const char* path = static_cast<const char*>(context);
    LogError("%s:%d: %s", path, error->line, error->message ? error->message : "XML error\n");
}

class TableReader {
public:
    TableReader(xmlTextReaderPtr reader, const char* path) : reader_(reader), path_(path) { }

    /* Reads nodes until one that is neither white space, a comment nor a
     * processing instruction: 1, 0 at the end, -1 on error. */
    int Next()
    {
        for (;;) {
            int result = xmlTextReaderRead(reader_);
            if (result != 1)
                return result;
            switch (xmlTextReaderNodeType(reader_)) {
            case XML_READER_TYPE_WHITESPACE:
            case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
            case XML_READER_TYPE_COMMENT:
            case XML_READER_TYPE_PROCESSING_INSTRUCTION:
            case XML_READER_TYPE_DOCUMENT_TYPE:
            case XML_READER_TYPE_XML_DECLARATION:
                continue;
            default:
                return 1;
            }
        }
    }

    int Type() { return xmlTextReaderNodeType(reader_); }
    const xmlChar* Name() { return xmlTextReaderConstName(reader_); }
    int Depth() { return xmlTextReaderDepth(reader_); }
    bool IsEnd(int depth) { return Type() == XML_READER_TYPE_END_ELEMENT && Depth() == depth; }

    /* A record for the current element, named as written. */
    Step NewRecord(XmlTagInfo** out, bool with_attributes)
    {
        *out = CreateandInitXmlTagInfo();
        if (!*out)
            return NoMemory();
        (*out)->tagName = BriStrdup(reinterpret_cast<const char*>(Name()));
        if (!(*out)->tagName || (with_attributes && AllocateAndStrcpyAttrib(reader_, *out) != VELMORA_SUCCESS)) {
            FreeXmlTagInfoList(*out);
            *out = nullptr;
            return NoMemory();
        }
        return Step::kOk;
    }

    /* The text content of the current element into record (an empty
     * element gives ""). Any child element is an error: missing_end is
     * logged (a format with one %s for the element's name). */
    Step ReadText(XmlTagInfo* record, const char* missing_end)
    {
        if (xmlTextReaderIsEmptyElement(reader_))
            return AddXmlTagText(record, "") == VELMORA_SUCCESS ? Step::kOk : NoMemory();
        int depth = Depth();
        char* text = nullptr;
        size_t size = 0;
        size_t capacity = 0;
        Step step = Step::kOk;
        for (;;) {
            int result = Next();
            if (result < 0) {
                step = ReaderError();
                break;
            }
            if (result == 0 || Type() == XML_READER_TYPE_ELEMENT) {
                LogError(missing_end, record->tagName);
                step = result == 0 ? Step::kReaderError : Step::kMalformed;
                break;
            }
            if (IsEnd(depth))
                break;
            if (Type() == XML_READER_TYPE_TEXT || Type() == XML_READER_TYPE_CDATA) {
                // Text split by a comment or a CDATA section is joined. The
                // buffer grows by doubling, so that thousands of pieces are
                // not copied over and over.
                const char* piece = reinterpret_cast<const char*>(xmlTextReaderConstValue(reader_));
                size_t piece_size = piece ? strlen(piece) : 0;
                if (piece_size >= SIZE_MAX / 2 - size) {
                    step = NoMemory();
                    break;
                }
                if (size + piece_size + 1 > capacity) {
                    size_t grown_capacity = capacity <= SIZE_MAX / 4 ? capacity * 2 : 0;
                    if (grown_capacity < size + piece_size + 1)
                        grown_capacity = size + piece_size + 1;
                    auto* grown = static_cast<char*>(BriMalloc(grown_capacity));
                    if (!grown) {
                        step = NoMemory();
                        break;
                    }
                    if (size)
                        memcpy(grown, text, size);
                    free(text);
                    text = grown;
                    capacity = grown_capacity;
                }
                if (piece_size)
                    memcpy(text + size, piece, piece_size);
                size += piece_size;
                text[size] = '\0';
            }
        }
        if (step == Step::kOk && AddXmlTagText(record, text ? text : "") != VELMORA_SUCCESS)
            step = NoMemory();
        free(text);
        return step;
    }

    /* A text element as a new child record of list. */
    Step TextChild(ChildList& list, const char* missing_end)
    {
        XmlTagInfo* record;
        Step step = NewRecord(&record, false);
        if (step != Step::kOk)
            return step;
        list.Add(record);
        return ReadText(record, missing_end);
    }

    /* Skips the current element with everything inside it: a walk over its
     * children that reads each and keeps nothing. */
    Step SkipElement()
    {
        return Children([] { return Step::kOk; });
    }

    Step SkipUnknown(const char* where)
    {
        LogError("Element %s in %s ignored\n", reinterpret_cast<const char*>(Name()), where);
        return SkipElement();
    }

    /* Walks the children of the current element: handle(kind) is called on
     * each child element; text between elements is skipped. */
    template <typename Handler> Step Children(Handler handle)
    {
        if (xmlTextReaderIsEmptyElement(reader_))
            return Step::kOk;
        int depth = Depth();
        for (;;) {
            int result = Next();
            if (result != 1)
                return ReaderError();
            if (IsEnd(depth))
                return Step::kOk;
            if (Type() != XML_READER_TYPE_ELEMENT)
                continue;
            Step step = handle();
            if (step != Step::kOk)
                return step;
        }
    }

    /* A new record for the current element, appended to parent, whose
     * child elements go to handle(record, children) in turn. */
    template <typename Handler> Step Element(ChildList& parent, bool with_attributes, Handler handle)
    {
        XmlTagInfo* record;
        Step step = NewRecord(&record, with_attributes);
        if (step != Step::kOk)
            return step;
        parent.Add(record);
        ChildList children(record);
        return Children([&]() { return handle(record, children); });
    }

    /* An element (named tag) whose children are all child_tag elements,
     * each read by read_child; anything else is logged and skipped. */
    template <typename Reader>
    Step ListElement(ChildList& parent, const char* tag, const char* child_tag, Reader read_child)
    {
        return Element(parent, false, [&](XmlTagInfo*, ChildList& children) -> Step {
            if (NameIs(Name(), child_tag))
                return read_child(children);
            return SkipUnknown(tag);
        });
    }

    Step Table(XmlTagInfo** out)
    {
        *out = nullptr;
        if (Type() != XML_READER_TYPE_ELEMENT || !NameIs(Name(), "table")) {
            LogError("\nTABLE tag missing\n");
            return Step::kMalformed;
        }
        XmlTagInfo* table;
        Step step = NewRecord(&table, true);
        if (step != Step::kOk)
            return step;
        *out = table;
        const char* name = GetXmlTagAttrib(table, "name");
        LogTrace("@@@@ Parsing Table Info : %s @@@@\n", name ? name : "");
        ChildList children(table);
        bool first = true;
        return Children([&]() -> Step {
            const xmlChar* tag = Name();
            Step child;
            if (NameIs(tag, "description")) {
                if (!first)
                    LogError("\nDescription tag ambiguity \n");
                child = TextChild(children, "\nNo ending %s tag\n");
            } else if (NameIs(tag, "columns")) {
                child = Columns(children);
            } else if (NameIs(tag, "primary-key")) {
                child = PrimaryKey(children);
            } else if (NameIs(tag, "foreign-keys")) {
                child = ForeignKeys(children);
            } else {
                child = SkipUnknown(name ? name : "table");
            }
            first = false;
            return child;
        });
    }

    Step Columns(ChildList& parent)
    {
        return ListElement(parent, "columns", "column", [&](ChildList& columns) { return Column(columns); });
    }

    Step Column(ChildList& parent)
    {
        static const char* const kTextChildren[] = {"data-type",     "nullable", "max-size",
                                                    "default-value", "unique",   "description"};
        return Element(parent, true, [&](XmlTagInfo* column, ChildList& children) -> Step {
            const xmlChar* tag = Name();
            for (const char* text_child : kTextChildren)
                if (NameIs(tag, text_child))
                    return TextChild(children, "\nNo ending %s tag\n");
            if (NameIs(tag, "uniquevalue-generation"))
                return ListElement(children, "uniquevalue-generation", "generator-name",
                                   [&](ChildList& names) { return TextChild(names, "\nNo ending %s tag\n"); });
            if (NameIs(tag, "allowed-values"))
                return AllowedValues(children);
            const char* name = GetXmlTagAttrib(column, "name");
            return SkipUnknown(name ? name : "column");
        });
    }

    Step AllowedValues(ChildList& parent)
    {
        XmlTagInfo* values = nullptr; // all value texts collapse into this one
        return Element(parent, false, [&](XmlTagInfo*, ChildList& children) -> Step {
            const xmlChar* tag = Name();
            if (NameIs(tag, "value")) {
                if (!values) {
                    Step made = NewRecord(&values, false);
                    if (made != Step::kOk)
                        return made;
                    children.Add(values);
                }
                return ReadText(values, "\n No ending Value tag\n");
            }
            if (NameIs(tag, "from"))
                return TextChild(children, "\nNo Ending FROM tag \n");
            if (NameIs(tag, "to"))
                return TextChild(children, "\nNo ending TO tag \n");
            return SkipUnknown("allowed-values");
        });
    }

    Step PrimaryKey(ChildList& parent)
    {
        return ListElement(parent, "primary-key", "primary-key-column",
                           [&](ChildList& keys) { return TextChild(keys, "\nMissing primary-key-column end tag\n"); });
    }

    Step ForeignKeys(ChildList& parent)
    {
        return ListElement(parent, "foreign-keys", "foreign-key", [&](ChildList& keys) { return ForeignKey(keys); });
    }

    Step ForeignKey(ChildList& parent)
    {
        return Element(parent, true, [&](XmlTagInfo*, ChildList& children) -> Step {
            const xmlChar* tag = Name();
            if (NameIs(tag, "fk-columns"))
                return FkColumns(children);
            if (NameIs(tag, "fk-column")) // pairs written without fk-columns
                return FkColumn(children);
            if (NameIs(tag, "fk-constraints"))
                return TextChild(children, "\nMissing endof FK-CONSTRAINTS tag\n");
            return SkipUnknown("foreign-key");
        });
    }

    Step FkColumns(ChildList& parent)
    {
        return Element(parent, false, [&](XmlTagInfo*, ChildList& children) -> Step {
            if (NameIs(Name(), "fk-column"))
                return FkColumn(children);
            LogError("\nMissing end FK-COLUMNS\n");
            return Step::kMalformed;
        });
    }

    Step FkColumn(ChildList& parent)
    {
        return Element(parent, false, [&](XmlTagInfo*, ChildList& children) -> Step {
            const xmlChar* tag = Name();
            if (NameIs(tag, "fk-local-column"))
                return TextChild(children, "\n Missing endof FK-LOCAL-COLUMN tag\n");
            if (NameIs(tag, "fk-reference-column"))
                return TextChild(children, "\nMissing endof FK-REFERENCE-COLUMN\n");
            return SkipUnknown("fk-column");
        });
    }

    /* After a dropped table: on to the end tag of the table element that
     * starts at depth. False when the reader fails or the document ends. */
    bool SkipToEndOf(int depth)
    {
        if (Type() == XML_READER_TYPE_END_ELEMENT && Depth() == depth)
            return true;
        for (;;) {
            if (Next() != 1)
                return false;
            if (Depth() < depth)
                return true;
            if (IsEnd(depth))
                return true;
        }
    }

    Step ReaderError()
    {
        LogError("\nxmlTextReaderRead returned error \n");
        return Step::kReaderError;
    }

    Step NoMemory()
    {
        LogError("MEMORY_ALLOCATION_FAILURE\n");
        return Step::kNoMemory;
    }

    xmlTextReaderPtr reader_;
    const char* path_;
};

} // namespace

extern "C" int XmlDataParser(const char* path)
{
    if (!path)
        return VELMORA_FAILURE;
    xmlInitParser();
    // No network access for external entities; libxml2's default limits
    // on depth and text size stay in force (no XML_PARSE_HUGE).
    xmlTextReaderPtr reader = xmlReaderForFile(path, nullptr, XML_PARSE_NONET);
    if (!reader) {
        LogError("Unable to open %s\n", path);
        return VELMORA_SUCCESS;
    }
    xmlTextReaderSetStructuredErrorHandler(reader, ForwardXmlError, const_cast<char*>(path));
    TableReader tables(reader, path);
    int result = tables.Next();
    while (result == 1) {
        if (tables.Type() == XML_READER_TYPE_ELEMENT && NameIs(tables.Name(), "table")) {
            int depth = tables.Depth();
            XmlTagInfo* tree = nullptr;
            Step step = tables.Table(&tree);
            if (step == Step::kOk) {
                int built = BuildTableDefnFromTags(tree);
                if (built == VELMORA_ALLOC_FAILURE)
                    LogError("MEMORY_ALLOCATION_FAILURE\n");
            }
            FreeXmlTagInfoList(tree);
            if (step == Step::kReaderError) {
                result = -1;
                break;
            }
            if (step != Step::kOk && !tables.SkipToEndOf(depth)) {
                result = -1;
                break;
            }
        } else if (tables.Type() == XML_READER_TYPE_ELEMENT && NameIs(tables.Name(), "description")) {
            // A description of the whole dictionary: read and dropped.
            XmlTagInfo* record = CreateandInitXmlTagInfo();
            if (!record) {
                LogError("MEMORY_ALLOCATION_FAILURE\n");
                result = -1;
                break;
            }
            record->tagName = nullptr;
            Step step = tables.ReadText(record, "\nNo Description end tag\n");
            FreeXmlTagInfoList(record);
            if (step != Step::kOk) {
                result = -1;
                break;
            }
        }
        result = tables.Next();
    }
    if (result != 0)
        LogError("%s : failed to parse\n", path);
    xmlFreeTextReader(reader);
    return VELMORA_SUCCESS;
}
