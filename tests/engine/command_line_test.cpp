// The engine as testing frameworks start it: command-line words, genfens,
// the network file it loads (or refuses to start without), NN_File while
// running, and the program alone in a folder with its built-in network.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "helpers.h"
#include "net_file.h"
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

TEST(EngineNetwork, StartUpLoadsTheFileOrStops) {
    const std::string dir = make_temp_dir();
    const std::string good = random_net_file(NetShape{896, 0, 32, 8, 2}, 1, 1);
    write_bytes(dir + "/net.bin", good);
    write_bytes(dir + "/short.bin", good.substr(0, good.size() / 2));
    std::ofstream(dir + "/good.cfg") << "NN_File = net.bin\n";
    std::ofstream(dir + "/short.cfg") << "NN_File = short.bin\n";
    std::ofstream(dir + "/missing.cfg") << "NN_File = missing.bin\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::vector<const char*> lines;
    } cases[] = {
        {{"-cfg", "good.cfg"}, 0, {"info string loaded net.bin", "readyok"}},
        {{"-cfg", "short.cfg"}, 1, {"error loading NN", "info string error loading short.bin"}},
        {{"-cfg", "missing.cfg"}, 1, {"info string error loading missing.bin"}},
        // "-use_hce" loads nothing: the same missing file does not matter.
        {{"-use_hce", "-cfg", "missing.cfg"}, 0, {"readyok"}},
    };
    for (const auto& c : cases) {
        const EngineRun run = run_engine(c.args, "isready\nquit\n", dir);
        EXPECT_EQ(run.status, c.status) << run.output;
        for (const char* line : c.lines)
            EXPECT_TRUE(has_line(run, line)) << line << "\n" << run.output;
    }
}

TEST(EngineNetwork, SearchesAfterSmallLargeAndRefusedLoads) {
    const std::string dir = make_temp_dir();
    const std::string small = dir + "/small.bin", large = dir + "/large.bin", bad = dir + "/bad.bin";
    write_bytes(small, random_net_file(NetShape{896, 0, 16, 8, 1}, 1, 3));
    write_bytes(large, random_net_file(NetShape{1792, 0, 256, 32, 6}, 2, 4));
    write_bytes(bad, network_bytes(NetShape{65535, 65535, 65535, 65535, 65535}, 1, {}));
    EngineSession e({"-use_hce"});
    e.send("setoption name NN_File value " + small);
    e.send("setoption name Use_NN_eval value true");
    e.send("position startpos moves e2e4 e7e5");
    e.send("go depth 6");
    EXPECT_NE(e.expect("bestmove"), "");
    e.send("setoption name NN_File value " + large);
    e.send("position fen 8/5k2/3p4/1p1Pp2p/pP2Pp1P/P4P1K/8/8 b - - 0 1");   // pawns only: the second network
    e.send("go depth 8");
    EXPECT_NE(e.expect("bestmove"), "");
    e.send("setoption name NN_File value " + bad);
    EXPECT_NE(e.expect("info string " + bad + ": network 1 needs"), "");
    e.send("go depth 6");
    EXPECT_NE(e.expect("bestmove"), "");
    EXPECT_EQ(e.finish(), 0);
}

// The network the build copied beside the program (nets/nn.bin): started
// with no switch, the engine loads it and it knows material, from either
// side. Alone in a folder the program loads its built-in network, the same
// one: the same bench nodes.
TEST(EngineNetwork, ShippedNetworkBesideTheProgramOrBuiltIn) {
    if (!std::filesystem::exists(std::filesystem::path(ZELK_BINARY).parent_path() / "nn.bin"))
        GTEST_SKIP() << "no nets/nn.bin in this build";
    const char* knight_up_white = "rnbqkb1r/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";
    const char* knight_up_black = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKB1R b KQkq -";
    const char* knight_down = "rnbqkb1r/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -";
    EngineRun run = run_engine({"-c"}, std::string("fen ") + knight_up_white + "\nev\nfen " + knight_up_black +
                                           "\nev\nfen " + knight_down + "\nev\nnew\nev\nquit\n");
    ASSERT_EQ(run.status, 0) << run.output;
    std::vector<int> evals;
    for (const std::string& line : run.lines())
        if (line.starts_with("NN eval= "))
            evals.push_back(std::stoi(line.substr(9)));
    ASSERT_EQ(evals.size(), 4u) << run.output;
    EXPECT_GT(evals[0], 150) << "a knight up";
    EXPECT_EQ(evals[1], evals[0]) << "the colour-flipped position";
    EXPECT_LT(evals[2], -150) << "a knight down";
    EXPECT_LT(std::abs(evals[3]), 80) << "the start position";
    const std::string dir = make_temp_dir(), lone = dir + "/zelk";
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
