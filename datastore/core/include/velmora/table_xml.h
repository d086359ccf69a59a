/*
 * Table data written as XML: initial and default rows of the in-memory
 * tables.
 *
 *   <Data>                                     (the root: a container)
 *     <WorkflowList>                           (names no table: a container)
 *       <Workflow ID="Workflow:ID:main" Name="Main">
 *         <Step Label="first"/>                (inherits WorkflowID)
 *       </Workflow>
 *     </WorkflowList>
 *   </Data>
 *
 * Every element below the root, at any depth and in document order, is a
 * row of the table its name names (case-insensitively); the table is
 * created with CreateTable when it does not exist yet. Its attributes are
 * column values (attribute names match column names case-insensitively;
 * attributes naming no column are ignored). An element whose name contains
 * "List" and names no table definition is only a container: it is skipped
 * and its children are loaded. Any other element naming no table, or naming
 * a custom view, fails the load.
 *
 * A column without an attribute takes, in this order of preference:
 *   - for a foreign-key column: the value of the key's reference column as
 *     written by the nearest enclosing element (an attribute named like the
 *     reference column), or held by the nearest enclosing row of the
 *     reference table that does not write it (the value that row received:
 *     inherited, generated or default); failing both, the attribute of the
 *     first row of the reference table nested below the element;
 *   - for a primary-key column that is no foreign-key column: the attribute
 *     of that name of the nearest enclosing element;
 *   - the column's default value.
 * AddNewRow then fills generated columns that are still NULL.
 *
 * Symbolic identifiers: a value with two or more ':' is read as
 * table:column:label (the label is everything after the second ':').
 *   - Integer columns (codes 1-8) receive one identifier per symbolic text:
 *     the first row writing a text draws an identifier (from the column's
 *     own generator; else from the generator of the named table's column,
 *     following that table's foreign keys to the column they reference until
 *     a generator is found; else the label read as an integer), and every
 *     later row writing the same text, or inheriting it, receives the same
 *     one. The identifier is stored as a 4-byte integer. Column
 *     NEXT_STATEMENT_ID of table Workflow_Statements with label "0" is 0.
 *   - Character columns (14, 15, 22) and BLOB (20) store the label.
 *   - DATE, TIME and DATETIME columns convert the whole text (a date and
 *     time holds two ':').
 *   - Other columns convert the whole text as any value.
 * A value with fewer than two ':' converts with AllocateAndCopyColumnValue;
 * an unparsable number reads as 0, a date or time that does not convert
 * fails the row.
 *
 * The identifier map of a load (a StringHashTable of 50 buckets) holds, for
 * every symbolic text, its identifier under the text itself and under
 * "table:column:label" for every column that received it. Values are heap
 * int32_t blocks; FreeXmlIdentifierMap releases the map.
 *
 * Failure: a row that cannot be built ends the load; the rows added before
 * stay in their tables. Allocation failures end the load with 99.
 *
 * Input is hostile: libxml2 reads without network access, with its default
 * limits (documents nested deeper than 256 elements, or with a text or
 * attribute value above 10,000,000 bytes, do not parse); entities are not
 * substituted from external files. A document handed in as a tree may be
 * of any depth: the walk keeps its own stack.
 *
 * Results: 1 (VELMORA_SUCCESS), 0 (VELMORA_FAILURE), 99
 * (VELMORA_ALLOC_FAILURE); null where a record is expected.
 */
#ifndef VELMORA_TABLE_XML_H
#define VELMORA_TABLE_XML_H

#include <stdint.h>

#include "velmora/lcd_vector.h"
#include "velmora/result.h"
#include "velmora/string_hash.h"

#ifdef __cplusplus
extern "C" {
#endif

/* libxml2's document and node, named without including libxml2's headers. */
struct _xmlDoc;
struct _xmlNode;

/* Buckets of the identifier map of one load. */
#define XML_IDENTIFIER_MAP_BUCKETS 50

/* One attribute of an element: owned copies of its name and value. */
typedef struct XmlAttributeText {
    char* name;
    char* value;
} XmlAttributeText;

/* The attributes of one element, in document order. Owns the element name,
 * the vector and every XmlAttributeText in it. */
typedef struct XmlRowAttributes {
    char* elementName;
    LCDVector* attributes; /* of XmlAttributeText */
} XmlRowAttributes;

/* Copies of the element's name and attributes (entity references in values
 * expanded as libxml2 expands them). Null for a node that is no element and
 * on allocation failure. */
XmlRowAttributes* GetXmlRowAttributes(struct _xmlNode* element);
/* The value of the first attribute whose name matches name
 * case-insensitively, or null. Points into the record. */
const char* FindXmlRowAttribute(const XmlRowAttributes* attributes, const char* name);
void FreeXmlRowAttributes(XmlRowAttributes* attributes);

/* Loads the rows of an XML file. 1; 0 when the file cannot be parsed
 * ("error: could not parse file %s\n") or a row fails ("Cannot construct
 * table data from XML file.\n"); 99 on allocation failure. */
int LoadTableDataFromXMLFile(const char* path);

/* The same for length bytes of XML in buffer ("Cannot construct table data
 * from XML buffer.\n"). 0 also for a null buffer or a length below 1. */
int LoadTableDataFromXMLBuffer(const char* buffer, int32_t length);

/* Loads the rows below node (null: the document's root element): every
 * element among its descendants. The identifier map of the load, which the
 * caller frees with FreeXmlIdentifierMap, or null when a row fails or
 * memory runs out ("Cannot construct table data from buffer node.\n").
 * Neither document nor node is changed. */
StringHashTable* LoadTableDataFromXMLNode(struct _xmlDoc* document, struct _xmlNode* node);

/* The identifier stored under key into *identifier: 1, or 0 when the key
 * is not in the map (or an argument is null). */
int GetXmlIdentifier(const StringHashTable* map, const char* key, int32_t* identifier);
/* Frees every identifier, the map's entries and the map. */
void FreeXmlIdentifierMap(StringHashTable* map);

#ifdef __cplusplus
}
#endif
#endif
