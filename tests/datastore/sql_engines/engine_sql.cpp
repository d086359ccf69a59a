#include "engine_sql.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "velmora/column_types.h"
#include "velmora/mem_pool.h"

namespace sql_engines {

const sql_fixture::Dialect& DialectOf(Engine engine)
{
    switch (engine) {
    case Engine::mariadb:
        return sql_fixture::kMysql;
    case Engine::postgresql:
        return sql_fixture::kPgsql;
    case Engine::firebird:
        return sql_fixture::kFirebird;
    default:
        return sql_fixture::kSqlite;
    }
}

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The digit groups of a date or time text, with the zero groups after the
// fields the type has dropped (Firebird prints fractions of a second).
std::string Fields(const std::string& text, size_t fields)
{
    std::vector<long> numbers;
    for (size_t i = 0; i < text.size();) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            i++;
            continue;
        }
        size_t end = i;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
            end++;
        numbers.push_back(std::strtol(text.substr(i, end - i).c_str(), nullptr, 10));
        i = end;
    }
    // Firebird prints a timestamp "2-JAN-2024 03:04:05.0000": day, month
    // name, year.
    static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    for (int month = 0; month < 12; month++) {
        size_t at = text.find(std::string("-") + kMonths[month] + "-");
        if (at != std::string::npos && numbers.size() >= 2) {
            long day = numbers[0];
            numbers[0] = numbers[1];
            numbers[1] = month + 1;
            numbers.insert(numbers.begin() + 2, day);
        }
    }
    while (numbers.size() > fields && numbers.back() == 0)
        numbers.pop_back();
    std::string joined;
    for (long number : numbers)
        joined += (joined.empty() ? "" : ".") + std::to_string(number);
    return joined;
}

} // namespace

std::string Normal(uint8_t type, const Value& text)
{
    if (!text)
        return "<NULL>";
    switch (type) {
    case BRI_SQL_BOOLEAN: {
        std::string word = Lower(*text);
        if (word == "t" || word == "'t'" || word == "true" || word == "1")
            return "1";
        if (word == "f" || word == "'f'" || word == "false" || word == "0")
            return "0";
        return "bad boolean " + *text;
    }
    case BRI_SQL_FLOAT:
    case BRI_SQL_REAL:
    case BRI_SQL_DOUBLE: {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.7g", std::strtod(text->c_str(), nullptr));
        return buffer;
    }
    case BRI_SQL_DATE:
    case BRI_SQL_TIME:
        return Fields(*text, 3);
    case BRI_SQL_DATETIME:
        return Fields(*text, 6);
    default:
        return *text;
    }
}

std::string NormalOfValue(uint8_t type, const void* value, int32_t length)
{
    if (!value)
        return "<NULL>";
    char* text = ColumnValueToString(value, length, type);
    if (!text)
        return "<no text>";
    std::string normal = Normal(type, std::string(text));
    std::free(text);
    return normal;
}

std::vector<const ColumnDefn*> ColumnsOf(const TableDefn* table)
{
    std::vector<const ColumnDefn*> columns;
    for (const LCDNode* node = table->columns->head; node; node = node->next)
        columns.push_back(static_cast<const ColumnDefn*>(node->data));
    return columns;
}

sql_fixture::RowPtr MakeRow(const TableDefn* table, const std::vector<Value>& texts)
{
    std::vector<const ColumnDefn*> columns = ColumnsOf(table);
    EXPECT_EQ(columns.size(), texts.size()) << table->name;
    size_t n = columns.size();
    auto** values = static_cast<void**>(std::calloc(n, sizeof(void*)));
    auto* lengths = static_cast<int32_t*>(std::calloc(n, sizeof(int32_t)));
    for (size_t i = 0; i < n && i < texts.size(); i++) {
        if (texts[i]) {
            EXPECT_EQ(AllocateAndCopyColumnValue(&values[i], &lengths[i], columns[i]->type, texts[i]->c_str()),
                      VELMORA_SUCCESS)
                << *texts[i];
        }
    }
    return sql_fixture::RowPtr(CreateNewRowObject(values, lengths), sql_fixture::RowDeleter{static_cast<int32_t>(n)});
}

std::vector<std::string> NormalRow(const TableDefn* table, const RowObject* row)
{
    std::vector<std::string> normal;
    int index = 0;
    for (const ColumnDefn* column : ColumnsOf(table)) {
        normal.push_back(NormalOfValue(column->type, row->values[index], row->lengths[index]));
        index++;
    }
    return normal;
}

std::vector<std::vector<std::string>> Expected(const TableDefn* table, const std::vector<const RowObject*>& rows)
{
    std::vector<std::vector<std::string>> expected;
    for (const RowObject* row : rows)
        expected.push_back(NormalRow(table, row));
    std::sort(expected.begin(), expected.end());
    return expected;
}

void SqlOnEngine::SetUp()
{
    EngineTest::SetUp();
    if (HasFatalFailure())
        return;
    InitTableDefnVector();
    ASSERT_EQ(InitializeMemPool(), VELMORA_SUCCESS);
    // SQLite checks foreign keys only when the connection asks for it.
    if (engine() == Engine::sqlite) {
        ASSERT_TRUE(db().Execute("PRAGMA foreign_keys = ON")) << db().LastError();
    }
}

void SqlOnEngine::TearDown()
{
    FreeTableDefns();
    TerminateMemPool();
    EngineTest::TearDown();
}

::testing::AssertionResult SqlOnEngine::Run(char* statement)
{
    if (!statement)
        return ::testing::AssertionFailure() << "the generator gave no statement";
    std::string text = sql_fixture::Take(statement);
    if (db().Execute(text))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << db().LastError() << "\nin: " << text;
}

::testing::AssertionResult SqlOnEngine::Refused(char* statement)
{
    if (!statement)
        return ::testing::AssertionFailure() << "the generator gave no statement";
    std::string text = sql_fixture::Take(statement);
    if (db().Execute(text))
        return ::testing::AssertionFailure() << "the engine accepted: " << text;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SqlOnEngine::Select(char* statement, Rows* rows)
{
    if (!statement)
        return ::testing::AssertionFailure() << "the generator gave no statement";
    std::string text = sql_fixture::Take(statement);
    std::optional<Rows> found = db().Query(text);
    if (!found)
        return ::testing::AssertionFailure() << db().LastError() << "\nin: " << text;
    *rows = std::move(*found);
    return ::testing::AssertionSuccess() << text;
}

Rows SqlOnEngine::SelectRows(SelectQuery* query)
{
    Rows rows;
    EXPECT_TRUE(Select(dialect().select(query), &rows));
    return rows;
}

std::vector<std::vector<std::string>> SqlOnEngine::Contents(const TableDefn* table)
{
    std::vector<const ColumnDefn*> columns = ColumnsOf(table);
    std::string sql = "SELECT ";
    for (size_t i = 0; i < columns.size(); i++)
        sql += (i ? ", " : "") + std::string(columns[i]->name);
    sql += " FROM " + std::string(table->name);
    std::optional<Rows> rows = db().Query(sql);
    EXPECT_TRUE(rows) << db().LastError() << "\nin: " << sql;
    std::vector<std::vector<std::string>> contents;
    for (const tw::engines::Row& row : rows ? *rows : Rows{}) {
        std::vector<std::string> normal;
        for (size_t i = 0; i < row.size() && i < columns.size(); i++)
            normal.push_back(Normal(columns[i]->type, row[i]));
        contents.push_back(std::move(normal));
    }
    std::sort(contents.begin(), contents.end());
    return contents;
}

} // namespace sql_engines
