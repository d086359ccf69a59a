// Shared by the data-dictionary reader, its tag records and its builder.
#pragma once

#include "velmora/data_dictionary.h"

/* Appends text to the record's text values (the array grows by doubling).
 * 1, or 99 when the copy or the array cannot be allocated. */
int AddXmlTagText(XmlTagInfo* record, const char* text);

/* The value of the named attribute of the record, or null. */
const char* GetXmlTagAttrib(const XmlTagInfo* record, const char* name);

/* The first text value of the record, or null. */
const char* GetXmlTagText(const XmlTagInfo* record);

/* Turns the tag tree of one table into a TableDefn and appends it to the
 * registry. 1; 0 for a malformed table (logged); 99 when an allocation
 * fails. Nothing is kept on failure. */
int BuildTableDefnFromTags(const XmlTagInfo* table);
