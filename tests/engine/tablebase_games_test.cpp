// With the tables, the engine converts hard won endings against itself
// within the fifty-move rule, playing both sides through UCI.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

#include "core/attacks.h"
#include "core/makemove.h"
#include "helpers.h"
#include "run_engine.h"
#include "tablebase/tbprobe.h"
#include "tablebase/tbsearch.h"
#include "tb_helpers.h"

namespace zelk::test {
namespace {

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
        const std::string line = e.expect("bestmove", 30);
        const std::string text = move_of(line);
        const Move found = find_move(b.pos, text);
        if (!found) {
            log += " illegal " + line;
            return -1;
        }
        moves += " " + text;
        log += " " + text;
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
