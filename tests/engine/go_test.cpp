// "go": what each keyword stores, and which side's clock and increment the
// time allowed for the search and the clock check follow.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "engine/interpreter.h"
#include "search/control.h"
#include "search/result.h"
#include "search/threads.h"
#include "search/timeman.h"

namespace zelk {
namespace {

const char* const WHITE_TO_MOVE = "4k3/pppp4/8/8/8/8/PPPP4/4K3 w - -";
const char* const BLACK_TO_MOVE = "4k3/pppp4/8/8/8/8/PPPP4/4K3 b - -";
const char* const ASYMMETRIC = "wtime 1000 btime 60000 winc 0 binc 5000";
const char* const MIRROR = "wtime 60000 btime 1000 winc 5000 binc 0";

// A new game on `fen` with the limits of a fresh engine, then "go args".
// Returns the search state the command asked for; the engine stays idle.
uint8_t go(const char* fen, const std::string& args) {
    uci_command("ucinewgame");
    uci_command(std::string("position fen ") + fen);
    control.depth_limit = DEPTH_UNLIMITED;
    control.node_limit = 0;
    uci_command("go " + args);
    const uint8_t requested = control.search_state;
    control.search_state = STATE_IDLE;
    return requested;
}

// The time the search prepared by "go args" may take, in seconds.
float allowed(const char* fen, const std::string& args) {
    go(fen, args);
    search_start();
    return timing.target_time;
}

TEST(GoByColour, TheTimeAllowedFollowsTheSideToMove) {
    const float white_short = allowed(WHITE_TO_MOVE, ASYMMETRIC), black_long = allowed(BLACK_TO_MOVE, ASYMMETRIC);
    const float white_long = allowed(WHITE_TO_MOVE, MIRROR), black_short = allowed(BLACK_TO_MOVE, MIRROR);
    EXPECT_GT(white_short, 0.0f);
    EXPECT_LT(white_short, 1.0f) << "within White's own second";
    EXPECT_GT(black_long, 1.0f) << "a share of Black's minute and increment";
    EXPECT_FLOAT_EQ(white_short, black_short);
    EXPECT_FLOAT_EQ(white_long, black_long);
    // The opponent's clock and increment change nothing; the side's own increment counts.
    EXPECT_FLOAT_EQ(allowed(WHITE_TO_MOVE, "wtime 1000 btime 5000 winc 0 binc 0"), white_short);
    EXPECT_FLOAT_EQ(allowed(WHITE_TO_MOVE, "wtime 60000 btime 777 winc 5000 binc 9000"), white_long);
    EXPECT_FLOAT_EQ(allowed(BLACK_TO_MOVE, "wtime 1 btime 60000 winc 9000 binc 5000"), black_long);
    EXPECT_GT(black_long, allowed(BLACK_TO_MOVE, "wtime 1000 btime 60000 winc 0 binc 0"));
    EXPECT_GT(white_long, allowed(WHITE_TO_MOVE, "wtime 60000 btime 1000 winc 0 binc 0"));
    EXPECT_FLOAT_EQ(allowed(WHITE_TO_MOVE, "wtime 3000 btime 90000 movestogo 5"),
                    allowed(BLACK_TO_MOVE, "wtime 90000 btime 3000 movestogo 5"));
    EXPECT_LT(allowed(WHITE_TO_MOVE, "wtime 3000 btime 90000 movestogo 5"), 3.0f);
}

// Whether the clock check, 20 ms into the search prepared by "go args", ends it.
bool stops_early(const char* fen, const std::string& args) {
    go(fen, args);
    search_start();
    EXPECT_EQ(thread_setup(0), 0);
    control.search_state = STATE_SEARCHING;
    result.iteration_depth = 2;
    wait_ms(20);
    check_time();
    const bool stopped = control.stop_flag;
    control.stop_flag = 0;
    control.search_state = STATE_IDLE;
    result.iteration_depth = 0;
    return stopped;
}

TEST(GoByColour, TheClockCheckReadsTheSideToMove) {
    EXPECT_TRUE(stops_early(WHITE_TO_MOVE, "wtime 50 btime 60000"));
    EXPECT_FALSE(stops_early(BLACK_TO_MOVE, "wtime 50 btime 60000"));
    EXPECT_TRUE(stops_early(BLACK_TO_MOVE, "wtime 60000 btime 50"));
    EXPECT_FALSE(stops_early(WHITE_TO_MOVE, "wtime 60000 btime 50"));
}

TEST(GoKeywords, AloneAndCombined) {
    constexpr int ANY = -99;
    constexpr float NO_LIMIT = 1e6f;
    const struct {
        const char* fen;
        const char* args;
        uint8_t state;
        int depth, control_moves;   // ANY: not checked
        float per_move;             // 0: not checked
        uint64_t nodes;             // the budget, drawn within 4 % of it
    } rows[] = {
        {WHITE_TO_MOVE, "wtime 2500", STATE_SEARCH_REQUESTED, DEPTH_UNLIMITED, 0, 0, 0},
        {WHITE_TO_MOVE, "movestogo 7", STATE_SEARCH_REQUESTED, DEPTH_UNLIMITED, 40, 0, 0},
        {WHITE_TO_MOVE, "depth 5", STATE_SEARCH_REQUESTED, 5, 1, NO_LIMIT, 0},
        {WHITE_TO_MOVE, "depth 99", STATE_SEARCH_REQUESTED, DEPTH_UNLIMITED, ANY, 0, 0},
        {WHITE_TO_MOVE, "nodes 10000", STATE_SEARCH_REQUESTED, ANY, 1, NO_LIMIT, 10000},
        {WHITE_TO_MOVE, "winc 3000 movetime 250", STATE_SEARCH_REQUESTED, ANY, 1, 0.25f, 0},
        {BLACK_TO_MOVE, "ponder wtime 1000 btime 60000 binc 5000 movestogo 20", STATE_PONDER_REQUESTED, ANY, 40, 0, 0},
        {WHITE_TO_MOVE, "depth 8 movetime 300", STATE_SEARCH_REQUESTED, 8, 1, 0.3f, 0},
        {WHITE_TO_MOVE, "nodes 5000 depth 6", STATE_SEARCH_REQUESTED, 6, 1, 0, 5000},
        {BLACK_TO_MOVE, "wtime 4000 btime 8000 winc 100 binc 200 depth 3", STATE_SEARCH_REQUESTED, 3, 1, 0, 0},
        {WHITE_TO_MOVE, "searchmoves e2e4 d2d4 wtime 7000 btime 9000", STATE_SEARCH_REQUESTED, ANY, 0, 0, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string("go ") + r.args);
        EXPECT_EQ(go(r.fen, r.args), r.state);
        EXPECT_TRUE(r.depth == ANY || control.depth_limit == r.depth) << int(control.depth_limit);
        EXPECT_TRUE(r.control_moves == ANY || control.time_control_moves == r.control_moves);
        EXPECT_TRUE(r.per_move == 0 || (r.per_move == NO_LIMIT ? control.time_per_move >= NO_LIMIT
                                                                : std::abs(control.time_per_move - r.per_move) < 1e-6f))
            << control.time_per_move;
        EXPECT_GE(control.node_limit, r.nodes - r.nodes * 4 / 100);
        EXPECT_LE(control.node_limit, r.nodes + r.nodes * 4 / 100);
    }
    // Clocks never go below zero; the moves to go, the movetime's increment and
    // the clocks beside other words are stored as given.
    go(WHITE_TO_MOVE, "wtime -300 btime -1 movestogo 7");
    EXPECT_FLOAT_EQ(control.clock_white, 0.0f);
    EXPECT_FLOAT_EQ(control.clock_black, 0.0f);
    EXPECT_EQ(control.moves_to_go, 7);
    go(WHITE_TO_MOVE, "winc 3000 movetime 250");
    EXPECT_FLOAT_EQ(control.increment, 0.0f);
    EXPECT_LE(allowed(BLACK_TO_MOVE, "movetime 250"), 0.25f);
    go(BLACK_TO_MOVE, "wtime 4000 btime 8000 winc 100 binc 200 depth 3");
    EXPECT_FLOAT_EQ(control.increment, 0.2f);
    go(WHITE_TO_MOVE, "searchmoves e2e4 d2d4 wtime 7000 btime 9000");
    EXPECT_FLOAT_EQ(control.clock_white, 7.0f);
    EXPECT_FLOAT_EQ(control.clock_black, 9.0f);
    // The node budget is drawn anew for each command.
    std::set<uint64_t> budgets;
    for (int i = 0; i < 30; ++i) {
        go(WHITE_TO_MOVE, "nodes 10000");
        budgets.insert(control.node_limit);
    }
    EXPECT_GT(budgets.size(), 5u);
}

} // namespace
} // namespace zelk
