// Process state for tests that drive the interpreters in-process: a game
// record, the locks, default options and a 1 MB table, in a temporary
// working directory so that files the commands write stay there.
#pragma once

#include <gtest/gtest.h>

namespace zelk::test {

class EngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
};

} // namespace zelk::test
