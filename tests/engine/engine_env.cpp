#include "engine_env.h"

#include <unistd.h>

#include "engine/control.h"
#include "engine/locks.h"
#include "engine/options.h"
#include "run_engine.h"
#include "search/thread.h"
#include "search/tt.h"

namespace zelk::test {

void EngineEnvironment::SetUp() {
    ASSERT_EQ(chdir(make_temp_dir().c_str()), 0);
    game = new SearchThread{};
    thread_record_init(*game);
    ASSERT_EQ(init_locks(), 0);
    options_set_defaults("/nonexistent");
    options.Hash = 1;
    control.thread_count = 1;
    ASSERT_EQ(tt_alloc(), 1);
    pos_from_fen(game->pos, START_FEN);
}

void EngineEnvironment::TearDown() {
    tt_free();
    delete game;
    game = nullptr;
}

// Registered before main runs the tests.
const auto* const environment = ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

} // namespace zelk::test
