#include <gtest/gtest.h>

#include <set>

#include "core/notation.h"
#include "search/control.h"
#include "engine/options.h"
#include "helpers.h"
#include "search/result.h"
#include "search/root.h"
#include "search/search.h"
#include "search/thread.h"
#include "search/threads.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace zelk {
namespace {

struct Outcome {
    std::string move;
    int score;
    uint64_t nodes;
};

// A fixed-depth search on the calling thread, as the start-up calibration runs it.
Outcome run_search(const char* fen, int depth, const char* moves = "") {
    pos_from_fen(game->pos, fen);
    test::play(game->pos, moves);
    game->search_ply = 1;
    control.depth_limit = int8_t(depth);
    control.time_control_moves = 1;
    control.time_per_move = 1000;
    control.node_limit = 0;
    search_start();
    EXPECT_EQ(thread_setup(0), 0);
    search_thread_run(0);
    control.stop_flag = 0;
    char text[MOVE_TEXT_SIZE];
    move_to_coord(game->pos, game->pos.side, best_move(), text);
    return {text, result.best_score, thread_table[0].load()->nodes};
}

// Each helper iteration draws a fresh amount per root move, so the order of
// moves with equal scores changes; one draw for all would keep it.
TEST(Search, HelperRootOrderIsJitteredPerMove) {
    test::Board b;
    SearchThread& t = *b.thread;
    MoveEntry* list = t.plies[1].list = t.move_stack;
    const auto moves = test::legal_moves(b.pos);
    for (size_t i = 0; i < moves.size(); ++i)
        list[i] = MoveEntry{moves[i], 100, 0, 0};
    list[moves.size()].move = END_OF_LIST;
    std::set<int> first_places;
    for (int round = 0; round < 8; ++round) {
        for (size_t i = 0; i < moves.size(); ++i)
            list[i].score = 100;
        jitter_root_order(t);
        std::set<int> scores;
        int best = 0;
        for (size_t i = 0; i < moves.size(); ++i) {
            EXPECT_LE(list[i].score, 100);
            EXPECT_GE(list[i].score, 85);
            scores.insert(list[i].score);
            if (list[i].score > list[best].score)
                best = int(i);
        }
        EXPECT_GE(scores.size(), 4u) << "the moves get different amounts";
        first_places.insert(best);
    }
    EXPECT_GE(first_places.size(), 2u) << "the move searched first changes";
}

TEST(Search, FindsForcedMates) {
    Outcome one = run_search("6k1/5ppp/8/8/8/8/8/R5K1 w - -", 4);
    EXPECT_EQ(one.move, "a1a8");
    EXPECT_EQ(one.score, 9998);
    Outcome two = run_search("r5k1/5ppp/8/8/8/8/1Q6/1R4K1 w - -", 6);   // Qb8+ Rxb8 Rxb8#
    EXPECT_EQ(two.score, 9996) << two.move;
    EXPECT_EQ(two.move, "b2b8");
    Outcome three = run_search("r5rk/5p1p/5R2/4B3/8/8/7P/7K w - -", 8);   // Ra6+ f6 Bxf6+ Rg7 Rxa8#
    EXPECT_EQ(three.score, 9994) << three.move;
    EXPECT_EQ(three.move, "f6a6");
}

TEST(Search, CheckmatedAndStalematedRoots) {
    Outcome mated = run_search("R5k1/5ppp/8/8/8/8/8/6K1 b - -", 5);
    EXPECT_EQ(mated.move, "null");
    EXPECT_EQ(mated.score, -9999);
    Outcome stalemate = run_search("7k/5Q2/6K1/8/8/8/8/8 b - -", 5);
    EXPECT_EQ(stalemate.move, "null");
    EXPECT_EQ(stalemate.score, 0);
}

TEST(Search, DeterministicWithOneThread) {
    tt_clear();
    Outcome first = run_search("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -", 7);
    tt_clear();
    Outcome second = run_search("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -", 7);
    EXPECT_EQ(first.nodes, second.nodes);
    EXPECT_EQ(first.move, second.move);
    EXPECT_GT(first.nodes, 1000u);
}

TEST(Search, RepetitionsAndTheFiftyMoveRule) {
    // A position repeated inside the search is a draw at once; one seen only
    // before the root needs a second earlier occurrence.
    test::Board b("7k/8/8/8/8/8/8/K5N1 w - -");
    test::play(b.pos, "a1b1 h8g8 b1a1 g8h8");
    EXPECT_EQ(is_draw(*b.thread, 5), 1) << "the repetition lies within the search";
    EXPECT_EQ(is_draw(*b.thread, 1), 0) << "one earlier occurrence before the root";
    test::play(b.pos, "a1b1 h8g8 b1a1 g8h8");
    EXPECT_EQ(is_draw(*b.thread, 1), 1);
    test::Board fifty("7k/8/8/8/8/8/8/K6R w - -");
    fifty.pos.halfmove = 101;
    EXPECT_EQ(is_draw(*fifty.thread, 3), 1);
}

TEST(Search, SelectivityParameters) {
    const int16_t saved = search_settings.Selectivity;
    search_settings.Selectivity = 0;
    set_search_params();
    EXPECT_EQ(params.FP_depth, 0);
    EXPECT_EQ(params.LMP_depth, 0);
    EXPECT_EQ(params.NMP_depth, 100);
    EXPECT_EQ(params.LMR_depth, 100);
    EXPECT_EQ(params.BP_margin, 5000);
    search_settings.Selectivity = 100;
    set_search_params();
    const float full = params.lmr[10][10];
    EXPECT_EQ(params.BP_margin, 15);
    EXPECT_EQ(params.lmr[2][10], 0.0f);
    search_settings.Selectivity = 50;
    set_search_params();
    EXPECT_EQ(params.BP_margin, 40);
    EXPECT_NEAR(params.lmr[10][10], full / 2, 0.01);
    search_settings.Selectivity = saved;
    set_search_params();
}

TEST(Search, HistoryBonus) {
    build_history_bonus();
    EXPECT_EQ(history_bonus[0], 0);
    EXPECT_EQ(history_bonus[1], 16);
    EXPECT_EQ(history_bonus[10], 71);
}

} // namespace
} // namespace zelk
