/*
 * Identifier batches reserved in the database: the table SeqGenState.
 *
 * Each database that holds tables of the store keeps one row per sequence:
 *
 *   SeqGenState (SEQNAME varchar(128) primary key, CURRENTBATCHEND integer)
 *
 * CURRENTBATCHEND is the last number of the most recently reserved batch.
 * A reservation moves it on by SEQ_BATCH_SIZE (300) and hands this process
 * the numbers end - 299 ... end (velmora/seq_state.h holds them in memory).
 *
 * Reservations are atomic across processes and threads: one transaction
 * adds 300 to the row (the engine locks it, so a second reserver waits) and
 * reads the new end back; a sequence without a row is inserted with 300,
 * and an insert that loses the race to another process (the primary key
 * refuses the second row) is retried as an update. Failed attempts (a
 * deadlock, a busy database file) are rolled back and retried a few times.
 * So two processes sharing a database never hand out the same number.
 *
 * The transactions run on a connection of their own per configured
 * connection (opened on first use, closed by CloseSeqGenConnections), never
 * on a pooled one: a pool of one connection is shared by every thread, and
 * a transaction there would take in, commit or roll back the statements of
 * other threads.
 *
 * Where SeqGenState comes from: PrepareSeqGenState creates it, with the
 * primary key above, in every configured database that lacks it (start-up
 * calls it before SequenceGenerator). A SeqGenState declared in the data
 * dictionary is created by CreateAllTables instead; without a primary key
 * on SEQNAME the first insert of a sequence is no longer race-free.
 *
 * Sequence names go into the statements as string literals: quotes are
 * doubled (and backslashes too for MYSQL connections, whose engines read
 * them as escapes); names longer than 128 bytes are refused.
 *
 * Results: 1 (VELMORA_SUCCESS), 0 (VELMORA_FAILURE), 99
 * (VELMORA_ALLOC_FAILURE).
 */
#ifndef VELMORA_SEQ_GEN_H
#define VELMORA_SEQ_GEN_H

#ifdef __cplusplus
extern "C" {
#endif

/* The longest sequence name SeqGenState holds. */
#define SEQ_NAME_MAX_LENGTH 128

/* Reserves the next batch of sequenceName in the database of tableName's
 * connection (data-source map; a null table name, or a table the map does
 * not name, uses the default connection) and stores it in gv_seqState:
 * {end - 299, end}. A first use inserts the row (name, 300): {1, 300}.
 * "Table doesn't Exists for UpdateSeqGen\n" when SeqGenState cannot be
 * read; "ExecuteUpdate Failed for update\n" / "ExecuteUpdate Failed for
 * insert\n" when every attempt failed. Fits SetSeqBatchReserver. */
int UpdateSeqGen(const char* tableName, const char* sequenceName);

/* Reserves one fresh batch per distinct sequence that a column of a table
 * definition names (registry order), and one for "INSTANCE_ID" on the
 * default connection, holding the object lock of gv_seqState. A sequence
 * shared by two columns is reserved once, so no batch is abandoned. Failed
 * reservations are logged, not returned. 0 when a table definition has no
 * columns; 1 otherwise. */
int SequenceGenerator(void);

/* Creates SeqGenState in every configured database (gv_connParams) where a
 * query on it fails. 0 with "Cannot create SeqGenState in %s.\n" when it
 * can neither be read nor created in one of them; 1 otherwise. */
int PrepareSeqGenState(void);

/* Closes the connections the reservations use (shut-down). */
void CloseSeqGenConnections(void);

#ifdef __cplusplus
}
#endif
#endif
