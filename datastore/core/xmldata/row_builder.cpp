/*
 * One element becomes one row: its attributes give column values, columns
 * it does not write inherit key values from the elements around it, and
 * the row is added with AddNewRow.
 */
#include <stdlib.h>
#include <string.h>

#include "runtime/log.h"
#include "tables/tables_internal.h"
#include "velmora/base_alloc.h"
#include "velmora/string_routines.h"
#include "xmldata/xmldata_internal.h"

namespace velmora_xmldata {

namespace {

const char* Text(const xmlChar* text) { return reinterpret_cast<const char*>(text); }

/* The column values of a row being built; freed unless handed over. */
class RowValues {
public:
    explicit RowValues(int32_t count) : count_(count)
    {
        values_ = static_cast<void**>(BriCalloc(static_cast<size_t>(count), sizeof(void*)));
        lengths_ = static_cast<int32_t*>(BriCalloc(static_cast<size_t>(count), sizeof(int32_t)));
    }
    ~RowValues()
    {
        if (values_)
            for (int32_t i = 0; i < count_; i++)
                free(values_[i]);
        free(values_);
        free(lengths_);
    }
    RowValues(const RowValues&) = delete;
    RowValues& operator=(const RowValues&) = delete;

    bool Allocated() const { return values_ && lengths_; }
    void** Value(int32_t i) { return &values_[i]; }
    int32_t* Length(int32_t i) { return &lengths_[i]; }
    /* The row object holding the values (which it then owns), or null. */
    RowObject* Hand()
    {
        RowObject* row = CreateNewRowObject(values_, lengths_);
        if (row)
            values_ = nullptr, lengths_ = nullptr;
        return row;
    }

private:
    int32_t count_;
    void** values_;
    int32_t* lengths_;
};

/* Replaces *value by a converted text (a text that is no longer needed
 * afterwards). */
int ReplaceByText(StringHashTable* map, const TableDefn* table, const ColumnDefn* column, const char* text,
                  void** value, int32_t* length)
{
    void* converted;
    int32_t convertedLength;
    int result = ConvertColumnText(map, table, column, text, &converted, &convertedLength);
    if (result != VELMORA_SUCCESS)
        return result;
    free(*value);
    *value = converted;
    *length = convertedLength;
    return VELMORA_SUCCESS;
}

/* Replaces *value by the value another row holds for a column of type
 * from: the bytes when the types agree, else through its text form. */
int ReplaceByRowValue(const void* source, int32_t sourceLength, uint8_t from, const ColumnDefn* column, void** value,
                      int32_t* length)
{
    void* copy;
    int32_t copyLength = sourceLength;
    if (from == column->type) {
        copy = velmora_tables::CopyValue(source, sourceLength);
        if (!copy)
            return VELMORA_ALLOC_FAILURE;
    } else {
        char* text = ColumnValueToString(source, sourceLength, from);
        if (!text)
            return VELMORA_ALLOC_FAILURE;
        int result = AllocateAndCopyColumnValue(&copy, &copyLength, column->type, text);
        free(text);
        if (result != VELMORA_SUCCESS)
            return result;
    }
    free(*value);
    *value = copy;
    *length = copyLength;
    return VELMORA_SUCCESS;
}

const ColumnDefn* ColumnAtIndex(const TableDefn* table, int32_t index)
{
    LCDNode* node = table->columns->head;
    for (; node && index > 0; index--)
        node = node->next;
    return node ? static_cast<const ColumnDefn*>(node->data) : nullptr;
}

/* Walks the elements nested below root in document order, without
 * recursion. */
class Descendants {
public:
    explicit Descendants(xmlNode* root) : root_(root), at_(root) { }
    xmlNode* Next()
    {
        xmlNode* next = FirstElement(at_->children);
        while (!next && at_ != root_) {
            next = FirstElement(at_->next);
            if (!next)
                at_ = at_->parent;
        }
        if (next)
            at_ = next;
        return next;
    }

private:
    static xmlNode* FirstElement(xmlNode* node)
    {
        while (node && node->type != XML_ELEMENT_NODE)
            node = node->next;
        return node;
    }
    xmlNode* root_;
    xmlNode* at_;
};

/* The value of a foreign-key column the element does not write (see
 * velmora/table_xml.h). *value keeps its default when nothing is found. */
int InheritForeignKey(StringHashTable* map, const TableDefn* table, const ColumnDefn* column, const ForeignKeyDefn* key,
                      xmlNode* element, const Ancestry& ancestry, void** value, int32_t* length)
{
    bool noMemory = false;
    for (int32_t i = ancestry.count - 1; i >= 0; i--) {
        const Enclosing& around = ancestry.enclosing[i];
        xmlChar* text = ElementAttribute(around.element, key->referenceColumn, &noMemory);
        if (noMemory)
            return VELMORA_ALLOC_FAILURE;
        if (text) {
            int result = ReplaceByText(map, table, column, Text(text), value, length);
            xmlFree(text);
            return result;
        }
        // A row of the referenced table that does not write the column
        // passes on what it received (inherited, generated or default).
        if (around.row && CompareNoCase(around.table->name, key->referenceTable) == 0) {
            int32_t index = ColumnIndex(around.table, key->referenceColumn, around.columnCount);
            const ColumnDefn* source = index < 0 ? nullptr : ColumnAtIndex(around.table, index);
            if (source && source->type != BRI_SQL_NOT_SUPPORTED_TYPE && source->type <= BRI_SQL_MAX_TYPE &&
                around.row->values[index])
                return ReplaceByRowValue(around.row->values[index], around.row->lengths[index], source->type, column,
                                         value, length);
        }
    }
    Descendants below(element);
    while (xmlNode* nested = below.Next()) {
        if (CompareNoCase(Text(nested->name), key->referenceTable) != 0)
            continue;
        xmlChar* text = ElementAttribute(nested, key->referenceColumn, &noMemory);
        if (noMemory)
            return VELMORA_ALLOC_FAILURE;
        if (text) {
            int result = ReplaceByText(map, table, column, Text(text), value, length);
            xmlFree(text);
            return result;
        }
    }
    return VELMORA_SUCCESS;
}

/* The value of a primary-key column (no foreign key) the element does not
 * write: the attribute of the nearest enclosing element that has one. */
int InheritPrimaryKey(StringHashTable* map, const TableDefn* table, const ColumnDefn* column, const Ancestry& ancestry,
                      void** value, int32_t* length)
{
    bool noMemory = false;
    for (int32_t i = ancestry.count - 1; i >= 0; i--) {
        xmlChar* text = ElementAttribute(ancestry.enclosing[i].element, column->name, &noMemory);
        if (noMemory)
            return VELMORA_ALLOC_FAILURE;
        if (text) {
            int result = ReplaceByText(map, table, column, Text(text), value, length);
            xmlFree(text);
            return result;
        }
    }
    return VELMORA_SUCCESS;
}

bool IsPrimaryKey(const TableDefn* table, const char* column)
{
    const ConstraintDefn* constraints = table->constraints;
    for (int32_t i = 0; constraints && constraints->primaryKeys && i < constraints->primaryKeyCount; i++)
        if (constraints->primaryKeys[i] && CompareNoCase(constraints->primaryKeys[i], column) == 0)
            return true;
    return false;
}

/* A column the element does not write: its default, replaced by an
 * inherited key value when there is one. */
int UnwrittenColumn(StringHashTable* map, const TableDefn* table, const ColumnDefn* column, xmlNode* element,
                    const Ancestry& ancestry, void** value, int32_t* length)
{
    if (column->defaultValue) {
        *value = velmora_tables::CopyValue(column->defaultValue, column->defaultLength);
        if (!*value)
            return VELMORA_ALLOC_FAILURE;
        *length = column->defaultLength;
    }
    if (const ForeignKeyDefn* key = ForeignKeyOf(table, column->name))
        return InheritForeignKey(map, table, column, key, element, ancestry, value, length);
    if (IsPrimaryKey(table, column->name))
        return InheritPrimaryKey(map, table, column, ancestry, value, length);
    return VELMORA_SUCCESS;
}

void TraceForeignKeys(const TableDefn* table)
{
    if (!table->constraints || !table->constraints->foreignKeys)
        return;
    for (LCDNode* node = table->constraints->foreignKeys->head; node; node = node->next) {
        const auto* key = static_cast<const ForeignKeyDefn*>(node->data);
        LogTrace("Column Name : %s\n", key->localColumn);
        LogTrace("Ref Column  : %s\n", key->referenceColumn);
        LogTrace("Tablename : %s\n", key->referenceTable);
    }
}

} // namespace

xmlChar* AttributeValue(xmlAttr* attribute, bool* noMemory)
{
    // Entity references in the value are expanded; an attribute without
    // text reads as "".
    xmlChar* value = attribute->children ? xmlNodeListGetString(attribute->doc, attribute->children, 1) : nullptr;
    if (!value)
        value = xmlStrdup(reinterpret_cast<const xmlChar*>(""));
    if (!value)
        *noMemory = true;
    return value;
}

xmlChar* ElementAttribute(xmlNode* element, const char* name, bool* noMemory)
{
    for (xmlAttr* attribute = element->properties; attribute; attribute = attribute->next)
        if (attribute->name && CompareNoCase(Text(attribute->name), name) == 0)
            return AttributeValue(attribute, noMemory);
    return nullptr;
}

int BuildAndAddRow(StringHashTable* map, TableData* table, xmlNode* element, const Ancestry& ancestry,
                   RowObject** added)
{
    const TableDefn* definition = table->tableDefn;
    int32_t count = table->columnCount;
    if (!definition || count <= 0) {
        LogError("Table %s has no columns to load\n", table->name);
        return VELMORA_FAILURE;
    }
    XmlRowAttributes* attributes = GetXmlRowAttributes(element);
    if (!attributes)
        return VELMORA_ALLOC_FAILURE;
    TraceForeignKeys(definition);
    RowValues values(count);
    int result = values.Allocated() ? VELMORA_SUCCESS : VELMORA_ALLOC_FAILURE;
    int32_t index = 0;
    for (LCDNode* node = definition->columns->head; node && index < count && result == VELMORA_SUCCESS;
         node = node->next, index++) {
        const auto* column = static_cast<const ColumnDefn*>(node->data);
        if (!column || !column->name)
            continue;
        if (const char* text = FindXmlRowAttribute(attributes, column->name))
            result = ConvertColumnText(map, definition, column, text, values.Value(index), values.Length(index));
        else
            result =
                UnwrittenColumn(map, definition, column, element, ancestry, values.Value(index), values.Length(index));
    }
    FreeXmlRowAttributes(attributes);
    if (result != VELMORA_SUCCESS)
        return result;
    RowObject* row = values.Hand();
    if (!row)
        return VELMORA_ALLOC_FAILURE;
    result = AddNewRow(table->name, row);
    if (result != VELMORA_SUCCESS) {
        FreeRowObject(row, count);
        return result;
    }
    *added = row;
    return VELMORA_SUCCESS;
}

} // namespace velmora_xmldata

