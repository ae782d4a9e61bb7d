// Searches of the built engine over UCI: every limit, a new "go" during a
// search, MultiPV on two threads, console self-play, and principal
// variations that end where the game would.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
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

// Every limit answers a legal move in its time, and no limit outlives the
// "go" that set it.
TEST(GoLimits, EveryLimitAnswersInTimeAndEndsWithItsGo) {
    EngineSession e(HCE);
    e.send("position startpos moves e2e4 e7e5 g1f3");
    Board board;
    play(board.pos, "e2e4 e7e5 g1f3");
    const auto answer = [&](const std::string& go) {
        const Answer a = search(e, go);
        EXPECT_NE(find_move(board.pos, a.move), NO_MOVE) << go << ": " << a.move;
        return a;
    };
    EXPECT_EQ(answer("go depth 3").deepest, 3);
    const Answer clock = answer("go wtime 2000 btime 2000 winc 100 binc 100");
    EXPECT_GT(clock.deepest, 3) << "the depth limit was kept";
    EXPECT_LE(clock.seconds, 2.0);
    answer("go nodes 300");
    EXPECT_GT(answer("go movetime 1000").seconds, 0.6) << "the node limit was kept";
    // A clock near zero still gives a legal move.
    for (const char* go : {"go wtime 1 btime 1", "go wtime 30 btime 30 winc 10 binc 10"})
        EXPECT_LE(answer(go).seconds, 1.0) << go;
    // A new "go" while searching stops the old search without answering it.
    e.send("go infinite");
    e.send("isready");
    EXPECT_EQ(e.expect("readyok", 2), "readyok");
    e.send("go depth 3");
    e.expect("bestmove", 10);
    e.send("isready");
    EXPECT_EQ(e.expect("readyok", 2), "readyok");
    EXPECT_FALSE(contains(e.seen, "bestmove")) << "the interrupted search was not reported";
    EXPECT_EQ(e.quit(), 0);
    // The depth switch, unlike "go depth", holds for every search.
    EngineSession d({"-use_hce", "-d", "4"});
    for (int game = 0; game < 2; ++game) {
        d.send("ucinewgame");
        d.send("position startpos moves e2e4");
        EXPECT_EQ(search(d, "go wtime 60000 btime 60000").deepest, 4);
    }
}

// MultiPV on two threads: the lines of an iteration come together, best
// first, each with a move of its own and with win/draw/loss chances when
// asked for; where one move wins a queen, only line 1 wins, with the move the
// one-line search plays; two legal moves give two lines however many are asked.
TEST(SearchTranscript, MultiPvLinesAreTheBestDistinctMoves) {
    EngineSession e({"-use_hce", "-threads", "2"});
    const char* const WINS_QUEEN = "position fen 4k3/8/8/3q4/8/8/3R4/4K3 w - - 0 1";
    e.send(WINS_QUEEN);
    EXPECT_EQ(search(e, "go depth 8", 60).move, "d2d5");
    EXPECT_FALSE(contains(e.seen, " wdl "));
    e.send("setoption name MultiPV value 4");
    e.send("setoption name UCI_ShowWDL value true");
    e.send("ucinewgame");
    e.send(WINS_QUEEN);
    EXPECT_EQ(search(e, "go depth 8", 60).move, "d2d5");
    int lines = 0, depth = 0;
    // First move and score of each line, of this iteration and of the last
    // complete one (the final line repeats line 1).
    std::vector<std::pair<std::string, int>> iteration, complete;
    for (const auto& l : e.seen) {
        int n = 0, d = 0, score = 0, win = 0, draw = 0, loss = 0;
        if (std::sscanf(l.c_str(), "info multipv %d depth %d", &n, &d) != 2)
            continue;
        const size_t at = l.find(" score cp ");
        ASSERT_NE(at, std::string::npos) << l;
        EXPECT_EQ(std::sscanf(l.c_str() + at, " score cp %d wdl %d %d %d", &score, &win, &draw, &loss), 4) << l;
        EXPECT_EQ(n, lines++ % 4 + 1) << l;
        if (n == 1) {
            depth = d;
            if (iteration.size() == 4)
                complete = iteration;
            iteration.clear();
        }
        EXPECT_EQ(d, depth) << l;
        EXPECT_TRUE(n == 1 || score <= iteration.back().second) << l;
        const std::string move = l.substr(l.find(" pv ") + 4, 4);
        for (const auto& other : iteration)
            EXPECT_NE(other.first, move) << l;
        iteration.push_back({move, score});
    }
    ASSERT_EQ(complete.size(), 4u);
    EXPECT_EQ(depth, 8);
    EXPECT_EQ(complete[0].first, "d2d5");
    EXPECT_GT(complete[0].second, complete[1].second + 500) << "only line 1 takes the queen";
    // The king in the corner, checked along the h-file: Kg8 and Kg7 are
    // left, so two lines.
    e.send("position fen 7k/8/8/8/8/8/8/K6Q b - - 0 1");
    search(e, "go depth 6", 60);
    EXPECT_TRUE(contains(e.seen, "info multipv 2 "));
    EXPECT_FALSE(contains(e.seen, "info multipv 3 "));
    EXPECT_EQ(e.quit(), 0);
}

