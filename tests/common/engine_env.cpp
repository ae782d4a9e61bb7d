// The engine state of the in-process tests, set up once around all of them.
#include <gtest/gtest.h>

#include "engine_state.h"

namespace zelk::test {
namespace {

struct EngineEnvironment : ::testing::Environment {
    void SetUp() override { setup_engine_state(); }
    void TearDown() override { teardown_engine_state(); }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

} // namespace
} // namespace zelk::test
