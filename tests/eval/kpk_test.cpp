// The king-pawn-king table: its edge cases, and consistency with a
// hand-written move rule over every entry.
#include <gtest/gtest.h>

#include "core/attacks.h"
#include "core/types.h"
#include "eval/hce.h"
#include "eval/kpk.h"
#include "eval_setup.h"

namespace zelk {
namespace {

constexpr int STRONG = 0, WEAK = 1;

int at(int stm, int p, int s, int w) { return kpk_table[kpk_index(stm, p, s, w)]; }

class Kpk : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::init_eval_for_tests(); }
};

bool pawn_attacks(int p, int sq) { return tables.pawn_attacks[WHITE][p] & bit(sq); }

// A legal placement: three distinct squares, kings apart, and with the strong
// side to move the weak king not in check.
bool legal(int stm, int p, int s, int w) {
    if (p == s || p == w || s == w || distance(s, w) <= 1)
        return false;
    return !(stm == STRONG && pawn_attacks(p, w));
}

// The game the table describes: the strong side wins by promoting to a queen
// the weak king cannot take at once; taking the pawn or stalemate draws.
// Whether the strong side wins, given `wins` for the positions one move on.
template <class Wins>
bool wins_by_rule(int stm, int p, int s, int w, Wins&& wins) {
    if (stm == STRONG) {
        bool win = false;
        const int ahead = p + 8;
        if (ahead != s && ahead != w) {
            win = rank_of(ahead) == 7 ? (distance(w, ahead) > 1 || distance(s, ahead) == 1) : wins(WEAK, ahead, s, w);
            if (!win && rank_of(p) == 1 && p + 16 != s && p + 16 != w)
                win = wins(WEAK, p + 16, s, w);
        }
        for (Bitboard k = tables.king_attacks[s]; k && !win;) {
            const int to = pop_lsb(k);
            win = to != p && distance(to, w) > 1 && wins(WEAK, p, to, w);
        }
        return win;
    }
    bool any_move = false;
    for (Bitboard k = tables.king_attacks[w]; k;) {
        const int to = pop_lsb(k);
        if (distance(to, s) <= 1 || pawn_attacks(p, to))
            continue;
        any_move = true;
        if (to == p || !wins(STRONG, p, s, to))
            return false;   // the pawn is taken, or a drawing move
    }
    return any_move;        // stalemate draws
}

TEST_F(Kpk, EdgeCases) {
    // The weak king in front of a rook pawn on the seventh: a draw either way.
    const int a7 = 48, a8 = 56, h1 = 7, d5 = 35, e4 = 28, b2 = 9;
    EXPECT_EQ(at(STRONG, a7, h1, a8), 1);
    EXPECT_EQ(at(WEAK, a7, h1, a8), 1);
    // Weak king next to an unprotected pawn, its move: the pawn falls.
    EXPECT_EQ(at(WEAK, d5, b2, e4), 1);
    // Strong king in front of its pawn on the sixth, opposition: a win either way.
    const int d4 = 27, d6 = 43, d8 = 59;
    EXPECT_EQ(at(WEAK, d5, d6, d8), 2);
    EXPECT_EQ(at(STRONG, d4, d6, d8), 2);
    // The same with the kings in front of a rook pawn: a draw.
    EXPECT_EQ(at(WEAK, a7 - 16, a7 - 8, a8), 1);
}

// Each legal entry agrees with its successors under the move rule above.
TEST_F(Kpk, ConsistentWithItsSuccessors) {
    const auto table_wins = [](int t, int p, int s, int w) { return at(t, p, s, w) == 2; };
    for (int p = 8; p < 56; ++p) {
        if (file_of(p) > 3)
            continue;
        for (int s = 0; s < 64; ++s)
            for (int w = 0; w < 64; ++w)
                for (int stm : {STRONG, WEAK})
                    if (legal(stm, p, s, w)) {
                        ASSERT_EQ(at(stm, p, s, w), wins_by_rule(stm, p, s, w, table_wins) ? 2 : 1)
                            << stm << ' ' << p << ' ' << s << ' ' << w;
                    }
    }
}

} // namespace
} // namespace zelk