// The strength limit searches more lines than it shows: MultiPV 1 prints
// single lines, MultiPV 2 two lines an iteration; its depth cap holds under
// a clock, and the move played is the one of the last line printed.
TEST(SearchTranscript, LimitedStrengthShowsTheLinesAskedFor) {
    EngineSession e({});
    e.send("setoption name UCI_LimitStrength value true");
    e.send("setoption name UCI_Elo value 1500");
    for (const int multipv : {1, 2}) {
        e.send("setoption name MultiPV value " + std::to_string(multipv));
        for (int game = 0; game < 3; ++game) {
            e.send("ucinewgame");
            e.send("position startpos moves d2d4 g8f6 c2c4 e7e6");
            const Answer a = search(e, "go wtime 60000 btime 60000", 60);
            std::string last_pv;
            int most = 0, deepest = 0;
            for (const auto& l : e.seen) {
                int n = 1, depth = 0;
                if (std::sscanf(l.c_str(), "info multipv %d depth %d", &n, &depth) != 2 &&
                    std::sscanf(l.c_str(), "info depth %d", &depth) != 1)
                    continue;
                most = std::max(most, n);
                deepest = std::max(deepest, depth);
                if (l.find(" pv ") != std::string::npos)
                    last_pv = l.substr(l.find(" pv ") + 4, 4);
            }
            EXPECT_EQ(most, multipv);
            EXPECT_EQ(last_pv, a.move);
            EXPECT_EQ(deepest, 4) << "the cap at 1500";
        }
    }
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

// The ends of self-play games that shuffle pieces, from before their last
// pawn move: a move at hand (White's b7c7, Black's f8f7) brings back a
// position that stood after that double push, which nobody can take, and
// once since. In the second, Black's en-passant square has a different
// code, whose bit 32 the side to move overwrites.
const Game GAMES[] = {
    {"8/2R5/5kp1/4pp1p/3bP3/5KP1/7P/8 w - - 2 102",
     "h2h4 d4g1 c7c6 f6g7 c6c1 g1b6 c1c6 b6d4 c6c8 g7f6 c8g8 f6f7 g8c8 f7f6 c8g8 f6f7 g8d8 f7e7 d8a8 e7f7 a8a6 f7g7 "
     "a6d6 d4c3 d6d7 g7f6 d7d6 f6g7 d6d7 g7f6 d7b7 c3d4 b7c7 d4g1 c7c1 g1d4 c1c6 f6g7 c6e6 d4c3 e6e7 g7f6 e7d7 c3d4 "
     "d7d6 f6g7 d6d7 g7f6 d7d6 f6g7 d6e6 d4c3 e6e7 g7f6 e7a7 c3d4 a7h7 d4c5 h7b7 c5g1 b7c7 g1d4 c7h7 d4c5 h7b7 c5d4"},
    {"8/5k1p/1R2p1p1/4P3/4KP2/5P2/7r/8 b - - 13 75", "h7h5 b6b7 f7f8 b7b6 f8f7 b6b7 f7f8"},
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
        // The game's positions and how often each stood.
        Board end(g.start);
        std::map<std::string, int> played;
        std::istringstream game(g.moves);
        for (std::string text; game >> text; ++played[rule_key(end.pos)])
            play(end.pos, text.c_str());
        const EngineRun run = run_engine(HCE, std::string("position fen ") + g.start + " moves " + g.moves +
                                                  "\ngo depth 6\n");
        int lines = 0;
        for (const std::string& line : run.lines()) {
            const size_t at = line.find(" pv ");
            if (line.rfind("info", 0) != 0 || at == std::string::npos)
                continue;
            ++lines;
            Board b(end.fen(true).c_str());
            std::map<std::string, int> seen = played;
            std::istringstream pv(line.substr(at + 4));
            for (std::string text; pv >> text; ++seen[rule_key(b.pos)]) {
                ASSERT_LT(seen[rule_key(b.pos)], 3) << "the game was over before " << text << " in " << line;
                play(b.pos, text.c_str());
            }
        }
        EXPECT_GT(lines, 3) << run.output;
    }
}

} // namespace
} // namespace zelk::test
