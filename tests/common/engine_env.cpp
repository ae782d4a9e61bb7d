#include <gtest/gtest.h>

#include "engine_state.h"

namespace zelk::test {
namespace {

class EngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override { setup_engine_state(); }
    void TearDown() override { teardown_engine_state(); }
};

// Registered before main runs the tests.
const auto* const environment = ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

} // namespace
} // namespace zelk::test
