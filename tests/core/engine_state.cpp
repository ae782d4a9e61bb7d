#include "engine_state.h"

#include <unistd.h>

#include <stdexcept>

#include "engine/options.h"
#include "eval/weights.h"
#include "run_engine.h"
#include "search/control.h"
#include "search/thread.h"
#include "search/tt.h"

namespace zelk::test {

void setup_engine_state() {
    if (chdir(make_temp_dir().c_str()) != 0)
        throw std::runtime_error("chdir failed");
    game = new SearchThread{};
    thread_record_init(*game);
    options_set_defaults("/nonexistent");
    search_settings.Hash = 1;
    control.thread_count = 1;
    control.noise = 9999;
    if (!tt_alloc())
        throw std::runtime_error("table allocation failed");
    init_eval_params();
    pos_from_fen(game->pos, START_FEN);
}

void teardown_engine_state() {
    tt_free();
    delete game;
    game = nullptr;
}

} // namespace zelk::test
