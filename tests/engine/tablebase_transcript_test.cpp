// The tablebases seen from the interface: the root answer, searches with a
// known root result, and (make tb-deep) hard endings won within fifty moves.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
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

// KRRvKR, white to move wins.
const char* WON5 = "8/8/4k3/8/8/2RK4/8/1r5R w - - 0 1";

// The WDL of the side to move, 99 when the probe fails.
int wdl_now(const Position& pos) {
    int success;
    const int v = tb::probe_wdl(tb::tb_position(pos, false), success);
    return success ? v : 99;
}

// `plies` quiet moves from `fen` after which white still wins: the clock
// counts them.
std::string quiet_line(const char* fen, int plies) {
    Board b(fen);
    std::string line;
    for (int i = 0; i < plies; ++i) {
        Move chosen = NO_MOVE;
        for (Move m : legal_moves(b.pos)) {
            const int won_for_white = b.pos.side == WHITE ? -2 : 2;
            if (b.pos.board[move_to(m)] || type_of(b.pos.board[move_from(m)]) == PAWN)
                continue;
            make_move(b.pos, m);
            const bool keeps = wdl_now(b.pos) == won_for_white;
            unmake_move(b.pos);
            if (keeps) {
                chosen = m;
                break;
            }
        }
        EXPECT_NE(chosen, NO_MOVE);
        if (!chosen)
            break;
        line += " " + coord(b.pos, chosen);
        make_move(b.pos, chosen);
    }
    return line;
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

// The clock counted by the moves played, or read from the FEN.
TEST_F(TablebaseTranscript, ClockOfTenAnswersAtOnceWithAWinningMove) {
    const std::string won_at_ten = std::string(WON5).replace(std::strlen(WON5) - 3, 1, "10");
    const std::string moves = quiet_line(WON5, 10);
    for (const auto& [fen, played] : {std::pair{std::string(WON5), moves}, std::pair{won_at_ten, std::string()}}) {
        const std::string position = "position fen " + fen + (played.empty() ? "" : " moves" + played);
        EngineSession e({"-use_hce", "-tbpath", ZELK_SYZYGY_DIR});
        const auto lines = search_lines(e, position, "go movetime 20000");
        // The answer's line, repeated as the final line, then bestmove.
        ASSERT_EQ(lines.size(), 3u) << position << "\n" << lines[0];
        EXPECT_EQ(parse_info(lines[1]).depth, 99);
        const Info info = parse_info(lines[0]);
        EXPECT_EQ(info.depth, 99);
        EXPECT_EQ(info.score, "cp 9800");  // the root score 9799, shown as a tablebase win
        EXPECT_GE(info.tbhits, 1);
        EXPECT_EQ(lines[2].find("ponder"), std::string::npos);

        // The move keeps the win: the opponent is lost after it.
        Board b(fen.c_str());
        play(b.pos, played.c_str());
        const Move m = find_move(b.pos, move_of(lines[2]));
        ASSERT_NE(m, NO_MOVE) << lines[2];
        make_move(b.pos, m);
        EXPECT_EQ(wdl_now(b.pos), -2) << position;
    }
}

// Searched roots whose result the tables know: every line shows it, and the
// search probes below the root.
TEST_F(TablebaseTranscript, SearchedRootsShowTheTableResult) {
    // A KRBvKR draw, white to move with the bishop more and no capture.
    std::mt19937_64 rng(3);
    std::string drawn;
    while (drawn.empty()) {
        tb::TbPosition p = random_position("KRBvKR", rng);
        tb::TbMove list[tb::TB_MAX_MOVES];
        int success;
        if (p.turn && (p.white & p.bishops) && tb::tb_gen_captures(p, list) == list && tb::probe_wdl(p, success) == 0)
            drawn = tb_to_fen(p);
    }
    const std::pair<std::string, const char*> cases[] = {
        // The clock at nine: searched, black to move and lost.
        {std::string("position fen ") + WON5 + " moves" + quiet_line(WON5, 9), "cp -9800"},
        {"position fen " + drawn, "cp 0"},
    };
    EngineSession e({"-use_hce", "-tbpath", ZELK_SYZYGY_DIR});
    for (const auto& [position, score] : cases) {
        const auto lines = search_lines(e, position, "go depth 7");
        ASSERT_GE(lines.size(), 3u) << position;
        double hits = 0;
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            const Info info = parse_info(lines[i]);
            EXPECT_LT(info.depth, 99);
            EXPECT_EQ(info.score, score) << position << ": " << lines[i];
            EXPECT_GE(info.tbhits, hits);
            hits = info.tbhits;
        }
        EXPECT_GT(hits, 100) << position;
    }
}

// The longest win among random positions with the first-named side (white)
// to move.
std::string hardest_win(const char* name, int samples) {
    std::mt19937_64 rng(17);
    std::string best;
    int longest = 0;
    for (int i = 0; i < samples; ++i) {
        tb::TbPosition p = random_position(name, rng);
        if (!(p.turn ? p.white & ~p.kings & (p.queens | p.rooks | p.bishops) : 0))
            continue;  // the stronger side must be white and to move
        int success;
        const int dtz = tb::probe_dtz(p, success);
        if (success && dtz > longest && dtz <= 100) {
            longest = dtz;
            best = tb_to_fen(p);
        }
    }
    return best;
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

// A few seconds of play: run by make tb-deep (ZELK_TB_GAMES set).
TEST(TablebaseGames, HardEndingsAreWonWithinTheFiftyMoveRule) {
    if (!std::getenv("ZELK_TB_GAMES"))
        GTEST_SKIP() << "set ZELK_TB_GAMES (make tb-deep)";
    if (!use_real_tables())
        GTEST_SKIP() << "no Syzygy tables at " << ZELK_SYZYGY_DIR;
    EngineSession e({"-use_hce", "-tbpath", ZELK_SYZYGY_DIR});
    for (const char* name : {"KRvK", "KQvKR", "KBNvK"}) {
        const std::string fen = hardest_win(name, 3000);
        ASSERT_FALSE(fen.empty()) << name;
        int success;
        const int dtz = tb::probe_dtz(tb_from_fen(fen.c_str()), success);
        std::string log;
        const int plies = play_out(e, fen, log);
        EXPECT_GT(plies, 0) << name << " from " << fen << " (dtz " << dtz << "):" << log;
        std::cout << name << " from " << fen << " (dtz " << dtz << ") mated in " << plies << " plies\n";
    }
}

} // namespace
} // namespace zelk::test
