// Process state for tests that drive the engine in-process: a game record,
// the locks, default options and a 1 MB table, in a temporary working
// directory so that files the commands write stay there.
#pragma once

namespace zelk::test {

void setup_engine_state();
void teardown_engine_state();

} // namespace zelk::test
