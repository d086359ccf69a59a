/*
 * Writing the changed rows of one table to its database and bringing their
 * states in line.
 */
#pragma once

#include <stddef.h>

#include <memory>
#include <string>
#include <vector>

#include "velmora/db_provider.h"
#include "velmora/table_data.h"

namespace velmora_objects {

enum class RowAction { None, Insert, Update, Delete };

/* The statement a row's state asks for: 5 an update; bits 1 and 8 a
 * delete; 2 or 6 an insert; anything else none. */
RowAction ActionForState(uint8_t state);

struct FreeText {
    void operator()(char* text) const { free(text); }
};
using Text = std::unique_ptr<char, FreeText>;

/* A changed row and its statement (null when it could not be written). */
struct PendingRow {
    RowObject* row;
    RowAction action;
    Text statement;
};

/* Rows of a batch written in one transaction: this many at most. */
constexpr size_t kRowsPerBatch = 1000;
/* Rows of one table are written row by row, without a transaction, below
 * this many (a transaction would cost more than it saves). */
constexpr size_t kBatchThreshold = 8;
/* Consecutive inserts are joined into one statement of at most this many
 * rows and bytes (well below every engine's statement limit). */
constexpr size_t kRowsPerInsert = 500;
constexpr size_t kInsertBytes = 256 * 1024;

/* Counts of one save, for the log and the tests. */
struct SaveCounts {
    size_t written = 0; /* rows whose statement succeeded */
    size_t failed = 0;  /* rows that keep their state */
    size_t batches = 0; /* batches committed whole */
    size_t retried = 0; /* batches written again row by row */
};

class RowWriter {
public:
    RowWriter(const char* tableName, const char* dialect) : table_(tableName), dialect_(dialect ? dialect : "") { }

    /* Each row's statement on its own, in autocommit, in order. A failed
     * row logs the statement and keeps its state. Stops early, leaving
     * the remaining rows as they are, once the connection is known lost. */
    void WriteOneByOne(DBConnection* connection, PendingRow* rows, size_t count);

    /* Batches of kRowsPerBatch rows, each in a transaction; a batch that
     * fails is rolled back and written one by one. */
    void WriteInBatches(DBConnection* connection, PendingRow* rows, size_t count);

    const SaveCounts& counts() const { return counts_; }

private:
    bool RunBatch(DBConnection* connection, PendingRow* rows, size_t count);
    /* The row's statement succeeded (and is committed): state in line. */
    void Written(PendingRow& pending);

    std::string table_;
    std::string dialect_;
    SaveCounts counts_;
};

} // namespace velmora_objects
