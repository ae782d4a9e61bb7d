// "go" by colour: what the command stores, and which side's clock and
// increment the time allowed for the search follows. What knows how a
// search is prepared and timed lives in three helpers: go, allowed and
// stops_early.
#include <gtest/gtest.h>

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

TEST(GoByColour, EachClockAndIncrementGoesToItsSide) {
    const char* asymmetric = "wtime 1000 btime 60000 winc 0 binc 5000";
    const char* mirror = "wtime 60000 btime 1000 winc 5000 binc 0";
    go(WHITE_TO_MOVE, asymmetric);
    EXPECT_FLOAT_EQ(control.clock_white, 1.0f);
    EXPECT_FLOAT_EQ(control.clock_black, 60.0f);
    EXPECT_FLOAT_EQ(control.increment, 0.0f) << "White's increment";
    go(BLACK_TO_MOVE, asymmetric);
    EXPECT_FLOAT_EQ(control.increment, 5.0f) << "Black's increment";
    go(WHITE_TO_MOVE, mirror);
    EXPECT_FLOAT_EQ(control.clock_white, 60.0f);
    EXPECT_FLOAT_EQ(control.clock_black, 1.0f);
    EXPECT_FLOAT_EQ(control.increment, 5.0f);
    go(BLACK_TO_MOVE, mirror);
    EXPECT_FLOAT_EQ(control.increment, 0.0f);
    // The other side's increment never reaches the side to move.
    go(BLACK_TO_MOVE, "winc 2000");
    EXPECT_FLOAT_EQ(control.increment, 0.0f);
    go(WHITE_TO_MOVE, "binc 2000");
    EXPECT_FLOAT_EQ(control.increment, 0.0f);
}

TEST(GoByColour, TheTimeAllowedFollowsTheSideToMove) {
    const std::string asymmetric = "wtime 1000 btime 60000 winc 0 binc 5000";
    const std::string mirror = "wtime 60000 btime 1000 winc 5000 binc 0";
    const float white_short = allowed(WHITE_TO_MOVE, asymmetric);
    const float black_long = allowed(BLACK_TO_MOVE, asymmetric);
    const float white_long = allowed(WHITE_TO_MOVE, mirror);
    const float black_short = allowed(BLACK_TO_MOVE, mirror);
    EXPECT_GT(white_short, 0.0f);
    EXPECT_LT(white_short, 1.0f) << "within White's own second";
    EXPECT_GT(black_long, 1.0f) << "a share of Black's minute and increment";
    // Colours swapped with the clocks: the same time.
    EXPECT_FLOAT_EQ(white_short, black_short);
    EXPECT_FLOAT_EQ(white_long, black_long);
    // The opponent's clock and increment change nothing.
    EXPECT_FLOAT_EQ(allowed(WHITE_TO_MOVE, "wtime 1000 btime 5000 winc 0 binc 0"), white_short);
    EXPECT_FLOAT_EQ(allowed(WHITE_TO_MOVE, "wtime 60000 btime 777 winc 5000 binc 9000"), white_long);
    EXPECT_FLOAT_EQ(allowed(BLACK_TO_MOVE, "wtime 1 btime 60000 winc 9000 binc 5000"), black_long);
    // The side's own increment counts.
    EXPECT_GT(black_long, allowed(BLACK_TO_MOVE, "wtime 1000 btime 60000 winc 0 binc 0"));
    EXPECT_GT(white_long, allowed(WHITE_TO_MOVE, "wtime 60000 btime 1000 winc 0 binc 0"));
    // With moves to go, the same.
    EXPECT_FLOAT_EQ(allowed(WHITE_TO_MOVE, "wtime 3000 btime 90000 movestogo 5"),
                    allowed(BLACK_TO_MOVE, "wtime 90000 btime 3000 movestogo 5"));
    EXPECT_LT(allowed(WHITE_TO_MOVE, "wtime 3000 btime 90000 movestogo 5"), 3.0f);
}

// Whether the clock check, 20 ms into the search prepared by "go args",
// ends it.
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
    const std::string white_short = "wtime 50 btime 60000 winc 0 binc 0";
    const std::string black_short = "wtime 60000 btime 50 winc 0 binc 0";
    EXPECT_TRUE(stops_early(WHITE_TO_MOVE, white_short));
    EXPECT_FALSE(stops_early(BLACK_TO_MOVE, white_short));
    EXPECT_TRUE(stops_early(BLACK_TO_MOVE, black_short));
    EXPECT_FALSE(stops_early(WHITE_TO_MOVE, black_short));
}

