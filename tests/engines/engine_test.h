// A GoogleTest body that runs once per engine.
//
//   class Orders : public tw::engines::EngineTest {};
//   TEST_P(Orders, RoundTrip) { ASSERT_TRUE(db().Execute("...")) << db().LastError(); }
//   TW_INSTANTIATE_ENGINE_TESTS(Orders);            // all four engines
//   TW_INSTANTIATE_ENGINE_TESTS(Orders, tw::engines::Engine::sqlite, tw::engines::Engine::postgresql);
//
// Each instance is named after its engine (Engines/Orders.RoundTrip/mariadb);
// tw_add_engine_test in CMake reads that name to give the CTest test its
// engine's label and fixture. A suite with parameters of its own names each
// instance "<engine>" or "<engine>_<anything>" to the same end.
#pragma once

#include <gtest/gtest.h>

#include "engine_client.h"

namespace tw::engines {

class EngineTest : public ::testing::TestWithParam<Engine> {
protected:
    // Makes a fresh database named after the test (program, suite, test and
    // engine, so tests running side by side never share one) and connects
    // to it. An engine that was not started fails the test: it never skips.
    void SetUp() override;
    // Closes the connection and drops the database.
    void TearDown() override;

    Engine engine() const { return GetParam(); }
    Connection& db() { return *connection_; }
    // The test's database, as CreateDatabase/Connect take it.
    const std::string& database_name() const { return database_name_; }
    // A literal of the engine's SQL holding exactly text.
    std::string Literal(std::string_view text) const { return QuoteLiteral(engine(), text); }

private:
    std::string database_name_;
    std::unique_ptr<Connection> connection_;
};

// The instance name: the engine's name.
std::string EngineInstanceName(const ::testing::TestParamInfo<Engine>& info);

} // namespace tw::engines

#define TW_INSTANTIATE_ENGINE_TESTS(suite, ...)                                                                        \
    INSTANTIATE_TEST_SUITE_P(Engines, suite, ::testing::ValuesIn(::tw::engines::EngineList({__VA_ARGS__})),            \
                             ::tw::engines::EngineInstanceName)

namespace tw::engines {
// The engines given, or all four when none is.
inline std::vector<Engine> EngineList(std::initializer_list<Engine> engines)
{
    return engines.size() == 0 ? AllEngines() : std::vector<Engine>(engines);
}
} // namespace tw::engines
