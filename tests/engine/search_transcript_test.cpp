// Searches run against the built engine over UCI: every limit answers one
// legal move in time and starts from no earlier limit, a new "go" or "quit"
// during a search, two threads, and full games.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>

#include "core/makemove.h"
#include "helpers.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

const std::vector<std::string> HCE = {"-use_hce"};

struct Answer {
    std::string move;
    double seconds = 0;
    int deepest = 0;   // the deepest "info depth" line of the search
};

Answer search(EngineSession& e, const std::string& go, double wait = 20) {
    e.seen.clear();
    const auto start = std::chrono::steady_clock::now();
    e.send(go);
    Answer a;
    a.move = move_of(e.expect("bestmove", wait));
    a.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const auto& l : e.seen) {
        std::istringstream info(l);
        std::string tag, key;
        int depth = 0;
        if (info >> tag >> key >> depth && tag == "info" && key == "depth")
            a.deepest = std::max(a.deepest, depth);
    }
    return a;
}

TEST(SearchTranscript, EveryLimitAnswersALegalMoveInTime) {
    EngineSession e(HCE);
    e.send("position startpos moves e2e4 e7e5 g1f3");
    Board board;
    play(board.pos, "e2e4 e7e5 g1f3");
    const struct {
        const char* go;
        double seconds;
    } limits[] = {{"go wtime 1000 btime 1000 winc 10 binc 10", 1.0}, {"go depth 8", 60}, {"go nodes 20000", 30}};
    for (const auto& l : limits) {
        const Answer a = search(e, l.go, l.seconds + 5);
        EXPECT_NE(find_move(board.pos, a.move), NO_MOVE) << l.go << ": " << a.move;
        EXPECT_LE(a.seconds, l.seconds) << l.go;
    }
    // A new "go" while searching stops the old search without answering it.
    e.send("go infinite");
    e.send("isready");
    EXPECT_EQ(e.expect("readyok", 2), "readyok");
    e.send("go depth 3");
    e.expect("bestmove", 10);
    e.send("isready");
    EXPECT_EQ(e.expect("readyok", 2), "readyok");
    EXPECT_FALSE(contains(e.seen, "bestmove")) << "the interrupted search was not reported";
    // "quit" during a search ends the engine cleanly.
    e.send("go infinite");
    EXPECT_EQ(e.quit(), 0);
}

TEST(GoLimits, EveryGoStartsWithoutTheLimitsOfTheLastOne) {
    EngineSession e(HCE);
    e.send("position startpos moves e2e4");
    EXPECT_EQ(search(e, "go depth 3").deepest, 3);
    EXPECT_GT(search(e, "go wtime 2000 btime 2000 winc 100 binc 100").deepest, 3) << "the depth limit was kept";
    search(e, "go nodes 300");
    EXPECT_GT(search(e, "go movetime 1000").seconds, 0.6) << "the node limit was kept";
    // The depth switch, unlike "go depth", holds for every search.
    EngineSession d({"-use_hce", "-d", "4"});
    for (int game = 0; game < 2; ++game) {
        d.send("ucinewgame");
        d.send("position startpos moves e2e4");
        EXPECT_EQ(search(d, "go wtime 60000 btime 60000").deepest, 4);
    }
}

TEST(GoLimits, MovetimeAnswersWithinItLessTheOverhead) {
    EngineSession e(HCE);
    Board board;
    play(board.pos, "e2e4");
    // Wide bounds: the machine may be busy. Before, the answer came after the full 3 s.
    e.send("setoption name MoveOverhead value 2000");
    e.send("position startpos moves e2e4");
    const Answer a = search(e, "go movetime 3000");
    EXPECT_LT(a.seconds, 2.5) << "the answer is due 2000 ms before the end of the 3000";
    EXPECT_GT(a.seconds, 0.5);
    EXPECT_NE(find_move(board.pos, a.move), NO_MOVE) << a.move;
    // Less time than the overhead: a legal move at once, never "null".
    EXPECT_NE(find_move(board.pos, search(e, "go movetime 1900").move), NO_MOVE);
}

TEST(GoLimits, AClockNearZeroAnswersALegalMove) {
    EngineSession e(HCE);
    const char* fen = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ -";
    Board board(fen);
    e.send(std::string("position fen ") + fen);
    for (const char* go : {"go wtime 1 btime 1", "go wtime 30 btime 30 winc 10 binc 10",
                           "go wtime 60 btime 60 winc 10 binc 10", "go wtime 20 btime 20 movestogo 3"})
        EXPECT_NE(find_move(board.pos, search(e, go, 10).move), NO_MOVE) << go;
}

TEST(SearchTranscript, TwoThreadsAndMultiPv) {
    EngineSession e({"-use_hce", "-threads", "2"});
    e.send("setoption name MultiPV value 3");
    e.send("position startpos");
    Board board;
    EXPECT_NE(find_move(board.pos, search(e, "go depth 7", 60).move), NO_MOVE);
    EXPECT_TRUE(contains(e.seen, " multipv 3 "));
    EXPECT_EQ(e.quit(), 0);
}

// Plays one game between two engine processes; returns the number of plies.
int play_game(const std::string& fen, int nodes) {
    EngineSession white(HCE), black(HCE);
    Board board(fen.c_str());
    std::string moves;
    std::map<uint64_t, int> seen;
    for (int ply = 0; ply < 400; ++ply) {
        if (legal_moves(board.pos).empty() || board.pos.halfmove >= 100 || ++seen[board.pos.key] >= 3 ||
            (board.pos.npm[0] + board.pos.npm[1] <= 3 && !(board.pos.mat_sig[0] & 0xF) && !(board.pos.mat_sig[1] & 0xF)))
            return ply;
        EngineSession& mover = board.pos.side == WHITE ? white : black;
        mover.send("position fen " + fen + (moves.empty() ? "" : " moves" + moves));
        const std::string text = search(mover, "go nodes " + std::to_string(nodes)).move;
        const Move m = find_move(board.pos, text);
        if (!m) {
            ADD_FAILURE() << "illegal or missing move '" << text << "' at ply " << ply << " of " << fen << moves;
            return -1;
        }
        make_move(board.pos, m);
        board.thread->search_ply = 1;
        moves += " " + text;
    }
    return 400;
}

TEST(SearchTranscript, FullGamesBetweenTwoEngines) {
    std::vector<std::string> starts = {START_FEN};
    std::ifstream openings(std::string(ZELK_TEST_DATA) + "/openings.epd");
    std::string line;
    for (int i = 0; i < 2 && std::getline(openings, line); ++i)
        starts.push_back(line);
    for (const auto& fen : starts)
        EXPECT_GT(play_game(fen, 3000), 0) << fen;
}

TEST(ConsoleTranscript, SelfPlayEndsTheGame) {
    EngineSession e({"-use_hce", "-c"});
    e.send("fen 8/5k2/8/8/8/3K4/5R2/8 w - -");
    e.send("set depth 4");
    e.send("self");
    EXPECT_NE(e.expect("move= null", 120), "") << "the game ends with mate, stalemate or the fifty-move rule";
    EXPECT_EQ(e.quit(), 0);
}

} // namespace
} // namespace zelk::test
