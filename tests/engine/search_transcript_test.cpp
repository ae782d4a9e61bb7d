// Searches of the built engine over UCI: every limit, a new "go" or "quit"
// during a search, two threads, console self-play, and principal
// variations that end where the game would.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <vector>

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
    for (const auto& l : e.seen)
        if (int depth = 0; std::sscanf(l.c_str(), "info depth %d", &depth) == 1)
            a.deepest = std::max(a.deepest, depth);
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
    } limits[] = {{"go wtime 1000 btime 1000 winc 10 binc 10", 1.0}, {"go depth 8", 60}, {"go nodes 20000", 30},
                  // A clock near zero still gives a legal move.
                  {"go wtime 1 btime 1", 1.0}, {"go wtime 30 btime 30 winc 10 binc 10", 1.0}};
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
    // "quit" during a search answers it, then ends the engine cleanly.
    e.send("go infinite");
    e.send("quit");
    EXPECT_NE(e.expect("bestmove", 3), "");
    EXPECT_EQ(e.finish(), 0);
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

// A queen up and far from mate in one, but the FEN's clock says 99: the
// fifty-move rule draws every line. At 0 the win shows.
TEST(FiftyMoveRule, ClockFromTheFenDrawsTheWin) {
    EngineSession e(HCE);
    for (const bool drawn : {true, false}) {
        e.send(std::string("position fen 8/8/8/4k3/8/8/8/3QK3 w - - ") + (drawn ? "99" : "0") + " 80");
        search(e, "go depth 10");
        int score = -100000;
        for (const auto& l : e.seen)
            std::sscanf(l.c_str(), "info depth 10 seldepth %*d score cp %d", &score);
        ASSERT_NE(score, -100000) << drawn;
        EXPECT_TRUE(drawn ? score == 0 : score > 500) << drawn << ": " << score;
    }
}

// MultiPV on two threads: the lines of an iteration come together, best
// first, each with a move of its own; where one move wins a queen, line 1 is
// the move the one-line search plays and the only line that wins; a root
// with two legal moves gets two lines however many are asked for.
// Win/draw/loss chances follow every score when asked for, and only then.
TEST(SearchTranscript, MultiPvLinesAreTheBestDistinctMoves) {
    EngineSession e({"-use_hce", "-threads", "2"});
    const char* const WINS_QUEEN = "position fen 4k3/8/8/3q4/8/8/3R4/4K3 w - - 0 1";
    e.send(WINS_QUEEN);
    const std::string single = search(e, "go depth 8", 60).move;
    EXPECT_EQ(single, "d2d5");
    e.send("setoption name MultiPV value 4");
    for (const bool wdl : {false, true}) {
        e.send(std::string("setoption name UCI_ShowWDL value ") + (wdl ? "true" : "false"));
        e.send("ucinewgame");
        e.send(WINS_QUEEN);
        EXPECT_EQ(search(e, "go depth 8", 60).move, single);
        EXPECT_EQ(contains(e.seen, " wdl "), wdl);
        int lines = 0, depth = 0;
        // First move and score of each line, of this iteration and of the last complete one (the final
        // line repeats line 1).
        std::vector<std::pair<std::string, int>> iteration, complete;
        for (const auto& l : e.seen) {
            int n = 0, d = 0, score = 0, win = 0, draw = 0, loss = 0;
            if (std::sscanf(l.c_str(), "info multipv %d depth %d", &n, &d) != 2)
                continue;
            const size_t at = l.find(" score cp ");
            ASSERT_NE(at, std::string::npos) << l;
            EXPECT_EQ(std::sscanf(l.c_str() + at, " score cp %d wdl %d %d %d", &score, &win, &draw, &loss), wdl ? 4 : 1)
                << l;
            EXPECT_TRUE(!wdl || win + draw + loss == 1000) << l;
            EXPECT_EQ(n, lines++ % 4 + 1) << l;
            if (n == 1) {
                depth = d;
                if (iteration.size() == 4)
                    complete = iteration;
                iteration.clear();
            }
            EXPECT_EQ(d, depth) << l;
            EXPECT_TRUE(n == 1 || score <= iteration.back().second) << l;
            iteration.push_back({l.substr(l.find(" pv ") + 4, 4), score});
            std::set<std::string> moves;
            for (const auto& [move, s] : iteration)
                moves.insert(move);
            EXPECT_EQ(moves.size(), iteration.size()) << l;
        }
        ASSERT_EQ(complete.size(), 4u);
        EXPECT_EQ(depth, 8);
        EXPECT_EQ(complete[0].first, single);
        EXPECT_GT(complete[0].second, complete[1].second + 500) << "only line 1 takes the queen";
    }
    // The king in the corner, checked along the h-file: Kg8 and Kg7 are
    // left, so two lines.
    e.send("position fen 7k/8/8/8/8/8/8/K6Q b - - 0 1");
    search(e, "go depth 6", 60);
    EXPECT_TRUE(contains(e.seen, "info multipv 2 "));
    EXPECT_FALSE(contains(e.seen, "info multipv 3 "));
    EXPECT_EQ(e.quit(), 0);
}

TEST(ConsoleTranscript, SelfPlayEndsTheGame) {
    EngineSession e({"-use_hce", "-c"});
    e.send("fen 8/5k2/8/8/8/3K4/5R2/8 w - -");
    e.send("set depth 4");
    e.send("self");
    EXPECT_NE(e.expect("move= null", 120), "") << "the game ends with mate, stalemate or the fifty-move rule";
    EXPECT_EQ(e.quit(), 0);
}

struct Game {
    const char* start;
    const char* moves;
};

