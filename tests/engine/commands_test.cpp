// The interpreters driven in-process: "position", and what "go" stores and
// whose clock it follows.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "engine/interpreter.h"
#include "helpers.h"
#include "search/control.h"
#include "search/result.h"
#include "search/thread.h"
#include "search/threads.h"
#include "search/timeman.h"

namespace zelk {
namespace {

std::string game_fen() {
    char fen[FEN_BUFFER_SIZE];
    pos_to_fen(game->pos, fen, true);
    return fen;
}

// Every row starts from RESET, so a line that leaves the position or its
// clock alone shows; the FEN of a row may stop short of the move number.
TEST(PositionCommand, MovesSpellingsClocksAndMalformedText) {
    const char* const RESET = "4k3/8/8/8/8/8/8/4K3 w - - 5 ";
    const std::string LONE = "7k/8/8/8/8/8/8/K7 w - -";
    const std::string after_d4 = "rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 1";
    const std::string castled = "2kr3r/8/8/8/8/8/8/R4RK1 w - - 0 2";
    struct Row {
        std::string line, fen;
        const char* said = "";
    };
    std::vector<Row> rows = {
        {"position startpos moves e2e4 e7e5 g1f3", "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 3"},
        {"position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - moves e1g1 e8a8", castled},
        {"position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - moves e1h1 e8a8", castled},
        {"position fen 4k2r/8/8/8/8/8/8/RK6 w A - moves b1a1", "4k2r/8/8/8/8/8/8/2KR4 b - - 0 1"},   // Chess960
        {"position fen 4k3/P7/8/8/8/8/8/4K3 w - - moves a7a8n", "N3k3/8/8/8/8/8/8/4K3 b - - 0 1"},
        {"position fen 4k3/P7/8/8/8/8/8/4K3 w - - moves a7a8", "Q3k3/8/8/8/8/8/8/4K3 b - - 0 1"},
        {"position fen k7/2P5/1K6/8/8/8/8/8 w - - moves c7c8N", "k1N5/8/1K6/8/8/8/8/8 b - - 0 1"},
        {"position startpos moves d2d4 e7e5x", "rnbqkbnr/pppp1ppp/8/4p3/3P4/8/PPP1PPPP/RNBQKBNR w KQkq e6 0 2"},
        {"position fen 8/8/8/8/8/8/8/8 w - - moves e2e4 a1a2", "8/8/8/8/8/8/8/8 w - - 0 0"},
        {"position nothing moves e2e4", RESET},
        {"position fen", RESET, "info string position fen without a FEN: the position is unchanged\n"},
        // Blanks anywhere between the words.
        {" position  fen  7k/8/8/8/8/8/8/K7 w - - moves", "7k/8/8/8/8/8/8/K7 w - - 0 0"},
        {"position fen 7k/8/8/8/8/8/8/K7  w  -  -  moves  a1b1  h8g8  b1a1  g8h8", "7k/8/8/8/8/8/8/K7 w - - 4 "},
        // The FEN's halfmove clock is read; a missing one is 0.
        {"position fen " + LONE + " 37 80", LONE + " 37 "},
        {"position fen " + LONE + " 100", LONE + " 100 "},
        {"position fen " + LONE, LONE + " 0 "},
        {"position fen " + LONE + "  0 1", LONE + " 0 "},
        {"position fen " + LONE + " 37 80 moves a1b1", "7k/8/8/8/8/8/8/1K6 b - - 38 "},
    };
    // A bad clock is 0, and said so.
    for (const char* bad : {" 101 1", " -3 1", " abc", " 1x5 80", " 99999999999999999999 1"})
        rows.push_back({"position fen " + LONE + bad, LONE + " 0 ",
                        "info string halfmove clock not a number from 0 to 100: read as 0\n"});
    // A move that is not legal, or not a move, ends the list there.
    for (const char* bad : {"e7", "e7e4", "i7i5", "e9e5", "garbage", "e8e7", "e2e4", "7e5e", ""})
        rows.push_back({std::string("position startpos moves d2d4 ") + bad + " c2c4", after_d4});
    for (const Row& r : rows) {
        uci_command(std::string("position fen ") + RESET + "9");
        ::testing::internal::CaptureStdout();
        uci_command(r.line);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), r.said) << r.line;
        EXPECT_EQ(game_fen().substr(0, r.fen.size()), r.fen) << r.line;
    }
    // The redo list ends with the game, also after a longer one.
    uci_command("position startpos moves e2e4 e7e5 g1f3 b8c6");
    uci_command("position startpos moves e2e4 e7e5 g1f3");
    EXPECT_EQ(game->history[3].move, NO_MOVE);
}

