// The engines' fixtures and the engine client, proven on each engine: texts
// that are hostile to SQL go in as literals and come back byte for byte,
// and a refused statement reports the engine's own message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "engine_test.h"

namespace tw::engines {
namespace {

class EngineSmoke : public EngineTest {
protected:
    // A long-text type of each engine; Firebird keeps long texts only in blobs.
    const char* LongTextType() const
    {
        switch (engine()) {
        case Engine::mariadb:
            return "LONGTEXT";
        case Engine::firebird:
            return "BLOB SUB_TYPE TEXT";
        default:
            return "TEXT";
        }
    }

    Value ReadBack(const std::string& column, int id)
    {
        auto rows = db().Query("SELECT " + column + " FROM samples WHERE id = " + std::to_string(id));
        EXPECT_TRUE(rows) << db().LastError();
        if (!rows || rows->size() != 1 || rows->front().size() != 1) {
            ADD_FAILURE() << "expected one value for id " << id;
            return std::nullopt;
        }
        return rows->front().front();
    }
};

// A text of at least `size` bytes full of quotes, backslashes and line
// breaks, different at every position so a lost or moved piece shows.
std::string HostileText(size_t size)
{
    std::string text;
    for (int i = 0; text.size() < size; ++i)
        text += std::to_string(i) + "'\\\"x;\n";
    return text;
}

TEST_P(EngineSmoke, HostileTextsRoundTripByteForByte)
{
    const std::vector<Value> samples = {
        std::string("O'Brien"),
        std::string("back\\slash \\' \\\\ \\n"),
        std::string("x'); drop table Machine; --"),
        std::string(""),
        std::nullopt,
        std::string("  blanks kept  "),
        std::string("line\nbreak\r\ttab"),
        std::string("Gr\xC3\xBC\xC3\x9F"
                    "e \xE2\x82\xAC \xF0\x9F\x98\x80"),
        std::string("<null>"),
    };
    ASSERT_TRUE(db().Execute("CREATE TABLE Machine (id INTEGER)")) << db().LastError();
    ASSERT_TRUE(db().Execute(std::string("CREATE TABLE samples (id INTEGER NOT NULL PRIMARY KEY, short_text "
                                         "VARCHAR(200), long_text ") +
                             LongTextType() + ")"))
        << db().LastError();
    for (size_t i = 0; i < samples.size(); ++i) {
        const std::string value = samples[i] ? Literal(*samples[i]) : "NULL";
        ASSERT_TRUE(db().Execute("INSERT INTO samples (id, short_text, long_text) VALUES (" + std::to_string(i) + ", " +
                                 value + ", " + value + ")"))
            << db().LastError();
    }
    for (size_t i = 0; i < samples.size(); ++i) {
        SCOPED_TRACE("sample " + std::to_string(i));
        EXPECT_EQ(ReadBack("short_text", static_cast<int>(i)), samples[i]);
        EXPECT_EQ(ReadBack("long_text", static_cast<int>(i)), samples[i]);
        if (!samples[i])
            continue;
        // The literal also finds its row when compared, not only when stored.
        auto found = db().Query("SELECT id FROM samples WHERE short_text = " + Literal(*samples[i]));
        ASSERT_TRUE(found) << db().LastError();
        EXPECT_EQ(*found, (Rows{{std::to_string(i)}}));
    }
    auto machine = db().Query("SELECT COUNT(*) FROM Machine");
    ASSERT_TRUE(machine) << "the table the injected text names is gone: " << db().LastError();
    EXPECT_EQ(*machine, (Rows{{"0"}}));
}

TEST_P(EngineSmoke, OneMegabyteTextRoundTrips)
{
    ASSERT_TRUE(
        db().Execute(std::string("CREATE TABLE samples (id INTEGER NOT NULL, long_text ") + LongTextType() + ")"))
        << db().LastError();
    const std::string text = HostileText(1 << 20);
    if (engine() == Engine::firebird) {
        // Firebird 3 takes statements of up to 64 KB and, on a UTF8
        // connection, literals of up to 16383 characters: the text grows by
        // three literals at a time.
        const size_t piece = 16000;
        ASSERT_TRUE(db().Execute("INSERT INTO samples VALUES (1, '')")) << db().LastError();
        for (size_t at = 0; at < text.size();) {
            std::string grown = "long_text";
            for (int i = 0; i < 3 && at < text.size(); ++i, at += piece)
                grown += " || " + Literal(text.substr(at, piece));
            ASSERT_TRUE(db().Execute("UPDATE samples SET long_text = " + grown + " WHERE id = 1")) << db().LastError();
        }
    } else {
        ASSERT_TRUE(db().Execute("INSERT INTO samples VALUES (1, " + Literal(text) + ")")) << db().LastError();
    }
    const Value back = ReadBack("long_text", 1);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->size(), text.size());
    EXPECT_TRUE(*back == text) << "the text came back changed";
}

TEST_P(EngineSmoke, RefusedStatementGivesTheEnginesMessage)
{
    EXPECT_FALSE(db().Execute("INSERT INTO no_such_table VALUES (1)"));
    std::string message = db().LastError();
    std::transform(message.begin(), message.end(), message.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_NE(message.find("no_such_table"), std::string::npos) << message;

    EXPECT_FALSE(db().Query("SELEKT 1"));
    EXPECT_FALSE(db().LastError().empty());

    // The connection goes on after a refusal, and a success clears the message.
    const char* one = engine() == Engine::firebird ? "SELECT 1, NULL FROM RDB$DATABASE" : "SELECT 1, NULL";
    auto rows = db().Query(one);
    ASSERT_TRUE(rows) << db().LastError();
    EXPECT_EQ(*rows, (Rows{{"1", std::nullopt}}));
    EXPECT_EQ(db().LastError(), "");
}

// Values of other types come in each engine's own text form (what the
// SQL tests compare against), NULL apart from every text.
TEST_P(EngineSmoke, TypedValuesComeInTheEnginesTextForm)
{
    struct Case {
        const char* sql;
        Row expected;
    };
    const auto typed = [this]() -> Case {
        switch (engine()) {
        case Engine::sqlite:
            return {"SELECT 7, 1.5, '2024-01-02', '2024-01-02 03:04:05.678', 1 = 1, NULL",
                    {"7", "1.5", "2024-01-02", "2024-01-02 03:04:05.678", "1", std::nullopt}};
        case Engine::postgresql:
            return {"SELECT 7, CAST(1.5 AS NUMERIC(10,2)), DATE '2024-01-02', TIMESTAMP '2024-01-02 03:04:05.678', "
                    "TRUE, NULL",
                    {"7", "1.50", "2024-01-02", "2024-01-02 03:04:05.678", "t", std::nullopt}};
        case Engine::mariadb:
            return {"SELECT 7, CAST(1.5 AS DECIMAL(10,2)), DATE '2024-01-02', TIMESTAMP '2024-01-02 03:04:05.678', "
                    "TRUE, NULL",
                    {"7", "1.50", "2024-01-02", "2024-01-02 03:04:05.678", "1", std::nullopt}};
        case Engine::firebird:
            return {"SELECT 7, CAST(1.5 AS NUMERIC(10,2)), DATE '2024-01-02', TIMESTAMP '2024-01-02 03:04:05.678', "
                    "TRUE, NULL FROM RDB$DATABASE",
                    {"7", "1.50", "2024-01-02", "2024-01-02 03:04:05.6780", "TRUE", std::nullopt}};
        }
        return {};
    }();
    auto rows = db().Query(typed.sql);
    ASSERT_TRUE(rows) << db().LastError();
    EXPECT_EQ(*rows, Rows{typed.expected});
}

// The client command of the connection facts reaches the test's database
// while the test holds its own connection (for Firebird this needs the
// shared engine configuration of the facts).
TEST_P(EngineSmoke, ClientCommandSharesTheTestsDatabase)
{
    ASSERT_TRUE(db().Execute("CREATE TABLE shared (n INTEGER)")) << db().LastError();
    ASSERT_TRUE(db().Execute("INSERT INTO shared VALUES (42)")) << db().LastError();
    EngineFacts facts;
    std::string error;
    ASSERT_TRUE(ReadEngineFacts(engine(), &facts, &error)) << error;
    const std::string location = DatabaseLocation(engine(), database_name(), &error);
    std::string command = facts.Get("CLIENT");
    ASSERT_FALSE(command.empty());
    switch (engine()) {
    case Engine::sqlite:
        command += " '" + location + "' 'SELECT n FROM shared'";
        break;
    case Engine::postgresql:
        command += " -At -d " + location + " -c 'SELECT n FROM shared'";
        break;
    case Engine::mariadb:
        command += " -N " + location + " -e 'SELECT n FROM shared'";
        break;
    case Engine::firebird:
        command = "echo 'SET LIST ON; SELECT n FROM shared;' | " + command + " '" + location + "'";
        break;
    }
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (size_t got = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, got);
    EXPECT_EQ(pclose(pipe), 0) << command << "\n" << output;
    EXPECT_NE(output.find("42"), std::string::npos) << command << "\n" << output;
    auto rows = db().Query("SELECT n FROM shared");
    ASSERT_TRUE(rows) << db().LastError();
    EXPECT_EQ(*rows, (Rows{{"42"}}));
}

TW_INSTANTIATE_ENGINE_TESTS(EngineSmoke);

// Names of per-test databases: any text gives a name every engine takes,
// and texts that map to the same letters still give different names.
TEST(DatabaseNames, AnyTextGivesADistinctPlainName)
{
    EXPECT_EQ(DatabaseNameFor("orders_2"), "orders_2");
    const std::vector<std::string> texts = {"Engines/Smoke.Round/postgresql",
                                            "engines_smoke_round_postgresql",
                                            "Engines.Smoke/Round.postgresql",
                                            "9lives",
                                            "",
                                            std::string(200, 'a'),
                                            std::string(200, 'a') + "b"};
    std::vector<std::string> names;
    for (const std::string& text : texts) {
        const std::string name = DatabaseNameFor(text);
        SCOPED_TRACE(text + " -> " + name);
        EXPECT_LE(name.size(), 63u);
        ASSERT_FALSE(name.empty());
        EXPECT_TRUE(name[0] >= 'a' && name[0] <= 'z');
        EXPECT_TRUE(std::all_of(name.begin(), name.end(),
                                [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; }));
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end()) << "two texts gave one name";
}

} // namespace
} // namespace tw::engines