using velmora_xmldata::Text;

namespace {

void FreeAttributeText(XmlAttributeText* attribute)
{
    if (!attribute)
        return;
    free(attribute->name);
    free(attribute->value);
    free(attribute);
}

/* A copy of one attribute, appended to the record's vector: 1 or 99. */
int CopyAttribute(xmlAttr* attribute, XmlRowAttributes* record)
{
    bool noMemory = false;
    xmlChar* value = velmora_xmldata::AttributeValue(attribute, &noMemory);
    if (!value)
        return VELMORA_ALLOC_FAILURE;
    auto* copy = static_cast<XmlAttributeText*>(BriCalloc(1, sizeof(XmlAttributeText)));
    if (copy) {
        copy->name = BriStrdup(Text(attribute->name));
        copy->value = BriStrdup(Text(value));
    }
    xmlFree(value);
    if (!copy || !copy->name || !copy->value || AddElementData(record->attributes, copy) != VELMORA_SUCCESS) {
        FreeAttributeText(copy);
        return VELMORA_ALLOC_FAILURE;
    }
    return VELMORA_SUCCESS;
}

} // namespace

extern "C" XmlRowAttributes* GetXmlRowAttributes(struct _xmlNode* element)
{
    if (!element || element->type != XML_ELEMENT_NODE || !element->name)
        return nullptr;
    auto* record = static_cast<XmlRowAttributes*>(BriCalloc(1, sizeof(XmlRowAttributes)));
    if (!record)
        return nullptr;
    record->elementName = BriStrdup(Text(element->name));
    record->attributes = CreateVector();
    if (!record->elementName || !record->attributes) {
        FreeXmlRowAttributes(record);
        return nullptr;
    }
    for (xmlAttr* attribute = element->properties; attribute; attribute = attribute->next) {
        if (attribute->name && CopyAttribute(attribute, record) != VELMORA_SUCCESS) {
            FreeXmlRowAttributes(record);
            return nullptr;
        }
    }
    return record;
}

extern "C" const char* FindXmlRowAttribute(const XmlRowAttributes* attributes, const char* name)
{
    if (!attributes || !attributes->attributes || !name)
        return nullptr;
    for (LCDNode* node = attributes->attributes->head; node; node = node->next) {
        const auto* attribute = static_cast<const XmlAttributeText*>(node->data);
        if (CompareNoCase(attribute->name, name) == 0)
            return attribute->value;
    }
    return nullptr;
}

extern "C" void FreeXmlRowAttributes(XmlRowAttributes* attributes)
{
    if (!attributes)
        return;
    if (attributes->attributes) {
        for (LCDNode* node = attributes->attributes->head; node; node = node->next)
            FreeAttributeText(static_cast<XmlAttributeText*>(node->data));
        FreeVector(attributes->attributes);
        free(attributes->attributes);
    }
    free(attributes->elementName);
    free(attributes);
}
