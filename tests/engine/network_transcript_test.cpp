// The network in the built engine: loading at start-up (or refusing to
// start), NN_File while running, and searches after good and bad loads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "net_file.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

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

// The network the build copied beside the program (nets/nn.bin): started with
// no switch, the engine loads it and it knows material, from either side.
TEST(EngineNetwork, ShippedNetworkIsTheDefault) {
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
}

} // namespace
} // namespace zelk::test
