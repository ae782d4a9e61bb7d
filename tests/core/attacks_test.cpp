#include <gtest/gtest.h>

#include "core/attacks.h"
#include "helpers.h"

namespace zelk {
namespace {

int sq(const char* n) { return make_square(n[0] - 'a', n[1] - '1'); }

// The ray scheme must agree with a plain step-by-step walk on random boards.
TEST(Attacks, SlidersMatchStepwiseWalk) {
    uint64_t seed = 0x9E3779B97F4A7C15ULL;
    auto next = [&] { seed ^= seed << 13; seed ^= seed >> 7; seed ^= seed << 17; return seed; };
    auto walk = [](int s, Bitboard occ, std::initializer_list<std::pair<int, int>> dirs) {
        Bitboard b = 0;
        for (auto [df, dr] : dirs)
            for (int f = file_of(s) + df, r = rank_of(s) + dr; f >= 0 && f < 8 && r >= 0 && r < 8; f += df, r += dr) {
                b |= bit(make_square(f, r));
                if (occ & bit(make_square(f, r)))
                    break;
            }
        return b;
    };
    for (int i = 0; i < 2000; ++i) {
        Bitboard occ = next() & next();
        int s = int(next() % 64);
        EXPECT_EQ(bishop_attacks(s, occ), walk(s, occ, {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}}));
        EXPECT_EQ(rook_attacks(s, occ), walk(s, occ, {{1, 0}, {-1, 0}, {0, 1}, {0, -1}}));
    }
    // "No square" (64) attacks nothing and is attacked by nothing.
    EXPECT_EQ(tables.king_attacks[NO_SQUARE] | tables.bishop_pseudo[NO_SQUARE] | tables.between[NO_SQUARE][0], 0u);
}

TEST(Attacks, LeastAttackerAndCheckingSquare) {
    // Rook a4 and bishop b2 both attack d4: the bishop is the lesser attacker.
    test::Board both("4k3/8/8/8/R2q4/8/1B6/4K3 w - -");
    EXPECT_EQ(least_attacker(both.pos, sq("d4"), WHITE, occupancy(both.pos)), sq("b2"));
    // Knights b3 and e2 both attack d4: the lower square wins.
    test::Board knights("4k3/8/8/8/3p4/1N6/4N3/4K3 w - -");
    EXPECT_EQ(least_attacker(knights.pos, sq("d4"), WHITE, occupancy(knights.pos)), sq("e2"));
    // A piece lifted out of occ neither attacks nor blocks.
    test::Board battery("4k3/8/8/8/3p4/8/3R4/3RK3 w - -");
    Bitboard occ = occupancy(battery.pos);
    EXPECT_EQ(least_attacker(battery.pos, sq("d4"), WHITE, occ & ~bit(sq("d2"))), sq("d1"));
    EXPECT_EQ(least_attacker(battery.pos, sq("d4"), BLACK, occ), NO_SQUARE);
    // checking_square ignores membership but still sees blockers.
    EXPECT_EQ(checking_square(battery.pos, sq("d4"), WHITE, 0), sq("d1"));
    EXPECT_EQ(checking_square(battery.pos, sq("d4"), WHITE, occ), sq("d2"));
}

} // namespace
} // namespace zelk