// A game of any length is played to its end: when the history stack fills,
// only the plies back to the last irreversible move stay, which is all the
// repetition test reads.
TEST(PositionCommand, GamesOfAnyLength) {
    std::string white_first, black_first;
    for (int i = 0; i < 1000; ++i) {
        white_first += " g1f3 g8f6 f3g1 f6g8";
        black_first += " g8f6 g1f3 f6g8 f3g1";
    }
    set_position_command("position startpos moves e2e4" + black_first + " g8f6");
    EXPECT_EQ(game_fen().substr(0, 57), "rnbqkb1r/pppppppp/5n2/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - ");
    EXPECT_LE(game->history_count, HISTORY_CAPACITY - MAX_PLY - 4);
    EXPECT_GE(game->history_count, 100);
    EXPECT_EQ(game->history_count % 2, 0) << "an even number of plies is dropped";
    // The kept plies are the last ones: the repetition test finds the
    // position of four plies ago.
    EXPECT_EQ(game->history[game->history_count - 4].key, game->pos.key);
    // After a pawn move only the plies since then are needed.
    set_position_command("position startpos moves" + white_first + " e2e4" + black_first.substr(0, 20 * 4 * 5));
    EXPECT_EQ(game->pos.halfmove, 80);
    EXPECT_EQ(game->history[game->history_count - 81].move & 0x3F, 28) << "e2e4 is still there";
}

const char* const WHITE_TO_MOVE = "4k3/pppp4/8/8/8/8/PPPP4/4K3 w - -";
const char* const BLACK_TO_MOVE = "4k3/pppp4/8/8/8/8/PPPP4/4K3 b - -";

// A new game on `fen` with the limits of a fresh engine, then "go args".
// Returns the search state asked for; the engine stays idle.
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

// The side to move's own clock and increment count, not the opponent's.
TEST(GoByColour, TheTimeAllowedAndTheClockCheckFollowTheSideToMove) {
    const char *asymmetric = "wtime 1000 btime 60000 winc 0 binc 5000", *mirror = "wtime 60000 btime 1000 winc 5000 binc 0";
    const float white_short = allowed(WHITE_TO_MOVE, asymmetric), black_long = allowed(BLACK_TO_MOVE, asymmetric);
    EXPECT_TRUE(white_short > 0 && white_short < 1.0f) << "within White's own second: " << white_short;
    EXPECT_GT(black_long, 1.0f) << "a share of Black's minute and increment";
    EXPECT_FLOAT_EQ(white_short, allowed(BLACK_TO_MOVE, mirror));
    EXPECT_FLOAT_EQ(black_long, allowed(WHITE_TO_MOVE, mirror));
    EXPECT_FLOAT_EQ(allowed(WHITE_TO_MOVE, "wtime 60000 btime 777 winc 5000 binc 9000"), black_long);
    EXPECT_GT(black_long, allowed(BLACK_TO_MOVE, "wtime 1000 btime 60000 winc 0 binc 0"));
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
        {WHITE_TO_MOVE, "movestogo 7", STATE_SEARCH_REQUESTED, DEPTH_UNLIMITED, 40, 0, 0},
        {WHITE_TO_MOVE, "depth 5", STATE_SEARCH_REQUESTED, 5, 1, NO_LIMIT, 0},
        {WHITE_TO_MOVE, "depth 99", STATE_SEARCH_REQUESTED, DEPTH_UNLIMITED, ANY, 0, 0},
        {WHITE_TO_MOVE, "nodes 10000", STATE_SEARCH_REQUESTED, ANY, 1, NO_LIMIT, 10000},
        {WHITE_TO_MOVE, "winc 3000 movetime 250", STATE_SEARCH_REQUESTED, ANY, 1, 0.25f, 0},
        {BLACK_TO_MOVE, "ponder wtime 1000 btime 60000 binc 5000 movestogo 20", STATE_PONDER_REQUESTED, ANY, 40, 0, 0},
        {BLACK_TO_MOVE, "wtime 4000 btime 8000 winc 100 binc 200 depth 3", STATE_SEARCH_REQUESTED, 3, 1, 0, 0},
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
    // The last row's increment; clocks never below zero; the moves to go and
    // the clocks beside other words stored as given.
    EXPECT_FLOAT_EQ(control.increment, 0.2f);
    go(WHITE_TO_MOVE, "wtime -300 btime -1 movestogo 7");
    EXPECT_FLOAT_EQ(control.clock_white, 0.0f);
    EXPECT_FLOAT_EQ(control.clock_black, 0.0f);
    EXPECT_EQ(control.moves_to_go, 7);
    go(WHITE_TO_MOVE, "searchmoves e2e4 d2d4 wtime 7000 btime 9000");
    EXPECT_FLOAT_EQ(control.clock_white, 7.0f);
    EXPECT_FLOAT_EQ(control.clock_black, 9.0f);
    // The node budget is drawn anew for each command.
    std::set<uint64_t> budgets;
    for (int i = 0; i < 10; ++i) {
        go(WHITE_TO_MOVE, "nodes 10000");
        budgets.insert(control.node_limit);
    }
    EXPECT_GT(budgets.size(), 3u);
}

} // namespace
} // namespace zelk
