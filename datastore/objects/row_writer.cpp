/*
 * Statements for changed rows: one by one in autocommit, or in batches
 * inside transactions with consecutive inserts joined into one statement.
 */
#include "row_writer.h"

#include <string_view>

#include "runtime/log.h"
#include "velmora/sql_statements.h"
#include "velmora/string_routines.h"

namespace velmora_objects {

namespace {

/* The dialects whose inserts may carry several rows ("values (...),(...)"). */
bool JoinsInserts(const std::string& dialect)
{
    return CompareNoCase(dialect.c_str(), "PGSQL") == 0 || CompareNoCase(dialect.c_str(), "MYSQL") == 0 ||
        CompareNoCase(dialect.c_str(), "SQLITE") == 0;
}

/* An insert of the store's dialects reads "<head> values(<row>)", perhaps
 * with a ';' after it; the rows of one table share the head. False for a
 * text of any other shape, which then runs as it is. */
bool SplitInsert(const char* text, std::string_view& head, std::string_view& row)
{
    std::string_view all(text);
    size_t at = all.find(" values(");
    if (at == std::string_view::npos)
        return false;
    head = all.substr(0, at + 7);
    row = all.substr(at + 7);
    while (!row.empty() && (row.back() == ';' || row.back() == ' '))
        row.remove_suffix(1);
    return row.size() >= 2 && row.front() == '(' && row.back() == ')';
}

char* Generate(const char* table, const PendingRow& pending)
{
    switch (pending.action) {
    case RowAction::Insert:
        return GenerateInsertQuery(table, pending.row);
    case RowAction::Update:
        return GenerateUpdateQuery(table, pending.row);
    case RowAction::Delete:
        return GenerateDeleteQuery(table, pending.row);
    default:
        return nullptr;
    }
}

/* Writes each row's statement when it has none yet; false for a row whose
 * statement cannot be written (it keeps its state). */
bool EnsureStatement(const std::string& table, PendingRow& pending)
{
    if (!pending.statement) {
        pending.statement.reset(Generate(table.c_str(), pending));
        if (!pending.statement) {
            LogError("Cannot write the statement for a row of %s\n", table.c_str());
            return false;
        }
    }
    return true;
}

} // namespace

RowAction ActionForState(uint8_t state)
{
    if (state == (ROW_STATE_STORED | ROW_STATE_UPDATED))
        return RowAction::Update;
    if ((state & (ROW_STATE_STORED | ROW_STATE_DELETED)) == (ROW_STATE_STORED | ROW_STATE_DELETED))
        return RowAction::Delete;
    if (state == ROW_STATE_NEW || state == (ROW_STATE_NEW | ROW_STATE_UPDATED))
        return RowAction::Insert;
    return RowAction::None;
}

void RowWriter::Written(PendingRow& pending)
{
    counts_.written++;
    if (pending.action != RowAction::Delete) {
        pending.row->state = ROW_STATE_STORED;
        return;
    }
    // The row is gone from the database: now, and only now, it leaves
    // memory too. A row that is no longer stored is unlinked and freed.
    pending.row->state = ROW_STATE_DELETED;
    if (DeleteRowObject(table_.c_str(), pending.row) != VELMORA_SUCCESS)
        LogError("A deleted row of %s is no longer in its table\n", table_.c_str());
    pending.row = nullptr;
}

void RowWriter::WriteOneByOne(DBConnection* connection, PendingRow* rows, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        PendingRow& pending = rows[i];
        if (!EnsureStatement(table_, pending)) {
            counts_.failed++;
            continue;
        }
        if (ExecuteUpdate(connection, pending.statement.get()) == VELMORA_SUCCESS) {
            Written(pending);
            pending.statement.reset();
            continue;
        }
        LogError("Error in executing update query \n");
        LogError("QUERY : %s\n", pending.statement.get());
        pending.statement.reset();
        counts_.failed++;
        if (IsDBConnectionMarkedForReopen(connection) && i + 1 < count) {
            // Every further statement would fail the same way: the rows
            // keep their states for a save once the database is back.
            LogError("The connection to the database of %s is lost; %zu more rows keep their states\n", table_.c_str(),
                     count - i - 1);
            counts_.failed += count - i - 1;
            return;
        }
    }
}

bool RowWriter::RunBatch(DBConnection* connection, PendingRow* rows, size_t count)
{
    if (BeginDBTransaction(connection) != VELMORA_SUCCESS)
        return false;
    const bool joins = JoinsInserts(dialect_);
    std::string joined;
    std::string joinedHead;
    size_t joinedRows = 0;
    auto flush = [&]() {
        if (joinedRows == 0)
            return true;
        joinedRows = 0;
        return ExecuteUpdate(connection, joined.c_str()) == VELMORA_SUCCESS;
    };
    bool ok = true;
    for (size_t i = 0; ok && i < count; i++) {
        PendingRow& pending = rows[i];
        if (!EnsureStatement(table_, pending))
            continue;
        std::string_view head;
        std::string_view row;
        if (joins && pending.action == RowAction::Insert && SplitInsert(pending.statement.get(), head, row)) {
            if (joinedRows > 0 &&
                (head != joinedHead || joinedRows >= kRowsPerInsert || joined.size() + row.size() + 1 > kInsertBytes))
                ok = flush();
            if (!ok)
                break;
            if (joinedRows == 0) {
                joinedHead.assign(head);
                joined.assign(head);
            } else {
                joined.push_back(',');
            }
            joined.append(row);
            joinedRows++;
            continue;
        }
        ok = flush() && ExecuteUpdate(connection, pending.statement.get()) == VELMORA_SUCCESS;
    }
    ok = ok && flush();
    if (ok && CommitDBTransaction(connection) == VELMORA_SUCCESS)
        return true;
    RollbackDBTransaction(connection);
    return false;
}

void RowWriter::WriteInBatches(DBConnection* connection, PendingRow* rows, size_t count)
{
    for (size_t start = 0; start < count; start += kRowsPerBatch) {
        size_t size = count - start < kRowsPerBatch ? count - start : kRowsPerBatch;
        PendingRow* batch = rows + start;
        if (IsDBConnectionMarkedForReopen(connection)) {
            LogError("The connection to the database of %s is lost; %zu more rows keep their states\n", table_.c_str(),
                     count - start);
            counts_.failed += count - start;
            return;
        }
        if (RunBatch(connection, batch, size)) {
            counts_.batches++;
            for (size_t i = 0; i < size; i++) {
                if (batch[i].statement)
                    Written(batch[i]);
                else
                    counts_.failed++;
                batch[i].statement.reset();
            }
            continue;
        }
        // Nothing of the batch is in the database: each row gets its own
        // chance, so one bad row costs only itself.
        LogDebug("A batch of %zu rows of %s failed and was rolled back; its rows are written one by one\n", size,
                 table_.c_str());
        counts_.retried++;
        WriteOneByOne(connection, batch, size);
    }
}

} // namespace velmora_objects
