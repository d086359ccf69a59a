/*
 * Starting and stopping the data store on its data directory.
 *
 * A program calls InitVelmora once with the library's root directory and
 * DeInitVelmora once at the end; after a successful start its tables are
 * defined, created in a new database (and filled with the default data),
 * the listed ones preloaded, and identifiers reserved in batches.
 *
 * The data directory is "../data/" relative to the working directory (a
 * program that runs from <root>/bin finds <root>/data there) or, for each
 * file that is not found there, "<root>/data/<file>":
 *
 *   datadictionary.txt and its XML files   the table definitions
 *   dsn_table_map.txt                      table -> connection name pairs
 *   connparams.txt                         one line per connection
 *   loadtablelist.txt, defaultdata.txt     tables to preload, default rows
 *
 * (velmora/connection_files.h and velmora/table_persistence.h describe the
 * files.) The library's log goes to "<root>/logs/velmora.log".
 *
 * Steps of InitVelmora, each stopping the start with its error line and 0:
 * the log; the memory pool; providers, dialects and identifier state; the
 * data dictionary; dsn_table_map.txt; connparams.txt; the check that the
 * connection files agree (every connection named by the map is defined, and
 * every connection names a known database type); the connections; the
 * tables (created when missing: a database in which every table was
 * created is new); SeqGenState and one identifier batch per sequence; the
 * preloaded tables (a failure there is only logged); the default data, for
 * a new database. Nothing is written to a database before the files have
 * been read and checked.
 *
 * Dialect choice: when the first connection names a data source (no
 * connection string), every table uses the database type of its own
 * connection; when it uses a connection string, every table uses the
 * default type, MYSQL (velmora/connection_files.h).
 *
 * A failed InitVelmora leaves what its finished steps built; DeInitVelmora
 * releases it. DeInitVelmora releases everything in the reverse order and
 * may be called any number of times; InitVelmora may be called again
 * afterwards.
 *
 * Not thread-safe: start and stop the store from one thread while no other
 * thread uses it.
 *
 * Results: 1 (VELMORA_SUCCESS), 0 (VELMORA_FAILURE), 99
 * (VELMORA_ALLOC_FAILURE).
 */
#ifndef VELMORA_STARTUP_H
#define VELMORA_STARTUP_H

#ifdef __cplusplus
extern "C" {
#endif

/* Sets the library root (gv_velmoraRoot) to a copy of path, which the
 * store keeps until DeInitVelmora. A null path logs "Default Path Used" at
 * debug level and leaves the root as it is. */
void SetVelmoraRoot(const char* path);

/* Starts the store on root (null: the root set before, or none). 1 on
 * success; 0 (99 for an allocation failure) with the failing step's error
 * line in the log. */
int InitVelmora(const char* root);

/* Stops the store: unloads the in-memory tables, frees the identifier
 * state, closes every connection, frees the connection files' lists, the
 * table definitions and the dialect registry, the memory pool, and closes
 * the log. */
void DeInitVelmora(void);

/* 1 when the last InitVelmora created every table of the dictionary (a new
 * database, which received the default data); 0 otherwise. */
int VelmoraCreatedDatabase(void);

#ifdef __cplusplus
}
#endif
#endif
