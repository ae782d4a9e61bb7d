#include "search_run.h"

#include <gtest/gtest.h>

#include "helpers.h"
#include "core/position.h"
#include "engine/options.h"
#include "nn/network.h"
#include "search/control.h"
#include "search/result.h"
#include "search/root.h"
#include "search/thread.h"
#include "search/threads.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace zelk::test {

namespace {

// The search settings a user starts with, and a 1 MB table, set once.
void use_shipped_settings() {
    static const bool shipped = [] {
        options_set_defaults(".");
        search_settings = saved_options.search;
        search_settings.Hash = 1;
        control.use_hash = 1;
        return tt_alloc() == 1;
    }();
    EXPECT_TRUE(shipped);
}

} // namespace

SearchOutcome fixed_depth_search(const std::string& fen, int depth) {
    use_shipped_settings();
    EXPECT_EQ(pos_from_fen(game->pos, fen.c_str()), 0) << fen;
    game->history_count = 0;
    game->last_move = NO_MOVE;
    game->search_ply = 1;
    control.depth_limit = int8_t(depth);
    control.time_control_moves = 1;
    control.time_per_move = 1000;
    control.node_limit = 0;
    control.thread_count = 1;
    tt_clear();
    delete thread_table[0].exchange(nullptr);   // thread_setup makes a zeroed one
    search_start();
    EXPECT_EQ(thread_setup(0), 0);
    search_thread_run(0);
    control.stop_flag = 0;
    return {best_move(), coord(game->pos, best_move()), result.best_score, thread_table[0].load()->nodes};
}

SearchOutcome limited_search(const std::string& fen, int depth, int elo, uint64_t seed) {
    use_shipped_settings();
    search_settings.UCI_LimitStrength = 1;
    search_settings.UCI_Elo = int16_t(elo);
    control.max_elo = 3000;
    control.strength_seed = seed;
    // With the shipped network, as users play it; the other searches here
    // keep the hand-crafted evaluation.
    EXPECT_EQ(load_embedded_network(), NnLoad::LOADED);
    SearchOutcome o = fixed_depth_search(fen, depth);
    unload_networks();
    search_settings.UCI_LimitStrength = 0;
    return o;
}

} // namespace zelk::test
