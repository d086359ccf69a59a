/*
 * Loading the in-memory tables from their databases and saving them back.
 *
 * Three plain-text files of the data directory drive it:
 *
 *   loadtablelist.txt   tables to preload, one a line: a table name alone
 *                       (the whole table), or a name, one blank and a
 *                       statement beginning with "select" or "SELECT"
 *                       (the table filled from that statement); a name
 *                       followed by any other text loads the whole table.
 *   savetableslist.txt  tables to save, one a line (text after the first
 *                       blank is ignored).
 *   defaultdata.txt     XML files of default rows for a new database,
 *                       separated by white space.
 *
 * Each is looked for first below the relative data folder "../data/"
 * (savetableslist.txt only under the root) and then as
 * "<root>/data/<file>" under the library root gv_velmoraRoot ("Opening %s\n"
 * at debug level). Lines longer than 255 characters are refused with an
 * error line naming the file and line; the rest of the file is still read.
 *
 * Connection and dialect of a table: with gv_dsnMapValid 1, the connection
 * the data-source map names for the table and that connection's database
 * type; otherwise the default (first) connection and the type at
 * gv_defaultDBType. A connection is handed back to its pool before the
 * call returns.
 *
 * Loaded rows arrive with state ROW_STATE_STORED. SaveTable writes one
 * statement per changed row in the table's dialect: an update for a stored
 * row changed in memory (state 5), a delete for a stored row marked
 * deleted (bits 1 and 8), an insert for a new row (state 2 or 6); other
 * rows are left alone. A row whose statement succeeded is brought in line
 * (inserted and updated rows become stored; a deleted row leaves memory);
 * a row whose statement failed keeps its state, so a later save writes it
 * again, and the save goes on with the next row.
 *
 * Many changed rows are written in batches inside transactions on a
 * connection of the save's own, so that no other thread's statement on a
 * shared connection joins or ends them. Row states change only once a
 * batch is committed. A batch that fails is rolled back and its rows are
 * written again one by one, each on its own, so one bad row costs only
 * itself. The database therefore holds each row once whether the server
 * goes away or the process dies half-way: a batch is in it whole or not
 * at all.
 *
 * Locking: SaveTable holds gv_criteriaLock while it walks the rows, so
 * saves run one at a time and no condition is evaluated meanwhile. Loading
 * does not lock; callers serialise changes to one table.
 *
 * Results: 1 (VELMORA_SUCCESS), 0 (VELMORA_FAILURE), 99
 * (VELMORA_ALLOC_FAILURE).
 */
#ifndef VELMORA_TABLE_PERSISTENCE_H
#define VELMORA_TABLE_PERSISTENCE_H

#include "velmora/result.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Longest line (without its line end) of the three list files. */
#define TABLE_LIST_LINE_MAX 255

/* Top-level element names of a default-data document saved per batch. */
#define DEFAULT_DATA_SAVE_BATCH 50

/* --- Loading -------------------------------------------------------------- */

/* Loads every entry of loadtablelist.txt ("../data/" first, then the
 * root). "Cannot open LoadTableList Entry File.\n" and 0 when neither
 * opens; 1 once the file is open (a table that fails to load is logged and
 * does not stop the list). */
int LoadAllTables(void);

/* The same for the list at path, without the fallback. 0 when it cannot be
 * opened. */
int LoadTablesFromFile(const char* path);

/* Creates the in-memory table and fills it with every row of its database
 * table ("select * from <table>"). 0 when the table has no definition
 * ("Error in getting Table Definition for %s\n"), the select fails ("Error
 * in executing select query for %s\n"), the database table's columns are
 * not the definition's, by count or by name ("\nLoadTable Failed for %s
 * table as there is mismatch between table definition in datadictionary
 * and actual table in database\n", with a line naming the column), the
 * table is loaded already ("CreateTable Failed \n"), or a row cannot be
 * converted or added (the rows added so far stay). */
int LoadTable(const char* tableName);

/* As LoadTable with a select statement of the caller's. A statement that
 * gives no result ("Error in executing select query \n") leaves the table
 * created and empty and gives 0; a result whose columns are not the
 * definition's is refused as in LoadTable. */
int LoadTableByQuery(const char* tableName, const char* statement);

/* Runs statement on tableName's connection and loads its rows into a new
 * custom view viewName over all of the table's columns, in definition
 * order. 0 on any failure (the view is not left half-made when its
 * definition cannot be built; rows added before a failing row stay). */
int LoadViewByQuery(const char* viewName, const char* tableName, const char* statement);

/* Frees every in-memory table and empties the registry. 1. */
int UnLoadAllTable(void);

/* Removes one table from the registry and frees it. 0 when it is not
 * loaded. */
int UnLoadTable(const char* tableName);

/* UnLoadAllTable, then LoadAllTables. */
int ReloadTableData(void);

/* --- Saving --------------------------------------------------------------- */

/* Writes the table's changed rows (see above). 0 when the table is not
 * loaded, has no data-source map entry, or no connection can be had; 1
 * otherwise, also when single rows failed (they keep their states and log
 * "Error in executing update query \n" and "QUERY : %s\n"). */
int SaveTable(const char* tableName);

/* SaveTable for every loaded table, in registry order. 1. */
int SaveAllTables(void);

/* SaveTable for the first word of every line of
 * "<root>/data/savetableslist.txt". A missing file logs "No tables to be
 * saved.\n" and is no failure. 1. */
int SaveTablesFromList(void);

/* Stores the rows of every XML file that defaultdata.txt names, in the
 * order listed, with SaveDataInXML. A missing list logs "No default data
 * to be prepopulated.\n" and gives 1; otherwise the result of the last
 * file. */
int SaveDefaultData(void);

/* Loads the rows of the XML file at path into the in-memory tables and
 * saves the tables its root's element children name, in document order,
 * each name once (case-insensitive), in batches of DEFAULT_DATA_SAVE_BATCH.
 * Each child's name is followed by the tables whose rows are nested below
 * it and that no child of the root names, so none of the document's rows
 * is left unsaved and a nested table comes after the tables of its
 * enclosing rows. 0 when the rows cannot be loaded ("Cannot create DO from
 * %s.\n") or the file does not parse ("Error: could not parse file :
 * %s\n"); 1 otherwise. */
int SaveDataInXML(const char* path);

#ifdef __cplusplus
}
#endif
#endif
