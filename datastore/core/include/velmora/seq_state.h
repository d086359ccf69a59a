/*
 * Identifier generation: numbers handed out from batches reserved per
 * sequence.
 *
 * gv_seqState maps a sequence name (a column's generator name, or
 * "INSTANCE_ID") to the batch this process has reserved: the numbers
 * nextValue ... batchEnd are its own to hand out. When a batch runs out,
 * the batch reserver (set by the database layer with SetSeqBatchReserver)
 * reserves the next one and stores it with StoreSeqBatch. Without a
 * reserver, or when it fails, the request yields -1.
 *
 * Locking: GenerateID holds the object lock keyed on the sequence's entry
 * while it takes a number (and while a new batch is reserved), so threads
 * draw distinct identifiers. Whoever adds sequences (start-up) holds the
 * object lock keyed on &gv_seqState; StoreSeqBatch itself takes no lock.
 */
#ifndef VELMORA_SEQ_STATE_H
#define VELMORA_SEQ_STATE_H

#include <stdint.h>

#include "velmora/result.h"
#include "velmora/string_hash.h"
#include "velmora/table_defn.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SEQ_STATE_BUCKETS 50
#define SEQ_BATCH_SIZE 300
#define SEQ_INSTANCE_ID_KEY "INSTANCE_ID"

/* The batch of one sequence. */
typedef struct SeqStateRecord {
    int32_t nextValue;
    int32_t batchEnd;
} SeqStateRecord;

extern StringHashTable gv_seqState;

/* Reserves the next batch of sequenceName (tableName null: the default
 * connection) and stores it with StoreSeqBatch; 1 on success. */
typedef int (*SeqBatchReserver)(const char* tableName, const char* sequenceName);
/* Installs the reserver (null: none, every exhausted batch stays so). */
void SetSeqBatchReserver(SeqBatchReserver reserver);

/* Creates an empty state of SEQ_STATE_BUCKETS buckets (freeing any
 * previous one). 1, 0 when the buckets cannot be allocated. */
int InitSeqState(void);
/* Frees every batch record and the state. */
void FreeSeqState(void);
/* Sets the batch of sequenceName to nextValue ... batchEnd, creating the
 * record on first use. 1; 0 for a null name or no state; 99 on allocation
 * failure (the state is unchanged). */
int StoreSeqBatch(const char* sequenceName, int32_t nextValue, int32_t batchEnd);

/* The next identifier of the column's generator, or -1 (no generator, no
 * state for it, or the batch is exhausted and cannot be renewed). */
int32_t GenerateID(const char* tableName, const ColumnDefn* column);
/* The next identifier of "INSTANCE_ID", or -1. */
int32_t GenerateInstanceID(void);

#ifdef __cplusplus
}
#endif
#endif
