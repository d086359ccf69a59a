// The generated statements of each dialect run on the engine that speaks
// it: a test body defines or loads tables, generates statements, runs them
// through the engine client and reads the tables back as exact bytes.
//
// Values read back are compared in a form every engine agrees on
// (Normal): booleans as 1/0, numbers by their value, dates and times by
// their fields; texts stay byte for byte.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine_test.h"
#include "sql_fixture.h"
#include "velmora/sql_dialect.h"
#include "velmora/table_defn.h"

namespace sql_engines {

using tw::engines::Engine;
using tw::engines::Rows;
using tw::engines::Value;

// The dialect whose statements the engine runs.
const sql_fixture::Dialect& DialectOf(Engine engine);

// A value as every engine's text form of it reads once normalised: NULL as
// "<NULL>", booleans "1"/"0", integers and floating numbers by value,
// dates and times as their fields, texts unchanged.
std::string Normal(uint8_t type, const Value& text);

// The normal form of a stored column value (ColumnValueToString's text).
std::string NormalOfValue(uint8_t type, const void* value, int32_t length);

// The columns of a definition, in order.
std::vector<const ColumnDefn*> ColumnsOf(const TableDefn* table);

// A row of the definition's types from texts (nullopt: NULL), converted as
// the store converts them.
sql_fixture::RowPtr MakeRow(const TableDefn* table, const std::vector<Value>& texts);

// The normal forms of a row's values, in column order.
std::vector<std::string> NormalRow(const TableDefn* table, const RowObject* row);

class SqlOnEngine : public tw::engines::EngineTest {
protected:
    void SetUp() override;
    void TearDown() override;

    const sql_fixture::Dialect& dialect() const { return DialectOf(engine()); }

    // Runs a generated statement (freed here): success, or a failure with
    // the statement and the engine's message. A null statement fails too.
    ::testing::AssertionResult Run(char* statement);
    // The engine refuses the generated statement (freed here).
    ::testing::AssertionResult Refused(char* statement);
    // The rows of the generated select (freed here); failure when the
    // generator gave nothing or the engine refused it.
    ::testing::AssertionResult Select(char* statement, Rows* rows);
    // The select of the query, in the engine's dialect, as a statement.
    Rows SelectRows(SelectQuery* query);

    // Every row of the table (all columns of its definition), each in
    // normal form, sorted: what the table holds, whatever order the engine
    // keeps.
    std::vector<std::vector<std::string>> Contents(const TableDefn* table);
};

// Sorted normal forms of the rows, as Contents gives them.
std::vector<std::vector<std::string>> Expected(const TableDefn* table, const std::vector<const RowObject*>& rows);

} // namespace sql_engines
