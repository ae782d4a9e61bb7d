// Searches of the built engine over UCI: every limit, a new "go" during a
// search, MultiPV on two threads, the strength limit, console self-play,
// principal variations that end where the game would, and the tablebases:
// the root answer, searches with a known root result, and (make tb-deep)
// hard endings won within fifty moves.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "core/attacks.h"
#include "core/makemove.h"
#include "helpers.h"
#include "run_engine.h"
#include "tablebase/tbsearch.h"
#include "tb_helpers.h"

namespace zelk::test {
namespace {

const std::vector<std::string> HCE = {"-use_hce"};

struct Answer {
    std::string line, move;   // the bestmove line and its move
    double seconds = 0;
    int deepest = 0;   // the deepest depth of the search's info lines
};

// One "go": the lines before the answer stay in e.seen.
Answer search(EngineSession& e, const std::string& go, double wait = 20) {
    e.seen.clear();
    const auto start = std::chrono::steady_clock::now();
    e.send(go);
    Answer a;
    a.line = e.expect("bestmove", wait);
    a.move = move_of(a.line);
    a.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const auto& l : e.seen)
        if (int n = 0, depth = 0; std::sscanf(l.c_str(), "info depth %d", &depth) == 1 ||
                                  std::sscanf(l.c_str(), "info multipv %d depth %d", &n, &depth) == 2)
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
            int most = 0;
            for (const auto& l : e.seen) {
                int n = 1, depth = 0;
                if (std::sscanf(l.c_str(), "info multipv %d depth %d", &n, &depth) != 2 &&
                    std::sscanf(l.c_str(), "info depth %d", &depth) != 1)
                    continue;
                most = std::max(most, n);
                if (l.find(" pv ") != std::string::npos)
                    last_pv = l.substr(l.find(" pv ") + 4, 4);
            }
            EXPECT_EQ(most, multipv);
            EXPECT_EQ(last_pv, a.move);
            EXPECT_EQ(a.deepest, 4) << "the cap at 1500";
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

// The ends of self-play games that shuffle pieces, from before their last
// pawn move: a move at hand (White's b7c7, Black's f8f7) brings back a
// position that stood after that double push, which nobody can take, and
// once since. In the second, Black's en-passant square has a different
// code, whose bit 32 the side to move overwrites.
const std::pair<const char*, const char*> GAMES[] = {
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
    for (const auto& [start, moves] : GAMES) {
        // The game's positions and how often each stood.
        Board end(start);
        std::map<std::string, int> played;
        std::istringstream game(moves);
        for (std::string text; game >> text; ++played[rule_key(end.pos)])
            play(end.pos, text.c_str());
        const EngineRun run = run_engine(HCE, std::string("position fen ") + start + " moves " + moves + "\ngo depth 6\n");
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

// The WDL of the side to move, 99 when the probe fails.
int wdl_now(const Position& pos) { return probe_value(tb::tb_position(pos, false), false); }

// The word after `key` in a line ("" when there is none).
std::string word_after(const std::string& line, const std::string& key) {
    std::istringstream in(line);
    for (std::string word; in >> word;)
        if (word == key && in >> word)
            return word;
    return "";
}

class TablebaseTranscript : public RealTables {};

// Roots the tables know. With the clock at ten (counted by the moves played,
// or read from the FEN) the root's move comes at once, at depth 99 and with
// no ponder move; below ten the search runs and probes below the root. Every
// line shows the table's result, and the move keeps it.
TEST_F(TablebaseTranscript, RootsTheTablesKnow) {
    // KRRvKR, white to move wins; after these nine quiet plies of the rooks,
    // and after the tenth, white still wins.
    const char* WON5 = "8/8/4k3/8/8/2RK4/8/1r5R w - - 0 1";
    const std::string QUIET9 = " h1c1 b1a1 c1c2 a1b1 c2c1 b1a1 c1c2 a1b1 c2c1";
    const struct {
        std::string fen, moves;
        const char* score;   // a win is the root score 9799, shown as a tablebase win
        bool at_once;
    } cases[] = {
        {WON5, QUIET9 + " b1a1", "cp 9800", true},
        {"8/8/4k3/8/8/2RK4/8/1r5R w - - 10 1", "", "cp 9800", true},
        {WON5, QUIET9, "cp -9800", false},   // black to move and lost
        // A KRBvKR draw, white to move with the bishop more and no capture.
        {"7K/8/8/8/5B2/3R4/8/1r5k w - - 0 1", "", "cp 0", false},
    };
    EngineSession e({"-use_hce", "-tbpath", ZELK_SYZYGY_DIR});
    for (const auto& c : cases) {
        const std::string position = "position fen " + c.fen + (c.moves.empty() ? "" : " moves" + c.moves);
        e.send(position);
        const Answer a = search(e, c.at_once ? "go movetime 20000" : "go depth 7", 30);
        std::vector<std::string> lines;
        for (const std::string& l : e.seen)
            if (l.starts_with("info depth"))
                lines.push_back(l);
        ASSERT_GE(lines.size(), 2u) << position;
        if (c.at_once) {
            // The answer's line, repeated as the final line, then bestmove.
            EXPECT_EQ(lines.size(), 2u) << position << "\n" << lines[0];
            EXPECT_EQ(a.line.find("ponder"), std::string::npos);
        }
        double hits = 0;
        for (const std::string& l : lines) {
            EXPECT_EQ(word_after(l, "depth") == "99", c.at_once) << position << ": " << l;
            EXPECT_EQ(word_after(l, "score") + " " + word_after(l, "cp"), c.score) << position << ": " << l;
            EXPECT_GE(std::stod(word_after(l, "tbhits")), hits) << l;
            hits = std::stod(word_after(l, "tbhits"));
        }
        EXPECT_GT(hits, c.at_once ? 0 : 100) << position;
        Board b(c.fen.c_str());
        play(b.pos, c.moves.c_str());
        const int before = wdl_now(b.pos);
        const Move m = find_move(b.pos, a.move);
        ASSERT_NE(m, NO_MOVE) << a.line;
        make_move(b.pos, m);
        EXPECT_EQ(wdl_now(b.pos), -before) << position;
    }
}

// Plays the game out; returns the number of plies to mate, or -1 when it is
// not won (draw by rule, repetition, stalemate, or too long).
int play_out(EngineSession& e, const std::string& fen, std::string& log) {
    Board b(fen.c_str());
    std::string moves;
    std::map<uint64_t, int> seen;
    for (int ply = 0; ply < 300; ++ply) {
        if (legal_moves(b.pos).empty())
            return is_attacked(b.pos, b.pos.king_sq[b.pos.side], b.pos.side ^ 1) && b.pos.side == BLACK ? ply : -1;
        if (b.pos.halfmove >= 100 || ++seen[b.pos.key] >= 3)
            return -1;
        e.send("position fen " + fen + (moves.empty() ? "" : " moves" + moves));
        const std::string text = search(e, "go depth 8", 30).move;
        const Move found = find_move(b.pos, text);
        log += " " + text;
        if (!found)
            return -1;
        moves += " " + text;
        make_move(b.pos, found);
    }
    return -1;
}

// The longest wins of 3000 random placements each, white to move: a few
// seconds of play, run by make tb-deep (ZELK_TB_GAMES set).
TEST(TablebaseGames, HardEndingsAreWonWithinTheFiftyMoveRule) {
    if (!std::getenv("ZELK_TB_GAMES"))
        GTEST_SKIP() << "set ZELK_TB_GAMES (make tb-deep)";
    if (!use_real_tables())
        GTEST_SKIP() << "no Syzygy tables at " << ZELK_SYZYGY_DIR;
    EngineSession e({"-use_hce", "-tbpath", ZELK_SYZYGY_DIR});
    const std::pair<const char*, int> endings[] = {{"7K/6R1/8/8/4k3/8/8/8 w - - 0 1", 31},    // KRvK
                                                   {"8/8/8/8/4k3/6r1/8/Q6K w - - 0 1", 57},   // KQvKR
                                                   {"7K/N4k2/8/2B5/8/8/8/8 w - - 0 1", 62}};  // KBNvK
    for (const auto& [fen, dtz] : endings) {
        ASSERT_EQ(probe_value(tb_from_fen(fen), true), dtz) << fen;
        std::string log;
        const int plies = play_out(e, fen, log);
        EXPECT_GT(plies, 0) << fen << " (dtz " << dtz << "):" << log;
        std::cout << fen << " (dtz " << dtz << ") mated in " << plies << " plies\n";
    }
}

} // namespace
} // namespace zelk::test
