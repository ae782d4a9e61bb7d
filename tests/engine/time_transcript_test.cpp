// Time and limits over UCI against the built engine: every "go" starts from
// no earlier limit, "movetime" answers within it less the overhead, and a
// clock near zero still answers a legal move.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include "core/notation.h"
#include "helpers.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

using Clock = std::chrono::steady_clock;
const std::vector<std::string> HCE = {"-use_hce"};

struct Answer {
    std::string move;
    double seconds = 0;
    int deepest = 0;    // the deepest "info depth" line of the search
};

Answer search(EngineSession& e, const std::string& go, double wait = 10) {
    e.seen.clear();
    const auto start = Clock::now();
    e.send(go);
    std::istringstream line(e.expect("bestmove", wait));
    Answer a;
    a.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::string word;
    line >> word >> a.move;
    for (const auto& l : e.seen) {
        std::istringstream info(l);
        std::string tag, key;
        int depth = 0;
        if (info >> tag >> key >> depth && tag == "info" && key == "depth")
            a.deepest = std::max(a.deepest, depth);
    }
    return a;
}

bool is_legal_answer(const char* fen, const std::string& text) {
    Board board(fen);
    for (Move m : legal_moves(board.pos)) {
        char buffer[MOVE_TEXT_SIZE];
        move_to_coord(board.pos, board.pos.side, m, buffer);
        if (text == buffer)
            return true;
    }
    return false;
}

const char* AFTER_E4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -";

TEST(GoLimits, EveryGoStartsWithoutTheLimitsOfTheLastOne) {
    EngineSession e(HCE);
    e.send("position startpos moves e2e4");
    EXPECT_EQ(search(e, "go depth 3").deepest, 3);
    const Answer clock = search(e, "go wtime 2000 btime 2000 winc 100 binc 100");
    EXPECT_GT(clock.deepest, 3) << "the depth limit of the last go was kept";
    search(e, "go nodes 300");
    const Answer timed = search(e, "go movetime 1000");
    EXPECT_GT(timed.seconds, 0.6) << "the node limit of the last go was kept";
    EXPECT_TRUE(is_legal_answer(AFTER_E4, timed.move)) << timed.move;
    e.send("quit");
    EXPECT_EQ(e.finish(), 0);
}

TEST(GoLimits, TheDepthSwitchStaysForEveryGo) {
    EngineSession e({"-use_hce", "-d", "4"});
    e.send("position startpos moves e2e4");
    EXPECT_EQ(search(e, "go wtime 60000 btime 60000").deepest, 4);
    e.send("ucinewgame");
    e.send("position startpos moves e2e4");
    EXPECT_EQ(search(e, "go wtime 60000 btime 60000").deepest, 4);
    e.send("quit");
    EXPECT_EQ(e.finish(), 0);
}

TEST(GoLimits, MovetimeAnswersWithinItLessTheOverhead) {
    EngineSession e(HCE);
    // Wide bounds: the machine may be busy. Before, the answer came after 1.5 s.
    e.send("setoption name MoveOverhead value 1000");
    e.send("position startpos moves e2e4");
    const Answer a = search(e, "go movetime 1500");
    EXPECT_LT(a.seconds, 1.4) << "the answer is due 1000 ms before the end of the 1500";
    EXPECT_GT(a.seconds, 0.3);
    EXPECT_TRUE(is_legal_answer(AFTER_E4, a.move)) << a.move;
    // Less time than the overhead: a legal move at once, never "null".
    const Answer at_once = search(e, "go movetime 900");
    EXPECT_TRUE(is_legal_answer(AFTER_E4, at_once.move)) << at_once.move;
    e.send("quit");
    EXPECT_EQ(e.finish(), 0);
}

TEST(GoLimits, AClockNearZeroAnswersALegalMove) {
    EngineSession e(HCE);
    const char* fen = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ -";
    e.send(std::string("position fen ") + fen);
    for (const char* go : {"go wtime 1 btime 1", "go wtime 30 btime 30 winc 10 binc 10",
                           "go wtime 60 btime 60 winc 10 binc 10", "go wtime 20 btime 20 movestogo 3"}) {
        const Answer a = search(e, go);
        EXPECT_TRUE(is_legal_answer(fen, a.move)) << go << ": " << a.move;
    }
    e.send("quit");
    EXPECT_EQ(e.finish(), 0);
}

} // namespace
} // namespace zelk::test