// Self-play games that end shuffling pieces: in the first, the position
// after White's b7c7 stood after h2h4 (a double push nobody can take) and
// after b7c7 once since; in the second, the position after Black's f8f7
// stood after h7h5 and after f8f7 once since (with Black's en-passant square
// of a different code, whose bit 32 the side to move overwrites).
const Game GAMES[] = {
    {"r1bqk1nr/pppnppbp/3p2p1/8/3PP3/2N2N2/PPP2PPP/R1BQKB1R w KQkq - 0 1",
    "f1e2 c7c5 e1g1 c5d4 f3d4 a7a6 a2a4 g8f6 c1e3 e8g8 a4a5 d7c5 f2f3 d8c7 d1e1 e7e5 d4b3 c5b3 c2b3 c8e6 "
    "c3a4 c7c2 e2d1 c2d3 a4b6 a8d8 a1c1 d6d5 b3b4 d5e4 d1c2 d3d6 f3e4 f6d7 c1d1 d6c7 c2d3 c7c6 b4b5 a6b5 "
    "d1c1 c6d6 d3b5 d7b6 e3b6 d8c8 c1d1 d6e7 f1f2 e6g4 d1a1 g7f6 e1d2 f6h4 g2g3 h4g5 d2d5 g5h6 a5a6 b7a6 "
    "b5a6 c8d8 d5a5 d8a8 b6c5 e7e6 c5f8 h6f8 a5b5 a8a7 b2b4 e6d6 b5e8 d6b4 a1a4 b4e7 e8e7 f8e7 g1g2 g4d7 "
    "a4a2 e7c5 f2c2 c5d4 a6c4 a7b7 c2c1 b7b8 c4d5 d7e8 a2a8 b8a8 d5a8 g8g7 a8c6 e8c6 c1c6 h7h5 g2f3 f7f5 "
    "c6c7 g7f6 h2h4 d4g1 c7c6 f6g7 c6c1 g1b6 c1c6 b6d4 c6c8 g7f6 c8g8 f6f7 g8c8 f7f6 c8g8 f6f7 g8d8 f7e7 "
    "d8a8 e7f7 a8a6 f7g7 a6d6 d4c3 d6d7 g7f6 d7d6 f6g7 d6d7 g7f6 d7b7 c3d4 b7c7 d4g1 c7c1 g1d4 c1c6 f6g7 "
    "c6e6 d4c3 e6e7 g7f6 e7d7 c3d4 d7d6 f6g7 d6d7 g7f6 d7d6 f6g7 d6e6 d4c3 e6e7 g7f6 e7a7 c3d4 a7h7 d4c5 "
    "h7b7 c5g1 b7c7 g1d4 c7h7 d4c5 h7b7 c5d4 "},
    {"rnbqkb1r/ppp2ppp/4pn2/8/2pPP3/2N5/PP3PPP/R1BQKBNR w KQkq - 0 1",
     "f1c4 c7c6 a2a3 b7b5 c4e2 b5b4 a3b4 f8b4 e4e5 f6d5 c1d2 d8b6 g1f3 a7a5 c3d5 c6d5 d2b4 b6b4 d1d2 "
     "b8c6 d2b4 c6b4 e1d2 c8d7 h1c1 a8a7 f3e1 e8e7 e1d3 b4c6 d2e3 h8b8 c1c3 f7f6 b2b3 f6e5 d3e5 c6e5 "
     "d4e5 b8b4 e3d2 g7g6 c3f3 a5a4 b3a4 a7a4 a1a4 b4a4 f3b3 a4a2 d2d3 d7c6 f2f4 d5d4 e2f3 e7d7 d3d4 "
     "c6f3 g2f3 a2d2 d4e3 d2h2 b3b7 d7e8 b7b6 e8f7 b6b7 f7f8 b7b8 f8f7 b8b7 f7f8 b7b6 f8f7 e3e4 h7h5 "
     "b6b7 f7f8 b7b6 f8f7 b6b7 f7f8 "},
};

// The position as the rules compare it: the en-passant field only when a
// legal move takes en passant.
std::string rule_key(Position& pos) {
    char fen[FEN_BUFFER_SIZE];
    pos_to_fen(pos, fen, false);
    std::string key = fen;
    bool takes = false;
    for (Move m : legal_moves(pos))
        takes = takes || (move_to(m) == pos.ep_square && (pos.board[move_from(m)] & 7) == PAWN);
    if (!takes && pos.ep_square != NO_SQUARE)
        key = key.substr(0, key.rfind(' ')) + " -";
    return key;
}

// A PV never goes on past a position that stands for the third time,
// counted as the rules count it (an en-passant square no pawn can take
// makes no difference).
TEST(PvRepetition, LinesStopAtTheThirdOccurrence) {
    for (const Game& g : GAMES) {
        const EngineRun run = run_engine(HCE, std::string("position fen ") + g.start + " moves " + g.moves +
                                                  "\ngo depth 6\n");
        int lines = 0;
        for (const std::string& line : run.lines()) {
            const size_t at = line.find(" pv ");
            if (line.rfind("info", 0) != 0 || at == std::string::npos)
                continue;
            ++lines;
            Board b(g.start);
            std::map<std::string, int> seen;
            std::istringstream game(g.moves);
            std::string text;
            while (game >> text) {
                play(b.pos, text.c_str());
                ++seen[rule_key(b.pos)];
            }
            std::istringstream pv(line.substr(at + 4));
            while (pv >> text) {
                ASSERT_LT(seen[rule_key(b.pos)], 3) << "the game was over before " << text << " in " << line;
                play(b.pos, text.c_str());
                ++seen[rule_key(b.pos)];
            }
        }
        EXPECT_GT(lines, 3) << run.output;
    }
}

} // namespace
} // namespace zelk::test
