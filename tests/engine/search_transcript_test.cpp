// Searches run against the built engine over UCI: every limit answers one
// legal move in time, stop/ponder/quit behave, and full games finish.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>

#include "core/makemove.h"
#include "core/notation.h"
#include "search/control.h"
#include "helpers.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

using Clock = std::chrono::steady_clock;
const std::vector<std::string> HCE = {"-use_hce"};

// The legal move of `pos` written `text` in coordinate notation, or 0.
Move find_move(Position& pos, const std::string& text) {
    for (Move m : legal_moves(pos)) {
        char buffer[MOVE_TEXT_SIZE];
        move_to_coord(pos, pos.side, m, buffer);
        if (text == buffer)
            return m;
    }
    return NO_MOVE;
}

std::string move_of(const std::string& bestmove_line) {
    std::istringstream in(bestmove_line);
    std::string word, move;
    in >> word >> move;
    return move;
}

// Sends a search and checks its "bestmove" is one legal move, within `seconds`.
double timed_search(EngineSession& e, const std::string& go, double seconds, Board& board) {
    const auto start = Clock::now();
    e.send(go);
    const std::string line = e.expect("bestmove", seconds + 5);
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_FALSE(line.empty()) << go;
    EXPECT_NE(find_move(board.pos, move_of(line)), NO_MOVE) << go << ": " << line;
    EXPECT_LE(took, seconds) << go;
    return took;
}

TEST(SearchTranscript, EveryLimitAnswersALegalMove) {
    EngineSession e(HCE);
    e.send("position startpos moves e2e4 e7e5 g1f3");
    Board board;
    play(board.pos, "e2e4 e7e5 g1f3");
    // "infinite" runs until "stop", which answers at once.
    e.send("go infinite");
    EXPECT_EQ(e.expect("bestmove", 0.5), "") << "no answer before stop";
    const auto stop = Clock::now();
    e.send("stop");
    const std::string line = e.expect("bestmove", 2);
    EXPECT_NE(find_move(board.pos, move_of(line)), NO_MOVE) << line;
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - stop).count(), 0.3);
    // The answer comes MoveOverhead (50 ms) before the time is up.
    const double movetime = timed_search(e, "go movetime 200", 0.6, board);
    EXPECT_GE(movetime, 0.1);
    timed_search(e, "go wtime 1000 btime 1000 winc 10 binc 10", 1.0, board);
    timed_search(e, "go depth 8", 60, board);
    timed_search(e, "go nodes 20000", 30, board);
    // Pondering runs until "ponderhit" hands it the clock.
    e.send("go ponder wtime 2000 btime 2000");
    EXPECT_EQ(e.expect("bestmove", 0.5), "");
    e.send("ponderhit");
    EXPECT_NE(find_move(board.pos, move_of(e.expect("bestmove", 3))), NO_MOVE);
    // A new "go" while searching stops the old search without answering it.
    e.send("go infinite");
    e.send("isready");
    EXPECT_EQ(e.expect("readyok", 2), "readyok");
    e.send("go depth 3");
    e.expect("bestmove", 10);
    e.send("isready");
    EXPECT_EQ(e.expect("readyok", 2), "readyok");
    int answers = 0;
    for (const auto& l : e.seen)
        answers += l.rfind("bestmove", 0) == 0;
    EXPECT_EQ(answers, 0) << "the interrupted search was not reported";
    // "quit" during a search ends the engine cleanly.
    e.send("go infinite");
    e.send("quit");
    EXPECT_EQ(e.finish(), 0);
}

TEST(SearchTranscript, MateScoresAndRootsWithoutMoves) {
    EngineSession e(HCE);
    e.send("position fen r5k1/5ppp/8/8/8/8/1Q6/1R4K1 w - -");
    e.send("go depth 6");
    ASSERT_EQ(e.expect("bestmove", 30), "bestmove b2b8 ponder a8b8");
    bool mate2 = false;
    for (const auto& l : e.seen)
        mate2 = mate2 || l.find("score mate 2 ") != std::string::npos;
    EXPECT_TRUE(mate2);
    e.send("position fen R5k1/5ppp/8/8/8/8/8/6K1 b - -");
    e.send("go depth 5");
    EXPECT_EQ(e.expect("bestmove", 10), "bestmove null");
    e.send("position fen 7k/5Q2/6K1/8/8/8/8/8 b - -");
    e.send("go wtime 1000 btime 1000");
    EXPECT_EQ(e.expect("bestmove", 10), "bestmove null");
    e.send("quit");
    EXPECT_EQ(e.finish(), 0);
}

TEST(SearchTranscript, TwoThreadsAndMultiPv) {
    EngineSession e({"-use_hce", "-threads", "2"});
    e.send("setoption name MultiPV value 3");
    e.send("position startpos");
    Board board;
    timed_search(e, "go depth 7", 60, board);
    int lines = 0;
    for (const auto& l : e.seen)
        lines += l.find(" multipv 3 ") != std::string::npos;
    EXPECT_GT(lines, 0);
    e.send("quit");
    EXPECT_EQ(e.finish(), 0);
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
        mover.send("go nodes " + std::to_string(nodes));
        const std::string line = mover.expect("bestmove", 20);
        const std::string text = move_of(line);
        const Move m = find_move(board.pos, text);
        if (!m) {
            ADD_FAILURE() << "illegal or missing move '" << line << "' at ply " << ply << " of " << fen << moves;
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
    e.send("quit");
    EXPECT_EQ(e.finish(), 0);
}

} // namespace
} // namespace zelk::test
