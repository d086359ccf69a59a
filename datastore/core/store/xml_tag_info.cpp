/*
 * Tag records: the tree one table element is read into.
 */
#include <stdlib.h>
#include <string.h>

#include <libxml/xmlreader.h>

#include "dictionary_internal.h"
#include "runtime/log.h"
#include "velmora/base_alloc.h"
#include "velmora/string_routines.h"

namespace {

const char* const kKnownAttributes[] = {"name", "system", "reference-table-name", "isbidirectional"};
constexpr int kKnownAttributeCount = 4;

void FreeAttributes(XmlTagInfo* record)
{
    FreeStringArray(record->attribNames, record->attribCount);
    FreeStringArray(record->attribValues, record->attribCount);
    record->attribNames = nullptr;
    record->attribValues = nullptr;
    record->attribCount = 0;
}

bool IsPowerOfTwo(int32_t n) { return n > 0 && (n & (n - 1)) == 0; }

} // namespace

extern "C" XmlTagInfo* CreateandInitXmlTagInfo(void)
{
    return static_cast<XmlTagInfo*>(BriCalloc(1, sizeof(XmlTagInfo)));
}

extern "C" void FreeXmlTagInfoList(XmlTagInfo* record)
{
    // Siblings iteratively, children recursively: columns can be many,
    // nesting is shallow.
    while (record) {
        XmlTagInfo* next = record->nextSibling;
        FreeXmlTagInfoList(record->firstChild);
        free(record->tagName);
        FreeAttributes(record);
        FreeStringArray(record->textValues, record->textValueCount);
        free(record);
        record = next;
    }
}

extern "C" int AllocateAndStrcpyAttrib(struct _xmlTextReader* reader, XmlTagInfo* record)
{
    if (!reader || !record)
        return VELMORA_FAILURE;
    FreeAttributes(record);
    record->attribNames = static_cast<char**>(BriCalloc(kKnownAttributeCount + 1, sizeof(char*)));
    record->attribValues = static_cast<char**>(BriCalloc(kKnownAttributeCount + 1, sizeof(char*)));
    if (!record->attribNames || !record->attribValues) {
        free(record->attribNames);
        free(record->attribValues);
        record->attribNames = record->attribValues = nullptr;
        return VELMORA_ALLOC_FAILURE;
    }
    for (const char* name : kKnownAttributes) {
        xmlChar* value = xmlTextReaderGetAttribute(reader, reinterpret_cast<const xmlChar*>(name));
        if (!value)
            continue;
        int32_t at = record->attribCount;
        record->attribNames[at] = BriStrdup(name);
        record->attribValues[at] = BriStrdup(reinterpret_cast<const char*>(value));
        xmlFree(value);
        record->attribCount++;
        if (!record->attribNames[at] || !record->attribValues[at]) {
            FreeAttributes(record);
            return VELMORA_ALLOC_FAILURE;
        }
    }
    if (xmlTextReaderAttributeCount(reader) > record->attribCount)
        LogError("\n Not all Attributes were read\n");
    return VELMORA_SUCCESS;
}

int AddXmlTagText(XmlTagInfo* record, const char* text)
{
    int32_t count = record->textValueCount;
    if (count >= INT32_MAX / 2)
        return VELMORA_ALLOC_FAILURE;
    char* copy = BriStrdup(text ? text : "");
    if (!copy)
        return VELMORA_ALLOC_FAILURE;
    // The capacity is implied by the count: the array holds the next power
    // of two at least count + 1 entries, plus a null end.
    if (count == 0 || IsPowerOfTwo(count)) {
        int32_t capacity = count == 0 ? 1 : count * 2;
        auto** grown = static_cast<char**>(BriCalloc(static_cast<size_t>(capacity) + 1, sizeof(char*)));
        if (!grown) {
            free(copy);
            return VELMORA_ALLOC_FAILURE;
        }
        if (count)
            memcpy(grown, record->textValues, sizeof(char*) * static_cast<size_t>(count));
        free(record->textValues);
        record->textValues = grown;
    }
    record->textValues[count] = copy;
    record->textValueCount = count + 1;
    return VELMORA_SUCCESS;
}

const char* GetXmlTagAttrib(const XmlTagInfo* record, const char* name)
{
    for (int32_t i = 0; record && i < record->attribCount; i++)
        if (strcmp(record->attribNames[i], name) == 0)
            return record->attribValues[i];
    return nullptr;
}

const char* GetXmlTagText(const XmlTagInfo* record)
{
    return record && record->textValueCount > 0 ? record->textValues[0] : nullptr;
}
