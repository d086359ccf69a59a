/*
 * Personalities: business objects that span several tables, read from XML,
 * and the index tables that record which tables hold rows of a dominant
 * row.
 *
 * A personality names one dominant table (the object's own rows) and its
 * constituent tables, whose rows belong to a dominant row through foreign
 * keys. The personality file is an XML document whose elements are read in
 * document order:
 *   PersonalityConfiguration  personalityname, description, dominanttableid
 *   ConstituentTable          tableid, tableindex, fkconstraint_id, mandatory
 *                             (those directly following a
 *                             PersonalityConfiguration belong to it)
 *   DominantTableConfig       dominanttableid, isindexed ("true": the table
 *                             gets an index table), nonindexlimit (no effect)
 * Attribute names compare case-insensitively. A ConstituentTable naming the
 * dominant table itself is skipped: the constituent list holds only the
 * other tables.
 *
 * Index table of a dominant table D (single-column primary key): D_IDX with
 * D's key columns and TABLENAME VARCHAR(40), one row per (dominant key,
 * table) pair, on the default connection.
 *
 * The list of personalities is process-wide: read at start-up, before
 * other threads use it; it takes no lock.
 *
 * Results: 1 success, 0 failure, 99 allocation failure; null for records.
 * Arrays of names returned here are heap blocks that the caller releases
 * with FreePersonalityNames.
 */
#ifndef VELMORA_PERSONALITY_H
#define VELMORA_PERSONALITY_H

#include <stdint.h>

#include "velmora/data_object.h"
#include "velmora/lcd_vector.h"
#include "velmora/select_query.h"
#include "velmora/table_data.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A personality file larger than this is refused unread. */
#define PERSONALITY_FILE_MAX_BYTES (16 * 1024 * 1024)
/* A personality file with more elements than this is refused. */
#define PERSONALITY_MAX_ELEMENTS 100000

typedef struct ConstituentTable {
    char* dominantTable; /* the personality's text, shared: not owned */
    char* table;
    int32_t tableIndex;
    uint8_t mandatory;    /* 0 for "false", else 1 */
    char* fkConstraintId; /* or null */
} ConstituentTable;

typedef struct PersonalityDefn {
    char* personalityName;
    char* dominantTable;
    char* description;            /* or null */
    LCDVector* constituentTables; /* of ConstituentTable, in file order */
} PersonalityDefn;

/* Every personality read, in file order (of PersonalityDefn); null before
 * InitPersonality. */
extern LCDVector* gv_personalityDefnVect;

/* Creates the empty list (a list already there is kept). 1; 99 with
 * "MEMORY_ALLOCATION_FAILURE\n". */
int InitPersonality(void);

/* Frees every personality and the list; the list is null afterwards. */
void FreePersonalities(void);

/* Reads a personality file: parses it (malformed, nested deeper than the
 * XML parser allows, larger than PERSONALITY_FILE_MAX_BYTES or with more
 * than PERSONALITY_MAX_ELEMENTS elements: "Could not parse file %s\n" and
 * 0, nothing added), creates the index tables of the indexed dominant
 * tables (a failure is logged and reading goes on), then appends the
 * personalities. 1; 0 (also without InitPersonality); 99 for memory. */
int CreatePersonalityFromXMLFile(const char* path);

/* The personality of that name (exact comparison), or null with a line. */
PersonalityDefn* GetPersonalityDefn(const char* name);

/* Logs the personality at info level. */
void PrintPersonalityDefn(const char* name);

/* New null-terminated arrays of copied names: the constituent tables of a
 * personality; the dominant table of every personality (null when there
 * is none); every personality's name. Null on failure. */
char** GetConstituentTables(const char* name);
char** GetDominantTables(void);
char** GetPersonalityNames(void);
void FreePersonalityNames(char** names);

/* 1 when table is the dominant table of some personality (exact). */
int IsDominantTable(const char* table);

/* Every dominant row of the personality with its constituent rows: the
 * dominant table left-joined with each constituent on the foreign-key
 * chain that ends at the dominant key (dominant key = the constituent's
 * column); a constituent whose chain ends elsewhere is joined on its
 * foreign key to a table joined before it. Null with "Cannot get DO for
 * personality %s\n". */
DataObject* GetDOFromPersonality(const char* name);

/* GetDataObjectByRowUnit / GetDataObjectByCriteria over the dominant table
 * followed by the constituent tables. */
DataObject* GetDOFromPersonalityByRowUnit(const char* name, const RowUnit* rowUnit);
DataObject* GetDOFromPersonalityByCriteria(const char* name, const QueryCondition* condition);

/* The same over several personalities (a null-terminated array of names),
 * merged into one new DO in list order; null with "Cannot Merge DO's.\n"
 * when a merge fails. */
DataObject* GetDOFromPersonalities(const char* const* names);
DataObject* GetDOFromPersonalitiesByRowUnit(const char* const* names, const RowUnit* rowUnit);
DataObject* GetDOFromPersonalitiesByCriteria(const char* const* names, const QueryCondition* condition);

/* The DO of the dominant row rowUnit over the tables its index table
 * lists for it. Null, with "Query: %s. No tables indexed.  Cannot deep
 * retrieve DO for %s\n", when the index holds no table for the row. Key
 * values are written as literals of the default connection's dialect. */
DataObject* DeepRetrieveDO(const char* dominantTable, const RowUnit* rowUnit);

/* Records (state 2 or 6) or removes (state with bits 1 and 8) row of table
 * in the index table of each indexed dominant table its foreign keys lead
 * to. 1 (also for a table without references); 0 with "Cannot Add Entry
 * Into Index Table\n" when a statement fails. */
int AddEntryToIndexTable(const char* table, const RowObject* row);

#ifdef __cplusplus
}
#endif
#endif
