// Self-consistency of every real table: a position's WDL agrees with what
// its successors imply, and its DTZ with the successors' DTZ, one ply down.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/attacks.h"
#include "helpers.h"
#include "tablebase/tbprobe.h"
#include "tablebase/tbsearch.h"
#include "tb_helpers.h"

namespace zelk::test {
namespace {

using tb::TbMove;
using tb::TbPosition;

bool zeroing(const TbPosition& p, TbMove m) {
    const Bitboard them = p.turn ? p.black : p.white;
    return (p.pawns & bit(tb::tb_move_from(m))) || (them & bit(tb::tb_move_to(m)));
}

// What the successors imply. Bounds on the WDL: a quiet move into a position
// won or lost for good may turn it into a cursed win or blessed loss, since
// the clock does not restart, so such a move counts as one class or the
// other. For a position of DTZ `dtz` (not 0), the winner's shortest or the
// loser's longest way to a zeroing move: a capture or pawn move counts 1, or
// 101 when it only keeps a cursed result; a checkmated position counts 1.
struct Implied {
    int lo = -3, hi = -3, dtz = 0;
};

Implied successors(const TbPosition& p, int dtz) {
    TbMove list[tb::TB_MAX_MOVES];
    TbMove* end = tb::tb_gen_moves(p, list);
    Implied s;
    s.dtz = dtz > 0 ? 100000 : 0;
    for (TbMove* m = list; m != end; ++m) {
        TbPosition c;
        if (!tb::tb_do_move(c, p, *m))
            continue;
        int success;
        const int v = -tb::probe_wdl(c, success);
        EXPECT_NE(success, 0) << tb_to_fen(c);
        const bool zero = zeroing(p, *m);
        s.lo = std::max(s.lo, !zero && v == 2 ? 1 : v);
        s.hi = std::max(s.hi, !zero && v == -2 ? -1 : v);
        // Signed plies to a zeroing move through this move.
        int next = v == 2 || v == -2 ? v / 2 : 101 * v;
        if (!zero && dtz != 0) {
            const int cd = -tb::probe_dtz(c, success);
            EXPECT_NE(success, 0) << tb_to_fen(c);
            next = cd > 0 ? cd + 1 : cd < 0 ? cd - 1 : 0;
        }
        if (next != 0 && (next > 0) == (dtz > 0))
            s.dtz = dtz > 0 ? std::min(s.dtz, std::abs(next)) : std::max(s.dtz, std::abs(next));
    }
    if (s.lo == -3) {  // no legal move
        s.lo = s.hi = tb::tb_in_check(p) ? -2 : 0;
        s.dtz = 1;
    }
    return s;
}

// A position's WDL lies within its successors' bounds; with `with_dtz`, its
// DTZ has the WDL's sign and class and is one more than its successors'.
void check_position(const TbPosition& p, bool with_dtz) {
    int success;
    const int wdl = tb::probe_wdl(p, success);
    ASSERT_NE(success, 0) << tb_to_fen(p);
    const int dtz = with_dtz ? tb::probe_dtz(p, success) : 0;
    ASSERT_NE(success, 0) << tb_to_fen(p);
    const Implied s = successors(p, dtz);
    ASSERT_TRUE(wdl >= s.lo && wdl <= s.hi) << tb_to_fen(p) << " wdl " << wdl << " successors " << s.lo << ".." << s.hi;
    if (!with_dtz)
        return;
    ASSERT_EQ(dtz > 0, wdl > 0) << tb_to_fen(p);
    ASSERT_EQ(dtz < 0, wdl < 0) << tb_to_fen(p);
    ASSERT_EQ(std::abs(dtz) > 100, wdl == 1 || wdl == -1) << tb_to_fen(p);
    if (dtz != 0) {
        ASSERT_LE(std::abs(std::abs(dtz) - s.dtz), 1) << tb_to_fen(p) << " dtz " << dtz << " successors " << s.dtz;
    }
}

struct Consistency : RealTables, ::testing::WithParamInterface<std::string> {};

// Every sample's WDL, and every fourth sample's DTZ.
TEST_P(Consistency, WdlAndDtzAgreeWithSuccessors) {
    std::mt19937_64 rng(std::hash<std::string>()(GetParam()));
    const int samples = tb_samples(60);
    for (int i = 0; i < samples; ++i)
        ASSERT_NO_FATAL_FAILURE(check_position(random_position(GetParam(), rng), i % 4 == 0));
}

// Without the real tables the list is empty, which is not an error.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Consistency);
INSTANTIATE_TEST_SUITE_P(RealTables, Consistency, ::testing::ValuesIn(real_table_names()),
                         [](const auto& param_info) { return param_info.param; });

// Positions right after a double push, with an en-passant capture to weigh
// (a double push into such a capture is no zeroing win).
class EnPassant : public RealTables {};

TEST_F(EnPassant, SuccessorsAgreeAfterDoublePush) {
    std::mt19937_64 rng(7);
    int tested = 0;
    for (int tries = 0; tested < tb_samples(60); ++tries) {
        TbPosition p = random_position("KPvKP", rng);
        // Move the side not to move's pawn back to where it started its double push.
        const Bitboard mover = p.turn ? p.white : p.black, other = p.turn ? p.black : p.white;
        const int pawn = lsb(p.pawns & other);
        const int passed = p.turn ? pawn + 8 : pawn - 8, start = p.turn ? pawn + 16 : pawn - 16;
        const bool on_fifth = p.turn ? (pawn >> 3) == 4 : (pawn >> 3) == 3;
        const Bitboard occ = p.white | p.black;
        const Bitboard attackers = tables.pawn_attacks[p.turn ? 1 : 0][passed] & p.pawns & mover;
        if (!on_fifth || (occ & (bit(passed) | bit(start))) || !attackers)
            continue;
        p.ep = uint8_t(passed);
        // The position before the push must not have had the mover in check.
        TbPosition before = p;
        before.ep = 0;
        before.turn ^= 1;
        (p.turn ? before.black : before.white) ^= bit(pawn) | bit(start);
        before.pawns ^= bit(pawn) | bit(start);
        if (!tb::tb_is_valid(before))
            continue;
        ++tested;
        ASSERT_NO_FATAL_FAILURE(check_position(p, true));
    }
}

// The probe generator's legal moves are the engine's legal moves.
TEST(TbMoves, LegalMovesMatchTheEngine) {
    std::mt19937_64 rng(11);
    for (const char* name : {"KQRvKR", "KRPvKR", "KPvKP", "KBNvK", "KPPvK"})
        for (int i = 0; i < 200; ++i) {
            TbPosition p = random_position(name, rng);
            const std::string fen = tb_to_fen(p);
            Board b(fen.c_str());
            TbMove list[tb::TB_MAX_MOVES];
            TbMove* end = tb::tb_gen_moves(p, list);
            std::vector<Move> ours;
            for (TbMove* m = list; m != end; ++m) {
                TbPosition c;
                if (tb::tb_do_move(c, p, *m))
                    ours.push_back(tb::tb_to_engine_move(*m));
            }
            std::vector<Move> engine = legal_moves(b.pos);
            std::sort(ours.begin(), ours.end());
            std::sort(engine.begin(), engine.end());
            ASSERT_EQ(ours, engine) << fen;
        }
}

} // namespace
} // namespace zelk::test
