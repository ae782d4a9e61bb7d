// The tablebases seen from the interface: the root answer, searches with a
// known root result, and (make tb-deep) hard endings won within fifty moves.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "core/attacks.h"
#include "core/makemove.h"
#include "helpers.h"
#include "run_engine.h"
#include "tablebase/tbprobe.h"
#include "tablebase/tbsearch.h"
#include "tb_helpers.h"

namespace zelk::test {
namespace {

// KRRvKR, white to move wins; after these nine quiet plies of the rooks,
// and after the tenth, white still wins.
const char* WON5 = "8/8/4k3/8/8/2RK4/8/1r5R w - - 0 1";
const std::string QUIET9 = " h1c1 b1a1 c1c2 a1b1 c2c1 b1a1 c1c2 a1b1 c2c1", QUIET10 = QUIET9 + " b1a1";

// The WDL of the side to move, 99 when the probe fails.
int wdl_now(const Position& pos) {
    int success;
    const int v = tb::probe_wdl(tb::tb_position(pos, false), success);
    return success ? v : 99;
}

struct Info {
    int depth = -1;
    std::string score;
    double tbhits = -1;
};

Info parse_info(const std::string& line) {
    Info info;
    std::istringstream in(line);
    for (std::string word, kind; in >> word;)
        if (word == "depth")
            in >> info.depth;
        else if (word == "score" && in >> kind >> info.score)
            info.score = kind + " " + info.score;
        else if (word == "tbhits")
            in >> info.tbhits;
    return info;
}

// One "go" on `position`: its "info depth" lines, then the bestmove line.
std::vector<std::string> search_lines(EngineSession& e, const std::string& position, const std::string& go) {
    e.seen.clear();
    e.send(position);
    e.send(go);
    const std::string best = e.expect("bestmove", 30);
    std::vector<std::string> lines;
    for (const std::string& l : e.seen)
        if (l.rfind("info depth", 0) == 0)
            lines.push_back(l);
    lines.push_back(best);
    return lines;
}

class TablebaseTranscript : public RealTables {};

// Roots the tables know. With the clock at ten (counted by the moves played,
// or read from the FEN) the root's move comes at once, at depth 99 and with
// no ponder move; below ten the search runs and probes below the root. Every
// line shows the table's result, and the move keeps it.
TEST_F(TablebaseTranscript, RootsTheTablesKnow) {
    const struct {
        std::string fen, moves;
        const char* score;   // a win is the root score 9799, shown as a tablebase win
        bool at_once;
    } cases[] = {
        {WON5, QUIET10, "cp 9800", true},
        {"8/8/4k3/8/8/2RK4/8/1r5R w - - 10 1", "", "cp 9800", true},
        {WON5, QUIET9, "cp -9800", false},   // black to move and lost
        // A KRBvKR draw, white to move with the bishop more and no capture.
        {"7K/8/8/8/5B2/3R4/8/1r5k w - - 0 1", "", "cp 0", false},
    };
    EngineSession e({"-use_hce", "-tbpath", ZELK_SYZYGY_DIR});
    for (const auto& c : cases) {
        const std::string position = "position fen " + c.fen + (c.moves.empty() ? "" : " moves" + c.moves);
        const auto lines = search_lines(e, position, c.at_once ? "go movetime 20000" : "go depth 7");
        ASSERT_GE(lines.size(), 3u) << position;
        if (c.at_once) {
            // The answer's line, repeated as the final line, then bestmove.
            EXPECT_EQ(lines.size(), 3u) << position << "\n" << lines[0];
            EXPECT_EQ(lines.back().find("ponder"), std::string::npos);
        }
        double hits = 0;
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            const Info info = parse_info(lines[i]);
            EXPECT_EQ(info.depth == 99, c.at_once) << position << ": " << lines[i];
            EXPECT_EQ(info.score, c.score) << position << ": " << lines[i];
            EXPECT_GE(info.tbhits, hits);
            hits = info.tbhits;
        }
        EXPECT_GT(hits, c.at_once ? 0 : 100) << position;
        Board b(c.fen.c_str());
        play(b.pos, c.moves.c_str());
        const int before = wdl_now(b.pos);
        const Move m = find_move(b.pos, move_of(lines.back()));
        ASSERT_NE(m, NO_MOVE) << lines.back();
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
        e.send("go depth 8");
        const std::string text = move_of(e.expect("bestmove", 30));
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
        int success;
        ASSERT_EQ(tb::probe_dtz(tb_from_fen(fen), success), dtz) << fen;
        std::string log;
        const int plies = play_out(e, fen, log);
        EXPECT_GT(plies, 0) << fen << " (dtz " << dtz << "):" << log;
        std::cout << fen << " (dtz " << dtz << ") mated in " << plies << " plies\n";
    }
}

} // namespace
} // namespace zelk::test
