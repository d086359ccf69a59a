/*
 * The data dictionary: the XML files that declare every table.
 *
 * The plain list file datadictionary.txt names the XML files (whitespace
 * separated, each relative to the data directory). Each XML file holds a
 * data-dictionary element with one table element per table:
 *
 *   <data-dictionary>
 *     <table name="Machine">
 *       <description>...</description>              (optional, first)
 *       <columns>
 *         <column name="MachineId">
 *           <data-type>BRI_SQL_INT</data-type>
 *           <nullable>false</nullable>              ("true", any case: nullable;
 *                                                     absent: nullable)
 *           <max-size>64</max-size>
 *           <default-value>0</default-value>
 *           <unique>true</unique>                   (exactly "true")
 *           <uniquevalue-generation>
 *             <generator-name>MachineIdGen</generator-name>
 *           </uniquevalue-generation>
 *           <allowed-values><value>a</value><value>b</value></allowed-values>
 *             or <allowed-values><from>1</from><to>9</to></allowed-values>
 *           <description>...</description>
 *         </column>
 *       </columns>
 *       <primary-key><primary-key-column>MachineId</primary-key-column></primary-key>
 *       <foreign-keys>
 *         <foreign-key reference-table-name="Site" isbidirectional="false">
 *           <fk-columns><fk-column>
 *             <fk-local-column>SiteId</fk-local-column>
 *             <fk-reference-column>SiteId</fk-reference-column>
 *           </fk-column></fk-columns>
 *           <fk-constraints>ON-DELETE-CASCADE</fk-constraints>
 *         </foreign-key>
 *       </foreign-keys>
 *     </table>
 *   </data-dictionary>
 *
 * Each file is read with libxml2's streaming text reader in two stages: a
 * pass that turns one table element into a tree of XmlTagInfo records
 * (element names matched case-insensitively), and a builder that turns the
 * tree into a TableDefn (element names matched exactly, so only the
 * lower-case names take effect) appended to gv_tableDefns. The primary key
 * is looked for directly after columns and the foreign keys directly after
 * that (or directly after columns): anything placed between them hides what
 * follows, and is reported in the log.
 *
 * A malformed table is logged and skipped; the reader carries on after the
 * table's end tag. Malformed XML ends the file with "%s : failed to
 * parse\n"; tables the reader delivered before it noticed the error (it
 * parses ahead in chunks) stay loaded. A column of an unknown data type
 * loads with type code 0, one whose max-size is no number with maximum size
 * -1 (both logged). A table one of whose columns cannot be built (range
 * without 'to', foreign key without columns, allocation failure) is skipped
 * whole.
 *
 * Entities are not loaded from the network; documents deeper than libxml2's
 * default limits or with text nodes above 10 MB are refused as malformed.
 */
#ifndef VELMORA_DATA_DICTIONARY_H
#define VELMORA_DATA_DICTIONARY_H

#include <stdint.h>

#include "velmora/result.h"
#include "velmora/table_defn.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The name of the list file in the data directory. */
#define DATA_DICT_LIST_FILE "datadictionary.txt"

/* One element of a table being read. A value list collapses into one
 * "value" record whose text values are all the value texts; a range is a
 * "from" record followed by a "to" record. */
typedef struct XmlTagInfo {
    char* tagName;       /* as written in the file */
    char** attribNames;  /* the attributes read: name, system, */
    char** attribValues; /*   reference-table-name, isbidirectional */
    int32_t attribCount;
    char** textValues; /* text content (one entry; several for "value") */
    int32_t textValueCount;
    struct XmlTagInfo* firstChild;
    struct XmlTagInfo* nextSibling;
} XmlTagInfo;

/* libxml2's reader, named without including libxml2's headers. */
struct _xmlTextReader;

/* Reads the list "../data/datadictionary.txt" (relative to the working
 * directory; "..\data\" on Windows) or, when that cannot be opened,
 * "<root>/data/datadictionary.txt" with the library root gv_velmoraRoot
 * ("Opening %s\n" at debug level), and loads every XML file it names from
 * the same directory. 1 once a list is open, whatever happens to the files
 * (each failure is logged); 0 with "Cannot open DataDictionary File.\n" when
 * neither list can be opened. */
int LoadAllDataDictFiles(void);

/* The same for the list "<directory>/datadictionary.txt" with the files in
 * directory. 0, without a message, when the list cannot be opened. */
int LoadDataDictFiles(const char* directory);

/* Loads the tables of one XML file. 0 for a null path, else XmlDataParser's
 * result. */
int LoadDataDictFromXMLFile(const char* path);

/* Parses one XML file and adds a definition for every well-formed table.
 * 1 whenever there is a path (problems are logged), 0 for null. */
int XmlDataParser(const char* path);

/* A zeroed tag record, or null. */
XmlTagInfo* CreateandInitXmlTagInfo(void);

/* Frees a record with its children and following siblings, their strings
 * and arrays. */
void FreeXmlTagInfoList(XmlTagInfo* record);

/* Copies the known attributes of the reader's current element (name,
 * system, reference-table-name, isbidirectional, in that order, those
 * present) into the record, replacing any it held; logs "\n Not all
 * Attributes were read\n" when the element carries others. 1, or 99 when a
 * copy fails (the record then holds no attributes); 0 for null arguments. */
int AllocateAndStrcpyAttrib(struct _xmlTextReader* reader, XmlTagInfo* record);

#ifdef __cplusplus
}
#endif
#endif
