#include <gtest/gtest.h>

#include "core/attacks.h"
#include "helpers.h"

namespace zelk {
namespace {

Bitboard squares(std::initializer_list<const char*> names) {
    Bitboard b = 0;
    for (const char* n : names)
        b |= bit(make_square(n[0] - 'a', n[1] - '1'));
    return b;
}
int sq(const char* n) { return make_square(n[0] - 'a', n[1] - '1'); }

TEST(Attacks, SlidersOnEmptyAndBlockedBoards) {
    EXPECT_EQ(bishop_attacks(sq("a1"), 0), squares({"b2", "c3", "d4", "e5", "f6", "g7", "h8"}));
    EXPECT_EQ(rook_attacks(sq("a1"), 0),
              squares({"b1", "c1", "d1", "e1", "f1", "g1", "h1", "a2", "a3", "a4", "a5", "a6", "a7", "a8"}));
    Bitboard r = rook_attacks(sq("d4"), squares({"d6", "b4"}));
    EXPECT_EQ(r & squares({"d5", "d6", "c4", "b4"}), squares({"d5", "d6", "c4", "b4"}));
    EXPECT_FALSE(r & squares({"d7", "a4"}));
    // A blocker right next to the slider limits that direction to the neighbour.
    EXPECT_EQ(rook_attacks(sq("d4"), squares({"d5", "d3", "c4", "e4"})), squares({"d5", "d3", "c4", "e4"}));
    EXPECT_EQ(bishop_attacks(sq("h8"), squares({"g7"})), squares({"g7"}));
}

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
}

TEST(Attacks, TablesAtTheEdges) {
    EXPECT_EQ(tables.between[sq("a1")][sq("h8")], squares({"b2", "c3", "d4", "e5", "f6", "g7"}));
    EXPECT_EQ(tables.between[sq("a1")][sq("b3")], 0u);
    EXPECT_EQ(tables.between[sq("a1")][sq("a2")], 0u);
    EXPECT_EQ(tables.between[sq("h1")][sq("a8")], tables.between[sq("a8")][sq("h1")]);
    EXPECT_EQ(tables.pawn_attacks[WHITE][sq("a2")], squares({"b3"}));
    EXPECT_EQ(tables.pawn_attacks[BLACK][sq("h7")], squares({"g6"}));
    for (int f = 0; f < 8; ++f) {
        EXPECT_EQ(tables.pawn_attacks[WHITE][make_square(f, 7)], 0u);
        EXPECT_EQ(tables.pawn_attacks[BLACK][make_square(f, 0)], 0u);
    }
    EXPECT_EQ(tables.passed_span[WHITE][sq("e4")],
              squares({"d5", "e5", "f5", "d6", "e6", "f6", "d7", "e7", "f7", "d8", "e8", "f8"}));
    EXPECT_EQ(tables.passed_span[BLACK][sq("e4")],
              squares({"d3", "e3", "f3", "d2", "e2", "f2", "d1", "e1", "f1"}));
    EXPECT_EQ(tables.knight_attacks[sq("a1")], squares({"b3", "c2"}));
    EXPECT_EQ(tables.king_attacks[sq("h8")], squares({"g8", "g7", "h7"}));
    EXPECT_EQ(tables.adjacent_files[0], 0x0202020202020202ULL);
    EXPECT_EQ(tables.rank_neighbours[sq("a5")], squares({"b5"}));
    EXPECT_EQ(tables.forward_ranks[WHITE][7], 0u);
    EXPECT_EQ(tables.backward_ranks[WHITE][1], 0xFFULL);
    EXPECT_EQ(tables.msb8[0], 0u);
    EXPECT_EQ(tables.msb8[1], 0u);
    EXPECT_EQ(tables.msb8[255], 7u);
    EXPECT_EQ(tables.msb8[64], 6u);
    EXPECT_EQ(tables.popcount8[0xB5], 5);
    // "No square" (64) attacks nothing and is attacked by nothing.
    EXPECT_EQ(tables.king_attacks[NO_SQUARE] | tables.bishop_pseudo[NO_SQUARE] | tables.between[NO_SQUARE][0], 0u);
}

TEST(Attacks, AttackQueries) {
    test::Board b("4k3/8/8/8/R7/1B6/8/4K3 w - -");   // rook a4, bishop b3
    EXPECT_EQ(is_attacked(b.pos, sq("d5"), WHITE), 1);
    EXPECT_EQ(is_attacked(b.pos, sq("d6"), WHITE), 0);

    // Rook a4 and bishop b2 both attack d4: the bishop is the lesser attacker.
    test::Board both("4k3/8/8/8/R2q4/8/1B6/4K3 w - -");
    EXPECT_EQ(least_attacker(both.pos, sq("d4"), WHITE, occupancy(both.pos)), sq("b2"));

    // Knights b3 and e2 both attack d4: the lower square wins.
    test::Board knights("4k3/8/8/8/3p4/1N6/4N3/4K3 w - -");
    EXPECT_EQ(least_attacker(knights.pos, sq("d4"), WHITE, occupancy(knights.pos)), sq("e2"));

    // A piece lifted out of occ neither attacks nor blocks.
    test::Board battery("4k3/8/8/8/3p4/8/3R4/3RK3 w - -");
    Bitboard occ = occupancy(battery.pos);
    EXPECT_EQ(least_attacker(battery.pos, sq("d4"), WHITE, occ), sq("d2"));
    EXPECT_EQ(least_attacker(battery.pos, sq("d4"), WHITE, occ & ~bit(sq("d2"))), sq("d1"));
    EXPECT_EQ(least_attacker(battery.pos, sq("d4"), BLACK, occ), NO_SQUARE);
    // checking_square ignores membership but still sees blockers.
    EXPECT_EQ(checking_square(battery.pos, sq("d4"), WHITE, 0), sq("d1"));
    EXPECT_EQ(checking_square(battery.pos, sq("d4"), WHITE, occ), sq("d2"));
}

} // namespace
} // namespace zelk