TEST(GoKeywords, EachAlone) {
    EXPECT_EQ(go(WHITE_TO_MOVE, "wtime 2500"), STATE_SEARCH_REQUESTED);
    EXPECT_FLOAT_EQ(control.clock_white, 2.5f);
    EXPECT_EQ(control.time_control_moves, 0) << "the whole game on the clock";
    go(WHITE_TO_MOVE, "wtime -300");
    EXPECT_FLOAT_EQ(control.clock_white, 0.0f);
    go(WHITE_TO_MOVE, "btime 3500");
    EXPECT_FLOAT_EQ(control.clock_black, 3.5f);
    go(BLACK_TO_MOVE, "btime -1");
    EXPECT_FLOAT_EQ(control.clock_black, 0.0f);
    go(WHITE_TO_MOVE, "winc 1500");
    EXPECT_FLOAT_EQ(control.increment, 1.5f);
    go(BLACK_TO_MOVE, "binc 2500");
    EXPECT_FLOAT_EQ(control.increment, 2.5f);

    go(WHITE_TO_MOVE, "movestogo 7");
    EXPECT_EQ(control.time_control_moves, 40);
    EXPECT_EQ(control.moves_to_go, 7);
    EXPECT_EQ(control.depth_limit, DEPTH_UNLIMITED);
    EXPECT_EQ(control.node_limit, 0u);

    go(WHITE_TO_MOVE, "depth 5");
    EXPECT_EQ(control.depth_limit, 5);
    EXPECT_EQ(control.time_control_moves, 1);
    EXPECT_GE(control.time_per_move, 1e6f) << "no time limit";
    go(WHITE_TO_MOVE, "depth 99");
    EXPECT_EQ(control.depth_limit, DEPTH_UNLIMITED);

    std::set<uint64_t> budgets;
    for (int i = 0; i < 30; ++i) {
        go(WHITE_TO_MOVE, "nodes 10000");
        EXPECT_EQ(control.time_control_moves, 1);
        EXPECT_GE(control.time_per_move, 1e6f);
        EXPECT_GE(control.node_limit, 9610u);
        EXPECT_LE(control.node_limit, 10400u);
        budgets.insert(control.node_limit);
    }
    EXPECT_GT(budgets.size(), 5u) << "drawn anew for each command";

    go(WHITE_TO_MOVE, "winc 3000 movetime 250");
    EXPECT_EQ(control.time_control_moves, 1);
    EXPECT_FLOAT_EQ(control.time_per_move, 0.25f);
    EXPECT_FLOAT_EQ(control.increment, 0.0f);
    EXPECT_LE(allowed(BLACK_TO_MOVE, "movetime 250"), 0.25f);

    go(WHITE_TO_MOVE, "infinite");
    EXPECT_EQ(control.time_control_moves, 1);
    EXPECT_EQ(control.depth_limit, DEPTH_UNLIMITED);
    EXPECT_GE(control.time_per_move, 1e6f);
    EXPECT_EQ(control.node_limit, 0u);

    EXPECT_EQ(go(WHITE_TO_MOVE, "ponder"), STATE_PONDER_REQUESTED);
    EXPECT_EQ(go(WHITE_TO_MOVE, ""), STATE_SEARCH_REQUESTED);
    EXPECT_EQ(control.time_control_moves, 0);
}

TEST(GoKeywords, Combined) {
    EXPECT_EQ(go(BLACK_TO_MOVE, "ponder wtime 1000 btime 60000 winc 0 binc 5000 movestogo 20"),
              STATE_PONDER_REQUESTED);
    EXPECT_FLOAT_EQ(control.clock_white, 1.0f);
    EXPECT_FLOAT_EQ(control.clock_black, 60.0f);
    EXPECT_FLOAT_EQ(control.increment, 5.0f);
    EXPECT_EQ(control.time_control_moves, 40);
    EXPECT_EQ(control.moves_to_go, 20);

    go(WHITE_TO_MOVE, "depth 8 movetime 300");
    EXPECT_EQ(control.depth_limit, 8);
    EXPECT_EQ(control.time_control_moves, 1);
    EXPECT_FLOAT_EQ(control.time_per_move, 0.3f);

    go(WHITE_TO_MOVE, "nodes 5000 depth 6");
    EXPECT_EQ(control.depth_limit, 6);
    EXPECT_GE(control.node_limit, 4805u);
    EXPECT_LE(control.node_limit, 5200u);
    EXPECT_EQ(control.time_control_moves, 1);

    // Clocks with a fixed limit: the limit decides, the clocks are still read.
    go(BLACK_TO_MOVE, "wtime 4000 btime 8000 winc 100 binc 200 depth 3");
    EXPECT_EQ(control.depth_limit, 3);
    EXPECT_EQ(control.time_control_moves, 1);
    EXPECT_FLOAT_EQ(control.clock_white, 4.0f);
    EXPECT_FLOAT_EQ(control.clock_black, 8.0f);
    EXPECT_FLOAT_EQ(control.increment, 0.2f);

    // "searchmoves" and other words are ignored.
    go(WHITE_TO_MOVE, "searchmoves e2e4 d2d4 wtime 7000 btime 9000");
    EXPECT_FLOAT_EQ(control.clock_white, 7.0f);
    EXPECT_FLOAT_EQ(control.clock_black, 9.0f);
    EXPECT_EQ(control.time_control_moves, 0);
}

} // namespace
} // namespace zelk
