// The engine as testing frameworks run it: command-line words, genfens, and
// the program alone in a folder with its built-in network.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>

#include "helpers.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

TEST(CommandLineWords, RunBeforeStandardInput) {
    // Switch values are not words; the words run in order, then the input.
    const EngineRun run = run_engine({"-hash", "8", "-use_hce", "position startpos moves e2e4", "go depth 4"},
                                     "isready\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(has_line(run, "info string allocated 8 Mbytes for hash table")) << run.output;
    EXPECT_TRUE(has_line(run, "readyok")) << "the input is read after the words\n" << run.output;
    const std::string best = line_starting(run.lines(), "bestmove ");
    Board board;
    play(board.pos, "e2e4");
    EXPECT_NE(find_move(board.pos, move_of(best)), NO_MOVE) << best;
    // "quit" as a word ends the engine before it reads anything.
    const EngineRun quit = run_engine({"-use_hce", "isready", "quit"}, "go depth 30\n");
    EXPECT_EQ(quit.status, 0);
    EXPECT_TRUE(has_line(quit, "readyok"));
    EXPECT_EQ(line_starting(quit.lines(), "bestmove"), "") << quit.output;
}

// The FENs of a "genfens" run, in order.
std::vector<std::string> genfens(const std::string& command, const std::string& dir = "") {
    std::vector<std::string> fens;
    for (const std::string& line : run_engine({command, "quit"}, "", dir, 60).lines())
        if (line.rfind("info string genfens ", 0) == 0)
            fens.push_back(line.substr(20));
    return fens;
}

TEST(Genfens, DistinctLegalSeededPositionsFromTheBook) {
    const auto first = genfens("genfens 20 seed 7 book None");
    ASSERT_EQ(first.size(), 20u);
    EXPECT_EQ(std::set<std::string>(first.begin(), first.end()).size(), 20u) << "distinct";
    EXPECT_EQ(genfens("genfens 20 seed 7 book None"), first) << "the same seed, the same positions";
    EXPECT_NE(genfens("genfens 20 seed 8 book None"), first);
    for (const std::string& fen : first) {
        Board b(fen.c_str());
        EXPECT_EQ(b.fen(), fen.substr(0, fen.rfind(' ', fen.rfind(' ') - 1))) << fen;
        EXPECT_FALSE(legal_moves(b.pos).empty()) << fen;
        EXPECT_EQ(fen.substr(fen.rfind(' ')), " 5") << "eight plies from the start: move 5";
    }
    // From a book line without queens, two plies on: no queen anywhere.
    const std::string dir = make_temp_dir();
    std::ofstream(dir + "/book.epd") << "rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNB1KBNR w KQkq - id \"q\";\n";
    const auto booked = genfens("genfens 6 seed 1 book book.epd plies 2", dir);
    ASSERT_EQ(booked.size(), 6u);
    for (const std::string& fen : booked)
        EXPECT_EQ(fen.substr(0, fen.find(' ')).find_first_of("Qq"), std::string::npos) << fen;
    // Bad requests say so and give nothing.
    for (const char* bad : {"genfens", "genfens 3 seed 1 book /nonexistent.epd"}) {
        const EngineRun run = run_engine({bad, "quit"}, "", dir);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(line_starting(run.lines(), "info string genfens "), "") << bad;
        EXPECT_NE(line_starting(run.lines(), "info string genfens: "), "") << bad << "\n" << run.output;
    }
}

// The built-in network is the shipped one: the same bench nodes as with
// nets/nn.bin beside the program (the test build has a copy there).
TEST(LoneBinary, StartsWithItsBuiltInNetwork) {
    const std::string dir = make_temp_dir();
    const std::string lone = dir + "/zelk";
    ASSERT_EQ(std::system(("cp " + std::string(ZELK_BINARY) + " " + lone).c_str()), 0);
    const EngineRun alone = run_engine({"bench", "6"}, "", dir, 60, lone.c_str());
    const EngineRun beside = run_engine({"bench", "6"}, "", "", 60);
    ASSERT_EQ(alone.status, 0) << alone.output;
    EXPECT_NE(line_starting(alone.lines(), "info string loaded the built-in network (no "), "") << alone.output;
    EXPECT_NE(line_starting(beside.lines(), "info string loaded "), "") << beside.output;
    EXPECT_EQ(line_starting(beside.lines(), "info string loaded the built-in"), "") << beside.output;
    const std::string bench = line_starting(alone.lines(), "Bench: ");
    ASSERT_NE(bench, "");
    EXPECT_EQ(bench.substr(0, bench.find(" nodes")), line_starting(beside.lines(), "Bench: ").substr(0, bench.find(" nodes")));
}

} // namespace
} // namespace zelk::test
