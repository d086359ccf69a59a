#include "engine_test.h"

#include <errno.h>

namespace tw::engines {

void EngineTest::SetUp()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = DatabaseNameFor(std::string(program_invocation_short_name) + "." +
                                             info->test_suite_name() + "." + info->name());
    std::string error;
    ASSERT_TRUE(CreateDatabase(engine(), name, &error)) << error;
    database_name_ = name; // from here on TearDown drops it
    connection_ = Connect(engine(), database_name_, &error);
    ASSERT_TRUE(connection_) << error;
}

void EngineTest::TearDown()
{
    if (database_name_.empty())
        return;
    connection_.reset();
    std::string error;
    EXPECT_TRUE(DropDatabase(engine(), database_name_, &error)) << error;
}

std::string EngineInstanceName(const ::testing::TestParamInfo<Engine>& info) { return EngineName(info.param); }

} // namespace tw::engines
