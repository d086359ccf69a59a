/*
 * Shared by the table-data loader's sources: the identifier map, the
 * conversion of one attribute text into a column value, and building one
 * row from an element.
 */
#ifndef VELMORA_XMLDATA_INTERNAL_H
#define VELMORA_XMLDATA_INTERNAL_H

#include <stdint.h>

#include <libxml/tree.h>

#include "velmora/table_data.h"
#include "velmora/table_xml.h"

namespace velmora_xmldata {

/* Stores identifier under key, replacing the identifier of a key that is
 * there. 1, or 99 when memory runs out (the map is then unchanged). */
int PutIdentifier(StringHashTable* map, const char* key, int32_t identifier);

/* The value of a column from a text written for it (an attribute of the
 * row or inherited), symbolic identifiers resolved through map: into *value
 * and *length. 1; 0 when the text does not convert (logged); 99 when
 * memory runs out. On failure *value is null. */
int ConvertColumnText(StringHashTable* map, const TableDefn* table, const ColumnDefn* column, const char* text,
                      void** value, int32_t* length);

/* One enclosing element of the element being loaded: the element and, when
 * it was loaded as a row, its table's definition and its row. */
struct Enclosing {
    xmlNode* element;
    const TableDefn* table; /* null for a container */
    const RowObject* row;   /* null for a container */
    int32_t columnCount;
};

/* The elements enclosing the one being loaded: enclosing[0] is the
 * outermost (the root), enclosing[count - 1] the element's parent. */
struct Ancestry {
    const Enclosing* enclosing;
    int32_t count;
};

/* Builds the row of element for table and adds it with AddNewRow: 1 and
 * the added row in *added; 0 when a value does not convert or the row is
 * refused; 99 when memory runs out. Nothing is added on failure. */
int BuildAndAddRow(StringHashTable* map, TableData* table, xmlNode* element, const Ancestry& ancestry,
                   RowObject** added);

/* The attribute's value as a libxml2 string (xmlFree); "" for an empty
 * one. Null, with *noMemory set, when it cannot be read. */
xmlChar* AttributeValue(xmlAttr* attribute, bool* noMemory);

/* The value of the element's attribute whose name matches name
 * case-insensitively, as a libxml2 string (xmlFree), or null. *noMemory is
 * set when the attribute is there but its value cannot be read. */
xmlChar* ElementAttribute(xmlNode* element, const char* name, bool* noMemory);

/* Position of the column named name in the definition, case-insensitively,
 * below count; -1 when there is none. */
int32_t ColumnIndex(const TableDefn* table, const char* name, int32_t count);

/* The foreign key of the definition whose local column matches column
 * case-insensitively, or null (nothing logged). */
const ForeignKeyDefn* ForeignKeyOf(const TableDefn* table, const char* column);

} // namespace velmora_xmldata

#endif
